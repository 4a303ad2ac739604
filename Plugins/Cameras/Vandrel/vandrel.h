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
// Threading contract:
// - The owning thread (the host's) runs every interface operation, the
//   constructor, the destructor and the reconnect timer's ticks. It alone
//   writes cameraHandle and the parameter set.
// - The SDK runs CameraSnapCallback on a frame thread, holding `mutex` for
//   the whole delivery, emit included. Only paramsChanged takes `mutex`
//   besides the delivery, so a receiver connected directly, the trigger hook,
//   or a host holding frameMutex() may call every other operation.
// - What the owning thread writes and a delivery reads (the numbering
//   counters and cycleTimer, triggerCallback, the contents of *trigParams,
//   matType) is guarded by `triggerLock`, held only for the moment of a read
//   or write: never across an emit, a hook call or an SDK call. The delivery
//   calls a copy of the hook.
// - The SDK runs ExpCallbackMSG on a status thread, which closes the camera
//   there. Closing is claimed under `stateLock`: whoever turns `opened` from
//   set to clear tears the handle down (once), outside the lock, and marks
//   `closing` meanwhile. The owning thread waits for a close in progress on
//   the status thread before it opens, closes or destroys; the status thread
//   never waits for the owning thread's operations as a whole, because the
//   owning thread's detach calls wait for a status callback in flight.
// - Every SDK call made with the open handle outside the frame path borrows
//   it (HandleUse) under `stateLock`; a close waits until the borrows of other
//   threads are back before it releases the handle, so no call ever gets a
//   released handle. A close from inside a delivery does not wait: a borrower
//   may be waiting for that very delivery (VdStop, VdPlay).
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

    VdHandle cameraHandle = -1;  // -1 until the first successful open
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

    void deliverFrame(unsigned char *data, VdFrameHead *head);
    // Called once per frame, before the frame's buffer is chosen.
    void ageProcessingBuffer();
    unsigned char *processingBuffer(size_t bytes);
    // Blocks the owning thread while the status thread tears the handle down.
    void waitForForeignClose();
    bool onOwningThread() const;

    std::mutex stateLock;
    std::condition_variable stateChanged;
    bool closing = false;                    // guarded by stateLock
    std::vector<std::thread::id> borrowers;  // guarded by stateLock; one entry per HandleUse
    // The thread delivering a frame, while it does (set under `mutex`).
    std::atomic<std::thread::id> deliveringThread{};
    // Counts reported losses, so a reconnection can tell whether the link was
    // lost again while it ran.
    std::atomic<quint64> lossCount{0};

    std::mutex triggerLock;

    // Where the SDK processes a frame that does not fit its matrix; frame
    // thread only, under `mutex`. Shrinks to the largest need of a window of
    // recent frames, so one large frame does not hold memory for good.
    std::unique_ptr<unsigned char[]> processBuffer;
    size_t processCapacity = 0;
    size_t windowNeed = 0;
    int windowFrames = 0;
};
