// Loading settings saved with another exposure configuration count, in
// process on the plug-in loaded as a host loads it: every value lands where
// it was saved, and a shape that matches no count changes nothing.

#include "camerasignals.h"
#include "paramwrap.h"
#include "pluginhost.h"
#include "population.h"
#include "settingsfile.h"
#include "settingsload.h"
#include "vdsim.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kSerial = QStringLiteral("SLCOLOUR0001");

CameraInterface *loadedPlugin()
{
    static PluginHost *host = [] {
        registerContractTypes();
        QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false"));
        auto *h = new PluginHost;
        QString error;
        if (!h->load(QStringLiteral(VANDREL_PLUGIN_DIR), error))
            ADD_FAILURE() << error.toStdString();
        return h;
    }();
    return host->plugin();
}

ParamWrap *byLabel(CameraInterface *cam, const QString &label)
{
    for (ParamWrap *p : *cam->pluginParams())
        if (p->label == label)
            return p;
    ADD_FAILURE() << "no descriptor " << label.toStdString();
    return nullptr;
}

RadioBoxParam *byOption(CameraInterface *cam, const QString &name)
{
    for (ParamWrap *p : *cam->pluginParams())
        if (p->typeName() == QLatin1String("CheckBoxParam")) {
            auto *c = static_cast<RadioBoxParam *>(p);
            if (c->count > 0 && c->names[0] == name)
                return c;
        }
    ADD_FAILURE() << "no option " << name.toStdString();
    return nullptr;
}

void setInt(CameraInterface *cam, const QString &label, qint32 v)
{
    *static_cast<qint32 *>(static_cast<LineEditCameraParam *>(byLabel(cam, label))->value) = v;
}

qint32 intOf(CameraInterface *cam, const QString &label)
{
    return *static_cast<qint32 *>(static_cast<LineEditCameraParam *>(byLabel(cam, label))->value);
}

QJsonObject saved(CameraInterface *cam)
{
    QJsonObject out;
    cam->save(out);
    return out;
}

class SettingsLoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plugin = loadedPlugin();
        ASSERT_NE(plugin, nullptr);
        const QByteArray population = Population()
                                          .add("VD-XG2K-C", "SLCOLOUR0001", [](Population::Device &d) {
                                              typicalColourRanges(d);
                                              d.sensorWidth = 512;
                                              d.sensorHeight = 1024;
                                              d.frameHeight = 64;
                                              d.triggerMode = 1;  // no frames: only the settings matter
                                          })
                                          .json();
        ASSERT_EQ(VdSimConfigure(population.constData()), 0);
        int count = 0;
        plugin->enumerateCameras(count);
        ASSERT_EQ(count, 1);
    }
    std::unique_ptr<CameraInterface> create()
    {
        std::unique_ptr<CameraInterface> cam(plugin->createCamera(0, kSerial, 0));
        EXPECT_TRUE(cam && cam->cameraSerial() == kSerial);
        return cam;
    }
    // Distinct values in every part of the list: before, in and after the exposure times.
    void fill(CameraInterface *cam, int configs)
    {
        cam->setExposureConfigCount(configs);
        cam->load(QJsonObject());
        setInt(cam, QStringLiteral("模拟增益"), 8);
        setInt(cam, QStringLiteral("锐化"), 3);
        setInt(cam, QStringLiteral("对比度"), 120);
        setInt(cam, QStringLiteral("去抖时长"), 77);
        byLabel(cam, QStringLiteral("模拟增益"))->isRunningShow = true;
        byOption(cam, QStringLiteral("彩色图像"))->values[0] = true;
        byOption(cam, QStringLiteral("水平镜像"))->values[1] = true;  // vertical mirror
        for (int i = 0; i < configs; ++i)
            *static_cast<float *>(
                static_cast<LineEditCameraParam *>(byLabel(cam, QStringLiteral("曝光时间%1").arg(i + 1)))->value) =
                10.0f + float(i);
        *static_cast<ComboBoxParam *>(byLabel(cam, QStringLiteral("图像帧率")))->selectedIndex = 2;
        if (configs > 0)
            *static_cast<ComboBoxParam *>(byLabel(cam, QStringLiteral("当前曝光配置")))->selectedIndex = configs - 1;
        cam->paramsChanged();
    }

    CameraInterface *plugin = nullptr;
};

} // namespace

TEST_F(SettingsLoadTest, SettingsSavedWithAnotherCountLoadEveryValueWhereItWas)
{
    for (const auto &counts : {std::pair<int, int>{3, 1}, {1, 3}, {0, 2}, {2, 2}}) {
        SCOPED_TRACE(testing::Message() << "saved with " << counts.first << ", loaded into " << counts.second);
        std::unique_ptr<CameraInterface> source = create();
        fill(source.get(), counts.first);
        const QJsonObject settings = saved(source.get());
        source.reset();

        std::unique_ptr<CameraInterface> target = create();
        target->setExposureConfigCount(counts.second);
        QString error;
        EXPECT_EQ(SettingsLoad::exposureConfigCount(settings, error), counts.first);
        bool rebuilt = false;
        ASSERT_TRUE(SettingsLoad::load(target.get(), settings, error, &rebuilt)) << error.toStdString();
        EXPECT_EQ(rebuilt, counts.first != counts.second);
        EXPECT_EQ(SettingsLoad::exposureConfigCount(target.get()), counts.first);
        EXPECT_EQ(saved(target.get()), settings);
        EXPECT_EQ(intOf(target.get(), QStringLiteral("模拟增益")), 8);
        EXPECT_EQ(intOf(target.get(), QStringLiteral("去抖时长")), 77);
        EXPECT_TRUE(byLabel(target.get(), QStringLiteral("模拟增益"))->isRunningShow);
        EXPECT_EQ(target->channels(), 3);
    }
}

TEST_F(SettingsLoadTest, ThePlainLoadIntoAnotherCountIsWhatTheCheckPrevents)
{
    // The fault itself: the driver matches by position, so every value after
    // the exposure times moves two places.
    std::unique_ptr<CameraInterface> source = create();
    fill(source.get(), 3);
    const QJsonObject settings = saved(source.get());
    source.reset();
    std::unique_ptr<CameraInterface> target = create();
    target->load(settings);
    EXPECT_NE(intOf(target.get(), QStringLiteral("模拟增益")), 8);
    EXPECT_EQ(intOf(target.get(), QStringLiteral("锐化")), 8);
    EXPECT_NE(saved(target.get()), settings);
}

TEST_F(SettingsLoadTest, AShapeThatMatchesNoCountIsRefusedAndNothingChanges)
{
    std::unique_ptr<CameraInterface> source = create();
    fill(source.get(), 2);
    const QJsonArray good = saved(source.get()).value(QStringLiteral("paramsWrap")).toArray();
    source.reset();

    auto with = [](const QJsonArray &a) { return QJsonObject{{QStringLiteral("paramsWrap"), a}}; };
    QJsonArray shortArray = good;
    while (shortArray.size() > 20)
        shortArray.removeLast();
    QJsonArray notObject = good;
    notObject[4] = 7;
    // An entry dropped before the exposure times: the length says one
    // configuration, and the check boxes of the mirror come where the list
    // has its second heading.
    QJsonArray dropped = good;
    dropped.removeAt(4);
    QJsonArray tooMany = good;
    while (tooMany.size() <= SettingsLoad::kFixedDescriptors + SettingsLoad::kMaxExposureConfigs)
        tooMany.insert(12, QJsonObject{{QStringLiteral("isRunningShow"), false}, {QStringLiteral("values"), 1.0}});
    const struct
    {
        const char *what;
        QJsonObject settings;
        QString reason;
    } cases[] = {
        {"not an array", QJsonObject{{QStringLiteral("paramsWrap"), 5}}, QStringLiteral("\"paramsWrap\" is not an array")},
        {"too short", with(shortArray),
         QStringLiteral("\"paramsWrap\" has 20 entries; a camera's settings have 21 plus one per exposure configuration")},
        {"not an object", with(notObject), QStringLiteral("\"paramsWrap\" entry 5 is not an object")},
        {"an entry missing", with(dropped),
         QStringLiteral("\"paramsWrap\" entry 9 holds a group of check boxes where a camera with 1 exposure "
                        "configuration(s) (22 entries) has a heading")},
        {"too many", with(tooMany),
         QStringLiteral("\"paramsWrap\" has 1046 entries, that is 1025 exposure configurations; a camera takes at most "
                        "1024")},
    };

    std::unique_ptr<CameraInterface> target = create();
    fill(target.get(), 1);
    const QJsonObject before = saved(target.get());
    const QVector<ParamWrap *> descriptorsBefore = *target->pluginParams();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        EXPECT_EQ(SettingsLoad::exposureConfigCount(c.settings, error), -2);
        EXPECT_EQ(error, c.reason);
        error.clear();
        bool rebuilt = true;
        EXPECT_FALSE(SettingsLoad::load(target.get(), c.settings, error, &rebuilt));
        EXPECT_EQ(error, c.reason);
        EXPECT_FALSE(rebuilt);
        EXPECT_EQ(saved(target.get()), before);
        EXPECT_EQ(*target->pluginParams(), descriptorsBefore) << "the list was not rebuilt";
    }

    // No "paramsWrap": nothing to check; the camera keeps its values and count.
    QString error;
    EXPECT_EQ(SettingsLoad::exposureConfigCount(QJsonObject(), error), -1);
    EXPECT_TRUE(SettingsLoad::load(target.get(), QJsonObject(), error));
    EXPECT_EQ(saved(target.get()), before);
}

TEST_F(SettingsLoadTest, AFileWithACameraOfNoCountIsRefusedWholeWithTheCameraNamed)
{
    std::unique_ptr<CameraInterface> source = create();
    fill(source.get(), 3);
    const QJsonObject good = saved(source.get());
    source.reset();
    QJsonArray bad = good.value(QStringLiteral("paramsWrap")).toArray();
    bad.removeAt(16);  // the gain: the frame-speed choice comes one place late
    const QJsonObject root{
        {QStringLiteral("cameras"),
         QJsonObject{{QStringLiteral("GOOD00000001"), good}, {QStringLiteral("BAD000000002"), QJsonObject{{QStringLiteral("paramsWrap"), bad}}}}}};
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.json"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(root).toJson());
    f.close();

    QMap<QString, QJsonObject> out;
    QString error;
    EXPECT_FALSE(readSettingsFile(file, {QStringLiteral("GOOD00000001"), QStringLiteral("BAD000000002")}, out, error));
    EXPECT_EQ(error, QStringLiteral("settings file %1, camera BAD000000002: \"paramsWrap\" entry 15 holds a single value where "
                                    "a camera with 2 exposure configuration(s) (23 entries) has a choice")
                         .arg(file));
    EXPECT_TRUE(out.isEmpty());
    // Only the cameras asked for are checked.
    EXPECT_TRUE(readSettingsFile(file, {QStringLiteral("GOOD00000001")}, out, error)) << error.toStdString();
    EXPECT_EQ(out.value(QStringLiteral("GOOD00000001")), good);
}

TEST_F(SettingsLoadTest, WrittenFilesNameTheirEntriesAndANameOutOfPlaceIsRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::unique_ptr<CameraInterface> cam = create();
    fill(cam.get(), 2);
    const QJsonObject settings = saved(cam.get());
    const QString file = dir.filePath(QStringLiteral("named.json"));
    QString error;
    ASSERT_TRUE(writeSettingsFile(file, {{kSerial, settings}}, error)) << error.toStdString();
    QMap<QString, QJsonObject> read;
    ASSERT_TRUE(readSettingsForEach(file, {kSerial}, read, error)) << error.toStdString();
    const QJsonArray named = read.value(kSerial).value(QStringLiteral("paramsWrap")).toArray();
    ASSERT_EQ(named.size(), 23);
    EXPECT_EQ(named.at(0).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("ImageSize"));
    EXPECT_EQ(named.at(13).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("ExposureTime2"));
    EXPECT_EQ(named.at(15).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Gain"));
    // The names do not disturb the driver: the values load where they were.
    cam.reset();
    std::unique_ptr<CameraInterface> other = create();
    ASSERT_TRUE(SettingsLoad::load(other.get(), read.value(kSerial), error)) << error.toStdString();
    EXPECT_EQ(saved(other.get()), settings);

    // Two values swapped by hand: both are numbers, so only the names tell.
    QJsonArray swapped = named;
    const QJsonValue gain = swapped.at(15);
    swapped.replace(15, swapped.at(16));
    swapped.replace(16, gain);
    QJsonObject edited = read.value(kSerial);
    edited.insert(QStringLiteral("paramsWrap"), swapped);
    EXPECT_EQ(SettingsLoad::exposureConfigCount(edited, error), -2);
    EXPECT_EQ(error, QStringLiteral("\"paramsWrap\" entry 16 is named Gamma where a camera with 2 exposure "
                                    "configuration(s) (23 entries) has Gain"));
    const QJsonObject before = saved(other.get());
    EXPECT_FALSE(SettingsLoad::load(other.get(), edited, error));
    EXPECT_EQ(saved(other.get()), before);
}

TEST_F(SettingsLoadTest, EveryHostMatchesSettingsToCamerasByTheirSerial)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::unique_ptr<CameraInterface> cam = create();
    const QJsonObject mine = saved(cam.get());
    const QString other = QStringLiteral("SOMEONEELSE1");
    QString error;
    const QString file = dir.filePath(QStringLiteral("two.json"));
    ASSERT_TRUE(writeSettingsFile(file, {{other, mine}}, error));

    // Asked for a camera it has no entry for: refused, saying what it holds.
    QMap<QString, QJsonObject> read;
    EXPECT_FALSE(readSettingsForEach(file, {kSerial}, read, error));
    EXPECT_EQ(error, QStringLiteral("settings file %1 holds no settings for camera %2 (it holds settings for %3)")
                         .arg(file, kSerial, other));
    EXPECT_FALSE(readSettingsFile(file, {kSerial}, read, error)) << "for none of the cameras asked for";
    EXPECT_TRUE(read.isEmpty());
    // For several cameras: each must have its entry, or (for a host loading
    // into whichever it has) one at least.
    EXPECT_FALSE(readSettingsForEach(file, {other, kSerial}, read, error));
    EXPECT_TRUE(read.isEmpty());
    ASSERT_TRUE(readSettingsFile(file, {other, kSerial}, read, error)) << error.toStdString();
    EXPECT_EQ(read.keys(), QStringList{other});

    // One camera's own object matches any camera.
    QJsonObject out;
    EXPECT_TRUE(matchSettings(mine, QStringLiteral("settings"), kSerial, out, error));
    EXPECT_EQ(out, mine);
    EXPECT_FALSE(matchSettings(QJsonObject{{QStringLiteral("exposure"), 3}}, QStringLiteral("settings"), kSerial,
                               out, error));
    EXPECT_EQ(error, QStringLiteral("settings holds neither \"paramsWrap\" nor \"cameras\""));
}
