// The interactive checks: the link-lost message on an unplug, closing from
// inside it as the driver does, and the re-enumeration and reopening after
// the replug.
#include "checker.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vdcheck {
namespace detail {
namespace {

constexpr int kReplugPollMs = 250;

} // namespace

void Checker::interactive()
{
    VdHandle h = -1;
    if (!open(h, Check::UnplugMessage, Check::UnplugMessage))
        return;
    const long n = s.frameCount();
    if (!ok(Check::UnplugMessage, s.sdk.play(h)) || !s.waitFrames(n + 3)) {
        fail(Check::UnplugMessage, "no frames before the unplug");
        closeQuietly(h);
        return;
    }
    size_t before;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.closeOnLoss = true;
        s.closeDone = false;
        before = s.messages.size();
    }
    s.opt.prompt("Unplug camera " + serial + " now (its network cable or its power), then press Enter.");
    const bool lost = s.waitFor(s.opt.deadlineMs, [&] {
        for (size_t i = before; i < s.messages.size(); ++i)
            if (s.messages[i].msg == VD_MSG_LINK_LOST)
                return true;
        return false;
    });
    if (!lost) {
        fail(Check::UnplugMessage, "no link-lost message within " + seconds(s.opt.deadlineMs) + " of the unplug");
        {
            std::lock_guard<std::mutex> lk(s.mu);
            s.closeOnLoss = false;
        }
        closeQuietly(h);
        // Without the message there is no telling whether the camera was
        // unplugged at all; one that never left would pass the replug checks.
        for (Check c : {Check::CloseInsideStatus, Check::ReplugEnumerate, Check::ReplugOpen})
            row(c).detail = "no link-lost message, so no unplug to come back from";
        if (s.waitIdle())
            s.opt.prompt("Plug camera " + serial + " back in if you unplugged it, then press Enter.");
        else
            r.sdkStuck = true;
        return;
    } else {
        Message m{};
        {
            std::lock_guard<std::mutex> lk(s.mu);
            for (size_t i = before; i < s.messages.size(); ++i)
                if (s.messages[i].msg == VD_MSG_LINK_LOST) {
                    m = s.messages[i];
                    break;
                }
        }
        const std::string what = std::string("message 0, parameter ") + std::to_string(m.param)
                                 + (m.param ? " (power lost)" : " (network failure)");
        if (!m.sdkThread)
            fail(Check::UnplugMessage, what + ", on the thread that called the SDK");
        else if (!m.rightHandle || !m.rightContext)
            fail(Check::UnplugMessage, what + ", with another handle or context than registered");
        else
            pass(Check::UnplugMessage, what);

        if (!s.waitFor(s.opt.deadlineMs, [&] { return s.closeDone; })) {
            fail(Check::CloseInsideStatus,
                 "closing did not return within " + seconds(s.opt.deadlineMs) + ": it waits for the callback");
            r.sdkStuck = true;
            return;
        }
        long lateF0, lateS0;
        {
            std::lock_guard<std::mutex> lk(s.mu);
            lateF0 = s.lateFrames;
            lateS0 = s.lateStatus;
        }
        s.watchLate();
        std::lock_guard<std::mutex> lk(s.mu);
        ok(Check::CloseInsideStatus, s.closeStatus);
        const std::string stop = "VdStop " + statusText(s.closeStopStatus);
        if (s.closeStatus != VD_OK)
            fail(Check::CloseInsideStatus, "detaching or VdUnInit failed; " + stop);
        else if (s.framesInFlightAtClose > 0 || s.statusInFlightAtClose > 1)
            fail(Check::CloseInsideStatus, "a callback was still running when VdUnInit returned");
        else if (s.lateFrames != lateF0 || s.lateStatus != lateS0)
            fail(Check::CloseInsideStatus, "a callback started after VdUnInit returned");
        else
            pass(Check::CloseInsideStatus, stop + ", detached, released");
    }
    if (!s.waitIdle()) {
        r.sdkStuck = true;
        return;
    }

    s.opt.prompt("Plug camera " + serial + " back in and let it start up, then press Enter.");
    const auto start = Clock::now();
    int count = 0;
    bool listed = false;
    VdStatus st = VD_OK;
    VdDeviceInfo again{};
    for (;;) {
        std::vector<VdDeviceInfo> table(kTableSize);
        count = kTableSize;
        st = s.sdk.enumerateDevice(table.data(), &count);
        for (int i = 0; st == VD_OK && i < std::min(count, kTableSize); ++i)
            if (fieldText(table[size_t(i)].serialNumber) == serial) {
                listed = true;
                again = table[size_t(i)];
            }
        if (listed || Clock::now() - start > milliseconds(s.opt.replugMs))
            break;
        std::this_thread::sleep_for(milliseconds(kReplugPollMs));
    }
    ok(Check::ReplugEnumerate, st);
    if (!listed) {
        fail(Check::ReplugEnumerate, serial + " not listed within " + seconds(s.opt.replugMs));
        return;
    }
    if (count != firstCount)
        fail(Check::ReplugEnumerate, std::to_string(count) + " device(s) instead of " + std::to_string(firstCount)
                                         + ": the driver reconnects only at the same count");
    else
        pass(Check::ReplugEnumerate, std::to_string(count) + " device(s)");

    record = again;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.framesClosed = false;
        s.statusClosed = false;
    }
    if (!open(h, Check::ReplugOpen, Check::ReplugOpen))
        return;
    const long m = s.frameCount();
    if (!ok(Check::ReplugOpen, s.sdk.play(h)) || !s.waitFrames(m + 3))
        fail(Check::ReplugOpen, "no frames after reopening");
    else
        pass(Check::ReplugOpen);
    closeQuietly(h);
}

} // namespace detail
} // namespace vdcheck
