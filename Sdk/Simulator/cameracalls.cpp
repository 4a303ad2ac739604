// The SDK calls that talk to an open camera over its link: its records,
// settings and software trigger.
#include "simulator.h"

#include "handle.h"

namespace vdsim {

template <typename F>
VdStatus Simulator::onReachable(int id, F &&body)
{
    std::lock_guard<std::mutex> lk(mu_);
    std::shared_ptr<Handle> h;
    const VdStatus st = lookupReachable(id, h);
    if (st != VD_OK)
        return st;
    return body(*h);
}

VdStatus Simulator::capability(int id, VdCapability &out)
{
    return onReachable(id, [&](Handle &h) -> VdStatus {
        out = h.device().capability();
        return VD_OK;
    });
}

VdStatus Simulator::resolution(int id, VdResolution &out)
{
    return onReachable(id, [&](Handle &h) -> VdStatus {
        out = h.device().resolution();
        return VD_OK;
    });
}

VdStatus Simulator::lineTime(int id, double &out)
{
    return onReachable(id, [&](Handle &h) -> VdStatus {
        out = h.device().config().lineTimeUs;
        return VD_OK;
    });
}

VdStatus Simulator::setMediaType(int id, int mediaType)
{
    return onReachable(id, [&](Handle &h) -> VdStatus { return h.device().setMediaType(mediaType); });
}

VdStatus Simulator::setIspOutFormat(int id, unsigned int format)
{
    return onReachable(id, [&](Handle &h) -> VdStatus { return h.device().setIspOutFormat(format); });
}

VdStatus Simulator::setExposureTime(int id, double exposure)
{
    return onReachable(id, [&](Handle &h) -> VdStatus { return h.device().setExposureTime(exposure); });
}

VdStatus Simulator::softTrigger(int id)
{
    return onReachable(id, [&](Handle &h) -> VdStatus {
        if (!h.acquisition().playing())
            return VD_ERR_NOT_PLAYING;
        Device &d = h.device();
        d.countSoftTrigger();
        if (d.triggerMode() == VD_TRIGGER_SOFTWARE) {
            h.acquisition().addTrigger();
            h.wake();
        }
        return VD_OK;
    });
}

VdStatus Simulator::setTriggerMode(int id, int mode)
{
    return onReachable(id, [&](Handle &h) -> VdStatus {
        bool changed = false;
        const VdStatus st = h.device().setTriggerMode(mode, changed);
        if (changed) {
            h.acquisition().dropTriggers();
            h.wake();
        }
        return st;
    });
}

VdStatus Simulator::triggerMode(int id, int &mode)
{
    return onReachable(id, [&](Handle &h) -> VdStatus {
        mode = h.device().triggerMode();
        return VD_OK;
    });
}

} // namespace vdsim
