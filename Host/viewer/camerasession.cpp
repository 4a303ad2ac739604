#include "camerasession.h"

#include "camerasignals.h"
#include "paramvalues.h"
#include "paramwrap.h"
#include "settingsload.h"
#include "viewerlog.h"

#include <QMutexLocker>
#include <QDateTime>
#include <QSet>
#include <QTimer>

Q_LOGGING_CATEGORY(lcViewer, "vandrel.viewer")

namespace {

QString clockTime(const QDateTime &t)
{
    return t.toString(QStringLiteral("hh:mm:ss"));
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 4);
}

} // namespace

std::unique_ptr<CameraSession> CameraSession::open(CameraInterface *plugin, int index, const QString &serial,
                                                   const QJsonObject &settings, const LinkKeeper::Policy &policy,
                                                   QString &error)
{
    if (!plugin) {
        error = QStringLiteral("no plug-in loaded");
        return nullptr;
    }
    CameraInterface *camera = plugin->createCamera(index, serial, 0);
    if (!camera) {
        error = QStringLiteral("the plug-in created no camera for %1").arg(serial);
        return nullptr;
    }
    if (camera->cameraSerial() == QLatin1String("-1")) {
        delete camera;
        error = QStringLiteral("camera %1 could not be opened").arg(serial);
        return nullptr;
    }
    std::unique_ptr<CameraSession> session(new CameraSession(camera, index, serial, policy));
    CameraSlots wiring;
    wiring.frame = "onFrame(ImageProcessData)";
    wiring.frameConnection = Qt::DirectConnection;
    if (!connectCamera(camera, session->frames, wiring, error))
        return nullptr;
    wiring = CameraSlots();
    wiring.loss = "onLoss()";
    wiring.reconnect = "onReconnect()";
    if (!connectCamera(camera, session.get(), wiring, error))
        return nullptr;
    // The driver's own grouping record starts as its constructor set it.
    session->trig.trigKind = 1;
    if (!SettingsLoad::loadAndSelect(camera, settings, error, &session->selection)) {
        error = QStringLiteral("settings of camera %1: %2").arg(serial, error);
        return nullptr;
    }
    session->acquisitionStarted();
    qCInfo(lcViewer) << "opened camera" << serial;
    return session;
}

CameraSession::CameraSession(CameraInterface *camera, int index, const QString &serial,
                             const LinkKeeper::Policy &policy)
    : cam(camera),
      keeper(new LinkKeeper(camera, [this](const LinkEvent &e) { onLinkEvent(e); })),
      // Sent from this thread, or from the hook inside a delivery, where the
      // driver takes a trigger.
      triggers(new TriggerSequencer(
          [camera](int p, int c, std::function<void()> hook) { camera->softTrigger(p, c, std::move(hook)); },
          kTriggerTimeoutMs)),
      frames(new FrameSink([k = keeper.get()] { k->noteFrame(); }, this)),
      serialNumber(serial),
      cameraIndex(index)
{
    keeper->setPolicy(policy);
}

CameraSession::~CameraSession()
{
    if (cam) {
        disconnectCamera(cam, frames);
        disconnectCamera(cam, this);
        // Stops and closes: once this returns no callback of the camera runs,
        // so none reaches the keeper or a trigger's hook afterwards.
        delete cam;
        cam = nullptr;
        triggers.reset();
        keeper.reset();
        qCInfo(lcViewer) << "closed camera" << serialNumber;
    }
}

QDateTime CameraSession::backAt() const
{
    const LinkStatus st = linkStatus();
    return st.state == LinkState::Open && st.backs > 0 ? st.since : QDateTime();
}

QString CameraSession::badge() const
{
    const LinkStatus st = linkStatus();
    switch (st.state) {
    case LinkState::Lost:
        return tr("lost since %1").arg(clockTime(st.since));
    case LinkState::Stalled:
        return tr("stalled since %1").arg(clockTime(st.since));
    case LinkState::Open:
        break;
    }
    return st.backs > 0 ? tr("back at %1").arg(clockTime(st.since)) : tr("open");
}

QColor CameraSession::badgeColour() const
{
    switch (linkState()) {
    case LinkState::Lost:
        return QColor(0xc6, 0x28, 0x28);
    case LinkState::Stalled:
        return QColor(0xb2, 0x4a, 0x00);
    case LinkState::Open:
        break;
    }
    return backAt().isValid() ? QColor(0x15, 0x65, 0xc0) : QColor(0x2e, 0x7d, 0x32);
}

QString CameraSession::retryText() const
{
    const LinkState state = linkState();
    if (state == LinkState::Open)
        return QString();
    const int every = keeper->policy().retryIntervalMs;
    const int next = nextRetryMs();
    if (every > 0)
        return next > 0 ? tr("retrying every %1 s · next in %2 s").arg(seconds(every)).arg((next + 999) / 1000)
                        : tr("retrying every %1 s · retrying now").arg(seconds(every));
    if (state == LinkState::Stalled)
        // The driver hears nothing of a stall: only a frame ends it.
        return tr("no retry interval set: back with its next frame");
    return next >= 0 ? tr("the driver retries every 30 s · next in %1 s").arg((next + 999) / 1000)
                     : tr("the driver retries every 30 s");
}

int CameraSession::nextRetryMs() const
{
    const LinkState state = linkState();
    if (state == LinkState::Open)
        return -1;
    if (keeper->policy().retryIntervalMs > 0)
        return keeper->nextRetryInMs();
    if (state != LinkState::Lost)
        return -1;
    // The driver retries a lost camera on a 30 s timer, a child of the camera
    // that load() started.
    for (const QTimer *t : cam->findChildren<QTimer *>())
        if (t->interval() == 30000 && t->isActive())
            // A coarse timer may report a little more than its interval.
            return qMin(t->remainingTime(), t->interval());
    return -1;
}

bool CameraSession::reconnectNow()
{
    if (!down())
        return true;
    // Back: onLinkEvent has run by the time this returns.
    return keeper->retryNow();
}

void CameraSession::onLoss()
{
    // Triggers queued for a camera that is gone would only time out.
    triggers->clear();
    keeper->noteLoss();
}

void CameraSession::onReconnect()
{
    keeper->noteReconnect();
}

void CameraSession::setReplayEnded(bool ended)
{
    if (ended == replayEnded)
        return;
    replayEnded = ended;
    if (ended)
        keeper->stop();
    else if (!halted)
        keeper->start();
}

void CameraSession::acquisitionStarted()
{
    if (!replayEnded)
        keeper->start();
}

void CameraSession::onLinkEvent(const LinkEvent &e)
{
    events.append(e);
    // A long night of losses keeps its latest ones.
    if (events.size() > 200)
        events.remove(0, events.size() - 200);
    qCInfo(lcViewer).noquote() << "camera" << serialNumber << linkEventKey(e.kind) << "-" << e.detail;
    if (e.kind == LinkEvent::Stalled)
        triggers->clear();
    // A "back" that a frame brought reopened nothing.
    const bool reopened = e.kind == LinkEvent::Back && keeper->reopenings() != seenReopenings;
    if (reopened) {
        seenReopenings = keeper->reopenings();
        // The Apply step (or the driver's own load) took the current values.
        selection = keeper->reopenSelection();
        pendingApply = false;
    }
    emit linkChanged();
    if (e.kind != LinkEvent::Back)
        return;
    // The reopened camera brought its limits in again.
    emit valuesChanged(-1, QVariant());
    emit stateChanged();
    if (reopened && selection.outcome != SettingsLoad::ExposureSelection::Selected)
        emit notice(selection.text(serialNumber), selection.outcome == SettingsLoad::ExposureSelection::Refused);
}

void CameraSession::stop()
{
    // A camera that is down is the keeper's to reopen, not the person's to stop.
    if (halted || down())
        return;
    triggers->clear();
    keeper->stop();
    cam->closeCamera();
    halted = true;
    emit stateChanged();
}

bool CameraSession::start()
{
    if (!halted)
        return true;
    cam->restartCamera();
    if (cam->cameraSerial() == QLatin1String("-1"))
        return false;
    halted = false;
    apply();
    emit stateChanged();
    return true;
}

void CameraSession::setRunning(bool running)
{
    // The frame thread reads the flag under this mutex.
    {
        QMutexLocker lock(cam->frameMutex());
        cam->isRunning = running;
    }
    emit stateChanged();
}

bool CameraSession::running() const
{
    // This thread is the flag's only writer, so it reads it without the
    // frame mutex: a frame thread delivering back to back would keep the
    // mutex from this thread for tens of milliseconds.
    return cam->isRunning;
}

int CameraSession::selectExposure(int index)
{
    const int status = cam->selectExposure(index);
    emit valuesChanged(-1, QVariant());
    return status;
}

int CameraSession::exposureConfigCount() const
{
    // The configuration choice lists one entry per configuration.
    const QVector<ParamWrap *> *list = cam->pluginParams();
    if (!list)
        return 0;
    for (ParamWrap *p : *list)
        if (p && p->typeName() == QLatin1String("ComboBoxParam"))
            return static_cast<ComboBoxParam *>(p)->count;
    return 0;
}

namespace {

// What names a descriptor across a rebuild of the list: its kind, label and
// first option (the check boxes have no label).
QString descriptorKey(ParamWrap *p)
{
    QString key = p->typeName() + QLatin1Char('\n') + p->label;
    if (p->typeName() == ParamKind::CheckBox || p->typeName() == ParamKind::RadioBox) {
        auto *r = static_cast<RadioBoxParam *>(p);
        if (r->count > 0 && r->names)
            key += QLatin1Char('\n') + r->names[0];
    }
    return key;
}

} // namespace

void CameraSession::setExposureConfigCount(int count)
{
    // The rebuilt list starts unpinned: the pins of the descriptors that
    // remain are carried over.
    QSet<QString> pinned;
    if (const QVector<ParamWrap *> *list = cam->pluginParams())
        for (ParamWrap *p : *list)
            if (p && p->isRunningShow)
                pinned.insert(descriptorKey(p));
    cam->setExposureConfigCount(qBound(0, count, SettingsLoad::kMaxExposureConfigs));
    if (const QVector<ParamWrap *> *list = cam->pluginParams())
        for (ParamWrap *p : *list)
            if (p && pinned.contains(descriptorKey(p)))
                p->isRunningShow = true;
    emit descriptorsRebuilt();
    emit pinsChanged();
}

void CameraSession::setContinuous(bool continuous)
{
    cam->setContinueCapture(continuous);
}

bool CameraSession::continuous() const
{
    return cam->isContinueCapture();
}

void CameraSession::softTrigger(int productNumber, int captureNumber)
{
    triggers->submit(productNumber, captureNumber);
}

int CameraSession::triggersPending() const
{
    return triggers->waiting() + (triggers->underWay() ? 1 : 0);
}

void CameraSession::setGrouping(const CameraTrigParams &params)
{
    trig.trigKind = params.trigKind;
    trig.capturesPerProduct = params.capturesPerProduct;
    trig.productsPerCycle = params.productsPerCycle;
    trig.cycleTimeout = params.cycleTimeout;
    trig.autoCount = params.autoCount;
    cam->setTrigParams(&trig);
}

SettingsLoad::ExposureSelection CameraSession::apply()
{
    selection = SettingsLoad::apply(cam);
    acquisitionStarted();
    pendingApply = false;
    emit valuesChanged(-1, QVariant());
    emit stateChanged();
    return selection;
}

void CameraSession::setApplyPending()
{
    if (pendingApply)
        return;
    pendingApply = true;
    emit stateChanged();
}

QJsonObject CameraSession::settings() const
{
    QJsonObject out;
    cam->save(out);
    return out;
}

bool CameraSession::loadSettings(const QJsonObject &settings, QString &error)
{
    bool rebuilt = false;
    if (!SettingsLoad::loadAndSelect(cam, settings, error, &selection, &rebuilt))
        return false;
    acquisitionStarted();
    // load applied the colour choice.
    pendingApply = false;
    if (rebuilt)
        emit descriptorsRebuilt();
    emit pinsChanged();
    emit valuesChanged(-1, QVariant());
    emit stateChanged();
    return true;
}

void CameraSession::snapshot()
{
    cam->saveSnapshot();
    snapshotCount = SettingsLoad::exposureConfigCount(cam);
}

void CameraSession::restore()
{
    const bool rebuild = snapshotCount >= 0 && snapshotCount != SettingsLoad::exposureConfigCount(cam);
    if (rebuild)
        cam->setExposureConfigCount(snapshotCount);
    cam->restoreSnapshot();
    pendingApply = false;
    if (rebuild)
        emit descriptorsRebuilt();
    emit pinsChanged();
    emit valuesChanged(-1, QVariant());
    emit stateChanged();
}

void CameraSession::paramsEdited(int index, const QVariant &requested)
{
    emit valuesChanged(index, requested);
}

void CameraSession::pinChanged(int)
{
    emit pinsChanged();
}
