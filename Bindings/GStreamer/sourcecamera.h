#pragma once

// The camera behind one vandrelsrc: opened on the process's camera runtime,
// its frames stamped as they arrive (framearrivals.h), its link events, the
// grouping and numbering it was asked for, and the one wait the streaming
// loop makes for the next frame or link event.

#include "cameraruntime.h"
#include "framearrivals.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// What a camera is opened with. Empty strings leave the defaults.
struct OpenOptions
{
    QString pluginDir;     // the folder of libVandrel.so
    QString simConfig;     // simulated cameras; one configuration per process
    QString serial;        // empty: the first VD-XG camera
    QString settingsFile;  // empty: the camera's defaults
    int exposure = -1;     // negative: leave it
    int capturesPerProduct = 1;
    int productsPerCycle = 1;
    int cycleTimeout = 0;  // ms
    bool hostNumbered = false;  // soft-trigger's numbers number the frames
    bool running = true;        // while playing
    int queueCapacity = 8;
    QString features;      // "ExposureTime1=50 Gain=8", after the settings
    int retryIntervalMs = 0;  // while lost or stalled, reopen this often; 0: the driver's tick
    int stallAfterMs = 0;     // no frame for this long while free-running: stalled; 0: off
};

enum class OpenFailure {
    None,
    NoPlugin,     // no plug-in module, or not a camera plug-in
    NoCamera,     // no such serial, no camera, or it could not be opened
    BadSettings,  // a settings or simulator file unreadable, malformed or in conflict
    BadOption,    // an option the camera refused (an exposure configuration it lacks)
};

// Threading: wait() from one thread at a time (the streaming thread); every
// other member from any thread.
class SourceCamera
{
public:
    // Null on failure, with the kind and a one-line reason.
    static std::unique_ptr<SourceCamera> open(const OpenOptions &options, OpenFailure &failure, QString &error);
    // The installed plug-in's folder relative to this module when it is
    // there, else where the host library finds it.
    static QString defaultPluginDir();
    // Closes the camera; frames already taken stay valid.
    ~SourceCamera();
    SourceCamera(const SourceCamera &) = delete;
    SourceCamera &operator=(const SourceCamera &) = delete;

    enum class Wait { Frame, Event, Timeout, Woken, Ended };
    // The next link event (first) or frame. A negative timeout waits for
    // ever. Returns Woken at once after wake(), until clearWake(); Ended
    // once a replayed recording has ended and its last frame is taken.
    Wait wait(std::chrono::nanoseconds timeout, ArrivedFrame &frame, LinkEvent &event);
    void wake();
    void clearWake();
    FrameArrivals &arrivals() { return *frames; }
    // The pipeline plays on `clock` from `baseTime`: frames are taken and
    // numbered (`running`) or previews. Paused: the camera's numbers stand
    // still and its frames are discarded. Both at once for the frame path, so
    // that no frame is numbered and then discarded, or taken unnumbered.
    void play(GstClock *clock, GstClockTime baseTime, bool running);
    void pause();
    // Numbered production capture or previews, from the next frame on while
    // playing; otherwise kept for play().
    void setRunning(bool running);

    QString serial() const;
    // After Ended: how many frames the recording played.
    int recordingEndedAfter() const { return endedAfter; }
    QString pluginFile() const;
    std::uint64_t dropped() const;
    bool continuous();
    // Queued behind the triggers before it, so that each frame carries its
    // own trigger's numbers; false, with the reason, when the camera cannot
    // take it (it runs free, its link is lost).
    bool softTrigger(int product, int capture, QString &error);
    // Writes "NAME=VALUE ..." through the descriptors, then runs the Apply
    // step when one of them takes effect only there. False, with the reason,
    // on a name, type or range the camera refuses; the ones before it stay
    // written. `warnings` gets what was written yet reaches no camera, and
    // what the Apply step could not do.
    bool setFeatures(const QString &text, QString &error, QStringList &warnings);
    void setRetryIntervalMs(int ms);
    void setStallAfterMs(int ms);
    // What opening found worth a warning (the stored exposure not selected,
    // a feature sent to no camera, a colour choice on a mono sensor); taken once.
    QStringList takeWarnings();
    // Installs the grouping and numbering of `options` in the camera.
    void setNumbering(const OpenOptions &options);
    // selectExposure's status: 0, -1 for no such configuration, or the camera's.
    int selectExposure(int index);
    // Runs f with the camera on the runtime's thread; false when it is closed.
    bool withCamera(const std::function<void(CameraInterface *)> &f);

private:
    SourceCamera() = default;

    std::shared_ptr<CameraRuntime> runtime;
    std::shared_ptr<RuntimeCamera> camera;
    // Made on the runtime's thread and deleted there, after the camera.
    FrameArrivals *frames = nullptr;
    int endedAfter = -1;  // wait()'s thread only
    QStringList openWarnings;  // written by open(), taken by the thread that opened it
};
