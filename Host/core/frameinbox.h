#pragma once

#include "camerainterface.h"
#include "cameraruntime.h"

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

// One camera's queues of frames and link events, between the SDK's threads
// that fill them (through signals connected directly) and the caller's
// threads that wait on them. Frames are held as the driver made them: the
// queue shares the pixels and never copies them. Each frame gets its running
// number at arrival, so the frames the full queue drops leave gaps.
//
// Threading: the slots run on the SDK's frame and status threads and on the
// runtime's thread; the waits on any thread. Everything below is guarded by
// `lock`, which is never held while anything else is locked or called. The
// hooks are set before the camera is connected and not changed afterwards.
class FrameInbox : public QObject
{
    Q_OBJECT
public:
    explicit FrameInbox(int capacity);

    // What the slots tell besides queueing: the link keeper's notes.
    std::function<void()> frameSeen;
    std::function<void()> lossSeen;
    std::function<void()> reconnectSeen;

    WaitResult nextFrame(ImageProcessData &frame, int timeoutMs, std::uint64_t *sequence = nullptr);
    WaitResult nextEvent(LinkEvent &event, int timeoutMs);
    // The next link event or frame, in the order they came.
    WaitResult nextItem(ImageProcessData &frame, std::uint64_t &sequence, LinkEvent &event, bool &isEvent,
                        int timeoutMs);
    void pushEvent(const LinkEvent &event);
    std::uint64_t dropped() const;
    int capacity() const { return cap; }
    void discardFrames();
    void interrupt();
    void resume();
    // No more frames or events will come: waits drain the queues, then end.
    void markClosed();

public slots:
    void onFrame(ImageProcessData frame);
    void onLoss();
    void onReconnect();

private:
    struct Numbered
    {
        ImageProcessData data;
        std::uint64_t sequence = 0;
    };
    // Under `lock`, once a wait ended; Ready when something was taken.
    WaitResult waitFor(std::unique_lock<std::mutex> &guard, int timeoutMs, const std::function<bool()> &has);

    // Link events are few; the bound only keeps a forgotten queue small.
    static constexpr std::size_t kEventCapacity = 1024;

    const int cap;
    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<Numbered> frames;
    std::deque<LinkEvent> events;
    // For each queued event, how many frames had come before it: frames
    // queued ahead of an event are taken before it. A camera that is back
    // may send frames before the news of it is in: every frame since the
    // loss or stall is its, and comes after "back".
    std::deque<std::uint64_t> framesBefore;
    std::uint64_t downSince = 0;  // `received` when the link went down
    bool down = false;
    std::uint64_t received = 0;
    std::uint64_t droppedFrames = 0;
    bool interrupted = false;
    bool closed = false;
};
