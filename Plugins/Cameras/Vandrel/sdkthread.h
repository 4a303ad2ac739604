#pragma once

// Which threads are running one of the driver's SDK callbacks right now, for
// any camera. On such a thread nothing may wait for an SDK callback to end:
// the SDK's stop, detach and release calls wait for callbacks in flight, and
// the one they would wait for may be the caller's own or one waiting for it.
//
// Threading contract: safe from any thread; one lock of its own, held only
// to add or remove a thread, and never together with another lock.
namespace sdkthread {

// Marks the calling thread as inside an SDK callback for its lifetime.
class InCallback
{
public:
    InCallback();
    ~InCallback();
    InCallback(const InCallback &) = delete;
    InCallback &operator=(const InCallback &) = delete;
};

// True on a thread that is inside one of the driver's SDK callbacks.
bool current();

} // namespace sdkthread
