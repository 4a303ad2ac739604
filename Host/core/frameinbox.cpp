#include "frameinbox.h"

#include <chrono>

FrameInbox::FrameInbox(int capacity) : cap(capacity > 0 ? capacity : 1) {}

void FrameInbox::onFrame(ImageProcessData frame)
{
    // On the SDK's frame thread under the camera's frame mutex: take the
    // frame and go. Nothing here may throw into the driver.
    {
        std::lock_guard<std::mutex> guard(lock);
        if (closed)
            return;
        while (frames.size() >= static_cast<std::size_t>(cap)) {
            frames.pop_front();
            ++droppedFrames;
        }
        frames.push_back(std::move(frame));
    }
    changed.notify_all();
}

void FrameInbox::onLoss()
{
    pushEvent(LinkEvent::Lost);
}

void FrameInbox::onReconnect()
{
    pushEvent(LinkEvent::Reconnected);
}

void FrameInbox::pushEvent(LinkEvent::Kind kind)
{
    LinkEvent e;
    e.kind = kind;
    e.time = QDateTime::currentDateTime();
    {
        std::lock_guard<std::mutex> guard(lock);
        if (closed)
            return;
        if (events.size() >= kEventCapacity)
            events.pop_front();
        events.push_back(std::move(e));
    }
    changed.notify_all();
}

template <typename T>
WaitResult FrameInbox::take(std::deque<T> &queue, T &out, int timeoutMs)
{
    std::unique_lock<std::mutex> guard(lock);
    auto ready = [&] { return interrupted || !queue.empty() || closed; };
    if (timeoutMs < 0)
        changed.wait(guard, ready);
    else if (!changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready))
        return WaitResult::TimedOut;
    if (interrupted)
        return WaitResult::Interrupted;
    if (queue.empty())
        return WaitResult::Closed;
    out = std::move(queue.front());
    queue.pop_front();
    return WaitResult::Ready;
}

WaitResult FrameInbox::nextFrame(ImageProcessData &frame, int timeoutMs)
{
    return take(frames, frame, timeoutMs);
}

WaitResult FrameInbox::nextEvent(LinkEvent &event, int timeoutMs)
{
    return take(events, event, timeoutMs);
}

std::uint64_t FrameInbox::dropped() const
{
    std::lock_guard<std::mutex> guard(lock);
    return droppedFrames;
}

void FrameInbox::discardFrames()
{
    std::deque<ImageProcessData> gone;
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
