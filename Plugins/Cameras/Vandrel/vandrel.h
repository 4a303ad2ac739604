#pragma once

#include "camerabase.h"
#include "camerainterface.h"
#include "vdcamsdk.h"

#include <QMutex>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Driver of one VD-XG line-scan camera, and the plug-in object itself.
//
// Where the code lives: vandrel.cpp (identity, construction, queries),
// lifecycle.cpp (discovery, open, close, start, stop), framepath.cpp (the
// frame callback), linkmonitor.cpp (losses and reconnection), parameters.cpp
// (parameter application and settings), normalize.cpp (the arithmetic that
// brings the parameter set into the camera's limits).
//
// What reaches the device: of the whole parameter set only the colour choice
// (applyImageFormat, run by load, restoreSnapshot and a reconnection) and the
// selected exposure time (selectExposure). paramsChanged only brings the
// stored values into the camera's limits; no other step sends them.
//
// States. `opened`, `closing`, `connectionLost` and `cameraHandle` carry
// them; the reconnect timer runs from the first load or restoreSnapshot on,
// whatever the state, and only acts in Lost.
//
//   State    opened closing connectionLost cameraHandle
//   Created  0      false   false          -1
//   Open     1      false   false (1)      the SDK's handle
//   Closing  0      true    either         the handle being released
//   Closed   0      false   false          -1
//   Lost     0      false   true           -1
//
//   Created, Closed -> Open    CameraOpen succeeds (owning thread, under stateLock)
//   Lost -> Open               reconnectTick reopens, then clears the flag (owning thread);
//                              restartCamera reopens and keeps the flag, so the next tick
//                              reopens again and reports the reconnection
//   Open -> Closing            a close is claimed (under stateLock) by whoever clears
//                              `opened`: the owning thread (closeCamera, restartCamera,
//                              destruction), the status thread on a loss, or a frame
//                              thread when a receiver closes
//   Closing -> Closed or Lost  the claimer releases the handle and clears `closing`
//                              (under stateLock); Lost when the status thread set
//                              `connectionLost` first
//   Created, Closed, Lost      a failed CameraOpen leaves the state as it was
//
//   (1) true after restartCamera of a lost camera, until the next tick.
//
// Threading contract:
// - The owning thread (the host's) runs every interface operation, the
//   constructor, the destructor and the reconnect timer's ticks. It alone
//   writes cameraHandle (under stateLock) and the parameter set.
// - The SDK runs CameraSnapCallback on a frame thread, holding `mutex` for
//   the whole delivery, emit included. Only paramsChanged takes `mutex`
//   besides the delivery, so a receiver connected directly, the trigger hook,
//   or a host holding frameMutex() may call every other operation. (The
//   destructor takes it last, to wait for a delivery whose receiver closed
//   the camera and which is still unwinding.)
// - What the owning thread writes and a delivery reads (the numbering
//   counters and cycleTimer, triggerCallback, the contents of *trigParams,
//   matType) is guarded by `triggerLock`, held only for the moment of a read
//   or write: never across an emit, a hook call or an SDK call. The delivery
//   calls a copy of the hook.
// - The SDK runs ExpCallbackMSG on a status thread, which closes the camera
//   there. The owning thread waits for a close in progress elsewhere before
//   it opens, closes or destroys; the status thread never waits for the
//   owning thread's operations as a whole, because the owning thread's detach
//   calls wait for a status callback in flight.
// - Every SDK call made with the open handle outside the frame path borrows
//   it (HandleUse) under `stateLock`; a claimed close waits until the borrows
//   of other threads are back before it releases the handle, so no call ever
//   gets a released handle. A close from inside a delivery does not wait: a
//   borrower may be waiting for that very delivery (VdStop, VdPlay).
// - A delivery waits for `mutex` only while no stop or close is under way
//   (`stopsUnderWay`); then it drops its frame, so closeCamera and
//   restartCamera may be called while holding frameMutex().
// - `opened`, `connectionLost` and `lossCount` are atomics: read anywhere,
//   `opened` written only under `stateLock`.
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
    void CameraClose();
    void CameraStart();
    void CameraStop();
    bool CameraReopen();
    void normalizeParams();
    void applyImageFormat();
    void reconnectTick();

    static void CameraSnapCallback(int handle, unsigned char *data, VdFrameHead *head, void *context);
    static void ExpCallbackMSG(int handle, unsigned int msg, unsigned int param, void *context);

    VdHandle cameraHandle = -1;  // the open handle; -1 in every other state
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

private:
    class HandleUse;
    friend class HandleUse;

    // Open -> Closing: true and the handle to release when this caller
    // cleared `opened`; waits for the other threads' borrows first.
    bool claimClose(VdHandle &handle);
    // Closing -> Closed (or Lost): detaches, releases, clears `closing`.
    void releaseClaimedHandle(VdHandle handle);
    // Blocks the owning thread while another thread tears the handle down.
    void waitForForeignClose();
    bool onOwningThread() const;

    void deliverFrame(unsigned char *data, VdFrameHead *head);
    // Locks `mutex` for a delivery; false when a stop or close of this
    // camera is under way meanwhile, which waits for this very callback.
    bool lockForDelivery();
    // Called once per frame, before the frame's buffer is chosen.
    void ageProcessingBuffer();
    unsigned char *processingBuffer(size_t bytes);

    std::mutex stateLock;
    std::condition_variable stateChanged;
    bool closing = false;                    // guarded by stateLock
    std::vector<std::thread::id> borrowers;  // guarded by stateLock; one entry per HandleUse
    // The thread delivering a frame, while it does (set under `mutex`).
    std::atomic<std::thread::id> deliveringThread{};
    // Counts reported losses, so a reconnection can tell whether the link was
    // lost again while it ran.
    std::atomic<quint64> lossCount{0};
    // SDK calls in progress that wait for the frame callbacks to return
    // (stop, detach, release). A delivery that finds the frame mutex taken
    // gives up its frame while any runs: the host may hold the mutex while
    // it stops the camera.
    std::atomic<int> stopsUnderWay{0};

    std::mutex triggerLock;

    // Where the SDK processes a frame that does not fit its matrix; frame
    // thread only, under `mutex`. Given up when a window of recent frames
    // needed less, so one large frame does not hold memory for good.
    std::unique_ptr<unsigned char[]> processBuffer;
    size_t processCapacity = 0;
    size_t windowNeed = 0;
    int windowFrames = 0;
};
