#pragma once

#include <QString>

#include <functional>
#include <memory>

class QObject;
class QThread;

// The thread with a Qt event loop that a CameraRuntime runs on. Without a
// QCoreApplication in the process it is the one thread that creates one and
// runs its loop, shared by every runtime of the process and ended at exit;
// with an application already there it is a QThread of this runtime's own.
//
// Threading: start() and stop() from one thread that is not the runtime's;
// run() from any thread.
class RuntimeThread
{
public:
    RuntimeThread();
    ~RuntimeThread();
    RuntimeThread(const RuntimeThread &) = delete;
    RuntimeThread &operator=(const RuntimeThread &) = delete;

    bool start(QString &error);
    // Ends the event loop of a thread of this runtime's own; the shared
    // application's thread keeps running.
    void stop();

    // Runs fn on the thread, blocking until it has run; directly on the
    // thread itself. An exception fn throws is rethrown to the caller.
    // False when the loop no longer runs and fn did not run.
    bool run(const std::function<void()> &fn);
    bool isCurrent() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
