// The callback session of vdcamsdk-check: what the SDK's frame and status
// callbacks receive, counted for the checks, and the calls armed to be made
// from inside a callback. Private to vdcamsdk-check.
#pragma once

#include "sdkcheck.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vdcheck {
namespace detail {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

enum class Action { None, Stop, Detach, UnInit };

struct Message {
    unsigned msg;
    unsigned param;
    bool sdkThread;
    bool rightHandle;
    bool rightContext;
};

// What the callbacks see, shared with the thread that runs the checks. The
// checking thread never holds `mu` while it calls the SDK, so a call that
// waits for a callback cannot wait on it.
class Session
{
public:
    Session(const SdkApi &api, const Options &o) : sdk(api), opt(o) {}

    const SdkApi sdk;
    const Options opt;
    const std::thread::id checkThread = std::this_thread::get_id();

    std::mutex mu;
    std::condition_variable cv;

    // Guarded by mu.
    VdHandle handle = -1;
    long frames = 0;
    Clock::time_point lastFrame;
    int lastBpp = 0;              // bytes per pixel of the last frame whose header fitted
    int expectedBpp = 0;          // 0: 1 or 3
    bool framesClosed = false;    // a frame callback starting now is a fault
    long lateFrames = 0;
    long wrongThread = 0;
    long wrongHandle = 0;
    long wrongContext = 0;
    long missingArgs = 0;
    long badHeaders = 0;
    std::string firstBadHeader;
    long processed = 0;
    long written = 0;
    long processFailures = 0;
    VdStatus processStatus = VD_OK;
    long guardBroken = 0;
    long countGrew = 0;
    long releases = 0;
    long releaseFailures = 0;
    VdStatus releaseStatus = VD_OK;
    Action armed = Action::None;
    bool actionDone = false;
    VdStatus actionStatus = VD_OK;
    int inFlightAtAction = 0;
    std::vector<Message> messages;
    bool statusClosed = false;
    long lateStatus = 0;
    bool closeOnLoss = false;
    bool closeDone = false;
    VdStatus closeStopStatus = VD_OK;
    VdStatus closeStatus = VD_OK;  // first failure of the detaching and the release
    int framesInFlightAtClose = 0;
    int statusInFlightAtClose = 0;

    std::atomic<int> frameInFlight{0};
    std::atomic<int> statusInFlight{0};

    // On the SDK's threads, called only through onFrame and onStatus, which
    // catch whatever they throw.
    void frame(int cbHandle, unsigned char *data, VdFrameHead *head, void *context);
    void status(int cbHandle, unsigned msg, unsigned param, void *context);

    // The rest: on the checking thread.

    // Waits for pred (evaluated under mu) until the deadline.
    template <typename Pred>
    bool waitFor(int ms, Pred pred)
    {
        std::unique_lock<std::mutex> lk(mu);
        const auto deadline = Clock::now() + milliseconds(ms);
        // In slices: the in-flight counters change outside mu.
        while (!pred()) {
            if (Clock::now() >= deadline)
                return false;
            cv.wait_for(lk, milliseconds(10));
        }
        return true;
    }

    long frameCount()
    {
        std::lock_guard<std::mutex> lk(mu);
        return frames;
    }

    bool waitFrames(long n) { return waitFor(opt.deadlineMs, [&] { return frames >= n; }); }

    // Until no frame has come for quietMs.
    bool waitQuiet()
    {
        return waitFor(opt.deadlineMs, [&] { return Clock::now() - lastFrame >= milliseconds(opt.quietMs); });
    }

    bool waitIdle()
    {
        return waitFor(opt.deadlineMs, [&] { return frameInFlight.load() == 0 && statusInFlight.load() == 0; });
    }

    // Watches for quietMs whether a callback starts that must not.
    void watchLate() { waitFor(opt.quietMs, [] { return false; }); }

private:
    std::mutex bufferMu;
    std::vector<unsigned char> buffer;   // guarded by bufferMu
    unsigned char fill = 0;              // guarded by bufferMu

    void consume(VdHandle h, unsigned char *data, VdFrameHead *head);
    void runArmed(VdHandle h);
};

// The callbacks registered with the SDK. They report to the current session
// and let nothing escape into the SDK's thread.
void onFrame(int handle, unsigned char *data, VdFrameHead *head, void *context) noexcept;
void onStatus(int handle, unsigned msg, unsigned param, void *context) noexcept;

// Makes `session` the one the callbacks report to; nullptr after the run.
void makeCurrent(std::shared_ptr<Session> session);

} // namespace detail
} // namespace vdcheck
