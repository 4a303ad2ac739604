#include "modulepin.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vdplatform {

#if defined(_WIN32)

bool pinModuleOf(const void *address)
{
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                              static_cast<LPCWSTR>(address), &module)
           != 0;
}

#else

bool pinModuleOf(const void *address)
{
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname)
        return false;
    // Opening a loaded library again with RTLD_NODELETE marks it for good;
    // the reference taken here is handed back at once.
    void *handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

#endif

} // namespace vdplatform
