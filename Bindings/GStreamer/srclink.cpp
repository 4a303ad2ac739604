#include "srcprivate.h"

#define GST_CAT_DEFAULT vandrel_src_debug

namespace {

void postLink(VandrelSrc *self, const LinkEvent &e, const QString &serial)
{
    GstDateTime *when = gst_date_time_new_from_unix_epoch_utc_usecs(e.time.toMSecsSinceEpoch() * 1000);
    GstStructure *s = gst_structure_new("vandrel-link", "event", G_TYPE_STRING,
                                        linkEventKey(e.kind).toUtf8().constData(), "serial", G_TYPE_STRING,
                                        serial.toUtf8().constData(), "time", GST_TYPE_DATE_TIME, when, "detail",
                                        G_TYPE_STRING, e.detail.toUtf8().constData(), nullptr);
    gst_date_time_unref(when);
    gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), s));
}

GstClockTime reconnectTimeout(VandrelSrc *self)
{
    GST_OBJECT_LOCK(self);
    const GstClockTime t = self->d->reconnectTimeout;
    GST_OBJECT_UNLOCK(self);
    return t;
}

} // namespace

namespace vsrc {

std::chrono::nanoseconds linkWaitLimit(VandrelSrc *self)
{
    VandrelSrcPrivate *d = self->d;
    const GstClockTime limit = reconnectTimeout(self);
    if (!d->lost || !GST_CLOCK_TIME_IS_VALID(limit))
        return std::chrono::nanoseconds(-1);
    const auto deadline = d->lostSince + std::chrono::nanoseconds(limit);
    return std::max(std::chrono::nanoseconds(0), deadline - std::chrono::steady_clock::now());
}

void onLinkEvent(VandrelSrc *self, const LinkEvent &event, const QString &serial)
{
    VandrelSrcPrivate *d = self->d;
    postLink(self, event, serial);
    // A stall is not a loss: the camera is still open and the reconnect
    // time-out does not run.
    if (event.kind == LinkEvent::Lost && !d->lost)
        d->lostSince = std::chrono::steady_clock::now();
    if (event.kind == LinkEvent::Lost)
        d->lost = true;
    else if (event.kind == LinkEvent::Back)
        d->lost = false;
}

bool linkGaveUp(VandrelSrc *self, const QString &serial)
{
    VandrelSrcPrivate *d = self->d;
    const GstClockTime limit = reconnectTimeout(self);
    if (!d->lost || !GST_CLOCK_TIME_IS_VALID(limit)
        || std::chrono::steady_clock::now() - d->lostSince < std::chrono::nanoseconds(limit))
        return false;
    GST_ELEMENT_ERROR(self, RESOURCE, READ,
                      ("camera %s lost its link and did not come back within %" GST_TIME_FORMAT,
                       serial.toUtf8().constData(), GST_TIME_ARGS(limit)),
                      ("reconnect-timeout reached"));
    return true;
}

} // namespace vsrc
