#pragma once

// The numbers of a frame on its buffer: a registered custom meta, so that
// appsink users and other elements read it by name, from C or through
// GObject introspection (Python: buffer.get_custom_meta("VandrelFrameMeta")),
// with no header of ours. Its structure "vandrel-frame" holds:
//   product, capture, cycle, camera-index  (gint)
//   camera-time                            (guint64, ns: the camera's time stamp, by its own clock)
//
// The camera's time also travels the way GStreamer carries a capture
// device's own clock: a GstReferenceTimestampMeta whose reference caps are
// "timestamp/x-vandrel-camera", the frame header's milliseconds since the
// camera was attached, in ns, with no duration.

#include <gst/gst.h>

#define VANDREL_FRAME_META_NAME "VandrelFrameMeta"
#define VANDREL_CAMERA_TIME_CAPS "timestamp/x-vandrel-camera"

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
// The reference caps of the camera's time; owned by the process.
GstCaps *vandrel_camera_time_caps(void);

G_END_DECLS
