// The checks that no callback runs after detaching, VdStop or VdUnInit have
// returned, whether called from the checking thread or inside a callback.
#include "checker.h"

#include <mutex>
#include <string>

namespace vdcheck {
namespace detail {

void Checker::quietAfter(Check c, VdStatus st, int framesInFlight, long late0, const char *call)
{
    s.watchLate();
    long late;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        late = s.lateFrames - late0;
    }
    if (!ok(c, st))
        fail(c, std::string(call) + " failed");
    else if (framesInFlight > 0)
        fail(c, std::string("a frame callback was still running when ") + call + " returned");
    else if (late > 0)
        fail(c, std::to_string(late) + " frame callback(s) started after " + call + " returned");
    else
        pass(c, "none in " + seconds(s.opt.quietMs));
}

bool Checker::inside(Action a, Check c, const char *call)
{
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.actionDone = false;
        s.armed = a;
    }
    if (!s.waitFor(s.opt.deadlineMs, [&] { return s.actionDone; })) {
        std::lock_guard<std::mutex> lk(s.mu);
        if (s.armed == a) {
            s.armed = Action::None;
            fail(c, std::string("no frame came to call ") + call + " from");
            return false;
        }
        fail(c, std::string(call) + " did not return within " + seconds(s.opt.deadlineMs)
                    + ": it waits for the callback that called it");
        r.sdkStuck = true;
        return false;
    }
    long late0;
    VdStatus st;
    int inFlight;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        late0 = s.lateFrames;
        st = s.actionStatus;
        inFlight = s.inFlightAtAction;
    }
    // The calling callback itself is still running.
    quietAfter(c, st, inFlight - 1, late0, call);
    if (!s.waitIdle()) {
        fail(c, "a callback did not return");
        r.sdkStuck = true;
        return false;
    }
    reopenWindow();
    return true;
}

bool Checker::stopping(VdHandle h)
{
    progress("stopping and detaching");
    auto closeWindow = [&] {
        std::lock_guard<std::mutex> lk(s.mu);
        s.framesClosed = true;
        return s.lateFrames;
    };
    auto flowing = [&](Check c) {
        const long n = s.frameCount();
        if (s.waitFrames(n + 2))
            return true;
        fail(c, "no frames to start from");
        return false;
    };

    VdStatus st = s.sdk.stop(h);
    int inFlight = s.frameInFlight.load();
    quietAfter(Check::StopQuiet, st, inFlight, closeWindow(), "VdStop");
    reopenWindow();

    if (!ok(Check::DetachQuiet, s.sdk.play(h)) || !flowing(Check::DetachQuiet)) {
        fail(Check::DetachQuiet, "acquisition did not start again");
        return false;
    }
    st = s.sdk.setCallbackFunction(h, nullptr, nullptr, nullptr);
    inFlight = s.frameInFlight.load();
    quietAfter(Check::DetachQuiet, st, inFlight, closeWindow(), "VdSetCallbackFunction with nulls");
    reopenWindow();
    if (!ok(Check::DetachQuiet, s.sdk.setCallbackFunction(h, &onFrame, &s, nullptr))
        || !flowing(Check::DetachQuiet))
        return false;

    if (!inside(Action::Stop, Check::StopInsideCallback, "VdStop"))
        return false;

    if (!ok(Check::DetachInsideCallback, s.sdk.play(h)) || !flowing(Check::DetachInsideCallback))
        return false;
    if (!inside(Action::Detach, Check::DetachInsideCallback, "VdSetCallbackFunction with nulls"))
        return false;
    s.sdk.stop(h);
    if (!ok(Check::UnInitQuiet, s.sdk.setCallbackFunction(h, &onFrame, &s, nullptr))) {
        fail(Check::UnInitQuiet, "the frame callback could not be registered again");
        return false;
    }

    st = s.sdk.setConnectionStatusCallback(h, nullptr, nullptr);
    const int statusIn = s.statusInFlight.load();
    long late0;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.statusClosed = true;
        late0 = s.lateStatus;
    }
    s.watchLate();
    long lateStatus;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        lateStatus = s.lateStatus - late0;
    }
    if (!ok(Check::DetachStatus, st))
        fail(Check::DetachStatus, "VdSetConnectionStatusCallback with nulls failed");
    else if (statusIn > 0 || lateStatus > 0)
        fail(Check::DetachStatus, "a status callback ran after detaching");
    else
        pass(Check::DetachStatus, "status 0");

    if (!ok(Check::UnInitQuiet, s.sdk.play(h)) || !flowing(Check::UnInitQuiet))
        return false;
    st = s.sdk.unInit(h);
    inFlight = s.frameInFlight.load() + s.statusInFlight.load();
    quietAfter(Check::UnInitQuiet, st, inFlight, closeWindow(), "VdUnInit");
    return true;
}

} // namespace detail
} // namespace vdcheck
