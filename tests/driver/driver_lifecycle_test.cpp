#include "freshprocess.h"
#include "driverfixture.h"
#include "logcapture.h"

#include <cstring>
#include <limits>

using namespace drivertest;

namespace {

const char *const kSdkFunctions[] = {
    "VdSdkInit", "VdEnumerateDevice", "VdInit", "VdUnInit", "VdSetConnectionStatusCallback",
    "VdSetCallbackFunction", "VdGetCapability", "VdGetImageResolution", "VdGetExposureLineTime", "VdPlay",
    "VdStop", "VdImageProcess", "VdReleaseImageBuffer", "VdSetMediaType", "VdSetIspOutFormat",
    "VdSetExposureTime", "VdSoftTrigger", "VdSetTriggerMode", "VdGetTriggerMode"};

int totalSdkCalls()
{
    int total = 0;
    for (const char *f : kSdkFunctions)
        total += VdSimCallCount(f);
    return total;
}

} // namespace

TEST_F(DriverTest, DiscoveryKeepsTheFamilyAndCountsEveryDevice)
{
    const QVector<QString> serials = enumerate();
    EXPECT_EQ(serials, (QVector<QString>{kColour, kMono}));
    EXPECT_EQ(lastCount, 3);
    EXPECT_EQ(VdSimCallCount("VdSdkInit"), 1);
}

class FamilyNames : public DriverTest
{
    QByteArray population() const override
    {
        return Population()
            .add("LS VD-XG16K", "MIDDLE000001")
            .add("vd-xg4k", "LOWER0000002")
            .add("VD-XGABCDEFGHIJKLMNOPQRSTUVWXYZ0", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")
            .json();
    }
};

TEST_F(FamilyNames, FamilyMatchIsCaseSensitiveAnywhereAndTextsStayInTheirFields)
{
    const QVector<QString> serials = enumerate();
    ASSERT_EQ(serials.size(), 2);
    EXPECT_EQ(serials[0], QStringLiteral("MIDDLE000001"));
    // A serial number filling its whole field has no terminator.
    EXPECT_EQ(serials[1], QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"));
    EXPECT_EQ(lastCount, 3);
    CameraVandrel *camera = create(serials[1], 0, false);
    EXPECT_EQ(camera->cameraSerial(), serials[1]);
}

class CrowdedBus : public DriverTest
{
    QByteArray population() const override
    {
        Population crowd;
        for (int i = 0; i < 25; ++i) {
            crowd.add("VD-XG2K-M", ("CROWD" + std::to_string(100000 + i)).c_str(),
                      [](Population::Device &d) { d.mono = true; });
        }
        return crowd.json();
    }
};

TEST_F(CrowdedBus, DiscoveryNeverReadsPastTheTable)
{
    const QVector<QString> serials = enumerate();
    EXPECT_EQ(serials.size(), 20);
    EXPECT_LE(lastCount, 20);
    EXPECT_EQ(serials.first(), QStringLiteral("CROWD100000"));
}

TEST_F(DriverTest, OpensThatCannotSucceedCallNoSdkFunction)
{
    enumerate();
    VdSimResetCounters();
    CameraVandrel *shortSerial = create(QStringLiteral("12345678"), 0, false);
    CameraVandrel *unknown = create(QStringLiteral("NOTATTACHED01"), 1, false);
    EXPECT_EQ(totalSdkCalls(), 0);
    for (CameraVandrel *c : {shortSerial, unknown}) {
        EXPECT_FALSE(c->opened);
        EXPECT_EQ(c->cameraSerial(), QStringLiteral("-1"));
        EXPECT_EQ(c->paramList.size(), 22);
    }
}

// The device table is module-wide, so this case runs in a fresh process of
// its own, however the program is run.
TEST_F(DriverTest, CreateBeforeAnyEnumerationFailsToOpen)
{
    if (!inFreshProcess()) {
        std::string output;
        EXPECT_TRUE(passesInFreshProcess("DriverTest.CreateBeforeAnyEnumerationFailsToOpen", output)) << output;
        return;
    }
    CameraVandrel *camera = create(kColour, 0, false);
    EXPECT_FALSE(camera->opened);
    EXPECT_EQ(camera->cameraSerial(), QStringLiteral("-1"));
    EXPECT_EQ(VdSimCallCount("VdInit"), 0);
}

TEST_F(DriverTest, OpenReadsCapabilitiesIntoTheBounds)
{
    CameraVandrel *camera = create(kColour, 5);
    ASSERT_TRUE(camera->opened);
    EXPECT_EQ(camera->cameraSerial(), kColour);
    EXPECT_EQ(camera->cameraIndex, 5);
    EXPECT_EQ(camera->cameraNumber, 5);
    EXPECT_EQ(camera->monoSensor, 0);
    EXPECT_EQ(camera->roiXMax, 256);
    EXPECT_EQ(camera->roiXStep, 16);
    EXPECT_EQ(camera->roiYMax, 2048);
    EXPECT_EQ(camera->roiYStep, 4);
    EXPECT_EQ(camera->widthMin, 64);
    EXPECT_EQ(camera->widthMax, 256);
    EXPECT_EQ(camera->heightMin, 64);
    EXPECT_EQ(camera->heightMax, 2048);
    EXPECT_EQ(camera->sensorWidth, 256);
    EXPECT_EQ(camera->sensorHeight, 2048);
    EXPECT_EQ(camera->gainMin, 1);
    EXPECT_EQ(camera->gainMax, 32);
    EXPECT_EQ(camera->gammaMin, 50);
    EXPECT_EQ(camera->gammaMax, 250);
    EXPECT_EQ(camera->contrastMin, 50);
    EXPECT_EQ(camera->contrastMax, 200);
    EXPECT_EQ(camera->sharpnessMax, 10);
    EXPECT_EQ(camera->debounceMax, 2000000);
    EXPECT_EQ(camera->packetIntervalMax, 0);
    EXPECT_DOUBLE_EQ(camera->exposureLineTime, 2.0);
    EXPECT_FLOAT_EQ(camera->exposureMin, 10 * 2.0 / 1000.0);
    EXPECT_FLOAT_EQ(camera->exposureMax, 50000 * 2.0 / 1000.0);

    CameraVandrel *mono = create(kMono, 1, false);
    ASSERT_TRUE(mono->opened);
    EXPECT_NE(mono->monoSensor, 0);
}

TEST_F(DriverTest, SdkCallsOfOpenCloseRestartAndDestruction)
{
    enumerate();
    VdSimResetCounters();
    CameraVandrel *camera = create(kColour, 0, false);
    EXPECT_EQ(VdSimCallCount("VdInit"), 1);
    EXPECT_EQ(VdSimCallCount("VdSetConnectionStatusCallback"), 1);
    EXPECT_EQ(VdSimCallCount("VdSetCallbackFunction"), 1);
    EXPECT_EQ(VdSimCallCount("VdGetCapability"), 1);
    EXPECT_EQ(VdSimCallCount("VdGetExposureLineTime"), 1);
    EXPECT_EQ(totalSdkCalls(), 5);
    EXPECT_EQ(simValue(kColour, "open"), 1);

    {
        LogCapture log;
        VdSimResetCounters();
        camera->closeCamera();
        EXPECT_EQ(VdSimCallCount("VdStop"), 1);
        EXPECT_EQ(VdSimCallCount("VdSetConnectionStatusCallback"), 1);
        EXPECT_EQ(VdSimCallCount("VdSetCallbackFunction"), 1);
        EXPECT_EQ(VdSimCallCount("VdUnInit"), 1);
        EXPECT_EQ(totalSdkCalls(), 4);
        EXPECT_EQ(log.count(QStringLiteral("cameraVandrel Close")), 1);
        EXPECT_FALSE(camera->opened);
        EXPECT_EQ(simValue(kColour, "open"), 0);
    }

    // Closed: a second close and the starts and stops do nothing.
    VdSimResetCounters();
    camera->closeCamera();
    camera->CameraStart();
    EXPECT_EQ(totalSdkCalls(), 0);

    VdSimResetCounters();
    camera->restartCamera();
    EXPECT_TRUE(camera->opened);
    EXPECT_EQ(VdSimCallCount("VdInit"), 1);
    EXPECT_EQ(VdSimCallCount("VdGetImageResolution"), 1);
    EXPECT_EQ(VdSimCallCount("VdPlay"), 1);
    EXPECT_EQ(VdSimCallCount("VdUnInit"), 0);
    EXPECT_EQ(simValue(kColour, "playing"), 1);

    VdSimResetCounters();
    camera->restartCamera();
    EXPECT_EQ(VdSimCallCount("VdStop"), 1);
    EXPECT_EQ(VdSimCallCount("VdUnInit"), 1);
    EXPECT_EQ(VdSimCallCount("VdInit"), 1);
    EXPECT_EQ(VdSimCallCount("VdPlay"), 1);

    VdSimResetCounters();
    cameras.clear();
    EXPECT_EQ(VdSimCallCount("VdStop"), 1);
    EXPECT_EQ(VdSimCallCount("VdUnInit"), 1);
    EXPECT_EQ(simValue(kColour, "open"), 0);
}

TEST_F(DriverTest, DestroyingANeverOpenedObjectCallsNothing)
{
    VdSimResetCounters();
    plugin.reset();
    auto lone = std::make_unique<CameraVandrel>();
    lone.reset();
    EXPECT_EQ(totalSdkCalls(), 0);
}

TEST_F(DriverTest, FailingStartAndStopAreLoggedAsTheirStatus)
{
    CameraVandrel *camera = create(kColour);
    LogCapture log;
    VdSimFailNext("VdPlay", VD_ERR_LINK_DOWN);
    camera->CameraStart();
    VdSimFailNext("VdStop", VD_ERR_BAD_HANDLE);
    camera->closeCamera();
    ASSERT_EQ(log.count(QString::number(VD_ERR_LINK_DOWN)), 1);
    EXPECT_EQ(log.matching(QString::number(VD_ERR_LINK_DOWN)).first().type, QtWarningMsg);
    EXPECT_EQ(log.matching(QString::number(VD_ERR_LINK_DOWN)).first().file,
              QStringLiteral("Plugins/Cameras/Vandrel/vandrel.cpp"));
    EXPECT_EQ(log.count(QString::number(VD_ERR_BAD_HANDLE)), 1);
}

TEST_F(DriverTest, FailingInitLeavesTheCameraClosedAndUnretried)
{
    enumerate();
    VdSimFailNext("VdInit", VD_ERR_BUSY);
    CameraVandrel *camera = create(kColour, 0, false);
    EXPECT_FALSE(camera->opened);
    EXPECT_EQ(VdSimCallCount("VdSetCallbackFunction"), 0);
    // Only a lost camera is retried.
    camera->reconnectTick();
    EXPECT_FALSE(camera->opened);
    camera->restartCamera();
    EXPECT_TRUE(camera->opened);
}

// --- normalizeParams

class Normalize : public DriverTest
{
protected:
    // The colour camera's current resolution is 256 x 64 at offset 0,0.
    CameraVandrel *camera = nullptr;
    void SetUp() override
    {
        DriverTest::SetUp();
        camera = create(kColour);
        ASSERT_TRUE(camera->opened);
    }
};

TEST_F(Normalize, ClosedCameraIsLeftAlone)
{
    camera->closeCamera();
    camera->imageWidth = 1000;
    camera->analogGain = -5;
    camera->normalizeParams();
    EXPECT_EQ(camera->imageWidth, 1000);
    EXPECT_EQ(camera->analogGain, -5);
}

TEST_F(Normalize, GeometryIsAlignedThenFittedToTheSensor)
{
    camera->imageWidth = 1000 % 256 + 64;  // 296: aligned to 288, past the 256 sensor
    camera->roiX = 0;
    camera->imageHeight = 66;  // aligned to 64: equals the camera, left alone
    camera->normalizeParams();
    EXPECT_EQ(camera->imageWidth, 256);
    EXPECT_EQ(camera->roiXMax, 0);
    EXPECT_EQ(camera->imageHeight, 64);
    EXPECT_EQ(camera->roiYMax, 2048 - 64);
    EXPECT_EQ(camera->widthMax, 256);
    EXPECT_EQ(camera->heightMax, 2048);

    // Alignment truncates toward zero before comparing.
    camera->imageWidth = 200;
    camera->normalizeParams();
    EXPECT_EQ(camera->imageWidth, 192);

    // A non-positive size takes the current maximum.
    camera->imageWidth = 0;
    camera->imageHeight = -7;
    camera->normalizeParams();
    EXPECT_EQ(camera->imageWidth, 256);
    EXPECT_EQ(camera->imageHeight, 2048);
}

TEST_F(Normalize, OffsetPastTheSensorShrinksTheWidthAndMovesTheOffset)
{
    // The fixture's colour sensor is 256 wide; scale the 4096 example down by 16.
    camera->sensorWidth = 4096;
    camera->roiX = 96;
    camera->imageWidth = 4096;
    camera->normalizeParams();
    EXPECT_EQ(camera->imageWidth, 4000);
    EXPECT_EQ(camera->roiXMax, 96);
    EXPECT_EQ(camera->roiX, 96);
    EXPECT_EQ(camera->widthMax, 4000);

    // Aligned to 4080; the width gives way first, so the offset stays.
    camera->roiX = 4090;
    camera->normalizeParams();
    EXPECT_EQ(camera->roiX, 4080);
    EXPECT_EQ(camera->imageWidth, 16);
    EXPECT_EQ(camera->widthMax, 16);
    camera->roiY = -8;
    camera->normalizeParams();
    EXPECT_EQ(camera->roiY, 0);
}

TEST_F(Normalize, ExtremeValuesFromSettingsSaturateInsteadOfOverflowing)
{
    constexpr qint32 kMax = std::numeric_limits<qint32>::max();
    constexpr qint32 kMin = std::numeric_limits<qint32>::min();
    camera->imageWidth = kMax;
    camera->roiX = kMin;
    camera->imageHeight = kMin;
    camera->roiY = kMax;
    camera->widthStep = -1;  // kMin % -1 would trap in 32 bits
    camera->normalizeParams();
    // The width stays (a sum with the negative offset fits), the offset
    // then takes the negative room left, and the room for the width saturates.
    EXPECT_EQ(camera->imageWidth, kMax);
    EXPECT_EQ(camera->roiXMax, 256 - kMax);
    EXPECT_EQ(camera->roiX, 256 - kMax);
    EXPECT_EQ(camera->widthMax, kMax);
    EXPECT_EQ(camera->roiY, kMax - 3);
    EXPECT_EQ(camera->imageHeight, 2048 - (kMax - 3));
    EXPECT_EQ(camera->roiYMax, kMax - 3);
}

TEST_F(Normalize, ExposureIndexAndClampedSettings)
{
    camera->currentExposureIndex = -4;
    camera->normalizeParams();
    EXPECT_EQ(camera->currentExposureIndex, 0);
    camera->currentExposureIndex = 9;
    camera->normalizeParams();
    EXPECT_EQ(camera->currentExposureIndex, 0);
    camera->setExposureConfigCount(0);
    camera->normalizeParams();
    EXPECT_EQ(camera->currentExposureIndex, -1);

    // Below the minimum takes a fixed replacement, even one that is itself out of range.
    camera->gainMin = 10;
    camera->analogGain = 2;
    camera->gamma = 1;
    camera->contrast = 1;
    camera->sharpnessMin = 3;
    camera->sharpness = 1;
    camera->debounceTime = -1;
    camera->packetInterval = 400;
    camera->normalizeParams();
    EXPECT_EQ(camera->analogGain, 8);
    EXPECT_EQ(camera->gamma, 100);
    EXPECT_EQ(camera->contrast, 100);
    EXPECT_EQ(camera->sharpness, 0);
    EXPECT_EQ(camera->debounceTime, 0);
    EXPECT_EQ(camera->packetInterval, 0);

    camera->analogGain = 99;
    camera->gamma = 999;
    camera->contrast = 999;
    camera->sharpness = 99;
    camera->debounceTime = 3000000;
    camera->normalizeParams();
    EXPECT_EQ(camera->analogGain, 32);
    EXPECT_EQ(camera->gamma, 250);
    EXPECT_EQ(camera->contrast, 200);
    EXPECT_EQ(camera->sharpness, 10);
    EXPECT_EQ(camera->debounceTime, 2000000);
}

TEST_F(DriverTest, IdentityAndConstantAnswers)
{
    EXPECT_EQ(plugin->pluginIID(), QStringLiteral("com.kvr.quorvane.camerainterface.Vandrel"));
    EXPECT_EQ(plugin->pluginName(), QStringLiteral("Vandrel相机-线扫"));
    EXPECT_EQ(plugin->pluginVersion(), QStringLiteral("V2.1.0.30"));
    EXPECT_EQ(plugin->pluginDescription(), QStringLiteral("请查看帮助文档 "));
    EXPECT_TRUE(plugin->pluginIcon().isNull());
    EXPECT_EQ(plugin->pluginParams(), &plugin->paramList);
    EXPECT_TRUE(plugin->hostQueryFlag5());
    EXPECT_EQ(plugin->hostQueryValue(), 0);
    EXPECT_TRUE(plugin->hostQueryFlag1());
    EXPECT_EQ(plugin->hostQueryCode(), 63);
    EXPECT_FALSE(plugin->hostQueryFlag2());
    EXPECT_FALSE(plugin->hostQueryFlag3());
    EXPECT_TRUE(plugin->hostQueryFlag4());
    EXPECT_TRUE(plugin->hostQueryList().isEmpty());
    EXPECT_EQ(plugin->hostQueryReal(), 0.0);
    EXPECT_EQ(plugin->frameMutex(), &plugin->mutex);
    EXPECT_EQ(plugin->trigParams->trigKind, 1);
    EXPECT_EQ(plugin->trigKind, 1);
    EXPECT_FALSE(plugin->reconnectTimer->isActive());
    EXPECT_EQ(plugin->reconnectTimer->parent(), plugin.get());

    // Not open: neutral answers.
    EXPECT_EQ(plugin->cameraSerial(), QStringLiteral("-1"));
    EXPECT_FALSE(plugin->isContinueCapture());
    EXPECT_TRUE(plugin->blankImage().empty());
    plugin->imageWidth = -3;
    plugin->imageHeight = 10;
    EXPECT_TRUE(plugin->blankImage().empty());
    plugin->imageWidth = 8;
    plugin->matType = CV_8UC3;
    const cv::Mat blank = plugin->blankImage();
    EXPECT_EQ(blank.rows, 10);
    EXPECT_EQ(blank.cols, 8);
    EXPECT_EQ(blank.type(), CV_8UC3);
    EXPECT_EQ(cv::countNonZero(blank.reshape(1)), 0);
}
