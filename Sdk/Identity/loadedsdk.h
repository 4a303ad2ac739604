// Which camera SDK library this process has loaded, and whether it is the
// simulated one. Asks the system's loader rather than the SDK, so that it
// works on any build of it: the SDK library is the loaded module that
// defines VdSdkInit itself, and only the simulator also defines
// VdSimIdentity. Plain C++, so that vdcamsdk-check (which uses nothing but
// the SDK) and the Qt hosts share it.
#pragma once

#include <string>

namespace vdsdk {

struct LoadedSdk {
    std::string path;        // as the loader loaded it (UTF-8 on Windows); empty: no SDK library found
    bool simulated = false;  // it answers VdSimIdentity
    std::string identity;    // what the simulator says it is; empty for any other SDK
};

// Safe on any thread; looks at the modules loaded when it is called (the
// SDK comes in with the plug-in that needs it, or at start with a program
// linked to it).
LoadedSdk findLoadedSdk();

// A function the loaded SDK library itself defines (the simulator's control
// functions, for one); null when there is no SDK library or it lacks it.
void *findSdkSymbol(const LoadedSdk &sdk, const char *symbol);

} // namespace vdsdk
