#include "srcprivate.h"
#include "simulatorstate.h"

#include "vandrelmeta.h"

#define GST_CAT_DEFAULT vandrel_src_debug

namespace {

void releaseMatrix(gpointer matrix)
{
    delete static_cast<cv::Mat *>(matrix);
}

// A buffer for the frame: its own matrix when the layout allows, else a copy
// with the stride downstream expects. Null when the frame has no usable format.
GstBuffer *wrapFrame(VandrelSrc *self, const cv::Mat &image, const GstVideoInfo &info)
{
    const gsize stride = gsize(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0));
    const gsize rowBytes = gsize(image.cols) * image.elemSize();
    const bool plain = image.step[0] == stride && image.isContinuous();
    if (plain || self->d->videoMetaDownstream) {
        auto *keep = new cv::Mat(image);
        const gsize size = plain ? gsize(GST_VIDEO_INFO_SIZE(&info))
                                 : gsize(image.step[0]) * gsize(image.rows - 1) + rowBytes;
        // Writable: the matrix is this buffer's alone until it is freed.
        GstBuffer *buffer = gst_buffer_new_wrapped_full(GstMemoryFlags(0), keep->data, size, 0, size, keep, releaseMatrix);
        if (!plain) {
            gsize offset[GST_VIDEO_MAX_PLANES] = {0};
            gint strides[GST_VIDEO_MAX_PLANES] = {gint(image.step[0])};
            gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_INFO_FORMAT(&info),
                                           guint(image.cols), guint(image.rows), 1, offset, strides);
        }
        return buffer;
    }
    GstBuffer *buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        return nullptr;
    }
    image.copyTo(cv::Mat(image.rows, image.cols, image.type(), map.data, stride));
    gst_buffer_unmap(buffer, &map);
    ++self->d->copied;
    return buffer;
}

// The camera's own time, the frame header's milliseconds.
guint64 cameraTimeNs(const ImageProcessData &data)
{
    return data.captureTime.isValid() ? guint64(std::max<qint64>(0, data.captureTime.toMSecsSinceEpoch())) * GST_MSECOND
                                      : 0;
}

void stamp(GstBuffer *buffer, const ArrivedFrame &frame)
{
    GST_BUFFER_OFFSET(buffer) = frame.number;
    GST_BUFFER_OFFSET_END(buffer) = frame.number + 1;
    GST_BUFFER_PTS(buffer) = frame.runningTime;
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    VandrelFrameNumbers numbers;
    numbers.product = frame.data.productID;
    numbers.capture = frame.data.captureIndex;
    numbers.cycle = frame.data.productCycleIndex;
    numbers.cameraIndex = frame.data.cameraIndex;
    numbers.cameraTimeNs = cameraTimeNs(frame.data);
    vandrel_frame_meta_add(buffer, &numbers);
    if (frame.data.captureTime.isValid())
        gst_buffer_add_reference_timestamp_meta(buffer, vandrel_camera_time_caps(), numbers.cameraTimeNs,
                                                GST_CLOCK_TIME_NONE);
}

} // namespace

namespace vsrc {

gboolean startCamera(GstBaseSrc *base)
{
    auto *self = VANDREL_SRC(base);
    VandrelSrcPrivate *d = self->d;
    GST_OBJECT_LOCK(self);
    OpenOptions o = d->options;
    GST_OBJECT_UNLOCK(self);
    if (o.pluginDir.isEmpty())
        o.pluginDir = SourceCamera::defaultPluginDir();

    OpenFailure failure = OpenFailure::None;
    QString error;
    std::unique_ptr<SourceCamera> opened = SourceCamera::open(o, failure, error);
    if (!opened) {
        const QByteArray why = error.toUtf8();
        switch (failure) {
        case OpenFailure::NoPlugin:
            GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("Vandrel camera plug-in unusable: %s", why.constData()),
                              ("plugin-dir \"%s\"", o.pluginDir.toUtf8().constData()));
            break;
        case OpenFailure::NoCamera:
            GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("%s", why.constData()), (nullptr));
            break;
        case OpenFailure::BadSettings:
        case OpenFailure::BadOption:
        case OpenFailure::None:
            GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("%s", why.constData()), (nullptr));
            break;
        }
        return FALSE;
    }
    GST_INFO_OBJECT(self, "camera %s open, plug-in %s", opened->serial().toUtf8().constData(),
                    opened->pluginFile().toUtf8().constData());
    for (const QString &w : opened->takeWarnings())
        GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS, ("%s", w.toUtf8().constData()), (nullptr));

    {
        std::lock_guard<std::mutex> hold(d->formatLock);
        d->haveFormat = false;
    }
    d->lost = false;
    d->haveArrival = false;
    d->periodNs = 0;
    d->copied = 0;
    d->droppedBefore = 0;
    std::lock_guard<std::mutex> hold(d->sessionLock);
    d->session = std::move(opened);
    return TRUE;
}

gboolean stop(GstBaseSrc *base)
{
    auto *self = VANDREL_SRC(base);
    std::shared_ptr<SourceCamera> closing;
    {
        std::lock_guard<std::mutex> hold(self->d->sessionLock);
        closing.swap(self->d->session);
    }
    if (closing)
        self->d->droppedBefore += closing->dropped();
    closing.reset();  // closes the camera unless unlock() still holds it for a moment
    std::lock_guard<std::mutex> hold(self->d->formatLock);
    self->d->haveFormat = false;
    return TRUE;
}

gboolean unlock(GstBaseSrc *base)
{
    if (auto s = VANDREL_SRC(base)->d->current())
        s->wake();
    return TRUE;
}

gboolean unlockStop(GstBaseSrc *base)
{
    if (auto s = VANDREL_SRC(base)->d->current())
        s->clearWake();
    return TRUE;
}

gboolean answerQuery(GstBaseSrc *base, GstQuery *q)
{
    auto *self = VANDREL_SRC(base);
    if (GST_QUERY_TYPE(q) != GST_QUERY_LATENCY)
        return parentClass()->query(base, q);
    auto s = self->d->current();
    if (!s)
        return FALSE;
    // A buffer's time is its frame's arrival, and a frame is pushed as soon
    // as downstream takes it. The queue holds queue-size frames: as long as
    // that many frame intervals in continuous mode, for ever while frames
    // wait for triggers.
    GstClockTime max = GST_CLOCK_TIME_NONE;
    const std::int64_t period = self->d->periodNs;
    if (s->continuous() && period > 0) {
        GST_OBJECT_LOCK(self);
        const int size = self->d->options.queueCapacity;
        GST_OBJECT_UNLOCK(self);
        max = GstClockTime(period) * GstClockTime(size);
    }
    GST_DEBUG_OBJECT(self, "latency: min 0, max %" GST_TIME_FORMAT, GST_TIME_ARGS(max));
    gst_query_set_latency(q, TRUE, 0, max);
    return TRUE;
}

GstFlowReturn nextBuffer(GstPushSrc *push, GstBuffer **out)
{
    auto *self = VANDREL_SRC(push);
    VandrelSrcPrivate *d = self->d;
    auto s = d->current();
    if (!s)
        return GST_FLOW_FLUSHING;
    for (;;) {
        ArrivedFrame frame;
        LinkEvent event;
        switch (s->wait(linkWaitLimit(self), frame, event)) {
        case SourceCamera::Wait::Woken:
            return GST_FLOW_FLUSHING;
        case SourceCamera::Wait::Ended: {
            // A replayed recording played once: the stream ends with it.
            const QByteArray text = SimulatorState::recordingEndedText(s->serial(), s->recordingEndedAfter()).toUtf8();
            GST_INFO_OBJECT(self, "%s", text.constData());
            GstStructure *st = gst_structure_new("vandrel-recording", "serial", G_TYPE_STRING,
                                                 s->serial().toUtf8().constData(), "frames", G_TYPE_INT,
                                                 s->recordingEndedAfter(), "text", G_TYPE_STRING, text.constData(),
                                                 nullptr);
            gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), st));
            return GST_FLOW_EOS;
        }
        case SourceCamera::Wait::Event:
            onLinkEvent(self, event, s->serial());
            continue;
        case SourceCamera::Wait::Timeout:
            if (linkGaveUp(self, s->serial()))
                return GST_FLOW_ERROR;
            continue;
        case SourceCamera::Wait::Frame:
            break;
        }

        const cv::Mat &image = frame.data.image;
        const GstVideoFormat format = videoFormatOf(image.type());
        if (image.empty() || format == GST_VIDEO_FORMAT_UNKNOWN) {
            GST_WARNING_OBJECT(self, "frame %" G_GUINT64_FORMAT " skipped: %dx%d of OpenCV type %d has no video format",
                               frame.number, image.cols, image.rows, image.type());
            continue;
        }
        // Over every frame since the first, numbers counting the dropped
        // ones: frames that come in a burst after a delay do not make the
        // interval look short.
        if (!d->haveArrival) {
            d->firstArrival = frame.arrival;
            d->firstNumber = frame.number;
            d->haveArrival = true;
        } else if (frame.number > d->firstNumber) {
            const auto span = std::chrono::duration_cast<std::chrono::nanoseconds>(frame.arrival - d->firstArrival);
            const std::int64_t mean = span.count() / std::int64_t(frame.number - d->firstNumber);
            // The first measure bounds the latency: the pipeline asks again.
            if (d->periodNs.exchange(mean) == 0)
                gst_element_post_message(GST_ELEMENT(self), gst_message_new_latency(GST_OBJECT(self)));
        }

        GstVideoInfo info;
        if (!followFormat(self, image, format, info))
            return GST_FLOW_NOT_NEGOTIATED;
        GstBuffer *buffer = wrapFrame(self, image, info);
        if (!buffer)
            return GST_FLOW_ERROR;
        stamp(buffer, frame);
        *out = buffer;
        return GST_FLOW_OK;
    }
}

} // namespace vsrc
