#include "vandrel.h"

#include "framelock.h"
#include "handleuse.h"
#include "normalize.h"
#include "sdkthread.h"

#include <cstring>

#include "driverlog.h"  // last: names the file of the messages below

namespace {

constexpr qint32 kHostNumberedKind = 32;

} // namespace

void CameraVandrel::paramsChanged()
{
    runDeferred();
    if (deliveringThread.load() == std::this_thread::get_id()) {
        // A direct receiver or the trigger hook: this thread holds the frame
        // mutex already, so no delivery can overlap, and taking it again
        // would hang the delivery for good.
        qCInfo(lcVandrel) << "CameraVandrel::paramsChanged";
        qCWarning(lcVandrel) << "paramsChanged called while a frame is delivered (from a receiver connected "
                                "directly to captureCompleted or from the trigger hook); checked without "
                                "taking the frame mutex again";
        normalizeParams();
        return;
    }
    if (sdkthread::current()) {
        // A loss receiver, or another camera's callback: whoever holds the
        // mutex may be closing this camera and waiting for this callback.
        if (!lockWhileOpen()) {
            qCInfo(lcVandrel) << "CameraVandrel::paramsChanged";
            qCDebug(lcVandrel) << "Camera" << cameraIndex << "closed while paramsChanged waited for the frame mutex;"
                               << "nothing to check";
            return;
        }
        FrameLock guard(&mutex, FrameLock::Adopt);
        qCInfo(lcVandrel) << "CameraVandrel::paramsChanged";
        normalizeParams();
        return;
    }
    FrameLock guard(&mutex);
    qCInfo(lcVandrel) << "CameraVandrel::paramsChanged";
    normalizeParams();
}

void CameraVandrel::normalizeParams()
{
    VdResolution resolution;
    std::memset(&resolution, 0, sizeof resolution);
    {
        const HandleUse use(*this);
        if (!use)
            return;
        VdGetImageResolution(use.get(), &resolution);
    }
    std::lock_guard<std::mutex> guard(paramsLock);
    normalizeParameterSet(*this, {resolution.width, resolution.height, resolution.offsetX, resolution.offsetY});
}

void CameraVandrel::applyImageFormat()
{
    {
        const HandleUse use(*this);
        if (!use)
            return;
        bool mono = false;
        bool colour = false;
        int channels = 1;
        {
            std::lock_guard<std::mutex> guard(paramsLock);
            mono = monoSensor != 0;
            colour = colorImage;
            channelCount = mono ? 1 : colour ? 3 : 1;
            channels = channelCount;
        }
        if (!mono) {
            VdSetMediaType(use.get(), colour ? VD_MEDIA_COLOR : VD_MEDIA_MONO);
            VdSetIspOutFormat(use.get(), colour ? VD_PIXEL_RGB8 : VD_PIXEL_MONO8);
        }
        std::lock_guard<std::mutex> state(triggerLock);
        matType = channels == 3 ? CV_8UC3 : channels == 4 ? CV_8UC4 : CV_8UC1;
    }
    normalizeParams();
    CameraStart();
}

int CameraVandrel::selectExposure(int index)
{
    runDeferred();
    double value = 0;
    {
        std::lock_guard<std::mutex> guard(paramsLock);
        if (index < 0 || index >= exposureTimes.size())
            return -1;
        currentExposureIndex = index;
        value = static_cast<double>(exposureTimes[index]) * exposureLineTime * 1000.0;
    }
    // A camera that is not open has no handle to send to.
    const HandleUse use(*this);
    if (!use)
        return VD_ERR_NOT_INITIALISED;
    return VdSetExposureTime(use.get(), value);
}

void CameraVandrel::setContinueCapture(bool continuous)
{
    Q_UNUSED(continuous);
    runDeferred();
    const HandleUse use(*this);
    if (!use)
        return;
    const VdStatus status = VdSetTriggerMode(use.get(), VD_TRIGGER_CONTINUOUS);
    if (status != VD_OK)
        qCWarning(lcVandrel) << status;
}

bool CameraVandrel::isContinueCapture()
{
    const HandleUse use(*this);
    if (!use)
        return false;
    int mode = 0;
    VdGetTriggerMode(use.get(), &mode);
    return mode == VD_TRIGGER_CONTINUOUS;
}

void CameraVandrel::softTrigger(int productNumber, int captureNumber, std::function<void()> hook)
{
    runDeferred();
    const HandleUse use(*this);
    if (!use)
        return;
    // The replaced hook dies after the lock is released: its captures are
    // the host's and may take their time.
    std::function<void()> replaced = std::move(hook);
    {
        std::lock_guard<std::mutex> state(triggerLock);
        if (trigParams->trigKind == kHostNumberedKind) {
            // A cycle of 0 or fewer products counts as one, as in numbering.
            const int perCycle = trigParams->productsPerCycle > 0 ? trigParams->productsPerCycle : 1;
            productId = productNumber;
            productFrame = captureNumber;
            const int remainder = productNumber % perCycle;
            productCycle = remainder == 0 ? perCycle : remainder;
        }
        triggerCallback.swap(replaced);
    }
    VdSoftTrigger(use.get());
}

void CameraVandrel::setTrigParams(CameraTrigParams *params)
{
    runDeferred();
    if (!opened || !params)
        return;
    std::lock_guard<std::mutex> state(triggerLock);
    if (params != trigParams) {
        trigParams->trigKind = params->trigKind;
        trigParams->trigValue2 = params->trigValue2;
        trigParams->trigValue3 = params->trigValue3;
        trigParams->trigValue4 = params->trigValue4;
        trigParams->trigValue5 = params->trigValue5;
        trigParams->capturesPerProduct = params->capturesPerProduct;
        trigParams->trigValue7 = params->trigValue7;
        trigParams->productsPerCycle = params->productsPerCycle;
        trigParams->cycleTimeout = params->cycleTimeout;
        trigParams->autoCount = params->autoCount;
        trigParams->trigValue11 = params->trigValue11;
        trigParams->extraParams = params->extraParams;
    }
    trigKind = params->trigKind;
}

void CameraVandrel::save(QJsonObject &json)
{
    runDeferred();
    std::lock_guard<std::mutex> guard(paramsLock);
    saveParams(json);
}

void CameraVandrel::load(const QJsonObject &json)
{
    if (!onOwningThread()) {
        // The parameter list, the format and the reconnect timer belong to
        // the owning thread; off it, a timer can be neither started nor stopped.
        deferToOwner([this, json] { load(json); });
        return;
    }
    runDeferred();
    {
        std::lock_guard<std::mutex> guard(paramsLock);
        loadParams(json);
    }
    applyLoadedParams();
}

void CameraVandrel::applyLoadedParams()
{
    applyImageFormat();
    reconnectTimer->start(reconnectIntervalMs);
}

void CameraVandrel::saveSnapshot()
{
    runDeferred();
    std::lock_guard<std::mutex> guard(paramsLock);
    saveParams(settingsSnapshot);
}

void CameraVandrel::restoreSnapshot()
{
    if (!onOwningThread()) {
        deferToOwner([this] { restoreSnapshot(); });
        return;
    }
    runDeferred();
    // load(settingsSnapshot), read where it lies: a copy would share its
    // data with the snapshot that other threads may replace meanwhile.
    {
        std::lock_guard<std::mutex> guard(paramsLock);
        loadParams(settingsSnapshot);
    }
    applyLoadedParams();
}

void CameraVandrel::setExposureConfigCount(int count)
{
    if (!onOwningThread()) {
        // The host's editor reads the descriptors there; they must not be
        // freed under it.
        deferToOwner([this, count] { setExposureConfigCount(count); });
        return;
    }
    runDeferred();
    std::lock_guard<std::mutex> guard(paramsLock);
    rebuildParams(count);
}
