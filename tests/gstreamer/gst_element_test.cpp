// vandrelsrc through GstHarness: caps, buffers and their numbers, format
// changes, triggers, unlock and latency.

#include "gstcamera.h"
#include "gstsupport.h"
#include "paramaccess.h"
#include "vdsim.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gst/check/gstharness.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Format
{
    std::string format;
    int width = 0;
    int height = 0;
    int fpsN = -1;
    int fpsD = -1;
};

Format formatOf(GstCaps *caps)
{
    Format f;
    if (!caps || gst_caps_get_size(caps) != 1)
        return f;
    const GstStructure *s = gst_caps_get_structure(caps, 0);
    if (const char *name = gst_structure_get_string(s, "format"))
        f.format = name;
    gst_structure_get_int(s, "width", &f.width);
    gst_structure_get_int(s, "height", &f.height);
    gst_structure_get_fraction(s, "framerate", &f.fpsN, &f.fpsD);
    return f;
}

Format currentFormat(GstHarness *h)
{
    GstCaps *caps = gst_pad_get_current_caps(h->sinkpad);
    const Format f = formatOf(caps);
    if (caps)
        gst_caps_unref(caps);
    return f;
}

// A harness around a playing vandrelsrc; `configure` sets its properties first.
GstHarness *playing(const std::function<void(GstElement *)> &configure)
{
    GstHarness *h = gst_harness_new("vandrelsrc");
    configure(h->element);
    gst_harness_play(h);
    return h;
}

// The next buffer, waiting at most `limit`.
GstBuffer *next(GstHarness *h, std::chrono::milliseconds limit = 5s)
{
    GstBuffer *b = nullptr;
    eventually([&] { return (b = gst_harness_try_pull(h)) != nullptr; }, limit);
    return b;
}

// The text of the next warning on the bus; "(none)" when there is none.
std::string popWarning(GstBus *bus)
{
    GstMessage *m = gst_bus_pop_filtered(bus, GST_MESSAGE_WARNING);
    if (!m)
        return "(none)";
    GError *error = nullptr;
    gst_message_parse_warning(m, &error, nullptr);
    std::string text = error->message;
    g_error_free(error);
    gst_message_unref(m);
    return text;
}

// Saves the camera's settings, with colour on, into `file`.
void writeColourSettings(const QString &file)
{
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", kColour, nullptr); });
    switchColourOn(h->element);
    QJsonObject settings;
    ASSERT_TRUE(vandrel_src_with_camera(h->element, [&](CameraInterface *cam) { cam->save(settings); }));
    gst_harness_teardown(h);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(settings).toJson());
}

} // namespace

TEST(GstCaps, MonochromeCameraGivesGray8OfItsFrameSize)
{
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", kMono, nullptr); });
    GstBuffer *b = next(h);
    ASSERT_NE(b, nullptr);
    const Format f = currentFormat(h);
    EXPECT_EQ(f.format, "GRAY8");
    EXPECT_EQ(f.width, 2048);
    EXPECT_EQ(f.height, 32);
    EXPECT_EQ(f.fpsN, 0);
    EXPECT_EQ(f.fpsD, 1);
    EXPECT_EQ(gst_buffer_get_size(b), gsize(2048 * 32));
    gst_buffer_unref(b);
    gst_harness_teardown(h);
}

TEST(GstCaps, ColourSettingsGiveRgbFromTheFirstBuffer)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("colour.json"));
    writeColourSettings(file);
    const QByteArray path = file.toLocal8Bit();
    GstHarness *h = playing([&](GstElement *e) {
        g_object_set(e, "serial", kColour, "settings", path.constData(), nullptr);
    });
    GstBuffer *b = next(h);
    ASSERT_NE(b, nullptr);
    const Format f = currentFormat(h);
    EXPECT_EQ(f.format, "RGB");
    EXPECT_EQ(f.width, 1024);
    EXPECT_EQ(f.height, 64);
    EXPECT_EQ(gst_buffer_get_size(b), gsize(1024 * 64 * 3));
    gst_buffer_unref(b);
    gst_harness_teardown(h);
}

TEST(GstCaps, SwitchingColourOnRenegotiatesAndBuffersFollowTheCaps)
{
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", kColour, nullptr); });
    GstBuffer *b = next(h);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(currentFormat(h).format, "GRAY8");
    EXPECT_EQ(gst_buffer_get_size(b), gsize(1024 * 64));
    gst_buffer_unref(b);

    switchColourOn(h->element);
    // Frames made before the switch may still be queued; each buffer matches
    // the caps in force when it arrives.
    bool rgb = false;
    for (int i = 0; i < 40 && !rgb; ++i) {
        b = next(h);
        ASSERT_NE(b, nullptr);
        const Format f = currentFormat(h);
        rgb = f.format == "RGB";
        EXPECT_EQ(gst_buffer_get_size(b), gsize(f.width * f.height * (rgb ? 3 : 1)));
        gst_buffer_unref(b);
    }
    EXPECT_TRUE(rgb) << "no RGB caps within 40 buffers of switching colour on";
    const Format f = currentFormat(h);
    EXPECT_EQ(f.width, 1024);
    EXPECT_EQ(f.height, 64);
    gst_harness_teardown(h);
}

TEST(GstBuffers, CarryTheFrameMetaConsecutiveOffsetsAndRunningTimes)
{
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", kMono, nullptr); });
    constexpr int kCount = 10;
    guint64 lastCameraTime = 0;
    guint64 firstOffset = 0;
    GstClockTime lastPts = 0;
    int firstProduct = 0;
    for (int i = 0; i < kCount; ++i) {
        GstBuffer *b = next(h);
        ASSERT_NE(b, nullptr) << "buffer " << i;
        if (i == 0) {
            firstOffset = GST_BUFFER_OFFSET(b);
            firstProduct = numbersOf(b).product;
        }
        EXPECT_EQ(GST_BUFFER_OFFSET(b), firstOffset + guint64(i));
        EXPECT_EQ(GST_BUFFER_OFFSET_END(b), GST_BUFFER_OFFSET(b) + 1);
        ASSERT_TRUE(GST_BUFFER_PTS_IS_VALID(b));
        EXPECT_GE(GST_BUFFER_PTS(b), lastPts);
        lastPts = GST_BUFFER_PTS(b);
        const VandrelFrameNumbers n = numbersOf(b);
        EXPECT_EQ(n.product, firstProduct + i);
        EXPECT_EQ(n.capture, 1);
        EXPECT_EQ(n.cycle, 1);
        EXPECT_EQ(n.cameraIndex, 1);  // the second camera enumerated
        // The camera's own clock: one frame of a 100 fps camera apart, or
        // in the same millisecond when its thread catches up after a delay.
        if (i > 0) {
            EXPECT_GE(n.cameraTimeNs, lastCameraTime);
            EXPECT_LT(n.cameraTimeNs - lastCameraTime, 100 * GST_MSECOND);
        }
        lastCameraTime = n.cameraTimeNs;
        gst_buffer_unref(b);
    }
    EXPECT_EQ(firstOffset, 0u);
    EXPECT_GE(firstProduct, 1);
    guint64 dropped = 1, copied = 1;
    g_object_get(h->element, "dropped", &dropped, "copied", &copied, nullptr);
    EXPECT_EQ(dropped, 0u);
    EXPECT_EQ(copied, 0u);
    gst_harness_teardown(h);
}

TEST(GstBuffers, NumberedThroughTheProductTable)
{
    GstHarness *h = playing([](GstElement *e) {
        g_object_set(e, "serial", kMono, "captures-per-product", 3, "products-per-cycle", 2, nullptr);
    });
    // product, capture, cycle
    const std::array<std::array<int, 3>, 8> expected{{
        {1, 1, 1}, {1, 2, 1}, {1, 3, 1}, {2, 1, 2}, {2, 2, 2}, {2, 3, 2}, {3, 1, 1}, {3, 2, 1},
    }};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        GstBuffer *b = next(h);
        ASSERT_NE(b, nullptr) << "buffer " << i;
        const VandrelFrameNumbers n = numbersOf(b);
        EXPECT_EQ((std::array<int, 3>{n.product, n.capture, n.cycle}), expected[i]) << "buffer " << i;
        gst_buffer_unref(b);
    }
    gst_harness_teardown(h);
}

TEST(GstBuffers, DroppedCountsWhatTheFullQueueLost)
{
    // Nobody takes the buffers: the streaming thread blocks downstream on a
    // full queue of one, and the camera keeps delivering.
    TestPipeline p(std::string("serial=") + kFast + " queue-size=2", "queue max-size-buffers=1 leaky=no");
    g_object_set(p.sink, "max-buffers", 1u, "drop", FALSE, nullptr);
    ASSERT_NE(p.play(), GST_STATE_CHANGE_FAILURE);
    guint64 dropped = 0;
    EXPECT_TRUE(eventually([&] {
        g_object_get(p.src, "dropped", &dropped, nullptr);
        return dropped >= 10;
    }, 5s)) << "dropped " << dropped;
    // While the pipeline stands still the camera goes on; the frames taken
    // afterwards are the newest, their offsets past the dropped ones.
    GstBuffer *b = p.pull();
    ASSERT_NE(b, nullptr);
    guint64 last = GST_BUFFER_OFFSET(b);
    gst_buffer_unref(b);
    const guint64 before = dropped;
    EXPECT_TRUE(eventually([&] {
        g_object_get(p.src, "dropped", &dropped, nullptr);
        return dropped >= before + 10;
    }, 5s));
    bool gap = false;
    for (int i = 0; i < 8 && !gap; ++i) {
        b = p.pull();
        ASSERT_NE(b, nullptr);
        EXPECT_GT(GST_BUFFER_OFFSET(b), last);
        gap = GST_BUFFER_OFFSET(b) > last + 1;
        last = GST_BUFFER_OFFSET(b);
        gst_buffer_unref(b);
    }
    EXPECT_TRUE(gap) << "no offset skipped the dropped frames";
}

TEST(GstTrigger, SoftTriggerGivesOneFrameInTriggerMode)
{
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", kTriggered, nullptr); });
    EXPECT_EQ(next(h, 300ms), nullptr) << "a frame without a trigger";
    g_signal_emit_by_name(h->element, "soft-trigger", 7, 1);
    GstBuffer *b = next(h);
    ASSERT_NE(b, nullptr);
    gst_buffer_unref(b);
    EXPECT_EQ(next(h, 300ms), nullptr) << "a frame without a trigger";
    gst_harness_teardown(h);
}

TEST(GstTrigger, HostNumberedTriggersNumberTheirFramesAsAsked)
{
    GstHarness *h = playing([](GstElement *e) {
        g_object_set(e, "serial", kTriggered, "host-numbered", TRUE, "products-per-cycle", 5, nullptr);
    });
    // product, capture asked; the cycle position follows from products-per-cycle.
    const std::array<std::array<int, 3>, 3> asked{{{42, 2, 2}, {43, 1, 3}, {45, 7, 5}}};
    for (const auto &a : asked) {
        g_signal_emit_by_name(h->element, "soft-trigger", a[0], a[1]);
        GstBuffer *b = next(h);
        ASSERT_NE(b, nullptr) << "no frame for trigger " << a[0];
        const VandrelFrameNumbers n = numbersOf(b);
        EXPECT_EQ((std::array<int, 3>{n.product, n.capture, n.cycle}), a);
        gst_buffer_unref(b);
    }
    // Switched off while playing: the camera's own count goes on, whatever is asked.
    g_object_set(h->element, "host-numbered", FALSE, nullptr);
    g_signal_emit_by_name(h->element, "soft-trigger", 900, 9);
    GstBuffer *b = next(h);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(numbersOf(b).product, 900);
    EXPECT_EQ(numbersOf(b).capture, 1);
    gst_buffer_unref(b);
    gst_harness_teardown(h);
}

TEST(GstTrigger, BackToBackTriggersEachNumberTheirOwnFrameAndAFreeRunningCameraRefusesThem)
{
    GstHarness *h = playing([](GstElement *e) {
        g_object_set(e, "serial", kTriggered, "host-numbered", TRUE, "products-per-cycle", 1000, nullptr);
    });
    // Sent before any of their frames is in: the driver keeps only the
    // latest preset numbers, so each must wait for the one before.
    const std::array<std::array<int, 2>, 4> asked{{{9, 1}, {9, 2}, {10, 1}, {11, 3}}};
    for (const auto &a : asked)
        g_signal_emit_by_name(h->element, "soft-trigger", a[0], a[1]);
    for (const auto &a : asked) {
        GstBuffer *b = next(h);
        ASSERT_NE(b, nullptr) << "no frame for trigger " << a[0] << "/" << a[1];
        const VandrelFrameNumbers n = numbersOf(b);
        EXPECT_EQ((std::array<int, 2>{n.product, n.capture}), a);
        gst_buffer_unref(b);
    }
    EXPECT_EQ(next(h, 300ms), nullptr) << "a frame without a trigger";
    gst_harness_teardown(h);

    h = playing([](GstElement *e) { g_object_set(e, "serial", kMono, nullptr); });
    GstBus *bus = gst_bus_new();
    gst_element_set_bus(h->element, bus);
    g_signal_emit_by_name(h->element, "soft-trigger", 1, 1);
    const std::string warning = popWarning(bus);
    EXPECT_NE(warning.find("runs free"), std::string::npos) << warning;
    gst_harness_teardown(h);
    gst_object_unref(bus);
}

TEST(GstProperties, FeaturesWriteByEnglishNameApplyWhatWaitsForApplyAndRefuseWhatTheCameraLacks)
{
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", kMono, "exposure", 0, nullptr); });
    GstBuffer *b = next(h);
    ASSERT_NE(b, nullptr);
    gst_buffer_unref(b);
    ParamInfo exposure;
    ASSERT_TRUE(vandrel_src_with_camera(h->element, [&](CameraInterface *cam) {
        findParam(readParams(cam), QStringLiteral("ExposureTime1"), exposure);
    }));
    ASSERT_TRUE(exposure.hasLimits);
    double before = 0;
    ASSERT_EQ(VdSimGetValue(kMono, "exposureTime", &before), 0);
    // Short enough that the free-running lines still come at once.
    const double wanted = std::min(exposure.maximum, exposure.minimum * 4) == before
                              ? std::min(exposure.maximum, exposure.minimum * 2)
                              : std::min(exposure.maximum, exposure.minimum * 4);
    GstBus *bus = gst_bus_new();
    gst_element_set_bus(h->element, bus);
    const std::string features = "ExposureTime1=" + std::to_string(wanted);
    g_object_set(h->element, "features", features.c_str(), nullptr);
    // The exposure time reaches the camera only when its configuration is
    // selected: the element applied it at once.
    double after = 0;
    ASSERT_EQ(VdSimGetValue(kMono, "exposureTime", &after), 0);
    EXPECT_NE(after, before);
    gchar *read = nullptr;
    g_object_get(h->element, "features", &read, nullptr);
    EXPECT_STREQ(read, features.c_str());
    g_free(read);
    EXPECT_EQ(gst_bus_pop_filtered(bus, GST_MESSAGE_WARNING), nullptr) << "it took effect";

    // Kept but sent to no camera: written, with a warning.
    g_object_set(h->element, "features", "ReverseX=on Gain=8", nullptr);
    const std::string warning = popWarning(bus);
    EXPECT_NE(warning.find("sends it to no camera"), std::string::npos) << warning;
    EXPECT_NE(popWarning(bus).find("Gain"), std::string::npos);

    // A name the camera lacks, or a value out of range: refused, the property unchanged.
    for (const char *bad : {"NoSuchFeature=1", "Gain=100000", "Gain"}) {
        g_object_set(h->element, "features", bad, nullptr);
        EXPECT_NE(popWarning(bus), "(none)") << bad << " was taken silently";
        g_object_get(h->element, "features", &read, nullptr);
        EXPECT_STREQ(read, "ReverseX=on Gain=8") << bad;
        g_free(read);
    }
    gst_harness_teardown(h);
    gst_object_unref(bus);

    // At the state change, a refused feature fails it with the reason.
    GstElement *e = gst_element_factory_make("vandrelsrc", nullptr);
    g_object_set(e, "serial", kMono, "features", "NoSuchFeature=1", nullptr);
    bus = gst_bus_new();
    gst_element_set_bus(e, bus);
    EXPECT_EQ(gst_element_set_state(e, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    GstMessage *m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    ASSERT_NE(m, nullptr);
    GError *error = nullptr;
    gst_message_parse_error(m, &error, nullptr);
    EXPECT_NE(std::string(error->message).find("NoSuchFeature"), std::string::npos) << error->message;
    g_error_free(error);
    gst_message_unref(m);
    gst_element_set_state(e, GST_STATE_NULL);
    gst_object_unref(e);
    gst_object_unref(bus);
}

TEST(GstProperties, ExposureReadsBackWhatTheCameraAccepted)
{
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", kMono, "exposure", 0, nullptr); });
    GstBuffer *b = next(h);
    ASSERT_NE(b, nullptr);
    gst_buffer_unref(b);
    gint exposure = -2;
    g_object_get(h->element, "exposure", &exposure, nullptr);
    EXPECT_EQ(exposure, 0);
    // The camera has one configuration: it refuses the fourth, with a warning,
    // and keeps the first.
    GstBus *bus = gst_bus_new();
    gst_element_set_bus(h->element, bus);
    g_object_set(h->element, "exposure", 3, nullptr);
    g_object_get(h->element, "exposure", &exposure, nullptr);
    EXPECT_EQ(exposure, 0);
    const std::string warning = popWarning(bus);
    EXPECT_NE(warning.find("refused exposure configuration 3"), std::string::npos) << warning;
    // And takes one it has.
    g_object_set(h->element, "exposure", -1, nullptr);
    g_object_get(h->element, "exposure", &exposure, nullptr);
    EXPECT_EQ(exposure, -1);
    g_object_set(h->element, "exposure", 0, nullptr);
    g_object_get(h->element, "exposure", &exposure, nullptr);
    EXPECT_EQ(exposure, 0);
    gst_harness_teardown(h);
    gst_object_unref(bus);
}

TEST(GstLiveness, StoppingWhileNoFrameComesReturnsPromptly)
{
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", kTriggered, nullptr); });
    EXPECT_EQ(next(h, 300ms), nullptr) << "a frame without a trigger";
    // create() now waits for a frame that never comes.
    const auto start = std::chrono::steady_clock::now();
    gst_harness_teardown(h);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(GstLiveness, LatencyIsLiveBoundedInContinuousAndOpenInTriggerMode)
{
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", kMono, "queue-size", 4u, nullptr); });
    for (int i = 0; i < 3; ++i) {
        GstBuffer *b = next(h);
        ASSERT_NE(b, nullptr);
        gst_buffer_unref(b);
    }
    GstQuery *q = gst_query_new_latency();
    ASSERT_TRUE(gst_element_query(h->element, q));
    gboolean live = FALSE;
    GstClockTime min = 1, max = 0;
    gst_query_parse_latency(q, &live, &min, &max);
    EXPECT_TRUE(live);
    EXPECT_EQ(min, 0u);
    // Four frames of a 100 fps camera.
    ASSERT_TRUE(GST_CLOCK_TIME_IS_VALID(max));
    EXPECT_GT(max, 4 * 2 * GST_MSECOND);
    EXPECT_LT(max, 4 * 50 * GST_MSECOND);

    gst_harness_teardown(h);

    h = playing([](GstElement *e) { g_object_set(e, "serial", kTriggered, nullptr); });
    g_signal_emit_by_name(h->element, "soft-trigger", 1, 1);
    GstBuffer *b = next(h);
    ASSERT_NE(b, nullptr);
    gst_buffer_unref(b);
    ASSERT_TRUE(gst_element_query(h->element, q));
    gst_query_parse_latency(q, &live, &min, &max);
    EXPECT_TRUE(live);
    EXPECT_EQ(min, 0u);
    EXPECT_FALSE(GST_CLOCK_TIME_IS_VALID(max)) << "frames wait in the queue for triggers for any time";
    gst_query_unref(q);
    gst_harness_teardown(h);
}

TEST(GstCaps, AFrameCutShortByAnEncoderStopRenegotiatesAndBack)
{
    // 1000 lines a second into frames of 32; the web stops after 300 lines.
    configureDevices(R"({"productName": "VD-XG8K-M", "serialNumber": "GSTLINE00001", "sensorWidth": 256,
        "frameHeight": 32, "mono": true, "encoder": {"linesPerMm": 10, "lineTimeoutMs": 50,
        "webSpeed": [[0, 100], [0.3, 100], [0.3, 0], [0.6, 0], [0.6, 100]]}})");
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", "GSTLINE00001", nullptr); });
    std::vector<int> heights;
    for (int i = 0; i < 13; ++i) {
        GstBuffer *b = next(h);
        ASSERT_NE(b, nullptr) << "buffer " << i;
        const Format f = currentFormat(h);
        EXPECT_EQ(f.width, 256);
        EXPECT_EQ(gst_buffer_get_size(b), gsize(256 * f.height)) << "the buffer follows its caps";
        heights.push_back(f.height);
        gst_buffer_unref(b);
    }
    gst_harness_teardown(h);
    configureSimulatedCameras();
    std::vector<int> expected(13, 32);
    expected[9] = 12;
    EXPECT_EQ(heights, expected);
}

TEST(GstCaps, AColourRecordingReplaysInColourWithTheSettingsItWasRecordedWith)
{
    QTemporaryDir dir;
    const QString colour = dir.filePath(QStringLiteral("colour.json"));
    writeColourSettings(colour);
    QFile settings(colour);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const std::string rec = dir.filePath(QStringLiteral("rec")).toStdString();
    writeRecording(rec, "GSTDESK00001", 2, 64, 8, 3, settings.readAll().toStdString());
    configureDevices(R"({"productName": "VD-XG4K-C", "serialNumber": "GSTDESK00001", "sensorWidth": 64,
        "loop": true, "frames": ")" + rec + "\"}");
    GstHarness *h = playing([](GstElement *e) { g_object_set(e, "serial", "GSTDESK00001", nullptr); });
    for (int i = 0; i < 2; ++i) {
        GstBuffer *b = next(h);
        ASSERT_NE(b, nullptr);
        const Format f = currentFormat(h);
        EXPECT_EQ(f.format, "RGB") << "no settings given: the recording's own";
        EXPECT_EQ(f.width, 64);
        EXPECT_EQ(f.height, 8);
        GstMapInfo map;
        ASSERT_TRUE(gst_buffer_map(b, &map, GST_MAP_READ));
        const std::vector<unsigned char> bytes(map.data, map.data + map.size);
        gst_buffer_unmap(b, &map);
        EXPECT_EQ(bytes, recordedBytes(i, 64, 8, 3)) << "frame " << i;
        gst_buffer_unref(b);
    }
    gst_harness_teardown(h);
    configureSimulatedCameras();
}
