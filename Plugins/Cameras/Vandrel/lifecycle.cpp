#include "vandrel.h"

#include "devicetable.h"
#include "handleuse.h"

#include <QThread>

#include <cstring>

#include "driverlog.h"  // last: names the file of the messages below

namespace {

// Marks an SDK call that waits for the frame callbacks to return.
struct StopUnderWay {
    explicit StopUnderWay(std::atomic<int> &count) : count(count) { ++count; }
    ~StopUnderWay() { --count; }
    std::atomic<int> &count;
};

} // namespace

// ---------------------------------------------------------------- discovery

QVector<QString> CameraVandrel::enumerateCameras(int &count)
{
    int found = 0;
    VdSdkInit(0);
    const VdStatus status = devicetable::refresh(found);
    count = found;
    devicetable::setEnumeratedCount(found);
    if (status != VD_OK || found < 1)
        return {};
    return devicetable::familySerials(found);
}

CameraInterface *CameraVandrel::createCamera(int cameraNumber, QString serialNumber, int creationArg)
{
    auto *camera = new CameraVandrel;
    camera->cameraNumber = cameraNumber;
    camera->cameraIndex = cameraNumber;
    camera->creationArg = creationArg;
    camera->serialNumber = serialNumber;
    camera->CameraOpen();
    camera->buildParams();
    return camera;
}

// ---------------------------------------------------- Created/Closed -> Open

void CameraVandrel::CameraOpen()
{
    waitForForeignClose();
    if (opened) {
        // Opening an open camera would leak its handle; close it first.
        CameraStop();
        CameraClose();
    }
    if (serialNumber.size() <= 8) {
        opened = 0;
        return;
    }
    const VdDeviceInfo *record = devicetable::find(serialNumber);
    if (!record) {
        opened = 0;
        return;
    }
    // Written to the member only on success: a failed open must not leave a
    // handle behind that a later call could use.
    VdHandle opening = -1;
    if (VdInit(record, -1, -1, &opening) != VD_OK) {
        opened = 0;
        return;
    }
    {
        std::lock_guard<std::mutex> guard(stateLock);
        cameraHandle = opening;
        opened = 1;
    }
    // A loss reported while the camera is being set up closes it once the
    // set-up's calls are done.
    const HandleUse use(*this);
    if (!use)
        return;
    const VdHandle handle = use.get();
    VdSetConnectionStatusCallback(handle, &CameraVandrel::ExpCallbackMSG, this);
    VdSetCallbackFunction(handle, &CameraVandrel::CameraSnapCallback, this, nullptr);

    VdCapability capability;
    std::memset(&capability, 0, sizeof capability);
    VdGetCapability(handle, &capability);
    monoSensor = capability.monoSensor;
    const qint32 w = capability.maxWidth;
    const qint32 h = capability.maxHeight;
    roiXMin = 0;
    roiXMax = w;
    roiXStep = 16;
    roiYMin = 0;
    roiYMax = h;
    roiYStep = 4;
    widthMin = 64;
    widthMax = w;
    widthStep = 16;
    heightMin = 64;
    heightMax = h;
    heightStep = 4;
    sensorWidth = w;
    sensorHeight = h;
    gainMin = capability.analogGainMin;
    gainMax = capability.analogGainMax;
    gammaMin = capability.gammaMin;
    gammaMax = capability.gammaMax;
    sharpnessMin = capability.sharpnessMin;
    sharpnessMax = capability.sharpnessMax;
    contrastMin = capability.contrastMin;
    contrastMax = capability.contrastMax;
    debounceMin = 0;
    debounceMax = 2000000;
    packetIntervalMin = 0;
    packetIntervalMax = 0;

    VdGetExposureLineTime(handle, &exposureLineTime);
    exposureMin = static_cast<float>(static_cast<quint32>(capability.exposureMin) * exposureLineTime / 1000.0);
    exposureMax = static_cast<float>(static_cast<quint32>(capability.exposureMax) * exposureLineTime / 1000.0);
}

// ----------------------------------------------- Open -> Closing -> Closed

void CameraVandrel::CameraClose()
{
    VdHandle handle = -1;
    if (claimClose(handle))
        releaseClaimedHandle(handle);
}

bool CameraVandrel::claimClose(VdHandle &handle)
{
    std::unique_lock<std::mutex> guard(stateLock);
    if (!opened) {
        // Someone else may be tearing the handle down right now; on the
        // owning thread "closed" must mean no more callbacks.
        guard.unlock();
        waitForForeignClose();
        return false;
    }
    opened = 0;
    closing = true;
    handle = cameraHandle;
    const std::thread::id me = std::this_thread::get_id();
    if (deliveringThread.load() != me) {
        stateChanged.wait(guard, [this, me] {
            return std::all_of(borrowers.begin(), borrowers.end(), [me](std::thread::id t) { return t == me; });
        });
    }
    return true;
}

void CameraVandrel::releaseClaimedHandle(VdHandle handle)
{
    {
        const StopUnderWay stopping(stopsUnderWay);
        VdSetConnectionStatusCallback(handle, nullptr, nullptr);
        VdSetCallbackFunction(handle, nullptr, nullptr, nullptr);
        qCInfo(lcVandrel) << "cameraVandrel Close";
        VdUnInit(handle);
    }
    // Last touch of this object on a foreign thread: the owning thread may
    // destroy it as soon as it sees `closing` clear.
    std::lock_guard<std::mutex> guard(stateLock);
    cameraHandle = -1;
    closing = false;
    stateChanged.notify_all();
}

bool CameraVandrel::onOwningThread() const
{
    return QThread::currentThread() == thread();
}

void CameraVandrel::waitForForeignClose()
{
    if (!onOwningThread())
        return;
    std::unique_lock<std::mutex> guard(stateLock);
    stateChanged.wait(guard, [this] { return !closing; });
}

// ---------------------------------------------------------- acquisition

void CameraVandrel::CameraStart()
{
    const HandleUse use(*this);
    if (!use)
        return;
    const VdStatus status = VdPlay(use.get());
    if (status != VD_OK)
        qCWarning(lcVandrel) << status;
}

void CameraVandrel::CameraStop()
{
    const HandleUse use(*this);
    if (!use)
        return;
    VdStatus status;
    {
        const StopUnderWay stopping(stopsUnderWay);
        status = VdStop(use.get());
    }
    if (status != VD_OK)
        qCWarning(lcVandrel) << status;
}

void CameraVandrel::closeCamera()
{
    CameraStop();
    CameraClose();
}

void CameraVandrel::restartCamera()
{
    CameraStop();
    CameraClose();
    CameraOpen();
    normalizeParams();
    CameraStart();
}
