#include "sharedlibrary.h"

#include <utility>

#if defined(_WIN32)
#include "winstrings.h"

#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vdplatform {
namespace {
#if defined(_WIN32)
constexpr const char *kSeparators = "\\/";
#else
constexpr const char *kSeparators = "/";
#endif
} // namespace

SharedLibrary::~SharedLibrary()
{
    close();
}

SharedLibrary::SharedLibrary(SharedLibrary &&other) noexcept
    : handle(std::exchange(other.handle, nullptr)), file(std::move(other.file)), error(std::move(other.error))
{
}

SharedLibrary &SharedLibrary::operator=(SharedLibrary &&other) noexcept
{
    if (this != &other) {
        close();
        handle = std::exchange(other.handle, nullptr);
        file = std::move(other.file);
        error = std::move(other.error);
    }
    return *this;
}

#if defined(_WIN32)

bool SharedLibrary::open(const std::string &path)
{
    close();
    file = path;
    error.clear();
    // No message box for a DLL that cannot be loaded: the caller reports it.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExW(widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD code = GetLastError();
    SetErrorMode(previous);
    if (!module) {
        error = systemMessage(code);
        // Some messages name the file as an insert: "%1 is not a valid Win32 application".
        for (size_t at = error.find("%1"); at != std::string::npos; at = error.find("%1", at + path.size()))
            error.replace(at, 2, path);
        return false;
    }
    handle = reinterpret_cast<void *>(module);
    return true;
}

void *SharedLibrary::symbol(const char *name)
{
    if (!handle) {
        error = "no library loaded";
        return nullptr;
    }
    FARPROC address = GetProcAddress(static_cast<HMODULE>(handle), name);
    if (!address) {
        error = systemMessage(GetLastError());
        return nullptr;
    }
    return reinterpret_cast<void *>(address);
}

void SharedLibrary::close()
{
    if (handle)
        FreeLibrary(static_cast<HMODULE>(handle));
    handle = nullptr;
}

std::string moduleFileOf(const void *address)
{
    HMODULE module = nullptr;
    // No reference is taken: the module is only named.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return std::string();
    return moduleFileName(module);
}

#else

bool SharedLibrary::open(const std::string &path)
{
    close();
    file = path;
    error.clear();
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        error = why ? why : "unknown error";
        return false;
    }
    return true;
}

void *SharedLibrary::symbol(const char *name)
{
    if (!handle) {
        error = "no library loaded";
        return nullptr;
    }
    dlerror();
    void *address = dlsym(handle, name);
    if (const char *why = dlerror()) {
        error = why;
        return nullptr;
    }
    if (!address)
        error = std::string(name) + " is null";
    return address;
}

void SharedLibrary::close()
{
    if (handle)
        dlclose(handle);
    handle = nullptr;
}

std::string moduleFileOf(const void *address)
{
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname || !info.dli_fname[0])
        return std::string();
    return info.dli_fname;
}

#endif

std::string moduleDirOf(const void *address)
{
    const std::string path = moduleFileOf(address);
    const size_t cut = path.find_last_of(kSeparators);
    if (cut == std::string::npos)
        return std::string();
    // The root keeps its separator.
    return path.substr(0, cut == 0 ? 1 : cut);
}

} // namespace vdplatform
