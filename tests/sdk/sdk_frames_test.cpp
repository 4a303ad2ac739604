// Acquisition in both trigger modes, processing into the output formats,
// pushed frames with odd headers, and the raw buffer pool.
#include "sdkfixture.h"

#include <cstdlib>

using namespace sdktest;

namespace {

struct Session {
    VdHandle h = 0;
    Consumer consumer;
    explicit Session(const char *serial)
    {
        h = openCamera(serial);
        EXPECT_EQ(VdSetCallbackFunction(h, &Consumer::callback, &consumer, nullptr), VD_OK);
    }
    ~Session() { EXPECT_EQ(VdUnInit(h), VD_OK); }
};

// Row r of a raw frame holds (frameId + r) & 0xFF.
void expectRawPattern(const FrameRecord &f, int width, int height)
{
    ASSERT_EQ(f.raw.size(), size_t(width) * size_t(height));
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            ASSERT_EQ(f.raw[size_t(r) * width + c], uint8_t(f.headBefore.frameId + r)) << r << "," << c;
}

} // namespace

TEST(SdkFrames, ContinuousModeDeliversNumberedFramesOfTheRightSize)
{
    configure();
    Session s(kColour);
    ASSERT_EQ(VdPlay(s.h), VD_OK);
    EXPECT_EQ(value(kColour, "playing"), 1);
    ASSERT_TRUE(s.consumer.waitCount(5));
    ASSERT_EQ(VdStop(s.h), VD_OK);
    EXPECT_EQ(value(kColour, "playing"), 0);
    const auto frames = s.consumer.snapshot();
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameRecord &f = frames[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(f.headBefore.frameId, i + 1);
        EXPECT_EQ(f.headBefore.width, 64);
        EXPECT_EQ(f.headBefore.height, 16);
        EXPECT_EQ(f.headBefore.pixelFormat, VD_PIXEL_RGB8);
        EXPECT_EQ(f.headBefore.byteCount, 64u * 16u * 3u);
        EXPECT_EQ(f.headBefore.rawByteCount, 64u * 16u);
        EXPECT_EQ(f.headBefore.rawFormat, 1u);
        EXPECT_EQ(f.processStatus, VD_OK);
        EXPECT_EQ(f.headAfter.byteCount, f.headBefore.byteCount);
        EXPECT_EQ(stampOf(f.processed), f.headBefore.frameId);
        EXPECT_EQ(f.releaseStatus, VD_OK);
        EXPECT_NE(f.thread, std::this_thread::get_id());
        if (i > 0) {
            EXPECT_GE(f.headBefore.timeStamp, frames[i - 1].headBefore.timeStamp);
        }
    }
    // 100 frames per second: five frames span at least four periods.
    EXPECT_GE(frames[4].headBefore.timeStamp - frames[0].headBefore.timeStamp, 39u);
    EXPECT_EQ(value(kColour, "framesDelivered"), double(frames.size()));
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);

    // Numbering starts again with the next play.
    const size_t before = s.consumer.count();
    ASSERT_EQ(VdPlay(s.h), VD_OK);
    ASSERT_TRUE(s.consumer.waitCount(before + 1));
    ASSERT_EQ(VdStop(s.h), VD_OK);
    EXPECT_EQ(s.consumer.snapshot()[before].headBefore.frameId, 1u);
}

TEST(SdkFrames, AsFastAsTakenWhenTheRateIsZero)
{
    configure(R"({"devices": [{"serialNumber": "VDXGFAST00001", "sensorWidth": 32, "frameHeight": 4,
                               "frameRate": 0}]})");
    Session s("VDXGFAST00001");
    ASSERT_EQ(VdPlay(s.h), VD_OK);
    ASSERT_TRUE(s.consumer.waitCount(200));
    ASSERT_EQ(VdStop(s.h), VD_OK);
    const auto frames = s.consumer.snapshot();
    for (size_t i = 0; i < frames.size(); ++i)
        ASSERT_EQ(frames[i].headBefore.frameId, i + 1);
    EXPECT_EQ(value("VDXGFAST00001", "framesSkipped"), 0);
}

TEST(SdkFrames, SoftwareTriggerGivesOneFramePerTrigger)
{
    configure();
    Session s(kMono);
    s.consumer.keepRaw = true;
    ASSERT_EQ(VdSetTriggerMode(s.h, VD_TRIGGER_SOFTWARE), VD_OK);
    EXPECT_EQ(VdSoftTrigger(s.h), VD_ERR_NOT_PLAYING);
    ASSERT_EQ(VdPlay(s.h), VD_OK);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(VdSoftTrigger(s.h), VD_OK);
    ASSERT_TRUE(s.consumer.waitCount(3));
    EXPECT_EQ(value(kMono, "softTriggers"), 3);
    // No trigger, no frame: give a spontaneous frame the time of several periods to show up.
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(s.consumer.count(), 3u);
    ASSERT_EQ(VdSoftTrigger(s.h), VD_OK);
    ASSERT_TRUE(s.consumer.waitCount(4));
    ASSERT_EQ(VdStop(s.h), VD_OK);

    const auto frames = s.consumer.snapshot();
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameRecord &f = frames[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(f.headBefore.frameId, i + 1);
        EXPECT_EQ(f.headBefore.pixelFormat, VD_PIXEL_MONO8);
        EXPECT_EQ(f.headBefore.byteCount, 96u * 8u);
        EXPECT_EQ(f.headBefore.rawFormat, 0u);
        expectRawPattern(f, 96, 8);
        // Mono8 of a monochrome sensor is the raw image, stamped.
        ASSERT_EQ(f.processed.size(), f.raw.size());
        EXPECT_EQ(stampOf(f.processed), f.headBefore.frameId);
        EXPECT_TRUE(std::equal(f.processed.begin() + 4, f.processed.end(), f.raw.begin() + 4));
    }
}

TEST(SdkProcessing, ColourSensorIsDemosaicedIntoRgb8AndMono8)
{
    configure();
    Session s(kColour);
    s.consumer.keepRaw = true;
    ASSERT_EQ(VdSetTriggerMode(s.h, VD_TRIGGER_SOFTWARE), VD_OK);
    ASSERT_EQ(VdPlay(s.h), VD_OK);
    ASSERT_EQ(VdSoftTrigger(s.h), VD_OK);
    ASSERT_TRUE(s.consumer.waitCount(1));
    ASSERT_EQ(VdSetIspOutFormat(s.h, VD_PIXEL_MONO8), VD_OK);
    ASSERT_EQ(VdSoftTrigger(s.h), VD_OK);
    ASSERT_TRUE(s.consumer.waitCount(2));
    ASSERT_EQ(VdStop(s.h), VD_OK);
    const auto frames = s.consumer.snapshot();

    // The raw image is a vertical ramp, so every colour of a correctly
    // demosaiced pixel is close to its row's value; rows at the border may
    // be interpolated from one side only.
    const FrameRecord &rgb = frames[0];
    expectRawPattern(rgb, 64, 16);
    ASSERT_EQ(rgb.processed.size(), 64u * 16u * 3u);
    EXPECT_EQ(rgb.headAfter.pixelFormat, VD_PIXEL_RGB8);
    for (int r = 1; r < 15; ++r)
        for (int c = 0; c < 64 * 3; ++c) {
            const int expected = int(uint8_t(rgb.headBefore.frameId + r));
            ASSERT_LE(std::abs(int(rgb.processed[size_t(r) * 64 * 3 + c]) - expected), 2) << r << "," << c;
        }

    const FrameRecord &gray = frames[1];
    expectRawPattern(gray, 64, 16);
    EXPECT_EQ(gray.headBefore.pixelFormat, VD_PIXEL_MONO8);
    ASSERT_EQ(gray.processed.size(), 64u * 16u);
    EXPECT_EQ(stampOf(gray.processed), 2u);
    for (int r = 1; r < 15; ++r)
        for (int c = 0; c < 64; ++c) {
            const int expected = int(uint8_t(gray.headBefore.frameId + r));
            ASSERT_LE(std::abs(int(gray.processed[size_t(r) * 64 + c]) - expected), 2) << r << "," << c;
        }
}

TEST(SdkProcessing, MonoSensorRgb8RepeatsTheGrayValue)
{
    configure();
    Session s(kMono);
    s.consumer.keepRaw = true;
    ASSERT_EQ(VdSetIspOutFormat(s.h, VD_PIXEL_RGB8), VD_OK);
    ASSERT_EQ(VdSimPushFrame(kMono, nullptr), VD_OK);
    const FrameRecord f = s.consumer.snapshot().at(0);
    ASSERT_EQ(f.processed.size(), 96u * 8u * 3u);
    for (size_t i = 2; i < f.raw.size(); ++i)
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(f.processed[i * 3 + k], f.raw[i]) << i;
}

TEST(SdkPush, PushedFrameRunsOnAnSdkThreadAndReturnsAfterTheCallback)
{
    configure();
    Session s(kColour);
    // Not playing: a pushed frame still arrives, numbered after the last.
    ASSERT_EQ(VdSimPushFrame(kColour, nullptr), VD_OK);
    EXPECT_EQ(s.consumer.count(), 1u);
    ASSERT_EQ(VdSimPushFrame(kColour, nullptr), VD_OK);
    ASSERT_EQ(s.consumer.count(), 2u);
    const auto frames = s.consumer.snapshot();
    EXPECT_NE(frames[0].thread, std::this_thread::get_id());
    EXPECT_EQ(frames[0].headBefore.frameId, 1u);
    EXPECT_EQ(frames[1].headBefore.frameId, 2u);
    EXPECT_EQ(frames[1].headBefore.byteCount, 64u * 16u * 3u);
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);

    ASSERT_EQ(VdSetCallbackFunction(s.h, nullptr, nullptr, nullptr), VD_OK);
    EXPECT_LT(VdSimPushFrame(kColour, nullptr), 0);
    EXPECT_EQ(s.consumer.count(), 2u);
    EXPECT_EQ(VdSimPushFrame(kUnplugged, nullptr), VD_ERR_BAD_HANDLE);
    EXPECT_EQ(VdSimPushFrame("NOSUCHDEVICE42", nullptr), VD_ERR_NO_DEVICE);
}

TEST(SdkPush, OverriddenHeadersAreProcessedWithoutOverflow)
{
    configure();
    Session s(kColour);
    s.consumer.guard = 64;
    const uint32_t full = 64u * 16u * 3u;
    struct Case {
        const char *name;
        VdSimFrame frame;
        uint32_t stampedBytes;   // 4 if the stamp fits
    };
    const Case cases[] = {
        {"small byte count", {VDSIM_FRAME_BYTE_COUNT, 0, 0, 10, 0, 0, 0}, 4},
        {"three bytes", {VDSIM_FRAME_BYTE_COUNT, 0, 0, 3, 0, 0, 0}, 0},
        {"no bytes", {VDSIM_FRAME_BYTE_COUNT, 0, 0, 0, 0, 0, 0}, 0},
        {"huge geometry", {VDSIM_FRAME_WIDTH | VDSIM_FRAME_HEIGHT, 100000, 100000, 0, 0, 0, 0}, 4},
        {"huge geometry and bytes", {VDSIM_FRAME_WIDTH | VDSIM_FRAME_HEIGHT | VDSIM_FRAME_BYTE_COUNT, 5000, 300,
                                     5000u * 300u * 3u, 0, 0, 0}, 4},
        {"negative geometry", {VDSIM_FRAME_WIDTH | VDSIM_FRAME_HEIGHT, -5, -7, 0, 0, 0, 0}, 4},
        {"narrow", {VDSIM_FRAME_WIDTH | VDSIM_FRAME_HEIGHT | VDSIM_FRAME_BYTE_COUNT, 1, 1, 3, 0, 0, 0}, 0},
        {"larger byte count", {VDSIM_FRAME_BYTE_COUNT, 0, 0, full * 2, 0, 0, 0}, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = s.consumer.count();
        ASSERT_EQ(VdSimPushFrame(kColour, &c.frame), VD_OK);
        const FrameRecord f = s.consumer.snapshot().at(before);
        EXPECT_EQ(f.processStatus, VD_OK);
        EXPECT_TRUE(f.guardIntact);
        const uint32_t expectedCount = (c.frame.flags & VDSIM_FRAME_BYTE_COUNT) ? c.frame.byteCount : full;
        EXPECT_EQ(f.headBefore.byteCount, expectedCount);
        if (c.frame.flags & VDSIM_FRAME_WIDTH) {
            EXPECT_EQ(f.headBefore.width, c.frame.width);
        }
        if (c.stampedBytes == 4) {
            EXPECT_EQ(stampOf(f.processed), f.headBefore.frameId);
        }
        EXPECT_EQ(f.releaseStatus, VD_OK);
    }

    VdSimFrame failing{VDSIM_FRAME_PROCESS_STATUS | VDSIM_FRAME_BYTE_COUNT_AFTER_PROCESS | VDSIM_FRAME_TIME_STAMP,
                       0, 0, 0, 4242u, VD_ERR_UNSUPPORTED_FORMAT, 17u};
    const size_t before = s.consumer.count();
    ASSERT_EQ(VdSimPushFrame(kColour, &failing), VD_OK);
    const FrameRecord f = s.consumer.snapshot().at(before);
    EXPECT_EQ(f.processStatus, VD_ERR_UNSUPPORTED_FORMAT);
    EXPECT_EQ(f.headBefore.timeStamp, 4242u);
    EXPECT_EQ(f.headBefore.byteCount, full);
    EXPECT_EQ(f.headAfter.byteCount, 17u);
    EXPECT_TRUE(f.guardIntact);
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
}

TEST(SdkFrames, TimeStampCountsFromAttachment)
{
    const auto configured = std::chrono::steady_clock::now();
    configure();
    Session s(kMono);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_EQ(VdSimPushFrame(kMono, nullptr), VD_OK);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - configured).count();
    uint32_t stamp = s.consumer.snapshot().at(0).headBefore.timeStamp;
    EXPECT_GE(stamp, 150u);
    EXPECT_LE(stamp, uint32_t(elapsed));

    ASSERT_EQ(VdSimSetAttached(kMono, 0), VD_OK);
    EXPECT_EQ(VdSimPushFrame(kMono, nullptr), VD_ERR_LINK_DOWN);
    const auto attached = std::chrono::steady_clock::now();
    ASSERT_EQ(VdSimSetAttached(kMono, 1), VD_OK);
    ASSERT_EQ(VdSimPushFrame(kMono, nullptr), VD_OK);
    const auto sinceAttach = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - attached).count();
    stamp = s.consumer.snapshot().at(1).headBefore.timeStamp;
    EXPECT_LE(stamp, uint32_t(sinceAttach));
}

TEST(SdkBuffers, ExhaustedPoolSkipsFramesAndReleasedBuffersComeBack)
{
    configure();
    Session s(kColour);
    s.consumer.release = false;
    ASSERT_EQ(VdPlay(s.h), VD_OK);
    ASSERT_TRUE(waitUntil([] { return value(kColour, "framesSkipped") >= 2; }, 3000));
    EXPECT_EQ(VdSimOutstandingBuffers(), 4);
    EXPECT_EQ(value(kColour, "outstandingBuffers"), 4);
    EXPECT_EQ(s.consumer.count(), 4u);

    // Give them back from this thread; frames flow again.
    for (const FrameRecord &f : s.consumer.snapshot())
        EXPECT_EQ(VdReleaseImageBuffer(s.h, f.data), VD_OK);
    s.consumer.release = true;
    ASSERT_TRUE(s.consumer.waitCount(8));
    ASSERT_EQ(VdStop(s.h), VD_OK);
    // The same buffer twice is refused; once stopped, none is lent anew.
    EXPECT_EQ(VdReleaseImageBuffer(s.h, s.consumer.snapshot()[0].data), VD_ERR_BAD_ARGUMENT);
    // The frames after the gap keep counting: skipped frames use no number.
    const auto frames = s.consumer.snapshot();
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(frames[i].headBefore.frameId, i + 1);

    // Buffers still lent when the handle closes are taken back.
    s.consumer.release = false;
    ASSERT_EQ(VdSimPushFrame(kColour, nullptr), VD_OK);
    EXPECT_EQ(VdSimOutstandingBuffers(), 1);
    ASSERT_EQ(VdUnInit(s.h), VD_OK);
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
    s.h = openCamera(kColour);   // for the session's own close
}
