#include "session.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <utility>

namespace vdcheck {
namespace detail {
namespace {

constexpr size_t kGuardBytes = 64;       // behind the processing buffer
constexpr unsigned char kGuard = 0xA5;

// The running check's session. A callback holds it for its whole run, so a
// callback that an SDK delivers too late still finds it alive.
std::shared_ptr<Session> current;

} // namespace

void makeCurrent(std::shared_ptr<Session> session)
{
    std::atomic_store(&current, std::move(session));
}

void onFrame(int handle, unsigned char *data, VdFrameHead *head, void *context) noexcept
{
    const std::shared_ptr<Session> s = std::atomic_load(&current);
    if (!s)
        return;
    ++s->frameInFlight;
    try {
        s->frame(handle, data, head, context);
    } catch (...) {
        // Nothing may escape into the SDK's thread.
    }
    s->cv.notify_all();
    --s->frameInFlight;
}

void onStatus(int handle, unsigned msg, unsigned param, void *context) noexcept
{
    const std::shared_ptr<Session> s = std::atomic_load(&current);
    if (!s)
        return;
    ++s->statusInFlight;
    try {
        s->status(handle, msg, param, context);
    } catch (...) {
    }
    s->cv.notify_all();
    --s->statusInFlight;
}

void Session::frame(int cbHandle, unsigned char *data, VdFrameHead *head, void *context)
{
    VdHandle h;
    {
        std::lock_guard<std::mutex> lk(mu);
        if (framesClosed)
            ++lateFrames;
        ++frames;
        lastFrame = Clock::now();
        wrongThread += std::this_thread::get_id() == checkThread;
        wrongHandle += cbHandle != handle;
        wrongContext += context != this;
        missingArgs += !data || !head;
        h = handle;
    }
    if (data && head)
        consume(h, data, head);
    runArmed(h);
}

void Session::consume(VdHandle h, unsigned char *data, VdFrameHead *head)
{
    const VdFrameHead before = *head;
    const uint64_t pixels = before.width > 0 && before.height > 0
                                ? uint64_t(before.width) * uint64_t(before.height)
                                : 0;
    int bpp = 0;
    if (pixels && before.byteCount == pixels)
        bpp = 1;
    else if (pixels && before.byteCount == pixels * 3)
        bpp = 3;
    {
        std::lock_guard<std::mutex> lk(mu);
        if (bpp)
            lastBpp = bpp;
        if (!bpp || (expectedBpp && bpp != expectedBpp)) {
            if (badHeaders++ == 0) {
                std::ostringstream d;
                d << before.width << " x " << before.height << " with byte count " << before.byteCount;
                if (expectedBpp)
                    d << ", expected " << pixels * uint64_t(expectedBpp);
                firstBadHeader = d.str();
            }
        }
    }

    // Processed as the driver does, into a buffer of exactly the header's
    // byte count, here with a guard behind it. A byte count no output format
    // can need is not allocated for.
    bool didProcess = false;
    VdStatus ps = VD_OK;
    bool guardOk = true;
    bool grew = false;
    bool wrote = false;
    if (before.byteCount > 0 && uint64_t(before.byteCount) <= pixels * 4) {
        std::lock_guard<std::mutex> bl(bufferMu);
        const size_t n = before.byteCount;
        buffer.resize(n + kGuardBytes);
        // Alternating fills, so that a dark or a white scene still shows
        // whether anything was written.
        fill = static_cast<unsigned char>(~fill);
        std::memset(buffer.data(), fill, n);
        std::memset(buffer.data() + n, kGuard, kGuardBytes);
        ps = sdk.imageProcess(h, data, buffer.data(), head);
        didProcess = true;
        guardOk = std::all_of(buffer.begin() + std::ptrdiff_t(n), buffer.end(),
                              [](unsigned char b) { return b == kGuard; });
        grew = head->byteCount > before.byteCount;
        const unsigned char f = fill;
        wrote = std::any_of(buffer.begin(), buffer.begin() + std::ptrdiff_t(n),
                            [f](unsigned char b) { return b != f; });
    }
    const VdStatus rs = sdk.releaseImageBuffer(h, data);

    std::lock_guard<std::mutex> lk(mu);
    if (didProcess) {
        ++processed;
        if (ps != VD_OK && processFailures++ == 0)
            processStatus = ps;
        guardBroken += !guardOk;
        countGrew += grew;
        written += ps == VD_OK && wrote;
    }
    ++releases;
    if (rs != VD_OK && releaseFailures++ == 0)
        releaseStatus = rs;
}

void Session::runArmed(VdHandle h)
{
    Action a;
    {
        std::lock_guard<std::mutex> lk(mu);
        a = armed;
        armed = Action::None;
    }
    if (a == Action::None)
        return;
    VdStatus st = VD_OK;
    switch (a) {
    case Action::Stop:
        st = sdk.stop(h);
        break;
    case Action::Detach:
        st = sdk.setCallbackFunction(h, nullptr, nullptr, nullptr);
        break;
    case Action::UnInit:
        st = sdk.unInit(h);
        break;
    case Action::None:
        break;
    }
    const int inFlight = frameInFlight.load();
    std::lock_guard<std::mutex> lk(mu);
    actionStatus = st;
    inFlightAtAction = inFlight;
    framesClosed = true;
    statusClosed = statusClosed || a == Action::UnInit;
    actionDone = true;
}

void Session::status(int cbHandle, unsigned msg, unsigned param, void *context)
{
    bool close = false;
    VdHandle h;
    {
        std::lock_guard<std::mutex> lk(mu);
        if (statusClosed)
            ++lateStatus;
        messages.push_back({msg, param, std::this_thread::get_id() != checkThread, cbHandle == handle,
                            context == this});
        close = closeOnLoss && msg == VD_MSG_LINK_LOST;
        if (close)
            closeOnLoss = false;
        h = handle;
    }
    if (!close)
        return;
    // What the driver does on a loss, on this very thread.
    const VdStatus stop = sdk.stop(h);
    VdStatus first = sdk.setConnectionStatusCallback(h, nullptr, nullptr);
    const VdStatus detach = sdk.setCallbackFunction(h, nullptr, nullptr, nullptr);
    const VdStatus release = sdk.unInit(h);
    if (first == VD_OK)
        first = detach;
    if (first == VD_OK)
        first = release;
    const int framesIn = frameInFlight.load();
    const int statusIn = statusInFlight.load();
    std::lock_guard<std::mutex> lk(mu);
    closeStopStatus = stop;
    closeStatus = first;
    framesInFlightAtClose = framesIn;
    statusInFlightAtClose = statusIn;
    framesClosed = true;
    statusClosed = true;
    closeDone = true;
}

} // namespace detail
} // namespace vdcheck
