#include "camerasession.h"

#include "camerasignals.h"
#include "paramwrap.h"
#include "viewerlog.h"

#include <QMutexLocker>

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
    camera->load(settings);
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
    state = Link::Reconnected;
    backAt = QDateTime::currentDateTime();
    events.append({backAt, false});
    qCInfo(lcViewer) << "camera" << serialNumber << "reconnected";
    emit linkChanged();
    // The reopened camera brought its limits in again.
    emit valuesChanged(-1, QVariant());
}

void CameraSession::setRunning(bool running)
{
    // The frame thread reads the flag under this mutex.
    QMutexLocker lock(cam->frameMutex());
    cam->isRunning = running;
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

void CameraSession::setExposureConfigCount(int count)
{
    cam->setExposureConfigCount(qMax(0, count));
    emit descriptorsRebuilt();
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
    emit valuesChanged(-1, QVariant());
}

QJsonObject CameraSession::settings() const
{
    QJsonObject out;
    cam->save(out);
    return out;
}

void CameraSession::loadSettings(const QJsonObject &settings)
{
    cam->load(settings);
    emit pinsChanged();
    emit valuesChanged(-1, QVariant());
}

void CameraSession::snapshot()
{
    cam->saveSnapshot();
}

void CameraSession::restore()
{
    cam->restoreSnapshot();
    emit pinsChanged();
    emit valuesChanged(-1, QVariant());
}

void CameraSession::paramsEdited(int index, const QVariant &requested)
{
    emit valuesChanged(index, requested);
}

void CameraSession::pinChanged(int)
{
    emit pinsChanged();
}
