// What happens to the cameras from outside, by the control interface or at
// the configuration's timed events (link loss and return, plugging, pushed
// frames), and what the control interface reads of them.
#include "simulator.h"

#include "handle.h"

#include <algorithm>
#include <thread>

namespace vdsim {

int Simulator::linkLost(const std::string &serial, unsigned int powerLost)
{
    std::lock_guard<std::mutex> lk(mu_);
    std::shared_ptr<Device> d = findDevice(serial);
    if (!d)
        return VD_ERR_NO_DEVICE;
    const bool wasUp = d->loseLink();
    cutDevice(*d);
    if (wasUp && d->openHandle() != 0)
        handles_.at(d->openHandle())->status().post(VD_MSG_LINK_LOST, powerLost ? 1u : 0u);
    return VD_OK;
}

int Simulator::linkRestored(const std::string &serial)
{
    std::lock_guard<std::mutex> lk(mu_);
    std::shared_ptr<Device> d = findDevice(serial);
    if (!d)
        return VD_ERR_NO_DEVICE;
    const bool wasDown = d->restoreLink();
    if (wasDown && d->openHandle() != 0) {
        Handle &h = *handles_.at(d->openHandle());
        if (h.hasStatusCallback())
            h.status().post(VD_MSG_LINK_RESTORED, 0u);
    }
    return VD_OK;
}

int Simulator::setAttached(const std::string &serial, bool attached)
{
    std::lock_guard<std::mutex> lk(mu_);
    std::shared_ptr<Device> d = findDevice(serial);
    if (!d)
        return VD_ERR_NO_DEVICE;
    d->setAttached(attached, Clock::now());
    if (!attached)
        cutDevice(*d);
    return VD_OK;
}

int Simulator::pushFrame(const std::string &serial, const VdSimFrame *frame)
{
    std::shared_ptr<Handle> h;
    {
        std::lock_guard<std::mutex> lk(mu_);
        std::shared_ptr<Device> d = findDevice(serial);
        if (!d)
            return VD_ERR_NO_DEVICE;
        if (d->openHandle() == 0)
            return VD_ERR_BAD_HANDLE;
        h = handles_.at(d->openHandle());
    }
    const VdSimFrame ov = frame ? *frame : VdSimFrame{};
    int result = VD_ERR_BAD_ARGUMENT;
    // The callback runs on a thread of the SDK, as every frame callback does.
    PooledThread t([&] {
        try {
            std::unique_lock<std::mutex> lk(mu_);
            result = h->acquisition().deliver(lk, frame ? &ov : nullptr, nullptr);
        } catch (...) {
            result = VD_ERR_BAD_ARGUMENT;
        }
    });
    t.join();
    return result;
}

void Simulator::fire(const EventConfig &e)
{
    switch (e.kind) {
    case EventKind::LinkLost:
        linkLost(e.serialNumber, e.powerLost ? 1 : 0);
        break;
    case EventKind::LinkRestored:
        linkRestored(e.serialNumber);
        break;
    case EventKind::Detach:
        setAttached(e.serialNumber, false);
        break;
    case EventKind::Attach:
        setAttached(e.serialNumber, true);
        break;
    }
}

int Simulator::deviceState(const std::string &serial, DeviceState &out)
{
    std::lock_guard<std::mutex> lk(mu_);
    std::shared_ptr<Device> d = findDevice(serial);
    if (!d)
        return VD_ERR_NO_DEVICE;
    std::shared_ptr<Handle> h;
    if (d->openHandle() != 0)
        h = handles_.at(d->openHandle());
    DeviceState s;
    s.open = h != nullptr;
    s.handle = d->openHandle();
    s.playing = h && h->acquisition().playing();
    s.triggerMode = d->triggerMode();
    s.mediaType = d->mediaType();
    s.ispOutFormat = d->ispOutFormat();
    s.exposureTime = d->exposureTime();
    s.softTriggers = d->softTriggers();
    s.framesDelivered = d->framesDelivered();
    s.framesSkipped = d->framesSkipped();
    s.attached = d->attached();
    s.linkUp = d->linkUp();
    s.frameCallback = h && h->hasFrameCallback();
    s.statusCallback = h && h->hasStatusCallback();
    s.lentBuffers = h ? h->lentBuffers() : 0;
    s.width = d->config().sensorWidth;
    s.height = d->config().frameHeight;
    s.gain = d->gain();
    s.mirrorX = d->mirrorX();
    s.mirrorY = d->mirrorY();
    const DeviceConfig &c = d->config();
    s.exposureUs = d->exposureUs();
    s.linePeriodUs = d->linePeriodUs();
    s.maxLineRate = 1e6 / s.linePeriodUs;
    if (c.encoder) {
        s.webSpeed = h ? h->acquisition().webSpeed() : 0.0;
        s.triggerRate = s.webSpeed * c.linesPerMm;
        s.lineRate = std::min(s.triggerRate, s.maxLineRate);
    } else if (s.playing && s.triggerMode == VD_TRIGGER_CONTINUOUS) {
        s.lineRate = c.frameRate > 0 ? std::min(c.frameRate * c.frameHeight, s.maxLineRate) : s.maxLineRate;
    }
    s.missedTriggers = d->missedTriggers();
    s.partialFrames = d->partialFrames();
    s.replayFrames = d->replayFrames();
    s.replayEnded = d->replayEnded();
    s.settings = c.settings;
    s.settingsFile = c.settingsFile;
    out = s;
    return VD_OK;
}

int Simulator::setLook(const std::string &serial, const std::string &key, double value)
{
    std::lock_guard<std::mutex> lk(mu_);
    std::shared_ptr<Device> d = findDevice(serial);
    if (!d)
        return VD_ERR_NO_DEVICE;
    if (key == "gain")
        d->setGain(value);
    else if (key == "mirrorX")
        d->setMirror(value != 0, d->mirrorY());
    else if (key == "mirrorY")
        d->setMirror(d->mirrorX(), value != 0);
    else
        return VD_ERR_BAD_ARGUMENT;
    return VD_OK;
}

} // namespace vdsim
