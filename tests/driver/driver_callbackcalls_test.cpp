// Closing, restarting, reloading and checking from the SDK's own threads: a
// receiver connected directly to captureCompleted, the trigger hook and a
// CameraLoss receiver. Nothing there may wait for an SDK callback, what
// belongs to the owning thread must be done there, and no SDK call may name
// a released handle (the fixture checks that count after every case).

#include "deadline.h"
#include "driverfixture.h"
#include "logcapture.h"
#include "ownerwork.h"

#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <thread>

using namespace drivertest;

namespace {

constexpr int kDeadlineMs = 15000;

// Polls without processing the owning thread's events: what the driver left
// for the owning thread must not happen meanwhile.
bool pollWithoutEvents(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return condition();
        QThread::msleep(1);
    }
    return true;
}

int calls(const char *function)
{
    return VdSimCallCount(function);
}

} // namespace

class CallbackCalls : public RunningCameraTest
{
protected:
    void loseLink()
    {
        ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 1), 0);
        ASSERT_TRUE(waitUntil([&] { return camera->connectionLost.load() && simValue(kColour, "open") == 0; }));
    }
    void restoreLink() { ASSERT_EQ(VdSimLinkRestored(kColour.toUtf8().constData()), 0); }
};

// The status thread's close stops the camera and so waits for the frame
// callback in flight, whose receiver or hook closes or restarts the camera
// itself. Neither may wait for the other, and the owning thread must be able
// to open and close the camera afterwards.
enum class Closer { ReceiverCloses, ReceiverRestarts, HookCloses, HookRestarts };

std::string closerName(const ::testing::TestParamInfo<Closer> &info)
{
    static const char *const names[] = {"ReceiverCloses", "ReceiverRestarts", "HookCloses", "HookRestarts"};
    return names[int(info.param)];
}

class LossDuringACallbackThatCloses : public CallbackCalls, public ::testing::WithParamInterface<Closer>
{
};

TEST_P(LossDuringACallbackThatCloses, HangsNothingAndLeavesTheCameraUsable)
{
    const Closer closer = GetParam();
    const bool restart = closer == Closer::ReceiverRestarts || closer == Closer::HookRestarts;
    const int stopsBefore = calls("VdStop");
    std::atomic<bool> inside{false};
    std::atomic<bool> sawStop{false};
    std::atomic<bool> returned{false};
    std::atomic<int> runs{0};
    auto body = [&] {
        if (++runs != 1)
            return;
        inside = true;
        // Until the status thread's stop is under way and waits for this callback.
        sawStop = pollWithoutEvents([&] { return calls("VdStop") > stopsBefore; }, 5000);
        if (restart)
            camera->restartCamera();
        else
            camera->closeCamera();
        returned = true;
    };
    const bool inHook = closer == Closer::HookCloses || closer == Closer::HookRestarts;
    if (!inHook)
        QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) { body(); },
                         Qt::DirectConnection);

    Deadline deadline("a loss while a callback closes or restarts the camera", kDeadlineMs);
    camera->softTrigger(0, 0, inHook ? std::function<void()>(body) : std::function<void()>());
    ASSERT_TRUE(pollWithoutEvents([&] { return inside.load(); }, 5000));
    ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 1), 0);
    ASSERT_TRUE(pollWithoutEvents([&] { return returned.load(); }, 5000)) << "the callback hangs";
    EXPECT_TRUE(sawStop.load());
    ASSERT_TRUE(waitUntil([&] { return simValue(kColour, "open") == 0; })) << "the teardown hangs";
    EXPECT_FALSE(camera->opened);
    EXPECT_EQ(camera->cameraSerial(), QStringLiteral("-1"));
    EXPECT_TRUE(camera->connectionLost.load());

    // The owning thread goes on: a reopen while lost fails, the tick after
    // the link's return succeeds, and a close ends it.
    camera->restartCamera();
    EXPECT_FALSE(camera->opened);
    restoreLink();
    camera->reconnectTick();
    EXPECT_TRUE(camera->opened);
    EXPECT_FALSE(camera->connectionLost.load());
    camera->closeCamera();
    EXPECT_EQ(simValue(kColour, "open"), 0);
}

INSTANTIATE_TEST_SUITE_P(Closers, LossDuringACallbackThatCloses,
                         ::testing::Values(Closer::ReceiverCloses, Closer::ReceiverRestarts, Closer::HookCloses,
                                           Closer::HookRestarts),
                         closerName);

// A receiver closes the camera while the owning thread is inside an SDK call
// with the handle: the handle may be released only once that call is back.
TEST_F(CallbackCalls, AReceiverClosesWhileTheOwningThreadIsInsideAnSdkCall)
{
    std::atomic<bool> closed{false};
    QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) {
        if (!closed.exchange(true))
            camera->closeCamera();
    }, Qt::DirectConnection);
    const int before = calls("VdSetExposureTime");
    ASSERT_EQ(VdSimDelayNext("VdSetExposureTime", 500), 0);
    std::thread pusher([&] {
        // Once the owning thread is inside the call, a frame arrives.
        if (pollWithoutEvents([&] { return calls("VdSetExposureTime") > before; }, 5000))
            push(kColour);
    });
    const int status = camera->selectExposure(0);
    pusher.join();
    ASSERT_TRUE(closed.load());
    EXPECT_EQ(status, VD_OK);
    ASSERT_TRUE(waitUntil([&] { return simValue(kColour, "open") == 0; }));
    EXPECT_FALSE(camera->isContinueCapture());
    EXPECT_EQ(VdSimReleasedHandleCalls(), releasedAtStart) << "an SDK call named a released handle";
}

// load or restoreSnapshot from a receiver or the hook restarts the reconnect
// timer, which only its own thread can do: a later loss is still reconnected.
enum class Reload { LoadInReceiver, RestoreInHook };

class ReloadInACallback : public CallbackCalls, public ::testing::WithParamInterface<Reload>
{
};

TEST_P(ReloadInACallback, KeepsTheReconnectTimerTicking)
{
    camera->reconnectIntervalMs = 50;
    camera->load(QJsonObject());
    camera->saveSnapshot();
    std::atomic<bool> reloaded{false};
    if (GetParam() == Reload::LoadInReceiver) {
        QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) {
            if (!reloaded)
                camera->load(QJsonObject());
            reloaded = true;
        }, Qt::DirectConnection);
        camera->softTrigger(0, 0, {});
    } else {
        camera->softTrigger(0, 0, [&] {
            if (!reloaded)
                camera->restoreSnapshot();
            reloaded = true;
        });
    }
    ASSERT_TRUE(waitUntil([&] { return reloaded.load(); }));
    // The reload settles on the owning thread.
    waitUntil([] { return false; }, 100);
    EXPECT_TRUE(camera->reconnectTimer->isActive());

    loseLink();
    restoreLink();
    EXPECT_TRUE(waitUntil([&] { return camera->opened && !camera->connectionLost.load(); }, 5000))
        << "no tick reconnected the camera";
}

INSTANTIATE_TEST_SUITE_P(Reloads, ReloadInACallback, ::testing::Values(Reload::LoadInReceiver, Reload::RestoreInHook),
                         [](const ::testing::TestParamInfo<Reload> &info) {
                             return std::string(info.param == Reload::LoadInReceiver ? "LoadInReceiver"
                                                                                     : "RestoreInHook");
                         });

// restartCamera from a receiver closes at once and reopens on the owning
// thread, which reads the device table and owns the new handle.
TEST_F(CallbackCalls, RestartFromAReceiverReopensOnTheOwningThread)
{
    FrameSink sink(camera);
    std::atomic<bool> returned{false};
    QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) {
        if (!returned) {
            camera->restartCamera();
            returned = true;
        }
    }, Qt::DirectConnection);
    const int inits = calls("VdInit");
    camera->softTrigger(0, 0, {});
    ASSERT_TRUE(pollWithoutEvents([&] { return returned.load(); }, 5000));
    EXPECT_FALSE(camera->opened) << "closed at once";
    EXPECT_TRUE(pollWithoutEvents([] { return simValue(kColour, "open") == 0; }, 2000));
    EXPECT_EQ(calls("VdInit"), inits) << "reopened off the owning thread";

    ASSERT_TRUE(waitUntil([&] { return camera->opened.load() != 0; }));
    EXPECT_EQ(calls("VdInit"), inits + 1);
    const int before = sink.count();
    camera->softTrigger(0, 0, {});
    EXPECT_TRUE(waitUntil([&] { return sink.count() > before; })) << "frames flow after the reopen";
}

// Work a receiver leaves to the owning thread waits for its event loop or
// for an operation that acts on the camera. A query in between changes
// nothing: it neither reopens the camera nor frees the descriptors that the
// host's editor shows. Deleting the camera instead drops the work.
TEST_F(CallbackCalls, LeftWorkWaitsForTheEventLoopOrAnOperationNotForAQuery)
{
    std::atomic<bool> returned{false};
    QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) {
        if (!returned) {
            camera->restartCamera();
            camera->setExposureConfigCount(3);
            returned = true;
        }
    }, Qt::DirectConnection);
    const QVector<ParamWrap *> shown = *camera->pluginParams();
    const QSize size = camera->imageSize();
    const int channels = camera->channels();
    const int inits = calls("VdInit");
    camera->softTrigger(0, 0, {});
    ASSERT_TRUE(pollWithoutEvents([&] { return returned.load(); }, 5000));

    EXPECT_EQ(camera->cameraSerial(), QStringLiteral("-1")) << "a query reopened the camera";
    EXPECT_EQ(camera->imageSize(), size);
    EXPECT_EQ(camera->channels(), channels);
    EXPECT_EQ(camera->blankImage().size(), cv::Size(size.width(), size.height()));
    EXPECT_FALSE(camera->isContinueCapture());
    EXPECT_EQ(*camera->pluginParams(), shown) << "a query rebuilt the descriptors";
    EXPECT_EQ(calls("VdInit"), inits);
    // The close claimed in the receiver is torn down on a thread of its own.
    EXPECT_TRUE(pollWithoutEvents([] { return simValue(kColour, "open") == 0; }, 2000));

    // An operation on the camera runs the left work first.
    EXPECT_EQ(camera->selectExposure(0), 0);
    EXPECT_EQ(camera->cameraSerial(), kColour);
    EXPECT_EQ(calls("VdInit"), inits + 1);
    EXPECT_NE(*camera->pluginParams(), shown);
    EXPECT_GT(camera->pluginParams()->size(), shown.size());

    returned = false;
    camera->softTrigger(0, 0, {});
    ASSERT_TRUE(pollWithoutEvents([&] { return returned.load(); }, 5000));
    const int reopens = calls("VdInit");
    cameras.clear();
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(calls("VdInit"), reopens);
    EXPECT_EQ(simValue(kColour, "open"), 0);
}

// paramsChanged from a direct receiver or the hook is a misuse (the frame
// mutex is held there); it is named in a warning and still checks.
TEST_F(CallbackCalls, ParamsChangedOnTheDeliveringThreadWarnsInsteadOfHanging)
{
    LogCapture log;
    std::atomic<int> checks{0};
    QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) {
        if (checks < 2) {
            camera->paramsChanged();
            ++checks;
        }
    }, Qt::DirectConnection);
    Deadline deadline("paramsChanged from a receiver and from the hook", kDeadlineMs);
    camera->imageWidth = 200;
    camera->softTrigger(0, 0, [&] {
        if (checks == 0)
            camera->paramsChanged();
    });
    ASSERT_TRUE(waitUntil([&] { return checks.load() >= 1; }));
    camera->softTrigger(0, 0, {});
    ASSERT_TRUE(waitUntil([&] { return checks.load() >= 2; }));
    EXPECT_EQ(camera->imageWidth, 192) << "the check aligned the width to its step";
    EXPECT_EQ(log.containing(QStringLiteral("paramsChanged called while a frame is delivered")).size(), 3);
    camera->paramsChanged();  // and on the owning thread as ever
    EXPECT_EQ(log.containing(QStringLiteral("paramsChanged called while a frame is delivered")).size(), 3);
}

// A preview frame without pixels is processed, given back and accepted for
// the preview spacing before it is dropped: a frame right after it is too
// close to it.
TEST_F(CallbackCalls, AnEmptyPreviewFrameCountsForTheSpacing)
{
    {
        FrameLock guard(camera->frameMutex());
        camera->isRunning = false;
    }
    FrameSink sink(camera);
    VdSimFrame empty{};
    empty.flags = VDSIM_FRAME_WIDTH | VDSIM_FRAME_BYTE_COUNT;
    empty.width = 0;
    empty.byteCount = 0;
    bool judged = false;
    for (int attempt = 0; attempt < 5 && !judged; ++attempt) {
        QElapsedTimer sinceAccepted;
        sinceAccepted.start();
        ASSERT_TRUE(waitUntil([&] { return sinceAccepted.elapsed() >= 60; }));
        const int delivered = sink.count();
        const int processed = calls("VdImageProcess");
        QElapsedTimer sinceEmpty;
        sinceEmpty.start();
        ASSERT_TRUE(push(kColour, &empty));
        EXPECT_EQ(calls("VdImageProcess"), processed + 1) << "the empty frame is processed";
        ASSERT_TRUE(push(kColour));
        // Only a frame within 50 ms of the empty one can tell.
        if (sinceEmpty.elapsed() >= 45)
            continue;
        judged = true;
        EXPECT_EQ(sink.count(), delivered) << "the frame 50 ms after the empty one was delivered";
    }
    EXPECT_TRUE(judged) << "the machine was too slow to push two frames within 45 ms";
    EXPECT_EQ(simValue(kColour, "outstandingBuffers"), 0);
}

// Every wake-up posted from other threads reaches the owning thread once,
// while that thread is busy with its own events; under ThreadSanitizer this
// also keeps Qt's event queue, which other threads grow, out of the report.
TEST(OwnerWakerTest, WakeUpsFromManyThreadsRunOnceEachOnTheOwningThread)
{
    constexpr int kThreads = 4;
    constexpr int kWakes = 2000;
    std::atomic<int> ran{0};
    std::atomic<int> elsewhere{0};
    QObject owner;
    const QThread *const owning = QThread::currentThread();
    auto *waker = new OwnerWaker(&owner, [&] {
        if (QThread::currentThread() != owning)
            ++elsewhere;
        ++ran;
    });
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([waker] {
            for (int i = 0; i < kWakes; ++i)
                waker->wake();
        });
    // The owning thread keeps posting to itself meanwhile, so the queue is
    // grown and compacted from both sides.
    QTimer busy;
    QObject::connect(&busy, &QTimer::timeout, &owner, [&owner] {
        QMetaObject::invokeMethod(&owner, [] {}, Qt::QueuedConnection);
    });
    busy.start(0);
    EXPECT_TRUE(waitUntil([&] { return ran.load() == kThreads * kWakes; }, kDeadlineMs)) << ran.load();
    for (auto &t : posters)
        t.join();
    waitUntil([] { return false; }, 20);
    EXPECT_EQ(ran.load(), kThreads * kWakes);
    EXPECT_EQ(elsewhere.load(), 0);
}
