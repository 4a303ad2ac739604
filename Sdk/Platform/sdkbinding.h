// How a module reaches the camera SDK's functions. Linked (Linux): the SDK
// is a library this module needs, found beside it through its run path, so
// it is loaded before any of this module's code runs. Resolved at run time
// (Windows): the SDK's functions are defined by this module itself and pass
// each call on to the SDK library found beside this module's own file,
// loaded at the first call. Windows looks for a DLL's imports in the
// program's folder and on PATH, never beside the plug-in, and a missing one
// would keep the plug-in from loading with no name given; resolved at run
// time, the plug-in loads, says what is missing and finds no camera.
#pragma once

#include <string>

namespace vdsdk {

// The SDK library's file name beside this module, as the build found it.
const char *sdkFileName();

// True when the SDK's functions can be called. Resolved at run time, this
// loads the library on first use, from any thread; when that fails every
// SDK function answers VD_ERR_NOT_INITIALISED (VdEnumerateDevice with no
// device) and reportSdkUnavailable has said why, once.
bool sdkAvailable();

// Defined by each module that resolves the SDK at run time (the plug-in
// logs it, vdcamsdk-check prints it): one line naming the file, where it
// was looked for and what went wrong. Called at most once per process, on
// the thread of the first SDK call.
void reportSdkUnavailable(const std::string &why);

} // namespace vdsdk
