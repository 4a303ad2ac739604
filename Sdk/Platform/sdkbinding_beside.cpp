// The SDK resolved at run time from the library beside this module: the
// SDK's C functions are defined here, each passing its call on.
#include "sdkbinding.h"

#include "sdklibrary.h"


namespace vdsdk {
namespace {

const SdkLibrary &sdkBeside()
{
    // Loaded once, never unloaded: SDK threads may run until the process ends.
    static const SdkLibrary *const library = [] {
        auto *sdk = new SdkLibrary;
        const std::string folder = vdplatform::moduleDirOf(reinterpret_cast<const void *>(&sdkBeside));
        if (!sdk->load(folder, VDCAMSDK_FILE_NAME)) {
            try {
                reportSdkUnavailable(sdk->errorString());
            } catch (...) {
                // Nothing may escape into the SDK's caller.
            }
        }
        return sdk;
    }();
    return *library;
}

template <typename F, typename... Args>
VdStatus forward(F SdkFunctions::*slot, Args... args)
{
    const SdkLibrary &sdk = sdkBeside();
    if (!sdk.isLoaded())
        return VD_ERR_NOT_INITIALISED;
    return (sdk.functions().*slot)(args...);
}

} // namespace

const char *sdkFileName()
{
    return VDCAMSDK_FILE_NAME;
}

bool sdkAvailable()
{
    return sdkBeside().isLoaded();
}

} // namespace vdsdk

using vdsdk::SdkFunctions;
using vdsdk::forward;

extern "C" {

VdStatus VdSdkInit(int language)
{
    return forward(&SdkFunctions::VdSdkInit, language);
}

VdStatus VdEnumerateDevice(VdDeviceInfo *devices, int *count)
{
    if (!vdsdk::sdkAvailable()) {
        // No library, no device: nothing is left for the caller to trust.
        if (count)
            *count = 0;
        return VD_ERR_NOT_INITIALISED;
    }
    return forward(&SdkFunctions::VdEnumerateDevice, devices, count);
}

VdStatus VdInit(const VdDeviceInfo *device, int arg1, int arg2, VdHandle *handle)
{
    return forward(&SdkFunctions::VdInit, device, arg1, arg2, handle);
}

VdStatus VdUnInit(VdHandle handle)
{
    return forward(&SdkFunctions::VdUnInit, handle);
}

VdStatus VdSetConnectionStatusCallback(VdHandle handle, VdConnectionStatusCallback callback, void *context)
{
    return forward(&SdkFunctions::VdSetConnectionStatusCallback, handle, callback, context);
}

VdStatus VdSetCallbackFunction(VdHandle handle, VdFrameCallback callback, void *context, VdFrameCallback *previous)
{
    return forward(&SdkFunctions::VdSetCallbackFunction, handle, callback, context, previous);
}

VdStatus VdGetCapability(VdHandle handle, VdCapability *capability)
{
    return forward(&SdkFunctions::VdGetCapability, handle, capability);
}

VdStatus VdGetImageResolution(VdHandle handle, VdResolution *resolution)
{
    return forward(&SdkFunctions::VdGetImageResolution, handle, resolution);
}

VdStatus VdGetExposureLineTime(VdHandle handle, double *lineTime)
{
    return forward(&SdkFunctions::VdGetExposureLineTime, handle, lineTime);
}

VdStatus VdPlay(VdHandle handle)
{
    return forward(&SdkFunctions::VdPlay, handle);
}

VdStatus VdStop(VdHandle handle)
{
    return forward(&SdkFunctions::VdStop, handle);
}

VdStatus VdImageProcess(VdHandle handle, unsigned char *raw, unsigned char *out, VdFrameHead *head)
{
    return forward(&SdkFunctions::VdImageProcess, handle, raw, out, head);
}

VdStatus VdReleaseImageBuffer(VdHandle handle, unsigned char *raw)
{
    return forward(&SdkFunctions::VdReleaseImageBuffer, handle, raw);
}

VdStatus VdSetMediaType(VdHandle handle, int mediaType)
{
    return forward(&SdkFunctions::VdSetMediaType, handle, mediaType);
}

VdStatus VdSetIspOutFormat(VdHandle handle, unsigned int format)
{
    return forward(&SdkFunctions::VdSetIspOutFormat, handle, format);
}

VdStatus VdSetExposureTime(VdHandle handle, double exposure)
{
    return forward(&SdkFunctions::VdSetExposureTime, handle, exposure);
}

VdStatus VdSoftTrigger(VdHandle handle)
{
    return forward(&SdkFunctions::VdSoftTrigger, handle);
}

VdStatus VdSetTriggerMode(VdHandle handle, int mode)
{
    return forward(&SdkFunctions::VdSetTriggerMode, handle, mode);
}

VdStatus VdGetTriggerMode(VdHandle handle, int *mode)
{
    return forward(&SdkFunctions::VdGetTriggerMode, handle, mode);
}

} // extern "C"
