/* Control interface of the simulated VD camera SDK, for tests and tools.
 * Same library as vdcamsdk.h; safe from any thread. */
#ifndef VDSIM_H
#define VDSIM_H

#include "vdcamsdk.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Which fields of a VdSimFrame override the frame's defaults. */
enum {
    VDSIM_FRAME_WIDTH = 0x01,
    VDSIM_FRAME_HEIGHT = 0x02,
    VDSIM_FRAME_BYTE_COUNT = 0x04,
    VDSIM_FRAME_TIME_STAMP = 0x08,
    VDSIM_FRAME_PROCESS_STATUS = 0x10,
    VDSIM_FRAME_BYTE_COUNT_AFTER_PROCESS = 0x20
};

typedef struct VdSimFrame {
    uint32_t flags;                 /* VDSIM_FRAME_* */
    int32_t width;                  /* header width */
    int32_t height;                 /* header height */
    uint32_t byteCount;             /* header byte count before processing */
    uint32_t timeStamp;             /* header time stamp */
    int32_t processStatus;          /* what VdImageProcess returns for this frame */
    uint32_t byteCountAfterProcess; /* VdImageProcess leaves this byte count in the header */
} VdSimFrame;

/* Names this library as the simulated SDK, with its version. The vendor's
 * SDK has no such function: a tool that finds it beside VdSdkInit (dlsym)
 * knows that its cameras are simulated. */
VDCAMSDK_API const char *VdSimIdentity(void);
/* Replaces the device population (same schema as the configuration file).
 * Handles of devices that disappear behave as detached. A malformed text
 * changes nothing and returns VD_ERR_BAD_ARGUMENT. */
VDCAMSDK_API int VdSimConfigure(const char *json);
/* Same as VdSimConfigure with the text of the named file; relative scene and
 * frames paths in it start from the file's folder (VdSimConfigure: from the
 * working directory). */
VDCAMSDK_API int VdSimConfigureFile(const char *path);
/* Why the last configuration (call or VDCAMSDK_SIM_CONFIG) was refused,
 * naming the file and line where there is one; "" after one that was
 * applied. Valid until the calling thread's next call. */
VDCAMSDK_API const char *VdSimConfigureError(void);
/* Why there are no cameras: the file VDCAMSDK_SIM_CONFIG named could not be
 * used ("configuration FILE unusable: reason"), and the simulator presents
 * no camera rather than others. "" when the population in use is one that
 * was applied (a configuration, or the built-in one when none was named).
 * A host that was given a configuration fails with this reason. Valid until
 * the calling thread's next call. */
VDCAMSDK_API const char *VdSimPopulationError(void);
/* Back to the built-in population (two VD-XG line-scan cameras and one other). */
VDCAMSDK_API int VdSimConfigureDefault(void);
/* Link loss: stops the device's frames, sends message 0 with powerLost as
 * parameter, and removes it from enumeration. */
VDCAMSDK_API int VdSimLinkLost(const char *serial, unsigned int powerLost);
/* Link back: enumerable again; message 1 to a handle that still has a status callback. */
VDCAMSDK_API int VdSimLinkRestored(const char *serial);
/* Plug or unplug without a status message. */
VDCAMSDK_API int VdSimSetAttached(const char *serial, int attached);
/* Delivers one frame now through the open handle's frame callback, on an SDK
 * thread, and returns once the callback has returned: 0 if a callback ran.
 * frame may be null for the defaults. */
VDCAMSDK_API int VdSimPushFrame(const char *serial, const VdSimFrame *frame);
/* The next call of the named SDK function returns status without effect. */
VDCAMSDK_API int VdSimFailNext(const char *function, int status);
/* The next call of the named SDK function waits ms milliseconds after it is
 * counted and before it acts, so a test can hold a caller inside a call. */
VDCAMSDK_API int VdSimDelayNext(const char *function, int ms);
VDCAMSDK_API int VdSimCallCount(const char *function);
VDCAMSDK_API void VdSimResetCounters(void);
/* Calls, since the process started, that named a handle VdUnInit had
 * already released. */
VDCAMSDK_API int VdSimReleasedHandleCalls(void);
/* Raw buffers lent and not yet released, all handles. */
VDCAMSDK_API int VdSimOutstandingBuffers(void);
/* Device state: "open", "playing", "triggerMode", "mediaType", "ispOutFormat",
 * "exposureTime", "softTriggers", "framesDelivered", and more (see the README):
 * of the line "exposureUs", "linePeriodUs", "lineRate", "maxLineRate",
 * "webSpeed", "triggerRate", "missedTriggers", "partialFrames"; of a replay
 * "replayFrames" and "replayEnded" (1 once a replay without loop has
 * delivered its last frame, until the next VdPlay). */
VDCAMSDK_API int VdSimGetValue(const char *serial, const char *key, double *value);
/* Texts of a device: "settings", the {"paramsWrap": [...]} a host loads into
 * the camera (a recording's own settings, or those the configuration names),
 * as compact JSON; "settingsFile", the file it came from. "" when there are
 * none or no such device. Valid until the calling thread's next call. */
VDCAMSDK_API const char *VdSimGetText(const char *serial, const char *key);
/* Settings the SDK has no call for, as a camera's own controls would set
 * them: "gain" (analog gain, used within the device's range), "mirrorX",
 * "mirrorY" (non-zero flips a scene). */
VDCAMSDK_API int VdSimSetValue(const char *serial, const char *key, double value);

#ifdef __cplusplus
}
#endif

#endif
