// A stand-in for a vendor's SDK: the same C interface without the
// simulator's own query. Put in front of the simulated SDK (LD_PRELOAD), it
// passes every call on to it, so the cameras behave as simulated ones do,
// and only the device version in the records is its own. What the tools say
// of it is what they say of a vendor's SDK.
#include "vdcamsdk.h"

#include <dlfcn.h>

#include <cstring>

namespace {

// The same function of the next library in the search order: the simulator.
template <typename F>
F next(F, const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

#define VANDREL_FORWARD(name, params, args)                                                                     \
    VdStatus name params                                                                                        \
    {                                                                                                           \
        static const auto f = next(&name, #name);                                                              \
        return f ? f args : VD_ERR_INTERNAL;                                                                    \
    }

extern "C" {

VdStatus VdEnumerateDevice(VdDeviceInfo *devices, int *count)
{
    static const auto f = next(&VdEnumerateDevice, "VdEnumerateDevice");
    if (!f)
        return VD_ERR_INTERNAL;
    const VdStatus st = f(devices, count);
    for (int i = 0; st == VD_OK && devices && count && i < *count; ++i)
        std::strcpy(devices[i].deviceVersion, "FW 3.2.1-standin");
    return st;
}

VANDREL_FORWARD(VdSdkInit, (int language), (language))
VANDREL_FORWARD(VdInit, (const VdDeviceInfo *device, int arg1, int arg2, VdHandle *handle), (device, arg1, arg2, handle))
VANDREL_FORWARD(VdUnInit, (VdHandle handle), (handle))
VANDREL_FORWARD(VdSetConnectionStatusCallback, (VdHandle handle, VdConnectionStatusCallback callback, void *context),
                (handle, callback, context))
VANDREL_FORWARD(VdSetCallbackFunction,
                (VdHandle handle, VdFrameCallback callback, void *context, VdFrameCallback *previous),
                (handle, callback, context, previous))
VANDREL_FORWARD(VdGetCapability, (VdHandle handle, VdCapability *capability), (handle, capability))
VANDREL_FORWARD(VdGetImageResolution, (VdHandle handle, VdResolution *resolution), (handle, resolution))
VANDREL_FORWARD(VdGetExposureLineTime, (VdHandle handle, double *lineTime), (handle, lineTime))
VANDREL_FORWARD(VdPlay, (VdHandle handle), (handle))
VANDREL_FORWARD(VdStop, (VdHandle handle), (handle))
VANDREL_FORWARD(VdImageProcess, (VdHandle handle, unsigned char *raw, unsigned char *out, VdFrameHead *head),
                (handle, raw, out, head))
VANDREL_FORWARD(VdReleaseImageBuffer, (VdHandle handle, unsigned char *raw), (handle, raw))
VANDREL_FORWARD(VdSetMediaType, (VdHandle handle, int mediaType), (handle, mediaType))
VANDREL_FORWARD(VdSetIspOutFormat, (VdHandle handle, unsigned int format), (handle, format))
VANDREL_FORWARD(VdSetExposureTime, (VdHandle handle, double exposure), (handle, exposure))
VANDREL_FORWARD(VdSoftTrigger, (VdHandle handle), (handle))
VANDREL_FORWARD(VdSetTriggerMode, (VdHandle handle, int mode), (handle, mode))
VANDREL_FORWARD(VdGetTriggerMode, (VdHandle handle, int *mode), (handle, mode))

} // extern "C"
