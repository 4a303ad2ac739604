#include "sourcecamera.h"

#include "camerasignals.h"
#include "gstvandrelsrc.h"
#include "paramsets.h"
#include "pluginhost.h"
#include "settingsfile.h"
#include "simconfigonce.h"
#include "simulatorstate.h"

#include "sharedlibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMap>
#include <QMutexLocker>

#include <algorithm>

namespace {

// How often a wait for frames looks for link events meanwhile.
constexpr std::chrono::milliseconds kEventPoll(20);

// softTrigger presets the numbers of the frames that follow from its
// arguments under this kind; the driver counts on from them only with a
// positive autoCount.
constexpr int kHostNumbered = 32;
constexpr int kNumberedByGrouping = 1;

OpenFailure failureOf(const RuntimeFailure &f)
{
    switch (f.kind) {
    case RuntimeFailure::NotFound:
        return OpenFailure::NoPlugin;
    case RuntimeFailure::BadInput:
        return OpenFailure::BadSettings;
    default:
        return OpenFailure::NoCamera;
    }
}

CameraTrigParams numberingOf(const OpenOptions &o)
{
    CameraTrigParams trig;
    trig.trigKind = o.hostNumbered ? kHostNumbered : kNumberedByGrouping;
    trig.autoCount = 0;
    trig.capturesPerProduct = std::max(1, o.capturesPerProduct);
    trig.productsPerCycle = std::max(1, o.productsPerCycle);
    trig.cycleTimeout = o.cycleTimeout;
    return trig;
}

} // namespace

QString SourceCamera::defaultPluginDir()
{
    // Worked out without Qt's application object, which the camera runtime
    // creates on its own thread.
    const std::string module = vdplatform::moduleDirOf(reinterpret_cast<const void *>(&vandrel_src_register));
    if (!module.empty()) {
        const QDir moduleDir(QFile::decodeName(module.c_str()));
        const QString dir = QDir::cleanPath(moduleDir.absoluteFilePath(QStringLiteral(VANDREL_GST_TO_PLUGINDIR)));
        if (QFileInfo::exists(dir + QLatin1Char('/') + PluginHost::moduleFileName()))
            return dir;
    }
    return PluginHost::pluginDirBesideLibrary();
}

std::unique_ptr<SourceCamera> SourceCamera::open(const OpenOptions &o, OpenFailure &failure, QString &error)
{
    failure = OpenFailure::None;
    auto fail = [&](OpenFailure kind, const QString &why) {
        failure = kind;
        error = why;
        return nullptr;
    };
    std::unique_ptr<SourceCamera> s(new SourceCamera);
    const bool ownApplication = !QCoreApplication::instance();
    RuntimeFailure rf;
    s->runtime = CameraRuntime::start(o.pluginDir.isEmpty() ? defaultPluginDir() : o.pluginDir, rf);
    if (!s->runtime)
        return fail(failureOf(rf), rf.reason);
    if (!useSimConfig(*s->runtime, o.simConfig, error))
        return fail(OpenFailure::BadSettings, error);
    // A configuration the simulator could not use left it without cameras.
    QString simProblem;
    s->runtime->call([&] { simProblem = SimulatorState::configurationProblem(); });
    if (!simProblem.isEmpty())
        return fail(OpenFailure::BadSettings, simProblem);
    if (ownApplication) {
        // The driver's per-frame debug lines stay off unless QT_LOGGING_RULES
        // asks for them, as in the host programs; a program's own Qt
        // application keeps its own rules.
        s->runtime->call([] { QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false")); });
    }

    QString serial = o.serial;
    if (serial.isEmpty()) {
        QStringList serials;
        int count = 0;
        if (!s->runtime->enumerate(serials, count, rf))
            return fail(failureOf(rf), rf.reason);
        if (serials.isEmpty())
            return fail(OpenFailure::NoCamera,
                        QStringLiteral("no VD-XG camera found (the SDK reports %1 device(s))").arg(count));
        serial = serials.constFirst();
    }
    QMap<QString, QJsonObject> settings;
    if (!o.settingsFile.isEmpty() && !readSettingsFile(o.settingsFile, {serial}, settings, error))
        return fail(OpenFailure::BadSettings, error);
    if (o.settingsFile.isEmpty())  // a replayed recording's own settings
        settings = SimulatorState::recordedSettings(QStringList{serial});

    // The runtime's own queue only holds what is taken from it; this one
    // stamps each frame as it arrives.
    CameraOptions run;
    run.queueCapacity = 1;
    run.retryIntervalMs = o.retryIntervalMs;
    run.stallAfterMs = o.stallAfterMs;
    s->camera = s->runtime->open(serial, run, rf);
    if (!s->camera)
        return fail(failureOf(rf), rf.reason);
    QString why;
    bool connected = false;
    s->camera->call([&](CameraInterface *cam) {
        s->frames = new FrameArrivals(o.queueCapacity);
        s->frames->setFrameNote(s->camera->frameNote());
        QObject::disconnect(cam, "2captureCompleted(ImageProcessData)", nullptr, nullptr);
        CameraSlots wiring;
        wiring.frame = "onFrame(ImageProcessData)";
        wiring.frameConnection = Qt::DirectConnection;
        connected = connectCamera(cam, s->frames, wiring, why);
        // Numbering and grouping are in place before acquisition starts, so
        // that the first frame is numbered like the rest.
        CameraTrigParams trig = numberingOf(o);
        cam->setTrigParams(&trig);
    });
    if (!connected)
        return fail(OpenFailure::NoCamera, QStringLiteral("cannot take the frames of camera %1: %2").arg(serial, why));
    // Nothing is numbered before the pipeline plays (see play()).
    s->camera->setRunning(false);
    SettingsLoad::ExposureSelection selection;
    QString colour;
    if (!s->camera->load(settings.value(serial), rf, &selection, &colour))
        return fail(failureOf(rf), rf.reason);
    if (!o.features.isEmpty() && !s->setFeatures(o.features, error, s->openWarnings))
        return fail(OpenFailure::BadOption, error);
    // Settings given: the exposure they show is the one the camera runs with, or a warning says why not.
    if (settings.contains(serial) && o.exposure < 0 && selection.outcome != SettingsLoad::ExposureSelection::Selected
        && selection.outcome != SettingsLoad::ExposureSelection::NoConfiguration)
        s->openWarnings << selection.text(serial);
    if (!colour.isEmpty())
        s->openWarnings << colour;

    const int status = o.exposure >= 0 ? s->selectExposure(o.exposure) : 0;
    if (status == -1)
        return fail(OpenFailure::BadOption,
                    QStringLiteral("camera %1 has no exposure configuration %2").arg(serial).arg(o.exposure));
    if (status != 0)
        return fail(OpenFailure::BadOption, QStringLiteral("camera %1 refused exposure configuration %2 (status %3)")
                                                .arg(serial)
                                                .arg(o.exposure)
                                                .arg(status));
    return s;
}

SourceCamera::~SourceCamera()
{
    if (camera)
        camera->close();
    camera.reset();
    if (frames && !(runtime && runtime->call([this] { delete frames; })))
        delete frames;  // the runtime has stopped: no thread of its is left to touch it
    frames = nullptr;
    // The runtime's thread of a process without a Qt application stays for
    // the next camera.
    runtime.reset();
}

SourceCamera::Wait SourceCamera::wait(std::chrono::nanoseconds timeout, ArrivedFrame &frame, LinkEvent &event)
{
    using clock = std::chrono::steady_clock;
    const bool unbounded = timeout.count() < 0;
    const clock::time_point deadline = unbounded ? clock::time_point::max() : clock::now() + timeout;
    int slicesEnded = 0;  // with no frame since a replayed recording ended
    for (;;) {
        switch (camera->nextEvent(event, 0)) {
        case WaitResult::Ready:
            return Wait::Event;
        case WaitResult::Interrupted:
        case WaitResult::Closed:
            return Wait::Woken;
        case WaitResult::TimedOut:
            break;
        }
        auto slice = std::chrono::duration_cast<std::chrono::milliseconds>(kEventPoll);
        if (!unbounded) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
            slice = std::max(std::chrono::milliseconds(0), std::min(slice, left));
        }
        switch (frames->take(frame, slice)) {
        case FrameArrivals::Take::Frame:
            return Wait::Frame;
        case FrameArrivals::Take::Woken:
            return Wait::Woken;
        case FrameArrivals::Take::TimedOut:
            if ((endedAfter = SimulatorState::recordingEndedAfter(camera->serial())) >= 0 && ++slicesEnded >= 2)
                return Wait::Ended;
            break;
        }
        if (!unbounded && clock::now() >= deadline)
            return Wait::Timeout;
    }
}

void SourceCamera::wake()
{
    camera->interrupt();
    frames->wake();
}

void SourceCamera::clearWake()
{
    camera->resume();
    frames->clearWake();
}

QString SourceCamera::serial() const
{
    return camera->serial();
}

QString SourceCamera::pluginFile() const
{
    return runtime->pluginFile();
}

std::uint64_t SourceCamera::dropped() const
{
    return frames->dropped();
}

bool SourceCamera::continuous()
{
    bool result = true;
    camera->call([&](CameraInterface *cam) { result = cam->isContinueCapture(); });
    return result;
}

bool SourceCamera::softTrigger(int product, int capture, QString &error)
{
    RuntimeFailure failure;
    if (camera->softTrigger(product, capture, failure))
        return true;
    error = failure.reason;
    return false;
}

bool SourceCamera::setFeatures(const QString &text, QString &error, QStringList &warnings)
{
    QList<QPair<QString, QString>> sets;
    if (!parseParamSets(text, sets, error)) {
        error = QStringLiteral("features: %1").arg(error);
        return false;
    }
    ParamSets writes(QStringLiteral("features"), QStringLiteral("the README's table of parameters lists them"));
    bool written = false;
    if (!camera->call([&](CameraInterface *cam) { written = writes.apply(cam, sets, error); })) {
        error = QStringLiteral("features: the camera is closed");
        return false;
    }
    warnings << writes.warnings;
    if (!written)
        return false;
    if (writes.needsApply) {
        RuntimeFailure failure;
        SettingsLoad::ExposureSelection selection;
        QString colour;
        if (!camera->apply(failure, &selection, &colour)) {
            error = QStringLiteral("features: %1").arg(failure.reason);
            return false;
        }
        if (selection.outcome != SettingsLoad::ExposureSelection::Selected
            && selection.outcome != SettingsLoad::ExposureSelection::NoConfiguration)
            warnings << selection.text(serial());
        if (!colour.isEmpty())
            warnings << colour;
    }
    return true;
}

void SourceCamera::setRetryIntervalMs(int ms)
{
    camera->setRetryIntervalMs(ms);
}

void SourceCamera::setStallAfterMs(int ms)
{
    camera->setStallAfterMs(ms);
}

QStringList SourceCamera::takeWarnings()
{
    QStringList taken;
    taken.swap(openWarnings);
    return taken;
}

void SourceCamera::play(GstClock *clock, GstClockTime baseTime, bool running)
{
    const bool ran = camera->call([&](CameraInterface *cam) {
        QMutexLocker hold(cam->frameMutex());
        cam->isRunning = running;
        frames->play(clock, baseTime);
    });
    if (!ran)
        frames->play(clock, baseTime);
}

void SourceCamera::pause()
{
    const bool ran = camera->call([&](CameraInterface *cam) {
        QMutexLocker hold(cam->frameMutex());
        cam->isRunning = false;
        frames->pause();
    });
    if (!ran)
        frames->pause();
}

void SourceCamera::setRunning(bool running)
{
    camera->call([&](CameraInterface *cam) {
        QMutexLocker hold(cam->frameMutex());
        if (frames->isPlaying())
            cam->isRunning = running;
    });
}

void SourceCamera::setNumbering(const OpenOptions &o)
{
    camera->call([&](CameraInterface *cam) {
        CameraTrigParams trig = numberingOf(o);
        cam->setTrigParams(&trig);
    });
}

int SourceCamera::selectExposure(int index)
{
    int status = -1;
    camera->call([&](CameraInterface *cam) { status = cam->selectExposure(index); });
    return status;
}

bool SourceCamera::withCamera(const std::function<void(CameraInterface *)> &f)
{
    return camera->call(f);
}
