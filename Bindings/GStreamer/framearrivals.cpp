#include "framearrivals.h"

#include <algorithm>

FrameArrivals::FrameArrivals(int cap) : capacity(std::size_t(std::max(1, cap))) {}

FrameArrivals::~FrameArrivals()
{
    if (clock)
        gst_object_unref(clock);
}

void FrameArrivals::play(GstClock *c, GstClockTime base)
{
    std::lock_guard<std::mutex> hold(lock);
    if (clock)
        gst_object_unref(clock);
    clock = c ? GST_CLOCK(gst_object_ref(c)) : nullptr;
    baseTime = base;
    playing = true;
}

void FrameArrivals::pause()
{
    std::lock_guard<std::mutex> hold(lock);
    playing = false;
    frames.clear();
}

bool FrameArrivals::isPlaying() const
{
    std::lock_guard<std::mutex> hold(lock);
    return playing;
}

void FrameArrivals::flush(bool resetTime)
{
    std::lock_guard<std::mutex> hold(lock);
    frames.clear();
    if (resetTime)
        floor = 0;
}

void FrameArrivals::onFrame(ImageProcessData frame)
{
    // On the SDK's frame thread under the frame mutex: stamp, queue, go.
    // Nothing here may throw into the driver; the clock read takes no lock
    // that a pipeline thread holds while it waits for this one.
    const auto now = std::chrono::steady_clock::now();
    if (frameNote)
        frameNote();
    ImageProcessData released;  // an older frame given back outside the lock
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!playing) {
            ++discardedFrames;
            released = std::move(frame);
        } else {
            ArrivedFrame f;
            f.number = arrived++;
            f.arrival = now;
            if (clock) {
                const GstClockTime t = gst_clock_get_time(clock);
                const GstClockTime running = t > baseTime ? t - baseTime : 0;
                floor = std::max(floor, running);
                f.runningTime = floor;
            }
            f.data = std::move(frame);
            if (frames.size() >= capacity) {
                released = std::move(frames.front().data);
                frames.pop_front();
                ++droppedFrames;
            }
            frames.push_back(std::move(f));
        }
    }
    changed.notify_all();
}

FrameArrivals::Take FrameArrivals::take(ArrivedFrame &out, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> hold(lock);
    auto ready = [this] { return woken || !frames.empty(); };
    if (timeout.count() < 0)
        changed.wait(hold, ready);
    else if (!changed.wait_for(hold, timeout, ready))
        return Take::TimedOut;
    if (woken)
        return Take::Woken;
    out = std::move(frames.front());
    frames.pop_front();
    return Take::Frame;
}

void FrameArrivals::wake()
{
    {
        std::lock_guard<std::mutex> hold(lock);
        woken = true;
    }
    changed.notify_all();
}

void FrameArrivals::clearWake()
{
    std::lock_guard<std::mutex> hold(lock);
    woken = false;
}

std::uint64_t FrameArrivals::dropped() const
{
    std::lock_guard<std::mutex> hold(lock);
    return droppedFrames;
}

std::uint64_t FrameArrivals::discarded() const
{
    std::lock_guard<std::mutex> hold(lock);
    return discardedFrames;
}
