#include "camerasession.h"

#include "camerasignals.h"
#include "paramvalues.h"
#include "paramwrap.h"
#include "settingsload.h"
#include "viewerlog.h"

#include <QMutexLocker>
#include <QSet>
#include <QTimer>

Q_LOGGING_CATEGORY(lcViewer, "vandrel.viewer")

std::unique_ptr<CameraSession> CameraSession::open(CameraInterface *plugin, int index, const QString &serial,
                                                   const QJsonObject &settings, QString &error)
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
    std::unique_ptr<CameraSession> session(new CameraSession(camera, index, serial));
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
    if (!SettingsLoad::load(camera, settings, error)) {
        error = QStringLiteral("settings of camera %1: %2").arg(serial, error);
        return nullptr;
    }
    qCInfo(lcViewer) << "opened camera" << serial;
    return session;
}

CameraSession::CameraSession(CameraInterface *camera, int index, const QString &serial)
    : cam(camera), frames(new FrameSink(this)), serialNumber(serial), cameraIndex(index)
{
}

CameraSession::~CameraSession()
{
    if (cam) {
        disconnectCamera(cam, frames);
        disconnectCamera(cam, this);
        // Stops and closes: once this returns no callback of the camera runs.
        delete cam;
        cam = nullptr;
        qCInfo(lcViewer) << "closed camera" << serialNumber;
    }
}

QString CameraSession::badge() const
{
    switch (state) {
    case Link::Lost:
        return tr("lost since %1").arg(lostAt.toString(QStringLiteral("hh:mm:ss")));
    case Link::Reconnected:
        return tr("reconnected at %1").arg(backAt.toString(QStringLiteral("hh:mm:ss")));
    case Link::Open:
        break;
    }
    return tr("open");
}

void CameraSession::onLoss()
{
    state = Link::Lost;
    lostAt = QDateTime::currentDateTime();
    events.append({lostAt, true});
    qCInfo(lcViewer) << "camera" << serialNumber << "lost its link";
    emit linkChanged();
}

void CameraSession::onReconnect()
{
    if (backByHand) {
        // Already shown as back since reconnectNow.
        backByHand = false;
        return;
    }
    markReconnected();
}

void CameraSession::markReconnected()
{
    state = Link::Reconnected;
    backAt = QDateTime::currentDateTime();
    events.append({backAt, false});
    qCInfo(lcViewer) << "camera" << serialNumber << "reconnected";
    emit linkChanged();
    // The reopened camera brought its limits in again.
    emit valuesChanged(-1, QVariant());
}

int CameraSession::nextRetryMs() const
{
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
    if (state != Link::Lost)
        return true;
    cam->restartCamera();
    if (cam->cameraSerial() == QLatin1String("-1"))
        return false;
    // restartCamera does not apply the output format; load does.
    apply();
    backByHand = true;
    markReconnected();
    return true;
}

void CameraSession::stop()
{
    if (halted || state == Link::Lost)
        return;
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
    // No hook: the driver would call it on every later frame.
    cam->softTrigger(productNumber, captureNumber, std::function<void()>());
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

void CameraSession::apply()
{
    QJsonObject current;
    cam->save(current);
    cam->load(current);
    pendingApply = false;
    emit valuesChanged(-1, QVariant());
    emit stateChanged();
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
    if (!SettingsLoad::load(cam, settings, error, &rebuilt))
        return false;
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
