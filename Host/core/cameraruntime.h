#pragma once

#include "camerainterface.h"
#include "linkstate.h"
#include "settingsload.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <atomic>
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
// What a camera tells is the camera's state: a load selects the stored
// exposure configuration (settingsload.h), the link state is kept by a
// LinkKeeper (linkkeeper.h: losses, stalls, "back" after the host's own
// retries), soft triggers go one after another (triggersequencer.h), and
// what a camera cannot do (leave continuous mode, take a trigger while it
// runs free, anything while its link is lost) fails with the reason.
//
// Threading: every member function may be called from any thread, including
// the runtime's own (where calls run directly), except start(), stop() and
// the destructors, which block on the runtime's thread and so must not run
// on it. Objects handed to call() functions belong to the runtime's thread
// and must not escape them.

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
        AlreadyOpen,    // the camera is open in this process already
        LinkLost,       // the camera's link is lost: the driver has closed it
        NotPossible,    // the camera cannot do what was asked (the reason says why)
        Refused,        // the camera answered with a failing status
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

// How a camera is run; the defaults leave everything to the driver.
struct CameraOptions
{
    int queueCapacity = 8;      // frames held; the oldest is dropped when full
    int retryIntervalMs = 0;    // while lost or stalled, restartCamera this often; 0: the driver's 30 s tick
    int stallAfterMs = 0;       // no frame for this long while open, acquiring and continuous: stalled; 0: off
    int triggerTimeoutMs = 1000;  // a soft trigger's frame waited for before the next one goes anyway
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
    std::shared_ptr<RuntimeCamera> open(const QString &serial, const CameraOptions &options,
                                        RuntimeFailure &failure);

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
class LinkKeeper;
class TriggerSequencer;

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
    // first set to the one the settings were saved with, and afterwards the
    // stored current configuration is selected; `selection` (may be null)
    // says what became of it.
    // `colour` (may be null) gets SettingsLoad::colourNote.
    bool load(const QJsonObject &settings, RuntimeFailure &failure,
              SettingsLoad::ExposureSelection *selection = nullptr, QString *colour = nullptr);
    // The Apply step: the current values loaded, the stored configuration selected.
    bool apply(RuntimeFailure &failure, SettingsLoad::ExposureSelection *selection = nullptr,
               QString *colour = nullptr);
    // {"paramsWrap": [...]} of the current values.
    bool save(QJsonObject &settings, RuntimeFailure &failure);
    // Numbers frames by product (true) or delivers previews (false), under
    // the camera's frame mutex.
    bool setRunning(bool running);
    bool isRunning();

    // Operations that reach the device; they fail with LinkLost while the
    // link is lost, naming the loss.
    bool selectExposure(int index, RuntimeFailure &failure);
    // Continuous (free-running) acquisition is the one trigger mode the
    // driver selects: false fails with NotPossible.
    bool setContinuous(bool continuous, RuntimeFailure &failure);
    bool isContinuous(bool &continuous, RuntimeFailure &failure);
    // Queues one soft trigger (see TriggerSequencer); NotPossible on a
    // camera that runs free, which would ignore it.
    bool softTrigger(int product, int capture, RuntimeFailure &failure);
    // Triggers queued and not sent yet, plus one under way.
    int triggersPending();

    // The link as the keeper sees it.
    LinkStatus linkStatus() const;
    void setRetryIntervalMs(int ms);
    void setStallAfterMs(int ms);
    void setTriggerTimeoutMs(int ms);
    // restartCamera now while lost or stalled; true when it is open again.
    bool retryNow();

    // Deletes the camera on the runtime's thread. Frames already queued stay
    // readable; then waits end with Closed.
    void close();
    // Not closed, and its link neither lost nor stalled.
    bool isOpen() const;
    bool isClosed() const;
    // Fails with LinkLost or Stopped when the device cannot be reached.
    bool reachable(RuntimeFailure &failure) const;
    // Why the camera cannot be used now ("camera X lost its link at ..."), or empty.
    QString unavailable() const;

    // Takes the oldest queued frame, waiting up to timeoutMs (< 0: no
    // limit); `sequence` gets its running number since the camera opened.
    WaitResult nextFrame(ImageProcessData &frame, int timeoutMs, std::uint64_t *sequence = nullptr);
    // Takes the oldest link event, waiting as nextFrame does.
    WaitResult nextEvent(LinkEvent &event, int timeoutMs);
    // The oldest link event or frame, in the order they came.
    WaitResult nextItem(ImageProcessData &frame, std::uint64_t &sequence, LinkEvent &event, bool &isEvent,
                        int timeoutMs);
    // For a caller that takes the camera's frames itself, disconnecting them
    // from this camera's queue: what each delivery must call so that the link
    // keeper still sees frames (a stall is no frame for N s). Cheap, on the
    // SDK's frame thread; no delivery calls it once the camera is closed.
    std::function<void()> frameNote() const;
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
                  int cameraIndex, std::unique_ptr<FrameInbox> queues);
    // On the runtime's thread, before the camera is connected.
    void equip(const CameraOptions &options);
    std::shared_ptr<CameraRuntime> rt;
    const QString sn;
    const int index;
    std::unique_ptr<FrameInbox> inbox;
    // Written on the runtime's thread; read there only (call() checks it there).
    CameraInterface *cam;
    // Made, used and deleted on the runtime's thread; the keeper's status
    // and notes and the sequencer's counts are safe anywhere.
    std::unique_ptr<LinkKeeper> keeper;
    std::unique_ptr<TriggerSequencer> triggers;
    int retryMs = 0;  // for the reasons; runtime's thread
    std::atomic<bool> closedFlag{false};
};


