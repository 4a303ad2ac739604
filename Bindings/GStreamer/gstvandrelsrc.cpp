#include "gstvandrelsrc.h"

#include "pluginhost.h"

#include "camerasession.h"
#include "simulatorstate.h"
#include "vandrelmeta.h"

#include <gst/video/video.h>

#include <dlfcn.h>

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

#include <atomic>
#include <exception>
#include <chrono>
#include <memory>
#include <mutex>

GST_DEBUG_CATEGORY_STATIC(vandrel_src_debug);
#define GST_CAT_DEFAULT vandrel_src_debug

namespace {

constexpr int kDefaultQueueSize = 8;

enum {
    PROP_0,
    PROP_SERIAL,
    PROP_SETTINGS,
    PROP_PLUGIN_DIR,
    PROP_SIM_CONFIG,
    PROP_EXPOSURE,
    PROP_CAPTURES_PER_PRODUCT,
    PROP_PRODUCTS_PER_CYCLE,
    PROP_CYCLE_TIMEOUT,
    PROP_RUNNING,
    PROP_QUEUE_SIZE,
    PROP_DROPPED,
    PROP_COPIED,
    PROP_RECONNECT_TIMEOUT,
};

enum { SIGNAL_SOFT_TRIGGER, SIGNAL_LAST };
guint elementSignals[SIGNAL_LAST];

GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) { GRAY8, RGB, RGBA, GRAY16_LE }, "
                    "width = (int) [ 1, max ], height = (int) [ 1, max ], framerate = (fraction) 0/1"));

// The video format of a frame matrix's element type.
GstVideoFormat formatOf(int cvType)
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

QString qstr(const gchar *s)
{
    return s ? QString::fromUtf8(s) : QString();
}

// The camera plug-in's folder as installed relative to this module when it
// is there, else where the host library finds it (installed or in the build
// folder). Worked out without Qt's application object, which the camera
// runtime creates on its own thread.
QString defaultPluginDir()
{
    Dl_info where{};
    if (dladdr(reinterpret_cast<void *>(&vandrel_src_register), &where) && where.dli_fname) {
        const QDir moduleDir = QFileInfo(QString::fromLocal8Bit(where.dli_fname)).absoluteDir();
        const QString dir = QDir::cleanPath(moduleDir.absoluteFilePath(QStringLiteral(VANDREL_GST_TO_PLUGINDIR)));
        if (QFileInfo::exists(dir + QLatin1Char('/') + PluginHost::moduleFileName()))
            return dir;
    }
    return PluginHost::pluginDirBesideLibrary();
}

void releaseMatrix(gpointer matrix)
{
    delete static_cast<cv::Mat *>(matrix);
}

} // namespace

struct VandrelSrcPrivate
{
    // Properties; under the object lock.
    OpenOptions options;
    GstClockTime reconnectTimeout = GST_CLOCK_TIME_NONE;

    // The open camera. Replaced by start() and stop() (state changes); read
    // under sessionLock by whoever else needs it.
    std::mutex sessionLock;
    std::shared_ptr<CameraSession> session;
    std::atomic<std::uint64_t> droppedBefore{0};  // of the sessions that ended
    std::atomic<std::uint64_t> copied{0};

    // The negotiated format; under formatLock (get_caps may run on any thread).
    std::mutex formatLock;
    GstVideoInfo info;
    bool haveFormat = false;

    // The streaming thread only (reset by start(), before it runs).
    bool videoMetaDownstream = false;
    bool lost = false;
    std::chrono::steady_clock::time_point lostSince;
    std::chrono::steady_clock::time_point lastArrival;
    bool haveArrival = false;

    // Interval between frames, for the latency answer; 0 until measured.
    std::atomic<std::int64_t> periodNs{0};

    std::shared_ptr<CameraSession> current()
    {
        std::lock_guard<std::mutex> hold(sessionLock);
        return session;
    }
};

struct _VandrelSrc
{
    GstPushSrc parent;
    VandrelSrcPrivate *d;
};

G_DEFINE_TYPE(VandrelSrc, vandrel_src, GST_TYPE_PUSH_SRC)

namespace {

// Applies the live-changeable properties to the open camera.
void applyGrouping(VandrelSrc *self)
{
    auto s = self->d->current();
    if (!s)
        return;
    GST_OBJECT_LOCK(self);
    const OpenOptions o = self->d->options;
    GST_OBJECT_UNLOCK(self);
    s->withCamera([&o](CameraInterface *cam) {
        CameraTrigParams trig;
        trig.trigKind = 1;
        trig.capturesPerProduct = std::max(1, o.capturesPerProduct);
        trig.productsPerCycle = std::max(1, o.productsPerCycle);
        trig.cycleTimeout = o.cycleTimeout;
        cam->setTrigParams(&trig);
    });
}

void storeProperty(GObject *object, guint id, const GValue *value, GParamSpec *pspec)
{
    auto *self = VANDREL_SRC(object);
    OpenOptions &o = self->d->options;
    GST_OBJECT_LOCK(self);
    switch (id) {
    case PROP_SERIAL:
        o.serial = qstr(g_value_get_string(value));
        break;
    case PROP_SETTINGS:
        o.settingsFile = qstr(g_value_get_string(value));
        break;
    case PROP_PLUGIN_DIR:
        o.pluginDir = qstr(g_value_get_string(value));
        break;
    case PROP_SIM_CONFIG:
        o.simConfig = qstr(g_value_get_string(value));
        break;
    case PROP_EXPOSURE:
        o.exposure = g_value_get_int(value);
        break;
    case PROP_CAPTURES_PER_PRODUCT:
        o.capturesPerProduct = g_value_get_int(value);
        break;
    case PROP_PRODUCTS_PER_CYCLE:
        o.productsPerCycle = g_value_get_int(value);
        break;
    case PROP_CYCLE_TIMEOUT:
        o.cycleTimeout = g_value_get_int(value);
        break;
    case PROP_RUNNING:
        o.running = g_value_get_boolean(value);
        break;
    case PROP_QUEUE_SIZE:
        o.queueCapacity = int(g_value_get_uint(value));
        break;
    case PROP_RECONNECT_TIMEOUT:
        self->d->reconnectTimeout = g_value_get_uint64(value);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    const bool running = o.running;
    const int exposure = o.exposure;
    GST_OBJECT_UNLOCK(self);

    // Numbering and grouping also change while the camera runs.
    switch (id) {
    case PROP_RUNNING:
        if (auto s = self->d->current())
            s->withCamera([running](CameraInterface *cam) {
                QMutexLocker hold(cam->frameMutex());
                cam->isRunning = running;
            });
        break;
    case PROP_EXPOSURE:
        if (auto s = self->d->current(); s && exposure >= 0) {
            int status = 0;
            s->withCamera([&](CameraInterface *cam) { status = cam->selectExposure(exposure); });
            if (status != 0)
                GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS,
                                    ("camera %s refused exposure configuration %d (status %d)",
                                     s->serial().toUtf8().constData(), exposure, status),
                                    (nullptr));
        }
        break;
    case PROP_CAPTURES_PER_PRODUCT:
    case PROP_PRODUCTS_PER_CYCLE:
    case PROP_CYCLE_TIMEOUT:
        applyGrouping(self);
        break;
    default:
        break;
    }
}

void setString(GValue *value, const QString &s)
{
    g_value_set_string(value, s.isEmpty() ? nullptr : s.toUtf8().constData());
}

void getProperty(GObject *object, guint id, GValue *value, GParamSpec *pspec)
{
    auto *self = VANDREL_SRC(object);
    const OpenOptions &o = self->d->options;
    if (id == PROP_DROPPED) {
        auto s = self->d->current();
        g_value_set_uint64(value, self->d->droppedBefore + (s ? s->dropped() : 0));
        return;
    }
    if (id == PROP_COPIED) {
        g_value_set_uint64(value, self->d->copied);
        return;
    }
    GST_OBJECT_LOCK(self);
    switch (id) {
    case PROP_SERIAL:
        setString(value, o.serial);
        break;
    case PROP_SETTINGS:
        setString(value, o.settingsFile);
        break;
    case PROP_PLUGIN_DIR:
        setString(value, o.pluginDir);
        break;
    case PROP_SIM_CONFIG:
        setString(value, o.simConfig);
        break;
    case PROP_EXPOSURE:
        g_value_set_int(value, o.exposure);
        break;
    case PROP_CAPTURES_PER_PRODUCT:
        g_value_set_int(value, o.capturesPerProduct);
        break;
    case PROP_PRODUCTS_PER_CYCLE:
        g_value_set_int(value, o.productsPerCycle);
        break;
    case PROP_CYCLE_TIMEOUT:
        g_value_set_int(value, o.cycleTimeout);
        break;
    case PROP_RUNNING:
        g_value_set_boolean(value, o.running);
        break;
    case PROP_QUEUE_SIZE:
        g_value_set_uint(value, guint(o.queueCapacity));
        break;
    case PROP_RECONNECT_TIMEOUT:
        g_value_set_uint64(value, self->d->reconnectTimeout);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(self);
}

gboolean startCamera(GstBaseSrc *base)
{
    auto *self = VANDREL_SRC(base);
    VandrelSrcPrivate *d = self->d;
    GST_OBJECT_LOCK(self);
    OpenOptions o = d->options;
    GST_OBJECT_UNLOCK(self);
    if (o.pluginDir.isEmpty())
        o.pluginDir = defaultPluginDir();

    OpenFailure failure = OpenFailure::None;
    QString error;
    std::unique_ptr<CameraSession> opened = CameraSession::open(o, failure, error);
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
    std::shared_ptr<CameraSession> closing;
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
    {
        std::lock_guard<std::mutex> hold(self->d->formatLock);
        if (!self->d->haveFormat)
            return TRUE;
    }
    return GST_BASE_SRC_CLASS(vandrel_src_parent_class)->negotiate(base);
}

gboolean decideAllocation(GstBaseSrc *base, GstQuery *query)
{
    auto *self = VANDREL_SRC(base);
    self->d->videoMetaDownstream = gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr);
    // Buffers wrap the camera's matrices: no pool of ours to configure.
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
        return GST_BASE_SRC_CLASS(vandrel_src_parent_class)->query(base, q);
    auto s = self->d->current();
    if (!s)
        return FALSE;
    // A buffer's time is taken when the frame is in hand, so it is ready at
    // once. The queue holds queue-size frames: as long as that many frame
    // intervals in continuous mode, for ever while frames wait for triggers.
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

void postLink(VandrelSrc *self, const LinkEvent &e, const QString &serial)
{
    GstDateTime *when = gst_date_time_new_from_unix_epoch_utc_usecs(e.time.toMSecsSinceEpoch() * 1000);
    GstStructure *s = gst_structure_new("vandrel-link", "event", G_TYPE_STRING, e.kind == LinkEvent::Lost ? "lost" : "reconnected",
                                        "serial", G_TYPE_STRING, serial.toUtf8().constData(), "time",
                                        GST_TYPE_DATE_TIME, when, nullptr);
    gst_date_time_unref(when);
    gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), s));
}

// Running time of the frame's arrival by the pipeline's clock.
GstClockTime arrivalRunningTime(VandrelSrc *self, std::chrono::steady_clock::time_point arrival)
{
    GstClock *clock = gst_element_get_clock(GST_ELEMENT(self));
    if (!clock)
        return GST_CLOCK_TIME_NONE;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(GST_ELEMENT(self));
    const auto ago = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - arrival);
    const GstClockTime since = GstClockTime(std::max<std::int64_t>(0, ago.count()));
    if (now < base + since)
        return 0;
    return now - base - since;
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

// Negotiates the frame's format when it differs from the current one.
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
    const gboolean ok = gst_base_src_set_caps(GST_BASE_SRC(self), caps);
    gst_caps_unref(caps);
    return ok;
}

GstFlowReturn nextBuffer(GstPushSrc *push, GstBuffer **out)
{
    auto *self = VANDREL_SRC(push);
    VandrelSrcPrivate *d = self->d;
    auto s = d->current();
    if (!s)
        return GST_FLOW_FLUSHING;
    for (;;) {
        GST_OBJECT_LOCK(self);
        const GstClockTime reconnectTimeout = d->reconnectTimeout;
        GST_OBJECT_UNLOCK(self);
        std::chrono::nanoseconds timeout(-1);
        if (d->lost && GST_CLOCK_TIME_IS_VALID(reconnectTimeout)) {
            const auto deadline = d->lostSince + std::chrono::nanoseconds(reconnectTimeout);
            timeout = std::max(std::chrono::nanoseconds(0), deadline - std::chrono::steady_clock::now());
        }
        CameraFrame frame;
        LinkEvent event;
        switch (s->wait(timeout, frame, event)) {
        case CameraSession::Wait::Woken:
            return GST_FLOW_FLUSHING;
        case CameraSession::Wait::Ended: {
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
        case CameraSession::Wait::Event:
            postLink(self, event, s->serial());
            if (event.kind == LinkEvent::Lost && !d->lost)
                d->lostSince = std::chrono::steady_clock::now();
            d->lost = event.kind == LinkEvent::Lost;
            continue;
        case CameraSession::Wait::Timeout:
            if (d->lost && std::chrono::steady_clock::now() - d->lostSince >= std::chrono::nanoseconds(reconnectTimeout)) {
                GST_ELEMENT_ERROR(self, RESOURCE, READ,
                                  ("camera %s lost its link and did not come back within %" GST_TIME_FORMAT,
                                   s->serial().toUtf8().constData(), GST_TIME_ARGS(reconnectTimeout)),
                                  ("reconnect-timeout reached"));
                return GST_FLOW_ERROR;
            }
            continue;
        case CameraSession::Wait::Frame:
            break;
        }

        const cv::Mat &image = frame.data.image;
        const GstVideoFormat format = formatOf(image.type());
        if (image.empty() || format == GST_VIDEO_FORMAT_UNKNOWN) {
            GST_WARNING_OBJECT(self, "frame %" G_GUINT64_FORMAT " skipped: %dx%d of OpenCV type %d has no video format",
                               frame.number, image.cols, image.rows, image.type());
            continue;
        }
        if (d->haveArrival) {
            const auto gap = std::chrono::duration_cast<std::chrono::nanoseconds>(frame.arrival - d->lastArrival);
            // The first interval bounds the latency: the pipeline asks again.
            if (d->periodNs.exchange(gap.count()) == 0)
                gst_element_post_message(GST_ELEMENT(self), gst_message_new_latency(GST_OBJECT(self)));
        }
        d->lastArrival = frame.arrival;
        d->haveArrival = true;

        GstVideoInfo info;
        if (!followFormat(self, image, format, info)) {
            GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("downstream refused the camera's %dx%d %s frames", image.cols,
                                                        image.rows, gst_video_format_to_string(format)),
                              (nullptr));
            return GST_FLOW_NOT_NEGOTIATED;
        }
        GstBuffer *buffer = wrapFrame(self, image, info);
        if (!buffer)
            return GST_FLOW_ERROR;
        GST_BUFFER_OFFSET(buffer) = frame.number;
        GST_BUFFER_OFFSET_END(buffer) = frame.number + 1;
        GST_BUFFER_PTS(buffer) = arrivalRunningTime(self, frame.arrival);
        GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
        VandrelFrameNumbers numbers;
        numbers.product = frame.data.productID;
        numbers.capture = frame.data.captureIndex;
        numbers.cycle = frame.data.productCycleIndex;
        numbers.cameraIndex = frame.data.cameraIndex;
        numbers.cameraTimeNs = frame.data.captureTime.isValid()
                                   ? guint64(std::max<qint64>(0, frame.data.captureTime.toMSecsSinceEpoch())) * GST_MSECOND
                                   : 0;
        vandrel_frame_meta_add(buffer, &numbers);
        *out = buffer;
        return GST_FLOW_OK;
    }
}

void triggerCamera(VandrelSrc *self, gint product, gint capture)
{
    if (auto s = self->d->current())
        s->softTrigger(product, capture);
    else
        GST_WARNING_OBJECT(self, "soft-trigger ignored: no camera open");
}

// The entry points GStreamer calls: nothing thrown below them may reach it.

void setProperty(GObject *object, guint id, const GValue *value, GParamSpec *pspec)
{
    try {
        storeProperty(object, id, value, pspec);
    } catch (const std::exception &e) {
        GST_WARNING_OBJECT(object, "property %s not applied: %s", pspec->name, e.what());
    } catch (...) {
        GST_WARNING_OBJECT(object, "property %s not applied", pspec->name);
    }
}

gboolean start(GstBaseSrc *base)
{
    try {
        return startCamera(base);
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
        return nextBuffer(push, out);
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
        return answerQuery(base, q);
    } catch (...) {
        GST_WARNING_OBJECT(base, "%s query not answered", GST_QUERY_TYPE_NAME(q));
        return FALSE;
    }
}

void softTrigger(VandrelSrc *self, gint product, gint capture)
{
    try {
        triggerCamera(self, product, capture);
    } catch (...) {
        GST_WARNING_OBJECT(self, "soft-trigger failed");
    }
}

void finalize(GObject *object)
{
    auto *self = VANDREL_SRC(object);
    delete self->d;
    self->d = nullptr;
    G_OBJECT_CLASS(vandrel_src_parent_class)->finalize(object);
}

} // namespace

static void vandrel_src_class_init(VandrelSrcClass *klass)
{
    auto *gobject = G_OBJECT_CLASS(klass);
    auto *element = GST_ELEMENT_CLASS(klass);
    auto *base = GST_BASE_SRC_CLASS(klass);
    auto *push = GST_PUSH_SRC_CLASS(klass);

    gobject->set_property = setProperty;
    gobject->get_property = getProperty;
    gobject->finalize = finalize;

    const auto rw = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    const auto atOpen = GParamFlags(rw | GST_PARAM_MUTABLE_READY);
    const auto live = GParamFlags(rw | GST_PARAM_MUTABLE_PLAYING);
    g_object_class_install_property(
        gobject, PROP_SERIAL,
        g_param_spec_string("serial", "Serial", "Serial number of the camera (default: the first VD-XG camera)",
                            nullptr, atOpen));
    g_object_class_install_property(
        gobject, PROP_SETTINGS,
        g_param_spec_string("settings", "Settings", "Camera settings JSON file, as vandrel-host writes it", nullptr,
                            atOpen));
    g_object_class_install_property(
        gobject, PROP_PLUGIN_DIR,
        g_param_spec_string("plugin-dir", "Plug-in directory",
                            "Folder of libVandrel.so (default: the installed one, else the build's)", nullptr, atOpen));
    g_object_class_install_property(
        gobject, PROP_SIM_CONFIG,
        g_param_spec_string("sim-config", "Simulator configuration",
                            "Simulated cameras (JSON); the first camera opened in the process decides", nullptr, atOpen));
    g_object_class_install_property(
        gobject, PROP_EXPOSURE,
        g_param_spec_int("exposure", "Exposure", "Exposure configuration to select (-1: leave as set)", -1, G_MAXINT,
                         -1, live));
    g_object_class_install_property(
        gobject, PROP_CAPTURES_PER_PRODUCT,
        g_param_spec_int("captures-per-product", "Captures per product", "Frames numbered as one product", 1,
                         G_MAXINT, 1, live));
    g_object_class_install_property(
        gobject, PROP_PRODUCTS_PER_CYCLE,
        g_param_spec_int("products-per-cycle", "Products per cycle", "Products numbered as one cycle", 1, G_MAXINT, 1,
                         live));
    g_object_class_install_property(
        gobject, PROP_CYCLE_TIMEOUT,
        g_param_spec_int("cycle-timeout", "Cycle time-out",
                         "Milliseconds after which an unfinished product or cycle starts over (0: never)", 0, G_MAXINT,
                         0, live));
    g_object_class_install_property(
        gobject, PROP_RUNNING,
        g_param_spec_boolean("running", "Running",
                             "Production capture: frames numbered and all kept (else a preview, thinned to 20 per s)",
                             TRUE, live));
    g_object_class_install_property(
        gobject, PROP_QUEUE_SIZE,
        g_param_spec_uint("queue-size", "Queue size",
                          "Frames held while downstream is busy; beyond it the oldest is dropped", 1, 4096,
                          kDefaultQueueSize, atOpen));
    g_object_class_install_property(
        gobject, PROP_DROPPED,
        g_param_spec_uint64("dropped", "Dropped", "Frames dropped from the full queue since the start", 0, G_MAXUINT64,
                            0, GParamFlags(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        gobject, PROP_COPIED,
        g_param_spec_uint64("copied", "Copied",
                            "Frames copied since the start because downstream could not take their row stride", 0,
                            G_MAXUINT64, 0, GParamFlags(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    g_object_class_install_property(
        gobject, PROP_RECONNECT_TIMEOUT,
        g_param_spec_uint64("reconnect-timeout", "Reconnect time-out",
                            "Nanoseconds a lost link may last before it is an error (default: wait for ever)", 0,
                            G_MAXUINT64, GST_CLOCK_TIME_NONE, live));

    elementSignals[SIGNAL_SOFT_TRIGGER] =
        g_signal_new_class_handler("soft-trigger", G_TYPE_FROM_CLASS(klass), GSignalFlags(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
                                   G_CALLBACK(softTrigger), nullptr, nullptr, nullptr, G_TYPE_NONE, 2, G_TYPE_INT, G_TYPE_INT);

    gst_element_class_set_static_metadata(element, "Vandrel camera source", "Source/Video",
                                          "Frames of a Vandrel VD-XG line-scan camera, numbered, without a copy",
                                          "Vandrel developers <vandrel@localhost>");
    gst_element_class_add_static_pad_template(element, &srcTemplate);

    base->start = start;
    base->stop = stop;
    base->get_caps = getCaps;
    base->negotiate = negotiate;
    base->decide_allocation = decideAllocation;
    base->unlock = unlock;
    base->unlock_stop = unlockStop;
    base->query = query;
    push->create = create;
}

static void vandrel_src_init(VandrelSrc *self)
{
    self->d = new VandrelSrcPrivate;
    gst_video_info_init(&self->d->info);
    self->d->options.queueCapacity = kDefaultQueueSize;
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
