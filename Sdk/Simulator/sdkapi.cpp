// The C entry points of the SDK. Each counts its call, honours a planned
// failure, and turns any C++ exception into a status so that none crosses
// the C interface.
#include "simcore.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <new>

using namespace vdsim;

namespace {

template <typename F>
VdStatus entry(const char *name, F &&body) noexcept
{
    try {
        Simulator &s = Simulator::instance();
        VdStatus planned = VD_OK;
        if (s.countCall(name, planned))
            return planned;
        return body(s);
    } catch (const std::bad_alloc &) {
        return VD_ERR_INTERNAL;
    } catch (...) {
        return VD_ERR_INTERNAL;
    }
}

// Runs body with the simulator locked, on a handle whose device is reachable;
// invalid arguments are refused before the handle is looked at.
template <typename F>
VdStatus onReachable(const char *name, VdHandle handle, bool argumentsValid, F &&body) noexcept
{
    return entry(name, [&](Simulator &s) -> VdStatus {
        if (!argumentsValid)
            return VD_ERR_BAD_ARGUMENT;
        std::lock_guard<std::mutex> lk(s.mu);
        std::shared_ptr<Handle> h;
        const VdStatus st = s.lookupReachable(handle, h);
        if (st != VD_OK)
            return st;
        return body(*h);
    });
}

// Copies text into a fixed field; a text that fills the field keeps no NUL.
void copyText(char *field, size_t size, const std::string &text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

} // namespace

extern "C" {

VdStatus VdSdkInit(int)
{
    return entry(__func__, [](Simulator &s) -> VdStatus {
        s.sdkInit();
        return VD_OK;
    });
}

VdStatus VdEnumerateDevice(VdDeviceInfo *devices, int *count)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        if (!devices || !count || *count <= 0)
            return VD_ERR_BAD_ARGUMENT;
        std::lock_guard<std::mutex> lk(s.mu);
        if (!s.initialised)
            return VD_ERR_NOT_INITIALISED;
        const int capacity = *count;
        int written = 0;
        for (const auto &d : s.devices) {
            if (written >= capacity)
                break;
            if (!d->reachable())
                continue;
            VdDeviceInfo &info = devices[written];
            std::memset(&info, 0, sizeof info);
            info.deviceIndex = uint32_t(written);
            info.interfaceType = 1;
            copyText(info.vendorName, sizeof info.vendorName, "VD Vision");
            copyText(info.productName, sizeof info.productName, d->cfg.productName);
            copyText(info.deviceVersion, sizeof info.deviceVersion, "SIM 1.0");
            copyText(info.serialNumber, sizeof info.serialNumber, d->cfg.serialNumber);
            info.macAddress[0] = 0x02;   // locally administered
            info.macAddress[1] = 0x56;
            info.macAddress[2] = 0x44;
            info.macAddress[3] = uint8_t(d->key >> 16);
            info.macAddress[4] = uint8_t(d->key >> 8);
            info.macAddress[5] = uint8_t(d->key);
            info.ipAddress = (192u << 24) | (168u << 16) | (1u << 8) | ((10u + d->key) & 0xFFu);
            info.deviceKey = d->key;
            ++written;
        }
        *count = written;
        return VD_OK;
    });
}

VdStatus VdInit(const VdDeviceInfo *device, int, int, VdHandle *handle)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        if (!device || !handle)
            return VD_ERR_BAD_ARGUMENT;
        const std::string serial(device->serialNumber, strnlen(device->serialNumber, VD_DEVICE_SERIAL_LEN));
        int id = 0;
        const VdStatus st = s.open(serial, id);
        if (st == VD_OK)
            *handle = id;
        return st;
    });
}

VdStatus VdUnInit(VdHandle handle)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus { return s.unInit(handle); });
}

VdStatus VdSetConnectionStatusCallback(VdHandle handle, VdConnectionStatusCallback callback, void *context)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        std::unique_lock<std::mutex> lk(s.mu);
        std::shared_ptr<Handle> h;
        const VdStatus st = s.lookup(handle, h);
        if (st != VD_OK)
            return st;
        if (callback && h->closed)
            return VD_ERR_BAD_HANDLE;
        h->statusCb = callback;
        h->statusCtx = callback ? context : nullptr;
        if (!callback) {
            const int own = Simulator::ownCallbacks(h.get(), true);
            h->cv.wait(lk, [&] { return h->statusInFlight <= own; });
        }
        return VD_OK;
    });
}

VdStatus VdSetCallbackFunction(VdHandle handle, VdFrameCallback callback, void *context, VdFrameCallback *previous)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        std::unique_lock<std::mutex> lk(s.mu);
        std::shared_ptr<Handle> h;
        const VdStatus st = s.lookup(handle, h);
        if (st != VD_OK)
            return st;
        if (callback && h->closed)
            return VD_ERR_BAD_HANDLE;
        if (previous)
            *previous = h->frameCb;
        h->frameCb = callback;
        h->frameCtx = callback ? context : nullptr;
        h->cv.notify_all();
        if (!callback)
            s.drainFrames(lk, *h);
        return VD_OK;
    });
}

VdStatus VdGetCapability(VdHandle handle, VdCapability *capability)
{
    return onReachable(__func__, handle, capability != nullptr, [&](Handle &h) -> VdStatus {
        const DeviceConfig &c = h.dev->cfg;
        VdCapability cap;
        std::memset(&cap, 0, sizeof cap);
        cap.structVersion = 1;
        cap.analogGainMin = c.gainMin;
        cap.analogGainMax = c.gainMax;
        cap.lineTimeNs = int32_t(std::lround(c.lineTimeUs * 1000.0));
        cap.exposureMin = c.exposureMin;
        cap.exposureMax = c.exposureMax;
        cap.maxHeight = c.sensorHeight;
        cap.minWidth = 2;
        cap.maxWidth = c.sensorWidth;
        cap.gammaMin = c.gammaMin;
        cap.gammaMax = c.gammaMax;
        cap.contrastMin = c.contrastMin;
        cap.contrastMax = c.contrastMax;
        cap.sharpnessMin = c.sharpnessMin;
        cap.sharpnessMax = c.sharpnessMax;
        cap.monoSensor = c.mono ? 1 : 0;
        *capability = cap;
        return VD_OK;
    });
}

VdStatus VdGetImageResolution(VdHandle handle, VdResolution *resolution)
{
    return onReachable(__func__, handle, resolution != nullptr, [&](Handle &h) -> VdStatus {
        const DeviceConfig &c = h.dev->cfg;
        VdResolution res;
        std::memset(&res, 0, sizeof res);
        res.offsetX = 0;
        res.offsetY = 0;
        res.sensorWidth = c.sensorWidth;
        res.sensorHeight = c.sensorHeight;
        res.width = c.sensorWidth;
        res.height = c.frameHeight;
        *resolution = res;
        return VD_OK;
    });
}

VdStatus VdGetExposureLineTime(VdHandle handle, double *lineTime)
{
    return onReachable(__func__, handle, lineTime != nullptr, [&](Handle &h) -> VdStatus {
        *lineTime = h.dev->cfg.lineTimeUs;
        return VD_OK;
    });
}

VdStatus VdPlay(VdHandle handle)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus { return s.play(handle); });
}

VdStatus VdStop(VdHandle handle)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus { return s.stop(handle); });
}

VdStatus VdImageProcess(VdHandle handle, unsigned char *raw, unsigned char *out, VdFrameHead *head)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        if (!raw || !out || !head)
            return VD_ERR_BAD_ARGUMENT;
        std::shared_ptr<Handle> h;
        RawBuffer *b = nullptr;
        RawBuffer frame;   // metadata only
        {
            std::lock_guard<std::mutex> lk(s.mu);
            const VdStatus st = s.lookup(handle, h);
            if (st != VD_OK)
                return st;
            for (RawBuffer &candidate : h->pool)
                if (candidate.lent && candidate.data.get() == raw)
                    b = &candidate;
            if (!b)
                return VD_ERR_BAD_ARGUMENT;
            ++b->busy;   // keeps the pixels from being refilled while read
            frame.frameId = b->frameId;
            frame.width = b->width;
            frame.height = b->height;
            frame.format = b->format;
            frame.mono = b->mono;
            frame.flags = b->flags;
            frame.processStatus = b->processStatus;
            frame.byteCountAfterProcess = b->byteCountAfterProcess;
        }
        struct Unbusy {
            Simulator &s;
            Handle &h;
            RawBuffer &b;
            ~Unbusy()
            {
                std::lock_guard<std::mutex> lk(s.mu);
                --b.busy;
                h.cv.notify_all();
            }
        } unbusy{s, *h, *b};

        const size_t capacity = head->byteCount;
        const size_t written = processRaw(raw, frame.width, frame.height, frame.mono, frame.format, head->width,
                                          head->height, out, capacity);
        if (capacity > written)
            std::memset(out + written, 0, capacity - written);
        if (capacity >= 4) {
            out[0] = uint8_t(frame.frameId);
            out[1] = uint8_t(frame.frameId >> 8);
            out[2] = uint8_t(frame.frameId >> 16);
            out[3] = uint8_t(frame.frameId >> 24);
        }
        head->pixelFormat = frame.format;
        if (frame.flags & VDSIM_FRAME_BYTE_COUNT_AFTER_PROCESS)
            head->byteCount = frame.byteCountAfterProcess;
        return (frame.flags & VDSIM_FRAME_PROCESS_STATUS) ? VdStatus(frame.processStatus) : VD_OK;
    });
}

VdStatus VdReleaseImageBuffer(VdHandle handle, unsigned char *raw)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        if (!raw)
            return VD_ERR_BAD_ARGUMENT;
        return s.releaseBuffer(handle, raw);
    });
}

VdStatus VdSetMediaType(VdHandle handle, int mediaType)
{
    return onReachable(__func__, handle, true, [&](Handle &h) -> VdStatus {
        if (mediaType != VD_MEDIA_COLOR && mediaType != VD_MEDIA_MONO)
            return VD_ERR_UNSUPPORTED_FORMAT;
        h.dev->mediaType = mediaType;
        return VD_OK;
    });
}

VdStatus VdSetIspOutFormat(VdHandle handle, unsigned int format)
{
    return onReachable(__func__, handle, true, [&](Handle &h) -> VdStatus {
        if (format != VD_PIXEL_RGB8 && format != VD_PIXEL_MONO8)
            return VD_ERR_UNSUPPORTED_FORMAT;
        h.dev->ispOutFormat = format;
        return VD_OK;
    });
}

VdStatus VdSetExposureTime(VdHandle handle, double exposure)
{
    return onReachable(__func__, handle, true, [&](Handle &h) -> VdStatus {
        if (!std::isfinite(exposure) || exposure < 0)
            return VD_ERR_BAD_ARGUMENT;
        h.dev->exposureTime = exposure;
        return VD_OK;
    });
}

VdStatus VdSoftTrigger(VdHandle handle)
{
    return onReachable(__func__, handle, true, [&](Handle &h) -> VdStatus {
        if (!h.playing)
            return VD_ERR_NOT_PLAYING;
        ++h.dev->softTriggers;
        if (h.dev->triggerMode == VD_TRIGGER_SOFTWARE) {
            ++h.pendingTriggers;
            h.cv.notify_all();
        }
        return VD_OK;
    });
}

VdStatus VdSetTriggerMode(VdHandle handle, int mode)
{
    return onReachable(__func__, handle, true, [&](Handle &h) -> VdStatus {
        if (mode != VD_TRIGGER_CONTINUOUS && mode != VD_TRIGGER_SOFTWARE)
            return VD_ERR_BAD_ARGUMENT;
        if (h.dev->triggerMode != mode) {
            h.dev->triggerMode = mode;
            h.pendingTriggers = 0;
            h.cv.notify_all();
        }
        return VD_OK;
    });
}

VdStatus VdGetTriggerMode(VdHandle handle, int *mode)
{
    return onReachable(__func__, handle, mode != nullptr, [&](Handle &h) -> VdStatus {
        *mode = h.dev->triggerMode;
        return VD_OK;
    });
}

} // extern "C"
