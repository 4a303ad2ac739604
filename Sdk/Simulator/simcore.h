// The simulated cameras and their open handles.
//
// Threading contract: one process-wide Simulator; every member of Simulator,
// Device, Handle and RawBuffer is guarded by Simulator::mu unless its comment
// says otherwise. Callbacks into the application always run with mu
// released. Handle::cv (used with mu) wakes the handle's threads and the
// callers that wait for callbacks to drain. A Handle is shared by the
// table and its own threads, so a thread that outlives its VdUnInit (closed
// from inside its own callback) still holds valid state until it exits.
#ifndef VDSIM_SIMCORE_H
#define VDSIM_SIMCORE_H

#include "simconfig.h"
#include "vdsim.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vdsim {

using Clock = std::chrono::steady_clock;

struct Device {
    DeviceConfig cfg;
    uint32_t key = 0;
    bool attached = true;
    bool linkUp = true;
    bool removed = false;          // dropped by a later configuration
    Clock::time_point attachedAt;
    int openHandle = 0;            // 0 when not open
    // Settings the camera keeps while it has power, across opens.
    int triggerMode = 0;
    int mediaType = VD_MEDIA_COLOR;
    uint32_t ispOutFormat = VD_PIXEL_RGB8;
    double exposureTime = 0.0;
    uint64_t softTriggers = 0;
    uint64_t framesDelivered = 0;
    uint64_t framesSkipped = 0;

    bool reachable() const { return attached && linkUp && !removed; }
};

// One raw buffer of a handle's pool, with what VdImageProcess needs to know
// about the frame it holds.
struct RawBuffer {
    std::unique_ptr<unsigned char[]> data;   // allocated once, freed with the handle
    size_t size = 0;
    bool lent = false;
    int busy = 0;                  // being filled or processed; not reusable
    uint32_t frameId = 0;
    int width = 0;
    int height = 0;
    uint32_t format = 0;
    bool mono = false;
    uint32_t flags = 0;            // VDSIM_FRAME_* overrides of this frame
    int32_t processStatus = 0;
    uint32_t byteCountAfterProcess = 0;
};

constexpr int kPoolSize = 4;

struct Handle {
    int id = 0;
    std::shared_ptr<Device> dev;
    bool closed = false;
    VdFrameCallback frameCb = nullptr;
    void *frameCtx = nullptr;
    VdConnectionStatusCallback statusCb = nullptr;
    void *statusCtx = nullptr;
    int frameInFlight = 0;
    int statusInFlight = 0;
    std::vector<std::pair<std::thread::id, bool>> running;  // callbacks in flight: thread, is status
    std::condition_variable cv;

    bool playing = false;
    uint64_t session = 0;          // bumped by every play and stop; old loops exit
    int pendingTriggers = 0;
    uint32_t frameCounter = 0;     // last frame id; reset by VdPlay
    std::thread acqThread;
    std::vector<std::thread> finished;   // stopped loops not yet joined

    std::thread statusThread;
    bool statusStop = false;
    std::deque<std::pair<unsigned, unsigned>> statusQueue;

    RawBuffer pool[kPoolSize];
};

class Simulator
{
public:
    static Simulator &instance();

    std::mutex mu;

    // Guarded by mu.
    bool initialised = false;
    std::vector<std::shared_ptr<Device>> devices;
    std::map<int, std::shared_ptr<Handle>> handles;
    int lastHandle = 0;
    uint32_t nextKey = 1;
    int outstanding = 0;

    // Counters and planned failures have their own lock so that counting
    // never waits on device work.
    bool countCall(const char *function, VdStatus &failure);
    void failNext(const std::string &function, int status);
    int callCount(const std::string &function);
    void resetCounters();

    void sdkInit();
    // Replaces the population; events are timed from now once initialised.
    void applyPopulation(const Population &p);

    // Calls that named a handle VdUnInit had already released; never reset.
    mutable std::atomic<int> releasedHandleCalls{0};

    // With mu held.
    std::shared_ptr<Device> findDevice(const std::string &serial) const;
    VdStatus lookup(int id, std::shared_ptr<Handle> &h) const;
    VdStatus lookupReachable(int id, std::shared_ptr<Handle> &h) const;
    static int ownCallbacks(const Handle *h, bool status);

    // Take mu themselves.
    int linkLost(const std::string &serial, unsigned powerLost);
    int linkRestored(const std::string &serial);
    int setAttached(const std::string &serial, bool attached);
    int pushFrame(const std::string &serial, const VdSimFrame *frame);

    VdStatus play(int id);
    VdStatus stop(int id);
    VdStatus unInit(int id);
    VdStatus open(const std::string &serial, int &id);
    VdStatus releaseBuffer(int id, unsigned char *raw);

    // With lock held on entry and exit: stops acquisition without waiting.
    void haltAcquisition(Handle &h);
    // Waits (releasing lk) until no frame callback of h runs except the
    // caller's own.
    void drainFrames(std::unique_lock<std::mutex> &lk, Handle &h);
    // Joins or, for the calling thread itself, detaches; lk released meanwhile.
    static void reap(std::unique_lock<std::mutex> &lk, std::vector<std::thread> threads);

private:
    Simulator();
    void acquisitionLoop(std::shared_ptr<Handle> h, uint64_t session);
    void statusLoop(std::shared_ptr<Handle> h);
    void eventLoop();
    // With lk held on entry and exit; 0 if the callback ran.
    int deliver(std::unique_lock<std::mutex> &lk, const std::shared_ptr<Handle> &h, const VdSimFrame *ov,
                const uint64_t *session);
    void cutDevice(Device &d);

    std::mutex countersMu;
    std::map<std::string, int> counts;      // guarded by countersMu
    std::map<std::string, int> failures;    // guarded by countersMu

    // Guarded by mu; run by the event thread.
    std::vector<EventConfig> events;
    size_t nextEvent = 0;
    Clock::time_point eventEpoch;
    std::condition_variable eventCv;
    std::thread eventThread;                // lives as long as the process
};

// Fills a raw frame with its deterministic pattern: row r holds (frameId + r) & 0xFF.
void fillPattern(unsigned char *raw, int width, int height, uint32_t frameId);
// Converts (part of) a raw frame into out; never writes beyond capacity.
// Returns the number of bytes of image written.
size_t processRaw(const unsigned char *raw, int rawWidth, int rawHeight, bool mono, uint32_t format,
                  int width, int height, unsigned char *out, size_t capacity);
uint32_t bytesPerPixel(uint32_t format);

} // namespace vdsim

#endif
