// Device population of the simulator: what a configuration names, and its
// parser. Plain values; no threading of their own.
#ifndef VDSIM_SIMCONFIG_H
#define VDSIM_SIMCONFIG_H

#include <cstdint>
#include <string>
#include <vector>

namespace vdsim {

struct DeviceConfig {
    std::string productName = "VD-XG4K-C";
    std::string serialNumber;
    int sensorWidth = 4096;
    int sensorHeight = 4096;
    int frameHeight = 512;
    bool mono = false;
    double lineTimeUs = 10.0;
    int exposureMin = 1;
    int exposureMax = 10000;
    int gainMin = 0;
    int gainMax = 16;
    int gammaMin = 0;
    int gammaMax = 400;
    int contrastMin = 0;
    int contrastMax = 100;
    int sharpnessMin = 0;
    int sharpnessMax = 100;
    double frameRate = 20.0;   // continuous mode; 0 = as fast as frames are taken
    bool attached = true;
    int triggerMode = 0;
};

enum class EventKind { LinkLost, LinkRestored, Detach, Attach };

struct EventConfig {
    int64_t atMs = 0;
    std::string serialNumber;
    EventKind kind = EventKind::LinkLost;
    bool powerLost = false;
};

struct Population {
    std::vector<DeviceConfig> devices;
    std::vector<EventConfig> events;   // sorted by atMs
};

// Largest raw image a device may have; keeps every byte count in 32 bits.
constexpr int64_t kMaxRawBytes = 16384LL * 4096LL;

// Parses the JSON text; on failure leaves out untouched and says why.
bool parsePopulation(const std::string &json, Population &out, std::string &error);
Population defaultPopulation();

} // namespace vdsim

#endif
