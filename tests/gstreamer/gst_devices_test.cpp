// The device provider: each VD-XG camera once, with serial, product, width
// and format, and a device that makes a vandrelsrc whose frames match the
// device's caps. Asked directly, so that no other provider of the machine
// takes part; gst_launch_test.devices runs gst-device-monitor-1.0 itself.

#include "gstsupport.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

struct Listed
{
    std::string name;
    std::string product;
    GstCaps *caps = nullptr;
    GstDevice *device = nullptr;
};

std::string text(const GstStructure *s, const char *field)
{
    const char *v = s ? gst_structure_get_string(s, field) : nullptr;
    return v ? v : "";
}

// The provider's devices, by serial.
class Devices : public ::testing::Test
{
protected:
    void SetUp() override
    {
        provider = gst_device_provider_factory_get_by_name("vandreldeviceprovider");
        ASSERT_NE(provider, nullptr);
        GList *all = gst_device_provider_get_devices(provider);
        for (GList *l = all; l; l = l->next) {
            auto *d = GST_DEVICE(l->data);
            GstStructure *props = gst_device_get_properties(d);
            EXPECT_EQ(text(props, "device.api"), "vandrel");
            EXPECT_TRUE(gst_device_has_classes(d, "Video/Source"));
            Listed &e = found[text(props, "device.serial")];
            EXPECT_EQ(e.device, nullptr) << "listed twice: " << text(props, "device.serial");
            gchar *name = gst_device_get_display_name(d);
            e.name = name;
            g_free(name);
            e.product = text(props, "device.product.name");
            e.caps = gst_device_get_caps(d);
            e.device = GST_DEVICE(gst_object_ref(d));
            if (props)
                gst_structure_free(props);
        }
        g_list_free_full(all, gst_object_unref);
    }
    void TearDown() override
    {
        for (auto &f : found) {
            if (f.second.caps)
                gst_caps_unref(f.second.caps);
            if (f.second.device)
                gst_object_unref(f.second.device);
        }
        if (provider)
            gst_object_unref(provider);
    }
    GstDeviceProvider *provider = nullptr;
    std::map<std::string, Listed> found;
};

} // namespace

TEST_F(Devices, EachCameraOnceWithSerialProductWidthAndFormat)
{
    const std::map<std::string, std::pair<std::string, int>> expected{
        {kColour, {"VD-XG4K-C", 1024}},
        {kMono, {"VD-XG8K-M", 2048}},
        {kFast, {"VD-XG8K-M", 512}},
        {kTriggered, {"VD-XG8K-M", 512}},
    };
    ASSERT_EQ(found.size(), expected.size());
    for (const auto &e : expected) {
        SCOPED_TRACE(e.first);
        ASSERT_EQ(found.count(e.first), 1u);
        const Listed &l = found[e.first];
        EXPECT_EQ(l.product, e.second.first);
        EXPECT_EQ(l.name, e.second.first + " " + e.first);
        ASSERT_NE(l.caps, nullptr);
        ASSERT_EQ(gst_caps_get_size(l.caps), 1u);
        const GstStructure *s = gst_caps_get_structure(l.caps, 0);
        gint width = 0;
        EXPECT_TRUE(gst_structure_get_int(s, "width", &width));
        EXPECT_EQ(width, e.second.second);
        EXPECT_EQ(text(s, "format"), "GRAY8");
    }
}

TEST_F(Devices, ADeviceMakesASourceOfItsCameraWithFramesOfItsCaps)
{
    ASSERT_EQ(found.count(kMono), 1u);
    const Listed &mono = found[kMono];
    GstElement *src = gst_device_create_element(mono.device, "src");
    ASSERT_NE(src, nullptr);
    gchar *serial = nullptr;
    g_object_get(src, "serial", &serial, nullptr);
    EXPECT_STREQ(serial, kMono);
    g_free(serial);

    GstElement *pipeline = gst_pipeline_new(nullptr);
    GstElement *sink = gst_element_factory_make("appsink", "sink");
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), src, sink, nullptr);
    ASSERT_TRUE(gst_element_link(src, sink));
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND);
    ASSERT_NE(sample, nullptr);
    EXPECT_TRUE(gst_caps_is_subset(gst_sample_get_caps(sample), mono.caps))
        << gst_caps_to_string(gst_sample_get_caps(sample));
    gst_sample_unref(sample);

    // The same device points another source at its camera.
    GstElement *other = gst_element_factory_make("vandrelsrc", nullptr);
    EXPECT_TRUE(gst_device_reconfigure_element(found[kFast].device, other));
    g_object_get(other, "serial", &serial, nullptr);
    EXPECT_STREQ(serial, kFast);
    g_free(serial);
    gst_object_unref(gst_object_ref_sink(other));

    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}
