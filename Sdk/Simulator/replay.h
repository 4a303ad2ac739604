// Frames replayed by a simulated camera instead of drawn: a directory of
// images in name order, or a recording made by `vandrel-host grab --record`
// (images plus index.jsonl), with the recorded sizes and time stamps.
//
// Threading contract: a Replay is immutable once loaded and shared between
// the threads that fill frames; nothing here locks.
#ifndef VDSIM_REPLAY_H
#define VDSIM_REPLAY_H

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vdsim {

struct ReplayFrame {
    std::string path;
    int width = 0;
    int height = 0;
    int channels = 1;          // as recorded: 1 grey, 3 RGB
    bool timed = false;        // a recording's frame has its capture time
    uint32_t timeStamp = 0;    // milliseconds, as the camera's header had it
};

struct Replay {
    std::string source;
    bool recording = false;    // from an index.jsonl
    std::vector<ReplayFrame> frames;
};

// Loads the list of frames of a directory. A recording that holds several
// cameras gives the lines of serial; one camera's recording replays whatever
// serial asks for it. On failure says why, naming the file and, in the
// index, the line.
std::shared_ptr<const Replay> loadReplay(const std::string &dir, const std::string &serial, std::string &error);

// Reads a frame: grey for a monochrome sensor, otherwise grey or RGB as
// recorded; false, saying why, if the file no longer matches its record.
bool readReplayFrame(const ReplayFrame &frame, bool monoSensor, cv::Mat &out, std::string &error);

} // namespace vdsim

#endif
