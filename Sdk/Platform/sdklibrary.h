// A camera SDK library loaded by file, with every function of vdcamsdk.h
// resolved from it: how a module that does not link the SDK reaches it.
#pragma once

#include "sharedlibrary.h"

#include "vdcamsdk.h"

#include <string>

// Every function of the SDK's C interface, in the header's order.
#define VDSDK_FOR_EACH_FUNCTION(X)                                                                                 \
    X(VdSdkInit)                                                                                                   \
    X(VdEnumerateDevice)                                                                                           \
    X(VdInit)                                                                                                      \
    X(VdUnInit)                                                                                                    \
    X(VdSetConnectionStatusCallback)                                                                               \
    X(VdSetCallbackFunction)                                                                                       \
    X(VdGetCapability)                                                                                             \
    X(VdGetImageResolution)                                                                                        \
    X(VdGetExposureLineTime)                                                                                       \
    X(VdPlay)                                                                                                      \
    X(VdStop)                                                                                                      \
    X(VdImageProcess)                                                                                              \
    X(VdReleaseImageBuffer)                                                                                        \
    X(VdSetMediaType)                                                                                              \
    X(VdSetIspOutFormat)                                                                                           \
    X(VdSetExposureTime)                                                                                           \
    X(VdSoftTrigger)                                                                                               \
    X(VdSetTriggerMode)                                                                                            \
    X(VdGetTriggerMode)

namespace vdsdk {

struct SdkFunctions {
#define VDSDK_POINTER(name) decltype(&::name) name = nullptr;
    VDSDK_FOR_EACH_FUNCTION(VDSDK_POINTER)
#undef VDSDK_POINTER
};

// Loaded once and kept: the functions stay valid while the object lives.
// Not thread-safe; callers load it once and then only read it.
class SdkLibrary
{
public:
    // Loads fileName from folder and resolves every function. On failure
    // nothing stays loaded, and errorString() says in one line which file,
    // where, and what is wrong with it.
    bool load(const std::string &folder, const std::string &fileName);
    bool isLoaded() const { return loaded; }
    const SdkFunctions &functions() const { return table; }
    // The file as it was loaded.
    const std::string &path() const { return library.path(); }
    const std::string &errorString() const { return error; }

private:
    vdplatform::SharedLibrary library;
    SdkFunctions table;
    bool loaded = false;
    std::string error;
};

} // namespace vdsdk
