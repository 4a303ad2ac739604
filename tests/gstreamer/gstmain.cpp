#include "gstsupport.h"
#include "gstvandrelsrc.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

// As in gst-launch-1.0: GStreamer's main, no Qt application of the program's
// own. The element is registered from the code under test itself, so the
// tests reach its camera; the simulated cameras are small and fast.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    gst_init(&argc, &argv);
    if (!gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "vandrel", "Vandrel line-scan cameras",
                                    vandrel_src_register, "test", "Proprietary", "vandrel", "vandrel",
                                    "https://localhost/vandrel"))
        return 2;
    configureSimulatedCameras();
    return RUN_ALL_TESTS();
}
