#include "srcprivate.h"

#include "vandrelmeta.h"

#include <exception>

GST_DEBUG_CATEGORY(vandrel_src_debug);
#define GST_CAT_DEFAULT vandrel_src_debug

namespace {

GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) { GRAY8, RGB, RGBA, GRAY16_LE }, "
                    "width = (int) [ 1, max ], height = (int) [ 1, max ], framerate = (fraction) 0/1"));

} // namespace

G_DEFINE_TYPE(VandrelSrc, vandrel_src, GST_TYPE_PUSH_SRC)

namespace {

// The frames' running times follow the pipeline's clock while it plays.
void followState(VandrelSrc *self, GstStateChange transition)
{
    auto s = self->d->current();
    if (!s)
        return;
    if (transition == GST_STATE_CHANGE_PAUSED_TO_PLAYING) {
        // The bin has handed down its clock and base time by now.
        GstClock *clock = gst_element_get_clock(GST_ELEMENT(self));
        GST_OBJECT_LOCK(self);
        const bool running = self->d->options.running;
        GST_OBJECT_UNLOCK(self);
        s->play(clock, gst_element_get_base_time(GST_ELEMENT(self)), running);
        if (clock)
            gst_object_unref(clock);
    } else if (transition == GST_STATE_CHANGE_PLAYING_TO_PAUSED) {
        s->pause();
    }
}

// A flush drops what is queued; one that resets the running time starts the
// frames' times over.
void followFlush(VandrelSrc *self, GstEvent *event)
{
    auto s = self->d->current();
    if (!s)
        return;
    if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_START) {
        s->arrivals().flush(false);
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP) {
        gboolean resetTime = FALSE;
        gst_event_parse_flush_stop(event, &resetTime);
        s->arrivals().flush(resetTime);
    }
}

// The entry points GStreamer calls: nothing thrown below them may reach it.

void setProperty(GObject *object, guint id, const GValue *value, GParamSpec *pspec)
{
    try {
        vsrc::storeProperty(object, id, value, pspec);
    } catch (const std::exception &e) {
        GST_WARNING_OBJECT(object, "property %s not applied: %s", pspec->name, e.what());
    } catch (...) {
        GST_WARNING_OBJECT(object, "property %s not applied", pspec->name);
    }
}

gboolean start(GstBaseSrc *base)
{
    try {
        return vsrc::startCamera(base);
    } catch (const std::exception &e) {
        GST_ELEMENT_ERROR(base, RESOURCE, OPEN_READ, ("cannot open the camera: %s", e.what()), (nullptr));
    } catch (...) {
        GST_ELEMENT_ERROR(base, RESOURCE, OPEN_READ, ("cannot open the camera"), (nullptr));
    }
    return FALSE;
}

GstFlowReturn create(GstPushSrc *push, GstBuffer **out)
{
    try {
        return vsrc::nextBuffer(push, out);
    } catch (const std::exception &e) {
        GST_ELEMENT_ERROR(push, RESOURCE, READ, ("frame not delivered: %s", e.what()), (nullptr));
    } catch (...) {
        GST_ELEMENT_ERROR(push, RESOURCE, READ, ("frame not delivered"), (nullptr));
    }
    return GST_FLOW_ERROR;
}

gboolean query(GstBaseSrc *base, GstQuery *q)
{
    try {
        return vsrc::answerQuery(base, q);
    } catch (...) {
        GST_WARNING_OBJECT(base, "%s query not answered", GST_QUERY_TYPE_NAME(q));
        return FALSE;
    }
}

GstStateChangeReturn changeState(GstElement *element, GstStateChange transition)
{
    try {
        followState(VANDREL_SRC(element), transition);
    } catch (...) {
        GST_WARNING_OBJECT(element, "frame times not following the state change");
    }
    return GST_ELEMENT_CLASS(vandrel_src_parent_class)->change_state(element, transition);
}

gboolean sendEvent(GstElement *element, GstEvent *event)
{
    try {
        followFlush(VANDREL_SRC(element), event);
    } catch (...) {
        GST_WARNING_OBJECT(element, "frame times not following the flush");
    }
    return GST_ELEMENT_CLASS(vandrel_src_parent_class)->send_event(element, event);
}

gboolean upstreamEvent(GstBaseSrc *base, GstEvent *event)
{
    try {
        followFlush(VANDREL_SRC(base), event);
    } catch (...) {
        GST_WARNING_OBJECT(base, "frame times not following the flush");
    }
    return GST_BASE_SRC_CLASS(vandrel_src_parent_class)->event(base, event);
}

void finalize(GObject *object)
{
    auto *self = VANDREL_SRC(object);
    delete self->d;
    self->d = nullptr;
    G_OBJECT_CLASS(vandrel_src_parent_class)->finalize(object);
}

} // namespace

namespace vsrc {

GstBaseSrcClass *parentClass()
{
    return GST_BASE_SRC_CLASS(vandrel_src_parent_class);
}

void softTrigger(VandrelSrc *self, gint product, gint capture)
{
    try {
        triggerCamera(self, product, capture);
    } catch (...) {
        GST_WARNING_OBJECT(self, "soft-trigger failed");
    }
}

} // namespace vsrc

static void vandrel_src_class_init(VandrelSrcClass *klass)
{
    auto *gobject = G_OBJECT_CLASS(klass);
    auto *element = GST_ELEMENT_CLASS(klass);
    auto *base = GST_BASE_SRC_CLASS(klass);
    auto *push = GST_PUSH_SRC_CLASS(klass);

    gobject->set_property = setProperty;
    gobject->get_property = vsrc::getProperty;
    gobject->finalize = finalize;
    vsrc::installProperties(gobject);

    gst_element_class_set_static_metadata(element, "Vandrel camera source", "Source/Video",
                                          "Frames of a Vandrel VD-XG line-scan camera, numbered, without a copy",
                                          "The Vandrel developers");
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    element->change_state = changeState;
    element->send_event = sendEvent;

    base->start = start;
    base->stop = vsrc::stop;
    base->get_caps = vsrc::getCaps;
    base->negotiate = vsrc::negotiate;
    base->decide_allocation = vsrc::decideAllocation;
    base->unlock = vsrc::unlock;
    base->unlock_stop = vsrc::unlockStop;
    base->query = query;
    base->event = upstreamEvent;
    push->create = create;
}

static void vandrel_src_init(VandrelSrc *self)
{
    self->d = new VandrelSrcPrivate;
    gst_video_info_init(&self->d->info);
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

gboolean vandrel_src_register(GstPlugin *plugin)
{
    GST_DEBUG_CATEGORY_INIT(vandrel_src_debug, "vandrelsrc", 0, "Vandrel camera source");
    vandrel_frame_meta_register();
    return gst_element_register(plugin, "vandrelsrc", GST_RANK_NONE, VANDREL_TYPE_SRC);
}

bool vandrel_src_with_camera(GstElement *element, const std::function<void(CameraInterface *)> &f)
{
    if (!VANDREL_IS_SRC(element))
        return false;
    auto s = VANDREL_SRC(element)->d->current();
    if (!s)
        return false;
    return s->withCamera(f);
}
