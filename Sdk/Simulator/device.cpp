#include "device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vdsim {
namespace {

// Copies text into a fixed field; a text that fills the field keeps no NUL.
void copyText(char *field, size_t size, const std::string &text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

} // namespace

Device::Device(const DeviceConfig &cfg, uint32_t key, Clock::time_point now)
    : cfg_(cfg)
    , key_(key)
    , attached_(cfg.attached)
    , attachedAt_(now)
    , triggerMode_(cfg.triggerMode)
    , mediaType_(cfg.mono ? VD_MEDIA_MONO : VD_MEDIA_COLOR)
    , ispOutFormat_(cfg.mono ? VD_PIXEL_MONO8 : VD_PIXEL_RGB8)
    , exposureTime_(0.0)
    , gain_(cfg.gain)
    , mirrorX_(cfg.mirrorX)
    , mirrorY_(cfg.mirrorY)
{
    // Powered up at the exposure that shows the scene as drawn.
    exposureTime_ = sceneExposureUs() * cfg_.lineTimeUs;
}

double Device::setLinePeriodUs() const
{
    const double shortest = cfg_.lineTimeUs;
    if (cfg_.linePeriodUs > 0)
        return cfg_.linePeriodUs;
    if (cfg_.encoder) {
        const double lines = cfg_.web.topSpeed() * cfg_.linesPerMm;
        return lines > 0 ? std::max(shortest, 1e6 / lines) : shortest;
    }
    if (cfg_.frameRate > 0)
        return std::max(shortest, 1e6 / (cfg_.frameRate * cfg_.frameHeight));
    return shortest;
}

double Device::exposureUs() const
{
    const double lt = cfg_.lineTimeUs;
    const double asked = std::clamp(exposureTime_ / lt, cfg_.exposureMin * lt, cfg_.exposureMax * lt);
    return cfg_.longExposure == LongExposure::Clamped ? std::min(asked, setLinePeriodUs()) : asked;
}

double Device::linePeriodUs() const
{
    // Triggered, the camera is ready again once its line is read out and
    // exposed; free-running, it keeps its period unless the exposure is longer.
    return std::max(cfg_.encoder ? cfg_.lineTimeUs : setLinePeriodUs(), exposureUs());
}

double Device::sceneExposureUs() const
{
    if (cfg_.sceneExposureUs > 0)
        return cfg_.sceneExposureUs;
    const double lt = cfg_.lineTimeUs;
    return std::clamp(setLinePeriodUs() / 2, cfg_.exposureMin * lt, cfg_.exposureMax * lt);
}

SceneLook Device::sceneLook() const
{
    SceneLook look;
    look.brightness = sceneBrightness(exposureUs(), sceneExposureUs(), gain_, cfg_.gainMin, cfg_.gainMax);
    look.mirrorX = mirrorX_;
    return look;
}

void Device::keepSceneRender(std::shared_ptr<const SceneRender> render)
{
    if (render && render->look() == sceneLook())
        render_ = std::move(render);
}

bool Device::loseLink()
{
    const bool wasUp = linkUp_;
    linkUp_ = false;
    return wasUp;
}

bool Device::restoreLink()
{
    const bool wasDown = !linkUp_;
    linkUp_ = true;
    return wasDown;
}

void Device::setAttached(bool attached, Clock::time_point now)
{
    if (attached && !attached_)
        attachedAt_ = now;
    attached_ = attached;
}

uint32_t Device::timeStamp(Clock::time_point now) const
{
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now - attachedAt_).count());
}

VdStatus Device::setTriggerMode(int mode, bool &changed)
{
    changed = false;
    if (mode != VD_TRIGGER_CONTINUOUS && mode != VD_TRIGGER_SOFTWARE)
        return VD_ERR_BAD_ARGUMENT;
    changed = triggerMode_ != mode;
    triggerMode_ = mode;
    return VD_OK;
}

VdStatus Device::setMediaType(int mediaType)
{
    if (mediaType != VD_MEDIA_COLOR && mediaType != VD_MEDIA_MONO)
        return VD_ERR_UNSUPPORTED_FORMAT;
    mediaType_ = mediaType;
    return VD_OK;
}

VdStatus Device::setIspOutFormat(unsigned int format)
{
    if (format != VD_PIXEL_RGB8 && format != VD_PIXEL_MONO8)
        return VD_ERR_UNSUPPORTED_FORMAT;
    ispOutFormat_ = format;
    return VD_OK;
}

VdStatus Device::setExposureTime(double exposure)
{
    if (!std::isfinite(exposure) || exposure < 0)
        return VD_ERR_BAD_ARGUMENT;
    exposureTime_ = exposure;
    return VD_OK;
}

void Device::describe(int index, VdDeviceInfo &info) const
{
    std::memset(&info, 0, sizeof info);
    info.deviceIndex = uint32_t(index);
    info.interfaceType = 1;
    copyText(info.vendorName, sizeof info.vendorName, "VD Vision");
    copyText(info.productName, sizeof info.productName, cfg_.productName);
    copyText(info.deviceVersion, sizeof info.deviceVersion, "SIM 1.0");
    copyText(info.serialNumber, sizeof info.serialNumber, cfg_.serialNumber);
    info.macAddress[0] = 0x02;   // locally administered
    info.macAddress[1] = 0x56;
    info.macAddress[2] = 0x44;
    info.macAddress[3] = uint8_t(key_ >> 16);
    info.macAddress[4] = uint8_t(key_ >> 8);
    info.macAddress[5] = uint8_t(key_);
    info.ipAddress = (192u << 24) | (168u << 16) | (1u << 8) | ((10u + key_) & 0xFFu);
    info.deviceKey = key_;
}

VdCapability Device::capability() const
{
    VdCapability cap;
    std::memset(&cap, 0, sizeof cap);
    cap.structVersion = 1;
    cap.analogGainMin = cfg_.gainMin;
    cap.analogGainMax = cfg_.gainMax;
    cap.lineTimeNs = int32_t(std::lround(cfg_.lineTimeUs * 1000.0));
    cap.exposureMin = cfg_.exposureMin;
    cap.exposureMax = cfg_.exposureMax;
    cap.maxHeight = cfg_.sensorHeight;
    cap.minWidth = 2;
    cap.maxWidth = cfg_.sensorWidth;
    cap.gammaMin = cfg_.gammaMin;
    cap.gammaMax = cfg_.gammaMax;
    cap.contrastMin = cfg_.contrastMin;
    cap.contrastMax = cfg_.contrastMax;
    cap.sharpnessMin = cfg_.sharpnessMin;
    cap.sharpnessMax = cfg_.sharpnessMax;
    cap.monoSensor = cfg_.mono ? 1 : 0;
    return cap;
}

VdResolution Device::resolution() const
{
    VdResolution res;
    std::memset(&res, 0, sizeof res);
    res.offsetX = 0;
    res.offsetY = 0;
    res.sensorWidth = cfg_.sensorWidth;
    res.sensorHeight = cfg_.sensorHeight;
    res.width = cfg_.sensorWidth;
    res.height = cfg_.frameHeight;
    return res;
}

} // namespace vdsim
