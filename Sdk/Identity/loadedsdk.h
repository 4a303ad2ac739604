// Which camera SDK library this process has loaded, and whether it is the
// simulated one. Asks the dynamic linker rather than the SDK, so that it
// works on any build of it: the SDK library is the loaded object that
// defines VdSdkInit itself, and only the simulator also defines
// VdSimIdentity. Header-only and plain C++, so that vdcamsdk-check (which
// uses nothing but the SDK) and the Qt hosts share it.
#pragma once

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#if defined(__linux__)
#include <dlfcn.h>
#include <link.h>
#endif

namespace vdsdk {

struct LoadedSdk {
    std::string path;        // as the dynamic linker loaded it; empty: no SDK library found
    bool simulated = false;  // it answers VdSimIdentity
    std::string identity;    // what the simulator says it is; empty for any other SDK
};

#if defined(__linux__)
namespace detail {

inline int collectName(dl_phdr_info *info, size_t, void *data)
{
    if (info->dlpi_name && info->dlpi_name[0])
        static_cast<std::vector<std::string> *>(data)->push_back(info->dlpi_name);
    return 0;
}

// The symbol, if the object called name defines it (not one of its dependencies).
inline void *definedIn(void *handle, const char *name, const char *symbol)
{
    void *address = dlsym(handle, symbol);
    Dl_info where;
    if (!address || !dladdr(address, &where) || !where.dli_fname || std::strcmp(where.dli_fname, name) != 0)
        return nullptr;
    return address;
}

} // namespace detail
#endif

// Safe on any thread; looks at the objects loaded when it is called (the
// SDK comes in with the plug-in that needs it, or at start with a program
// linked to it).
inline LoadedSdk findLoadedSdk()
{
    LoadedSdk sdk;
#if defined(__linux__)
    // Names first: the loader's lock is held during the walk.
    std::vector<std::string> names;
    dl_iterate_phdr(&detail::collectName, &names);
    for (const std::string &name : names) {
        void *handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (!handle)
            continue;
        if (detail::definedIn(handle, name.c_str(), "VdSdkInit")) {
            sdk.path = std::filesystem::path(name).lexically_normal().string();
            using Identity = const char *(*)();
            if (void *f = detail::definedIn(handle, name.c_str(), "VdSimIdentity")) {
                sdk.simulated = true;
                const char *text = reinterpret_cast<Identity>(f)();
                sdk.identity = text ? text : "";
            }
        }
        dlclose(handle);
        if (!sdk.path.empty())
            break;
    }
#endif
    return sdk;
}

// A function the loaded SDK library itself defines (the simulator's control
// functions, for one); null when there is no SDK library or it lacks it.
inline void *findSdkSymbol(const LoadedSdk &sdk, const char *symbol)
{
    void *address = nullptr;
#if defined(__linux__)
    if (sdk.path.empty())
        return nullptr;
    if (void *handle = dlopen(sdk.path.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
        address = detail::definedIn(handle, sdk.path.c_str(), symbol);
        if (!address) {   // loaded under another spelling of its path
            Dl_info where;
            void *any = dlsym(handle, symbol);
            if (any && dladdr(any, &where) && where.dli_fname
                && std::filesystem::path(where.dli_fname).lexically_normal().string() == sdk.path)
                address = any;
        }
        dlclose(handle);   // still loaded by whoever loaded it
    }
#else
    (void)sdk;
    (void)symbol;
#endif
    return address;
}

} // namespace vdsdk
