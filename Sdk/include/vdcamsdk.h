/* C interface of the VD camera SDK.
 *
 * Every operation returns a 32-bit status: VD_OK (0) on success, one of the
 * negative VD_ERR_* codes otherwise. Operations after VdInit take the handle
 * it wrote. Every operation may be called from any thread.
 *
 * Callbacks run on threads of the SDK, never on the caller's thread. Once
 * VdSetCallbackFunction / VdSetConnectionStatusCallback with nulls, VdStop or
 * VdUnInit has returned, no callback for that handle is running or will
 * start; a call made from inside a callback does not wait for that same
 * callback.
 */
#ifndef VDCAMSDK_H
#define VDCAMSDK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(VDCAMSDK_BUILD)
#    define VDCAMSDK_API __declspec(dllexport)
#  elif defined(VDCAMSDK_RUNTIME_LINK)
     /* The caller defines these functions itself and passes each call on to
      * the DLL it loads when it runs; nothing is imported or exported. */
#    define VDCAMSDK_API
#  else
#    define VDCAMSDK_API __declspec(dllimport)
#  endif
#else
#  define VDCAMSDK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t VdStatus;
typedef int32_t VdHandle;

enum {
    VD_OK = 0,
    VD_ERR_NOT_INITIALISED = -1,   /* no VdSdkInit yet, or a handle that was never opened */
    VD_ERR_BAD_HANDLE = -2,        /* unknown or closed handle */
    VD_ERR_NO_DEVICE = -3,         /* device record names no attached device */
    VD_ERR_BUSY = -4,              /* device already open */
    VD_ERR_BAD_ARGUMENT = -5,      /* null pointer, bad size or value */
    VD_ERR_UNSUPPORTED_FORMAT = -6,/* output format or media type not offered */
    VD_ERR_NOT_PLAYING = -7,       /* soft trigger while acquisition is stopped */
    VD_ERR_LINK_DOWN = -8,         /* the device's link is lost or it was detached */
    VD_ERR_INTERNAL = -9           /* out of memory or another fault inside the SDK */
};

enum { VD_TRIGGER_CONTINUOUS = 0, VD_TRIGGER_SOFTWARE = 1 };
enum { VD_MEDIA_COLOR = 0, VD_MEDIA_MONO = 1 };

/* Output formats, GigE Vision pixel format codes. */
#define VD_PIXEL_RGB8 0x02180014u
#define VD_PIXEL_MONO8 0x01080001u

/* Connection status messages. */
enum { VD_MSG_LINK_LOST = 0, VD_MSG_LINK_RESTORED = 1 };

#define VD_DEVICE_TEXT_LEN 32
#define VD_DEVICE_SERIAL_LEN 36

/* One attached device, as enumeration reports it. 260 bytes. Texts are
 * NUL-terminated UTF-8 when shorter than their field; a text that fills its
 * field has no terminator. */
typedef struct VdDeviceInfo {
    uint32_t deviceIndex;                      /* 0   position in the enumeration */
    uint32_t interfaceType;                    /* 4   1 = GigE */
    char vendorName[24];                       /* 8 */
    char productName[VD_DEVICE_TEXT_LEN];      /* 32 */
    char deviceVersion[VD_DEVICE_TEXT_LEN];    /* 64 */
    char userDefinedName[VD_DEVICE_TEXT_LEN];  /* 96 */
    uint8_t macAddress[8];                     /* 128 */
    uint32_t ipAddress;                        /* 136 */
    uint32_t deviceKey;                        /* 140 identifies the device within the SDK */
    uint8_t reserved[80];                      /* 144 */
    char serialNumber[VD_DEVICE_SERIAL_LEN];   /* 224 */
} VdDeviceInfo;

/* Header of one grabbed frame. */
typedef struct VdFrameHead {
    uint32_t frameId;        /* 0   sequence number since VdPlay, from 1 */
    uint32_t byteCount;      /* 4   size of the processed image */
    int32_t width;           /* 8 */
    int32_t height;          /* 12 */
    uint32_t pixelFormat;    /* 16  output format of the processed image */
    uint32_t rawByteCount;   /* 20  size of the raw buffer */
    uint32_t rawFormat;      /* 24  0 mono, 1 Bayer RG */
    uint32_t timeStamp;      /* 28  milliseconds since the device was attached */
    uint32_t reserved[4];    /* 32 */
} VdFrameHead;

/* What the device can do. */
typedef struct VdCapability {
    int32_t structVersion;      /* 0 */
    int32_t reserved0[48];      /* 4 */
    int32_t analogGainMin;      /* 196 */
    int32_t analogGainMax;      /* 200 */
    int32_t lineTimeNs;         /* 204 line time in nanoseconds */
    int32_t exposureMin;        /* 208 in lines */
    int32_t exposureMax;        /* 212 in lines */
    int32_t maxHeight;          /* 216 */
    int32_t minWidth;           /* 220 */
    int32_t maxWidth;           /* 224 */
    int32_t reserved1[13];      /* 228 */
    int32_t gammaMin;           /* 280 */
    int32_t gammaMax;           /* 284 */
    int32_t contrastMin;        /* 288 */
    int32_t contrastMax;        /* 292 */
    int32_t sharpnessMin;       /* 296 */
    int32_t sharpnessMax;       /* 300 */
    int32_t monoSensor;         /* 304 non-zero for a monochrome sensor */
    int32_t reserved2[3];       /* 308 */
} VdCapability;

/* Current image geometry. */
typedef struct VdResolution {
    int32_t reserved0[13];      /* 0 */
    int32_t offsetX;            /* 52 */
    int32_t offsetY;            /* 56 */
    int32_t sensorWidth;        /* 60 */
    int32_t sensorHeight;       /* 64 */
    int32_t width;              /* 68 */
    int32_t height;             /* 72 frame height in lines */
    int32_t reserved1;          /* 76 */
} VdResolution;

/* The records are the vendor's DLL's: each size and each offset the driver
 * reads is checked wherever this header is compiled, so that a change that
 * would no longer match the DLL fails to build, on Windows (LLP64: long is
 * 32 bits there) as on Linux (LP64). The records use fixed-width types only;
 * the callbacks' int and unsigned int are 32 bits on both. */
#if defined(__cplusplus)
#  define VDCAMSDK_ABI_CHECK(condition, text) static_assert(condition, text)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#  define VDCAMSDK_ABI_CHECK(condition, text) _Static_assert(condition, text)
#endif
#ifdef VDCAMSDK_ABI_CHECK
VDCAMSDK_ABI_CHECK(sizeof(void *) == 8, "the SDK is a 64-bit library");
VDCAMSDK_ABI_CHECK(sizeof(int) == 4 && sizeof(unsigned int) == 4, "callback arguments are 32 bits");
VDCAMSDK_ABI_CHECK(sizeof(double) == 8, "exposure and line time are IEEE doubles");
VDCAMSDK_ABI_CHECK(sizeof(VdDeviceInfo) == 260, "device record is 260 bytes");
VDCAMSDK_ABI_CHECK(offsetof(VdDeviceInfo, productName) == 32, "product name at 32");
VDCAMSDK_ABI_CHECK(offsetof(VdDeviceInfo, deviceVersion) == 64, "device version at 64");
VDCAMSDK_ABI_CHECK(offsetof(VdDeviceInfo, serialNumber) == 224, "serial number at 224");
VDCAMSDK_ABI_CHECK(sizeof(VdFrameHead) == 48, "frame header is 48 bytes");
VDCAMSDK_ABI_CHECK(offsetof(VdFrameHead, byteCount) == 4, "byte count at 4");
VDCAMSDK_ABI_CHECK(offsetof(VdFrameHead, width) == 8, "width at 8");
VDCAMSDK_ABI_CHECK(offsetof(VdFrameHead, height) == 12, "height at 12");
VDCAMSDK_ABI_CHECK(offsetof(VdFrameHead, timeStamp) == 28, "time stamp at 28");
VDCAMSDK_ABI_CHECK(sizeof(VdCapability) == 320, "capability record is 320 bytes");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, analogGainMin) == 196, "gain min at 196");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, analogGainMax) == 200, "gain max at 200");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, exposureMin) == 208, "exposure min at 208");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, exposureMax) == 212, "exposure max at 212");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, maxHeight) == 216, "max height at 216");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, maxWidth) == 224, "max width at 224");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, gammaMin) == 280, "gamma min at 280");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, gammaMax) == 284, "gamma max at 284");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, contrastMin) == 288, "contrast min at 288");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, contrastMax) == 292, "contrast max at 292");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, sharpnessMin) == 296, "sharpness min at 296");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, sharpnessMax) == 300, "sharpness max at 300");
VDCAMSDK_ABI_CHECK(offsetof(VdCapability, monoSensor) == 304, "mono flag at 304");
VDCAMSDK_ABI_CHECK(sizeof(VdResolution) == 80, "resolution record is 80 bytes");
VDCAMSDK_ABI_CHECK(offsetof(VdResolution, offsetX) == 52, "x offset at 52");
VDCAMSDK_ABI_CHECK(offsetof(VdResolution, offsetY) == 56, "y offset at 56");
VDCAMSDK_ABI_CHECK(offsetof(VdResolution, width) == 68, "width at 68");
VDCAMSDK_ABI_CHECK(offsetof(VdResolution, height) == 72, "height at 72");
#endif

/* handle, raw buffer (lent until VdReleaseImageBuffer), header, context */
typedef void (*VdFrameCallback)(int handle, unsigned char *data, VdFrameHead *head, void *context);
/* handle, message (VD_MSG_*), parameter (loss: 1 power lost, 0 network failure), context */
typedef void (*VdConnectionStatusCallback)(int handle, unsigned int msg, unsigned int param, void *context);

VDCAMSDK_API VdStatus VdSdkInit(int language);
/* count: in, capacity of devices; out, number of records written. */
VDCAMSDK_API VdStatus VdEnumerateDevice(VdDeviceInfo *devices, int *count);
/* Opens the attached device that the record names; arg1 and arg2 are reserved (-1). */
VDCAMSDK_API VdStatus VdInit(const VdDeviceInfo *device, int arg1, int arg2, VdHandle *handle);
VDCAMSDK_API VdStatus VdUnInit(VdHandle handle);
VDCAMSDK_API VdStatus VdSetConnectionStatusCallback(VdHandle handle, VdConnectionStatusCallback callback, void *context);
/* previous, if not null, receives the callback that was registered before. */
VDCAMSDK_API VdStatus VdSetCallbackFunction(VdHandle handle, VdFrameCallback callback, void *context, VdFrameCallback *previous);
VDCAMSDK_API VdStatus VdGetCapability(VdHandle handle, VdCapability *capability);
VDCAMSDK_API VdStatus VdGetImageResolution(VdHandle handle, VdResolution *resolution);
/* Line time in microseconds. */
VDCAMSDK_API VdStatus VdGetExposureLineTime(VdHandle handle, double *lineTime);
VDCAMSDK_API VdStatus VdPlay(VdHandle handle);
VDCAMSDK_API VdStatus VdStop(VdHandle handle);
/* Turns a raw buffer into the current output format. out must hold
 * head->byteCount bytes; at most that many are written. */
VDCAMSDK_API VdStatus VdImageProcess(VdHandle handle, unsigned char *raw, unsigned char *out, VdFrameHead *head);
VDCAMSDK_API VdStatus VdReleaseImageBuffer(VdHandle handle, unsigned char *raw);
VDCAMSDK_API VdStatus VdSetMediaType(VdHandle handle, int mediaType);
VDCAMSDK_API VdStatus VdSetIspOutFormat(VdHandle handle, unsigned int format);
VDCAMSDK_API VdStatus VdSetExposureTime(VdHandle handle, double exposure);
VDCAMSDK_API VdStatus VdSoftTrigger(VdHandle handle);
VDCAMSDK_API VdStatus VdSetTriggerMode(VdHandle handle, int mode);
VDCAMSDK_API VdStatus VdGetTriggerMode(VdHandle handle, int *mode);

#ifdef __cplusplus
}
#endif

#endif
