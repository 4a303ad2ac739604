// GST_PLUGIN_DEFINE names the package of its static registration function.
#define PACKAGE "vandrel"

#include "gstvandrelsrc.h"

namespace {

gboolean pluginInit(GstPlugin *plugin)
{
    return vandrel_src_register(plugin);
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, vandrel, "Vandrel line-scan cameras", pluginInit,
                  VANDREL_VERSION, "Proprietary", "vandrel", "https://localhost/vandrel")
