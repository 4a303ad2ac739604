#include "srcprivate.h"

#include "paramsets.h"

#include <algorithm>

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
    PROP_HOST_NUMBERED,
    PROP_RUNNING,
    PROP_QUEUE_SIZE,
    PROP_DROPPED,
    PROP_COPIED,
    PROP_RECONNECT_TIMEOUT,
    PROP_RETRY_INTERVAL,
    PROP_STALL_TIMEOUT,
    PROP_FEATURES,
};

// Nanoseconds of a property as the runtime's milliseconds: 0 stays 0 (off),
// anything else at least 1 ms.
int msOf(guint64 ns)
{
    if (ns == 0)
        return 0;
    return int(std::min<guint64>(G_MAXINT, std::max<guint64>(1, ns / GST_MSECOND)));
}

QString qstr(const gchar *s)
{
    return s ? QString::fromUtf8(s) : QString();
}

void setString(GValue *value, const QString &s)
{
    g_value_set_string(value, s.isEmpty() ? nullptr : s.toUtf8().constData());
}

OpenOptions optionsOf(VandrelSrc *self)
{
    GST_OBJECT_LOCK(self);
    const OpenOptions o = self->d->options;
    GST_OBJECT_UNLOCK(self);
    return o;
}

// The camera keeps the configuration in force when it refuses another, and
// so does the property.
void selectExposure(VandrelSrc *self, int exposure)
{
    auto s = self->d->current();
    const int status = s && exposure >= 0 ? s->selectExposure(exposure) : 0;
    if (status != 0) {
        GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS,
                            ("camera %s refused exposure configuration %d (status %d)",
                             s->serial().toUtf8().constData(), exposure, status),
                            (nullptr));
        return;
    }
    GST_OBJECT_LOCK(self);
    self->d->options.exposure = exposure;
    GST_OBJECT_UNLOCK(self);
}

// Written at once on an open camera, else at the next opening; the property
// holds the last text the camera took whole.
void setFeatures(VandrelSrc *self, const QString &text)
{
    auto s = self->d->current();
    if (s) {
        QString error;
        QStringList warnings;
        const bool ok = s->setFeatures(text, error, warnings);
        for (const QString &w : warnings)
            GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS, ("%s", w.toUtf8().constData()), (nullptr));
        if (!ok) {
            GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS, ("camera %s: %s", s->serial().toUtf8().constData(),
                                                           error.toUtf8().constData()),
                                (nullptr));
            return;
        }
    } else {
        QList<QPair<QString, QString>> sets;
        QString error;
        if (!parseParamSets(text, sets, error)) {
            GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS, ("features: %s", error.toUtf8().constData()), (nullptr));
            return;
        }
    }
    GST_OBJECT_LOCK(self);
    self->d->options.features = text;
    GST_OBJECT_UNLOCK(self);
}

} // namespace

namespace vsrc {

void storeProperty(GObject *object, guint id, const GValue *value, GParamSpec *pspec)
{
    auto *self = VANDREL_SRC(object);
    if (id == PROP_EXPOSURE) {
        selectExposure(self, g_value_get_int(value));
        return;
    }
    if (id == PROP_FEATURES) {
        setFeatures(self, qstr(g_value_get_string(value)));
        return;
    }
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
    case PROP_CAPTURES_PER_PRODUCT:
        o.capturesPerProduct = g_value_get_int(value);
        break;
    case PROP_PRODUCTS_PER_CYCLE:
        o.productsPerCycle = g_value_get_int(value);
        break;
    case PROP_CYCLE_TIMEOUT:
        o.cycleTimeout = g_value_get_int(value);
        break;
    case PROP_HOST_NUMBERED:
        o.hostNumbered = g_value_get_boolean(value);
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
    case PROP_RETRY_INTERVAL:
        o.retryIntervalMs = msOf(g_value_get_uint64(value));
        break;
    case PROP_STALL_TIMEOUT:
        o.stallAfterMs = msOf(g_value_get_uint64(value));
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(self);

    // Numbering and grouping also change while the camera runs.
    auto s = self->d->current();
    if (!s)
        return;
    switch (id) {
    case PROP_RUNNING:
        s->setRunning(optionsOf(self).running);
        break;
    case PROP_RETRY_INTERVAL:
        s->setRetryIntervalMs(optionsOf(self).retryIntervalMs);
        break;
    case PROP_STALL_TIMEOUT:
        s->setStallAfterMs(optionsOf(self).stallAfterMs);
        break;
    case PROP_CAPTURES_PER_PRODUCT:
    case PROP_PRODUCTS_PER_CYCLE:
    case PROP_CYCLE_TIMEOUT:
    case PROP_HOST_NUMBERED:
        s->setNumbering(optionsOf(self));
        break;
    default:
        break;
    }
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
    case PROP_HOST_NUMBERED:
        g_value_set_boolean(value, o.hostNumbered);
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
    case PROP_RETRY_INTERVAL:
        g_value_set_uint64(value, guint64(o.retryIntervalMs) * GST_MSECOND);
        break;
    case PROP_STALL_TIMEOUT:
        g_value_set_uint64(value, guint64(o.stallAfterMs) * GST_MSECOND);
        break;
    case PROP_FEATURES:
        setString(value, o.features);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(self);
}

void triggerCamera(VandrelSrc *self, gint product, gint capture)
{
    auto s = self->d->current();
    if (!s) {
        GST_WARNING_OBJECT(self, "soft-trigger ignored: no camera open");
        return;
    }
    QString error;
    if (!s->softTrigger(product, capture, error))
        GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS, ("soft-trigger %d %d not sent: %s", product, capture,
                                                       error.toUtf8().constData()),
                            (nullptr));
}

void installProperties(GObjectClass *gobject)
{
    const auto rw = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    const auto atOpen = GParamFlags(rw | GST_PARAM_MUTABLE_READY);
    const auto live = GParamFlags(rw | GST_PARAM_MUTABLE_PLAYING);
    const auto readable = GParamFlags(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS);
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
                            "Simulated cameras (JSON), one configuration per process: another one after the first "
                            "camera was listed or opened fails the change to PAUSED",
                            nullptr, atOpen));
    g_object_class_install_property(
        gobject, PROP_EXPOSURE,
        g_param_spec_int("exposure", "Exposure",
                         "Exposure configuration to select (-1: leave as set); reads back the one the camera accepted",
                         -1, G_MAXINT, -1, live));
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
        gobject, PROP_HOST_NUMBERED,
        g_param_spec_boolean("host-numbered", "Host numbered",
                             "Frames carry the product and capture numbers of the soft-trigger that took them "
                             "(the cycle follows from products-per-cycle), not the camera's own count",
                             FALSE, live));
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
                            0, readable));
    g_object_class_install_property(
        gobject, PROP_COPIED,
        g_param_spec_uint64("copied", "Copied",
                            "Frames copied since the start because downstream could not take their row stride", 0,
                            G_MAXUINT64, 0, readable));
    g_object_class_install_property(
        gobject, PROP_RECONNECT_TIMEOUT,
        g_param_spec_uint64("reconnect-timeout", "Reconnect time-out",
                            "Nanoseconds a lost link may last before it is an error (default: wait for ever)", 0,
                            G_MAXUINT64, GST_CLOCK_TIME_NONE, live));
    g_object_class_install_property(
        gobject, PROP_RETRY_INTERVAL,
        g_param_spec_uint64("retry-interval", "Retry interval",
                            "Nanoseconds between reopenings of a lost or stalled camera; \"back\" is posted as soon "
                            "as one succeeds (0: leave it to the driver, which retries every 30 s)",
                            0, G_MAXUINT64, 0, live));
    g_object_class_install_property(
        gobject, PROP_STALL_TIMEOUT,
        g_param_spec_uint64("stall-timeout", "Stall time-out",
                            "Nanoseconds without a frame from a free-running camera after which its link is "
                            "posted as \"stalled\" (0: never)",
                            0, G_MAXUINT64, 0, live));
    g_object_class_install_property(
        gobject, PROP_FEATURES,
        g_param_spec_string("features", "Features",
                            "Camera parameters as NAME=VALUE separated by spaces, by English name or label "
                            "(\"ExposureTime1=50 Gain=8\"), written after the settings; one the driver sends only "
                            "on Apply or on selecting its configuration is applied at once, one it sends to no "
                            "camera is written with a warning",
                            nullptr, live));

    /**
     * VandrelSrc::soft-trigger:
     * @vandrelsrc: the element
     * @product: the product number of the frame it takes (with #VandrelSrc:host-numbered)
     * @capture: the frame's capture number within that product (with #VandrelSrc:host-numbered)
     *
     * Fires one software trigger of a camera in software-trigger mode.
     * Triggers go one after another: the next once the frame of the one
     * before has arrived (or a second has passed), so that each frame
     * carries its own trigger's numbers. Without host-numbered the camera
     * numbers the frame itself and the two numbers are not used. On a
     * free-running camera or a lost link the trigger is not sent, with a
     * warning. GObject signals carry no parameter names, so
     * gst-inspect-1.0 shows them as arg0 and arg1.
     */
    g_signal_new_class_handler("soft-trigger", G_TYPE_FROM_CLASS(gobject),
                               GSignalFlags(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION), G_CALLBACK(softTrigger),
                               nullptr, nullptr, nullptr, G_TYPE_NONE, 2, G_TYPE_INT, G_TYPE_INT);
}

} // namespace vsrc
