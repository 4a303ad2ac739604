// Records, enumeration, opening and closing, device queries and the refusal
// of bad input.
#include "sdkfixture.h"

#include <cstddef>
#include <set>

using namespace sdktest;

TEST(SdkRecords, LayoutMatchesTheVendorBinaryInterface)
{
    EXPECT_EQ(sizeof(VdDeviceInfo), 260u);
    EXPECT_EQ(offsetof(VdDeviceInfo, productName), 32u);
    EXPECT_EQ(offsetof(VdDeviceInfo, serialNumber), 224u);
    EXPECT_EQ(offsetof(VdFrameHead, byteCount), 4u);
    EXPECT_EQ(offsetof(VdFrameHead, width), 8u);
    EXPECT_EQ(offsetof(VdFrameHead, height), 12u);
    EXPECT_EQ(offsetof(VdFrameHead, timeStamp), 28u);
    EXPECT_EQ(offsetof(VdCapability, analogGainMin), 196u);
    EXPECT_EQ(offsetof(VdCapability, exposureMin), 208u);
    EXPECT_EQ(offsetof(VdCapability, maxHeight), 216u);
    EXPECT_EQ(offsetof(VdCapability, maxWidth), 224u);
    EXPECT_EQ(offsetof(VdCapability, gammaMin), 280u);
    EXPECT_EQ(offsetof(VdCapability, sharpnessMax), 300u);
    EXPECT_EQ(offsetof(VdCapability, monoSensor), 304u);
    EXPECT_EQ(offsetof(VdResolution, offsetX), 52u);
    EXPECT_EQ(offsetof(VdResolution, offsetY), 56u);
    EXPECT_EQ(offsetof(VdResolution, width), 68u);
    EXPECT_EQ(offsetof(VdResolution, height), 72u);
    EXPECT_EQ(VD_PIXEL_RGB8, 0x02180014u);
    EXPECT_EQ(VD_PIXEL_MONO8, 0x01080001u);
}

TEST(SdkEnumeration, ListsAttachedDevicesUpToTheCapacity)
{
    configure();
    VdDeviceInfo table[20];
    std::memset(table, 0xAB, sizeof table);
    int count = 20;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    ASSERT_EQ(count, 2);   // the unplugged one is not listed
    EXPECT_STREQ(table[0].serialNumber, kColour);
    EXPECT_STREQ(table[0].productName, "VD-XG4K-C");
    EXPECT_STREQ(table[1].serialNumber, kMono);
    EXPECT_STREQ(table[1].productName, "VD-XG8K-M");
    EXPECT_NE(table[0].deviceKey, table[1].deviceKey);
    EXPECT_EQ(table[1].deviceIndex, 1u);
    // Nothing beyond the records written is touched.
    EXPECT_EQ(reinterpret_cast<unsigned char *>(&table[2])[0], 0xAB);

    std::memset(table, 0xAB, sizeof table);
    count = 1;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    EXPECT_EQ(count, 1);
    EXPECT_STREQ(table[0].serialNumber, kColour);
    EXPECT_EQ(reinterpret_cast<unsigned char *>(&table[1])[0], 0xAB);

    ASSERT_EQ(VdSimSetAttached(kUnplugged, 1), VD_OK);
    count = 20;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    EXPECT_EQ(count, 3);
    ASSERT_EQ(VdSimSetAttached(kColour, 0), VD_OK);
    count = 20;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    EXPECT_EQ(count, 2);
    EXPECT_STREQ(table[0].serialNumber, kMono);
}

TEST(SdkEnumeration, LongTextsFillTheirFieldWithoutOverflow)
{
    configure(R"({"devices": [{"serialNumber": "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
                               "productName": "A product name that is far longer than its field"}]})");
    VdDeviceInfo table[2];
    std::memset(table, 0xAB, sizeof table);
    int count = 1;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(std::string(table[0].serialNumber, 36), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    EXPECT_EQ(std::string(table[0].productName, 32), std::string("A product name that is far longer than its field", 32));
    EXPECT_EQ(reinterpret_cast<unsigned char *>(&table[1])[0], 0xAB);
    // A serial that fills its field still opens the device.
    VdHandle h = 0;
    ASSERT_EQ(VdInit(&table[0], -1, -1, &h), VD_OK);
    EXPECT_EQ(VdUnInit(h), VD_OK);
}

TEST(SdkEnumeration, DefaultPopulationHasTwoLineScanCamerasAndOneOther)
{
    ASSERT_EQ(VdSimConfigureDefault(), VD_OK);
    ASSERT_EQ(VdSdkInit(0), VD_OK);
    VdDeviceInfo table[20];
    int count = 20;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    ASSERT_EQ(count, 3);
    std::set<bool> monoFlags;
    std::set<int> widths;
    int lineScan = 0;
    for (int i = 0; i < count; ++i) {
        const std::string serial(table[i].serialNumber, strnlen(table[i].serialNumber, 36));
        EXPECT_GT(serial.size(), 8u);
        VdHandle h = 0;
        ASSERT_EQ(VdInit(&table[i], -1, -1, &h), VD_OK);
        VdCapability cap;
        ASSERT_EQ(VdGetCapability(h, &cap), VD_OK);
        if (std::string(table[i].productName).rfind("VD-XG", 0) == 0) {
            ++lineScan;
            monoFlags.insert(cap.monoSensor != 0);
            widths.insert(cap.maxWidth);
        }
        EXPECT_EQ(VdUnInit(h), VD_OK);
    }
    EXPECT_EQ(lineScan, 2);
    EXPECT_EQ(monoFlags.size(), 2u);
    EXPECT_EQ(widths.size(), 2u);
}

TEST(SdkOpen, OpenBusyCloseAndReopenWithFreshHandles)
{
    configure();
    const VdDeviceInfo colour = recordFor(kColour);
    VdHandle first = 0;
    ASSERT_EQ(VdInit(&colour, -1, -1, &first), VD_OK);
    EXPECT_GT(first, 0);
    EXPECT_EQ(value(kColour, "open"), 1);

    VdHandle again = 777;
    EXPECT_EQ(VdInit(&colour, -1, -1, &again), VD_ERR_BUSY);
    EXPECT_EQ(again, 777);

    VdHandle mono = openCamera(kMono);
    EXPECT_GT(mono, 0);
    EXPECT_NE(mono, first);

    ASSERT_EQ(VdUnInit(first), VD_OK);
    EXPECT_EQ(value(kColour, "open"), 0);
    EXPECT_EQ(VdUnInit(first), VD_ERR_BAD_HANDLE);
    EXPECT_EQ(VdPlay(first), VD_ERR_BAD_HANDLE);

    VdHandle second = 0;
    ASSERT_EQ(VdInit(&colour, -1, -1, &second), VD_OK);
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);
    EXPECT_NE(second, mono);
    EXPECT_EQ(VdUnInit(second), VD_OK);
    EXPECT_EQ(VdUnInit(mono), VD_OK);
}

TEST(SdkOpen, RefusesDevicesThatAreNotThere)
{
    configure();
    VdHandle h = 0;
    VdDeviceInfo unknown = recordFor("NOSUCHDEVICE42");
    EXPECT_EQ(VdInit(&unknown, -1, -1, &h), VD_ERR_NO_DEVICE);
    VdDeviceInfo unplugged = recordFor(kUnplugged);
    EXPECT_EQ(VdInit(&unplugged, -1, -1, &h), VD_ERR_NO_DEVICE);
    ASSERT_EQ(VdSimLinkLost(kColour, 0), VD_OK);
    VdDeviceInfo lost = recordFor(kColour);
    EXPECT_EQ(VdInit(&lost, -1, -1, &h), VD_ERR_NO_DEVICE);
    ASSERT_EQ(VdSimLinkRestored(kColour), VD_OK);
    h = openCamera(kColour);
    EXPECT_EQ(VdUnInit(h), VD_OK);
}

TEST(SdkDevice, ReportsCapabilityResolutionAndLineTime)
{
    configure();
    VdHandle h = openCamera(kColour);
    VdCapability cap;
    std::memset(&cap, 0xAB, sizeof cap);
    ASSERT_EQ(VdGetCapability(h, &cap), VD_OK);
    EXPECT_EQ(cap.analogGainMin, 1);
    EXPECT_EQ(cap.analogGainMax, 9);
    EXPECT_EQ(cap.lineTimeNs, 12500);
    EXPECT_EQ(cap.exposureMin, 3);
    EXPECT_EQ(cap.exposureMax, 5000);
    EXPECT_EQ(cap.maxWidth, 64);
    EXPECT_EQ(cap.maxHeight, 256);
    EXPECT_EQ(cap.gammaMin, 10);
    EXPECT_EQ(cap.gammaMax, 300);
    EXPECT_EQ(cap.contrastMin, -5);
    EXPECT_EQ(cap.contrastMax, 50);
    EXPECT_EQ(cap.sharpnessMin, 2);
    EXPECT_EQ(cap.sharpnessMax, 20);
    EXPECT_EQ(cap.monoSensor, 0);

    VdResolution res;
    std::memset(&res, 0xAB, sizeof res);
    ASSERT_EQ(VdGetImageResolution(h, &res), VD_OK);
    EXPECT_EQ(res.offsetX, 0);
    EXPECT_EQ(res.offsetY, 0);
    EXPECT_EQ(res.width, 64);
    EXPECT_EQ(res.height, 16);

    double lineTime = 0;
    ASSERT_EQ(VdGetExposureLineTime(h, &lineTime), VD_OK);
    EXPECT_DOUBLE_EQ(lineTime, 12.5);

    VdHandle m = openCamera(kMono);
    ASSERT_EQ(VdGetCapability(m, &cap), VD_OK);
    EXPECT_NE(cap.monoSensor, 0);
    EXPECT_EQ(cap.maxWidth, 96);
    EXPECT_EQ(VdUnInit(m), VD_OK);
    EXPECT_EQ(VdUnInit(h), VD_OK);
}

TEST(SdkDevice, SettingsAreKeptAndInvalidValuesRefused)
{
    configure();
    VdHandle h = openCamera(kColour);
    // A colour sensor starts with RGB8, a monochrome one with Mono8.
    EXPECT_EQ(value(kColour, "ispOutFormat"), double(VD_PIXEL_RGB8));
    EXPECT_EQ(value(kMono, "ispOutFormat"), double(VD_PIXEL_MONO8));

    EXPECT_EQ(VdSetIspOutFormat(h, VD_PIXEL_MONO8), VD_OK);
    EXPECT_EQ(value(kColour, "ispOutFormat"), double(VD_PIXEL_MONO8));
    EXPECT_EQ(VdSetIspOutFormat(h, 0x02200015u), VD_ERR_UNSUPPORTED_FORMAT);
    EXPECT_EQ(VdSetIspOutFormat(h, 0), VD_ERR_UNSUPPORTED_FORMAT);
    EXPECT_EQ(value(kColour, "ispOutFormat"), double(VD_PIXEL_MONO8));

    EXPECT_EQ(VdSetMediaType(h, VD_MEDIA_MONO), VD_OK);
    EXPECT_EQ(value(kColour, "mediaType"), 1);
    EXPECT_EQ(VdSetMediaType(h, 2), VD_ERR_UNSUPPORTED_FORMAT);
    EXPECT_EQ(VdSetMediaType(h, -1), VD_ERR_UNSUPPORTED_FORMAT);
    EXPECT_EQ(value(kColour, "mediaType"), 1);

    EXPECT_EQ(VdSetExposureTime(h, 1234.5), VD_OK);
    EXPECT_EQ(value(kColour, "exposureTime"), 1234.5);
    EXPECT_EQ(VdSetExposureTime(h, -1.0), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(value(kColour, "exposureTime"), 1234.5);

    int mode = -1;
    ASSERT_EQ(VdGetTriggerMode(h, &mode), VD_OK);
    EXPECT_EQ(mode, VD_TRIGGER_CONTINUOUS);
    EXPECT_EQ(VdSetTriggerMode(h, VD_TRIGGER_SOFTWARE), VD_OK);
    ASSERT_EQ(VdGetTriggerMode(h, &mode), VD_OK);
    EXPECT_EQ(mode, VD_TRIGGER_SOFTWARE);
    EXPECT_EQ(VdSetTriggerMode(h, 2), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(value(kColour, "triggerMode"), 1);
    EXPECT_EQ(VdUnInit(h), VD_OK);
}

TEST(SdkBadInput, EveryOperationRefusesNullsAndDeadHandles)
{
    configure();
    VdDeviceInfo table[4];
    int count = 4;
    EXPECT_EQ(VdEnumerateDevice(nullptr, &count), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdEnumerateDevice(table, nullptr), VD_ERR_BAD_ARGUMENT);
    count = 0;
    EXPECT_EQ(VdEnumerateDevice(table, &count), VD_ERR_BAD_ARGUMENT);
    count = -3;
    EXPECT_EQ(VdEnumerateDevice(table, &count), VD_ERR_BAD_ARGUMENT);

    VdHandle h = 0;
    const VdDeviceInfo colour = recordFor(kColour);
    EXPECT_EQ(VdInit(nullptr, -1, -1, &h), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdInit(&colour, -1, -1, nullptr), VD_ERR_BAD_ARGUMENT);

    h = openCamera(kColour);
    VdCapability cap;
    VdResolution res;
    double d = 0;
    int mode = 0;
    unsigned char buffer[16];
    VdFrameHead head{};
    head.byteCount = sizeof buffer;
    EXPECT_EQ(VdGetCapability(h, nullptr), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdGetImageResolution(h, nullptr), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdGetExposureLineTime(h, nullptr), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdGetTriggerMode(h, nullptr), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdImageProcess(h, nullptr, buffer, &head), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdImageProcess(h, buffer, nullptr, &head), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdImageProcess(h, buffer, buffer, nullptr), VD_ERR_BAD_ARGUMENT);
    // A buffer the SDK never lent.
    EXPECT_EQ(VdImageProcess(h, buffer, buffer, &head), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdReleaseImageBuffer(h, buffer), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdReleaseImageBuffer(h, nullptr), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdSoftTrigger(h), VD_ERR_NOT_PLAYING);
    ASSERT_EQ(VdUnInit(h), VD_OK);

    // A closed handle and handles that were never handed out.
    for (VdHandle bad : {h, VdHandle(0), VdHandle(-1), VdHandle(1 << 30)}) {
        const VdStatus expected = bad == h ? VD_ERR_BAD_HANDLE : VD_ERR_NOT_INITIALISED;
        SCOPED_TRACE(bad);
        EXPECT_EQ(VdUnInit(bad), expected);
        EXPECT_EQ(VdPlay(bad), expected);
        EXPECT_EQ(VdStop(bad), expected);
        EXPECT_EQ(VdSoftTrigger(bad), expected);
        EXPECT_EQ(VdGetCapability(bad, &cap), expected);
        EXPECT_EQ(VdGetImageResolution(bad, &res), expected);
        EXPECT_EQ(VdGetExposureLineTime(bad, &d), expected);
        EXPECT_EQ(VdSetExposureTime(bad, 10.0), expected);
        EXPECT_EQ(VdSetMediaType(bad, 0), expected);
        EXPECT_EQ(VdSetIspOutFormat(bad, VD_PIXEL_MONO8), expected);
        EXPECT_EQ(VdSetTriggerMode(bad, 0), expected);
        EXPECT_EQ(VdGetTriggerMode(bad, &mode), expected);
        EXPECT_EQ(VdSetCallbackFunction(bad, nullptr, nullptr, nullptr), expected);
        EXPECT_EQ(VdSetConnectionStatusCallback(bad, nullptr, nullptr), expected);
        EXPECT_EQ(VdImageProcess(bad, buffer, buffer, &head), expected);
        EXPECT_EQ(VdReleaseImageBuffer(bad, buffer), expected);
    }

    // The control interface refuses the same way.
    double v = 0;
    EXPECT_EQ(VdSimConfigure(nullptr), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdSimGetValue(nullptr, "open", &v), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdSimGetValue(kColour, nullptr, &v), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdSimGetValue(kColour, "open", nullptr), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdSimGetValue(kColour, "noSuchKey", &v), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdSimGetValue("NOSUCHDEVICE42", "open", &v), VD_ERR_NO_DEVICE);
    EXPECT_EQ(VdSimLinkLost(nullptr, 0), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdSimLinkLost("NOSUCHDEVICE42", 0), VD_ERR_NO_DEVICE);
    EXPECT_EQ(VdSimPushFrame(nullptr, nullptr), VD_ERR_BAD_ARGUMENT);
    EXPECT_EQ(VdSimPushFrame(kColour, nullptr), VD_ERR_BAD_HANDLE);   // not open
    EXPECT_EQ(VdSimFailNext(nullptr, -1), VD_ERR_BAD_ARGUMENT);
}

TEST(SdkControl, MalformedConfigurationChangesNothing)
{
    configure();
    for (const char *bad : {"", "{", "[]", R"({"devices": 3})", R"({"devices": [{"sensorWidth": "wide"}]})",
                            R"({"devices": [{"sensorWidth": 0}]})",
                            R"({"devices": [{"serialNumber": "SAMESERIAL01"}, {"serialNumber": "SAMESERIAL01"}]})",
                            R"({"devices": [{"frameHeight": 600, "sensorHeight": 500}]})",
                            R"({"events": [{"atMs": 5, "serialNumber": "X", "event": "explode"}]})"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(VdSimConfigure(bad), VD_ERR_BAD_ARGUMENT);
    }
    VdDeviceInfo table[8];
    int count = 8;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    EXPECT_EQ(count, 2);
    EXPECT_STREQ(table[0].serialNumber, kColour);
}

TEST(SdkControl, CountsCallsAndFailsThePlannedCall)
{
    configure();
    VdHandle h = openCamera(kColour);
    ASSERT_EQ(VdSimFailNext("VdPlay", VD_ERR_LINK_DOWN), VD_OK);
    EXPECT_EQ(VdPlay(h), VD_ERR_LINK_DOWN);
    EXPECT_EQ(value(kColour, "playing"), 0);   // without effect
    EXPECT_EQ(VdPlay(h), VD_OK);
    EXPECT_EQ(value(kColour, "playing"), 1);
    EXPECT_EQ(VdSimCallCount("VdPlay"), 2);
    EXPECT_EQ(VdSimCallCount("VdInit"), 1);
    EXPECT_EQ(VdSimCallCount("VdStop"), 0);

    ASSERT_EQ(VdSimFailNext("VdSetExposureTime", -42), VD_OK);
    EXPECT_EQ(VdSetExposureTime(h, 99.0), -42);
    EXPECT_NE(value(kColour, "exposureTime"), 99.0);
    EXPECT_EQ(VdSetExposureTime(h, 99.0), VD_OK);
    EXPECT_EQ(value(kColour, "exposureTime"), 99.0);

    ASSERT_EQ(VdSimFailNext("VdUnInit", VD_ERR_BAD_HANDLE), VD_OK);
    EXPECT_EQ(VdUnInit(h), VD_ERR_BAD_HANDLE);
    EXPECT_EQ(value(kColour, "open"), 1);
    EXPECT_EQ(VdUnInit(h), VD_OK);
    EXPECT_EQ(VdSimCallCount("VdUnInit"), 2);
    VdSimResetCounters();
    EXPECT_EQ(VdSimCallCount("VdPlay"), 0);
}
