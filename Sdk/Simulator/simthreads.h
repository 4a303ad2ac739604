// The simulator's threads: each open handle's acquisition thread and status
// thread, and the process's event clock.
//
// Threading contract: none of these classes has a lock of its own. An
// Acquisition and a StatusSender are parts of their Handle, and the
// EventClock part of the Simulator; all are guarded by the simulator's lock,
// which the caller of every method holds. Their threads take that lock and
// release it only to wait, to fill a raw buffer, to run a callback or to
// fire an event. A thread object is joined by whoever takes it (stop,
// VdUnInit) or, if that is the thread itself, detached; play lets the loops
// of ended sessions go. Session loops and status senders run on pooled
// threads (pooledthread.h).
#ifndef VDSIM_SIMTHREADS_H
#define VDSIM_SIMTHREADS_H

#include "device.h"
#include "pooledthread.h"
#include "simconfig.h"
#include "vdsim.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace vdsim {

class Handle;

// Frames of one handle. While it plays, a thread makes frames at the
// camera's rate, one per software trigger, or, at rate 0, as fast as the
// consumer gives the raw buffers back. Pushed frames go through the same
// delivery and continue the same frame count.
class Acquisition
{
public:
    explicit Acquisition(Handle &h) : h_(h) {}

    bool playing() const { return playing_; }
    // Starts a new session on a new thread; frame ids count from 1 again.
    // self, the owning handle, is kept alive by the thread.
    void start(std::mutex &mu, std::shared_ptr<Handle> self);
    // Ends the session without waiting: the thread leaves its loop and waits
    // to be taken by takeStopped().
    void halt();
    std::vector<PooledThread> takeStopped();
    void addTrigger() { ++pendingTriggers_; }
    void dropTriggers() { pendingTriggers_ = 0; }

    // Delivers one frame through the frame callback on the calling thread,
    // with lk held on entry and exit. session is the loop's own, or null for
    // a pushed frame; ov, if not null, overrides the header. Returns 0 if the
    // callback ran, otherwise why not.
    int deliver(std::unique_lock<std::mutex> &lk, const VdSimFrame *ov, const uint64_t *session);

private:
    void run(std::mutex &mu, uint64_t session);
    // A replay without loop that has delivered its last frame.
    bool replayExhausted() const;
    // Seconds from the replayed frame about to go to the next one, as recorded.
    double recordedGap() const;

    Handle &h_;
    bool playing_ = false;
    uint64_t session_ = 0;             // bumped by every start and halt; older loops exit
    int pendingTriggers_ = 0;
    uint32_t frameCounter_ = 0;        // last frame id
    PooledThread thread_;               // the current session's loop
    std::vector<PooledThread> stopped_; // loops of ended sessions, not yet joined
};

// Connection status messages of one handle, sent on its own thread in the
// order they were posted, to the status callback registered at the time.
class StatusSender
{
public:
    explicit StatusSender(Handle &h) : h_(h) {}

    // self, the owning handle, is kept alive by the thread.
    void start(std::mutex &mu, std::shared_ptr<Handle> self);
    void post(unsigned int msg, unsigned int param);
    // The thread exits without sending what is still queued.
    void stop();
    PooledThread takeThread() { return std::move(thread_); }

private:
    void run(std::mutex &mu);

    Handle &h_;
    PooledThread thread_;
    bool stop_ = false;
    std::deque<std::pair<unsigned int, unsigned int>> queue_;
};

// The timed events of the configuration, fired in order on one thread that
// lives as long as the process.
class EventClock
{
public:
    using Fire = std::function<void(const EventConfig &)>;

    // fire runs on the clock's thread with mu released.
    EventClock(std::mutex &mu, Fire fire);

    // Once, at the first VdSdkInit: events count from epoch.
    void start(Clock::time_point epoch);
    // A new configuration: its events replace those not yet fired.
    void replace(std::vector<EventConfig> events, Clock::time_point epoch);

private:
    void run();

    std::mutex &mu_;                   // the simulator's lock; fixed, like fire_
    const Fire fire_;
    // Guarded by mu_.
    std::vector<EventConfig> events_;
    size_t next_ = 0;
    Clock::time_point epoch_;
    std::condition_variable cv_;
};

// Joins the threads, or detaches the calling thread itself, which exits once
// the callback on it returns; lk is released meanwhile.
void joinOrDetach(std::unique_lock<std::mutex> &lk, std::vector<PooledThread> threads);

} // namespace vdsim

#endif
