#include "driverfixture.h"
#include "logcapture.h"

#include <QJsonArray>

using namespace drivertest;

class Settings : public DriverTest
{
protected:
    CameraVandrel *colour = nullptr;
    void SetUp() override
    {
        DriverTest::SetUp();
        colour = create(kColour);
        ASSERT_TRUE(colour->opened);
    }
};

TEST_F(Settings, SaveAndLoadRoundTripTheValues)
{
    colour->roiX = 32;
    colour->imageWidth = 128;
    colour->imageHeight = 64;
    colour->exposureTimes[0] = 12.5f;
    colour->frameSpeedIndex = 2;
    colour->mirror[1] = true;
    colour->analogGain = 0;
    QJsonObject saved;
    saved.insert(QStringLiteral("other"), 1);
    colour->save(saved);
    EXPECT_EQ(saved.value(QStringLiteral("other")).toInt(), 1) << "other keys stay";
    ASSERT_EQ(saved.value(QStringLiteral("paramsWrap")).toArray().size(), 22);

    CameraVandrel *other = create(kMono, 1, false);
    other->load(saved);
    EXPECT_EQ(other->roiX, 32);
    EXPECT_EQ(other->imageWidth, 128);
    EXPECT_FLOAT_EQ(other->exposureTimes[0], 12.5f);
    EXPECT_EQ(other->frameSpeedIndex, 2);
    EXPECT_TRUE(other->mirror[1]);
    EXPECT_EQ(other->analogGain, 8) << "below the camera's gain minimum: replaced";
    EXPECT_EQ(other->packetInterval, 0) << "both bounds are 0 once open";
    EXPECT_TRUE(other->reconnectTimer->isActive());
    EXPECT_EQ(other->reconnectTimer->interval(), 30000);

    QJsonObject again;
    other->save(again);
    QJsonObject reloaded;
    CameraVandrel *third = create(kMono, 2, false);
    EXPECT_FALSE(third->opened) << "the monochrome camera is busy";
    third->load(again);
    third->save(reloaded);
    EXPECT_EQ(reloaded, again);
}

TEST_F(Settings, SnapshotPairAndLoadWithoutParams)
{
    colour->imageWidth = 128;
    colour->saveSnapshot();
    EXPECT_TRUE(colour->settingsSnapshot.contains(QStringLiteral("paramsWrap")));
    colour->imageWidth = 64;
    colour->restoreSnapshot();
    EXPECT_EQ(colour->imageWidth, 128);
    EXPECT_TRUE(colour->reconnectTimer->isActive());

    // Nothing to restore, but the format is applied and acquisition started.
    CameraVandrel *mono = create(kMono, 1, false);
    mono->imageWidth = 96;
    VdSimResetCounters();
    mono->restoreSnapshot();
    EXPECT_EQ(mono->imageWidth, 96);
    EXPECT_EQ(VdSimCallCount("VdPlay"), 1);
    EXPECT_TRUE(mono->reconnectTimer->isActive());

    VdSimResetCounters();
    mono->load(QJsonObject{{QStringLiteral("unrelated"), true}});
    EXPECT_EQ(mono->imageWidth, 96);
    EXPECT_EQ(VdSimCallCount("VdPlay"), 1);

    // A closed camera loads values and starts its timer, nothing else.
    CameraVandrel *closed = create(QStringLiteral("SHORT"), 2, false);
    VdSimResetCounters();
    closed->load(QJsonObject());
    EXPECT_EQ(VdSimCallCount("VdPlay"), 0);
    EXPECT_TRUE(closed->reconnectTimer->isActive());
}

TEST_F(Settings, ImageFormatFollowsTheSensorAndTheColourChoice)
{
    colour->colorImage = true;
    VdSimResetCounters();
    colour->applyImageFormat();
    EXPECT_EQ(colour->channels(), 3);
    EXPECT_EQ(colour->matType, CV_8UC3);
    EXPECT_EQ(simValue(kColour, "mediaType"), VD_MEDIA_COLOR);
    EXPECT_EQ(simValue(kColour, "ispOutFormat"), double(VD_PIXEL_RGB8));
    EXPECT_EQ(VdSimCallCount("VdPlay"), 1);

    colour->colorImage = false;
    colour->applyImageFormat();
    EXPECT_EQ(colour->channels(), 1);
    EXPECT_EQ(colour->matType, CV_8UC1);
    EXPECT_EQ(simValue(kColour, "mediaType"), VD_MEDIA_MONO);
    EXPECT_EQ(simValue(kColour, "ispOutFormat"), double(VD_PIXEL_MONO8));

    CameraVandrel *mono = create(kMono, 1, false);
    mono->colorImage = true;
    VdSimResetCounters();
    mono->applyImageFormat();
    EXPECT_EQ(mono->channels(), 1);
    EXPECT_EQ(mono->matType, CV_8UC1);
    EXPECT_EQ(VdSimCallCount("VdSetMediaType"), 0);
    EXPECT_EQ(VdSimCallCount("VdSetIspOutFormat"), 0);

    // Closed: nothing changes.
    mono->closeCamera();
    mono->channelCount = 3;
    mono->applyImageFormat();
    EXPECT_EQ(mono->channels(), 3);
}

TEST_F(Settings, SelectExposureChecksTheIndexAndScalesByTheLineTime)
{
    colour->setExposureConfigCount(2);
    colour->exposureTimes[0] = 5.0f;
    colour->exposureTimes[1] = 7.0f;
    EXPECT_EQ(colour->selectExposure(-1), -1);
    EXPECT_EQ(colour->selectExposure(2), -1);
    EXPECT_EQ(colour->currentExposureIndex, 0);
    EXPECT_EQ(VdSimCallCount("VdSetExposureTime"), 0);

    // Line time 2.0 in the fixture's population.
    EXPECT_EQ(colour->selectExposure(0), 0);
    EXPECT_DOUBLE_EQ(simValue(kColour, "exposureTime"), 10000.0);
    VdSimFailNext("VdSetExposureTime", VD_ERR_LINK_DOWN);
    EXPECT_EQ(colour->selectExposure(1), VD_ERR_LINK_DOWN);
    EXPECT_EQ(colour->currentExposureIndex, 1) << "the index is kept even when sending failed";
    EXPECT_DOUBLE_EQ(simValue(kColour, "exposureTime"), 10000.0);

    // Never opened: the index is stored, nothing is sent.
    CameraVandrel *never = create(QStringLiteral("NOTATTACHED01"), 1, false);
    VdSimResetCounters();
    EXPECT_EQ(never->selectExposure(0), VD_ERR_NOT_INITIALISED);
    EXPECT_EQ(never->currentExposureIndex, 0);
    EXPECT_EQ(VdSimCallCount("VdSetExposureTime"), 0);
}

TEST_F(Settings, TriggerModeQueries)
{
    LogCapture log;
    EXPECT_FALSE(colour->isContinueCapture()) << "the fixture's cameras start in software trigger";
    colour->setContinueCapture(false);
    EXPECT_TRUE(colour->isContinueCapture()) << "either argument selects continuous acquisition";
    EXPECT_EQ(simValue(kColour, "triggerMode"), 0);
    VdSimFailNext("VdSetTriggerMode", VD_ERR_LINK_DOWN);
    colour->setContinueCapture(true);
    EXPECT_EQ(log.count(QString::number(VD_ERR_LINK_DOWN)), 1);
    // A query that fails and leaves the mode untouched answers continuous.
    VdSimFailNext("VdGetTriggerMode", VD_ERR_LINK_DOWN);
    EXPECT_TRUE(colour->isContinueCapture());

    colour->closeCamera();
    VdSimResetCounters();
    colour->setContinueCapture(true);
    EXPECT_FALSE(colour->isContinueCapture());
    EXPECT_EQ(VdSimCallCount("VdSetTriggerMode") + VdSimCallCount("VdGetTriggerMode"), 0);
}

TEST_F(Settings, SoftTriggerPresetsNumbersAndInstallsTheHook)
{
    colour->load(QJsonObject());
    std::atomic<int> hookCalls{0};
    CameraTrigParams params;
    params.trigKind = 32;
    params.productsPerCycle = 3;
    colour->setTrigParams(&params);
    EXPECT_EQ(colour->trigKind, 32);
    VdSimResetCounters();
    colour->softTrigger(7, 2, [&] { ++hookCalls; });
    EXPECT_EQ(colour->productId, 7);
    EXPECT_EQ(colour->productFrame, 2);
    EXPECT_EQ(colour->productCycle, 1);
    EXPECT_TRUE(bool(colour->triggerCallback));
    EXPECT_EQ(VdSimCallCount("VdSoftTrigger"), 1);
    EXPECT_EQ(simValue(kColour, "softTriggers"), 1);

    params.productsPerCycle = 7;
    colour->setTrigParams(&params);
    colour->softTrigger(7, 2, nullptr);
    EXPECT_EQ(colour->productCycle, 7);
    EXPECT_FALSE(bool(colour->triggerCallback)) << "an empty hook empties the callback";
    colour->softTrigger(-5, 1, nullptr);
    EXPECT_EQ(colour->productCycle, -5) << "the remainder takes the sign of the product number";

    // No division by zero for a cycle of no products: it counts as one.
    params.productsPerCycle = 0;
    colour->setTrigParams(&params);
    colour->softTrigger(9, 1, nullptr);
    EXPECT_EQ(colour->productId, 9);
    EXPECT_EQ(colour->productCycle, 1);
    params.productsPerCycle = -4;
    colour->setTrigParams(&params);
    colour->softTrigger(10, 1, nullptr);
    EXPECT_EQ(colour->productCycle, 1);

    // Other kinds keep the counters.
    params.trigKind = 1;
    colour->setTrigParams(&params);
    colour->softTrigger(99, 9, nullptr);
    EXPECT_EQ(colour->productId, 10);

    // Closed: nothing happens and the hook is released.
    colour->closeCamera();
    auto token = std::make_shared<int>(1);
    std::weak_ptr<int> watch = token;
    colour->softTrigger(1, 1, [token] {});
    token.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(bool(colour->triggerCallback));
    EXPECT_EQ(colour->productId, 10);
}

TEST_F(Settings, TrigParamsAreCopiedOnlyOnAnOpenCamera)
{
    CameraTrigParams params;
    params.trigKind = 32;
    params.trigValue2 = 2;
    params.trigValue3 = 3;
    params.trigValue4 = 4;
    params.trigValue5 = 5;
    params.capturesPerProduct = 6;
    params.trigValue7 = 7;
    params.productsPerCycle = 8;
    params.cycleTimeout = 9;
    params.autoCount = 10;
    params.trigValue11 = 11;
    params.extraParams.insert(QStringLiteral("k"), 12);
    colour->setTrigParams(&params);
    const CameraTrigParams *t = colour->trigParams;
    EXPECT_NE(t, &params);
    EXPECT_EQ(t->trigKind, 32);
    EXPECT_EQ(t->trigValue2 + t->trigValue3 + t->trigValue4 + t->trigValue5, 14);
    EXPECT_EQ(t->capturesPerProduct, 6);
    EXPECT_EQ(t->trigValue7, 7);
    EXPECT_EQ(t->productsPerCycle, 8);
    EXPECT_EQ(t->cycleTimeout, 9);
    EXPECT_EQ(t->autoCount, 10);
    EXPECT_EQ(t->trigValue11, 11);
    EXPECT_EQ(t->extraParams.value(QStringLiteral("k")).toInt(), 12);

    colour->setTrigParams(colour->trigParams);
    EXPECT_EQ(colour->trigParams->capturesPerProduct, 6);
    colour->setTrigParams(nullptr);
    EXPECT_EQ(colour->trigParams->capturesPerProduct, 6);

    colour->closeCamera();
    params.capturesPerProduct = 2;
    params.trigKind = 4;
    colour->setTrigParams(&params);
    EXPECT_EQ(colour->trigParams->capturesPerProduct, 6) << "settings given to a closed camera are lost";
    EXPECT_EQ(colour->trigKind, 32);
}

TEST_F(Settings, ParamsChangedLogsAndNormalisesUnderTheFrameMutex)
{
    LogCapture log;
    colour->analogGain = -1;
    colour->paramsChanged();
    EXPECT_EQ(colour->analogGain, 8);
    const QList<CapturedMessage> lines = log.matching(QStringLiteral("CameraVandrel::paramsChanged"));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.first().type, QtInfoMsg);

    // While a delivery holds the mutex, the check waits for it.
    colour->frameMutex()->lock();
    std::atomic<bool> done{false};
    std::thread other([&] {
        colour->paramsChanged();
        done = true;
    });
    QThread::msleep(50);
    EXPECT_FALSE(done.load());
    colour->frameMutex()->unlock();
    other.join();
    EXPECT_TRUE(done.load());

    colour->closeCamera();
    colour->analogGain = -1;
    colour->paramsChanged();
    EXPECT_EQ(colour->analogGain, -1);
    EXPECT_EQ(log.count(QStringLiteral("CameraVandrel::paramsChanged")), 3);
}

TEST_F(Settings, ExposureConfigCountRebuildsTheList)
{
    colour->exposureTimes[0] = 3.0f;
    colour->setExposureConfigCount(3);
    EXPECT_EQ(colour->paramList.size(), 24);
    EXPECT_FLOAT_EQ(colour->exposureTimes[0], 3.0f);
    colour->setExposureConfigCount(-2);
    EXPECT_EQ(colour->paramList.size(), 21);
    EXPECT_EQ(colour->exposureConfigCount, 0);
    EXPECT_TRUE(colour->exposureTimes.isEmpty());
}

// The preset reaches the host through captureCompleted, numbered with the
// driver's own trigger settings.
TEST_F(Settings, HostNumberedFramesCarryTheSoftTriggerNumbers)
{
    colour->load(QJsonObject());
    FrameSink sink(colour);
    {
        FrameLock guard(colour->frameMutex());
        colour->isRunning = true;
    }
    CameraTrigParams params;
    params.trigKind = 32;
    params.productsPerCycle = 3;
    colour->setTrigParams(&params);
    colour->softTrigger(7, 2, {});
    ASSERT_TRUE(waitUntil([&] { return sink.count() == 1; }));
    ASSERT_TRUE(push(kColour));
    ASSERT_EQ(sink.count(), 2);
    for (const ImageProcessData &d : sink.frames()) {
        EXPECT_EQ(d.productID, 7);
        EXPECT_EQ(d.captureIndex, 2);
        EXPECT_EQ(d.productCycleIndex, 1);
    }
}
