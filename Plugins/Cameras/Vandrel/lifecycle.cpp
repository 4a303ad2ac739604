#include "vandrel.h"

#include "devicetable.h"
#include "handleuse.h"
#include "sdkthread.h"

#include <QThread>

#include <cstring>
#include <exception>

#include "driverlog.h"  // last: names the file of the messages below

// ---------------------------------------------------------------- discovery

QVector<QString> CameraVandrel::enumerateCameras(int &count)
{
    if (sdkthread::current()) {
        // The device table belongs to the host's thread, where cameras open.
        qCWarning(lcVandrel) << "enumerateCameras called from an SDK callback; ignored";
        count = 0;
        return {};
    }
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

// ---------------------------------------------- Created/Closed/Lost -> Open

void CameraVandrel::CameraOpen()
{
    // A teardown still running holds the device; an open camera is closed
    // first, so that its handle is not leaked.
    CameraClose();
    if (serialNumber.size() <= 8) {
        opened = 0;
        return;
    }
    const VdDeviceInfo *record = devicetable::find(serialNumber);
    if (!record) {
        opened = 0;
        return;
    }
    // Written to the members only on success: a failed open must not leave a
    // handle behind that a later call could use.
    VdHandle opening = -1;
    if (VdInit(record, -1, -1, &opening) != VD_OK) {
        opened = 0;
        return;
    }
    {
        std::lock_guard<std::mutex> guard(link->lock);
        link->handle = opening;
        cameraHandle = opening;
        opened = 1;
    }
    // A loss reported while the camera is being set up claims the close at
    // once; its teardown waits for this borrow.
    const HandleUse use(*this);
    if (!use)
        return;
    const VdHandle handle = use.get();
    VdSetConnectionStatusCallback(handle, &CameraVandrel::ExpCallbackMSG, this);
    VdSetCallbackFunction(handle, &CameraVandrel::CameraSnapCallback, this, nullptr);

    VdCapability capability;
    std::memset(&capability, 0, sizeof capability);
    VdGetCapability(handle, &capability);
    double lineTime = 1.0;
    {
        std::lock_guard<std::mutex> guard(paramsLock);
        lineTime = exposureLineTime;
    }
    VdGetExposureLineTime(handle, &lineTime);

    std::lock_guard<std::mutex> guard(paramsLock);
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

    exposureLineTime = lineTime;
    exposureMin = static_cast<float>(static_cast<quint32>(capability.exposureMin) * exposureLineTime / 1000.0);
    exposureMax = static_cast<float>(static_cast<quint32>(capability.exposureMax) * exposureLineTime / 1000.0);
}

// ----------------------------------------------- Open -> Closing -> Closed

void CameraVandrel::CameraClose()
{
    VdHandle handle = -1;
    const bool onSdkThread = sdkthread::current();
    if (!claimClose(handle)) {
        // Closed means no more callbacks, except where waiting could hang.
        if (!onSdkThread)
            waitForTeardown();
        return;
    }
    if (!onSdkThread) {
        tearDown(link, handle);
        return;
    }
    try {
        startTeardownThread([l = link, handle] { tearDown(l, handle); });
    } catch (const std::exception &e) {
        // The handle stays claimed with its callbacks registered; the next
        // thread that may wait for them tears it down: the owning thread's
        // event loop, or whoever opens, closes or deletes the camera first.
        qCWarning(lcVandrel) << "camera teardown could not start:" << e.what()
                             << "; the camera is closed late, on the owning thread";
        {
            std::lock_guard<std::mutex> guard(link->lock);
            link->lateHandle = handle;
            link->changed.notify_all();
        }
        try {
            deferToOwner([this] { waitForTeardown(); });
        } catch (const std::exception &) {
            // The next open, close or the deletion still runs it.
        }
    }
}

void CameraVandrel::startDetachedThread(std::function<void()> work)
{
    std::thread(std::move(work)).detach();
}

void (*CameraVandrel::startTeardownThread)(std::function<void()>) = &CameraVandrel::startDetachedThread;

bool CameraVandrel::claimClose(VdHandle &handle)
{
    std::lock_guard<std::mutex> guard(link->lock);
    if (!opened)
        return false;
    opened = 0;
    link->tearingDown = true;
    handle = link->handle;
    return true;
}

void CameraVandrel::tearDown(const std::shared_ptr<Link> &link, VdHandle handle)
{
    const VdStatus status = VdStop(handle);
    if (status != VD_OK)
        qCWarning(lcVandrel) << status;
    {
        // Calls that other threads started with this handle end first.
        std::unique_lock<std::mutex> guard(link->lock);
        const std::thread::id me = std::this_thread::get_id();
        link->changed.wait(guard, [&] {
            return std::all_of(link->borrowers.begin(), link->borrowers.end(),
                               [me](std::thread::id t) { return t == me; });
        });
    }
    VdSetConnectionStatusCallback(handle, nullptr, nullptr);
    VdSetCallbackFunction(handle, nullptr, nullptr, nullptr);
    qCInfo(lcVandrel) << "cameraVandrel Close";
    VdUnInit(handle);
    std::lock_guard<std::mutex> guard(link->lock);
    link->handle = -1;
    // No callback runs any more, and the camera waits for the flag below
    // before it can go: its mirror of the handle is still there.
    *link->mirror = -1;
    link->tearingDown = false;
    link->changed.notify_all();
}

void CameraVandrel::waitForTeardown()
{
    VdHandle late = -1;
    {
        std::unique_lock<std::mutex> guard(link->lock);
        link->changed.wait(guard, [this] { return !link->tearingDown || link->lateHandle != -1; });
        if (!link->tearingDown)
            return;
        late = link->lateHandle;
        link->lateHandle = -1;
    }
    qCWarning(lcVandrel) << "camera" << serialNumber
                         << "closed late: its teardown found no thread of its own and runs here";
    tearDown(link, late);
}

bool CameraVandrel::onOwningThread() const
{
    return QThread::currentThread() == thread();
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

void CameraVandrel::closeCamera()
{
    runDeferred();
    CameraClose();
}

void CameraVandrel::restartCamera()
{
    runDeferred();
    CameraClose();
    if (!onOwningThread()) {
        deferToOwner([this] {
            CameraOpen();
            normalizeParams();
            CameraStart();
        });
        return;
    }
    CameraOpen();
    normalizeParams();
    CameraStart();
}
