// Device population of the simulator: what a configuration names, and its
// parser. Plain values; no threading of their own.
#ifndef VDSIM_SIMCONFIG_H
#define VDSIM_SIMCONFIG_H

#include "webprofile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vdsim {

struct SceneImage;
struct Replay;

enum class Pace { Recorded, Rate };
// An exposure longer than the line period: the line waits for it, or it is cut to the period.
enum class LongExposure { ExtendsLine, Clamped };

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
    // The line period the camera is set to, in us; 0: the one frameRate
    // gives (free-running) or the encoder's at top speed.
    double linePeriodUs = 0.0;
    LongExposure longExposure = LongExposure::ExtendsLine;
    // The exposure, in us, at which a scene shows as drawn, and the camera's
    // exposure at power-up; 0: half the line period, within the range.
    double sceneExposureUs = 0.0;
    // Lines triggered by an encoder on the web instead of the camera's clock.
    bool encoder = false;
    double linesPerMm = 10.0;
    double lineTimeoutMs = 100.0;  // a frame goes out partial after this long without a line
    WebProfile web;
    bool attached = true;
    int triggerMode = 0;
    // Initial state the driver cannot set; the control interface can.
    double gain = 0.0;             // clamped to the gain range when used
    bool mirrorX = false;
    bool mirrorY = false;
    // What the camera sees: a scene, replayed frames, or (neither) the ramp.
    std::string scene;             // resolved path
    double speed = 1.0;            // image rows per camera line
    double noise = 0.0;            // standard deviation in grey levels
    uint32_t seed = 1;
    double illumination = 0.0;     // percent less light at the edges
    std::string frames;            // resolved path
    Pace pace = Pace::Recorded;    // a plain directory of images has no recorded pacing
    bool loop = false;
    // The settings a host loads into this camera: the file, and the one
    // camera's {"paramsWrap": [...]} from it as compact JSON.
    std::string settingsFile;
    std::string settings;
    std::shared_ptr<const SceneImage> sceneImage;
    std::shared_ptr<const Replay> replay;
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

// Parses the JSON text and loads the scenes and frames it names (relative
// paths from baseDir, or the working directory when empty); on failure
// leaves out untouched and says why, naming the file and line where there is one.
bool parsePopulation(const std::string &json, Population &out, std::string &error,
                     const std::string &baseDir = std::string());
// The same with the text of a file; relative paths in it start from its folder.
bool loadPopulationFile(const std::string &path, Population &p, std::string &error);
// The built-in cameras; the two line-scan cameras see the drawn scenes.
Population defaultPopulation();

} // namespace vdsim

#endif
