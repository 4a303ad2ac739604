// A library for the platform tests to load, look into, pin and unload.
#include "modulepin.h"

#if defined(_WIN32)
#define TESTMODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define TESTMODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
int counter = 0;
}

TESTMODULE_EXPORT int vandrelTestCount()
{
    return ++counter;
}

// As the frame pool does: the module pins itself by one of its addresses.
TESTMODULE_EXPORT bool vandrelTestPinSelf()
{
    return vdplatform::pinModuleOf(reinterpret_cast<const void *>(&vandrelTestCount));
}
