// A thread for the simulator's loops and pushed frames, taken from a
// process-wide set of idle threads and given back when its work returns.
//
// Why not a fresh std::thread each time: every thread that ever ran an
// OpenCV function going through cv::parallel_for_ (the colour conversions of
// VdImageProcess) leaves data in OpenCV's trace storage that outlives the
// thread for good, about 840 bytes each. An SDK that starts a thread for
// every acquisition session and every pushed frame made resident memory
// climb for as long as cameras were restarted; reused threads keep it flat.
//
// Used like std::thread: join waits until the work has returned and its
// captures are destroyed; detach, or destroying a joinable object, lets the
// work finish on its own. Safe from any thread; the set has one lock of its
// own, held only to take or give back a thread.
#ifndef VDSIM_POOLEDTHREAD_H
#define VDSIM_POOLEDTHREAD_H

#include <functional>
#include <memory>
#include <thread>

namespace vdsim {

class PooledThread
{
public:
    PooledThread() = default;
    // Runs work on an idle thread, or on a new one when none is idle; throws
    // std::system_error as std::thread does when no thread can be had.
    explicit PooledThread(std::function<void()> work);
    PooledThread(PooledThread &&) noexcept = default;
    PooledThread &operator=(PooledThread &&other) noexcept;
    ~PooledThread();

    bool joinable() const { return run_ != nullptr; }
    std::thread::id get_id() const { return run_ ? id_ : std::thread::id(); }
    void join();
    void detach() { run_.reset(); }

    struct Run;

private:
    std::shared_ptr<Run> run_;
    std::thread::id id_;
};

} // namespace vdsim

#endif
