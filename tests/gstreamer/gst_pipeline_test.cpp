// vandrelsrc in pipelines: state cycles, a lost link, bad input, and buffers
// that outlive their pipeline.

#include "gstcamera.h"
#include "gstsupport.h"

#include "deadline.h"
#include "vdsim.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

std::string serialOption(const char *serial)
{
    return std::string("serial=") + serial;
}

// The error message's text, or "" when the message is no error.
std::string errorText(GstMessage *m)
{
    if (!m || GST_MESSAGE_TYPE(m) != GST_MESSAGE_ERROR)
        return std::string();
    GError *error = nullptr;
    gst_message_parse_error(m, &error, nullptr);
    std::string text = error->message;
    g_error_free(error);
    return text;
}

std::vector<guint8> bytesOf(GstBuffer *b)
{
    GstMapInfo map;
    if (!gst_buffer_map(b, &map, GST_MAP_READ))
        return {};
    std::vector<guint8> bytes(map.data, map.data + map.size);
    gst_buffer_unmap(b, &map);
    return bytes;
}

} // namespace

TEST(GstStates, TwoHundredPlayingNullCyclesUnderFullSpeedFrames)
{
    Deadline whole("200 PLAYING-NULL cycles", 180000);
    TestPipeline p(serialOption(kFast));
    for (int i = 0; i < 200; ++i) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_NE(p.play(), GST_STATE_CHANGE_FAILURE) << "cycle " << i;
        ASSERT_TRUE(p.pullAndDrop()) << "cycle " << i;
        ASSERT_EQ(p.setState(GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS) << "cycle " << i;
        ASSERT_LT(std::chrono::steady_clock::now() - start, 3s) << "cycle " << i;
    }
}

TEST(GstLink, LossAndReconnectionArePostedAndFramesResume)
{
    TestPipeline p(serialOption(kMono));
    ASSERT_NE(p.play(), GST_STATE_CHANGE_FAILURE);
    ASSERT_TRUE(p.pullAndDrop());
    shortenReconnectInterval(p.src, 50);

    const gint64 before = g_get_real_time();
    ASSERT_EQ(VdSimLinkLost(kMono, 0), 0);
    GstMessage *lost = p.elementMessage("vandrel-link", 5s);
    ASSERT_NE(lost, nullptr) << "no loss message";
    const GstStructure *s = gst_message_get_structure(lost);
    EXPECT_STREQ(gst_structure_get_string(s, "event"), "lost");
    EXPECT_STREQ(gst_structure_get_string(s, "serial"), kMono);
    GstDateTime *when = nullptr;
    ASSERT_TRUE(gst_structure_get(s, "time", GST_TYPE_DATE_TIME, &when, nullptr));
    GDateTime *g = gst_date_time_to_g_date_time(when);
    EXPECT_NEAR(double(g_date_time_to_unix(g)), double(before / G_USEC_PER_SEC), 5.0);
    g_date_time_unref(g);
    gst_date_time_unref(when);
    gst_message_unref(lost);

    // The element keeps waiting; what came before the loss is taken now.
    while (p.pullAndDrop(100ms)) {
    }
    ASSERT_EQ(VdSimLinkRestored(kMono), 0);
    EXPECT_EQ(p.linkEvent(5s), "back");
    EXPECT_TRUE(p.pullAndDrop(5s)) << "no frame after the reconnection";
    EXPECT_EQ(p.message(GST_MESSAGE_ERROR, 0ms), nullptr);
}

TEST(GstLink, AStallIsPostedAndTheRetryIntervalBringsALostCameraBackLongBeforeTheDriversTick)
{
    // The driver's own tick stays at 30 s here.
    TestPipeline p(serialOption(kMono) + " stall-timeout=300000000 retry-interval=200000000");
    ASSERT_NE(p.play(), GST_STATE_CHANGE_FAILURE);
    ASSERT_TRUE(p.pullAndDrop());

    // Unplugged without a status message: only the silence tells.
    ASSERT_EQ(VdSimSetAttached(kMono, 0), 0);
    std::string detail;
    EXPECT_EQ(p.linkEvent(5s, &detail), "stalled");
    EXPECT_NE(detail.find("no frame"), std::string::npos) << detail;
    ASSERT_EQ(VdSimSetAttached(kMono, 1), 0);
    EXPECT_EQ(p.linkEvent(5s), "back");
    EXPECT_TRUE(p.pullAndDrop(5s)) << "no frame after the stall ended";

    // Lost and restored: the element's own retry reopens it.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(VdSimLinkLost(kMono, 0), 0);
    EXPECT_EQ(p.linkEvent(5s), "lost");
    ASSERT_EQ(VdSimLinkRestored(kMono), 0);
    EXPECT_EQ(p.linkEvent(5s), "back");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_TRUE(p.pullAndDrop(5s)) << "no frame after the camera came back";
    EXPECT_EQ(p.message(GST_MESSAGE_ERROR, 0ms), nullptr);
}

TEST(GstLink, ALossOutlastingReconnectTimeoutIsAnError)
{
    TestPipeline p(serialOption(kMono) + " reconnect-timeout=300000000");
    ASSERT_NE(p.play(), GST_STATE_CHANGE_FAILURE);
    ASSERT_TRUE(p.pullAndDrop());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(VdSimLinkLost(kMono, 0), 0);
    GstMessage *m = p.message(GST_MESSAGE_ERROR, 5s);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_NE(errorText(m).find("did not come back"), std::string::npos) << errorText(m);
    EXPECT_GE(took, 300ms);
    if (m) {
        GError *error = nullptr;
        gst_message_parse_error(m, &error, nullptr);
        EXPECT_TRUE(g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ));
        g_error_free(error);
        gst_message_unref(m);
    }
    p.setState(GST_STATE_NULL);
    ASSERT_EQ(VdSimLinkRestored(kMono), 0);
}

TEST(GstBadInput, EachFailsTheStateChangeWithAClearError)
{
    const struct {
        std::string properties;
        std::string says;
    } cases[] = {
        {"serial=NOSUCHCAMERA", "no camera NOSUCHCAMERA"},
        {"plugin-dir=/nonexistent/vandrel", "no plug-in libVandrel.so in /nonexistent/vandrel"},
        {"settings=/nonexistent/settings.json", "/nonexistent/settings.json"},
        {"settings=" + std::string(VANDREL_TEST_BAD_JSON), "not valid JSON"},
        {serialOption(kMono) + " exposure=99", "no exposure configuration 99"},
    };
    for (const auto &c : cases) {
        TestPipeline p(c.properties);
        EXPECT_EQ(gst_element_set_state(p.pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE) << c.properties;
        GstMessage *m = p.message(GST_MESSAGE_ERROR, 2s);
        const std::string text = errorText(m);
        EXPECT_NE(text.find(c.says), std::string::npos) << c.properties << ": " << text;
        if (m)
            gst_message_unref(m);
    }
}

TEST(GstReplay, ARecordingsEndIsPostedAndEndsTheStream)
{
    QTemporaryDir dir;
    const std::string rec = dir.filePath(QStringLiteral("rec")).toStdString();
    writeRecording(rec, "GSTDESK00001", 3, 64, 8, 1);
    configureDevices(R"({"productName": "VD-XG8K-M", "serialNumber": "GSTDESK00001", "sensorWidth": 64,
        "mono": true, "frames": ")" + rec + "\"}");
    {
        TestPipeline p(serialOption("GSTDESK00001"));
        ASSERT_EQ(p.play(), GST_STATE_CHANGE_SUCCESS);
        for (int i = 0; i < 3; ++i) {
            GstBuffer *b = p.pull();
            ASSERT_NE(b, nullptr) << "frame " << i;
            EXPECT_EQ(bytesOf(b), recordedBytes(i, 64, 8, 1)) << "frame " << i;
            gst_buffer_unref(b);
        }
        GstMessage *ended = p.elementMessage("vandrel-recording", 5s);
        ASSERT_NE(ended, nullptr) << "the end is posted";
        const GstStructure *s = gst_message_get_structure(ended);
        int frames = -1;
        EXPECT_TRUE(gst_structure_get_int(s, "frames", &frames));
        EXPECT_EQ(frames, 3);
        EXPECT_STREQ(gst_structure_get_string(s, "serial"), "GSTDESK00001");
        EXPECT_STREQ(gst_structure_get_string(s, "text"), "camera GSTDESK00001: recording ended after 3 frames");
        gst_message_unref(ended);
        GstMessage *eos = p.message(GST_MESSAGE_EOS, 5s);
        EXPECT_NE(eos, nullptr) << "and the stream ends with it";
        if (eos)
            gst_message_unref(eos);
    }
    configureSimulatedCameras();
}

TEST(GstBadInput, CapsThatCannotMatchNameWhatTheCameraDelivers)
{
    TestPipeline p(serialOption(kMono), "capsfilter caps=video/x-raw,width=1000");
    // The first frame fails the stream, which may fail the change to PLAYING as well.
    gst_element_set_state(p.pipeline, GST_STATE_PLAYING);
    GstMessage *m = p.message(GST_MESSAGE_ERROR, 5s);
    const std::string text = errorText(m);
    EXPECT_NE(text.find(std::string("camera ") + kMono + " delivers video/x-raw, format=(string)GRAY8, width=(int)2048, "
                        "height=(int)32"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("downstream does not take (it takes video/x-raw, width=(int)1000)"), std::string::npos) << text;
    if (m) {
        GError *error = nullptr;
        gst_message_parse_error(m, &error, nullptr);
        EXPECT_TRUE(g_error_matches(error, GST_CORE_ERROR, GST_CORE_ERROR_NEGOTIATION));
        g_error_free(error);
        gst_message_unref(m);
    }
}

TEST(GstBadInput, ASimulatorConfigurationAfterTheFirstCameraFailsWithTheReason)
{
    {
        // Whichever case ran first, the process's cameras are listed now.
        TestPipeline first(serialOption(kMono));
        ASSERT_NE(first.play(), GST_STATE_CHANGE_FAILURE);
    }
    TestPipeline p(serialOption(kMono) + " sim-config=" + VANDREL_TEST_BAD_JSON);
    EXPECT_EQ(gst_element_set_state(p.pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstMessage *m = p.message(GST_MESSAGE_ERROR, 2s);
    const std::string text = errorText(m);
    EXPECT_NE(text.find(std::string("sim-config ") + VANDREL_TEST_BAD_JSON
                        + ": the simulated cameras are configured once per process"),
              std::string::npos)
        << text;
    if (m)
        gst_message_unref(m);
}

TEST(GstLifetime, BuffersHeldAfterThePipelineWentAreIntact)
{
    std::vector<GstBuffer *> held;
    std::vector<std::vector<guint8>> seen;
    {
        TestPipeline p(serialOption(kMono));
        ASSERT_NE(p.play(), GST_STATE_CHANGE_FAILURE);
        for (int i = 0; i < 5; ++i) {
            GstBuffer *b = p.pull();
            ASSERT_NE(b, nullptr);
            held.push_back(b);
            seen.push_back(bytesOf(b));
        }
        p.setState(GST_STATE_NULL);
    }  // the element is disposed here
    // Consecutive frames differ, so an overwrite would show.
    EXPECT_NE(seen[0], seen[1]);
    {
        // More frames of the same size, while the held ones are out.
        TestPipeline p(serialOption(kMono));
        ASSERT_NE(p.play(), GST_STATE_CHANGE_FAILURE);
        for (int i = 0; i < 30; ++i)
            ASSERT_TRUE(p.pullAndDrop()) << "frame " << i;
    }
    for (std::size_t i = 0; i < held.size(); ++i) {
        EXPECT_EQ(bytesOf(held[i]), seen[i]) << "buffer " << i;
        gst_buffer_unref(held[i]);
    }
}
