#include "loadedsdk.h"

#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include <psapi.h>
#else
#include <cstring>
#include <filesystem>

#include <dlfcn.h>
#include <link.h>
#endif

namespace vdsdk {
namespace {

using Identity = const char *(*)();

void describeSimulator(LoadedSdk &sdk, void *identity)
{
    if (!identity)
        return;
    sdk.simulated = true;
    const char *text = reinterpret_cast<Identity>(identity)();
    sdk.identity = text ? text : "";
}

#if defined(_WIN32)

std::string utf8(const wchar_t *text, int length)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], n, nullptr, nullptr);
    return out;
}

#else

int collectName(dl_phdr_info *info, size_t, void *data)
{
    if (info->dlpi_name && info->dlpi_name[0])
        static_cast<std::vector<std::string> *>(data)->push_back(info->dlpi_name);
    return 0;
}

// The symbol, if the object called name defines it (not one of its dependencies).
void *definedIn(void *handle, const char *name, const char *symbol)
{
    void *address = dlsym(handle, symbol);
    Dl_info where;
    if (!address || !dladdr(address, &where) || !where.dli_fname || std::strcmp(where.dli_fname, name) != 0)
        return nullptr;
    return address;
}

#endif

} // namespace

LoadedSdk findLoadedSdk()
{
    LoadedSdk sdk;
#if defined(_WIN32)
    // A DLL's export table is its own: GetProcAddress finds VdSdkInit only in
    // the module that defines it, not in one that merely imports it.
    std::vector<HMODULE> modules(256);
    DWORD needed = 0;
    const HANDLE process = GetCurrentProcess();
    while (EnumProcessModules(process, modules.data(), DWORD(modules.size() * sizeof(HMODULE)), &needed)
           && needed > modules.size() * sizeof(HMODULE))
        modules.resize(needed / sizeof(HMODULE));
    modules.resize(needed / sizeof(HMODULE));
    for (HMODULE module : modules) {
        if (!GetProcAddress(module, "VdSdkInit"))
            continue;
        wchar_t path[MAX_PATH * 4];
        const DWORD n = GetModuleFileNameW(module, path, DWORD(sizeof path / sizeof path[0]));
        sdk.path = utf8(path, int(n));
        describeSimulator(sdk, reinterpret_cast<void *>(GetProcAddress(module, "VdSimIdentity")));
        break;
    }
#else
    // Names first: the loader's lock is held during the walk.
    std::vector<std::string> names;
    dl_iterate_phdr(&collectName, &names);
    for (const std::string &name : names) {
        void *handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (!handle)
            continue;
        if (definedIn(handle, name.c_str(), "VdSdkInit")) {
            sdk.path = std::filesystem::path(name).lexically_normal().string();
            describeSimulator(sdk, definedIn(handle, name.c_str(), "VdSimIdentity"));
        }
        dlclose(handle);
        if (!sdk.path.empty())
            break;
    }
#endif
    return sdk;
}

void *findSdkSymbol(const LoadedSdk &sdk, const char *symbol)
{
    if (sdk.path.empty() || !symbol)
        return nullptr;
    void *address = nullptr;
#if defined(_WIN32)
    // Looked up among the modules loaded, never loaded anew.
    const int n = MultiByteToWideChar(CP_UTF8, 0, sdk.path.c_str(), -1, nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 1), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, sdk.path.c_str(), -1, &wide[0], n);
    if (HMODULE module = GetModuleHandleW(wide.c_str()))
        address = reinterpret_cast<void *>(GetProcAddress(module, symbol));
#else
    if (void *handle = dlopen(sdk.path.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
        address = definedIn(handle, sdk.path.c_str(), symbol);
        if (!address) {  // loaded under another spelling of its path
            Dl_info where;
            void *any = dlsym(handle, symbol);
            if (any && dladdr(any, &where) && where.dli_fname
                && std::filesystem::path(where.dli_fname).lexically_normal().string() == sdk.path)
                address = any;
        }
        dlclose(handle);  // still loaded by whoever loaded it
    }
#endif
    return address;
}

} // namespace vdsdk
