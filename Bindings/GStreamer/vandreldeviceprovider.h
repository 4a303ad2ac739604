#pragma once

// The cameras as GStreamer's device discovery sees them (gst-device-monitor,
// GstDeviceMonitor in an application): one "Video/Source" device per VD-XG
// camera, named by product and serial, with the caps of its frames and the
// properties "device.api" ("vandrel"), "device.serial" and
// "device.product.name"; each device makes a vandrelsrc for its camera.

#include <gst/gst.h>

G_BEGIN_DECLS

#define VANDREL_TYPE_DEVICE_PROVIDER (vandrel_device_provider_get_type())
G_DECLARE_FINAL_TYPE(VandrelDeviceProvider, vandrel_device_provider, VANDREL, DEVICE_PROVIDER, GstDeviceProvider)

#define VANDREL_TYPE_DEVICE (vandrel_device_get_type())
G_DECLARE_FINAL_TYPE(VandrelDevice, vandrel_device, VANDREL, DEVICE, GstDevice)

G_END_DECLS

gboolean vandrel_device_provider_register(GstPlugin *plugin);
