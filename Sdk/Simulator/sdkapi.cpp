// The C entry points of the SDK. Each counts its call, honours a planned
// failure, refuses invalid arguments, and turns any C++ exception into a
// status so that none crosses the C interface; the simulator does the rest.
#include "simulator.h"

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

using namespace vdsim;

namespace {

template <typename F>
VdStatus entry(const char *name, F &&body) noexcept
{
    try {
        Simulator &s = Simulator::instance();
        VdStatus planned = VD_OK;
        int delayMs = 0;
        const bool fail = s.calls().count(name, planned, delayMs);
        if (delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        if (fail)
            return planned;
        return body(s);
    } catch (...) {
        return VD_ERR_INTERNAL;
    }
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
        int written = 0;
        const VdStatus st = s.enumerate(devices, *count, written);
        if (st == VD_OK)
            *count = written;
        return st;
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
    return entry(__func__, [&](Simulator &s) -> VdStatus { return s.setStatusCallback(handle, callback, context); });
}

VdStatus VdSetCallbackFunction(VdHandle handle, VdFrameCallback callback, void *context, VdFrameCallback *previous)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        VdFrameCallback before = nullptr;
        const VdStatus st = s.setFrameCallback(handle, callback, context, before);
        if (st == VD_OK && previous)
            *previous = before;
        return st;
    });
}

VdStatus VdGetCapability(VdHandle handle, VdCapability *capability)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        if (!capability)
            return VD_ERR_BAD_ARGUMENT;
        return s.capability(handle, *capability);
    });
}

VdStatus VdGetImageResolution(VdHandle handle, VdResolution *resolution)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        if (!resolution)
            return VD_ERR_BAD_ARGUMENT;
        return s.resolution(handle, *resolution);
    });
}

VdStatus VdGetExposureLineTime(VdHandle handle, double *lineTime)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        if (!lineTime)
            return VD_ERR_BAD_ARGUMENT;
        return s.lineTime(handle, *lineTime);
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
        return s.processImage(handle, raw, out, *head);
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

// The values of the setters are the camera's to judge, after the handle.
VdStatus VdSetMediaType(VdHandle handle, int mediaType)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus { return s.setMediaType(handle, mediaType); });
}

VdStatus VdSetIspOutFormat(VdHandle handle, unsigned int format)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus { return s.setIspOutFormat(handle, format); });
}

VdStatus VdSetExposureTime(VdHandle handle, double exposure)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus { return s.setExposureTime(handle, exposure); });
}

VdStatus VdSoftTrigger(VdHandle handle)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus { return s.softTrigger(handle); });
}

VdStatus VdSetTriggerMode(VdHandle handle, int mode)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus { return s.setTriggerMode(handle, mode); });
}

VdStatus VdGetTriggerMode(VdHandle handle, int *mode)
{
    return entry(__func__, [&](Simulator &s) -> VdStatus {
        if (!mode)
            return VD_ERR_BAD_ARGUMENT;
        return s.triggerMode(handle, *mode);
    });
}

} // extern "C"
