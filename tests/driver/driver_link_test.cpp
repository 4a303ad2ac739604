#include "deadline.h"
#include "driverfixture.h"
#include "logcapture.h"

#include <QMutexLocker>
#include <QRandomGenerator>

#include <atomic>
#include <system_error>
#include <thread>

using namespace drivertest;

namespace {

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Counts a signal on whatever thread emits it.
class SignalCounter
{
public:
    SignalCounter(CameraInterface *camera, void (CameraInterface::*signal)())
    {
        connection = QObject::connect(camera, signal, camera, [this] {
            ++hits;
            onOwner = QThread::currentThread() == QCoreApplication::instance()->thread();
        }, Qt::DirectConnection);
    }
    ~SignalCounter() { QObject::disconnect(connection); }
    std::atomic<int> hits{0};
    std::atomic<bool> onOwner{false};

private:
    QMetaObject::Connection connection;
};

} // namespace

class Link : public DriverTest
{
protected:
    CameraVandrel *camera = nullptr;
    void SetUp() override
    {
        DriverTest::SetUp();
        camera = create(kColour, 3);
        ASSERT_TRUE(camera->opened);
        camera->load(QJsonObject());
    }
    void loseLink(unsigned int powerLost)
    {
        ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), powerLost), 0);
        // `opened` clears when the close is claimed; the handle is released after.
        ASSERT_TRUE(waitUntil([&] {
            return camera->connectionLost.load() && !camera->opened && simValue(kColour, "open") == 0;
        }));
    }
    void restoreLink() { ASSERT_EQ(VdSimLinkRestored(kColour.toUtf8().constData()), 0); }
};

TEST_F(Link, LossClosesTheCameraWhateverItsCause)
{
    for (unsigned int powerLost : {1u, 0u}) {
        LogCapture log;
        SignalCounter losses(camera, &CameraInterface::CameraLoss);
        loseLink(powerLost);
        ASSERT_TRUE(waitUntil([&] { return log.count(QStringLiteral("cameraVandrel Close")) == 1; }));
        EXPECT_EQ(losses.hits.load(), 1);
        EXPECT_FALSE(losses.onOwner.load()) << "CameraLoss comes from the SDK's status thread";
        EXPECT_EQ(camera->cameraSerial(), QStringLiteral("-1"));
        EXPECT_EQ(simValue(kColour, "open"), 0);
        const QList<CapturedMessage> lines = log.matching(quoted(QStringLiteral("camera XGCOLOR00001 disconnect")));
        ASSERT_EQ(lines.size(), 1);
        EXPECT_EQ(lines.first().type, QtInfoMsg);

        restoreLink();
        camera->reconnectTick();
        ASSERT_TRUE(camera->opened);
    }
}

TEST_F(Link, AReturnReportOnAnOpenCameraOnlyLogs)
{
    LogCapture log;
    SignalCounter reconnects(camera, &CameraInterface::CameraReconnect);
    std::thread status([&] { CameraVandrel::ExpCallbackMSG(camera->cameraHandle, VD_MSG_LINK_RESTORED, 0, camera); });
    status.join();
    EXPECT_EQ(log.count(quoted(QStringLiteral("camera XGCOLOR00001 reconnect"))), 1);
    EXPECT_EQ(reconnects.hits.load(), 0);
    EXPECT_TRUE(camera->opened);
    EXPECT_FALSE(camera->connectionLost.load());
}

TEST_F(Link, ReconnectTickReopensWhenTheDeviceCountMatches)
{
    SignalCounter reconnects(camera, &CameraInterface::CameraReconnect);
    camera->colorImage = true;
    loseLink(1);
    LogCapture log;

    // Still away: the count differs from the last enumeration.
    camera->reconnectTick();
    EXPECT_FALSE(camera->opened);
    EXPECT_TRUE(camera->connectionLost.load());
    EXPECT_TRUE(log.messages().isEmpty());

    restoreLink();
    VdSimResetCounters();
    camera->reconnectTick();
    EXPECT_EQ(VdSimCallCount("VdSdkInit"), 0);
    ASSERT_TRUE(camera->opened);
    EXPECT_FALSE(camera->connectionLost.load());
    EXPECT_EQ(reconnects.hits.load(), 1);
    EXPECT_TRUE(reconnects.onOwner.load());
    EXPECT_EQ(log.count(quoted(QStringLiteral("camera XGCOLOR00001 connect"))), 1);
    EXPECT_EQ(camera->matType, CV_8UC3) << "the format is applied again";
    EXPECT_EQ(simValue(kColour, "playing"), 1);

    // Connected: ticks cost nothing.
    VdSimResetCounters();
    camera->reconnectTick();
    EXPECT_EQ(VdSimCallCount("VdEnumerateDevice"), 0);
}

TEST_F(Link, ACameraAbsentFromTheLastEnumerationStaysLostUntilTheNext)
{
    loseLink(0);
    enumerate();
    EXPECT_EQ(lastCount, 2);
    restoreLink();
    for (int i = 0; i < 3; ++i) {
        camera->reconnectTick();
        EXPECT_FALSE(camera->opened);
    }
    enumerate();
    camera->reconnectTick();
    EXPECT_TRUE(camera->opened);
}

TEST_F(Link, OneDeviceMoreThanEnumeratedIsSkipped)
{
    ASSERT_EQ(VdSimSetAttached("ACOTHER00003", 0), 0);
    enumerate();
    EXPECT_EQ(lastCount, 2);
    loseLink(1);
    restoreLink();
    ASSERT_EQ(VdSimSetAttached("ACOTHER00003", 1), 0);
    camera->reconnectTick();
    EXPECT_FALSE(camera->opened);
    EXPECT_TRUE(camera->connectionLost.load());
}

TEST_F(Link, AFailedReopenIsLoggedAndRetried)
{
    loseLink(1);
    restoreLink();
    LogCapture log;
    VdSimFailNext("VdInit", VD_ERR_BUSY);
    camera->reconnectTick();
    EXPECT_FALSE(camera->opened);
    EXPECT_TRUE(camera->connectionLost.load());
    EXPECT_EQ(log.count(quoted(QStringLiteral("camera XGCOLOR00001 reconnect fail"))), 1);
    camera->reconnectTick();
    EXPECT_TRUE(camera->opened);
}

TEST_F(Link, RestartWhileLostKeepsTheFlagForTheNextTick)
{
    loseLink(1);
    restoreLink();
    camera->restartCamera();
    EXPECT_TRUE(camera->opened);
    EXPECT_TRUE(camera->connectionLost.load());
    SignalCounter reconnects(camera, &CameraInterface::CameraReconnect);
    camera->reconnectTick();
    EXPECT_TRUE(camera->opened);
    EXPECT_FALSE(camera->connectionLost.load());
    EXPECT_EQ(reconnects.hits.load(), 1);
}

TEST_F(Link, ACameraThatWasNeverLoadedHasNoRunningTimer)
{
    CameraVandrel *mono = create(kMono, 4, false);
    ASSERT_TRUE(mono->opened);
    ASSERT_EQ(VdSimLinkLost(kMono.toUtf8().constData(), 0), 0);
    ASSERT_TRUE(waitUntil([&] { return mono->connectionLost.load(); }));
    EXPECT_FALSE(mono->reconnectTimer->isActive());
    EXPECT_TRUE(camera->reconnectTimer->isActive());
}

TEST_F(Link, LossDuringADeliveryNeitherDeadlocksNorDelivers)
{
    std::atomic<int> delivered{0};
    std::atomic<bool> inside{false};
    QObject::connect(camera, &CameraInterface::captureCompleted, camera, [&](ImageProcessData) {
        inside = true;
        QThread::msleep(100);
        ++delivered;
        inside = false;
    }, Qt::DirectConnection);
    {
        FrameLock g(camera->frameMutex());
        camera->isRunning = true;
    }
    camera->setContinueCapture(true);
    ASSERT_TRUE(waitUntil([&] { return inside.load(); }));
    ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 1), 0);
    ASSERT_TRUE(waitUntil([&] { return !camera->opened && simValue(kColour, "open") == 0; }, 10000));
    const int atClose = delivered.load();
    QThread::msleep(150);
    EXPECT_EQ(delivered.load(), atClose);
}

// The loss arrives on the status thread while the owning thread closes,
// restarts, reloads or destroys the same camera.
TEST_F(Link, LossRacingHostOperations)
{
    QRandomGenerator random(20261208);
    camera->setContinueCapture(true);
    for (int round = 0; round < 40; ++round) {
        CameraVandrel *target = cameras.back().get();
        std::atomic<int> delivered{0};
        QObject::connect(target, &CameraInterface::captureCompleted, target,
                         [&](ImageProcessData) { ++delivered; }, Qt::DirectConnection);
        target->setContinueCapture(true);
        const int op = random.bounded(4);
        const int delayUs = random.bounded(3000);
        std::thread loss([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
            VdSimLinkLost(kColour.toUtf8().constData(), round % 2);
        });
        switch (op) {
        case 0:
            target->closeCamera();
            break;
        case 1:
            target->restartCamera();
            break;
        case 2:
            target->load(QJsonObject());
            break;
        default:
            cameras.pop_back();
            target = nullptr;
            break;
        }
        loss.join();
        if (target) {
            // Whatever won, the camera ends closed or open, never half-closed.
            ASSERT_TRUE(waitUntil([&] {
                return target->opened ? simValue(kColour, "open") == 1 : simValue(kColour, "open") == 0;
            }));
            const int atClose = delivered.load();
            target->closeCamera();
            const int afterClose = delivered.load();
            QThread::msleep(2);
            EXPECT_EQ(delivered.load(), afterClose) << "a frame after close returned";
            Q_UNUSED(atClose);
            cameras.pop_back();
        }
        ASSERT_EQ(VdSimLinkRestored(kColour.toUtf8().constData()), 0);
        enumerate();
        CameraVandrel *next = create(kColour, 3, false);
        ASSERT_TRUE(next->opened) << "round " << round;
        next->load(QJsonObject());
    }
}

// The link drops again while a CameraReconnect receiver, connected the
// default way and so running on the owning thread, is still busy.
TEST_F(Link, ALossWhileTheReconnectionIsReportedIsRetriedOnTheNextTick)
{
    SignalCounter losses(camera, &CameraInterface::CameraLoss);
    loseLink(1);
    restoreLink();
    int reconnects = 0;
    QObject::connect(camera, &CameraInterface::CameraReconnect, camera, [&] {
        if (++reconnects > 1)
            return;
        ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 0), 0);
        ASSERT_TRUE(waitUntil([&] { return losses.hits.load() == 2 && simValue(kColour, "open") == 0; }));
    });
    camera->reconnectTick();
    EXPECT_EQ(reconnects, 1);
    EXPECT_FALSE(camera->opened);
    EXPECT_TRUE(camera->connectionLost.load()) << "the second loss was forgotten";

    restoreLink();
    camera->reconnectTick();
    EXPECT_TRUE(camera->opened);
    EXPECT_FALSE(camera->connectionLost.load());
    EXPECT_EQ(reconnects, 2);
}

// The camera is still open while CameraLoss receivers run: they may still
// read it, and only then is it closed.
TEST_F(Link, CameraLossReceiversRunBeforeTheFlagAndTheClose)
{
    std::atomic<bool> openDuringLoss{false};
    std::atomic<bool> flagDuringLoss{true};
    QString serialDuringLoss;
    QObject::connect(camera, &CameraInterface::CameraLoss, camera, [&] {
        openDuringLoss = camera->opened.load() != 0;
        flagDuringLoss = camera->connectionLost.load();
        serialDuringLoss = camera->cameraSerial();
    }, Qt::DirectConnection);
    loseLink(1);
    EXPECT_TRUE(openDuringLoss.load());
    EXPECT_FALSE(flagDuringLoss.load());
    EXPECT_EQ(serialDuringLoss, kColour);
}

// After a failed reopen no SDK call may name the released handle: an SDK
// that reuses handle numbers would reach another camera.
TEST_F(Link, AFailedReopenLeavesNoHandleBehind)
{
    loseLink(1);
    restoreLink();
    VdSimFailNext("VdInit", VD_ERR_BUSY);
    camera->reconnectTick();
    ASSERT_FALSE(camera->opened);
    VdSimResetCounters();
    EXPECT_EQ(camera->selectExposure(0), VD_ERR_NOT_INITIALISED);
    EXPECT_EQ(camera->currentExposureIndex, 0);
    camera->setContinueCapture(true);
    camera->softTrigger(1, 1, {});
    EXPECT_FALSE(camera->isContinueCapture());
    camera->restoreSnapshot();
    camera->closeCamera();
    EXPECT_EQ(VdSimCallCount("VdSetExposureTime"), 0);
    EXPECT_EQ(VdSimCallCount("VdSoftTrigger"), 0);
    EXPECT_EQ(VdSimCallCount("VdSetTriggerMode"), 0);
    EXPECT_EQ(VdSimReleasedHandleCalls(), releasedAtStart);
}

// Hosts react to a loss in the receiver itself, and may be holding the frame
// mutex when the link drops; neither may hang the status thread.
TEST_F(Link, ALossHandledInItsReceiverOrUnderTheFrameMutexHangsNothing)
{
    Deadline deadline("a loss with the receiver closing, or the frame mutex held", 20000);
    QMetaObject::Connection closer = QObject::connect(camera, &CameraInterface::CameraLoss, camera, [&] {
        camera->closeCamera();
    }, Qt::DirectConnection);
    loseLink(1);
    QObject::disconnect(closer);
    restoreLink();
    camera->reconnectTick();
    ASSERT_TRUE(camera->opened);
    EXPECT_FALSE(camera->connectionLost.load());

    {
        // A frame waits for the held mutex while the status thread closes.
        QMutexLocker held(camera->frameMutex());
        std::thread pusher([] { push(kColour); });  // returns once delivered or dropped
        const bool waiting = waitUntil([] { return simValue(kColour, "outstandingBuffers") == 1; });
        if (waiting)
            loseLink(0);
        held.unlock();
        pusher.join();
        ASSERT_TRUE(waiting);
    }
    EXPECT_EQ(simValue(kColour, "outstandingBuffers"), 0);
    restoreLink();
    camera->reconnectTick();
    EXPECT_TRUE(camera->opened);
}

// The owning thread holds frameMutex() and closes the camera while a direct
// CameraLoss receiver waits for that mutex in paramsChanged. The close
// detaches the status callback, which waits for the receiver; the receiver
// must therefore give its wait up once the camera is no longer open.
TEST_F(Link, AHolderOfTheFrameMutexClosesWhileALossReceiverWaitsForIt)
{
    Deadline deadline("a frame-mutex holder closing against a loss receiver in paramsChanged", 20000);
    LogCapture log;
    std::atomic<bool> entered{false};
    std::atomic<bool> returned{false};
    QMetaObject::Connection checker = QObject::connect(camera, &CameraInterface::CameraLoss, camera, [&] {
        entered = true;
        camera->paramsChanged();
        returned = true;
    }, Qt::DirectConnection);
    {
        QMutexLocker held(camera->frameMutex());
        ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 1), 0);
        ASSERT_TRUE(waitUntil([&] { return entered.load(); }));
        // The receiver cannot get past the held mutex while the camera is open.
        EXPECT_FALSE(waitUntil([&] { return returned.load(); }, 50));
        camera->closeCamera();
        EXPECT_EQ(simValue(kColour, "open"), 0);
    }
    QObject::disconnect(checker);
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(log.count(QStringLiteral("cameraVandrel Close")), 1);
    EXPECT_TRUE(camera->connectionLost.load());

    restoreLink();
    camera->reconnectTick();
    EXPECT_TRUE(camera->opened);
}

// A loss claims the close on the status thread, where its teardown needs a
// thread of its own. When none can be started the handle is torn down late:
// by the owning thread's event loop, or at once by the camera's deletion, and
// no callback reaches the camera after it is gone.
class LateTeardown : public Link
{
protected:
    void SetUp() override
    {
        Link::SetUp();
        CameraVandrel::startTeardownThread = [](std::function<void()>) {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        };
    }
    void TearDown() override
    {
        CameraVandrel::startTeardownThread = &CameraVandrel::startDetachedThread;
        Link::TearDown();
    }
    void loseWithoutThread()
    {
        ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 1), 0);
        // Without the owning thread's events, which would run the teardown.
        QElapsedTimer clock;
        clock.start();
        while (log.containing(QStringLiteral("camera teardown could not start:")).isEmpty() && clock.elapsed() < 5000)
            QThread::msleep(1);
        ASSERT_EQ(log.containing(QStringLiteral("camera teardown could not start:")).size(), 1);
        EXPECT_FALSE(camera->opened);
    }
    LogCapture log;
};

TEST_F(LateTeardown, TheOwningThreadsEventLoopTearsDown)
{
    Deadline deadline("a late teardown from the event loop", 20000);
    loseWithoutThread();
    ASSERT_TRUE(waitUntil([] { return simValue(kColour, "open") == 0; }));
    EXPECT_EQ(log.containing(QStringLiteral("its teardown found no thread")).size(), 1);
    EXPECT_FALSE(push(kColour)) << "a callback is still registered";
    restoreLink();
    camera->reconnectTick();
    EXPECT_TRUE(camera->opened);
}

TEST_F(LateTeardown, DeletingTheCameraTearsDownFirst)
{
    Deadline deadline("a late teardown at deletion", 20000);
    loseWithoutThread();
    EXPECT_EQ(simValue(kColour, "open"), 1) << "torn down before the owning thread could";
    cameras.clear();
    EXPECT_EQ(simValue(kColour, "open"), 0);
    EXPECT_EQ(log.containing(QStringLiteral("its teardown found no thread")).size(), 1);
    // A handle left open would now report the return to the deleted camera
    // (a use after free under ASan), and take a pushed frame.
    restoreLink();
    EXPECT_FALSE(push(kColour));
    EXPECT_EQ(simValue(kColour, "open"), 0);
}
