#include "vandreldeviceprovider.h"

#include "cameralisting.h"
#include "gstvandrelsrc.h"
#include "sourcecamera.h"

#include <exception>

GST_DEBUG_CATEGORY_STATIC(vandrel_provider_debug);
#define GST_CAT_DEFAULT vandrel_provider_debug

struct _VandrelDeviceProvider
{
    GstDeviceProvider parent;
};

struct _VandrelDevice
{
    GstDevice parent;
    gchar *serial;  // set once, before the device is handed out
};

G_DEFINE_TYPE(VandrelDeviceProvider, vandrel_device_provider, GST_TYPE_DEVICE_PROVIDER)
G_DEFINE_TYPE(VandrelDevice, vandrel_device, GST_TYPE_DEVICE)

namespace {

// What the camera's frames are without a settings file: the driver starts
// every camera in its own output format until settings say otherwise.
GstCaps *capsOf(const ListedCamera &c)
{
    if (!c.measured)
        return gst_caps_from_string("video/x-raw, format = (string) { GRAY8, RGB, RGBA, GRAY16_LE }, "
                                    "framerate = (fraction) 0/1");
    const char *format = c.channels == 3 ? "RGB" : c.channels == 4 ? "RGBA" : "GRAY8";
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format, "width", G_TYPE_INT, c.width, "height",
                               GST_TYPE_INT_RANGE, 1, G_MAXINT, "framerate", GST_TYPE_FRACTION, 0, 1,
                               "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
}

GstDevice *deviceOf(const ListedCamera &c)
{
    const QByteArray serial = c.serial.toUtf8();
    const QByteArray product = c.product.toUtf8();
    const QByteArray name = (c.product.isEmpty() ? c.serial : c.product + QLatin1Char(' ') + c.serial).toUtf8();
    GstStructure *props = gst_structure_new("vandrel-camera", "device.api", G_TYPE_STRING, "vandrel", "device.serial",
                                            G_TYPE_STRING, serial.constData(), nullptr);
    if (!product.isEmpty())
        gst_structure_set(props, "device.product.name", G_TYPE_STRING, product.constData(), nullptr);
    if (!c.measured)
        gst_structure_set(props, "vandrel.unmeasured", G_TYPE_STRING, c.why.toUtf8().constData(), nullptr);
    GstCaps *caps = capsOf(c);
    auto *device = VANDREL_DEVICE(g_object_new(VANDREL_TYPE_DEVICE, "display-name", name.constData(), "device-class",
                                               "Video/Source", "caps", caps, "properties", props, nullptr));
    device->serial = g_strdup(serial.constData());
    gst_caps_unref(caps);
    gst_structure_free(props);
    return GST_DEVICE(device);
}

GList *listDevices(GstDeviceProvider *provider)
{
    QList<ListedCamera> cameras;
    QString error;
    if (!listCameras(SourceCamera::defaultPluginDir(), cameras, error)) {
        GST_WARNING_OBJECT(provider, "no cameras listed: %s", error.toUtf8().constData());
        return nullptr;
    }
    GList *devices = nullptr;
    for (const ListedCamera &c : qAsConst(cameras))
        devices = g_list_append(devices, gst_object_ref_sink(deviceOf(c)));
    return devices;
}

// The entry points GStreamer calls: nothing thrown below them may reach it.

GList *probe(GstDeviceProvider *provider)
{
    try {
        return listDevices(provider);
    } catch (const std::exception &e) {
        GST_WARNING_OBJECT(provider, "no cameras listed: %s", e.what());
    } catch (...) {
        GST_WARNING_OBJECT(provider, "no cameras listed");
    }
    return nullptr;
}

GstElement *createElement(GstDevice *device, const gchar *name)
{
    GstElement *e = gst_element_factory_make("vandrelsrc", name);
    if (e)
        g_object_set(e, "serial", VANDREL_DEVICE(device)->serial, nullptr);
    return e;
}

gboolean reconfigureElement(GstDevice *device, GstElement *element)
{
    if (!VANDREL_IS_SRC(element))
        return FALSE;
    g_object_set(element, "serial", VANDREL_DEVICE(device)->serial, nullptr);
    return TRUE;
}

void finalizeDevice(GObject *object)
{
    g_free(VANDREL_DEVICE(object)->serial);
    G_OBJECT_CLASS(vandrel_device_parent_class)->finalize(object);
}

} // namespace

static void vandrel_device_provider_class_init(VandrelDeviceProviderClass *klass)
{
    auto *provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = probe;
    gst_device_provider_class_set_static_metadata(provider, "Vandrel camera provider", "Source/Video",
                                                  "Lists the Vandrel VD-XG line-scan cameras", "The Vandrel developers");
}

static void vandrel_device_provider_init(VandrelDeviceProvider *) {}

static void vandrel_device_class_init(VandrelDeviceClass *klass)
{
    auto *device = GST_DEVICE_CLASS(klass);
    device->create_element = createElement;
    device->reconfigure_element = reconfigureElement;
    G_OBJECT_CLASS(klass)->finalize = finalizeDevice;
}

static void vandrel_device_init(VandrelDevice *) {}

gboolean vandrel_device_provider_register(GstPlugin *plugin)
{
    GST_DEBUG_CATEGORY_INIT(vandrel_provider_debug, "vandreldeviceprovider", 0, "Vandrel camera provider");
    return gst_device_provider_register(plugin, "vandreldeviceprovider", GST_RANK_MARGINAL,
                                        VANDREL_TYPE_DEVICE_PROVIDER);
}
