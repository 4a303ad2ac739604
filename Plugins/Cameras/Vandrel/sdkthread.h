#pragma once

#include <QtGlobal>

#include <atomic>

// Which threads are running one of the driver's SDK callbacks right now, for
// any camera. On such a thread nothing may wait for an SDK callback to end:
// the SDK's stop, detach and release calls wait for callbacks in flight, and
// the one they would wait for may be the caller's own or one waiting for it.
//
// Threading contract: safe from any thread; one lock of its own, held only
// to add, remove or look up a thread, and never together with another lock.
namespace sdkthread {

// Marks the calling thread as inside a callback of the camera whose `opened`
// flag is given, for its lifetime. The flag outlives the mark: a camera's
// teardown waits for its callbacks.
class InCallback
{
public:
    explicit InCallback(const std::atomic<qint32> &cameraOpen);
    ~InCallback();
    InCallback(const InCallback &) = delete;
    InCallback &operator=(const InCallback &) = delete;
};

// True on a thread that is inside one of the driver's SDK callbacks.
bool current();

// True when a camera whose callback this thread runs is no longer open: its
// teardown may be waiting for this very callback, so the thread must stop
// waiting for anything and return.
bool callerClosing();

} // namespace sdkthread
