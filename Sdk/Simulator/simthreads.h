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

// The lines of one frame an encoder triggered: where on the web each lies,
// and when the first was taken.
struct LineBatch {
    std::vector<uint64_t> positions;
    uint32_t timeStamp = 0;
};

// Frames of one handle. While it plays, a thread makes frames at the
// camera's rate (no faster than its line period allows), one per software
// trigger, or, at rate 0, as fast as the consumer gives the raw buffers
// back. With an encoder, the web's run triggers the lines instead: a frame
// goes out when its lines are taken, or with the lines so far when the web
// halts past the line time-out or acquisition stops. Pushed frames go
// through the same delivery and continue the same frame count.
class Acquisition
{
public:
    explicit Acquisition(Handle &h) : h_(h) {}

    bool playing() const { return playing_; }
    // Starts a new session on a new thread; frame ids count from 1 again.
    // self, the owning handle, is kept alive by the thread.
    void start(std::mutex &mu, std::shared_ptr<Handle> self);
    // Sends the lines an encoder has gathered for the frame under way, as a
    // frame of their own, and returns (releasing lk meanwhile) once they have
    // gone; what a stop does first. Nothing from inside the handle's own
    // frame callback, which the loop could not run beside.
    void flush(std::unique_lock<std::mutex> &lk);
    // Ends the session without waiting: the thread leaves its loop and waits
    // to be taken by takeStopped().
    void halt();
    std::vector<PooledThread> takeStopped();
    void addTrigger() { ++pendingTriggers_; }
    void dropTriggers() { pendingTriggers_ = 0; }
    // The web's speed in mm/s now; 0 unless an encoder drives a playing camera.
    double webSpeed() const;

    // Delivers one frame through the frame callback on the calling thread,
    // with lk held on entry and exit. session is the loop's own, or null for
    // a pushed frame; ov, if not null, overrides the header; lines, if not
    // null, are the frame's lines from an encoder. Returns 0 if the
    // callback ran, otherwise why not.
    int deliver(std::unique_lock<std::mutex> &lk, const VdSimFrame *ov, const uint64_t *session,
                const LineBatch *lines = nullptr);

private:
    void run(std::mutex &mu, uint64_t session);
    // One turn of the loop of an encoder-driven camera: gathers the lines of
    // the next frame, waits for them, sends the frame.
    void runEncoder(std::unique_lock<std::mutex> &lk, uint64_t session);
    // Sends the gathered lines taken by now as a frame; forgets the rest.
    void sendGathered(std::unique_lock<std::mutex> &lk, uint64_t session, double untilSeconds);
    double sinceStart(Clock::time_point t) const;
    // A replay without loop that has delivered its last frame.
    bool replayExhausted() const;
    // Seconds from the replayed frame about to go to the next one, as recorded.
    double recordedGap() const;

    Handle &h_;
    bool playing_ = false;
    uint64_t session_ = 0;             // bumped by every start and halt; older loops exit
    int pendingTriggers_ = 0;
    uint32_t frameCounter_ = 0;        // last frame id
    Clock::time_point started_;        // of the session: the web's clock
    std::unique_ptr<LineTrigger> trigger_;          // with an encoder
    std::vector<LineTrigger::Line> gathered_;       // the frame under way, up to its last line
    std::unique_ptr<LineTrigger::Line> held_;       // the first line after a halt, for the next frame
    bool flushRequested_ = false;
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
