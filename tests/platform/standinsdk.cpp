// A small camera SDK of its own, built as VDCAMSDK_X64.dll, for running
// vdcamsdk-check on Windows (under wine64 in CI) where the simulator, which
// needs Qt and OpenCV, cannot be linked. One colour VD-XG camera whose frames
// come from a thread per open handle, with the guarantees the check asks
// for: no callback after detaching, VdStop or VdUnInit has returned, and no
// such call made inside a callback waits for that callback.
#include "vdcamsdk.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 64;
constexpr auto kFramePeriod = std::chrono::milliseconds(10);

struct Handle {
    VdHandle id = 0;
    bool open = true;
    bool playing = false;
    int pendingTriggers = 0;
    uint32_t frameId = 0;
    VdFrameCallback frameCallback = nullptr;
    void *frameContext = nullptr;
    VdConnectionStatusCallback statusCallback = nullptr;
    void *statusContext = nullptr;
    int inCallback = 0;
    std::thread thread;
    std::set<unsigned char *> lent;
    std::chrono::steady_clock::time_point attached = std::chrono::steady_clock::now();
};

// One lock over everything; never held while a callback runs.
std::mutex lock;
std::condition_variable changed;
bool initialised = false;
bool deviceOpen = false;
// The camera's own settings, kept across opening and closing as a camera does.
int triggerMode = VD_TRIGGER_CONTINUOUS;
unsigned bytesPerPixel = 1;
VdHandle nextId = 1;
std::map<VdHandle, std::shared_ptr<Handle>> handles;

std::shared_ptr<Handle> find(VdHandle id)
{
    const auto it = handles.find(id);
    return it == handles.end() || !it->second->open ? nullptr : it->second;
}

// Callers other than the handle's own thread wait until no callback of it runs.
void waitOutCallbacks(std::unique_lock<std::mutex> &guard, const Handle &h)
{
    if (std::this_thread::get_id() == h.thread.get_id())
        return;
    changed.wait(guard, [&] { return h.inCallback == 0; });
}

bool frameDue(const Handle &h)
{
    return h.playing && h.frameCallback && (triggerMode == VD_TRIGGER_CONTINUOUS || h.pendingTriggers > 0);
}

void acquire(std::shared_ptr<Handle> h)
{
    std::unique_lock<std::mutex> guard(lock);
    while (h->open) {
        changed.wait_for(guard, kFramePeriod, [&] { return !h->open; });
        if (!h->open || !frameDue(*h))
            continue;
        if (triggerMode != VD_TRIGGER_CONTINUOUS)
            --h->pendingTriggers;
        auto *raw = new unsigned char[kWidth * kHeight];
        for (int i = 0; i < kWidth * kHeight; ++i)
            raw[i] = static_cast<unsigned char>((i + h->frameId) & 0xff);
        h->lent.insert(raw);
        VdFrameHead head{};
        head.frameId = ++h->frameId;
        head.byteCount = kWidth * kHeight * bytesPerPixel;
        head.width = kWidth;
        head.height = kHeight;
        head.pixelFormat = bytesPerPixel == 3 ? VD_PIXEL_RGB8 : VD_PIXEL_MONO8;
        head.rawByteCount = kWidth * kHeight;
        head.rawFormat = 0;
        head.timeStamp = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   std::chrono::steady_clock::now() - h->attached)
                                                   .count());
        const VdFrameCallback callback = h->frameCallback;
        void *const context = h->frameContext;
        ++h->inCallback;
        guard.unlock();
        callback(h->id, raw, &head, context);
        guard.lock();
        --h->inCallback;
        changed.notify_all();
    }
    for (unsigned char *raw : h->lent)
        delete[] raw;
    h->lent.clear();
}

// Ends a handle; from its own thread the thread is left to finish by itself.
void close(std::unique_lock<std::mutex> &guard, const std::shared_ptr<Handle> &h)
{
    h->open = false;
    h->frameCallback = nullptr;
    h->statusCallback = nullptr;
    deviceOpen = false;
    changed.notify_all();
    waitOutCallbacks(guard, *h);
    std::thread worker = std::move(h->thread);
    handles.erase(h->id);
    if (worker.get_id() == std::this_thread::get_id()) {
        worker.detach();
        return;
    }
    guard.unlock();
    worker.join();
    guard.lock();
}

template <typename F>
VdStatus withHandle(VdHandle id, F f)
{
    std::unique_lock<std::mutex> guard(lock);
    const std::shared_ptr<Handle> h = find(id);
    if (!h)
        return initialised ? VD_ERR_BAD_HANDLE : VD_ERR_NOT_INITIALISED;
    return f(guard, h);
}

} // namespace

extern "C" {

VdStatus VdSdkInit(int)
{
    std::lock_guard<std::mutex> guard(lock);
    initialised = true;
    return VD_OK;
}

VdStatus VdEnumerateDevice(VdDeviceInfo *devices, int *count)
{
    if (!devices || !count || *count < 0)
        return VD_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> guard(lock);
    if (!initialised)
        return VD_ERR_NOT_INITIALISED;
    if (*count == 0)
        return VD_OK;
    VdDeviceInfo &d = devices[0];
    std::memset(&d, 0, sizeof d);
    d.interfaceType = 1;
    std::strcpy(d.vendorName, "Stand-in");
    std::strcpy(d.productName, "VD-XG1K-C");
    std::strcpy(d.deviceVersion, "STANDIN 1.0");
    std::strcpy(d.serialNumber, "STANDIN0001");
    d.deviceKey = 0x5d1;
    *count = 1;
    return VD_OK;
}

VdStatus VdInit(const VdDeviceInfo *device, int, int, VdHandle *handle)
{
    if (!device || !handle)
        return VD_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> guard(lock);
    if (!initialised)
        return VD_ERR_NOT_INITIALISED;
    if (device->deviceKey != 0x5d1)
        return VD_ERR_NO_DEVICE;
    if (deviceOpen)
        return VD_ERR_BUSY;
    auto h = std::make_shared<Handle>();
    h->id = nextId++;
    handles[h->id] = h;
    deviceOpen = true;
    h->thread = std::thread(acquire, h);
    *handle = h->id;
    return VD_OK;
}

VdStatus VdUnInit(VdHandle handle)
{
    return withHandle(handle, [](std::unique_lock<std::mutex> &guard, const std::shared_ptr<Handle> &h) {
        close(guard, h);
        return VD_OK;
    });
}

VdStatus VdSetConnectionStatusCallback(VdHandle handle, VdConnectionStatusCallback callback, void *context)
{
    return withHandle(handle, [&](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &h) {
        // The link never changes, so no status callback is ever running.
        h->statusCallback = callback;
        h->statusContext = callback ? context : nullptr;
        return VD_OK;
    });
}

VdStatus VdSetCallbackFunction(VdHandle handle, VdFrameCallback callback, void *context, VdFrameCallback *previous)
{
    return withHandle(handle, [&](std::unique_lock<std::mutex> &guard, const std::shared_ptr<Handle> &h) {
        if (previous)
            *previous = h->frameCallback;
        h->frameCallback = callback;
        h->frameContext = callback ? context : nullptr;
        if (!callback)
            waitOutCallbacks(guard, *h);
        return VD_OK;
    });
}

VdStatus VdGetCapability(VdHandle handle, VdCapability *capability)
{
    if (!capability)
        return VD_ERR_BAD_ARGUMENT;
    return withHandle(handle, [&](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &) {
        std::memset(capability, 0, sizeof *capability);
        capability->structVersion = 1;
        capability->analogGainMin = 0;
        capability->analogGainMax = 16;
        capability->lineTimeNs = 10000;
        capability->exposureMin = 1;
        capability->exposureMax = 1000;
        capability->maxHeight = kHeight;
        capability->minWidth = kWidth;
        capability->maxWidth = kWidth;
        capability->gammaMax = 100;
        capability->contrastMax = 100;
        capability->sharpnessMax = 100;
        return VD_OK;
    });
}

VdStatus VdGetImageResolution(VdHandle handle, VdResolution *resolution)
{
    if (!resolution)
        return VD_ERR_BAD_ARGUMENT;
    return withHandle(handle, [&](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &) {
        std::memset(resolution, 0, sizeof *resolution);
        resolution->sensorWidth = resolution->width = kWidth;
        resolution->sensorHeight = resolution->height = kHeight;
        return VD_OK;
    });
}

VdStatus VdGetExposureLineTime(VdHandle handle, double *lineTime)
{
    if (!lineTime)
        return VD_ERR_BAD_ARGUMENT;
    return withHandle(handle, [&](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &) {
        *lineTime = 10.0;
        return VD_OK;
    });
}

VdStatus VdPlay(VdHandle handle)
{
    return withHandle(handle, [](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &h) {
        h->playing = true;
        changed.notify_all();
        return VD_OK;
    });
}

VdStatus VdStop(VdHandle handle)
{
    return withHandle(handle, [](std::unique_lock<std::mutex> &guard, const std::shared_ptr<Handle> &h) {
        h->playing = false;
        h->pendingTriggers = 0;
        waitOutCallbacks(guard, *h);
        return VD_OK;
    });
}

VdStatus VdImageProcess(VdHandle handle, unsigned char *raw, unsigned char *out, VdFrameHead *head)
{
    if (!raw || !out || !head)
        return VD_ERR_BAD_ARGUMENT;
    return withHandle(handle, [&](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &h) {
        if (!h->lent.count(raw))
            return VD_ERR_BAD_ARGUMENT;
        const uint64_t pixels = uint64_t(std::max(head->width, 0)) * uint64_t(std::max(head->height, 0));
        const unsigned bpp = pixels ? unsigned(head->byteCount / pixels) : 0;
        const uint64_t n = std::min<uint64_t>(head->byteCount, pixels * bpp);
        for (uint64_t i = 0; i < n; ++i)
            out[i] = raw[(i / std::max(bpp, 1u)) % (kWidth * kHeight)];
        return VD_OK;
    });
}

VdStatus VdReleaseImageBuffer(VdHandle handle, unsigned char *raw)
{
    return withHandle(handle, [&](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &h) {
        if (!h->lent.erase(raw))
            return VD_ERR_BAD_ARGUMENT;
        delete[] raw;
        return VD_OK;
    });
}

VdStatus VdSetMediaType(VdHandle handle, int mediaType)
{
    if (mediaType != VD_MEDIA_COLOR && mediaType != VD_MEDIA_MONO)
        return VD_ERR_UNSUPPORTED_FORMAT;
    return withHandle(handle, [](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &) { return VD_OK; });
}

VdStatus VdSetIspOutFormat(VdHandle handle, unsigned int format)
{
    if (format != VD_PIXEL_RGB8 && format != VD_PIXEL_MONO8)
        return VD_ERR_UNSUPPORTED_FORMAT;
    return withHandle(handle, [&](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &) {
        bytesPerPixel = format == VD_PIXEL_RGB8 ? 3 : 1;
        return VD_OK;
    });
}

VdStatus VdSetExposureTime(VdHandle handle, double)
{
    return withHandle(handle, [](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &) { return VD_OK; });
}

VdStatus VdSoftTrigger(VdHandle handle)
{
    return withHandle(handle, [](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &h) {
        if (!h->playing)
            return VD_ERR_NOT_PLAYING;
        ++h->pendingTriggers;
        changed.notify_all();
        return VD_OK;
    });
}

VdStatus VdSetTriggerMode(VdHandle handle, int mode)
{
    if (mode != VD_TRIGGER_CONTINUOUS && mode != VD_TRIGGER_SOFTWARE)
        return VD_ERR_BAD_ARGUMENT;
    return withHandle(handle, [&](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &h) {
        triggerMode = mode;
        h->pendingTriggers = 0;
        changed.notify_all();
        return VD_OK;
    });
}

VdStatus VdGetTriggerMode(VdHandle handle, int *mode)
{
    if (!mode)
        return VD_ERR_BAD_ARGUMENT;
    return withHandle(handle, [&](std::unique_lock<std::mutex> &, const std::shared_ptr<Handle> &) {
        *mode = triggerMode;
        return VD_OK;
    });
}

} // extern "C"
