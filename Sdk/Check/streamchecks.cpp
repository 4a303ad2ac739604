// The checks of the frame stream: frames arriving, playing again, the output
// formats while playing, trigger modes, and the rows that watch every frame.
#include "checker.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iomanip>
#include <mutex>
#include <sstream>
#include <string>

namespace vdcheck {
namespace detail {
namespace {

constexpr int kSoftTriggers = 3;

} // namespace

bool Checker::stream(VdHandle h)
{
    if (!ok(Check::Play, s.sdk.play(h))) {
        fail(Check::Play, "acquisition did not start");
        return false;
    }
    pass(Check::Play);
    std::ostringstream what;
    what << "watching frames for " << s.opt.seconds << " s";
    progress(what.str());
    if (!s.waitFrames(1)) {
        fail(Check::FramesArrive, "no frame within " + seconds(s.opt.deadlineMs));
        return false;
    }
    const long n0 = s.frameCount();
    const auto window = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s.opt.seconds));
    const auto start = Clock::now();
    s.waitFor(int(std::ceil(s.opt.seconds * 1000)), [] { return false; });
    long n1;
    Clock::time_point last;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        n1 = s.frames;
        last = s.lastFrame;
    }
    const auto end = Clock::now();
    const double span = std::chrono::duration<double>(end - start).count();
    const long n = n1 - n0;
    // A stream that stalls (raw buffers not coming back, say) stops early.
    const auto allowedGap = std::max<Clock::duration>(milliseconds(1000), n > 0 ? 3 * window / n : window);
    std::ostringstream d;
    d << n << " frames in " << std::setprecision(3) << span << " s (" << (span > 0 ? n / span : 0) << " per s)";
    if (n == 0 || end - last > allowedGap) {
        const double silent = std::chrono::duration<double>(end - last).count();
        std::ostringstream f;
        f << d.str() << "; none in the last " << std::setprecision(3) << silent << " s: the stream stalled";
        fail(Check::FramesArrive, f.str());
        return false;
    }
    pass(Check::FramesArrive, d.str());

    // A reload (load, restoreSnapshot, a reconnection) plays again while playing.
    const long before = s.frameCount();
    if (!ok(Check::PlayWhilePlaying, s.sdk.play(h)))
        fail(Check::PlayWhilePlaying, "VdPlay on a playing camera failed");
    else if (!s.waitFrames(before + 3))
        fail(Check::PlayWhilePlaying, "frames stopped after VdPlay on a playing camera");
    else
        pass(Check::PlayWhilePlaying, "status 0, frames go on");
    return true;
}

// The driver's colour choice switches a colour sensor between RGB8 and Mono8
// while it plays, followed by VdPlay.
void Checker::formats(VdHandle h)
{
    if (monoSensor)
        return;
    if (!formatSet) {
        row(Check::MonoOutput).detail = "RGB8 could not be set";
        return;
    }
    progress("switching the output format");
    auto switchTo = [&](int media, unsigned format, int bpp) {
        {
            std::lock_guard<std::mutex> lk(s.mu);
            s.expectedBpp = 0;
            s.lastBpp = 0;
        }
        // The driver's order: media type, output format, play.
        const bool calls = okAll(Check::MonoOutput, {s.sdk.setMediaType(h, media),
                                                     s.sdk.setIspOutFormat(h, format), s.sdk.play(h)});
        const bool arrived = s.waitFor(s.opt.deadlineMs, [&] { return s.lastBpp == bpp; });
        std::lock_guard<std::mutex> lk(s.mu);
        s.expectedBpp = arrived ? bpp : 0;
        return calls && arrived;
    };
    if (!switchTo(VD_MEDIA_MONO, VD_PIXEL_MONO8, 1)) {
        fail(Check::MonoOutput, "no frame of 1 byte per pixel after switching to Mono8");
    } else {
        const long n = s.frameCount();
        const bool steady = s.waitFrames(n + 3);
        if (!switchTo(VD_MEDIA_COLOR, VD_PIXEL_RGB8, 3))
            fail(Check::MonoOutput, "no frame of 3 bytes per pixel after switching back to RGB8");
        else if (!steady)
            fail(Check::MonoOutput, "frames stopped in Mono8");
        else
            pass(Check::MonoOutput, "Mono8 1 byte per pixel, back to RGB8 3");
    }
}

bool Checker::triggers(VdHandle h, int initialMode)
{
    progress("trigger modes and software triggers");
    int software = -1;
    const VdStatus s1 = s.sdk.setTriggerMode(h, VD_TRIGGER_SOFTWARE);
    const VdStatus g1 = s.sdk.getTriggerMode(h, &software);
    bool modeOk = okAll(Check::TriggerMode, {s1, g1}) && row(Check::TriggerMode).outcome != Outcome::Fail;
    if (modeOk && software != VD_TRIGGER_SOFTWARE) {
        modeOk = false;
        fail(Check::TriggerMode, "mode " + std::to_string(software) + " read back after setting 1 (software)");
    }

    if (!s.waitQuiet()) {
        fail(Check::SoftTrigger, "frames keep coming in software trigger mode");
    } else {
        for (int i = 0; i < kSoftTriggers; ++i) {
            const long n = s.frameCount();
            if (!ok(Check::SoftTrigger, s.sdk.softTrigger(h))) {
                fail(Check::SoftTrigger, "VdSoftTrigger failed");
                break;
            }
            if (!s.waitFrames(n + 1)) {
                fail(Check::SoftTrigger, "no frame within " + seconds(s.opt.deadlineMs) + " of a trigger");
                break;
            }
            s.waitFor(s.opt.quietMs, [&] { return s.frames > n + 1; });
            const long got = s.frameCount() - n;
            if (got != 1) {
                fail(Check::SoftTrigger, std::to_string(got) + " frames for one trigger");
                break;
            }
        }
        pass(Check::SoftTrigger, std::to_string(kSoftTriggers) + " triggers, one frame each");
    }

    // The driver's setContinueCapture.
    int continuous = -1;
    const VdStatus s0 = s.sdk.setTriggerMode(h, VD_TRIGGER_CONTINUOUS);
    const VdStatus g2 = s.sdk.getTriggerMode(h, &continuous);
    modeOk = okAll(Check::TriggerMode, {s0, g2}) && modeOk;
    if (modeOk && continuous != VD_TRIGGER_CONTINUOUS) {
        modeOk = false;
        fail(Check::TriggerMode, "mode " + std::to_string(continuous) + " read back after setting 0 (continuous)");
    }
    if (modeOk)
        pass(Check::TriggerMode, "found in mode " + std::to_string(initialMode) + "; read back 1, then 0");
    else
        fail(Check::TriggerMode, "a trigger mode call failed");

    const long n = s.frameCount();
    if (!s.waitFrames(n + 3)) {
        fail(Check::ContinuousAgain, "no frames within " + seconds(s.opt.deadlineMs) + " of setting mode 0");
        return false;
    }
    pass(Check::ContinuousAgain);
    return true;
}

// The rows that watch every frame of the run.
void Checker::finish()
{
    if (row(Check::FramesArrive).outcome == Outcome::NotRun)
        return;
    std::lock_guard<std::mutex> lk(s.mu);
    long statusWrong = 0;
    for (const Message &m : s.messages)
        statusWrong += !m.sdkThread || !m.rightContext || !m.rightHandle;
    const std::string counts =
        std::to_string(s.frames) + " frame and " + std::to_string(s.messages.size()) + " status callback(s)";
    if (s.wrongThread > 0)
        fail(Check::CallbackThreads,
             std::to_string(s.wrongThread) + " frame callback(s) on the thread that called the SDK");
    else if (s.wrongHandle > 0 || s.wrongContext > 0 || statusWrong > 0)
        fail(Check::CallbackThreads, "callbacks with another handle or context than registered");
    else if (s.missingArgs > 0)
        fail(Check::CallbackThreads, std::to_string(s.missingArgs) + " frame callback(s) without buffer or header");
    else
        pass(Check::CallbackThreads, counts);

    if (s.badHeaders > 0)
        fail(Check::FrameHeaders, std::to_string(s.badHeaders) + " of " + std::to_string(s.frames)
                                      + " headers do not fit, first " + s.firstBadHeader);
    else
        pass(Check::FrameHeaders, std::to_string(s.frames) + " headers");

    if (s.processFailures > 0) {
        ok(Check::Processing, s.processStatus);
        fail(Check::Processing, std::to_string(s.processFailures) + " of " + std::to_string(s.processed) + " failed");
    } else if (s.guardBroken > 0) {
        fail(Check::Processing, std::to_string(s.guardBroken) + " wrote past the header's byte count");
    } else if (s.countGrew > 0) {
        fail(Check::Processing, std::to_string(s.countGrew) + " raised the byte count beyond the buffer given");
    } else if (s.processed > 0 && s.written == 0) {
        fail(Check::Processing, "no processed frame wrote into the buffer");
    } else if (s.processed == 0) {
        fail(Check::Processing, "no frame could be processed");
    } else {
        ok(Check::Processing, VD_OK);
        pass(Check::Processing, std::to_string(s.processed) + " frames");
    }

    if (s.releaseFailures > 0) {
        ok(Check::Release, s.releaseStatus);
        fail(Check::Release, std::to_string(s.releaseFailures) + " of " + std::to_string(s.releases) + " refused");
    } else {
        ok(Check::Release, VD_OK);
        pass(Check::Release, std::to_string(s.releases) + " buffers");
    }
}

} // namespace detail
} // namespace vdcheck
