#pragma once

// One camera's frames as they arrive, each stamped there and then with its
// running number and the pipeline's running time, so that a frame that waits
// in the queue keeps the time it was delivered at.
//
// A live source makes no data while not PLAYING: frames that arrive then are
// discarded and not numbered, and pause() and flush() discard what is
// queued. The running time never goes back between frames, also across a
// pause (the pipeline snapshots its running time a moment before this queue
// hears of the pause); a flush that resets the running time starts it over.
//
// Threading: onFrame runs on the SDK's frame thread under the camera's frame
// mutex, the other members on any thread. Everything below is guarded by
// `lock`, which is held for nothing but these members and the clock read.

#include "camerainterface.h"

#include <gst/gst.h>

#include <QObject>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

struct ArrivedFrame
{
    ImageProcessData data;
    std::uint64_t number = 0;                       // running number of the frames that came while playing
    GstClockTime runningTime = GST_CLOCK_TIME_NONE;  // when it arrived; NONE without a clock
    std::chrono::steady_clock::time_point arrival;
};

class FrameArrivals : public QObject
{
    Q_OBJECT
public:
    explicit FrameArrivals(int capacity);
    ~FrameArrivals() override;

    // Called for every frame that arrives, played or not (the link keeper's
    // note); set before the camera is connected.
    void setFrameNote(std::function<void()> note) { frameNote = std::move(note); }

    // The pipeline plays on `clock` (may be null) from `baseTime`.
    void play(GstClock *clock, GstClockTime baseTime);
    void pause();
    bool isPlaying() const;
    // Discards what is queued; with `resetTime` the running time starts over.
    void flush(bool resetTime);

    enum class Take { Frame, TimedOut, Woken };
    // The oldest queued frame; a negative timeout waits for ever. Woken at
    // once after wake(), until clearWake().
    Take take(ArrivedFrame &out, std::chrono::milliseconds timeout);
    void wake();
    void clearWake();

    // Frames the full queue dropped (oldest first), and those that came while
    // nothing played.
    std::uint64_t dropped() const;
    std::uint64_t discarded() const;

public slots:
    void onFrame(ImageProcessData frame);

private:
    const std::size_t capacity;
    std::function<void()> frameNote;  // written before the first frame, then read only
    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<ArrivedFrame> frames;
    GstClock *clock = nullptr;  // a reference of its own while playing
    GstClockTime baseTime = 0;
    GstClockTime floor = 0;  // the latest running time given out
    bool playing = false;
    bool woken = false;
    std::uint64_t arrived = 0;
    std::uint64_t droppedFrames = 0;
    std::uint64_t discardedFrames = 0;
};
