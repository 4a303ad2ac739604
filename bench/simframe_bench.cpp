// Cost of one frame of the simulated cameras: the ramp against a scene of the
// same size, 16384 x 1024, in the same run. Each camera runs as fast as its
// consumer gives the raw buffers back. The consumer either gives the buffer
// back at once ("made": the time between two callbacks is what the simulator
// spends making a frame) or first has it processed into its own buffer, as
// every consumer does ("made + processed"). An upright scene frame without
// noise is lent straight from the prepared web, so its "made" is bookkeeping
// only and its pixels are first read by the processing; the upside-down case
// shows what drawing the same frame by copy costs. The cases take turns, so
// that a burst of load on the machine weighs on all of them alike; the median
// of each is reported.

#include "vdcamsdk.h"
#include "vdsim.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
    const char *name;
    const char *serial;
    const char *keys;   // what the camera sees
    bool mono;
};

const Case kCases[] = {
    {"ramp, Mono8", "BENCHRAMP", "", true},
    {"scene, Mono8", "BENCHSCENEM", "fabric", true},
    {"scene upside down (copied)", "BENCHFLIP", "fabric", true},
    {"scene + illumination + noise 2", "BENCHNOISE", "fabric", true},
    {"ramp, Bayer", "BENCHRAMPC", "", false},
    {"scene, Bayer", "BENCHSCENEC", "printed-sheet", false},
};
constexpr int kWidth = 16384;
constexpr int kHeight = 1024;
constexpr int kFrames = 40;
constexpr int kWarmup = 3;
constexpr int kRounds = 5;

struct Probe {
    std::atomic<int> frames{0};
    bool process = false;
    std::vector<unsigned char> out;
    std::vector<Clock::time_point> at;
};

void onFrame(int handle, unsigned char *raw, VdFrameHead *head, void *context)
{
    auto *p = static_cast<Probe *>(context);
    if (p->process) {
        p->out.resize(head->byteCount);
        VdImageProcess(handle, raw, p->out.data(), head);
    }
    VdReleaseImageBuffer(handle, raw);
    p->at.push_back(Clock::now());
    p->frames.fetch_add(1);
}

std::string population()
{
    std::string json = R"({"devices": [)";
    for (const Case &c : kCases) {
        if (&c != kCases)
            json += ",";
        json += std::string(R"({"productName": "VD-BENCH", "serialNumber": ")") + c.serial
                + R"(", "sensorWidth": )" + std::to_string(kWidth) + R"(, "sensorHeight": 4096, "frameHeight": )"
                + std::to_string(kHeight) + R"(, "mono": )" + (c.mono ? "true" : "false")
                + R"(, "frameRate": 0)";
        if (*c.keys)
            json += R"(, "scene": ")" + std::string(c.keys) + "\"";
        if (std::strstr(c.name, "upside down"))
            json += R"(, "mirrorY": true)";
        if (std::strstr(c.name, "noise"))
            json += R"(, "noise": 2, "illumination": 20)";
        json += "}";
    }
    return json + "]}";
}

// Milliseconds between consecutive frames of one run, after the warm-up.
void run(const Case &c, bool process, std::vector<double> &into)
{
    VdDeviceInfo info{};
    std::memcpy(info.serialNumber, c.serial, std::strlen(c.serial));
    VdHandle h = 0;
    if (VdInit(&info, -1, -1, &h) != VD_OK)
        return;
    Probe probe;
    probe.process = process;
    probe.at.reserve(kFrames + kWarmup + 8);
    VdSetCallbackFunction(h, &onFrame, &probe, nullptr);
    VdPlay(h);
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (probe.frames.load() < kFrames + kWarmup && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    VdStop(h);
    VdUnInit(h);
    for (size_t i = kWarmup + 1; i < probe.at.size(); ++i)
        into.push_back(std::chrono::duration<double, std::milli>(probe.at[i] - probe.at[i - 1]).count());
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main()
{
    if (VdSimConfigure(population().c_str()) != VD_OK || VdSdkInit(0) != VD_OK) {
        std::fprintf(stderr, "simulator refused the benchmark population: %s\n", VdSimConfigureError());
        return 1;
    }
    std::vector<std::vector<double>> made(std::size(kCases)), processed(std::size(kCases));
    for (int round = 0; round < kRounds; ++round)
        for (size_t i = 0; i < std::size(kCases); ++i) {
            run(kCases[i], false, made[i]);
            run(kCases[i], true, processed[i]);
        }
    std::printf("%dx%d raw frames, median of %d rounds of %d; colour cameras processed to RGB8\n", kWidth,
                kHeight, kRounds, kFrames);
    std::printf("%-32s %10s %8s %18s %8s\n", "frame", "made ms", "vs ramp", "made+processed ms", "vs ramp");
    double ramp = 0;
    double rampProcessed = 0;
    for (size_t i = 0; i < std::size(kCases); ++i) {
        const double ms = median(made[i]);
        const double pms = median(processed[i]);
        if (std::strncmp(kCases[i].name, "ramp", 4) == 0) {
            ramp = ms;
            rampProcessed = pms;
        }
        std::printf("%-32s %10.3f %7.2fx %18.3f %7.2fx\n", kCases[i].name, ms, ms / ramp, pms, pms / rampProcessed);
    }
    return 0;
}
