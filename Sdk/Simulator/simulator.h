// The simulated SDK as a whole: the population of cameras, the table of open
// handles, and one method for every operation of the C interface and of the
// control interface.
//
// Threading contract: one process-wide instance, never destroyed (SDK
// threads may still run while the process exits). Every public method may
// be called from any thread and takes the simulator's lock mu_ itself;
// the call counters have their own lock. Devices, handles and their threads
// are guarded by mu_ (see device.h, handle.h, simthreads.h); callbacks into
// the application run with it released, so they may call back in. Methods
// may throw (std::bad_alloc, std::system_error, cv::Exception); the C entry
// points turn that into a status.
#ifndef VDSIM_SIMULATOR_H
#define VDSIM_SIMULATOR_H

#include "callcounters.h"
#include "device.h"
#include "simconfig.h"
#include "simthreads.h"
#include "vdsim.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vdsim {

class Handle;

// A camera as the control interface reads it.
struct DeviceState {
    bool open = false;
    int handle = 0;                // 0 when not open
    bool playing = false;
    int triggerMode = 0;
    int mediaType = 0;
    uint32_t ispOutFormat = 0;
    double exposureTime = 0.0;
    uint64_t softTriggers = 0;
    uint64_t framesDelivered = 0;
    uint64_t framesSkipped = 0;
    bool attached = false;
    bool linkUp = false;
    bool frameCallback = false;
    bool statusCallback = false;
    int lentBuffers = 0;           // of the open handle
    int width = 0;
    int height = 0;                // of a frame
    double gain = 0.0;
    bool mirrorX = false;
    bool mirrorY = false;
    // The line: effective exposure and shortest line period (us), the rate
    // lines are taken at now and the most the exposure allows (Hz).
    double exposureUs = 0.0;
    double linePeriodUs = 0.0;
    double lineRate = 0.0;
    double maxLineRate = 0.0;
    double webSpeed = 0.0;         // mm/s, with an encoder
    double triggerRate = 0.0;      // the encoder's line triggers per second
    uint64_t missedTriggers = 0;
    uint64_t partialFrames = 0;
    uint64_t replayFrames = 0;
    bool replayEnded = false;
    std::string settings;          // recorded for a host to load; "" if none
    std::string settingsFile;
};

class Simulator
{
public:
    static Simulator &instance();

    CallCounters &calls() { return calls_; }

    // The population. Before VdSdkInit every SDK call that names a device
    // or a handle is refused; the control interface works from the start.
    void sdkInit();
    // Replaces the population; events are timed from now once initialised.
    void applyPopulation(const Population &p);
    VdStatus enumerate(VdDeviceInfo *records, int capacity, int &written);

    // An open handle's life. Handles are numbered from 1 and never reused.
    VdStatus open(const std::string &serial, int &id);
    VdStatus unInit(int id);
    VdStatus setFrameCallback(int id, VdFrameCallback cb, void *ctx, VdFrameCallback &previous);
    VdStatus setStatusCallback(int id, VdConnectionStatusCallback cb, void *ctx);
    VdStatus play(int id);
    VdStatus stop(int id);
    VdStatus processImage(int id, unsigned char *raw, unsigned char *out, VdFrameHead &head);
    VdStatus releaseBuffer(int id, unsigned char *raw);

    // Calls that talk to the camera: VD_ERR_LINK_DOWN while it cannot be reached.
    VdStatus capability(int id, VdCapability &out);
    VdStatus resolution(int id, VdResolution &out);
    VdStatus lineTime(int id, double &out);
    VdStatus setMediaType(int id, int mediaType);
    VdStatus setIspOutFormat(int id, unsigned int format);
    VdStatus setExposureTime(int id, double exposure);
    VdStatus softTrigger(int id);
    VdStatus setTriggerMode(int id, int mode);
    VdStatus triggerMode(int id, int &mode);

    // What happens to a camera from outside, and what it looks like.
    int linkLost(const std::string &serial, unsigned int powerLost);
    int linkRestored(const std::string &serial);
    int setAttached(const std::string &serial, bool attached);
    int pushFrame(const std::string &serial, const VdSimFrame *frame);
    int deviceState(const std::string &serial, DeviceState &out);
    // Settings the SDK has no call for: "gain", "mirrorX", "mirrorY".
    int setLook(const std::string &serial, const std::string &key, double value);
    // Why the last configuration was refused; empty after one that was applied.
    std::string configureError();
    void setConfigureError(const std::string &error);
    // Why there are no cameras: the configuration named at start-up could
    // not be used; empty once any configuration has been applied.
    std::string populationError();
    // Raw buffers lent and not yet released, all handles.
    int outstandingBuffers();
    // Calls that named a handle VdUnInit had already released; never reset.
    int releasedHandleCalls() const { return releasedHandleCalls_.load(); }

private:
    Simulator();

    // With mu_ held.
    std::shared_ptr<Device> findDevice(const std::string &serial) const;
    VdStatus lookup(int id, std::shared_ptr<Handle> &h) const;
    VdStatus lookupReachable(int id, std::shared_ptr<Handle> &h) const;
    // Takes mu_; runs body on the handle if its camera can be reached.
    template <typename F>
    VdStatus onReachable(int id, F &&body);
    // Link gone for whatever reason: frames stop at once.
    void cutDevice(Device &d);

    void fire(const EventConfig &e);

    CallCounters calls_;
    mutable std::atomic<int> releasedHandleCalls_{0};
    std::mutex errorMu_;
    std::string configureError_;   // guarded by errorMu_
    std::string populationError_;  // guarded by errorMu_

    std::mutex mu_;
    // Guarded by mu_.
    bool initialised_ = false;
    std::vector<std::shared_ptr<Device>> devices_;
    std::map<int, std::shared_ptr<Handle>> handles_;
    int lastHandle_ = 0;
    uint32_t nextKey_ = 1;
    EventClock clock_;
};

} // namespace vdsim

#endif
