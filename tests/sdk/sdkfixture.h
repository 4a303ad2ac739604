// Shared helpers of the SDK tests: a small population, deadline waits, and a
// frame consumer that behaves like a driver.
#pragma once

#include "vdcamsdk.h"
#include "vdsim.h"
#include "waituntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sdktest {

constexpr const char *kColour = "VDXGTESTC0001";
constexpr const char *kMono = "VDXGTESTM0002";
constexpr const char *kUnplugged = "VDXGTESTU0003";

// Small frames and a quick frame rate keep the suite fast.
inline const char *smallPopulation()
{
    return R"({"devices": [
      {"productName": "VD-XG4K-C", "serialNumber": "VDXGTESTC0001", "sensorWidth": 64, "sensorHeight": 256,
       "frameHeight": 16, "mono": false, "lineTimeUs": 12.5, "exposureMin": 3, "exposureMax": 5000,
       "gainMin": 1, "gainMax": 9, "gammaMin": 10, "gammaMax": 300, "contrastMin": -5, "contrastMax": 50,
       "sharpnessMin": 2, "sharpnessMax": 20, "frameRate": 100},
      {"productName": "VD-XG8K-M", "serialNumber": "VDXGTESTM0002", "sensorWidth": 96, "sensorHeight": 128,
       "frameHeight": 8, "mono": true, "frameRate": 100},
      {"productName": "VD-XG8K-M", "serialNumber": "VDXGTESTU0003", "attached": false}
    ]})";
}

inline void configure(const char *json = smallPopulation())
{
    ASSERT_EQ(VdSimConfigure(json), VD_OK);
    ASSERT_EQ(VdSdkInit(0), VD_OK);
    VdSimResetCounters();
}


inline VdDeviceInfo recordFor(const char *serial)
{
    VdDeviceInfo info;
    std::memset(&info, 0, sizeof info);
    std::memcpy(info.serialNumber, serial, std::min(std::strlen(serial), sizeof info.serialNumber));
    return info;
}

inline VdHandle openCamera(const char *serial)
{
    const VdDeviceInfo info = recordFor(serial);
    VdHandle h = -1;
    EXPECT_EQ(VdInit(&info, -1, -1, &h), VD_OK) << serial;
    return h;
}

inline double value(const char *serial, const char *key)
{
    double v = -12345;
    EXPECT_EQ(VdSimGetValue(serial, key, &v), VD_OK) << key;
    return v;
}

inline int threadCount()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/task")) {
        while (dirent *e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// What one frame callback saw.
struct FrameRecord {
    VdFrameHead headBefore;
    VdFrameHead headAfter;
    VdStatus processStatus;
    VdStatus releaseStatus;
    std::vector<unsigned char> raw;       // copy of the raw image when asked for
    std::vector<unsigned char> processed;   // the header's byte count as it was before processing
    bool guardIntact = true;                // nothing written past that byte count
    unsigned char *data = nullptr;
    std::thread::id thread;
};

// Consumes frames the way the driver does: process into a buffer of the
// header's byte count, give the raw buffer back.
struct Consumer {
    std::mutex mu;
    std::condition_variable cv;
    std::vector<FrameRecord> frames;
    std::atomic<bool> keepRaw{false};
    std::atomic<bool> release{true};
    size_t guard = 0;                     // bytes after the output that must stay untouched
    std::function<void(int)> inside;      // runs inside the callback, after processing

    static void callback(int handle, unsigned char *data, VdFrameHead *head, void *context)
    {
        auto *self = static_cast<Consumer *>(context);
        FrameRecord r;
        r.headBefore = *head;
        r.thread = std::this_thread::get_id();
        if (self->keepRaw)
            r.raw.assign(data, data + head->rawByteCount);
        r.data = data;
        const size_t size = head->byteCount;
        r.processed.assign(size + self->guard, 0xEE);
        r.processStatus = VdImageProcess(handle, data, r.processed.data(), head);
        r.headAfter = *head;
        for (size_t i = size; i < r.processed.size(); ++i)
            r.guardIntact = r.guardIntact && r.processed[i] == 0xEE;
        r.processed.resize(size);
        r.releaseStatus = self->release ? VdReleaseImageBuffer(handle, data) : VD_OK;
        if (self->inside)
            self->inside(handle);
        std::lock_guard<std::mutex> lk(self->mu);
        self->frames.push_back(std::move(r));
        self->cv.notify_all();
    }

    size_t count()
    {
        std::lock_guard<std::mutex> lk(mu);
        return frames.size();
    }

    bool waitCount(size_t n, int ms = 3000)
    {
        std::unique_lock<std::mutex> lk(mu);
        return cv.wait_for(lk, std::chrono::milliseconds(ms), [&] { return frames.size() >= n; });
    }

    std::vector<FrameRecord> snapshot()
    {
        std::lock_guard<std::mutex> lk(mu);
        return frames;
    }
};

// Connection messages and the threads they came on.
struct StatusLog {
    struct Message {
        int handle;
        unsigned msg;
        unsigned param;
        std::thread::id thread;
    };
    std::mutex mu;
    std::condition_variable cv;
    std::vector<Message> messages;
    std::function<void(int, unsigned)> inside;

    static void callback(int handle, unsigned msg, unsigned param, void *context)
    {
        auto *self = static_cast<StatusLog *>(context);
        if (self->inside)
            self->inside(handle, msg);
        std::lock_guard<std::mutex> lk(self->mu);
        self->messages.push_back({handle, msg, param, std::this_thread::get_id()});
        self->cv.notify_all();
    }

    bool waitCount(size_t n, int ms = 3000)
    {
        std::unique_lock<std::mutex> lk(mu);
        return cv.wait_for(lk, std::chrono::milliseconds(ms), [&] { return messages.size() >= n; });
    }

    std::vector<Message> snapshot()
    {
        std::lock_guard<std::mutex> lk(mu);
        return messages;
    }
};

inline uint32_t stampOf(const std::vector<unsigned char> &processed)
{
    if (processed.size() < 4)
        return 0;
    return uint32_t(processed[0]) | uint32_t(processed[1]) << 8 | uint32_t(processed[2]) << 16
           | uint32_t(processed[3]) << 24;
}

} // namespace sdktest
