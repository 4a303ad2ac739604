#pragma once

// The cameras of one process on a thread of their own: a Qt event loop that
// owns the loaded plug-in and every camera it creates, so that operations and
// the driver's reconnect timer run where the driver expects them, in a
// process with or without a Qt application. Frames and link events reach
// callers through bounded queues; no caller code runs on an SDK thread.

#include "camerainterface.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class CameraRuntime;
class SessionReceiver;

// What a camera is opened with. Empty strings and negative numbers leave the
// driver's defaults.
struct OpenOptions
{
    QString pluginDir;     // empty: the default plug-in directory
    QString simConfig;     // simulated cameras; the first camera opened in the process decides
    QString serial;        // empty: the first VD-XG camera
    QString settingsFile;  // empty: the camera's defaults
    int exposure = -1;
    int capturesPerProduct = 1;
    int productsPerCycle = 1;
    int cycleTimeout = 0;  // ms
    bool running = true;
    int queueCapacity = 8;
};

enum class OpenFailure {
    None,
    NoPlugin,     // no plug-in, or not a camera plug-in
    NoCamera,     // no such serial, no camera, or it could not be opened
    BadSettings,  // settings or simulator file unreadable or malformed
    BadOption,    // an option the camera refused (an exposure index it lacks)
};

struct CameraFrame
{
    ImageProcessData data;
    std::uint64_t number = 0;                      // running number, counted at arrival
    std::chrono::steady_clock::time_point arrival;  // when the SDK's thread handed it over
};

struct LinkEvent
{
    bool lost = false;  // else reconnected
    QDateTime time;     // UTC
};

// One open camera. Threading: the camera object lives on the runtime's
// thread and is only touched there (through CameraRuntime::call); the queues
// are shared between the SDK's threads (producers) and any number of callers
// (consumers) under `lock`.
class CameraSession
{
public:
    // Opens on the runtime's thread. On failure returns null with `failure`
    // and a one-line reason.
    static std::unique_ptr<CameraSession> open(const OpenOptions &options, OpenFailure &failure, QString &error);
    // Closes and deletes the camera on the runtime's thread; frames already
    // taken stay valid.
    ~CameraSession();
    CameraSession(const CameraSession &) = delete;
    CameraSession &operator=(const CameraSession &) = delete;

    enum class Wait { Frame, Event, Timeout, Woken };
    // Waits for the next link event (first) or frame. A negative timeout waits
    // for ever. Returns Woken once wake() was called, until clearWake().
    Wait wait(std::chrono::nanoseconds timeout, CameraFrame &frame, LinkEvent &event);
    void wake();
    void clearWake();

    std::uint64_t dropped() const;
    QString serial() const { return cameraSerial; }
    QSize imageSize() const { return size; }
    int channels() const { return channelCount; }
    bool continuous();
    void softTrigger(int product, int capture);
    // Runs `f` with the camera on the runtime's thread and returns when done.
    void withCamera(const std::function<void(CameraInterface *)> &f);

private:
    friend class SessionReceiver;
    CameraSession() = default;
    void pushFrame(const ImageProcessData &data);
    void pushEvent(bool lost);

    std::shared_ptr<CameraRuntime> runtime;
    CameraInterface *camera = nullptr;     // runtime's thread only
    SessionReceiver *receiver = nullptr;   // lives on the runtime's thread
    QString cameraSerial;
    QSize size;
    int channelCount = 1;

    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<CameraFrame> frames;
    std::deque<LinkEvent> events;
    std::size_t capacity = 8;
    std::uint64_t arrived = 0;
    std::uint64_t droppedFrames = 0;
    bool woken = false;
    bool closing = false;
};

// The event-loop thread. One per process, started by the first session; it
// ends at process exit once no session holds it.
class CameraRuntime
{
public:
    static std::shared_ptr<CameraRuntime> instance();
    ~CameraRuntime();
    // Runs `f` on the runtime's thread and returns when it has run.
    void call(const std::function<void()> &f);
    // The runtime's thread only.
    bool loadPlugin(const QString &dir, QString &error, CameraInterface *&plugin);

private:
    CameraRuntime();
    struct Private;
    std::unique_ptr<Private> d;
};
