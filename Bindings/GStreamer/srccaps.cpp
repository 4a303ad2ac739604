#include "srcprivate.h"

#define GST_CAT_DEFAULT vandrel_src_debug

namespace {

QByteArray capsText(GstCaps *caps)
{
    gchar *text = caps ? gst_caps_to_string(caps) : g_strdup("nothing");
    const QByteArray out(text);
    g_free(text);
    return out;
}

// Whether downstream takes `caps`; when not, posts an error that says what
// the camera delivers and what downstream would take, which "not-negotiated"
// alone does not.
bool downstreamTakes(VandrelSrc *self, GstCaps *caps)
{
    GstPad *pad = GST_BASE_SRC_PAD(self);
    if (!gst_pad_is_linked(pad) || gst_pad_peer_query_accept_caps(pad, caps))
        return true;
    GstCaps *taken = gst_pad_peer_query_caps(pad, nullptr);
    auto s = self->d->current();
    const QByteArray serial = s ? s->serial().toUtf8() : QByteArray("?");
    GST_ELEMENT_ERROR(self, CORE, NEGOTIATION,
                      ("camera %s delivers %s, which downstream does not take (it takes %s)", serial.constData(),
                       capsText(caps).constData(), capsText(taken).constData()),
                      ("convert the frames (videoconvert, videoscale) or ask for caps that match them"));
    if (taken)
        gst_caps_unref(taken);
    return false;
}

} // namespace

namespace vsrc {

GstVideoFormat videoFormatOf(int cvType)
{
    switch (cvType) {
    case CV_8UC1:
        return GST_VIDEO_FORMAT_GRAY8;
    case CV_8UC3:
        return GST_VIDEO_FORMAT_RGB;
    case CV_8UC4:
        return GST_VIDEO_FORMAT_RGBA;
    case CV_16UC1:
        return GST_VIDEO_FORMAT_GRAY16_LE;
    default:
        return GST_VIDEO_FORMAT_UNKNOWN;
    }
}

GstCaps *capsOf(const GstVideoInfo &info)
{
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, gst_video_format_to_string(info.finfo->format),
                               "width", G_TYPE_INT, info.width, "height", G_TYPE_INT, info.height, "framerate",
                               GST_TYPE_FRACTION, 0, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
}

GstCaps *getCaps(GstBaseSrc *base, GstCaps *filter)
{
    auto *self = VANDREL_SRC(base);
    GstCaps *caps = nullptr;
    {
        std::lock_guard<std::mutex> hold(self->d->formatLock);
        if (self->d->haveFormat)
            caps = capsOf(self->d->info);
    }
    if (!caps)
        caps = gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(base));
    if (filter) {
        GstCaps *both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

// The format is the first frame's: until it comes there is nothing to agree on.
gboolean negotiate(GstBaseSrc *base)
{
    auto *self = VANDREL_SRC(base);
    GstCaps *caps = nullptr;
    {
        std::lock_guard<std::mutex> hold(self->d->formatLock);
        if (!self->d->haveFormat)
            return TRUE;
        caps = capsOf(self->d->info);
    }
    const bool taken = downstreamTakes(self, caps);
    gst_caps_unref(caps);
    return taken && parentClass()->negotiate(base);
}

gboolean decideAllocation(GstBaseSrc *base, GstQuery *query)
{
    auto *self = VANDREL_SRC(base);
    self->d->videoMetaDownstream = gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
    // Buffers wrap the camera's matrices: no pool of ours to configure.
    return TRUE;
}

bool followFormat(VandrelSrc *self, const cv::Mat &image, GstVideoFormat format, GstVideoInfo &info)
{
    VandrelSrcPrivate *d = self->d;
    {
        std::lock_guard<std::mutex> hold(d->formatLock);
        if (d->haveFormat && GST_VIDEO_INFO_FORMAT(&d->info) == format && d->info.width == image.cols
            && d->info.height == image.rows) {
            info = d->info;
            return true;
        }
        gst_video_info_set_format(&d->info, format, guint(image.cols), guint(image.rows));
        GST_VIDEO_INFO_FPS_N(&d->info) = 0;
        d->haveFormat = true;
        info = d->info;
    }
    GstCaps *caps = capsOf(info);
    GST_INFO_OBJECT(self, "frame format now %" GST_PTR_FORMAT, caps);
    bool ok = downstreamTakes(self, caps);
    if (ok && !gst_base_src_set_caps(GST_BASE_SRC(self), caps)) {
        GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("downstream refused the camera's frames, %s", capsText(caps).constData()),
                          (nullptr));
        ok = false;
    }
    gst_caps_unref(caps);
    return ok;
}

} // namespace vsrc
