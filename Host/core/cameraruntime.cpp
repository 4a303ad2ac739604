#include "cameraruntime.h"

#include "settingsload.h"

#include "camerasignals.h"
#include "frameinbox.h"
#include "paramwrap.h"
#include "pluginhost.h"
#include "runtimethread.h"

#include <QJsonArray>
#include <QMutexLocker>

#include <algorithm>
#include <mutex>
#include <vector>


struct CameraRuntime::State
{
    RuntimeThread thread;
    // Created, used and deleted on the runtime's thread.
    std::unique_ptr<PluginHost> host;
    QString pluginFile;

    // Held through open() and stop(): a camera is either registered before
    // stop() looks, or not created once it has begun.
    std::mutex lifecycle;
    // Guards what follows.
    mutable std::mutex lock;
    // Weak: a camera's owner may let it go on any thread meanwhile.
    std::vector<std::weak_ptr<RuntimeCamera>> cameras;
    bool stopped = false;
};

CameraRuntime::CameraRuntime() : d(new State) {}

CameraRuntime::~CameraRuntime()
{
    stop();
}

std::shared_ptr<CameraRuntime> CameraRuntime::start(const QString &pluginDir, RuntimeFailure &failure)
{
    std::shared_ptr<CameraRuntime> rt(new CameraRuntime);
    QString why;
    if (!rt->d->thread.start(why)) {
        rt->d->stopped = true;
        failure.set(RuntimeFailure::Stopped, why);
        return nullptr;
    }
    bool loaded = false;
    rt->call([&] {
        registerContractTypes();
        rt->d->host.reset(new PluginHost);
        loaded = rt->d->host->load(pluginDir, why);
        if (loaded)
            rt->d->pluginFile = rt->d->host->filePath();
    });
    if (!loaded) {
        rt->stop();
        failure.set(RuntimeFailure::NotFound, why);
        return nullptr;
    }
    return rt;
}

bool CameraRuntime::call(const std::function<void()> &fn)
{
    return d->thread.run(fn);
}

bool CameraRuntime::isRuntimeThread() const
{
    return d->thread.isCurrent();
}

QString CameraRuntime::pluginFile() const
{
    return d->pluginFile;
}

bool CameraRuntime::isStopped() const
{
    std::lock_guard<std::mutex> guard(d->lock);
    return d->stopped;
}

void CameraRuntime::stop()
{
    std::lock_guard<std::mutex> life(d->lifecycle);
    std::vector<std::weak_ptr<RuntimeCamera>> open;
    {
        std::lock_guard<std::mutex> guard(d->lock);
        if (d->stopped)
            return;
        d->stopped = true;
        open = d->cameras;
    }
    for (const std::weak_ptr<RuntimeCamera> &w : open)
        if (const std::shared_ptr<RuntimeCamera> c = w.lock())
            c->close();
    // Deleting the loader leaves the module loaded: frames still held keep
    // pointing at nothing of it, but other hosts in the process may use it.
    call([this] { d->host.reset(); });
    d->thread.stop();
}

void CameraRuntime::forget(RuntimeCamera *camera)
{
    std::lock_guard<std::mutex> guard(d->lock);
    // A camera being destroyed is already expired.
    d->cameras.erase(std::remove_if(d->cameras.begin(), d->cameras.end(),
                                    [camera](const std::weak_ptr<RuntimeCamera> &w) {
                                        const std::shared_ptr<RuntimeCamera> c = w.lock();
                                        return !c || c.get() == camera;
                                    }),
                     d->cameras.end());
}

bool CameraRuntime::enumerate(QStringList &serials, int &deviceCount, RuntimeFailure &failure)
{
    if (isStopped()) {
        failure.set(RuntimeFailure::Stopped, QStringLiteral("the camera runtime has stopped"));
        return false;
    }
    bool ran = call([&] {
        deviceCount = 0;
        const QVector<QString> found = d->host->plugin()->enumerateCameras(deviceCount);
        serials = QStringList(found.begin(), found.end());
    });
    if (!ran)
        failure.set(RuntimeFailure::Stopped, QStringLiteral("the camera runtime has stopped"));
    return ran;
}

std::shared_ptr<RuntimeCamera> CameraRuntime::open(const QString &serial, int queueCapacity,
                                                   RuntimeFailure &failure)
{
    CameraOptions options;
    options.queueCapacity = queueCapacity;
    return open(serial, options, failure);
}

std::shared_ptr<RuntimeCamera> CameraRuntime::open(const QString &serial, const CameraOptions &options,
                                                   RuntimeFailure &failure)
{
    std::lock_guard<std::mutex> life(d->lifecycle);
    if (isStopped()) {
        failure.set(RuntimeFailure::Stopped, QStringLiteral("the camera runtime has stopped"));
        return nullptr;
    }
    {
        // A second driver object for a device that one holds open would
        // only fail to open it, saying less.
        std::vector<std::weak_ptr<RuntimeCamera>> open;
        {
            std::lock_guard<std::mutex> guard(d->lock);
            open = d->cameras;
        }
        for (const std::weak_ptr<RuntimeCamera> &w : open) {
            const std::shared_ptr<RuntimeCamera> c = w.lock();
            if (c && c->serial() == serial && !c->isClosed()) {
                failure.set(RuntimeFailure::AlreadyOpen,
                            QStringLiteral("camera %1 is already open in this process; close it first").arg(serial));
                return nullptr;
            }
        }
    }
    CameraInterface *camera = nullptr;
    // Made on the runtime's thread, like the camera: a QObject made on the
    // caller's would register that thread with Qt.
    std::unique_ptr<FrameInbox> inbox;
    int index = -1;
    const bool ran = call([&] {
        // The driver opens only what the last enumeration found.
        int count = 0;
        const QVector<QString> found = d->host->plugin()->enumerateCameras(count);
        index = found.indexOf(serial);
        if (index < 0) {
            failure.set(RuntimeFailure::NoSuchCamera,
                        found.isEmpty()
                            ? QStringLiteral("no camera %1: no VD-XG camera found (the SDK reports %2 device(s))")
                                  .arg(serial)
                                  .arg(count)
                            : QStringLiteral("no camera %1 (cameras: %2)")
                                  .arg(serial, QStringList(found.begin(), found.end()).join(QStringLiteral(", "))));
            return;
        }
        camera = d->host->plugin()->createCamera(index, serial, 0);
        if (!camera) {
            failure.set(RuntimeFailure::CameraFailed, QStringLiteral("the plug-in created no camera for %1").arg(serial));
        } else if (camera->cameraSerial() == QLatin1String("-1")) {
            delete camera;
            camera = nullptr;
            failure.set(RuntimeFailure::CameraFailed, QStringLiteral("camera %1 could not be opened").arg(serial));
        } else {
            inbox.reset(new FrameInbox(options.queueCapacity));
        }
    });
    if (!ran) {
        failure.set(RuntimeFailure::Stopped, QStringLiteral("the camera runtime has stopped"));
        return nullptr;
    }
    if (!camera)
        return nullptr;

    std::shared_ptr<RuntimeCamera> handle(
        new RuntimeCamera(shared_from_this(), camera, serial, index, std::move(inbox)));
    QString why;
    bool connected = false;
    call([&] {
        handle->equip(options);
        CameraSlots wiring;
        wiring.frame = "onFrame(ImageProcessData)";
        wiring.loss = "onLoss()";
        wiring.reconnect = "onReconnect()";
        // The inbox only queues: it is safe on the SDK's threads under the
        // frame mutex, and needs no event loop to deliver.
        wiring.frameConnection = Qt::DirectConnection;
        wiring.eventConnection = Qt::DirectConnection;
        connected = connectCamera(camera, handle->inbox.get(), wiring, why);
    });
    if (!connected) {
        failure.set(RuntimeFailure::CameraFailed,
                    QStringLiteral("cannot connect to the signals of camera %1: %2").arg(serial, why));
        return nullptr;  // the handle closes the camera
    }
    std::lock_guard<std::mutex> guard(d->lock);
    d->cameras.push_back(handle);
    return handle;
}

