#include "gstsupport.h"
#include "gstvandrelsrc.h"
#include "vandreldeviceprovider.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

// The camera runtime keeps the Qt application it created, with its thread's
// context object, to the end of the process on purpose (Qt allows one per
// process); Qt's frames have no frame pointers, so its stacks end in Qt. Qt
// also keeps the thread data of GStreamer's pooled threads that called into
// it, which live on at exit; those stacks name nothing but Qt.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:OwnApplication\nleak:QObject::QObject\nleak:QObject::event\nleak:libQt5Core.so\n";
}

namespace {

gboolean registerFeatures(GstPlugin *plugin)
{
    return vandrel_src_register(plugin) && vandrel_device_provider_register(plugin);
}

} // namespace

// As in gst-launch-1.0: GStreamer's main, no Qt application of the program's
// own. The element is registered from the code under test itself, so the
// tests reach its camera; the simulated cameras are small and fast.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    gst_init(&argc, &argv);
    if (!gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "vandrel", "Vandrel line-scan cameras",
                                    registerFeatures, "test", "MIT/X11", "vandrel", "vandrel",
                                    "Unknown package origin"))
        return 2;
    configureSimulatedCameras();
    return RUN_ALL_TESTS();
}
