// Calls a host may make while the frame mutex is held: from a receiver
// connected directly to captureCompleted, from the trigger hook, or with the
// mutex locked through frameMutex(). None may hang; each runs under a
// deadline so that a hang fails the case instead of stalling the run.

#include "deadline.h"
#include "driverfixture.h"

#include <QMutexLocker>

#include <atomic>
#include <condition_variable>
#include <thread>

using namespace drivertest;

namespace {

constexpr int kDeadlineMs = 10000;

// Holds a camera's frame mutex on a thread of its own, as a host may, until
// released or until its patience runs out.
class MutexHolder
{
public:
    explicit MutexHolder(QMutex *mutex)
    {
        holder = std::thread([this, mutex] {
            QMutexLocker locked(mutex);
            std::unique_lock<std::mutex> guard(lock);
            held = true;
            changed.notify_all();
            if (!changed.wait_for(guard, std::chrono::milliseconds(kDeadlineMs), [this] { return released; }))
                gaveUp = true;
        });
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [this] { return held; });
    }
    // True when the holder had to let go because the caller never finished.
    bool release()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            released = true;
        }
        changed.notify_all();
        holder.join();
        return gaveUp;
    }
    ~MutexHolder()
    {
        if (holder.joinable())
            release();
    }

private:
    std::mutex lock;
    std::condition_variable changed;
    bool held = false;
    bool released = false;
    bool gaveUp = false;
    std::thread holder;
};

} // namespace

class Reentrancy : public RunningCameraTest
{
};

TEST_F(Reentrancy, ADirectReceiverRearmsTheTriggerAndUsesTheCamera)
{
    CameraTrigParams trig;
    trig.capturesPerProduct = 2;
    std::atomic<int> frames{0};
    std::atomic<int> lastStatus{1};
    QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) {
        camera->setTrigParams(&trig);
        lastStatus = camera->selectExposure(0);
        camera->isContinueCapture();
        camera->cameraSerial();
        camera->blankImage();
        if (++frames < 5)
            camera->softTrigger(0, 0, {});
    }, Qt::DirectConnection);

    Deadline deadline("softTrigger and friends from a direct receiver", kDeadlineMs);
    camera->softTrigger(0, 0, {});
    ASSERT_TRUE(waitUntil([&] { return frames.load() >= 5; }));
    EXPECT_EQ(lastStatus.load(), 0);
    EXPECT_EQ(camera->trigParams->capturesPerProduct, 2);
    EXPECT_GE(simValue(kColour, "softTriggers"), 5);
}

TEST_F(Reentrancy, TheHookRearmsTheTriggerWithItself)
{
    std::atomic<int> hooks{0};
    FrameSink sink(camera);
    std::function<void()> rearm;
    rearm = [&] {
        if (++hooks < 5)
            camera->softTrigger(0, 0, rearm);  // replaces the hook that is running
    };
    Deadline deadline("softTrigger from the trigger hook", kDeadlineMs);
    camera->softTrigger(0, 0, rearm);
    ASSERT_TRUE(waitUntil([&] { return sink.count() >= 5; }));
    EXPECT_GE(hooks.load(), 5);
}

TEST_F(Reentrancy, TheDeliveryHoldsTheFrameMutexWhileHookAndReceiversRun)
{
    std::atomic<int> heldInHook{0};
    std::atomic<int> heldInReceiver{0};
    QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) {
        if (!camera->frameMutex()->tryLock())
            ++heldInReceiver;
        else
            camera->frameMutex()->unlock();
    }, Qt::DirectConnection);
    camera->softTrigger(0, 0, [&] {
        if (!camera->frameMutex()->tryLock())
            ++heldInHook;
        else
            camera->frameMutex()->unlock();
    });
    ASSERT_TRUE(push(kColour));
    // The triggered frame and the pushed one; the first comes on its own time.
    EXPECT_TRUE(waitUntil([&] { return heldInHook.load() == 2 && heldInReceiver.load() == 2; }))
        << heldInHook.load() << " " << heldInReceiver.load();
}

// Frames stream and queue up on the held mutex while the owning thread
// works: no operation but paramsChanged may wait for the holder.
TEST_F(Reentrancy, AHostHoldingTheFrameMutexOnAnotherThreadBlocksNoOperation)
{
    FrameSink sink(camera);
    camera->setContinueCapture(true);
    ASSERT_TRUE(waitUntil([&] { return sink.count() > 0; }));
    QJsonObject saved;
    camera->save(saved);
    CameraTrigParams trig;
    trig.trigKind = 32;

    MutexHolder holder(camera->frameMutex());
    {
        Deadline deadline("operations while another thread holds the frame mutex", kDeadlineMs * 2);
        camera->setTrigParams(&trig);
        camera->load(saved);
        EXPECT_EQ(camera->selectExposure(0), 0);
        camera->setContinueCapture(true);
        EXPECT_TRUE(camera->isContinueCapture());
        camera->softTrigger(7, 2, {});
        camera->saveSnapshot();
        camera->restoreSnapshot();
        camera->setExposureConfigCount(2);
        camera->restartCamera();
    }
    EXPECT_FALSE(holder.release()) << "an operation waited for the frame mutex";
    const int before = sink.count();
    EXPECT_TRUE(waitUntil([&] { return sink.count() > before; })) << "frames flow again once released";
    EXPECT_EQ(camera->trigKind, 32);
}

// The pattern hosts use to switch isRunning, with more work inside it.
TEST_F(Reentrancy, AHostHoldingTheFrameMutexOnItsOwnThreadBlocksNoOperation)
{
    CameraTrigParams trig;
    trig.productsPerCycle = 3;
    Deadline deadline("operations on the thread that holds the frame mutex", kDeadlineMs);
    QMutexLocker locked(camera->frameMutex());
    camera->isRunning = false;
    camera->setTrigParams(&trig);
    EXPECT_EQ(camera->selectExposure(0), 0);
    camera->softTrigger(1, 1, {});
    camera->setContinueCapture(true);
    camera->load(QJsonObject());
    camera->isRunning = true;
    locked.unlock();
    EXPECT_EQ(camera->trigParams->productsPerCycle, 3);
}

// A line host may end or reconfigure acquisition from the receiver itself,
// after the frame it waited for.
TEST_F(Reentrancy, ADirectReceiverMayReconfigureRestartOrCloseTheCamera)
{
    CameraTrigParams trig;
    trig.capturesPerProduct = 3;
    std::atomic<int> frames{0};
    std::atomic<bool> closed{false};
    std::atomic<int> afterClose{0};
    QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) {
        if (closed) {
            ++afterClose;
            return;
        }
        const int n = ++frames;
        if (n == 2) {
            camera->setTrigParams(&trig);
            camera->setContinueCapture(true);
        } else if (n == 4) {
            camera->restartCamera();
        } else if (n == 6) {
            camera->closeCamera();
            closed = true;
        }
    }, Qt::DirectConnection);

    Deadline deadline("setContinueCapture, restartCamera and closeCamera from a direct receiver", kDeadlineMs);
    camera->setContinueCapture(true);
    ASSERT_TRUE(waitUntil([&] { return closed.load(); })) << frames.load() << " frames";
    EXPECT_FALSE(camera->opened);
    EXPECT_EQ(afterClose.load(), 0);
}

// Closing or restarting while holding the frame mutex, as a host that
// serialises all its camera calls with deliveries does.
TEST_F(Reentrancy, AHostHoldingTheFrameMutexMayCloseAndRestart)
{
    FrameSink sink(camera);
    camera->setContinueCapture(true);
    ASSERT_TRUE(waitUntil([&] { return sink.count() > 0; }));
    Deadline deadline("restartCamera and closeCamera under the frame mutex", kDeadlineMs);
    {
        QMutexLocker locked(camera->frameMutex());
        camera->restartCamera();
    }
    const int before = sink.count();
    ASSERT_TRUE(waitUntil([&] { return sink.count() > before; })) << "frames flow again after the restart";
    {
        QMutexLocker locked(camera->frameMutex());
        camera->closeCamera();
    }
    EXPECT_FALSE(camera->opened);
}
