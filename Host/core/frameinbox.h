#pragma once

#include "camerainterface.h"
#include "cameraruntime.h"

#include <QObject>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

// One camera's queues of frames and link events, between the SDK's threads
// that fill them (through signals connected directly) and the caller's
// threads that wait on them. Frames are held as the driver made them: the
// queue shares the pixels and never copies them.
//
// Threading: the slots run on the SDK's frame and status threads and on the
// runtime's thread; the waits on any thread. Everything below is guarded by
// `lock`, which is never held while anything else is locked or called.
class FrameInbox : public QObject
{
    Q_OBJECT
public:
    explicit FrameInbox(int capacity);

    WaitResult nextFrame(ImageProcessData &frame, int timeoutMs);
    WaitResult nextEvent(LinkEvent &event, int timeoutMs);
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
    template <typename T>
    WaitResult take(std::deque<T> &queue, T &out, int timeoutMs);
    void pushEvent(LinkEvent::Kind kind);

    // Link events are few; the bound only keeps a forgotten queue small.
    static constexpr std::size_t kEventCapacity = 1024;

    const int cap;
    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<ImageProcessData> frames;
    std::deque<LinkEvent> events;
    std::uint64_t droppedFrames = 0;
    bool interrupted = false;
    bool closed = false;
};
