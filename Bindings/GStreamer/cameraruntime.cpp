#include "cameraruntime.h"

#include "camerasignals.h"
#include "pluginhost.h"
#include "settingsfile.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMap>
#include <QMutexLocker>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <future>
#include <map>
#include <thread>

// Receives a camera's signals for its session. Frames and losses come on the
// SDK's threads (direct connections: only the session's queue is touched),
// reconnections on the runtime's thread.
class SessionReceiver : public QObject
{
    Q_OBJECT
public:
    explicit SessionReceiver(CameraSession *s) : session(s) {}

public slots:
    void onFrame(ImageProcessData data)
    {
        try {
            session->pushFrame(data);
        } catch (...) {
            // The frame is lost; the SDK's thread must never see an exception.
        }
    }
    void onLoss() { session->pushEvent(true); }
    void onReconnect() { session->pushEvent(false); }

private:
    CameraSession *session;
};

struct CameraRuntime::Private
{
    std::thread ownThread;          // with a QCoreApplication of its own, when the process has none
    QThread *qtThread = nullptr;    // in a process that has one
    QObject *context = nullptr;     // lives on the runtime's thread; target of call()
    std::map<QString, std::unique_ptr<PluginHost>> plugins;  // by directory; runtime's thread only
};

namespace {

// Qt wants argc and argv to outlive the application.
int appArgc = 1;
char appName[] = "vandrel";
char *appArgv[] = {appName, nullptr};

} // namespace

CameraRuntime::CameraRuntime() : d(new Private)
{
    if (QCoreApplication::instance()) {
        d->qtThread = new QThread;
        d->qtThread->setObjectName(QStringLiteral("vandrel-runtime"));
        d->context = new QObject;
        d->context->moveToThread(d->qtThread);
        d->qtThread->start();
    } else {
        auto ready = std::make_shared<std::promise<QObject *>>();
        std::future<QObject *> context = ready->get_future();
        d->ownThread = std::thread([ready] {
            QCoreApplication app(appArgc, appArgv);
            // The driver's per-frame debug lines stay off unless QT_LOGGING_RULES asks for them.
            QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false"));
            QObject contextObject;
            ready->set_value(&contextObject);
            app.exec();
        });
        d->context = context.get();
    }
    registerContractTypes();
}

CameraRuntime::~CameraRuntime()
{
    // Plug-ins go on the thread that loaded them, before its event loop ends.
    call([this] { d->plugins.clear(); });
    if (d->qtThread) {
        QMetaObject::invokeMethod(d->context, [this] { delete d->context; }, Qt::BlockingQueuedConnection);
        d->qtThread->quit();
        d->qtThread->wait();
        delete d->qtThread;
    } else {
        QMetaObject::invokeMethod(d->context, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
        d->ownThread.join();
    }
}

std::shared_ptr<CameraRuntime> CameraRuntime::instance()
{
    static std::mutex guard;
    static std::shared_ptr<CameraRuntime> runtime;
    std::lock_guard<std::mutex> hold(guard);
    if (!runtime) {
        runtime.reset(new CameraRuntime);
        // Made after Qt's own statics, so at exit it runs before they go:
        // the event loop must end while Qt is still whole.
        static struct StopAtExit {
            ~StopAtExit()
            {
                std::lock_guard<std::mutex> hold(guard);
                runtime.reset();
            }
        } stopAtExit;
    }
    return runtime;
}

void CameraRuntime::call(const std::function<void()> &f)
{
    if (QThread::currentThread() == d->context->thread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(d->context, f, Qt::BlockingQueuedConnection);
}

bool CameraRuntime::loadPlugin(const QString &dir, QString &error, CameraInterface *&plugin)
{
    const QString key = dir.isEmpty() ? PluginHost::defaultPluginDir() : dir;
    auto found = d->plugins.find(key);
    if (found == d->plugins.end()) {
        auto host = std::make_unique<PluginHost>();
        if (!host->load(key, error))
            return false;
        found = d->plugins.emplace(key, std::move(host)).first;
    }
    plugin = found->second->plugin();
    return true;
}

std::unique_ptr<CameraSession> CameraSession::open(const OpenOptions &options, OpenFailure &failure, QString &error)
{
    std::unique_ptr<CameraSession> s(new CameraSession);
    s->runtime = CameraRuntime::instance();
    s->capacity = std::size_t(std::max(1, options.queueCapacity));
    failure = OpenFailure::None;
    CameraSession *self = s.get();
    auto fail = [&](OpenFailure f, const QString &why) {
        failure = f;
        error = why;
    };
    s->runtime->call([&] {
        if (!options.simConfig.isEmpty() && !applySimConfig(options.simConfig, error)) {
            failure = OpenFailure::BadSettings;
            return;
        }
        CameraInterface *plugin = nullptr;
        if (!self->runtime->loadPlugin(options.pluginDir, error, plugin)) {
            failure = OpenFailure::NoPlugin;
            return;
        }
        int count = 0;
        const QVector<QString> serials = plugin->enumerateCameras(count);
        if (serials.isEmpty())
            return fail(OpenFailure::NoCamera,
                        QStringLiteral("no VD-XG camera found (the SDK reports %1 device(s))").arg(count));
        const QString serial = options.serial.isEmpty() ? serials.constFirst() : options.serial;
        if (!serials.contains(serial))
            return fail(OpenFailure::NoCamera, QStringLiteral("no camera %1 (cameras: %2)")
                                                   .arg(serial, QStringList(serials.toList()).join(QStringLiteral(", "))));
        QMap<QString, QJsonObject> settings;
        if (!options.settingsFile.isEmpty() && !readSettingsFile(options.settingsFile, {serial}, settings, error)) {
            failure = OpenFailure::BadSettings;
            return;
        }
        CameraInterface *cam = plugin->createCamera(0, serial, 0);
        if (!cam)
            return fail(OpenFailure::NoCamera, QStringLiteral("the plug-in created no camera for %1").arg(serial));
        if (cam->cameraSerial() == QLatin1String("-1")) {
            delete cam;
            return fail(OpenFailure::NoCamera, QStringLiteral("camera %1 could not be opened").arg(serial));
        }
        self->camera = cam;
        self->cameraSerial = serial;
        self->receiver = new SessionReceiver(self);
        CameraSlots wiring;
        wiring.frame = "onFrame(ImageProcessData)";
        wiring.loss = "onLoss()";
        wiring.reconnect = "onReconnect()";
        wiring.frameConnection = Qt::DirectConnection;
        wiring.eventConnection = Qt::DirectConnection;
        QString why;
        if (!connectCamera(cam, self->receiver, wiring, why))
            return fail(OpenFailure::NoPlugin, QStringLiteral("cannot connect to camera %1: %2").arg(serial, why));
        cam->load(settings.value(serial));
        if (options.exposure >= 0) {
            const int status = cam->selectExposure(options.exposure);
            if (status == -1)
                return fail(OpenFailure::BadOption, QStringLiteral("camera %1 has no exposure configuration %2")
                                                        .arg(serial)
                                                        .arg(options.exposure));
            if (status != 0)
                return fail(OpenFailure::BadOption, QStringLiteral("camera %1 refused exposure configuration %2 (status %3)")
                                                        .arg(serial)
                                                        .arg(options.exposure)
                                                        .arg(status));
        }
        CameraTrigParams trig;
        trig.trigKind = 1;  // numbered by the host's grouping, not frozen to soft triggers
        trig.capturesPerProduct = std::max(1, options.capturesPerProduct);
        trig.productsPerCycle = std::max(1, options.productsPerCycle);
        trig.cycleTimeout = options.cycleTimeout;
        cam->setTrigParams(&trig);
        {
            QMutexLocker hold(cam->frameMutex());
            cam->isRunning = options.running;
        }
        self->size = cam->imageSize();
        self->channelCount = cam->channels();
    });
    if (failure != OpenFailure::None)
        return nullptr;  // the destructor closes what was opened
    return s;
}

CameraSession::~CameraSession()
{
    {
        std::lock_guard<std::mutex> hold(lock);
        closing = true;
    }
    if (!runtime)
        return;
    runtime->call([this] {
        if (camera) {
            if (receiver)
                disconnectCamera(camera, receiver);
            {
                QMutexLocker hold(camera->frameMutex());
                camera->isRunning = false;
            }
            // Deletion stops the camera and waits for a delivery in progress.
            delete camera;
            camera = nullptr;
        }
        delete receiver;
        receiver = nullptr;
    });
}

void CameraSession::pushFrame(const ImageProcessData &data)
{
    std::lock_guard<std::mutex> hold(lock);
    if (closing)
        return;
    CameraFrame f;
    f.data = data;
    f.number = arrived++;
    f.arrival = std::chrono::steady_clock::now();
    if (frames.size() >= capacity) {
        frames.pop_front();
        ++droppedFrames;
    }
    frames.push_back(std::move(f));
    changed.notify_all();
}

void CameraSession::pushEvent(bool lost)
{
    std::lock_guard<std::mutex> hold(lock);
    events.push_back(LinkEvent{lost, QDateTime::currentDateTimeUtc()});
    changed.notify_all();
}

CameraSession::Wait CameraSession::wait(std::chrono::nanoseconds timeout, CameraFrame &frame, LinkEvent &event)
{
    std::unique_lock<std::mutex> hold(lock);
    auto ready = [this] { return woken || !events.empty() || !frames.empty(); };
    if (timeout.count() < 0)
        changed.wait(hold, ready);
    else
        changed.wait_for(hold, timeout, ready);
    if (woken)
        return Wait::Woken;
    if (!events.empty()) {
        event = events.front();
        events.pop_front();
        return Wait::Event;
    }
    if (!frames.empty()) {
        frame = std::move(frames.front());
        frames.pop_front();
        return Wait::Frame;
    }
    return Wait::Timeout;
}

void CameraSession::wake()
{
    std::lock_guard<std::mutex> hold(lock);
    woken = true;
    changed.notify_all();
}

void CameraSession::clearWake()
{
    std::lock_guard<std::mutex> hold(lock);
    woken = false;
}

std::uint64_t CameraSession::dropped() const
{
    std::lock_guard<std::mutex> hold(lock);
    return droppedFrames;
}

bool CameraSession::continuous()
{
    bool result = true;
    runtime->call([&] { result = camera->isContinueCapture(); });
    return result;
}

void CameraSession::softTrigger(int product, int capture)
{
    runtime->call([&] { camera->softTrigger(product, capture, std::function<void()>()); });
}

void CameraSession::withCamera(const std::function<void(CameraInterface *)> &f)
{
    runtime->call([&] { f(camera); });
}

#include "cameraruntime.moc"
