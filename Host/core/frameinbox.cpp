#include "frameinbox.h"

#include <chrono>

FrameInbox::FrameInbox(int capacity) : cap(capacity > 0 ? capacity : 1) {}

void FrameInbox::onFrame(ImageProcessData frame)
{
    // On the SDK's frame thread under the camera's frame mutex: take the
    // frame and go. Nothing here may throw into the driver.
    if (frameSeen)
        frameSeen();
    {
        std::lock_guard<std::mutex> guard(lock);
        if (closed)
            return;
        while (frames.size() >= static_cast<std::size_t>(cap)) {
            frames.pop_front();
            ++droppedFrames;
        }
        frames.push_back({std::move(frame), ++received});
    }
    changed.notify_all();
}

void FrameInbox::onLoss()
{
    if (lossSeen)
        lossSeen();
}

void FrameInbox::onReconnect()
{
    if (reconnectSeen)
        reconnectSeen();
}

void FrameInbox::pushEvent(const LinkEvent &e)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        if (closed)
            return;
        if (events.size() >= kEventCapacity) {
            events.pop_front();
            framesBefore.pop_front();
        }
        std::uint64_t before = received;
        if (e.kind == LinkEvent::Back) {
            if (down)
                before = downSince;
            down = false;
        } else if (!down) {
            down = true;
            downSince = received;
        }
        events.push_back(e);
        framesBefore.push_back(before);
    }
    changed.notify_all();
}

WaitResult FrameInbox::waitFor(std::unique_lock<std::mutex> &guard, int timeoutMs, const std::function<bool()> &has)
{
    auto ready = [&] { return interrupted || has() || closed; };
    if (timeoutMs < 0)
        changed.wait(guard, ready);
    else if (!changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready))
        return WaitResult::TimedOut;
    if (interrupted)
        return WaitResult::Interrupted;
    if (!has())
        return WaitResult::Closed;
    return WaitResult::Ready;
}

WaitResult FrameInbox::nextFrame(ImageProcessData &frame, int timeoutMs, std::uint64_t *sequence)
{
    std::unique_lock<std::mutex> guard(lock);
    const WaitResult r = waitFor(guard, timeoutMs, [this] { return !frames.empty(); });
    if (r != WaitResult::Ready)
        return r;
    frame = std::move(frames.front().data);
    if (sequence)
        *sequence = frames.front().sequence;
    frames.pop_front();
    return r;
}

WaitResult FrameInbox::nextEvent(LinkEvent &event, int timeoutMs)
{
    std::unique_lock<std::mutex> guard(lock);
    const WaitResult r = waitFor(guard, timeoutMs, [this] { return !events.empty(); });
    if (r != WaitResult::Ready)
        return r;
    event = std::move(events.front());
    events.pop_front();
    framesBefore.pop_front();
    return r;
}

WaitResult FrameInbox::nextItem(ImageProcessData &frame, std::uint64_t &sequence, LinkEvent &event, bool &isEvent,
                                int timeoutMs)
{
    std::unique_lock<std::mutex> guard(lock);
    // While the link is down, a frame that came after the loss (one still in
    // flight, or the reopened camera's first ones) waits for the "back" that
    // comes before it, so that no loop sees frames between "lost" and "back".
    const auto ready = [this] {
        return !events.empty() || (!frames.empty() && !(down && frames.front().sequence > downSince));
    };
    const WaitResult r = waitFor(guard, timeoutMs, ready);
    if (r != WaitResult::Ready)
        return r;
    isEvent = !events.empty() && (frames.empty() || frames.front().sequence > framesBefore.front());
    if (isEvent) {
        event = std::move(events.front());
        events.pop_front();
        framesBefore.pop_front();
    } else {
        frame = std::move(frames.front().data);
        sequence = frames.front().sequence;
        frames.pop_front();
    }
    return r;
}

std::uint64_t FrameInbox::dropped() const
{
    std::lock_guard<std::mutex> guard(lock);
    return droppedFrames;
}

void FrameInbox::discardFrames()
{
    std::deque<Numbered> gone;
    {
        std::lock_guard<std::mutex> guard(lock);
        gone.swap(frames);
    }
    // The pixels are freed outside the lock.
}

void FrameInbox::interrupt()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        interrupted = true;
    }
    changed.notify_all();
}

void FrameInbox::resume()
{
    std::lock_guard<std::mutex> guard(lock);
    interrupted = false;
}

void FrameInbox::markClosed()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        closed = true;
    }
    changed.notify_all();
}
