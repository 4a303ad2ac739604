#pragma once

// One camera opened for the element on the process's camera runtime, with
// what a source needs on top of it: the whole opening sequence with one
// failure kind, one wait for the next link event or frame, the frames'
// running numbers and arrival times.

#include "cameraruntime.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// What a camera is opened with. Empty strings leave the defaults.
struct OpenOptions
{
    QString pluginDir;     // the folder of libVandrel.so
    QString simConfig;     // simulated cameras; read once, by the first camera opened in the process
    QString serial;        // empty: the first VD-XG camera
    QString settingsFile;  // empty: the camera's defaults
    int exposure = -1;     // negative: leave it
    int capturesPerProduct = 1;
    int productsPerCycle = 1;
    int cycleTimeout = 0;  // ms
    bool running = true;
    int queueCapacity = 8;
};

enum class OpenFailure {
    None,
    NoPlugin,     // no plug-in module, or not a camera plug-in
    NoCamera,     // no such serial, no camera, or it could not be opened
    BadSettings,  // a settings or simulator file unreadable or malformed
    BadOption,    // an option the camera refused (an exposure configuration it lacks)
};

struct CameraFrame
{
    ImageProcessData data;
    std::uint64_t number = 0;                       // running number since the camera was opened
    std::chrono::steady_clock::time_point arrival;  // when it was taken from the runtime's queue
};

// Threading: wait() from one thread at a time (the streaming thread); every
// other member from any thread.
class CameraSession
{
public:
    // Null on failure, with the kind and a one-line reason.
    static std::unique_ptr<CameraSession> open(const OpenOptions &options, OpenFailure &failure, QString &error);
    // Closes the camera; frames already taken stay valid.
    ~CameraSession();
    CameraSession(const CameraSession &) = delete;
    CameraSession &operator=(const CameraSession &) = delete;

    enum class Wait { Frame, Event, Timeout, Woken, Ended };
    // The next link event (first) or frame. A negative timeout waits for
    // ever. Returns Woken at once after wake(), until clearWake(); Ended
    // once a replayed recording has ended and its last frame is taken.
    Wait wait(std::chrono::nanoseconds timeout, CameraFrame &frame, LinkEvent &event);
    void wake();
    void clearWake();

    QString serial() const;
    // After Ended: how many frames the recording played.
    int recordingEndedAfter() const { return endedAfter; }
    QString pluginFile() const;
    std::uint64_t dropped() const;
    bool continuous();
    void softTrigger(int product, int capture);
    // Runs f with the camera on the runtime's thread; false when it is closed.
    bool withCamera(const std::function<void(CameraInterface *)> &f);

private:
    CameraSession() = default;

    std::shared_ptr<CameraRuntime> runtime;
    std::shared_ptr<RuntimeCamera> camera;
    std::uint64_t taken = 0;  // wait()'s thread only
    int endedAfter = -1;      // wait()'s thread only
};
