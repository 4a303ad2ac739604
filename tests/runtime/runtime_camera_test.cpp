// The embeddable runtime, driving the built plug-in and the simulated
// cameras. Built twice: inside a Qt application of the test's own, where the
// runtime runs a QThread beside it, and with no application at all, where it
// creates one on its own thread.

#include "cameraruntime.h"
#include "paramwrap.h"
#include "population.h"
#include "vdsim.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

const char *const kColour = "RTCOLOUR0001";
const char *const kMono = "RTMONO000002";

quint32 frameId(const cv::Mat &image)
{
    quint32 id = 0;
    std::memcpy(&id, image.data, sizeof id);
    return id;
}

class Runtime : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QByteArray population =
            Population()
                .add("VD-XG2K-C", kColour,
                     [](Population::Device &d) {
                         d.sensorWidth = 256;
                         d.sensorHeight = 256;
                         d.frameHeight = 32;
                         d.frameRate = 200;
                     })
                .add("VD-XG2K-M", kMono,
                     [](Population::Device &d) {
                         d.sensorWidth = 128;
                         d.sensorHeight = 256;
                         d.frameHeight = 16;
                         d.mono = true;
                         d.triggerMode = 1;
                     })
                .json();
        ASSERT_EQ(VdSimConfigure(population.constData()), 0);
        RuntimeFailure failure;
        rt = CameraRuntime::start(QStringLiteral(VANDREL_PLUGIN_DIR), failure);
        ASSERT_TRUE(rt) << failure.reason.toStdString();
    }

    std::shared_ptr<RuntimeCamera> open(const char *serial, int capacity = 8)
    {
        RuntimeFailure failure;
        auto cam = rt->open(QString::fromLatin1(serial), capacity, failure);
        EXPECT_TRUE(cam) << failure.reason.toStdString();
        return cam;
    }

    std::shared_ptr<CameraRuntime> rt;
};

TEST_F(Runtime, EveryOperationRunsOnTheRuntimesOwnThreadWithAnEventLoop)
{
    QThread *first = nullptr;
    QThread *second = nullptr;
    ASSERT_TRUE(rt->call([&] { first = QThread::currentThread(); }));
    ASSERT_TRUE(rt->call([&] { second = QThread::currentThread(); }));
    EXPECT_EQ(first, second);
    EXPECT_NE(first, QThread::currentThread());
    EXPECT_FALSE(rt->isRuntimeThread());

    // A call from the runtime's thread runs directly instead of waiting on itself.
    bool nested = false;
    ASSERT_TRUE(rt->call([&] { rt->call([&] { nested = rt->isRuntimeThread(); }); }));
    EXPECT_TRUE(nested);

    // Timers fire there: the driver's reconnect timer depends on it.
    std::atomic<bool> fired{false};
    rt->call([&] { QTimer::singleShot(10, [&] { fired = true; }); });
    for (int i = 0; i < 200 && !fired; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(fired);

    auto cam = open(kColour);
    ASSERT_TRUE(cam);
    QThread *owner = nullptr;
    ASSERT_TRUE(cam->call([&](CameraInterface *c) { owner = c->thread(); }));
    EXPECT_EQ(owner, first) << "the camera belongs to the runtime's thread";

    // Exceptions thrown there come back to the caller.
    EXPECT_THROW(rt->call([] { throw std::runtime_error("inside"); }), std::runtime_error);
}

TEST_F(Runtime, FramesArriveAsTheDriverMadeThemAndTheQueueDropsTheOldest)
{
    auto cam = open(kColour, 3);
    ASSERT_TRUE(cam);
    EXPECT_EQ(cam->cameraIndex(), 0);
    EXPECT_EQ(cam->queueCapacity(), 3);
    RuntimeFailure failure;
    ASSERT_TRUE(cam->load(QJsonObject(), failure)) << failure.reason.toStdString();

    ImageProcessData frame;
    ASSERT_EQ(cam->nextFrame(frame, 3000), WaitResult::Ready);
    EXPECT_EQ(frame.image.rows, 32);
    EXPECT_EQ(frame.image.cols, 256);
    EXPECT_EQ(frame.productID, 0) << "previews until running";

    // Nobody takes frames: the queue keeps the newest three and counts the
    // rest. Running, so that no preview frame is skipped.
    ASSERT_TRUE(cam->setRunning(true));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (cam->dropped() < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(cam->dropped(), 5u);
    cam->close();  // nothing more arrives
    const std::uint64_t dropped = cam->dropped();
    quint32 ids[3] = {};
    for (quint32 &id : ids) {
        ASSERT_EQ(cam->nextFrame(frame, 0), WaitResult::Ready);
        id = frameId(frame.image);
    }
    EXPECT_LT(ids[0], ids[1]);
    EXPECT_LT(ids[1], ids[2]);
    EXPECT_GE(ids[0], dropped) << "the frames dropped were the older ones";
    EXPECT_EQ(cam->nextFrame(frame, 1000), WaitResult::Closed);
}

TEST_F(Runtime, RunningNumbersFramesByProduct)
{
    auto cam = open(kColour);
    ASSERT_TRUE(cam);
    RuntimeFailure failure;
    ASSERT_TRUE(cam->call([](CameraInterface *c) {
        CameraTrigParams trig;
        trig.capturesPerProduct = 2;
        trig.productsPerCycle = 2;
        c->setTrigParams(&trig);
    }));
    ASSERT_TRUE(cam->load(QJsonObject(), failure));
    EXPECT_FALSE(cam->isRunning());
    ASSERT_TRUE(cam->setRunning(true));
    EXPECT_TRUE(cam->isRunning());
    ImageProcessData frame;
    std::vector<std::array<int, 3>> numbers;
    while (numbers.size() < 5) {
        ASSERT_EQ(cam->nextFrame(frame, 3000), WaitResult::Ready);
        if (frame.productID != 0)
            numbers.push_back({frame.productID, frame.captureIndex, frame.productCycleIndex});
    }
    const std::vector<std::array<int, 3>> expected = {{1, 1, 1}, {1, 2, 1}, {2, 1, 2}, {2, 2, 2}, {3, 1, 1}};
    EXPECT_EQ(numbers, expected);
}

TEST_F(Runtime, InterruptWakesEveryWaiterUntilResumed)
{
    auto cam = open(kMono);  // software trigger: no frame comes by itself
    ASSERT_TRUE(cam);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            ImageProcessData f;
            if (cam->nextFrame(f, -1) == WaitResult::Interrupted)
                ++woken;
        });
    waiters.emplace_back([&] {
        LinkEvent e;
        if (cam->nextEvent(e, -1) == WaitResult::Interrupted)
            ++woken;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let them wait
    cam->interrupt();
    for (std::thread &t : waiters)
        t.join();
    EXPECT_EQ(woken.load(), 3);
    ImageProcessData f;
    EXPECT_EQ(cam->nextFrame(f, 5000), WaitResult::Interrupted) << "at once, until resumed";
    cam->resume();
    EXPECT_EQ(cam->nextFrame(f, 20), WaitResult::TimedOut);

    // A software trigger brings one frame.
    RuntimeFailure failure;
    ASSERT_TRUE(cam->load(QJsonObject(), failure));
    ASSERT_TRUE(cam->call([](CameraInterface *c) { c->softTrigger(0, 0, nullptr); }));
    ASSERT_EQ(cam->nextFrame(f, 3000), WaitResult::Ready);
    EXPECT_EQ(f.image.channels(), 1);
    EXPECT_EQ(f.cameraIndex, 1);
}

TEST_F(Runtime, LinkLossAndReconnectionArriveAsEvents)
{
    auto cam = open(kColour);
    ASSERT_TRUE(cam);
    RuntimeFailure failure;
    ASSERT_TRUE(cam->load(QJsonObject(), failure));
    // The driver retries a lost camera every 30 s; the test does not wait that long.
    ASSERT_TRUE(cam->call([](CameraInterface *c) {
        for (QTimer *t : c->findChildren<QTimer *>())
            if (t->interval() == 30000)
                t->setInterval(50);
    }));
    const QDateTime before = QDateTime::currentDateTime();
    ASSERT_EQ(VdSimLinkLost(kColour, 0), 0);
    LinkEvent e;
    ASSERT_EQ(cam->nextEvent(e, 3000), WaitResult::Ready);
    EXPECT_EQ(e.kind, LinkEvent::Lost);
    EXPECT_GE(e.time, before);
    ASSERT_EQ(VdSimLinkRestored(kColour), 0);
    ASSERT_EQ(cam->nextEvent(e, 3000), WaitResult::Ready);
    EXPECT_EQ(e.kind, LinkEvent::Reconnected);
    // Frames flow again.
    cam->discardFrames();
    ImageProcessData f;
    EXPECT_EQ(cam->nextFrame(f, 3000), WaitResult::Ready);
}

TEST_F(Runtime, SettingsSavedWithMoreExposureConfigurationsLoadWithAllOfThem)
{
    auto cam = open(kColour);
    ASSERT_TRUE(cam);
    RuntimeFailure failure;
    QJsonObject saved;
    ASSERT_TRUE(cam->save(saved, failure));
    EXPECT_EQ(exposureConfigCountOfSettings(saved), 1);
    ASSERT_TRUE(cam->call([](CameraInterface *c) { c->setExposureConfigCount(3); }));
    ASSERT_TRUE(cam->save(saved, failure));
    ASSERT_EQ(exposureConfigCountOfSettings(saved), 3);
    cam.reset();

    auto again = open(kColour);
    ASSERT_TRUE(again);
    ASSERT_TRUE(again->load(saved, failure)) << failure.reason.toStdString();
    QJsonObject reloaded;
    ASSERT_TRUE(again->save(reloaded, failure));
    EXPECT_EQ(reloaded.value(QStringLiteral("paramsWrap")).toArray().size(), 24);

    EXPECT_FALSE(again->load(QJsonObject{{QStringLiteral("paramsWrap"), 5}}, failure));
    EXPECT_EQ(failure.kind, RuntimeFailure::BadInput);
    EXPECT_EQ(exposureConfigCountOfSettings(QJsonObject{{QStringLiteral("paramsWrap"), QJsonArray{1, 2}}}), -1);
}

TEST_F(Runtime, FailuresSayWhyAndAFrameOutlivesItsCameraAndTheRuntime)
{
    RuntimeFailure failure;
    EXPECT_FALSE(rt->open(QStringLiteral("NOSUCHCAMERA1"), 4, failure));
    EXPECT_EQ(failure.kind, RuntimeFailure::NoSuchCamera);
    EXPECT_EQ(failure.reason, QStringLiteral("no camera NOSUCHCAMERA1 (cameras: %1, %2)").arg(kColour, kMono));

    RuntimeFailure missing;
    EXPECT_FALSE(CameraRuntime::start(QStringLiteral("/nonexistent"), missing));
    EXPECT_EQ(missing.kind, RuntimeFailure::NotFound);
    EXPECT_EQ(missing.reason, QStringLiteral("no plug-in libVandrel.so in /nonexistent"));

    QStringList serials;
    int count = 0;
    ASSERT_TRUE(rt->enumerate(serials, count, failure));
    EXPECT_EQ(serials, QStringList({kColour, kMono}));
    EXPECT_EQ(count, 2);

    auto cam = open(kColour);
    ASSERT_TRUE(cam);
    ASSERT_TRUE(cam->load(QJsonObject(), failure));
    ImageProcessData frame;
    ASSERT_EQ(cam->nextFrame(frame, 3000), WaitResult::Ready);
    const cv::Mat copy = frame.image.clone();
    rt->stop();
    EXPECT_TRUE(rt->isStopped());
    EXPECT_FALSE(cam->isOpen()) << "stopping closes the cameras";
    EXPECT_FALSE(cam->setRunning(true));
    EXPECT_FALSE(cam->load(QJsonObject(), failure));
    EXPECT_EQ(failure.reason, QStringLiteral("camera %1 is closed").arg(kColour));
    EXPECT_FALSE(rt->enumerate(serials, count, failure));
    EXPECT_EQ(failure.kind, RuntimeFailure::Stopped);
    cam.reset();
    ASSERT_EQ(frame.image.size(), copy.size());
    EXPECT_EQ(cv::norm(frame.image, copy, cv::NORM_INF), 0.0);

    // A new runtime starts after a stopped one.
    auto next = CameraRuntime::start(QStringLiteral(VANDREL_PLUGIN_DIR), failure);
    ASSERT_TRUE(next);
    EXPECT_TRUE(next->enumerate(serials, count, failure));
}

} // namespace
