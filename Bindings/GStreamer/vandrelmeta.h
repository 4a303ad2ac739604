#pragma once

// The numbers of a frame on its buffer: a registered custom meta, so that
// appsink users and other elements read it by name, from C or through
// GObject introspection (Python: buffer.get_custom_meta("VandrelFrameMeta")),
// with no header of ours. Its structure "vandrel-frame" holds:
//   product, capture, cycle, camera-index  (gint)
//   camera-time                            (guint64, ns: the camera's time stamp, by its own clock)

#include <gst/gst.h>

#define VANDREL_FRAME_META_NAME "VandrelFrameMeta"

G_BEGIN_DECLS

typedef struct
{
    gint product;
    gint capture;
    gint cycle;
    gint cameraIndex;
    guint64 cameraTimeNs;
} VandrelFrameNumbers;

// Registers the meta's API and implementation once per process; safe to call again.
void vandrel_frame_meta_register(void);
void vandrel_frame_meta_add(GstBuffer *buffer, const VandrelFrameNumbers *numbers);
// FALSE when the buffer carries no such meta.
gboolean vandrel_frame_meta_get(GstBuffer *buffer, VandrelFrameNumbers *numbers);

G_END_DECLS
