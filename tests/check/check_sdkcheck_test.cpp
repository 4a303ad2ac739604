// The conformance check, run in-process: it passes against the simulated SDK,
// and each of its checks fails against an SDK that breaks what it checks,
// whether by failing calls (the simulator's VdSimFailNext) or by behaving
// wrongly (wrappers put into the check's table of entry points).

#include "loadedsdk.h"
#include "sdkcheck.h"
#include "vdsim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

using vdcheck::Check;
using vdcheck::Outcome;
using vdcheck::Report;
using vdcheck::SdkApi;

namespace {

constexpr const char *kColour = "VDXGCHECKC001";
constexpr const char *kMono = "VDXGCHECKM002";
constexpr const char *kSpare = "VDXGCHECKS004";

// Small frames at a high rate keep each run short; the spare camera is
// plugged in only by tests that want the device count to change.
const char kPopulation[] = R"({"devices": [
  {"productName": "VD-XG4K-C", "serialNumber": "VDXGCHECKC001", "sensorWidth": 128, "sensorHeight": 128,
   "frameHeight": 16, "mono": false, "frameRate": 200},
  {"productName": "VD-XG8K-M", "serialNumber": "VDXGCHECKM002", "sensorWidth": 128, "sensorHeight": 128,
   "frameHeight": 16, "mono": true, "frameRate": 200},
  {"productName": "VD-AC1300", "serialNumber": "VDAC1300CHK03", "sensorWidth": 64, "sensorHeight": 64,
   "frameHeight": 64, "frameRate": 10},
  {"productName": "VD-XG8K-M", "serialNumber": "VDXGCHECKS004", "attached": false}
]})";

const std::vector<Check> kInteractive = {Check::UnplugMessage, Check::CloseInsideStatus, Check::ReplugEnumerate,
                                         Check::ReplugOpen};

vdcheck::Options fastOptions(const char *camera = kColour)
{
    vdcheck::Options o;
    o.camera = camera;
    o.seconds = 0.3;
    o.quietMs = 100;
    o.deadlineMs = 3000;
    o.replugMs = 3000;
    return o;
}

std::vector<Check> withOutcome(const Report &r, Outcome outcome)
{
    std::vector<Check> out;
    for (const vdcheck::Row &row : r.rows)
        if (row.outcome == outcome)
            out.push_back(row.check);
    return out;
}

std::string table(const Report &r)
{
    std::ostringstream s;
    vdcheck::printReport(r, s);
    return s.str();
}

// ---------------------------------------------------------------- wrappers
// A misbehaving SDK: the simulator's entry points with one thing broken.

namespace bad {

std::mutex mu;
VdFrameCallback frameCb = nullptr;
void *frameCtx = nullptr;
VdConnectionStatusCallback statusCb = nullptr;
void *statusCtx = nullptr;
std::thread::id checkThread;
std::vector<std::thread> late;   // callbacks delivered too late; joined by the fixture
bool fired = false;              // a late callback is sent once per run
int enumerations = 0;
std::condition_variable cv;
bool released = false;           // lets a stuck call go on
std::atomic<bool> stuckReturned{false};

unsigned char fakeRaw[64];

void reset()
{
    std::lock_guard<std::mutex> lk(mu);
    frameCb = nullptr;
    frameCtx = nullptr;
    statusCb = nullptr;
    statusCtx = nullptr;
    checkThread = std::this_thread::get_id();
    fired = false;
    enumerations = 0;
    released = false;
    stuckReturned = false;
}

VdStatus recordFrameCallback(VdHandle h, VdFrameCallback cb, void *ctx, VdFrameCallback *previous)
{
    if (cb) {
        std::lock_guard<std::mutex> lk(mu);
        frameCb = cb;
        frameCtx = ctx;
    }
    return VdSetCallbackFunction(h, cb, ctx, previous);
}

VdStatus recordStatusCallback(VdHandle h, VdConnectionStatusCallback cb, void *ctx)
{
    if (cb) {
        std::lock_guard<std::mutex> lk(mu);
        statusCb = cb;
        statusCtx = ctx;
    }
    return VdSetConnectionStatusCallback(h, cb, ctx);
}

// One frame that the SDK never lent.
void fakeFrame(VdHandle h)
{
    VdFrameHead head{};
    head.width = 4;
    head.height = 4;
    head.byteCount = 48;
    VdFrameCallback cb;
    void *ctx;
    {
        std::lock_guard<std::mutex> lk(mu);
        cb = frameCb;
        ctx = frameCtx;
    }
    if (cb)
        cb(h, fakeRaw, &head, ctx);
}

// After the first call from the checking thread, a frame callback 20 ms later.
void sendLateFrame(VdHandle h)
{
    std::lock_guard<std::mutex> lk(mu);
    if (fired || std::this_thread::get_id() != checkThread)
        return;
    fired = true;
    late.emplace_back([h] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        fakeFrame(h);
    });
}

VdStatus stopThenLateFrame(VdHandle h)
{
    const VdStatus st = VdStop(h);
    sendLateFrame(h);
    return st;
}

VdStatus detachThenLateFrame(VdHandle h, VdFrameCallback cb, void *ctx, VdFrameCallback *previous)
{
    const VdStatus st = recordFrameCallback(h, cb, ctx, previous);
    if (!cb)
        sendLateFrame(h);
    return st;
}

VdStatus unInitThenLateFrame(VdHandle h)
{
    const VdStatus st = VdUnInit(h);
    sendLateFrame(h);
    return st;
}

// A status message 20 ms after the status callback was detached inside one.
VdStatus detachStatusThenLateMessage(VdHandle h, VdConnectionStatusCallback cb, void *ctx)
{
    const VdStatus st = recordStatusCallback(h, cb, ctx);
    std::lock_guard<std::mutex> lk(mu);
    if (!cb && !fired && std::this_thread::get_id() != checkThread) {
        fired = true;
        late.emplace_back([h] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            VdConnectionStatusCallback scb;
            void *sctx;
            {
                std::lock_guard<std::mutex> lk2(mu);
                scb = statusCb;
                sctx = statusCtx;
            }
            if (scb)
                scb(h, VD_MSG_LINK_RESTORED, 0, sctx);
        });
    }
    return st;
}

VdStatus enumeratePastTheTable(VdDeviceInfo *devices, int *count)
{
    const int capacity = *count;
    const VdStatus st = VdEnumerateDevice(devices, count);
    std::memset(&devices[capacity], 0, sizeof(VdDeviceInfo));   // one record more than it was given
    return st;
}

VdStatus enumerateTooMany(VdDeviceInfo *devices, int *count)
{
    const VdStatus st = VdEnumerateDevice(devices, count);
    *count = 21;
    return st;
}

VdStatus enumerateOneLessTheSecondTime(VdDeviceInfo *devices, int *count)
{
    const VdStatus st = VdEnumerateDevice(devices, count);
    std::lock_guard<std::mutex> lk(mu);
    if (++enumerations == 2)
        --*count;
    return st;
}

// Frames whose header claims one byte less than the image holds.
void shortHeader(int h, unsigned char *data, VdFrameHead *head, void *)
{
    --head->byteCount;
    VdFrameCallback cb;
    void *ctx;
    {
        std::lock_guard<std::mutex> lk(mu);
        cb = frameCb;
        ctx = frameCtx;
    }
    cb(h, data, head, ctx);
}

VdStatus registerShortHeaders(VdHandle h, VdFrameCallback cb, void *ctx, VdFrameCallback *previous)
{
    if (!cb)
        return VdSetCallbackFunction(h, nullptr, nullptr, previous);
    {
        std::lock_guard<std::mutex> lk(mu);
        frameCb = cb;
        frameCtx = ctx;
    }
    return VdSetCallbackFunction(h, &shortHeader, nullptr, previous);
}

VdStatus processPastTheEnd(VdHandle h, unsigned char *raw, unsigned char *out, VdFrameHead *head)
{
    const VdStatus st = VdImageProcess(h, raw, out, head);
    out[head->byteCount] = 0;
    return st;
}

VdStatus processRaisingTheCount(VdHandle h, unsigned char *raw, unsigned char *out, VdFrameHead *head)
{
    const VdStatus st = VdImageProcess(h, raw, out, head);
    head->byteCount += 8;
    return st;
}

VdStatus processNothing(VdHandle, unsigned char *, unsigned char *, VdFrameHead *)
{
    return VD_OK;
}

VdStatus triggerTwice(VdHandle h)
{
    const VdStatus st = VdSoftTrigger(h);
    return st == VD_OK ? VdSoftTrigger(h) : st;
}

// The triggered frame comes on the caller's own thread.
VdStatus triggerOnTheCallersThread(VdHandle h)
{
    fakeFrame(h);
    return VD_OK;
}

VdStatus modeAlwaysContinuous(VdHandle h, int *mode)
{
    const VdStatus st = VdGetTriggerMode(h, mode);
    *mode = VD_TRIGGER_CONTINUOUS;
    return st;
}

// VdStop called inside a frame callback waits until the test lets it go.
VdStatus stopWaitingInsideCallbacks(VdHandle h)
{
    if (std::this_thread::get_id() != checkThread) {
        std::unique_lock<std::mutex> lk(mu);
        cv.wait(lk, [] { return released; });
    }
    const VdStatus st = VdStop(h);
    if (std::this_thread::get_id() != checkThread)
        stuckReturned = true;
    return st;
}

} // namespace bad

class SdkCheck : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(VdSimConfigure(kPopulation), VD_OK);
        VdSimResetCounters();
        bad::reset();
    }

    void TearDown() override
    {
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> lk(bad::mu);
            threads.swap(bad::late);
            bad::released = true;
        }
        bad::cv.notify_all();
        for (std::thread &t : threads)
            t.join();
        VdSimResetCounters();
    }

    static SdkApi recording()
    {
        SdkApi api;
        api.setCallbackFunction = &bad::recordFrameCallback;
        api.setConnectionStatusCallback = &bad::recordStatusCallback;
        return api;
    }

    static void expectFailed(const Report &r, Check c, const std::string &detailPart = {})
    {
        const vdcheck::Row &row = r.row(c);
        EXPECT_EQ(row.outcome, Outcome::Fail) << row.name << "\n" << table(r);
        if (!detailPart.empty()) {
            EXPECT_NE(row.detail.find(detailPart), std::string::npos) << row.detail;
        }
        EXPECT_FALSE(r.passed());
    }
};

// -------------------------------------------------------- a sound SDK

TEST_F(SdkCheck, EveryCheckPassesAgainstTheSimulatorForColourAndMonoCameras)
{
    const Report colour = vdcheck::runChecks(SdkApi(), fastOptions(kColour));
    EXPECT_TRUE(colour.passed()) << table(colour);
    EXPECT_EQ(withOutcome(colour, Outcome::NotRun), kInteractive) << table(colour);
    EXPECT_EQ(colour.camera, std::string(kColour) + " (VD-XG4K-C)");
    EXPECT_FALSE(colour.sdkStuck);
    EXPECT_NE(table(colour).find("30 passed, 0 failed, 4 not run"), std::string::npos) << table(colour);

    const Report mono = vdcheck::runChecks(SdkApi(), fastOptions(kMono));
    EXPECT_TRUE(mono.passed()) << table(mono);
    std::vector<Check> notRun = {Check::OutputFormat, Check::MonoOutput};
    notRun.insert(notRun.end(), kInteractive.begin(), kInteractive.end());
    EXPECT_EQ(withOutcome(mono, Outcome::NotRun), notRun) << table(mono);
    EXPECT_EQ(VdSimOutstandingBuffers(), 0);
}

TEST_F(SdkCheck, WithoutACameraNamedTheFirstVdXgCameraIsChecked)
{
    vdcheck::Options o = fastOptions("");
    const Report r = vdcheck::runChecks(SdkApi(), o);
    EXPECT_TRUE(r.passed()) << table(r);
    EXPECT_EQ(r.camera, std::string(kColour) + " (VD-XG4K-C)");
    // The record's device version, as the header line shows it.
    EXPECT_EQ(r.deviceVersion, "SIM 1.0");
    EXPECT_NE(table(r).find("vdcamsdk-check: VDXGCHECKC001 (VD-XG4K-C), device version SIM 1.0\n"), std::string::npos)
        << table(r);
}

// The library this test is linked to is found among the loaded objects, and
// known as the simulator by its own query.
TEST(LoadedSdk, TheSimulatorLinkedInIsFoundAndKnownAsSimulated)
{
    const vdsdk::LoadedSdk sdk = vdsdk::findLoadedSdk();
    ASSERT_FALSE(sdk.path.empty());
    EXPECT_EQ(sdk.path.front(), '/') << sdk.path;
    EXPECT_NE(sdk.path.find("/libVDCAMSDK.so"), std::string::npos) << sdk.path;
    EXPECT_TRUE(sdk.simulated);
    EXPECT_EQ(sdk.identity, VdSimIdentity());
    EXPECT_EQ(sdk.identity.rfind("Vandrel simulated VD camera SDK ", 0), 0u) << sdk.identity;
}

TEST_F(SdkCheck, InteractiveUnplugAndReplugPass)
{
    vdcheck::Options o = fastOptions();
    std::vector<std::string> prompts;
    o.interactive = true;
    o.prompt = [&](const std::string &request) {
        prompts.push_back(request);
        if (prompts.size() == 1)
            VdSimLinkLost(kColour, 1);
        else
            VdSimLinkRestored(kColour);
    };
    const Report r = vdcheck::runChecks(SdkApi(), o);
    EXPECT_TRUE(r.passed()) << table(r);
    EXPECT_TRUE(withOutcome(r, Outcome::NotRun).empty()) << table(r);
    EXPECT_NE(r.row(Check::UnplugMessage).detail.find("power lost"), std::string::npos);
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_NE(prompts[0].find("Unplug camera VDXGCHECKC001"), std::string::npos);
    EXPECT_NE(prompts[1].find("Plug camera VDXGCHECKC001 back in"), std::string::npos);
}

// ------------------------------------------------------ failing calls

struct FailingCall {
    const char *function;
    VdStatus status;
    Check check;
};

void PrintTo(const FailingCall &f, std::ostream *os)
{
    *os << f.function;
}

class SdkCheckFailingCall : public SdkCheck, public ::testing::WithParamInterface<FailingCall>
{
};

// The first call of each function belongs to the named check; the table
// shows the status the SDK returned.
TEST_P(SdkCheckFailingCall, FailsItsCheckWithTheSdksStatus)
{
    const FailingCall &f = GetParam();
    ASSERT_EQ(VdSimFailNext(f.function, f.status), VD_OK);
    const Report r = vdcheck::runChecks(SdkApi(), fastOptions());
    expectFailed(r, f.check);
    EXPECT_TRUE(r.row(f.check).hasStatus);
    EXPECT_EQ(r.row(f.check).status, f.status);
    const std::string t = table(r);
    const std::string line = t.substr(t.find(r.row(f.check).name));
    EXPECT_NE(line.substr(0, line.find('\n')).find(vdcheck::statusText(f.status)), std::string::npos) << t;
}

INSTANTIATE_TEST_SUITE_P(
    Sdk, SdkCheckFailingCall,
    ::testing::Values(FailingCall{"VdSdkInit", VD_ERR_INTERNAL, Check::SdkInit},
                      FailingCall{"VdEnumerateDevice", VD_ERR_NOT_INITIALISED, Check::Enumerate},
                      FailingCall{"VdInit", VD_ERR_BUSY, Check::Open},
                      FailingCall{"VdSetConnectionStatusCallback", VD_ERR_BAD_HANDLE, Check::RegisterCallbacks},
                      FailingCall{"VdGetCapability", VD_ERR_LINK_DOWN, Check::Capability},
                      FailingCall{"VdGetImageResolution", VD_ERR_LINK_DOWN, Check::Resolution},
                      FailingCall{"VdGetExposureLineTime", VD_ERR_INTERNAL, Check::LineTime},
                      FailingCall{"VdSetIspOutFormat", VD_ERR_UNSUPPORTED_FORMAT, Check::OutputFormat},
                      FailingCall{"VdGetTriggerMode", VD_ERR_INTERNAL, Check::TriggerMode},
                      FailingCall{"VdPlay", VD_ERR_LINK_DOWN, Check::Play},
                      FailingCall{"VdImageProcess", VD_ERR_INTERNAL, Check::Processing},
                      FailingCall{"VdReleaseImageBuffer", VD_ERR_BAD_ARGUMENT, Check::Release},
                      FailingCall{"VdSoftTrigger", VD_ERR_NOT_PLAYING, Check::SoftTrigger},
                      FailingCall{"VdStop", VD_ERR_INTERNAL, Check::StopQuiet},
                      FailingCall{"VdUnInit", VD_ERR_INTERNAL, Check::UnInitQuiet}),
    [](const ::testing::TestParamInfo<FailingCall> &info) { return std::string(info.param.function); });

// -------------------------------------------------- enumeration faults

TEST_F(SdkCheck, FailsWhenEnumerationWritesPastTheTableOrCountsAbove20)
{
    SdkApi past;
    past.enumerateDevice = &bad::enumeratePastTheTable;
    expectFailed(vdcheck::runChecks(past, fastOptions()), Check::Enumerate, "wrote past the 20 records");

    SdkApi many;
    many.enumerateDevice = &bad::enumerateTooMany;
    expectFailed(vdcheck::runChecks(many, fastOptions()), Check::Enumerate, "count 21");
}

TEST_F(SdkCheck, FailsOnTextsThatFillTheirFieldsAndOnlyThere)
{
    // The simulator writes a 36-byte serial number without a terminator.
    const std::string serial = "VDXGCHECK" + std::string(27, 'X');
    const std::string population = R"({"devices": [{"productName": "VD-XG4K-C", "serialNumber": ")" + serial
                                   + R"(", "sensorWidth": 128, "sensorHeight": 128, "frameHeight": 16,
                                      "frameRate": 200}]})";
    ASSERT_EQ(VdSimConfigure(population.c_str()), VD_OK);
    const Report r = vdcheck::runChecks(SdkApi(), fastOptions(serial.c_str()));
    expectFailed(r, Check::EnumerateTexts, "record 0: serial number fills its 36 bytes");
    EXPECT_EQ(withOutcome(r, Outcome::Fail), std::vector<Check>{Check::EnumerateTexts}) << table(r);
}

// A missing camera is the setup's mistake, which the report tells apart; a
// serial number the driver cannot use is the SDK's.
TEST_F(SdkCheck, FailsWhenTheCameraIsMissingOrItsSerialNumberIsTooShort)
{
    const Report missing = vdcheck::runChecks(SdkApi(), fastOptions("VDXGNOSUCH01"));
    expectFailed(missing, Check::CameraFound, "VDXGNOSUCH01 is not listed");
    EXPECT_EQ(missing.cameraMissing,
              "VDXGNOSUCH01 is not listed; listed: VDXGCHECKC001 (VD-XG4K-C), VDXGCHECKM002 (VD-XG8K-M), "
              "VDAC1300CHK03 (VD-AC1300)");

    ASSERT_EQ(VdSimConfigure(R"({"devices": [{"productName": "VD-XG4K-C", "serialNumber": "VDXG0001"}]})"), VD_OK);
    const Report r = vdcheck::runChecks(SdkApi(), fastOptions(""));
    expectFailed(r, Check::CameraFound, "8 characters or fewer");
    EXPECT_TRUE(r.cameraMissing.empty()) << r.cameraMissing;
    EXPECT_EQ(r.row(Check::Open).outcome, Outcome::NotRun);
}

TEST_F(SdkCheck, FailsWhenASecondEnumerationCountsDifferently)
{
    SdkApi api;
    api.enumerateDevice = &bad::enumerateOneLessTheSecondTime;
    expectFailed(vdcheck::runChecks(api, fastOptions()), Check::EnumerateAgain, "3 device(s), then 2");
}

// ------------------------------------------------- frame path faults

TEST_F(SdkCheck, FailsWhenAHeaderByteCountDoesNotFitItsSize)
{
    SdkApi api;
    api.setCallbackFunction = &bad::registerShortHeaders;
    const Report r = vdcheck::runChecks(api, fastOptions());
    expectFailed(r, Check::FrameHeaders, "128 x 16 with byte count 6143, expected 6144");
}

TEST_F(SdkCheck, FailsWhenProcessingWritesPastTheByteCountRaisesItOrWritesNothing)
{
    SdkApi past;
    past.imageProcess = &bad::processPastTheEnd;
    expectFailed(vdcheck::runChecks(past, fastOptions()), Check::Processing, "wrote past");

    SdkApi raising;
    raising.imageProcess = &bad::processRaisingTheCount;
    expectFailed(vdcheck::runChecks(raising, fastOptions()), Check::Processing, "raised the byte count");

    SdkApi idle;
    idle.imageProcess = &bad::processNothing;
    expectFailed(vdcheck::runChecks(idle, fastOptions()), Check::Processing, "no processed frame wrote");
}

TEST_F(SdkCheck, FailsWhenACallbackRunsOnTheCallersThread)
{
    SdkApi api = recording();
    api.softTrigger = &bad::triggerOnTheCallersThread;
    expectFailed(vdcheck::runChecks(api, fastOptions()), Check::CallbackThreads, "on the thread that called the SDK");
}

TEST_F(SdkCheck, FailsWhenOneTriggerGivesTwoFrames)
{
    SdkApi api;
    api.softTrigger = &bad::triggerTwice;
    expectFailed(vdcheck::runChecks(api, fastOptions()), Check::SoftTrigger, "2 frames for one trigger");
}

TEST_F(SdkCheck, FailsWhenTheTriggerModeDoesNotReadBack)
{
    SdkApi api;
    api.getTriggerMode = &bad::modeAlwaysContinuous;
    expectFailed(vdcheck::runChecks(api, fastOptions()), Check::TriggerMode, "mode 0 read back after setting 1");
}

// ------------------------------------------ callbacks after they ended

struct LateCallback {
    const char *name;
    Check check;
    void (*install)(SdkApi &);
};

void PrintTo(const LateCallback &l, std::ostream *os)
{
    *os << l.name;
}

class SdkCheckLateCallback : public SdkCheck, public ::testing::WithParamInterface<LateCallback>
{
};

TEST_P(SdkCheckLateCallback, FailsItsCheck)
{
    SdkApi api = recording();
    GetParam().install(api);
    const Report r = vdcheck::runChecks(api, fastOptions());
    expectFailed(r, GetParam().check, "1 frame callback(s) started after");
    std::lock_guard<std::mutex> lk(bad::mu);
    EXPECT_TRUE(bad::fired);
}

INSTANTIATE_TEST_SUITE_P(
    Sdk, SdkCheckLateCallback,
    ::testing::Values(
        LateCallback{"AfterVdStop", Check::StopQuiet, [](SdkApi &a) { a.stop = &bad::stopThenLateFrame; }},
        LateCallback{"AfterDetaching", Check::DetachQuiet,
                     [](SdkApi &a) { a.setCallbackFunction = &bad::detachThenLateFrame; }},
        LateCallback{"AfterVdUnInit", Check::UnInitQuiet, [](SdkApi &a) { a.unInit = &bad::unInitThenLateFrame; }}),
    [](const ::testing::TestParamInfo<LateCallback> &info) { return std::string(info.param.name); });

TEST_F(SdkCheck, ACallInsideACallbackThatNeverReturnsFailsAndStopsTheCheck)
{
    SdkApi api;
    api.stop = &bad::stopWaitingInsideCallbacks;
    vdcheck::Options o = fastOptions();
    o.deadlineMs = 500;
    const Report r = vdcheck::runChecks(api, o);
    expectFailed(r, Check::StopInsideCallback, "VdStop did not return within 0.5 s");
    EXPECT_TRUE(r.sdkStuck);
    EXPECT_EQ(r.row(Check::DetachInsideCallback).outcome, Outcome::NotRun);
    EXPECT_NE(table(r).find("An SDK call did not return"), std::string::npos);

    {
        std::lock_guard<std::mutex> lk(bad::mu);
        bad::released = true;
    }
    bad::cv.notify_all();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!bad::stuckReturned && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(bad::stuckReturned);
}

// ------------------------------------------------- unplug and replug

// Without a link-lost message nothing says the camera ever left: the checks
// after it are not run, whether it was unplugged (silently) or not at all,
// and the person is still asked to plug it back.
TEST_F(SdkCheck, InteractiveFailsWhenUnpluggingSendsNoMessageAndRunsNoReplugCheck)
{
    for (const bool unplugged : {true, false}) {
        SCOPED_TRACE(unplugged ? "unplugged without a message" : "never unplugged");
        vdcheck::Options o = fastOptions();
        o.interactive = true;
        o.deadlineMs = 1000;
        std::vector<std::string> prompts;
        o.prompt = [&](const std::string &request) {
            prompts.push_back(request);
            if (unplugged)
                VdSimSetAttached(kColour, prompts.size() == 1 ? 0 : 1);
        };
        const Report r = vdcheck::runChecks(SdkApi(), o);
        expectFailed(r, Check::UnplugMessage, "no link-lost message within 1 s");
        EXPECT_EQ(withOutcome(r, Outcome::Fail), std::vector<Check>{Check::UnplugMessage}) << table(r);
        const std::vector<Check> after = {Check::CloseInsideStatus, Check::ReplugEnumerate, Check::ReplugOpen};
        EXPECT_EQ(withOutcome(r, Outcome::NotRun), after) << table(r);
        for (Check c : after)
            EXPECT_EQ(r.row(c).detail, "no link-lost message, so no unplug to come back from");
        ASSERT_EQ(prompts.size(), 2u);
        EXPECT_NE(prompts[1].find("Plug camera VDXGCHECKC001 back in if you unplugged it"), std::string::npos);
        EXPECT_EQ(VdSimOutstandingBuffers(), 0);
    }
}

TEST_F(SdkCheck, InteractiveFailsWhenTheReplugChangesTheDeviceCount)
{
    vdcheck::Options o = fastOptions();
    o.interactive = true;
    int prompts = 0;
    o.prompt = [&](const std::string &) {
        if (++prompts == 1) {
            VdSimLinkLost(kColour, 0);
        } else {
            VdSimSetAttached(kSpare, 1);
            VdSimLinkRestored(kColour);
        }
    };
    const Report r = vdcheck::runChecks(SdkApi(), o);
    expectFailed(r, Check::ReplugEnumerate, "4 device(s) instead of 3");
    EXPECT_NE(r.row(Check::UnplugMessage).detail.find("network failure"), std::string::npos);
    EXPECT_EQ(r.row(Check::ReplugOpen).outcome, Outcome::Pass);
}

TEST_F(SdkCheck, InteractiveFailsOnAStatusMessageAfterTheCloseInsideTheLossMessage)
{
    SdkApi api = recording();
    api.setConnectionStatusCallback = &bad::detachStatusThenLateMessage;
    vdcheck::Options o = fastOptions();
    o.interactive = true;
    int prompts = 0;
    o.prompt = [&](const std::string &) {
        if (++prompts == 1)
            VdSimLinkLost(kColour, 1);
        else
            VdSimLinkRestored(kColour);
    };
    const Report r = vdcheck::runChecks(api, o);
    expectFailed(r, Check::CloseInsideStatus, "a callback started after VdUnInit returned");
}

} // namespace
