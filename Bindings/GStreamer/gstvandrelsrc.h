#pragma once

// vandrelsrc: a live source of one Vandrel camera's frames. Each buffer wraps
// the frame's matrix without a copy and keeps it alive until freed; its PTS
// is the running time at which the frame arrived. The code is split by
// responsibility, see srcprivate.h.

#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>

#include <functional>

class CameraInterface;

G_BEGIN_DECLS

#define VANDREL_TYPE_SRC (vandrel_src_get_type())
G_DECLARE_FINAL_TYPE(VandrelSrc, vandrel_src, VANDREL, SRC, GstPushSrc)

G_END_DECLS

// Registers the element (and the frame meta) with a plug-in.
gboolean vandrel_src_register(GstPlugin *plugin);

// For tests: runs `f` with the open camera on the thread that owns it, as a
// host's own code would. Returns false when no camera is open.
bool vandrel_src_with_camera(GstElement *element, const std::function<void(CameraInterface *)> &f);
