#include "vandrelmeta.h"

void vandrel_frame_meta_register(void)
{
    static gsize done = 0;
    if (g_once_init_enter(&done)) {
        // No tags: the numbers stay true through conversions, scaling and copies.
        static const gchar *tags[] = {nullptr};
        gst_meta_register_custom(VANDREL_FRAME_META_NAME, tags, nullptr, nullptr, nullptr);
        g_once_init_leave(&done, 1);
    }
}

void vandrel_frame_meta_add(GstBuffer *buffer, const VandrelFrameNumbers *n)
{
    GstCustomMeta *meta = gst_buffer_add_custom_meta(buffer, VANDREL_FRAME_META_NAME);
    if (!meta)
        return;
    GstStructure *s = gst_custom_meta_get_structure(meta);
    gst_structure_set_name(s, "vandrel-frame");
    gst_structure_set(s, "product", G_TYPE_INT, n->product, "capture", G_TYPE_INT, n->capture, "cycle", G_TYPE_INT,
                      n->cycle, "camera-index", G_TYPE_INT, n->cameraIndex, "camera-time", G_TYPE_UINT64,
                      n->cameraTimeNs, nullptr);
}

gboolean vandrel_frame_meta_get(GstBuffer *buffer, VandrelFrameNumbers *n)
{
    GstCustomMeta *meta = gst_buffer_get_custom_meta(buffer, VANDREL_FRAME_META_NAME);
    if (!meta)
        return FALSE;
    const GstStructure *s = gst_custom_meta_get_structure(meta);
    return gst_structure_get(s, "product", G_TYPE_INT, &n->product, "capture", G_TYPE_INT, &n->capture, "cycle",
                             G_TYPE_INT, &n->cycle, "camera-index", G_TYPE_INT, &n->cameraIndex, "camera-time",
                             G_TYPE_UINT64, &n->cameraTimeNs, nullptr);
}

GstCaps *vandrel_camera_time_caps(void)
{
    static GstCaps *caps = [] {
        GstCaps *c = gst_caps_new_empty_simple(VANDREL_CAMERA_TIME_CAPS);
        // Kept to the end of the process, like GStreamer's own static caps.
        GST_MINI_OBJECT_FLAG_SET(c, GST_MINI_OBJECT_FLAG_MAY_BE_LEAKED);
        return c;
    }();
    return caps;
}
