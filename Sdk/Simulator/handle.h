// One open camera handle: the application's callbacks, the pool of raw
// buffers it is lent, and the guarantee that once a detaching call
// (VdSetCallbackFunction or VdSetConnectionStatusCallback with nulls,
// VdStop, VdUnInit) has returned, no callback of that kind runs or starts,
// except the one the call was made from.
//
// Threading contract: no lock of its own. Every member, and those of its
// Acquisition and StatusSender, is guarded by the simulator's lock, which
// the caller of every method holds; a method given that lock as lk releases
// it only where its comment says so and holds it again on return.
// Callbacks into the application always run with the lock released. The
// Handle is shared by the handle table and its own threads, so a thread
// that outlives its VdUnInit (closed from inside its own callback) still
// holds valid state until it exits.
#ifndef VDSIM_HANDLE_H
#define VDSIM_HANDLE_H

#include "device.h"
#include "rawimage.h"
#include "simthreads.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace vdsim {

constexpr int kPoolSize = 4;

// One raw buffer of a handle's pool. Only the Handle reads or changes it;
// others hold a pointer just to hand it back.
struct RawBuffer {
    std::unique_ptr<unsigned char[]> data;   // grown only for a larger frame, freed with the handle
    size_t capacity = 0;
    // A frame lent straight from memory the simulator keeps (a scene's web)
    // instead of data: its pixels, and what keeps them alive while the
    // buffer is lent or busy.
    const unsigned char *view = nullptr;
    std::shared_ptr<const void> viewOwner;
    bool lent = false;
    int busy = 0;                  // being filled or processed; not reusable
    RawFrame frame;
};

class Handle
{
public:
    Handle(int id, std::shared_ptr<Device> device);
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    int id() const { return id_; }
    Device &device() const { return *device_; }
    Acquisition &acquisition() { return acquisition_; }
    StatusSender &status() { return status_; }

    // The one condition of the handle, used with the simulator's lock: it
    // wakes the handle's threads and the callers waiting for callbacks.
    void wake() { cv_.notify_all(); }
    void wait(std::unique_lock<std::mutex> &lk) { cv_.wait(lk); }
    void waitUntil(std::unique_lock<std::mutex> &lk, Clock::time_point t) { cv_.wait_until(lk, t); }

    // Callbacks. A null callback waits (releasing lk) until no callback of
    // that kind runs except the caller's own. A closed handle takes no new one.
    VdStatus setFrameCallback(std::unique_lock<std::mutex> &lk, VdFrameCallback cb, void *ctx,
                              VdFrameCallback &previous);
    VdStatus setStatusCallback(std::unique_lock<std::mutex> &lk, VdConnectionStatusCallback cb, void *ctx);
    bool hasFrameCallback() const { return frameCb_ != nullptr; }
    bool hasStatusCallback() const { return statusCb_ != nullptr; }
    // Run the registered callback with lk released and count it as in
    // flight meanwhile; an exception it throws goes no further. The caller
    // has just seen that a callback is registered.
    void runFrameCallback(std::unique_lock<std::mutex> &lk, unsigned char *data, VdFrameHead &head);
    void runStatusCallback(std::unique_lock<std::mutex> &lk, unsigned int msg, unsigned int param);
    // Waits (releasing lk) until no frame callback runs except the caller's own.
    void waitForFrameCallbacks(std::unique_lock<std::mutex> &lk);
    // The calling thread is inside a frame callback of this handle.
    bool inOwnFrameCallback() const { return ownCallbacks(false) > 0; }

    // Closing: from here on no callback starts and no new one is taken, and
    // acquisition and the status thread stop; then waits (releasing lk)
    // until no callback runs except the caller's own. False, doing nothing,
    // if another thread is already closing the handle.
    bool close(std::unique_lock<std::mutex> &lk);
    bool closed() const { return closed_; }

    // The raw-buffer pool. A buffer is lent from the frame callback until
    // VdReleaseImageBuffer or VdUnInit, and is busy while it is filled or
    // processed; only a buffer neither lent nor busy takes a new frame.
    bool hasFreeBuffer() const;
    // Lends a free buffer to the frame, busy until filled(); null if none is
    // free. Given a view, the buffer lends those pixels, kept alive by
    // owner, and needs no memory of its own; unless another lent buffer
    // shows the same view, when this one gets its own memory to be filled.
    RawBuffer *lendForFrame(const RawFrame &frame, size_t rawSize, const unsigned char *view = nullptr,
                            std::shared_ptr<const void> owner = nullptr);
    // The consumer gets a non-const pointer, as the interface says; a view's
    // pixels are only ever read by the SDK and a conforming consumer.
    unsigned char *pixels(const RawBuffer &b) const
    {
        return b.view ? const_cast<unsigned char *>(b.view) : b.data.get();
    }
    void filled(RawBuffer &b)
    {
        --b.busy;
        settle(b);
    }
    // Takes back a buffer whose frame will not be delivered.
    void withdraw(RawBuffer &b);
    // The lent buffer holding raw, marked busy until endProcessing(); null
    // if raw is no buffer lent by this handle.
    RawBuffer *beginProcessing(const unsigned char *raw, RawFrame &frame);
    void endProcessing(RawBuffer &b);
    // False if raw is no buffer lent by this handle.
    bool release(const unsigned char *raw);
    void releaseAll();
    int lentBuffers() const;

private:
    // Lets go of a view once its buffer is neither lent nor busy.
    static void settle(RawBuffer &b);
    // Callbacks of this handle running on the calling thread, of one kind.
    int ownCallbacks(bool status) const;
    void enterCallback(bool status);
    void leaveCallback(bool status);

    const int id_;
    const std::shared_ptr<Device> device_;
    bool closed_ = false;
    VdFrameCallback frameCb_ = nullptr;
    void *frameCtx_ = nullptr;
    VdConnectionStatusCallback statusCb_ = nullptr;
    void *statusCtx_ = nullptr;
    int frameInFlight_ = 0;
    int statusInFlight_ = 0;
    // Callbacks in flight: thread, is status. Kept per handle rather than in
    // thread-local storage, which a library loaded at run time gets only
    // dynamically, and which leak checkers walk unreliably.
    std::vector<std::pair<std::thread::id, bool>> running_;
    std::condition_variable cv_;
    RawBuffer pool_[kPoolSize];
    Acquisition acquisition_{*this};
    StatusSender status_{*this};
};

} // namespace vdsim

#endif
