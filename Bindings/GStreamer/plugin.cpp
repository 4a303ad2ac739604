// GST_PLUGIN_DEFINE names the package of its static registration function.
#define PACKAGE "vandrel"

#include "gstvandrelsrc.h"
#include "vandreldeviceprovider.h"

namespace {

gboolean pluginInit(GstPlugin *plugin)
{
    return vandrel_src_register(plugin) && vandrel_device_provider_register(plugin);
}

} // namespace

// The project's licence as GStreamer spells it; no origin URL of its own, so
// GStreamer's own words for none.
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vandrel, "Vandrel line-scan cameras", pluginInit,
                  VANDREL_VERSION, "MIT/X11", "vandrel", "Unknown package origin")
