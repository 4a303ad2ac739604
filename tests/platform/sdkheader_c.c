/* The SDK's header as a C program sees it: its ABI checks run in C too, and
 * the sizes come back for the test to compare with C++'s. */
#include "vdcamsdk.h"

size_t vandrelTestCRecordSize(int which);

size_t vandrelTestCRecordSize(int which)
{
    switch (which) {
    case 0: return sizeof(VdDeviceInfo);
    case 1: return sizeof(VdFrameHead);
    case 2: return sizeof(VdCapability);
    case 3: return sizeof(VdResolution);
    case 4: return offsetof(VdDeviceInfo, serialNumber);
    case 5: return offsetof(VdFrameHead, timeStamp);
    case 6: return offsetof(VdCapability, monoSensor);
    case 7: return offsetof(VdResolution, height);
    default: return 0;
    }
}
