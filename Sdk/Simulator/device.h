// One simulated camera: what it is, whether it can be reached, the settings
// it keeps while it has power, what it counts, and the records it reports.
//
// Threading contract: no lock of its own. Every Device belongs to the
// Simulator and is guarded by the simulator's lock, which the caller of every
// method holds. The configuration never changes after construction.
#ifndef VDSIM_DEVICE_H
#define VDSIM_DEVICE_H

#include "scene.h"
#include "simconfig.h"
#include "vdcamsdk.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace vdsim {

using Clock = std::chrono::steady_clock;

class Device
{
public:
    Device(const DeviceConfig &cfg, uint32_t key, Clock::time_point now);

    const DeviceConfig &config() const { return cfg_; }
    const std::string &serialNumber() const { return cfg_.serialNumber; }

    // Attached, link up, and still part of the population.
    bool reachable() const { return attached_ && linkUp_ && !removed_; }
    bool attached() const { return attached_; }
    bool linkUp() const { return linkUp_; }
    // Each returns whether the link was up (down) before.
    bool loseLink();
    bool restoreLink();
    // Plugging in restarts the time stamps.
    void setAttached(bool attached, Clock::time_point now);
    // Dropped by a later configuration; never reachable again.
    void remove() { removed_ = true; }
    // Frame time stamp: milliseconds since the camera was (last) attached.
    uint32_t timeStamp(Clock::time_point now) const;

    // The handle that has the camera open; 0 when not open.
    int openHandle() const { return openHandle_; }
    void setOpenHandle(int id) { openHandle_ = id; }

    // Settings, checked as the camera checks them. A refused value changes nothing.
    int triggerMode() const { return triggerMode_; }
    VdStatus setTriggerMode(int mode, bool &changed);
    int mediaType() const { return mediaType_; }
    VdStatus setMediaType(int mediaType);
    uint32_t ispOutFormat() const { return ispOutFormat_; }
    VdStatus setIspOutFormat(unsigned int format);
    // As VdSetExposureTime set it: the exposure in us times the line time
    // in us, the scaling the driver sends its exposure parameter with.
    double exposureTime() const { return exposureTime_; }
    VdStatus setExposureTime(double exposure);

    // The line. Times in microseconds. The line period the camera is set
    // to; the exposure in effect (within the camera's range, and cut to
    // that period when a long exposure is clamped); the shortest time from
    // one line to the next it allows; and the exposure that shows a scene
    // as drawn.
    double setLinePeriodUs() const;
    double exposureUs() const;
    double linePeriodUs() const;
    double sceneExposureUs() const;
    // Settings only the control interface reaches.
    double gain() const { return gain_; }
    void setGain(double gain) { gain_ = gain; }
    bool mirrorX() const { return mirrorX_; }
    bool mirrorY() const { return mirrorY_; }
    void setMirror(bool x, bool y) { mirrorX_ = x; mirrorY_ = y; }

    // The scene as the current settings show it, and the render made for
    // them last (null, or of another look, when it must be made again).
    SceneLook sceneLook() const;
    const std::shared_ptr<const SceneRender> &sceneRender() const { return render_; }
    void keepSceneRender(std::shared_ptr<const SceneRender> render);

    void countSoftTrigger() { ++softTriggers_; }
    void countDelivered() { ++framesDelivered_; }
    void countSkipped() { ++framesSkipped_; }
    void countMissedTriggers(uint64_t n) { missedTriggers_ += n; }
    void countPartial() { ++partialFrames_; }
    uint64_t softTriggers() const { return softTriggers_; }
    uint64_t framesDelivered() const { return framesDelivered_; }
    uint64_t framesSkipped() const { return framesSkipped_; }
    uint64_t missedTriggers() const { return missedTriggers_; }
    uint64_t partialFrames() const { return partialFrames_; }

    // A replay's session: the frames it has played, and whether it has come
    // to its end (no loop). Both start again at VdPlay.
    void replayStarted() { replayFrames_ = 0; replayEnded_ = false; }
    void replayPlayed(uint64_t frames, bool ended) { replayFrames_ = frames; replayEnded_ = ended; }
    uint64_t replayFrames() const { return replayFrames_; }
    bool replayEnded() const { return replayEnded_; }

    // The enumeration record at position index.
    void describe(int index, VdDeviceInfo &info) const;
    VdCapability capability() const;
    VdResolution resolution() const;

private:
    const DeviceConfig cfg_;
    const uint32_t key_;           // unique within the process, never reused
    bool attached_;
    bool linkUp_ = true;
    bool removed_ = false;
    Clock::time_point attachedAt_;
    int openHandle_ = 0;
    int triggerMode_;
    int mediaType_;
    uint32_t ispOutFormat_;
    double exposureTime_;
    double gain_;
    bool mirrorX_;
    bool mirrorY_;
    std::shared_ptr<const SceneRender> render_;
    uint64_t softTriggers_ = 0;
    uint64_t framesDelivered_ = 0;
    uint64_t framesSkipped_ = 0;
    uint64_t missedTriggers_ = 0;
    uint64_t partialFrames_ = 0;
    uint64_t replayFrames_ = 0;
    bool replayEnded_ = false;
};

} // namespace vdsim

#endif
