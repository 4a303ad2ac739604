#pragma once

#include "camerainterface.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

// An embeddable runtime for programs that are not Qt applications themselves
// (a Python module, a GStreamer element) or that have a Qt application on a
// thread of their own (a PyQt5 program):
//
//   QString why;
//   auto runtime = CameraRuntime::start(PluginHost::defaultPluginDir(), why);
//   RuntimeFailure failure;
//   auto cam = runtime->open("VDXG4K0C0001", /*queueCapacity*/ 8, failure);
//   cam->load(QJsonObject(), failure);              // starts acquisition
//   ImageProcessData frame;
//   if (cam->nextFrame(frame, 1000) == WaitResult::Ready) { /* frame.image */ }
//   cam.reset();                                    // closes the camera
//
// The runtime owns one thread with a Qt event loop. The plug-in is loaded
// there, every camera is created, operated and deleted there, and the
// driver's reconnect timer runs there. In a process without a
// QCoreApplication the runtime creates one on that thread (and keeps it, and
// the thread, for the rest of the process, since Qt allows one per process);
// in a process that has one, the thread is a QThread of its own. Qt takes the
// thread of the process's first QObject for its main thread: in a process
// without an application, start the runtime before creating any QObject (a
// QFile included) on another thread; a program that will create an
// application of its own creates it before starting the runtime.
//
// Frames and link events reach the caller through per-camera queues that the
// SDK's threads fill: no code of the caller ever runs on an SDK thread, and
// the caller's waits never run the event loop.
//
// Threading: every member function may be called from any thread, including
// the runtime's own (where calls run directly). Objects handed to call()
// functions belong to the runtime's thread and must not escape them.

// Why an operation failed: the kind, for a caller that maps failures onto
// its own error types, and one line for a person.
struct RuntimeFailure
{
    enum Kind {
        None,
        NotFound,       // no plug-in module, no settings file
        NoSuchCamera,   // the serial is not among the enumerated cameras
        BadInput,       // settings that are not a settings object
        CameraFailed,   // the camera could not be created or opened
        Stopped,        // the runtime or the camera is gone
    };
    Kind kind = None;
    QString reason;

    explicit operator bool() const { return kind != None; }
    void set(Kind k, const QString &why)
    {
        kind = k;
        reason = why;
    }
};

enum class WaitResult {
    Ready,        // an item was taken
    TimedOut,     // nothing arrived in time
    Interrupted,  // interrupt() was called; waits return at once until resume()
    Closed,       // the camera is closed and its queue is empty
};

// A change of one camera's link, stamped when the runtime received it.
struct LinkEvent
{
    enum Kind { Lost, Reconnected };
    Kind kind = Lost;
    QDateTime time;
};

class RuntimeCamera;
class RuntimeThread;
class PluginHost;

class CameraRuntime : public std::enable_shared_from_this<CameraRuntime>
{
public:
    // Starts the runtime's thread and loads the plug-in from pluginDir there.
    // Null on failure, with the reason.
    static std::shared_ptr<CameraRuntime> start(const QString &pluginDir, RuntimeFailure &failure);
    // Stops: closes the cameras still open and ends the thread.
    ~CameraRuntime();

    // The SDK's cameras: the plug-in's serial numbers and the SDK's device count.
    bool enumerate(QStringList &serials, int &deviceCount, RuntimeFailure &failure);

    // Creates and opens the camera with this serial; acquisition starts with
    // RuntimeCamera::load(). Its frame queue holds queueCapacity frames (at
    // least 1) and drops the oldest when full. The camera index that its
    // frames carry is the serial's position in the enumeration.
    std::shared_ptr<RuntimeCamera> open(const QString &serial, int queueCapacity, RuntimeFailure &failure);

    // Runs fn on the runtime's thread and returns when it has run (directly
    // when called there). An exception that fn throws is rethrown here.
    // False when the runtime has stopped and fn did not run.
    bool call(const std::function<void()> &fn);
    bool isRuntimeThread() const;

    // The loaded module's path.
    QString pluginFile() const;

    // Closes every camera (their queues stay readable) and ends the thread;
    // what it does on destruction, for a caller that must stop at a chosen
    // moment. Afterwards every operation fails with Stopped.
    void stop();
    bool isStopped() const;

private:
    friend class RuntimeCamera;
    struct State;
    CameraRuntime();
    void forget(RuntimeCamera *camera);
    std::unique_ptr<State> d;
};

class FrameInbox;

class RuntimeCamera
{
public:
    // Closes the camera.
    ~RuntimeCamera();
    RuntimeCamera(const RuntimeCamera &) = delete;
    RuntimeCamera &operator=(const RuntimeCamera &) = delete;

    const QString &serial() const { return sn; }
    int cameraIndex() const { return index; }
    const std::shared_ptr<CameraRuntime> &runtime() const { return rt; }

    // Runs op with the camera on the runtime's thread; false, and op not
    // run, when the camera or the runtime is gone. Exceptions as in
    // CameraRuntime::call.
    bool call(const std::function<void(CameraInterface *)> &op);

    // Loads settings ({"paramsWrap": [...]}, or empty for the current
    // values) and starts acquisition. The exposure configuration count is
    // first set to the one the settings were saved with.
    bool load(const QJsonObject &settings, RuntimeFailure &failure);
    // {"paramsWrap": [...]} of the current values.
    bool save(QJsonObject &settings, RuntimeFailure &failure);
    // Numbers frames by product (true) or delivers previews (false), under
    // the camera's frame mutex.
    bool setRunning(bool running);
    bool isRunning();

    // Deletes the camera on the runtime's thread. Frames already queued stay
    // readable; then waits end with Closed.
    void close();
    bool isOpen() const;

    // Takes the oldest queued frame, waiting up to timeoutMs (< 0: no limit).
    WaitResult nextFrame(ImageProcessData &frame, int timeoutMs);
    // Takes the oldest link event, waiting as nextFrame does.
    WaitResult nextEvent(LinkEvent &event, int timeoutMs);
    // Frames the full queue dropped, since the camera was opened.
    std::uint64_t dropped() const;
    int queueCapacity() const;
    // Discards the queued frames.
    void discardFrames();
    // Wakes every waiter; waits return Interrupted until resume().
    void interrupt();
    void resume();

private:
    friend class CameraRuntime;
    RuntimeCamera(std::shared_ptr<CameraRuntime> runtime, CameraInterface *camera, const QString &serial,
                  int cameraIndex, int queueCapacity);

    std::shared_ptr<CameraRuntime> rt;
    const QString sn;
    const int index;
    std::unique_ptr<FrameInbox> inbox;
    // Written on the runtime's thread; read there only (call() checks it there).
    CameraInterface *cam;
};

// The exposure configuration count a settings object was saved with: its
// "paramsWrap" holds 21 descriptors besides one per configuration. -1 when
// it holds no such array or fewer than 21 entries.
int exposureConfigCountOfSettings(const QJsonObject &settings);
