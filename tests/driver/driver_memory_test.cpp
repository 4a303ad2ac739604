#include "driverfixture.h"
#include "framepool.h"
#include "logcapture.h"
#include "residentmemory.h"


#include <deque>

#include <malloc.h>

using namespace drivertest;

namespace {

constexpr bool kResidentSizeMeaningful = !kUnderSanitizer;

constexpr int kWidth = 1024;
constexpr int kHeight = 256;
constexpr size_t kFrameBytes = size_t(kWidth) * kHeight;

} // namespace

class Memory : public DriverTest
{
    QByteArray population() const override
    {
        return Population()
            .add("VD-XG1K-M", "MEMORY000001", [](Population::Device &d) {
                d.sensorWidth = 1024;
                d.sensorHeight = 256;
                d.frameHeight = 256;
                d.mono = true;
                d.frameRate = 0;
                d.triggerMode = 1;
            })
            .json();
    }

protected:
    // Keeps the last `keep` frames, as a host showing a short history would.
    struct Receiver {
        std::mutex lock;
        std::deque<ImageProcessData> kept;
        size_t keep = 3;
        std::atomic<int> frames{0};
        void take(const ImageProcessData &d)
        {
            std::lock_guard<std::mutex> g(lock);
            kept.push_back(d);
            while (kept.size() > keep)
                kept.pop_front();
            ++frames;
        }
        void clear()
        {
            std::lock_guard<std::mutex> g(lock);
            kept.clear();
        }
    };

    CameraVandrel *start(Receiver &receiver)
    {
        CameraVandrel *camera = create(QStringLiteral("MEMORY000001"));
        EXPECT_TRUE(camera->opened);
        QObject::connect(camera, &CameraInterface::captureCompleted, camera,
                         [&receiver](ImageProcessData d) { receiver.take(d); }, Qt::DirectConnection);
        camera->load(QJsonObject());
        {
            FrameLock g(camera->frameMutex());
            camera->isRunning = true;
        }
        camera->setContinueCapture(true);
        return camera;
    }
};

TEST_F(Memory, ResidentMemoryAndThePoolSettleWhileFramesStream)
{
    Receiver receiver;
    CameraVandrel *camera = start(receiver);
    ASSERT_TRUE(waitUntil([&] { return receiver.frames >= 500; }, 30000));
    const qint64 warm = residentKiB();
    ASSERT_TRUE(waitUntil([&] { return receiver.frames >= 5000; }, 120000));
    const qint64 later = residentKiB();
    const size_t idle = FramePool::instance().idleBytes();
    camera->closeCamera();

    // 4500 frames of 256 KiB went by: about 1.1 GiB had they not been recycled.
    if (kResidentSizeMeaningful) {
        EXPECT_LT(later - warm, 8 * 1024) << "resident memory grew from " << warm << " KiB to " << later << " KiB";
    }
    EXPECT_LE(idle, 8 * kFrameBytes) << "the pool holds only what a few frames in flight need";
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
}

TEST_F(Memory, FramesHeldLongByTheHostDoNotGrowThePoolPastItsCap)
{
    FramePool &pool = FramePool::instance();
    const size_t previousCap = pool.capacity();
    pool.setCapacity(10 * kFrameBytes);
    Receiver receiver;
    receiver.keep = 200;  // 50 MiB held by the host
    CameraVandrel *camera = start(receiver);
    ASSERT_TRUE(waitUntil([&] { return receiver.frames >= 400; }, 60000));
    camera->closeCamera();
    receiver.clear();
    EXPECT_LE(pool.idleBytes(), 10 * kFrameBytes);
    EXPECT_GT(pool.idleBytes(), 0u) << "released frames are kept for reuse";

    // Matrices outlive their camera: released after it is gone, they still go back.
    Receiver second;
    second.keep = 5;
    CameraVandrel *again = start(second);
    ASSERT_TRUE(waitUntil([&] { return second.frames >= 20; }, 30000));
    again->closeCamera();
    cameras.clear();
    second.clear();
    EXPECT_LE(pool.idleBytes(), 10 * kFrameBytes);
    pool.setCapacity(previousCap);
}

namespace {

VdSimFrame withByteCount(quint32 byteCount)
{
    VdSimFrame f;
    std::memset(&f, 0, sizeof f);
    f.flags = VDSIM_FRAME_BYTE_COUNT;
    f.byteCount = byteCount;
    return f;
}

} // namespace

TEST_F(Memory, AByteCountNoFormatCouldNeedIsRefusedBeforeAnythingIsAllocated)
{
    Receiver receiver;
    CameraVandrel *camera = create(QStringLiteral("MEMORY000001"));
    QObject::connect(camera, &CameraInterface::captureCompleted, camera,
                     [&receiver](ImageProcessData d) { receiver.take(d); }, Qt::DirectConnection);
    {
        FrameLock g(camera->frameMutex());
        camera->isRunning = true;
    }
    const qint64 before = residentKiB();
    LogCapture log;
    for (quint32 count : {0xC0000000u, 0x80000000u, quint32(4 * kFrameBytes + 1)}) {
        const VdSimFrame broken = withByteCount(count);
        ASSERT_EQ(VdSimPushFrame("MEMORY000001", &broken), 0);
    }
    const qint64 after = residentKiB();
    EXPECT_EQ(receiver.frames.load(), 0);
    EXPECT_EQ(log.containing(QStringLiteral("frame dropped: byte count")).size(), 3);
    if (kResidentSizeMeaningful) {
        EXPECT_LT(after - before, 16 * 1024) << "resident memory grew from " << before << " KiB to " << after << " KiB";
    }

    // Four bytes per pixel is the most any output format needs: still a frame.
    const VdSimFrame widest = withByteCount(quint32(4 * kFrameBytes));
    ASSERT_EQ(VdSimPushFrame("MEMORY000001", &widest), 0);
    EXPECT_EQ(receiver.frames.load(), 1);
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
}

class LargeFrames : public Memory
{
    QByteArray population() const override
    {
        return Population()
            .add("VD-XG4K-M", "MEMORYLARGE1", [](Population::Device &d) {
                d.frameHeight = 1024;
                d.mono = true;
                d.frameRate = 0;
                d.triggerMode = 1;
            })
            .json();
    }
};

// One frame whose byte count does not fit its matrix is processed through a
// buffer kept across frames; that buffer must not keep its size for good.
TEST_F(LargeFrames, TheProcessingBufferShrinksOnceLargeFramesStop)
{
    if (!kResidentSizeMeaningful)
        GTEST_SKIP() << "resident size says nothing under a sanitizer";
    // Large blocks straight from the system and back to it when freed, and
    // no idle frames kept: resident size then follows what the driver holds.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    FramePool &pool = FramePool::instance();
    const size_t previousCap = pool.capacity();
    pool.setCapacity(0);
    CameraVandrel *camera = create(QStringLiteral("MEMORYLARGE1"));
    std::atomic<int> frames{0};
    QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) { ++frames; },
                     Qt::DirectConnection);
    {
        FrameLock g(camera->frameMutex());
        camera->isRunning = true;
    }
    ASSERT_EQ(VdSimPushFrame("MEMORYLARGE1", nullptr), 0);
    const qint64 base = residentKiB();
    const quint32 pixels = 4096u * 1024u;
    const VdSimFrame wide = withByteCount(4 * pixels);
    ASSERT_EQ(VdSimPushFrame("MEMORYLARGE1", &wide), 0);
    const qint64 afterLarge = residentKiB();
    for (int i = 0; i < 150; ++i)
        ASSERT_EQ(VdSimPushFrame("MEMORYLARGE1", nullptr), 0);
    const qint64 settled = residentKiB();
    pool.setCapacity(previousCap);
    EXPECT_EQ(frames.load(), 152);
    EXPECT_GT(afterLarge - base, 3 * 1024) << "the large frame went through the buffer";
    EXPECT_LT(settled - base, 1024) << "resident " << base << " KiB, " << afterLarge << " KiB after the large frame, "
                                    << settled << " KiB 150 frames later";
}
