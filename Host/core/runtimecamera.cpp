#include "cameraruntime.h"

#include "frameinbox.h"
#include "linkkeeper.h"
#include "settingsload.h"
#include "triggersequencer.h"

#include <QMutexLocker>

namespace {

QString closedReason(const QString &serial)
{
    return QStringLiteral("camera %1 is closed").arg(serial);
}

} // namespace

RuntimeCamera::RuntimeCamera(std::shared_ptr<CameraRuntime> runtime, CameraInterface *camera, const QString &serial,
                             int cameraIndex, std::unique_ptr<FrameInbox> queues)
    : rt(std::move(runtime)), sn(serial), index(cameraIndex), inbox(std::move(queues)), cam(camera)
{
}

RuntimeCamera::~RuntimeCamera()
{
    close();
}

void RuntimeCamera::equip(const CameraOptions &o)
{
    FrameInbox *queues = inbox.get();
    keeper.reset(new LinkKeeper(cam, [queues](const LinkEvent &e) { queues->pushEvent(e); }));
    keeper->setPolicy({o.retryIntervalMs, o.stallAfterMs});
    retryMs = o.retryIntervalMs;
    CameraInterface *camera = cam;
    // Sent on the runtime's thread or from the hook inside a delivery, where
    // the camera is alive and the driver takes a trigger.
    triggers.reset(new TriggerSequencer(
        [camera](int p, int c, std::function<void()> hook) { camera->softTrigger(p, c, std::move(hook)); },
        o.triggerTimeoutMs));
    LinkKeeper *k = keeper.get();
    TriggerSequencer *t = triggers.get();
    inbox->frameSeen = [k] { k->noteFrame(); };
    inbox->lossSeen = [k, t] {
        // Triggers queued for a camera that is gone would only time out.
        t->clear();
        k->noteLoss();
    };
    inbox->reconnectSeen = [k] { k->noteReconnect(); };
}

bool RuntimeCamera::call(const std::function<void(CameraInterface *)> &op)
{
    bool done = false;
    rt->call([&] {
        if (cam) {
            op(cam);
            done = true;
        }
    });
    return done;
}

void RuntimeCamera::close()
{
    closedFlag = true;
    const bool ran = rt->call([this] {
        // The driver's destructor waits for its frame and status callbacks
        // to end; none reaches the inbox, the keeper or the hook afterwards.
        delete cam;
        cam = nullptr;
        triggers.reset();
        keeper.reset();
    });
    if (!ran && cam) {
        // Not expected: stop() closes every camera before the thread ends.
        // The camera cannot be deleted off its thread; it must at least no
        // longer reach the inbox, which goes with this handle.
        QObject::disconnect(cam, nullptr, inbox.get(), nullptr);
    }
    inbox->markClosed();
    rt->forget(this);
}

bool RuntimeCamera::isClosed() const
{
    return closedFlag;
}

bool RuntimeCamera::isOpen() const
{
    if (closedFlag)
        return false;
    bool up = false;
    rt->call([&] { up = cam && keeper && keeper->isUp(); });
    return up;
}

LinkStatus RuntimeCamera::linkStatus() const
{
    LinkStatus s;
    rt->call([&] {
        if (keeper)
            s = keeper->status();
    });
    return s;
}

QString RuntimeCamera::unavailable() const
{
    if (closedFlag)
        return closedReason(sn);
    const LinkStatus s = linkStatus();
    const QString at = s.since.toString(QStringLiteral("hh:mm:ss"));
    const QString retry = retryMs > 0 ? QStringLiteral("retried every %1 s").arg(retryMs / 1000.0)
                                      : QStringLiteral("the driver retries every 30 s");
    switch (s.state) {
    case LinkState::Lost:
        return QStringLiteral("camera %1 lost its link at %2 (%3)").arg(sn, at, retry);
    case LinkState::Stalled:
        return QStringLiteral("camera %1 has stalled since %2: no frame and no status message").arg(sn, at);
    case LinkState::Open:
        break;
    }
    return QString();
}

bool RuntimeCamera::reachable(RuntimeFailure &failure) const
{
    if (closedFlag) {
        failure.set(RuntimeFailure::Stopped, closedReason(sn));
        return false;
    }
    if (linkStatus().state == LinkState::Lost) {
        failure.set(RuntimeFailure::LinkLost, unavailable());
        return false;
    }
    return true;
}

bool RuntimeCamera::load(const QJsonObject &settings, RuntimeFailure &failure,
                         SettingsLoad::ExposureSelection *selection, QString *colour)
{
    if (!settings.isEmpty() && !settings.value(QLatin1String("paramsWrap")).isArray()) {
        failure.set(RuntimeFailure::BadInput,
                    QStringLiteral("settings for camera %1 hold no \"paramsWrap\" array").arg(sn));
        return false;
    }
    QString error;
    bool loaded = false;
    SettingsLoad::ExposureSelection chosen;
    const bool ran = call([&](CameraInterface *c) {
        loaded = SettingsLoad::loadAndSelect(c, settings, error, &chosen);
        if (loaded && keeper)
            keeper->start();
        if (loaded && colour)
            *colour = SettingsLoad::colourNote(c);
    });
    if (!ran) {
        failure.set(RuntimeFailure::Stopped, closedReason(sn));
        return false;
    }
    if (!loaded)
        failure.set(RuntimeFailure::BadInput, QStringLiteral("settings for camera %1: %2").arg(sn, error));
    if (selection)
        *selection = chosen;
    return loaded;
}

bool RuntimeCamera::apply(RuntimeFailure &failure, SettingsLoad::ExposureSelection *selection, QString *colour)
{
    if (!reachable(failure))
        return false;
    SettingsLoad::ExposureSelection chosen;
    const bool ran = call([&](CameraInterface *c) {
        chosen = SettingsLoad::apply(c);
        if (keeper)
            keeper->start();
        if (colour)
            *colour = SettingsLoad::colourNote(c);
    });
    if (!ran) {
        failure.set(RuntimeFailure::Stopped, closedReason(sn));
        return false;
    }
    if (selection)
        *selection = chosen;
    return true;
}

bool RuntimeCamera::save(QJsonObject &settings, RuntimeFailure &failure)
{
    const bool ran = call([&](CameraInterface *c) {
        QJsonObject json;
        c->save(json);
        settings = json;
    });
    if (!ran)
        failure.set(RuntimeFailure::Stopped, closedReason(sn));
    return ran;
}

bool RuntimeCamera::setRunning(bool running)
{
    return call([running](CameraInterface *c) {
        QMutexLocker hold(c->frameMutex());
        c->isRunning = running;
    });
}

bool RuntimeCamera::isRunning()
{
    bool running = false;
    call([&running](CameraInterface *c) {
        QMutexLocker hold(c->frameMutex());
        running = c->isRunning;
    });
    return running;
}

bool RuntimeCamera::selectExposure(int index, RuntimeFailure &failure)
{
    if (!reachable(failure))
        return false;
    int status = 0;
    int count = 0;
    if (!call([&](CameraInterface *c) {
            count = SettingsLoad::exposureConfigCount(c);
            status = c->selectExposure(index);
        })) {
        failure.set(RuntimeFailure::Stopped, closedReason(sn));
        return false;
    }
    if (status == -1 || index < 0) {
        failure.set(RuntimeFailure::BadInput, QStringLiteral("camera %1 has no exposure configuration %2 (it has %3)")
                                                  .arg(sn)
                                                  .arg(index)
                                                  .arg(count));
        return false;
    }
    if (status != 0) {
        failure.set(RuntimeFailure::Refused, QStringLiteral("camera %1 refused exposure configuration %2 (status %3)")
                                                 .arg(sn)
                                                 .arg(index)
                                                 .arg(status));
        return false;
    }
    return true;
}

bool RuntimeCamera::isContinuous(bool &continuous, RuntimeFailure &failure)
{
    if (!reachable(failure))
        return false;
    if (!call([&](CameraInterface *c) { continuous = c->isContinueCapture(); })) {
        failure.set(RuntimeFailure::Stopped, closedReason(sn));
        return false;
    }
    return true;
}

bool RuntimeCamera::setContinuous(bool continuous, RuntimeFailure &failure)
{
    if (!continuous) {
        failure.set(RuntimeFailure::NotPossible,
                    QStringLiteral("camera %1 cannot be put into trigger mode: the driver selects only continuous "
                                   "acquisition; a camera is in trigger mode only by its own configuration")
                        .arg(sn));
        return false;
    }
    if (!reachable(failure))
        return false;
    if (!call([](CameraInterface *c) { c->setContinueCapture(true); })) {
        failure.set(RuntimeFailure::Stopped, closedReason(sn));
        return false;
    }
    return true;
}

bool RuntimeCamera::softTrigger(int product, int capture, RuntimeFailure &failure)
{
    if (!reachable(failure))
        return false;
    bool freeRunning = false;
    const bool ran = call([&](CameraInterface *c) {
        freeRunning = c->isContinueCapture();
        if (!freeRunning && triggers)
            triggers->submit(product, capture);
    });
    if (!ran) {
        failure.set(RuntimeFailure::Stopped, closedReason(sn));
        return false;
    }
    if (freeRunning) {
        failure.set(RuntimeFailure::NotPossible,
                    QStringLiteral("camera %1 runs free (continuous acquisition) and would ignore a soft trigger; "
                                   "it is in trigger mode only by its own configuration")
                        .arg(sn));
        return false;
    }
    return true;
}

int RuntimeCamera::triggersPending()
{
    int n = 0;
    rt->call([&] {
        if (triggers)
            n = triggers->waiting() + (triggers->underWay() ? 1 : 0);
    });
    return n;
}

void RuntimeCamera::setRetryIntervalMs(int ms)
{
    rt->call([&] {
        if (!keeper)
            return;
        LinkKeeper::Policy p = keeper->policy();
        p.retryIntervalMs = ms;
        keeper->setPolicy(p);
        retryMs = ms > 0 ? ms : 0;
    });
}

void RuntimeCamera::setStallAfterMs(int ms)
{
    rt->call([&] {
        if (!keeper)
            return;
        LinkKeeper::Policy p = keeper->policy();
        p.stallAfterMs = ms;
        keeper->setPolicy(p);
    });
}

void RuntimeCamera::setTriggerTimeoutMs(int ms)
{
    rt->call([&] {
        if (triggers)
            triggers->setTimeoutMs(ms);
    });
}

std::function<void()> RuntimeCamera::frameNote() const
{
    // The keeper goes only after the camera is deleted, which ends every
    // delivery that could still call this.
    return inbox->frameSeen;
}

bool RuntimeCamera::retryNow()
{
    bool back = false;
    rt->call([&] { back = keeper && keeper->retryNow(); });
    return back;
}

WaitResult RuntimeCamera::nextFrame(ImageProcessData &frame, int timeoutMs, std::uint64_t *sequence)
{
    return inbox->nextFrame(frame, timeoutMs, sequence);
}

WaitResult RuntimeCamera::nextEvent(LinkEvent &event, int timeoutMs)
{
    return inbox->nextEvent(event, timeoutMs);
}

WaitResult RuntimeCamera::nextItem(ImageProcessData &frame, std::uint64_t &sequence, LinkEvent &event, bool &isEvent,
                                   int timeoutMs)
{
    return inbox->nextItem(frame, sequence, event, isEvent, timeoutMs);
}

std::uint64_t RuntimeCamera::dropped() const
{
    return inbox->dropped();
}

int RuntimeCamera::queueCapacity() const
{
    return inbox->capacity();
}

void RuntimeCamera::discardFrames()
{
    inbox->discardFrames();
}

void RuntimeCamera::interrupt()
{
    inbox->interrupt();
}

void RuntimeCamera::resume()
{
    inbox->resume();
}
