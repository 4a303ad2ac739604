#include "gstsupport.h"

#include "population.h"
#include "vdsim.h"

#include <gtest/gtest.h>

#include <QDir>

#include <fstream>
#include <thread>

void configureSimulatedCameras()
{
    Population p;
    p.add("VD-XG4K-C", kColour, [](Population::Device &d) {
        d.sensorWidth = 1024;
        d.sensorHeight = 1024;
        d.frameHeight = 64;
        d.frameRate = 100;
    });
    p.add("VD-XG8K-M", kMono, [](Population::Device &d) {
        d.mono = true;
        d.sensorWidth = 2048;
        d.sensorHeight = 1024;
        d.frameHeight = 32;
        d.frameRate = 100;
    });
    p.add("VD-XG8K-M", kFast, [](Population::Device &d) {
        d.mono = true;
        d.sensorWidth = 512;
        d.sensorHeight = 1024;
        d.frameHeight = 16;
        d.frameRate = 0;
    });
    p.add("VD-XG8K-M", kTriggered, [](Population::Device &d) {
        d.mono = true;
        d.sensorWidth = 512;
        d.sensorHeight = 1024;
        d.frameHeight = 16;
        d.triggerMode = 1;
    });
    ASSERT_EQ(VdSimConfigure(p.json().constData()), 0);
}

void configureDevices(const std::string &devices)
{
    const std::string json = "{\"devices\": [" + devices + "]}";
    ASSERT_EQ(VdSimConfigure(json.c_str()), 0) << VdSimConfigureError();
}

std::vector<unsigned char> recordedBytes(int i, int width, int height, int channels)
{
    std::vector<unsigned char> bytes(size_t(width) * size_t(height) * size_t(channels));
    for (size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = (unsigned char)((size_t(i) * 31 + k) & 0xFF);
    return bytes;
}

void writeRecording(const std::string &dir, const char *serial, int frames, int width, int height, int channels,
                    const std::string &settings)
{
    QDir().mkpath(QString::fromStdString(dir));
    std::ofstream index(dir + "/index.jsonl");
    for (int i = 0; i < frames; ++i) {
        // PGM and PPM: images the simulator reads as they are.
        const std::string name = std::to_string(i + 1) + (channels == 1 ? ".pgm" : ".ppm");
        std::ofstream f(dir + "/" + name, std::ios::binary);
        f << (channels == 1 ? "P5" : "P6") << "\n" << width << " " << height << "\n255\n";
        const std::vector<unsigned char> bytes = recordedBytes(i, width, height, channels);
        f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        index << R"({"file": ")" << name << R"(", "serial": ")" << serial << R"(", "product": 1, "capture": 1,)"
              << R"( "cycle": 1, "captureTime": )" << 1000 + 100 * i << R"(, "width": )" << width
              << R"(, "height": )" << height << R"(, "channels": )" << channels << "}\n";
    }
    if (!settings.empty())
        std::ofstream(dir + "/settings.json") << settings;
}

bool eventually(const std::function<bool()> &condition, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TestPipeline::TestPipeline(const std::string &sourceProperties, const std::string &between)
{
    const std::string description = "vandrelsrc name=src " + sourceProperties + " ! " + between
                                    + (between.empty() ? "" : " ! ")
                                    + "appsink name=sink sync=false max-buffers=64 drop=false";
    GError *error = nullptr;
    pipeline = gst_parse_launch(description.c_str(), &error);
    if (error) {
        ADD_FAILURE() << description << ": " << error->message;
        g_error_free(error);
    }
    src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
}

TestPipeline::~TestPipeline()
{
    if (lastCaps)
        gst_caps_unref(lastCaps);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(src);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
}

GstStateChangeReturn TestPipeline::play()
{
    return setState(GST_STATE_PLAYING);
}

GstStateChangeReturn TestPipeline::setState(GstState state)
{
    GstStateChangeReturn r = gst_element_set_state(pipeline, state);
    if (r == GST_STATE_CHANGE_ASYNC)
        r = gst_element_get_state(pipeline, nullptr, nullptr, 10 * GST_SECOND);
    return r;
}

GstBuffer *TestPipeline::pull(std::chrono::milliseconds limit)
{
    GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), GstClockTime(limit.count()) * GST_MSECOND);
    if (!sample)
        return nullptr;
    GstBuffer *buffer = gst_buffer_ref(gst_sample_get_buffer(sample));
    if (lastCaps)
        gst_caps_unref(lastCaps);
    lastCaps = gst_caps_ref(gst_sample_get_caps(sample));
    gst_sample_unref(sample);
    return buffer;
}

bool TestPipeline::pullAndDrop(std::chrono::milliseconds limit)
{
    GstBuffer *b = pull(limit);
    if (b)
        gst_buffer_unref(b);
    return b != nullptr;
}

GstCaps *TestPipeline::caps()
{
    return lastCaps ? gst_caps_ref(lastCaps) : nullptr;
}

GstMessage *TestPipeline::message(GstMessageType types, std::chrono::milliseconds limit)
{
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *m = gst_bus_timed_pop_filtered(bus, GstClockTime(limit.count()) * GST_MSECOND, types);
    gst_object_unref(bus);
    return m;
}

GstMessage *TestPipeline::elementMessage(const char *name, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return nullptr;
        GstMessage *m = message(GST_MESSAGE_ELEMENT, left);
        if (!m)
            return nullptr;
        if (gst_message_has_name(m, name))
            return m;
        gst_message_unref(m);
    }
}

std::string TestPipeline::linkEvent(std::chrono::milliseconds limit, std::string *detail)
{
    GstMessage *m = elementMessage("vandrel-link", limit);
    if (!m)
        return "(none)";
    const GstStructure *s = gst_message_get_structure(m);
    const char *event = gst_structure_get_string(s, "event");
    std::string result = event ? event : "(no event)";
    if (detail) {
        const char *d = gst_structure_get_string(s, "detail");
        *detail = d ? d : "";
    }
    gst_message_unref(m);
    return result;
}

VandrelFrameNumbers numbersOf(GstBuffer *buffer)
{
    VandrelFrameNumbers n{-1, -1, -1, -1, 0};
    EXPECT_TRUE(vandrel_frame_meta_get(buffer, &n)) << "buffer without the frame meta";
    return n;
}
