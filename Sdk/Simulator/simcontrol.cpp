// The control interface for tests and tools. Like the SDK entry points, no
// C++ exception leaves these functions.
#include "simulator.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace vdsim;

namespace {

template <typename F>
int control(F &&body) noexcept
{
    try {
        return body(Simulator::instance());
    } catch (...) {
        return VD_ERR_INTERNAL;
    }
}

// A refused configuration changes nothing; it says why on stderr and to
// VdSimConfigureError.
int refuse(Simulator &s, const std::string &error)
{
    s.setConfigureError(error);
    std::fprintf(stderr, "VDCAMSDK simulator: configuration refused: %s\n", error.c_str());
    return int(VD_ERR_BAD_ARGUMENT);
}

} // namespace

extern "C" {

const char *VdSimIdentity(void)
{
    return "Vandrel simulated VD camera SDK " VDSIM_VERSION;
}

int VdSimConfigure(const char *json)
{
    return control([&](Simulator &s) {
        if (!json)
            return int(VD_ERR_BAD_ARGUMENT);
        Population p;
        std::string error;
        if (!parsePopulation(json, p, error))
            return refuse(s, error);
        s.setConfigureError(std::string());
        s.applyPopulation(p);
        return int(VD_OK);
    });
}

int VdSimConfigureFile(const char *path)
{
    return control([&](Simulator &s) {
        if (!path)
            return int(VD_ERR_BAD_ARGUMENT);
        Population p;
        std::string error;
        if (!loadPopulationFile(path, p, error))
            return refuse(s, error);
        s.setConfigureError(std::string());
        s.applyPopulation(p);
        return int(VD_OK);
    });
}

int VdSimConfigureDefault(void)
{
    return control([](Simulator &s) {
        s.applyPopulation(defaultPopulation());
        s.setConfigureError(std::string());
        return int(VD_OK);
    });
}

int VdSimLinkLost(const char *serial, unsigned int powerLost)
{
    return control([&](Simulator &s) { return serial ? s.linkLost(serial, powerLost) : int(VD_ERR_BAD_ARGUMENT); });
}

int VdSimLinkRestored(const char *serial)
{
    return control([&](Simulator &s) { return serial ? s.linkRestored(serial) : int(VD_ERR_BAD_ARGUMENT); });
}

int VdSimSetAttached(const char *serial, int attached)
{
    return control(
        [&](Simulator &s) { return serial ? s.setAttached(serial, attached != 0) : int(VD_ERR_BAD_ARGUMENT); });
}

int VdSimPushFrame(const char *serial, const VdSimFrame *frame)
{
    return control([&](Simulator &s) { return serial ? s.pushFrame(serial, frame) : int(VD_ERR_BAD_ARGUMENT); });
}

int VdSimFailNext(const char *function, int status)
{
    return control([&](Simulator &s) {
        if (!function || std::strncmp(function, "Vd", 2) != 0)
            return int(VD_ERR_BAD_ARGUMENT);
        s.calls().failNext(function, status);
        return int(VD_OK);
    });
}

int VdSimDelayNext(const char *function, int ms)
{
    return control([&](Simulator &s) {
        if (!function || std::strncmp(function, "Vd", 2) != 0 || ms < 0)
            return int(VD_ERR_BAD_ARGUMENT);
        s.calls().delayNext(function, ms);
        return int(VD_OK);
    });
}

int VdSimCallCount(const char *function)
{
    return control([&](Simulator &s) { return function ? s.calls().calls(function) : int(VD_ERR_BAD_ARGUMENT); });
}

int VdSimReleasedHandleCalls(void)
{
    return control([](Simulator &s) { return s.releasedHandleCalls(); });
}

void VdSimResetCounters(void)
{
    control([](Simulator &s) {
        s.calls().reset();
        return 0;
    });
}

int VdSimOutstandingBuffers(void)
{
    return control([](Simulator &s) { return s.outstandingBuffers(); });
}

int VdSimGetValue(const char *serial, const char *key, double *value)
{
    return control([&](Simulator &s) {
        if (!serial || !key || !value)
            return int(VD_ERR_BAD_ARGUMENT);
        DeviceState d;
        const int st = s.deviceState(serial, d);
        if (st != VD_OK)
            return st;
        const std::string k = key;
        double v = 0;
        if (k == "open")
            v = d.open ? 1 : 0;
        else if (k == "handle")
            v = d.handle;
        else if (k == "playing")
            v = d.playing ? 1 : 0;
        else if (k == "triggerMode")
            v = d.triggerMode;
        else if (k == "mediaType")
            v = d.mediaType;
        else if (k == "ispOutFormat")
            v = d.ispOutFormat;
        else if (k == "exposureTime")
            v = d.exposureTime;
        else if (k == "softTriggers")
            v = double(d.softTriggers);
        else if (k == "framesDelivered")
            v = double(d.framesDelivered);
        else if (k == "framesSkipped")
            v = double(d.framesSkipped);
        else if (k == "attached")
            v = d.attached ? 1 : 0;
        else if (k == "linkUp")
            v = d.linkUp ? 1 : 0;
        else if (k == "frameCallback")
            v = d.frameCallback ? 1 : 0;
        else if (k == "statusCallback")
            v = d.statusCallback ? 1 : 0;
        else if (k == "outstandingBuffers")
            v = d.lentBuffers;
        else if (k == "width")
            v = d.width;
        else if (k == "height")
            v = d.height;
        else if (k == "gain")
            v = d.gain;
        else if (k == "mirrorX")
            v = d.mirrorX ? 1 : 0;
        else if (k == "mirrorY")
            v = d.mirrorY ? 1 : 0;
        else if (k == "exposureUs")
            v = d.exposureUs;
        else if (k == "linePeriodUs")
            v = d.linePeriodUs;
        else if (k == "lineRate")
            v = d.lineRate;
        else if (k == "maxLineRate")
            v = d.maxLineRate;
        else if (k == "webSpeed")
            v = d.webSpeed;
        else if (k == "triggerRate")
            v = d.triggerRate;
        else if (k == "missedTriggers")
            v = double(d.missedTriggers);
        else if (k == "partialFrames")
            v = double(d.partialFrames);
        else if (k == "replayFrames")
            v = double(d.replayFrames);
        else if (k == "replayEnded")
            v = d.replayEnded ? 1 : 0;
        else
            return int(VD_ERR_BAD_ARGUMENT);
        *value = v;
        return int(VD_OK);
    });
}

} // extern "C"

extern "C" {

int VdSimSetValue(const char *serial, const char *key, double value)
{
    return control([&](Simulator &s) {
        if (!serial || !key)
            return int(VD_ERR_BAD_ARGUMENT);
        return s.setLook(serial, key, value);
    });
}

} // extern "C"

namespace {

// One buffer per thread, valid until that thread's next call.
template <typename F>
const char *text(F &&body) noexcept
{
    static thread_local std::string buffer;
    try {
        buffer = body(Simulator::instance());
    } catch (...) {
        buffer.clear();
    }
    return buffer.c_str();
}

} // namespace

extern "C" {

const char *VdSimConfigureError(void)
{
    return text([](Simulator &s) { return s.configureError(); });
}

const char *VdSimPopulationError(void)
{
    return text([](Simulator &s) { return s.populationError(); });
}

const char *VdSimGetText(const char *serial, const char *key)
{
    return text([&](Simulator &s) {
        DeviceState d;
        if (!serial || !key || s.deviceState(serial, d) != VD_OK)
            return std::string();
        const std::string k = key;
        return k == "settings" ? d.settings : k == "settingsFile" ? d.settingsFile : std::string();
    });
}

} // extern "C"
