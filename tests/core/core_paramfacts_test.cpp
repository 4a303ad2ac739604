// The shared table of when each parameter takes effect, held against what
// the driver does: every parameter of a colour camera is set through its
// descriptor, and the simulated device and the frames are watched after the
// edit (paramsChanged), after Apply (load) and after the stored exposure
// configuration is selected. A parameter the table does not know, or says
// the wrong thing of, fails here.

#include "camerasignals.h"
#include "frameinbox.h"
#include "paramaccess.h"
#include "paramfacts.h"
#include "paramwrap.h"
#include "pluginhost.h"
#include "population.h"
#include "settingsload.h"
#include "vdsim.h"

#include <QJsonArray>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

namespace {

const char *const kSerial = "PFCOLOUR0001";

// What a host can see of the camera: the device's values and a frame's shape.
using Observed = std::map<std::string, double>;

class ParamFactsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        registerContractTypes();
        QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false\nvandrel.info=false"));
        const QByteArray population = Population()
                                          .add("VD-XG2K-C", kSerial, [](Population::Device &d) {
                                              typicalColourRanges(d);
                                              d.sensorWidth = 256;
                                              d.sensorHeight = 256;
                                              d.frameHeight = 16;
                                              d.frameRate = 100;
                                          })
                                          .json();
        ASSERT_EQ(VdSimConfigure(population.constData()), 0);
        host = new PluginHost;
        QString error;
        ASSERT_TRUE(host->load(QStringLiteral(VANDREL_PLUGIN_DIR), error)) << error.toStdString();
    }

    void SetUp() override
    {
        int count = 0;
        ASSERT_EQ(host->plugin()->enumerateCameras(count), QVector<QString>{QString::fromLatin1(kSerial)});
        cam.reset(host->plugin()->createCamera(0, QString::fromLatin1(kSerial), 0));
        ASSERT_NE(cam->cameraSerial(), QStringLiteral("-1"));
        CameraSlots wiring;
        wiring.frame = "onFrame(ImageProcessData)";
        wiring.frameConnection = Qt::DirectConnection;
        QString why;
        ASSERT_TRUE(connectCamera(cam.get(), &inbox, wiring, why)) << why.toStdString();
    }

    void TearDown() override { cam.reset(); }

    // Two configurations with times inside the camera's range, the first
    // selected: the baseline every parameter starts from.
    void baseline()
    {
        cam->setExposureConfigCount(2);
        ParamInfo t1, t2, choice;
        const QVector<ParamInfo> params = readParams(cam.get());
        ASSERT_TRUE(findParam(params, QStringLiteral("ExposureTime1"), t1));
        ASSERT_TRUE(findParam(params, QStringLiteral("ExposureTime2"), t2));
        ASSERT_TRUE(findParam(params, QStringLiteral("ExposureConfiguration"), choice));
        write(choice, QJsonValue(0));
        write(t1, QJsonValue(t1.minimum + 1.0));
        write(t2, QJsonValue(t1.minimum + 2.0));
        // Half the sensor, so that the offsets have room to move.
        for (const char *size : {"Width", "Height"}) {
            ParamInfo p;
            ASSERT_TRUE(findParam(readParams(cam.get()), QString::fromLatin1(size), p));
            write(p, QJsonValue(128));
        }
        ASSERT_EQ(SettingsLoad::apply(cam.get()).outcome, SettingsLoad::ExposureSelection::Selected);
    }

    void write(const ParamInfo &p, const QJsonValue &v) { writeParam(cam.get(), p, v); }

    Observed observe()
    {
        Observed o;
        for (const char *key : {"mediaType", "ispOutFormat", "exposureTime", "triggerMode", "gain", "mirrorX",
                                "mirrorY", "width", "height", "playing"}) {
            double v = 0;
            EXPECT_EQ(VdSimGetValue(kSerial, key, &v), 0) << key;
            o[key] = v;
        }
        // A frame made after what came before: the second from now.
        inbox.discardFrames();
        ImageProcessData f;
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(inbox.nextFrame(f, 3000), WaitResult::Ready);
        o["frame.cols"] = f.image.cols;
        o["frame.rows"] = f.image.rows;
        o["frame.channels"] = f.image.channels();
        return o;
    }

    // A value of the parameter other than its current one, within its range;
    // false when it has no other.
    static bool otherValue(const ParamInfo &p, QJsonValue &out)
    {
        if (p.valueType == QLatin1String("bool")) {
            out = !p.value.toBool();
            if (p.option >= 0) {
                QJsonArray states = p.whole.toArray();
                states[p.option] = out;
                out = states;
            }
            return true;
        }
        if (p.valueType == QLatin1String("options")) {
            QJsonArray states = p.value.toArray();
            for (int i = 0; i < states.size(); ++i)
                states[i] = !states[i].toBool();
            out = states;
            return !states.isEmpty();
        }
        if (p.valueType == QLatin1String("index")) {
            out = (p.value.toInt() + 1) % int(p.choices.size());
            return p.choices.size() > 1;
        }
        if (p.maximum <= p.minimum)
            return false;
        const double now = p.value.toDouble();
        double v = now == p.maximum ? p.minimum : p.maximum;
        // Sizes the driver aligns to their step stay whole steps.
        if (p.valueType == QLatin1String("int") && p.step > 1)
            v = p.minimum + p.step;
        out = p.valueType == QLatin1String("int") ? QJsonValue(qint64(v)) : QJsonValue(v);
        return true;
    }

    struct Steps
    {
        Observed before, edited, applied, selected;
    };

    // Sets the parameter and watches each step a host can take; false when
    // the parameter has only one value to take.
    bool run(const QString &name, Steps &s)
    {
        baseline();
        ParamInfo p;
        EXPECT_TRUE(findParam(readParams(cam.get()), name, p)) << name.toStdString();
        QJsonValue v;
        if (!otherValue(p, v))
            return false;
        s.before = observe();
        write(p, v);
        s.edited = observe();
        QJsonObject current;
        cam->save(current);
        cam->load(current);
        s.applied = observe();
        SettingsLoad::selectStoredExposure(cam.get());
        s.selected = observe();
        return true;
    }

    // The parameters of the table with the given effect, by English name,
    // each option of a check box on its own.
    QStringList namesWith(ParamFacts::Effect effect)
    {
        QStringList names;
        for (ParamWrap *d : *cam->pluginParams())
            for (const ParamFacts::Fact &f : ParamFacts::factsOf(d, cam->pluginIID()))
                if (f.effect == effect)
                    names << f.name;
        return names;
    }

    static PluginHost *host;
    std::unique_ptr<CameraInterface> cam;
    FrameInbox inbox{4};
};

PluginHost *ParamFactsTest::host = nullptr;

std::string diff(const Observed &a, const Observed &b)
{
    std::string out;
    for (const auto &kv : a)
        if (b.at(kv.first) != kv.second)
            out += kv.first + " " + std::to_string(kv.second) + " -> " + std::to_string(b.at(kv.first)) + "; ";
    return out;
}

TEST_F(ParamFactsTest, EveryDescriptorOfTheDriverIsInTheTableAtItsPlace)
{
    for (int count : {0, 1, 3}) {
        SCOPED_TRACE(count);
        cam->setExposureConfigCount(count);
        const QVector<ParamWrap *> list = *cam->pluginParams();
        const QVector<ParamFacts::Place> places = ParamFacts::places(count);
        ASSERT_EQ(list.size(), places.size());
        for (int i = 0; i < list.size(); ++i) {
            SCOPED_TRACE(i);
            const QVector<ParamFacts::Fact> facts = ParamFacts::factsOf(list[i], cam->pluginIID());
            if (places[i].kind == ParamFacts::Place::Heading) {
                EXPECT_EQ(list[i]->typeName(), QStringLiteral("SeparateParam"));
                EXPECT_TRUE(facts.isEmpty());
                continue;
            }
            // Found by its label, it is the item the table has at its place.
            ASSERT_EQ(facts.size(), places[i].items.size());
            for (int k = 0; k < facts.size(); ++k) {
                EXPECT_EQ(facts[k].name, places[i].items[k].name);
                EXPECT_NE(facts[k].effect, ParamFacts::Effect::Unknown);
            }
        }
    }
    // Another plug-in's descriptors are not described.
    EXPECT_TRUE(ParamFacts::factsOf(cam->pluginParams()->at(3), QStringLiteral("com.example.other")).isEmpty());
}

TEST_F(ParamFactsTest, WhatTheTableKeepsOnlyChangesNothingTheCameraDoes)
{
    const QStringList names = namesWith(ParamFacts::Effect::Never);
    ASSERT_GE(names.size(), 15);
    QStringList fixed;
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        Steps s;
        if (!run(name, s)) {
            fixed << name;
            continue;
        }
        EXPECT_EQ(s.before, s.edited) << diff(s.before, s.edited);
        EXPECT_EQ(s.before, s.applied) << diff(s.before, s.applied);
        EXPECT_EQ(s.before, s.selected) << diff(s.before, s.selected);
    }
    // Only the packet interval cannot be moved: the camera's range is 0 .. 0.
    EXPECT_EQ(fixed, QStringList{QStringLiteral("PacketInterval")});
}

TEST_F(ParamFactsTest, WhatTakesEffectOnApplyDoesSoOnApplyNotBefore)
{
    const QStringList names = namesWith(ParamFacts::Effect::OnApply);
    ASSERT_EQ(names, QStringList{QStringLiteral("ColorImage")});
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        Steps s;
        ASSERT_TRUE(run(name, s));
        EXPECT_EQ(s.before, s.edited) << diff(s.before, s.edited);
        EXPECT_NE(s.before, s.applied);
        EXPECT_EQ(s.applied.at("frame.channels"), 3.0);
        EXPECT_EQ(s.applied, s.selected) << diff(s.applied, s.selected);
    }
}

TEST_F(ParamFactsTest, WhatTakesEffectOnSelectingDoesSoWhenTheConfigurationIsSelected)
{
    cam->setExposureConfigCount(2);
    const QStringList names = namesWith(ParamFacts::Effect::OnSelect);
    ASSERT_EQ(names, (QStringList{QStringLiteral("ExposureConfiguration"), QStringLiteral("ExposureTime1"),
                                  QStringLiteral("ExposureTime2")}));
    // The time of the configuration not selected reaches the camera when it is.
    for (const QString &name : {QStringLiteral("ExposureConfiguration"), QStringLiteral("ExposureTime1")}) {
        SCOPED_TRACE(name.toStdString());
        Steps s;
        ASSERT_TRUE(run(name, s));
        EXPECT_EQ(s.before, s.edited) << diff(s.before, s.edited);
        EXPECT_EQ(s.before, s.applied) << diff(s.before, s.applied);
        EXPECT_NE(s.before.at("exposureTime"), s.selected.at("exposureTime"));
    }
    Steps other;
    ASSERT_TRUE(run(QStringLiteral("ExposureTime2"), other));
    EXPECT_EQ(other.before, other.selected) << "configuration 2 is not the one selected";
    ParamInfo choice;
    ASSERT_TRUE(findParam(readParams(cam.get()), QStringLiteral("ExposureConfiguration"), choice));
    write(choice, QJsonValue(1));
    const Observed before = observe();
    SettingsLoad::selectStoredExposure(cam.get());
    EXPECT_NE(before.at("exposureTime"), observe().at("exposureTime"));
}

TEST_F(ParamFactsTest, NothingIsLive)
{
    // No parameter of this driver reaches the camera on its edit alone: the
    // cases above would fail for one the table called live.
    EXPECT_TRUE(namesWith(ParamFacts::Effect::Live).isEmpty());
}

} // namespace
