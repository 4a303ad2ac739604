#pragma once

// What the element's tests share: the simulated cameras, a pipeline with an
// appsink and its bus, and reading a buffer's frame numbers.

#include "vandrelmeta.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Simulated cameras of the tests: small frames, so that cases run fast.
constexpr const char *kColour = "GSTCOLOUR001";  // 1024 x 64, colour sensor, 100 fps
constexpr const char *kMono = "GSTMONO00002";    // 2048 x 32, monochrome, 100 fps
constexpr const char *kFast = "GSTFAST00003";    // 512 x 16, monochrome, as fast as frames are taken
constexpr const char *kTriggered = "GSTTRIG00004";  // 512 x 16, monochrome, in software-trigger mode

// Installs the population above in the simulator.
void configureSimulatedCameras();
// Installs these devices instead (a JSON array's elements), until the next
// configureSimulatedCameras().
void configureDevices(const std::string &devices);

// A recording in vandrel-host's format, of camera `serial`: `frames` frames
// of width x height x channels (1 or 3), frame i holding bytes (i * 31 + k) &
// 0xFF, 100 ms apart; with `settings` as its settings.json when not empty.
void writeRecording(const std::string &dir, const char *serial, int frames, int width, int height, int channels,
                    const std::string &settings = std::string());
// The bytes writeRecording puts into frame i.
std::vector<unsigned char> recordedBytes(int i, int width, int height, int channels);

// Polls until the condition holds or the time is up; returns whether it held.
bool eventually(const std::function<bool()> &condition, std::chrono::milliseconds limit);

// vandrelsrc (named "src") with the given properties, into an appsink (named
// "sink", unsynchronised, keeping up to 64 buffers).
class TestPipeline
{
public:
    explicit TestPipeline(const std::string &sourceProperties, const std::string &between = std::string());
    ~TestPipeline();
    TestPipeline(const TestPipeline &) = delete;
    TestPipeline &operator=(const TestPipeline &) = delete;

    GstElement *pipeline = nullptr;
    GstElement *src = nullptr;
    GstElement *sink = nullptr;

    GstStateChangeReturn play();
    // Sets the state and waits for the change to finish.
    GstStateChangeReturn setState(GstState state);
    // A buffer with a reference of its own; null when none came in time.
    GstBuffer *pull(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Pulls one buffer and lets it go; whether one came in time.
    bool pullAndDrop(std::chrono::milliseconds limit = std::chrono::seconds(5));
    GstCaps *caps();  // of the last pulled sample; a reference of its own
    // The next message of the types in `types`, or null when none came in time.
    GstMessage *message(GstMessageType types, std::chrono::milliseconds limit);
    // The next element message with this structure name, or null.
    GstMessage *elementMessage(const char *name, std::chrono::milliseconds limit);
    // The "event" of the next "vandrel-link" message, with its "detail" if
    // asked for; "(none)" when none came in time.
    std::string linkEvent(std::chrono::milliseconds limit, std::string *detail = nullptr);

private:
    GstCaps *lastCaps = nullptr;
};

VandrelFrameNumbers numbersOf(GstBuffer *buffer);
