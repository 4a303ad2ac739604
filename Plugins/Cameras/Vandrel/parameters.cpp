#include "vandrel.h"

#include "framelock.h"
#include "handleuse.h"
#include "normalize.h"

#include <cstring>

#include "driverlog.h"  // last: names the file of the messages below

namespace {

constexpr int kReconnectIntervalMs = 30000;
constexpr qint32 kHostNumberedKind = 32;

} // namespace

void CameraVandrel::paramsChanged()
{
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
    normalizeParameterSet(*this, {resolution.width, resolution.height, resolution.offsetX, resolution.offsetY});
}

void CameraVandrel::applyImageFormat()
{
    {
        const HandleUse use(*this);
        if (!use)
            return;
        if (monoSensor) {
            channelCount = 1;
        } else if (colorImage) {
            channelCount = 3;
            VdSetMediaType(use.get(), VD_MEDIA_COLOR);
            VdSetIspOutFormat(use.get(), VD_PIXEL_RGB8);
        } else {
            channelCount = 1;
            VdSetMediaType(use.get(), VD_MEDIA_MONO);
            VdSetIspOutFormat(use.get(), VD_PIXEL_MONO8);
        }
    }
    {
        std::lock_guard<std::mutex> state(triggerLock);
        matType = channelCount == 3 ? CV_8UC3 : channelCount == 4 ? CV_8UC4 : CV_8UC1;
    }
    normalizeParams();
    CameraStart();
}

int CameraVandrel::selectExposure(int index)
{
    if (index < 0 || index >= exposureTimes.size())
        return -1;
    currentExposureIndex = index;
    // A camera that is not open has no handle to send to.
    const HandleUse use(*this);
    if (!use)
        return VD_ERR_NOT_INITIALISED;
    const double value = static_cast<double>(exposureTimes[index]) * exposureLineTime * 1000.0;
    return VdSetExposureTime(use.get(), value);
}

void CameraVandrel::setContinueCapture(bool continuous)
{
    Q_UNUSED(continuous);
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
    if (!opened || !params)
        return;
    if (params != trigParams) {
        std::lock_guard<std::mutex> state(triggerLock);
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
    saveParams(json);
}

void CameraVandrel::load(const QJsonObject &json)
{
    loadParams(json);
    applyImageFormat();
    reconnectTimer->start(kReconnectIntervalMs);
}

void CameraVandrel::saveSnapshot()
{
    save(settingsSnapshot);
}

void CameraVandrel::restoreSnapshot()
{
    load(settingsSnapshot);
}

void CameraVandrel::setExposureConfigCount(int count)
{
    rebuildParams(count);
}
