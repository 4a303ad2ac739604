#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

// Ctrl-C and SIGTERM while it exists call `stop` on the event loop of the
// thread that made it. A second Ctrl-C ends the process at once. Afterwards
// both signals have their default action again.
//
// Threading: make and destroy on the main thread; one at a time. The signal
// handler only writes a byte to a socket pair, the one thing it may safely do.
class StopOnSignal
{
public:
    explicit StopOnSignal(std::function<void()> stop);
    ~StopOnSignal();
    StopOnSignal(const StopOnSignal &) = delete;
    StopOnSignal &operator=(const StopOnSignal &) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier;
};
