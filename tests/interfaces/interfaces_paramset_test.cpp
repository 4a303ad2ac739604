// The camera parameter set: the descriptor list, its "paramsWrap" JSON and
// the rebuilds with other numbers of exposure configurations.

#include "camerabase.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>
#include <QVariant>

#include <gtest/gtest.h>

namespace {

// What one descriptor of the list must be. bound is the value pointer
// (value, values or selectedIndex); range holds min, max and step of a
// line edit; options are the names offered by a check box or combo box.
struct Expected {
    QString kind;
    QString label;
    QString description;
    int level;
    bool imageSizeFlag;
    const void *bound;
    int valueType;
    const void *range[3];
    QStringList options;
    QStringList optionDescriptions;
};

QStringList optionTexts(const QString *texts, int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << texts[i];
    return out;
}

QVector<Expected> defaultList(CameraBase &b, int n)
{
    const QString empty = QStringLiteral("");
    QVector<Expected> list;
    list.append({"SeparateParam", "图像尺寸", empty, 0, false, nullptr, -1, {}, {}, {}});
    list.append({"LineEditCameraParam", "X坐标", "裁切的起始位置X坐标", 3, false, &b.roiX, ParamInt,
                 {&b.roiXMin, &b.roiXMax, &b.roiXStep}, {}, {}});
    list.append({"LineEditCameraParam", "Y坐标", "裁切的起始位置Y坐标", 3, false, &b.roiY, ParamInt,
                 {&b.roiYMin, &b.roiYMax, &b.roiYStep}, {}, {}});
    list.append({"LineEditCameraParam", "图像的宽度", "图像的宽度", 3, true, &b.imageWidth, ParamInt,
                 {&b.widthMin, &b.widthMax, &b.widthStep}, {}, {}});
    list.append({"LineEditCameraParam", "图像的高度", "图像的高度", 3, true, &b.imageHeight, ParamInt,
                 {&b.heightMin, &b.heightMax, &b.heightStep}, {}, {}});
    const void *distance[3] = {&b.distanceMin, &b.distanceMax, &b.distanceStep};
    list.append({"LineEditCameraParam", "x方向像素距离", "x方向像素距离，单位um", 3, false, &b.pixelDistanceX,
                 ParamFloat, {distance[0], distance[1], distance[2]}, {}, {}});
    list.append({"LineEditCameraParam", "y方向像素距离", "y方向像素距离，单位um", 3, false, &b.pixelDistanceY,
                 ParamFloat, {distance[0], distance[1], distance[2]}, {}, {}});
    list.append({"LineEditCameraParam", "z方向单位距离", "x方向单位距离，单位um", 3, false, &b.unitDistanceZ,
                 ParamFloat, {distance[0], distance[1], distance[2]}, {}, {}});
    list.append({"SeparateParam", "其它设置", empty, 0, false, nullptr, -1, {}, {}, {}});
    list.append({"CheckBoxParam", empty, empty, 1, false, b.mirror, -1, {}, {"水平镜像", "垂直镜像"},
                 {"水平镜像", "垂直镜像"}});
    list.append({"CheckBoxParam", empty, empty, 1, false, &b.transpose, -1, {}, {"图像转置"},
                 {"图像转置，即转置后，图像的行列坐标与原图像互换"}});
    QStringList configNames;
    for (int i = 1; i <= n; ++i)
        configNames << QStringLiteral("曝光时间%1").arg(i);
    list.append({"ComboBoxParam", "当前曝光配置", "选择当前曝光配置项", 1, false, &b.currentExposureIndex, -1, {},
                 configNames, configNames});
    for (int i = 0; i < n; ++i)
        list.append({"LineEditCameraParam", configNames[i], "设置曝光时间,单位0.1ms", 1, false,
                     &b.exposureTimes[i], ParamFloat, {&b.exposureMin, &b.exposureMax, &b.exposureStep}, {}, {}});
    const QStringList speeds{"低速模式", "普通模式", "高速模式"};
    list.append({"ComboBoxParam", "图像帧率", "相机输出图像的帧率索引号", 1, false, &b.frameSpeedIndex, -1, {},
                 speeds, speeds});
    list.append({"LineEditCameraParam", "模拟增益", "设置相机的图像模拟增益值", 1, false, &b.analogGain,
                 ParamInt, {&b.gainMin, &b.gainMax, &b.intStep}, {}, {}});
    list.append({"LineEditCameraParam", "Gamma值", "设定LUT动态生成模式下的Gamma值", 1, false, &b.gamma,
                 ParamInt, {&b.gammaMin, &b.gammaMax, &b.intStep}, {}, {}});
    list.append({"LineEditCameraParam", "锐化", "设置图像的处理的锐化参数", 1, false, &b.sharpness, ParamInt,
                 {&b.sharpnessMin, &b.sharpnessMax, &b.intStep}, {}, {}});
    list.append({"LineEditCameraParam", "对比度", "设定LUT动态生成模式下的对比度值", 1, false, &b.contrast,
                 ParamInt, {&b.contrastMin, &b.contrastMax, &b.intStep}, {}, {}});
    list.append({"LineEditCameraParam", "去抖时长", "设定去抖时长", 1, false, &b.debounceTime, ParamInt,
                 {&b.debounceMin, &b.debounceMax, &b.intStep}, {}, {}});
    list.append({"LineEditCameraParam", "发包间隔", "相机发数据包的间隔时间", 1, false, &b.packetInterval,
                 ParamInt, {&b.packetIntervalMin, &b.packetIntervalMax, &b.intStep}, {}, {}});
    list.append({"CheckBoxParam", empty, empty, 1, false, &b.colorImage, -1, {}, {"彩色图像"},
                 {"可设置相机输出的是彩色图像还是黑白图像，重启才生效"}});
    list.append({"CheckBoxParam", empty, empty, 1, false, &b.whiteBalance, -1, {}, {"白平衡"},
                 {"白平衡,彩色相机有效"}});
    return list;
}

void expectDescriptor(ParamWrap *p, const Expected &e)
{
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->typeName(), e.kind);
    EXPECT_EQ(p->label, e.label);
    EXPECT_FALSE(p->label.isNull());
    EXPECT_EQ(p->description, e.description);
    EXPECT_FALSE(p->description.isNull());
    EXPECT_EQ(p->paramLevel, e.level);
    EXPECT_EQ(p->imageSizeFlag, e.imageSizeFlag);
    EXPECT_FALSE(p->isRunningShow);
    EXPECT_FALSE(p->extraFlag);
    if (e.kind == QLatin1String("LineEditCameraParam")) {
        auto *l = static_cast<LineEditCameraParam *>(p);
        EXPECT_EQ(l->value, e.bound);
        EXPECT_EQ(l->valueType, e.valueType);
        EXPECT_EQ(l->minValue, e.range[0]);
        EXPECT_EQ(l->maxValue, e.range[1]);
        EXPECT_EQ(l->stepValue, e.range[2]);
    } else if (e.kind == QLatin1String("CheckBoxParam")) {
        auto *c = static_cast<CheckBoxParam *>(p);
        EXPECT_EQ(static_cast<const void *>(c->values), e.bound);
        ASSERT_EQ(c->count, e.options.size());
        EXPECT_EQ(optionTexts(c->names, c->count), e.options);
        EXPECT_EQ(optionTexts(c->descriptions, c->count), e.optionDescriptions);
    } else if (e.kind == QLatin1String("ComboBoxParam")) {
        auto *c = static_cast<ComboBoxParam *>(p);
        EXPECT_EQ(static_cast<const void *>(c->selectedIndex), e.bound);
        ASSERT_EQ(c->count, e.options.size());
        EXPECT_EQ(optionTexts(c->names, c->count), e.options);
        EXPECT_EQ(optionTexts(c->descriptions, c->count), e.optionDescriptions);
    }
}

void expectList(CameraBase &b, int n, int first = 0)
{
    const QVector<Expected> expected = defaultList(b, n);
    ASSERT_GE(b.paramList.size(), first + expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "descriptor " << first + i + 1);
        expectDescriptor(b.paramList[first + i], expected[i]);
    }
}

QJsonArray saved(CameraBase &b)
{
    QJsonObject json;
    b.saveParams(json);
    return json.value(QStringLiteral("paramsWrap")).toArray();
}

QJsonArray golden()
{
    QFile f(QStringLiteral(VANDREL_INTERFACES_TESTDATA "/default-params.json"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("paramsWrap")).toArray();
}

} // namespace

// Values before the first build, most of which never travel in JSON; the
// few that do (frame speed, debounce, packet interval) are also in the
// golden file, which pins them after a build.
TEST(ParamSet, ConstructorValues)
{
    CameraBase b;
    ASSERT_NE(b.exposureConfigNames, nullptr);
    const struct {
        const char *member;
        QVariant actual;
        QVariant expected;
    } rows[] = {
        {"paramList.size()", b.paramList.size(), 0},
        {"frameSpeedIndex", b.frameSpeedIndex, 1},
        {"exposureConfigCount", b.exposureConfigCount, 1},
        {"exposureTimes.size()", b.exposureTimes.size(), 0},
        {"debounceTime", b.debounceTime, 50},
        {"packetInterval", b.packetInterval, 400},
        {"channelCount", b.channelCount, 1},
        {"serialNumber.isNull()", b.serialNumber.isNull(), true},
        {"frameSpeedCount", b.frameSpeedCount, 3},
        {"distanceMax", b.distanceMax, 1000.0f},
        {"distanceStep", b.distanceStep, 0.1f},
        {"exposureStep", b.exposureStep, 0.1f},
        {"sensorWidth", b.sensorWidth, 64},
        {"sensorHeight", b.sensorHeight, 64},
        {"roiXStep", b.roiXStep, 1},
        {"intStep", b.intStep, 1},
        {"exposureConfigNames[0].isNull()", b.exposureConfigNames[0].isNull(), true},
        {"roiXLabel.isNull()", b.roiXLabel.isNull(), true},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.actual, row.expected) << row.member;
}

TEST(ParamSet, DefaultDescriptorList)
{
    CameraBase b;
    b.buildParams();
    ASSERT_EQ(b.paramList.size(), 22);
    expectList(b, 1);
    EXPECT_EQ(b.exposureTimes.size(), 1);
    EXPECT_EQ(b.exposureTimes[0], 0.0f);
    // The fourth speed is kept but not offered.
    EXPECT_EQ(b.frameSpeedNames[3], QStringLiteral("超高速模式"));
    EXPECT_EQ(b.exposureLabel, QStringLiteral("曝光时间"));
    EXPECT_EQ(b.exposureDesc, QStringLiteral("设置曝光时间,单位0.1ms"));
}

TEST(ParamSet, DefaultJsonMatchesGolden)
{
    CameraBase b;
    b.buildParams();
    QJsonObject json{{"other", 1}, {"paramsWrap", "replaced"}};
    b.saveParams(json);
    EXPECT_EQ(json.value("other"), QJsonValue(1));
    const QJsonArray actual = json.value("paramsWrap").toArray();
    const QJsonArray expected = golden();
    ASSERT_EQ(expected.size(), 22) << "golden file missing or malformed";
    EXPECT_EQ(QJsonDocument(actual), QJsonDocument(expected))
        << QJsonDocument(QJsonObject{{"paramsWrap", actual}}).toJson().toStdString();
}

TEST(ParamSet, RebuildWithThreeConfigurations)
{
    CameraBase b;
    b.buildParams();
    b.exposureTimes[0] = 12.5f;
    b.analogGain = 6;
    b.currentExposureIndex = 2;
    b.rebuildParams(3);
    EXPECT_EQ(b.exposureConfigCount, 3);
    ASSERT_EQ(b.paramList.size(), 24);
    ASSERT_EQ(b.exposureTimes.size(), 3);
    EXPECT_EQ(b.exposureTimes[0], 12.5f);
    EXPECT_EQ(b.exposureTimes[1], 0.0f);
    EXPECT_EQ(b.exposureTimes[2], 0.0f);
    EXPECT_EQ(b.analogGain, 6);
    EXPECT_EQ(b.currentExposureIndex, 2);
    expectList(b, 3);

    const QJsonArray json = saved(b);
    ASSERT_EQ(json.size(), 24);
    EXPECT_EQ(json[12].toObject().value("values").toDouble(), 12.5);
    EXPECT_EQ(json[15].toObject().value("selectedIndex"), QJsonValue(1));

    // Back to one keeps the first time and drops the others.
    b.exposureTimes[1] = 4.0f;
    b.rebuildParams(1);
    ASSERT_EQ(b.paramList.size(), 22);
    ASSERT_EQ(b.exposureTimes.size(), 1);
    EXPECT_EQ(b.exposureTimes[0], 12.5f);
    expectList(b, 1);
}

TEST(ParamSet, RebuildWithNoConfiguration)
{
    for (int count : {0, -3}) {
        SCOPED_TRACE(count);
        CameraBase b;
        b.buildParams();
        b.exposureTimes[0] = 3.0f;
        b.rebuildParams(count);
        EXPECT_EQ(b.exposureConfigCount, 0);
        ASSERT_EQ(b.paramList.size(), 21);
        EXPECT_TRUE(b.exposureTimes.isEmpty());
        expectList(b, 0);
        EXPECT_EQ(saved(b).size(), 21);

        b.rebuildParams(2);
        ASSERT_EQ(b.paramList.size(), 23);
        EXPECT_EQ(b.exposureTimes, (QVector<float>{0.0f, 0.0f}));
        expectList(b, 2);
    }
}

TEST(ParamSet, RoundTripRestoresEveryValue)
{
    CameraBase source;
    source.buildParams();
    source.roiX = 16;
    source.roiY = 8;
    source.imageWidth = 1024;
    source.imageHeight = 512;
    source.pixelDistanceX = 0.5f;
    source.pixelDistanceY = 0.25f;
    source.unitDistanceZ = 2.0f;
    source.mirror[1] = true;
    source.transpose = true;
    source.currentExposureIndex = 0;
    source.exposureTimes[0] = 0.1f;
    source.frameSpeedIndex = 2;
    source.analogGain = 3;
    source.gamma = 4;
    source.sharpness = 5;
    source.contrast = 6;
    source.debounceTime = 70;
    source.packetInterval = 80;
    source.colorImage = true;
    source.whiteBalance = true;
    source.paramList[2]->isRunningShow = true;
    QJsonObject json;
    source.saveParams(json);

    CameraBase target;
    target.buildParams();
    target.loadParams(json);
    EXPECT_EQ(saved(target), json.value("paramsWrap").toArray());
    EXPECT_EQ(target.roiX, 16);
    EXPECT_EQ(target.imageHeight, 512);
    EXPECT_FALSE(target.mirror[0]);
    EXPECT_TRUE(target.mirror[1]);
    EXPECT_EQ(target.exposureTimes[0], 0.1f);
    EXPECT_EQ(target.frameSpeedIndex, 2);
    EXPECT_EQ(target.packetInterval, 80);
    EXPECT_TRUE(target.whiteBalance);
    EXPECT_TRUE(target.paramList[2]->isRunningShow);
}

TEST(ParamSet, LoadTwentyFourObjectsIntoTwentyTwo)
{
    CameraBase source;
    source.rebuildParams(3);
    source.roiX = 32;
    source.pixelDistanceX = 1.5f;
    source.mirror[0] = true;
    source.transpose = true;
    source.currentExposureIndex = 1;
    source.exposureTimes[0] = 1.5f;
    source.exposureTimes[1] = 2.5f;
    source.exposureTimes[2] = 9.0f;
    source.paramList[13]->isRunningShow = true;  // second exposure time
    source.frameSpeedIndex = 2;
    source.analogGain = 7;
    source.gamma = 11;
    source.sharpness = 12;
    source.contrast = 13;
    source.debounceTime = 14;
    source.packetInterval = 15;
    const QJsonArray array = saved(source);
    ASSERT_EQ(array.size(), 24);

    CameraBase target;
    target.buildParams();
    target.analogGain = 4;
    target.gamma = 40;
    target.colorImage = true;
    target.whiteBalance = true;
    target.loadParams(QJsonObject{{"paramsWrap", array}});

    // Objects 1 to 13 reach the descriptors that wrote them.
    EXPECT_EQ(target.roiX, 32);
    EXPECT_EQ(target.pixelDistanceX, 1.5f);
    EXPECT_TRUE(target.mirror[0]);
    EXPECT_TRUE(target.transpose);
    EXPECT_EQ(target.currentExposureIndex, 1);
    EXPECT_EQ(target.exposureTimes[0], 1.5f);
    // Object 14 (second exposure time) reaches the frame-speed choice.
    EXPECT_EQ(target.frameSpeedIndex, 1);
    EXPECT_TRUE(target.paramList[13]->isRunningShow);
    // Object 15 (third exposure time, 9.0) reaches the analog gain.
    EXPECT_EQ(target.analogGain, 9);
    // Object 16 (frame speed) has no "values": gamma keeps its value.
    EXPECT_EQ(target.gamma, 40);
    EXPECT_EQ(target.sharpness, 7);
    EXPECT_EQ(target.contrast, 11);
    EXPECT_EQ(target.debounceTime, 12);
    EXPECT_EQ(target.packetInterval, 13);
    // Numbers where arrays belong clear the options.
    EXPECT_FALSE(target.colorImage);
    EXPECT_FALSE(target.whiteBalance);
    EXPECT_EQ(target.paramList.size(), 22);
    EXPECT_EQ(target.exposureTimes.size(), 1);
}

TEST(ParamSet, MalformedOrShortParamsWrapLeavesValues)
{
    CameraBase b;
    b.buildParams();
    b.roiX = 48;
    b.frameSpeedIndex = 0;
    b.mirror[1] = true;
    const QJsonArray before = saved(b);

    b.loadParams(QJsonObject{{"paramsWrap", 5}});
    EXPECT_EQ(saved(b), before);
    b.loadParams(QJsonObject{{"paramsWrap", QJsonObject{{"0", QJsonObject{{"values", 1}}}}}});
    EXPECT_EQ(saved(b), before);
    b.loadParams(QJsonObject{{"other", QJsonArray{QJsonObject{{"isRunningShow", true}}}}});
    EXPECT_EQ(saved(b), before);
    b.loadParams(QJsonObject{{"paramsWrap", QJsonArray{}}});
    EXPECT_EQ(saved(b), before);

    // A non-object element reads as an empty object; later descriptors keep
    // their values when the array is short.
    b.loadParams(QJsonObject{{"paramsWrap", QJsonArray{QJsonObject{{"isRunningShow", true}}, 3}}});
    EXPECT_TRUE(b.paramList[0]->isRunningShow);
    EXPECT_EQ(b.roiX, 48);
    EXPECT_EQ(b.frameSpeedIndex, 0);
    EXPECT_TRUE(b.mirror[1]);
}

TEST(ParamSet, SecondBuildAppendsAnotherSet)
{
    CameraBase b;
    b.buildParams();
    ParamWrap *firstCombo = b.paramList[11];
    b.buildParams();
    ASSERT_EQ(b.paramList.size(), 44);
    EXPECT_EQ(b.paramList[11], firstCombo);
    expectList(b, 1, 0);
    expectList(b, 1, 22);
    // Both sets point at the same values.
    b.analogGain = 21;
    const QJsonArray json = saved(b);
    ASSERT_EQ(json.size(), 44);
    EXPECT_EQ(json[14].toObject().value("values"), QJsonValue(21));
    EXPECT_EQ(json[36].toObject().value("values"), QJsonValue(21));

    b.rebuildParams(1);
    EXPECT_EQ(b.paramList.size(), 22);
    expectList(b, 1);
}
