// The run sequence: which checks run, in which order, and where a failure
// ends the run; and runChecks, the program's entry point into it.
#include "checker.h"
#include "report.h"

#include <memory>
#include <mutex>
#include <string>

namespace vdcheck {
namespace detail {

void Checker::run()
{
    for (size_t i = 0; i < size_t(Check::Count); ++i) {
        Row &rw = r.rows[i];
        rw.check = Check(i);
        rw.name = checkName(Check(i));
        rw.detail = "not reached";
    }
    if (!s.opt.interactive)
        for (Check c : {Check::UnplugMessage, Check::CloseInsideStatus, Check::ReplugEnumerate, Check::ReplugOpen})
            row(c).detail = "needs --interactive";

    if (!enumerate())
        return;
    progress("opening " + r.camera);
    VdHandle h = -1;
    if (!open(h, Check::Open, Check::RegisterCallbacks))
        return;
    pass(Check::Open, "handle " + std::to_string(h));
    pass(Check::RegisterCallbacks);
    if (!describeCamera(h)) {
        closeQuietly(h);
        return;
    }
    // Acquisition as the driver starts it: continuous.
    int initialMode = -1;
    const VdStatus g = s.sdk.getTriggerMode(h, &initialMode);
    const VdStatus c = s.sdk.setTriggerMode(h, VD_TRIGGER_CONTINUOUS);
    if (!okAll(Check::TriggerMode, {g, c}))
        fail(Check::TriggerMode, "reading the mode " + statusText(g) + ", setting continuous " + statusText(c));
    if (!stream(h)) {
        closeQuietly(h);
        return;
    }
    formats(h);
    if (!triggers(h, initialMode)) {
        closeQuietly(h);
        return;
    }
    if (!stopping(h)) {
        if (!r.sdkStuck)
            closeQuietly(h);
        return;
    }

    progress("reopening");
    if (!open(h, Check::Reopen, Check::Reopen))
        return;
    const long n = s.frameCount();
    if (!ok(Check::Reopen, s.sdk.play(h)) || !s.waitFrames(n + 3)) {
        fail(Check::Reopen, "no frames after reopening");
        closeQuietly(h);
        return;
    }
    pass(Check::Reopen, "handle " + std::to_string(h));
    if (!inside(Action::UnInit, Check::UnInitInsideCallback, "VdUnInit")) {
        if (!r.sdkStuck)
            closeQuietly(h);   // no frame came to release it from
        return;
    }

    if (s.opt.interactive && s.opt.prompt) {
        progress("unplug and replug");
        interactive();
    }
}

} // namespace detail

Report runChecks(const SdkApi &sdk, const Options &options)
{
    Report report;
    report.rows.resize(size_t(Check::Count));
    auto session = std::make_shared<detail::Session>(sdk, options);
    detail::makeCurrent(session);
    detail::Checker checker(*session, report);
    checker.run();
    checker.finish();
    detail::makeCurrent(nullptr);
    return report;
}

} // namespace vdcheck
