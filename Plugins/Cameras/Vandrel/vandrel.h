#pragma once

#include "camerabase.h"
#include "camerainterface.h"
#include "vdcamsdk.h"

#include <QMutex>
#include <QTimer>

class OwnerWaker;

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Driver of one VD-XG line-scan camera, and the plug-in object itself.
//
// Where the code lives: vandrel.cpp (identity, construction, queries),
// lifecycle.cpp (discovery, open, close, start, teardown), framepath.cpp (the
// frame callback), linkmonitor.cpp (losses and reconnection), parameters.cpp
// (parameter application and settings), normalize.cpp (the arithmetic that
// brings the parameter set into the camera's limits), ownerwork.cpp (work
// handed to the owning thread), sdkthread.* (which threads run SDK callbacks).
//
// What reaches the device: of the whole parameter set only the colour choice
// (applyImageFormat, run by load, restoreSnapshot and a reconnection) and the
// selected exposure time (selectExposure). paramsChanged only brings the
// stored values into the camera's limits; no other step sends them.
//
// The rule that keeps every thread from waiting on itself: no SDK call that
// can wait for a callback (VdStop, the two detach calls, VdUnInit) is ever
// made on an SDK callback thread, and what belongs to the owning thread (the
// device table, the reconnect timer, reopening, the parameter list's shape)
// is touched only there.
//
// States. `opened`, `connectionLost` and the link's `handle` and
// `tearingDown` carry them; the reconnect timer runs from the first load or
// restoreSnapshot on, whatever the state, and only acts in Lost.
//
//   State     opened connectionLost handle              tearingDown
//   Created   0      false          -1                  false
//   Open      1      false (1)      the SDK's handle    false
//   Closing   0      either         the handle going    true
//   Closed    0      false          -1                  false
//   Lost      0      true           -1                  false
//
//   Created, Closed, Lost -> Open  CameraOpen succeeds (owning thread only)
//   Lost -> Open (flag cleared)    reconnectTick reopens; restartCamera reopens and
//                                  keeps the flag, so the next tick reports the reconnection
//   Open -> Closing                a close is claimed, under the link's lock, by whoever
//                                  clears `opened` first: closeCamera or restartCamera on
//                                  any thread, the destructor, or a loss on the status thread
//   Closing -> Closed or Lost      the teardown (VdStop, the detach calls, VdUnInit) ends;
//                                  it runs on the claiming thread, or on a thread of its own
//                                  when the claim was made on an SDK callback thread (if
//                                  none can be had, on the next thread that waits for it);
//                                  Lost when a loss set `connectionLost`
//
//   (1) true after restartCamera of a lost camera, until the next tick.
//
// Threading contract:
// - The owning thread (the QObject's) runs the constructor, the destructor,
//   the reconnect timer's ticks, and every operation a host calls there.
// - A close claimed on an SDK thread (a loss, or closeCamera or
//   restartCamera from a receiver or the hook) is visible at once: `opened`
//   is clear, cameraSerial() answers "-1", nothing more is delivered. Its
//   teardown runs on a thread of its own. Any other thread that opens,
//   closes or destroys the camera first waits for that teardown; SDK threads
//   never wait for one.
// - Called on another thread than the owning one, restartCamera closes at
//   once and leaves its reopening to the owning thread; load,
//   restoreSnapshot, setExposureConfigCount and reconnectTick are left to
//   the owning thread whole (see deferToOwner for when that work runs).
// - The SDK runs CameraSnapCallback on a frame thread, holding `mutex` for
//   the whole delivery, emit and trigger hook included. Only paramsChanged
//   takes `mutex` besides the delivery; called on the delivering thread
//   itself it warns and checks without taking it again.
// - An SDK callback thread waiting for `mutex` (a delivery, or paramsChanged
//   from a loss receiver) gives up once this camera or the caller's is no
//   longer open, so a host holding frameMutex() may close or restart it.
// - What the owning thread writes and a delivery reads (the numbering
//   counters and cycleTimer, triggerCallback, the contents of *trigParams,
//   trigKind, matType) is guarded by `triggerLock`, held only for the moment
//   of a read or write: never across an emit, a hook call or an SDK call.
//   The delivery calls a copy of the hook.
// - The parameter set (CameraBase's values, bounds and descriptors) and
//   `settingsSnapshot`, `channelCount`, `monoSensor` and `exposureLineTime`
//   are guarded by `paramsLock` wherever the driver reads or writes them; it
//   is taken last and held for no SDK call. Hosts edit values through the
//   descriptors on the owning thread.
// - Every SDK call with the open handle outside the frame path borrows it
//   (HandleUse); the teardown waits for the borrows of other threads before
//   it releases the handle, so no call ever names a released handle.
// - `opened`, `connectionLost` and `lossCount` are atomics: read anywhere,
//   `opened` written only under the link's lock. `cameraHandle` mirrors the
//   link's handle, written under that lock and only while no callback can
//   run, so the frame path reads it without one.
class CameraVandrel : public CameraInterface, public CameraBase
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.kvr.quorvane.camerainterface.Vandrel")
    Q_INTERFACES(CameraInterface)

public:
    CameraVandrel();
    ~CameraVandrel() override;

    // SerializeInterface
    void load(const QJsonObject &json) override;
    void save(QJsonObject &json) override;

    // PluginInterface
    QString pluginIID() override;
    QString pluginName() override;
    QString pluginVersion() override;
    QString pluginDescription() override;
    QPixmap pluginIcon() override;
    QVector<ParamWrap *> *pluginParams() override;
    bool hostQueryFlag5() override;
    qint32 hostQueryValue() override;

    // CameraInterface
    QString cameraSerial() override;
    void paramsChanged() override;
    QSize imageSize() override;
    int channels() override;
    void softTrigger(int productNumber, int captureNumber, std::function<void()> hook) override;
    CameraInterface *createCamera(int cameraNumber, QString serialNumber, int creationArg) override;
    QVector<QString> enumerateCameras(int &count) override;
    bool hostQueryFlag1() override;
    int hostQueryCode() override;
    void setTrigParams(CameraTrigParams *params) override;
    void setContinueCapture(bool continuous) override;
    bool isContinueCapture() override;
    void saveSnapshot() override;
    void restoreSnapshot() override;
    void setExposureConfigCount(int count) override;
    bool hostQueryFlag2() override;
    QMutex *frameMutex() override;
    cv::Mat blankImage() override;
    void hostNotify1() override;
    void closeCamera() override;
    void restartCamera() override;
    int selectExposure(int index) override;

    void CameraOpen();
    // Claims the close of an open camera and tears the handle down: here, or
    // on a thread of its own when called on an SDK callback thread. On a
    // camera that is not open it waits for a teardown still running, unless
    // called on an SDK callback thread.
    void CameraClose();
    void CameraStart();
    bool CameraReopen();
    void normalizeParams();
    void applyImageFormat();
    void reconnectTick();
    // What load does after loadParams: the format, then the reconnect timer.
    void applyLoadedParams();

    static void CameraSnapCallback(int handle, unsigned char *data, VdFrameHead *head, void *context);
    static void ExpCallbackMSG(int handle, unsigned int msg, unsigned int param, void *context);

    VdHandle cameraHandle = -1;  // the open handle, or the one torn down; -1 otherwise
    qint32 cameraIndex = 0;
    qint32 matType = 0;
    CameraTrigParams *trigParams;
    qint32 monoSensor = 0;
    std::atomic<qint32> opened{0};
    QMutex mutex;
    std::atomic<bool> connectionLost{false};
    QTimer *reconnectTimer;
    QJsonObject settingsSnapshot;
    double exposureLineTime = 1.0;
    // The reconnect timer's interval, set when load starts it; tests shorten it.
    int reconnectIntervalMs = 30000;
    // Starts the thread of a teardown claimed on an SDK callback thread; may
    // throw. Tests replace it to make thread creation fail.
    static void (*startTeardownThread)(std::function<void()> work);
    static void startDetachedThread(std::function<void()> work);  // the default

private:
    class HandleUse;
    friend class HandleUse;

    // The SDK handle and who uses it; shared with a teardown that may run on
    // a thread of its own and outlive the camera.
    struct Link {
        explicit Link(VdHandle *mirror) : mirror(mirror) {}
        std::mutex lock;
        std::condition_variable changed;
        VdHandle handle = -1;                    // open, or being torn down
        bool tearingDown = false;
        std::vector<std::thread::id> borrowers;  // one entry per HandleUse
        // A claimed handle whose teardown could not get a thread: torn down
        // by the next thread that waits for the teardown.
        VdHandle lateHandle = -1;
        // The camera's cameraHandle, which the frame path reads unlocked:
        // written only while no callback can run (before the callbacks are
        // registered, after the teardown), under `lock`.
        VdHandle *const mirror;
    };

    // Open -> Closing under the link's lock: clears `opened`; true, with the
    // handle to tear down, when this caller did.
    bool claimClose(VdHandle &handle);
    // Closing -> Closed: VdStop, then the detach calls and VdUnInit once the
    // other threads' borrows are back. Touches nothing but `link`.
    static void tearDown(const std::shared_ptr<Link> &link, VdHandle handle);
    // Waits while a teardown runs, or runs one that found no thread; never
    // on an SDK callback thread.
    void waitForTeardown();
    bool onOwningThread() const;

    // Work another thread hands to the owning thread. It runs from that
    // thread's event loop, and first thing in every owning-thread operation
    // that acts on the camera or its settings (open, close, restart, load,
    // save, snapshots, paramsChanged, selectExposure, the trigger calls,
    // setExposureConfigCount, a tick), never in a query: asking for the
    // serial, size, channels, blank image, trigger mode or descriptors
    // rebuilds nothing.
    void deferToOwner(std::function<void()> work);
    void runDeferred();

    void deliverFrame(unsigned char *data, VdFrameHead *head);
    // Locks `mutex` on an SDK callback thread; false, without the lock, once
    // this camera or the callback's own is no longer open: its close may
    // wait for this very callback while its closer holds the mutex.
    bool lockWhileOpen();
    // The preview spacing: false, with the debug line, for a preview frame
    // too close to the last accepted one; else the frame is accepted.
    bool acceptPreviewTiming();
    // A header of width or height 0: processed, returned, timed, not delivered.
    void emptyFrame(unsigned char *data, VdFrameHead *head);
    // Called once per frame, before the frame's buffer is chosen.
    void ageProcessingBuffer();
    unsigned char *processingBuffer(size_t bytes);

    const std::shared_ptr<Link> link = std::make_shared<Link>(&cameraHandle);
    // The thread delivering a frame, while it does (set under `mutex`).
    std::atomic<std::thread::id> deliveringThread{};
    // Counts reported losses, so a reconnection can tell whether the link was
    // lost again while it ran.
    std::atomic<quint64> lossCount{0};

    std::mutex triggerLock;
    std::mutex paramsLock;

    std::mutex deferredLock;
    std::vector<std::function<void()>> deferred;  // guarded by deferredLock
    OwnerWaker *ownerWaker;                       // a child; set up by the constructor

    // Where the SDK processes a frame that does not fit its matrix; frame
    // thread only, under `mutex`. Given up when a window of recent frames
    // needed less, so one large frame does not hold memory for good.
    std::unique_ptr<unsigned char[]> processBuffer;
    size_t processCapacity = 0;
    size_t windowNeed = 0;
    int windowFrames = 0;
};
