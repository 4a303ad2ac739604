// The detach guarantee, link loss and return, timed events, thread
// ownership, concurrent use, and configuration through the environment.
#include "sdkfixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <set>

using namespace sdktest;

namespace {

constexpr const char *kFast = "VDXGFAST00001";

const char *fastPopulation()
{
    return R"({"devices": [{"serialNumber": "VDXGFAST00001", "sensorWidth": 32, "frameHeight": 4,
                             "frameRate": 0}]})";
}

// A frame callback that marks the time it is running and lingers a little,
// so that a detach racing with it would be seen.
struct Lingering {
    std::atomic<int> running{0};
    std::atomic<int> calls{0};
    static void callback(int handle, unsigned char *data, VdFrameHead *, void *context)
    {
        auto *self = static_cast<Lingering *>(context);
        self->running.fetch_add(1);
        self->calls.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        VdReleaseImageBuffer(handle, data);
        self->running.fetch_sub(1);
    }
};

// Shows that nothing runs now and nothing starts during a short grace time.
void expectQuiet(Lingering &l)
{
    EXPECT_EQ(l.running.load(), 0);
    const int calls = l.calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(l.calls.load(), calls);
}

} // namespace

TEST(SdkDetach, NoFrameCallbackRunsOnceDetachStopOrUnInitReturned)
{
    configure(fastPopulation());
    Lingering l;
    VdHandle h = openCamera(kFast);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(VdSetCallbackFunction(h, &Lingering::callback, &l, nullptr), VD_OK);
        ASSERT_EQ(VdPlay(h), VD_OK);
        const int calls = l.calls.load();
        ASSERT_TRUE(waitUntil([&] { return l.calls.load() > calls + 3; }, 3000));
        VdFrameCallback previous = nullptr;
        ASSERT_EQ(VdSetCallbackFunction(h, nullptr, nullptr, &previous), VD_OK);
        EXPECT_EQ(previous, &Lingering::callback);
        expectQuiet(l);
        ASSERT_EQ(VdStop(h), VD_OK);
    }
    ASSERT_EQ(VdSetCallbackFunction(h, &Lingering::callback, &l, nullptr), VD_OK);
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(VdPlay(h), VD_OK);
        const int calls = l.calls.load();
        ASSERT_TRUE(waitUntil([&] { return l.calls.load() > calls + 3; }, 3000));
        ASSERT_EQ(VdStop(h), VD_OK);
        expectQuiet(l);
    }
    ASSERT_EQ(VdPlay(h), VD_OK);
    const int calls = l.calls.load();
    ASSERT_TRUE(waitUntil([&] { return l.calls.load() > calls + 3; }, 3000));
    ASSERT_EQ(VdUnInit(h), VD_OK);
    expectQuiet(l);
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
}

TEST(SdkDetach, CallsFromInsideTheFrameCallbackDoNotWaitForThemselves)
{
    configure(fastPopulation());
    struct Inside {
        std::function<VdStatus(int)> action;
        std::atomic<int> calls{0};
        std::atomic<bool> done{false};
        std::atomic<int> status{99};
        static void callback(int handle, unsigned char *data, VdFrameHead *, void *context)
        {
            auto *self = static_cast<Inside *>(context);
            VdReleaseImageBuffer(handle, data);
            if (++self->calls == 3) {
                self->status = self->action(handle);
                self->done = true;
            }
        }
    };
    const std::pair<const char *, std::function<VdStatus(int)>> actions[] = {
        {"detach", [](int h) { return VdSetCallbackFunction(h, nullptr, nullptr, nullptr); }},
        {"stop", [](int h) { return VdStop(h); }},
        {"close", [](int h) { return VdUnInit(h); }},
        {"stop, detach and close", [](int h) {
             VdStatus st = VdStop(h);
             st = st ? st : VdSetConnectionStatusCallback(h, nullptr, nullptr);
             st = st ? st : VdSetCallbackFunction(h, nullptr, nullptr, nullptr);
             return st ? st : VdUnInit(h);
         }},
    };
    for (const auto &a : actions) {
        SCOPED_TRACE(a.first);
        Inside in;
        in.action = a.second;
        VdHandle h = openCamera(kFast);
        ASSERT_EQ(VdSetCallbackFunction(h, &Inside::callback, &in, nullptr), VD_OK);
        ASSERT_EQ(VdPlay(h), VD_OK);
        ASSERT_TRUE(waitUntil([&] { return in.done.load(); }, 3000));
        EXPECT_EQ(in.status.load(), VD_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(in.calls.load(), 3);
        EXPECT_EQ(value(kFast, "playing"), std::string(a.first) == "detach" ? 1 : 0);
        VdUnInit(h);   // already closed in some cases
        EXPECT_EQ(value(kFast, "open"), 0);
    }
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
}

TEST(SdkLink, LossAndReturnAreReportedOnTheStatusThread)
{
    configure();
    Consumer consumer;
    StatusLog log;
    VdHandle h = openCamera(kColour);
    ASSERT_EQ(VdSetConnectionStatusCallback(h, &StatusLog::callback, &log), VD_OK);
    ASSERT_EQ(VdSetCallbackFunction(h, &Consumer::callback, &consumer, nullptr), VD_OK);
    ASSERT_EQ(VdPlay(h), VD_OK);
    ASSERT_TRUE(consumer.waitCount(2));

    ASSERT_EQ(VdSimLinkLost(kColour, 1), VD_OK);
    ASSERT_TRUE(log.waitCount(1));
    auto messages = log.snapshot();
    EXPECT_EQ(messages[0].handle, h);
    EXPECT_EQ(messages[0].msg, unsigned(VD_MSG_LINK_LOST));
    EXPECT_EQ(messages[0].param, 1u);
    EXPECT_NE(messages[0].thread, std::this_thread::get_id());
    EXPECT_NE(messages[0].thread, consumer.snapshot()[0].thread);

    // Frames have stopped, the device is gone from the list, the handle refuses work.
    EXPECT_EQ(value(kColour, "playing"), 0);
    EXPECT_EQ(value(kColour, "linkUp"), 0);
    const size_t frames = consumer.count();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_LE(consumer.count(), frames + 1);   // at most the one already in flight
    VdDeviceInfo table[4];
    int count = 4;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    EXPECT_EQ(count, 1);
    EXPECT_STREQ(table[0].serialNumber, kMono);
    VdCapability cap;
    EXPECT_EQ(VdPlay(h), VD_ERR_LINK_DOWN);
    EXPECT_EQ(VdSoftTrigger(h), VD_ERR_LINK_DOWN);
    EXPECT_EQ(VdGetCapability(h, &cap), VD_ERR_LINK_DOWN);
    EXPECT_EQ(VdSetIspOutFormat(h, VD_PIXEL_MONO8), VD_ERR_LINK_DOWN);
    EXPECT_EQ(VdStop(h), VD_OK);

    ASSERT_EQ(VdSimLinkRestored(kColour), VD_OK);
    ASSERT_TRUE(log.waitCount(2));
    messages = log.snapshot();
    EXPECT_EQ(messages[1].msg, unsigned(VD_MSG_LINK_RESTORED));
    EXPECT_EQ(messages[1].thread, messages[0].thread);
    count = 4;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(VdPlay(h), VD_OK);
    const size_t resumed = consumer.count();
    ASSERT_TRUE(consumer.waitCount(resumed + 1));

    // A network failure carries parameter 0; without a status callback the
    // return is silent.
    ASSERT_EQ(VdSimLinkLost(kColour, 0), VD_OK);
    ASSERT_TRUE(log.waitCount(3));
    EXPECT_EQ(log.snapshot()[2].param, 0u);
    ASSERT_EQ(VdSetConnectionStatusCallback(h, nullptr, nullptr), VD_OK);
    ASSERT_EQ(VdSimLinkRestored(kColour), VD_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(log.snapshot().size(), 3u);
    EXPECT_EQ(VdUnInit(h), VD_OK);
}

TEST(SdkDetach, StatusCallbackMayCloseTheCameraWhileFramesFlow)
{
    configure(fastPopulation());
    Lingering frames;
    StatusLog log;
    std::atomic<int> closeStatus{99};
    VdHandle h = openCamera(kFast);
    log.inside = [&](int handle, unsigned msg) {
        if (msg != VD_MSG_LINK_LOST)
            return;
        // What a driver does on loss: stop, detach both callbacks, close.
        VdStatus st = VdStop(handle);
        st = st ? st : VdSetConnectionStatusCallback(handle, nullptr, nullptr);
        st = st ? st : VdSetCallbackFunction(handle, nullptr, nullptr, nullptr);
        st = st ? st : VdUnInit(handle);
        closeStatus = st;
    };
    ASSERT_EQ(VdSetConnectionStatusCallback(h, &StatusLog::callback, &log), VD_OK);
    ASSERT_EQ(VdSetCallbackFunction(h, &Lingering::callback, &frames, nullptr), VD_OK);
    ASSERT_EQ(VdPlay(h), VD_OK);
    ASSERT_TRUE(waitUntil([&] { return frames.calls.load() > 10; }, 3000));
    ASSERT_EQ(VdSimLinkLost(kFast, 1), VD_OK);
    ASSERT_TRUE(log.waitCount(1));
    EXPECT_EQ(closeStatus.load(), VD_OK);
    EXPECT_EQ(value(kFast, "open"), 0);
    expectQuiet(frames);
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
    const int afterClose = threadCount();
    // Reopened after the link is back: a fresh handle, whose status and
    // acquisition threads are the closed handle's, given back once their
    // work returned; one stuck in the status callback would not be.
    ASSERT_EQ(VdSimLinkRestored(kFast), VD_OK);
    VdHandle again = openCamera(kFast);
    EXPECT_NE(again, h);
    Lingering more;
    ASSERT_EQ(VdSetCallbackFunction(again, &Lingering::callback, &more, nullptr), VD_OK);
    ASSERT_EQ(VdPlay(again), VD_OK);
    ASSERT_TRUE(waitUntil([&] { return more.calls.load() > 3; }, 3000));
    EXPECT_LE(threadCount(), afterClose);
    EXPECT_EQ(VdUnInit(again), VD_OK);
}

// Every session and every handle used to get threads of their own; a thread
// that ever ran OpenCV's colour conversion leaves data in OpenCV behind for
// good, so restarting cameras made memory climb. Sessions run on the
// threads that ended ones gave back, and a closed handle leaves none running.
TEST(SdkThreads, SessionsReuseTheThreadsOfEndedOnesAndUnInitLeavesNoneBehind)
{
    configure();
    std::mutex tidsLock;
    std::set<long> tids;  // kernel thread ids: unlike std::thread::id, never reused soon
    auto round = [&] {
        Consumer colourFrames, monoFrames;
        StatusLog log;
        auto note = [&](int) {
            std::lock_guard<std::mutex> g(tidsLock);
            tids.insert(long(syscall(SYS_gettid)));
        };
        colourFrames.inside = note;
        monoFrames.inside = note;
        VdHandle a = openCamera(kColour);
        VdHandle b = openCamera(kMono);
        ASSERT_EQ(VdSetCallbackFunction(a, &Consumer::callback, &colourFrames, nullptr), VD_OK);
        ASSERT_EQ(VdSetCallbackFunction(b, &Consumer::callback, &monoFrames, nullptr), VD_OK);
        ASSERT_EQ(VdSetConnectionStatusCallback(a, &StatusLog::callback, &log), VD_OK);
        ASSERT_EQ(VdPlay(a), VD_OK);
        ASSERT_EQ(VdPlay(b), VD_OK);
        ASSERT_TRUE(colourFrames.waitCount(2));
        ASSERT_TRUE(monoFrames.waitCount(2));
        // A second session of the same handle.
        ASSERT_EQ(VdStop(a), VD_OK);
        ASSERT_EQ(VdPlay(a), VD_OK);
        ASSERT_TRUE(colourFrames.waitCount(4));
        ASSERT_EQ(VdUnInit(a), VD_OK);
        ASSERT_EQ(VdUnInit(b), VD_OK);
    };
    // The first round makes the threads that Qt, OpenCV and the simulator keep.
    round();
    const int baseline = threadCount();
    tids.clear();
    constexpr int kRounds = 20;  // 60 sessions on 40 handles
    for (int i = 0; i < kRounds; ++i) {
        round();
        EXPECT_LE(threadCount(), baseline) << "round " << i;
    }
    EXPECT_LE(tids.size(), 6u) << "frames of " << 3 * kRounds << " sessions ran on " << tids.size() << " threads";
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
}

// A loss ends the session while its frame callback still runs, waiting,
// say, for a lock of the consumer's. A VdPlay once the link is back must not
// wait for that callback: its caller may hold that very lock.
TEST(SdkThreads, PlayAfterALossDoesNotWaitForACallbackOfTheEndedSession)
{
    configure();
    std::mutex gateLock;
    std::condition_variable gateChanged;
    bool hold = true, entered = false, released = false;
    Consumer frames;
    frames.inside = [&](int) {
        std::unique_lock<std::mutex> g(gateLock);
        if (!hold)
            return;
        hold = false;
        entered = true;
        gateChanged.notify_all();
        gateChanged.wait(g, [&] { return released; });
    };
    auto release = [&] {
        std::lock_guard<std::mutex> g(gateLock);
        released = true;
        gateChanged.notify_all();
    };
    VdHandle h = openCamera(kColour);
    ASSERT_EQ(VdSetCallbackFunction(h, &Consumer::callback, &frames, nullptr), VD_OK);
    ASSERT_EQ(VdPlay(h), VD_OK);
    {
        std::unique_lock<std::mutex> g(gateLock);
        ASSERT_TRUE(gateChanged.wait_for(g, std::chrono::seconds(3), [&] { return entered; }));
    }
    ASSERT_EQ(VdSimLinkLost(kColour, 0), VD_OK);
    ASSERT_EQ(VdSimLinkRestored(kColour), VD_OK);

    std::atomic<bool> played{false};
    std::atomic<VdStatus> status{VD_ERR_INTERNAL};
    std::thread player([&] {
        status = VdPlay(h);
        played = true;
    });
    EXPECT_TRUE(waitUntil([&] { return played.load(); }, 2000)) << "VdPlay waited for the ended session's callback";
    release();
    player.join();
    EXPECT_EQ(status.load(), VD_OK);
    // The new session delivers; VdUnInit still waits for every callback.
    EXPECT_TRUE(frames.waitCount(3));
    ASSERT_EQ(VdUnInit(h), VD_OK);
    const size_t after = frames.count();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(frames.count(), after);
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
}

TEST(SdkThreads, ConcurrentCallsFromManyThreadsAreSafe)
{
    configure(fastPopulation());
    Consumer consumer;
    StatusLog log;
    VdHandle h = openCamera(kFast);
    ASSERT_EQ(VdSetConnectionStatusCallback(h, &StatusLog::callback, &log), VD_OK);
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    workers.emplace_back([&] {
        while (!stop) {
            VdSetCallbackFunction(h, &Consumer::callback, &consumer, nullptr);
            VdPlay(h);
            VdSetCallbackFunction(h, nullptr, nullptr, nullptr);
            VdStop(h);
        }
    });
    workers.emplace_back([&] {
        while (!stop) {
            VdSetTriggerMode(h, VD_TRIGGER_SOFTWARE);
            VdSoftTrigger(h);
            VdSetTriggerMode(h, VD_TRIGGER_CONTINUOUS);
            VdSetIspOutFormat(h, VD_PIXEL_MONO8);
            VdSetIspOutFormat(h, VD_PIXEL_RGB8);
        }
    });
    workers.emplace_back([&] {
        while (!stop) {
            VdSimPushFrame(kFast, nullptr);
            VdSimLinkLost(kFast, 0);
            VdSimLinkRestored(kFast);
        }
    });
    workers.emplace_back([&] {
        VdDeviceInfo table[4];
        while (!stop) {
            int count = 4;
            VdEnumerateDevice(table, &count);
            VdCapability cap;
            VdGetCapability(h, &cap);
            double v;
            VdSimGetValue(kFast, "framesDelivered", &v);
        }
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    for (std::thread &t : workers)
        t.join();
    // Whatever state the storm left, the handle still works.
    ASSERT_EQ(VdSimLinkRestored(kFast), VD_OK);
    ASSERT_EQ(VdSetCallbackFunction(h, &Consumer::callback, &consumer, nullptr), VD_OK);
    ASSERT_EQ(VdSetTriggerMode(h, VD_TRIGGER_CONTINUOUS), VD_OK);
    ASSERT_EQ(VdPlay(h), VD_OK);
    const size_t before = consumer.count();
    EXPECT_TRUE(consumer.waitCount(before + 5));
    EXPECT_EQ(VdUnInit(h), VD_OK);
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
    for (const FrameRecord &f : consumer.snapshot()) {
        ASSERT_EQ(f.processStatus, VD_OK);
        ASSERT_EQ(stampOf(f.processed), f.headBefore.frameId);
        ASSERT_EQ(f.releaseStatus, VD_OK);
    }
}

TEST(SdkEvents, EventsOfAConfigurationFireOnTime)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("cameras.json").toStdString();
    {
        std::ofstream f(path);
        f << R"({"devices": [{"serialNumber": "VDXGEVENT0001", "sensorWidth": 32, "frameHeight": 4}],
                 "events": [
                   {"atMs": 250, "serialNumber": "VDXGEVENT0001", "event": "linkRestored"},
                   {"atMs": 100, "serialNumber": "VDXGEVENT0001", "event": "linkLost", "powerLost": true},
                   {"atMs": 350, "serialNumber": "VDXGEVENT0001", "event": "detach"},
                   {"atMs": 450, "serialNumber": "VDXGEVENT0001", "event": "attach"}]})";
    }
    ASSERT_EQ(VdSdkInit(0), VD_OK);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(VdSimConfigureFile(path.c_str()), VD_OK);
    StatusLog log;
    VdHandle h = openCamera("VDXGEVENT0001");
    ASSERT_EQ(VdSetConnectionStatusCallback(h, &StatusLog::callback, &log), VD_OK);
    ASSERT_TRUE(log.waitCount(2));
    const auto restoredAt = std::chrono::steady_clock::now();
    const auto messages = log.snapshot();
    EXPECT_EQ(messages[0].msg, unsigned(VD_MSG_LINK_LOST));
    EXPECT_EQ(messages[0].param, 1u);
    EXPECT_EQ(messages[1].msg, unsigned(VD_MSG_LINK_RESTORED));
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(restoredAt - start).count(), 250);

    auto attached = [] {
        double v = -1;
        VdSimGetValue("VDXGEVENT0001", "attached", &v);
        return v;
    };
    ASSERT_TRUE(waitUntil([&] { return attached() == 0; }, 3000));
    EXPECT_EQ(VdPlay(h), VD_ERR_LINK_DOWN);
    ASSERT_TRUE(waitUntil([&] { return attached() == 1; }, 3000));
    EXPECT_EQ(VdPlay(h), VD_OK);
    EXPECT_EQ(log.snapshot().size(), 2u);   // plugging makes no message
    EXPECT_EQ(VdUnInit(h), VD_OK);

    EXPECT_EQ(VdSimConfigureFile((path + ".missing").c_str()), VD_ERR_BAD_ARGUMENT);
}

// Configuration through the environment is read once per process, so these
// cases run in a child process of this test program.
namespace {

bool isChild()
{
    return qEnvironmentVariableIsSet("VANDREL_SDK_TEST_CHILD");
}

struct ChildResult {
    int exitCode;
    QString out;
    QString err;
};

ChildResult runChild(const char *test, const QString &config)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANDREL_SDK_TEST_CHILD", "1");
    if (config.isNull())
        env.remove("VDCAMSDK_SIM_CONFIG");
    else
        env.insert("VDCAMSDK_SIM_CONFIG", config);
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), {QString("--gtest_filter=SdkChild.") + test});
    const bool finished = p.waitForFinished(30000);
    if (!finished)
        p.kill();
    return {finished ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

void expectPassed(const ChildResult &r)
{
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("[  PASSED  ] 1 test")) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("SKIPPED")) << r.out.toStdString();
}

} // namespace

TEST(SdkChild, CallsBeforeSdkInitAreRefused)
{
    if (!isChild())
        GTEST_SKIP() << "runs as a child of SdkEnvironment";
    VdDeviceInfo table[4];
    int count = 4;
    EXPECT_EQ(VdEnumerateDevice(table, &count), VD_ERR_NOT_INITIALISED);
    const VdDeviceInfo info = recordFor("VDXG4K0C0001");
    VdHandle h = 0;
    EXPECT_EQ(VdInit(&info, -1, -1, &h), VD_ERR_NOT_INITIALISED);
    EXPECT_EQ(VdPlay(1), VD_ERR_NOT_INITIALISED);
    EXPECT_EQ(VdSdkInit(0), VD_OK);
    EXPECT_EQ(VdSdkInit(0), VD_OK);
    count = 4;
    EXPECT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    EXPECT_EQ(count, 3);
}

TEST(SdkChild, DefaultPopulation)
{
    if (!isChild())
        GTEST_SKIP() << "runs as a child of SdkEnvironment";
    ASSERT_EQ(VdSdkInit(0), VD_OK);
    VdDeviceInfo table[20];
    int count = 20;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(table[0].productName, "VD-XG4K-C");
    EXPECT_STREQ(table[0].serialNumber, "VDXG4K0C0001");
    EXPECT_STREQ(table[1].productName, "VD-XG8K-M");
    EXPECT_STREQ(table[1].serialNumber, "VDXG8K0M0002");
    EXPECT_STREQ(table[2].productName, "VD-AC1300");
    EXPECT_STREQ(table[2].serialNumber, "VDAC13000003");
}

TEST(SdkChild, PopulationAndEventsFromTheNamedFile)
{
    if (!isChild())
        GTEST_SKIP() << "runs as a child of SdkEnvironment";
    // Events count from the first VdSdkInit.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto init = std::chrono::steady_clock::now();
    ASSERT_EQ(VdSdkInit(0), VD_OK);
    VdDeviceInfo table[4];
    int count = 4;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(table[0].serialNumber, "VDXGFILE00001");
    StatusLog log;
    VdHandle h = openCamera("VDXGFILE00001");
    ASSERT_EQ(VdSetConnectionStatusCallback(h, &StatusLog::callback, &log), VD_OK);
    ASSERT_TRUE(log.waitCount(1));
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - init).count(),
              100);
    EXPECT_EQ(log.snapshot()[0].msg, unsigned(VD_MSG_LINK_LOST));
    EXPECT_EQ(log.snapshot()[0].param, 0u);
    EXPECT_EQ(VdUnInit(h), VD_OK);
}

TEST(SdkEnvironment, DefaultPopulationWithoutAFile)
{
    if (isChild())
        GTEST_SKIP();
    expectPassed(runChild("DefaultPopulation", QString()));
    expectPassed(runChild("CallsBeforeSdkInitAreRefused", QString()));
}

TEST(SdkEnvironment, FileNamedByTheEnvironmentIsUsed)
{
    if (isChild())
        GTEST_SKIP();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("cameras.json");
    {
        std::ofstream f(path.toStdString());
        f << R"({"devices": [{"serialNumber": "VDXGFILE00001", "sensorWidth": 32, "frameHeight": 4}],
                 "events": [{"atMs": 100, "serialNumber": "VDXGFILE00001", "event": "linkLost"}]})";
    }
    const ChildResult r = runChild("PopulationAndEventsFromTheNamedFile", path);
    expectPassed(r);
    EXPECT_FALSE(r.err.contains("configuration")) << r.err.toStdString();
}

TEST(SdkChild, NoCamerasAndTheReason)
{
    if (!isChild())
        GTEST_SKIP() << "runs as a child of SdkEnvironment";
    const std::string why = VdSimPopulationError();
    const std::string file = qgetenv("VDCAMSDK_SIM_CONFIG").toStdString();
    EXPECT_NE(why.find("configuration " + file + " unusable: "), std::string::npos) << why;
    EXPECT_NE(why.find(qgetenv("VANDREL_SDK_TEST_REASON").toStdString()), std::string::npos) << why;
    EXPECT_STRNE(VdSimConfigureError(), "");
    ASSERT_EQ(VdSdkInit(0), VD_OK);
    VdDeviceInfo table[4];
    int count = 4;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    EXPECT_EQ(count, 0) << "no camera stands in for the ones named";
    const VdDeviceInfo info = recordFor("VDXG4K0C0001");
    VdHandle h = 0;
    EXPECT_EQ(VdInit(&info, -1, -1, &h), VD_ERR_NO_DEVICE);
    // A configuration applied later is in use, and the reason goes with it.
    ASSERT_EQ(VdSimConfigure(R"({"devices": [{"serialNumber": "VDXGLATER0001"}]})"), VD_OK);
    EXPECT_STREQ(VdSimPopulationError(), "");
    count = 4;
    ASSERT_EQ(VdEnumerateDevice(table, &count), VD_OK);
    EXPECT_EQ(count, 1);
}

TEST(SdkEnvironment, AnUnusableFileLeavesNoCamerasAndSaysWhyOnce)
{
    if (isChild())
        GTEST_SKIP();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString broken = dir.filePath("broken.json");
    {
        std::ofstream f(broken.toStdString());
        f << R"({"devices": [{"serialNumber": )";
    }
    // Well-formed, but its frames folder is not there.
    const QString missing = dir.filePath("missing.json");
    {
        std::ofstream f(missing.toStdString());
        f << R"({"devices": [{"serialNumber": "VDXG8K0M0002", "frames": "nowhere"}]})";
    }
    const struct {
        QString file;
        QString reason;
    } cases[] = {{broken, "at offset"}, {missing, dir.filePath("nowhere") + ": no such directory"},
                 {dir.filePath("absent.json"), "cannot read " + dir.filePath("absent.json")}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        qputenv("VANDREL_SDK_TEST_REASON", c.reason.toLocal8Bit());
        const ChildResult r = runChild("NoCamerasAndTheReason", c.file);
        expectPassed(r);
        EXPECT_EQ(r.err.count("unusable"), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.file + " unusable")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("no cameras")) << r.err.toStdString();
    }
    qunsetenv("VANDREL_SDK_TEST_REASON");
}
