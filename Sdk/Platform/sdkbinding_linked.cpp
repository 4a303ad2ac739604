// The SDK linked: the dynamic linker has loaded it before this code runs.
#include "sdkbinding.h"

namespace vdsdk {

const char *sdkFileName()
{
    return VDCAMSDK_FILE_NAME;
}

bool sdkAvailable()
{
    return true;
}

} // namespace vdsdk
