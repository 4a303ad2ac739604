#include "camerasession.h"

#include "pluginhost.h"
#include "settingsfile.h"
#include "simulatorstate.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMap>
#include <QMutexLocker>

#include <algorithm>

namespace {

// How often a wait for frames looks for link events meanwhile.
constexpr std::chrono::milliseconds kEventPoll(20);

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

} // namespace

std::unique_ptr<CameraSession> CameraSession::open(const OpenOptions &o, OpenFailure &failure, QString &error)
{
    failure = OpenFailure::None;
    auto fail = [&](OpenFailure kind, const QString &why) {
        failure = kind;
        error = why;
        return nullptr;
    };
    std::unique_ptr<CameraSession> s(new CameraSession);
    const bool ownApplication = !QCoreApplication::instance();
    RuntimeFailure rf;
    s->runtime = CameraRuntime::start(o.pluginDir, rf);
    if (!s->runtime)
        return fail(failureOf(rf), rf.reason);
    // On the runtime's thread, like everything of Qt here: the first thread to
    // use Qt becomes its main thread. The simulator reads the configuration
    // at its first enumeration, which comes after this.
    bool simConfigured = true;
    if (!o.simConfig.isEmpty())
        s->runtime->call([&] { simConfigured = applySimConfig(o.simConfig, error); });
    if (!simConfigured)
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
    if (o.settingsFile.isEmpty())   // a replayed recording's own settings
        settings = SimulatorState::recordedSettings(QStringList{serial});

    s->camera = s->runtime->open(serial, std::max(1, o.queueCapacity), rf);
    if (!s->camera)
        return fail(failureOf(rf), rf.reason);
    // Numbering and grouping are in place before acquisition starts, so that
    // the first frame is numbered like the rest.
    s->camera->call([&](CameraInterface *cam) {
        CameraTrigParams trig;
        trig.trigKind = 1;  // numbered by this grouping, not frozen to soft triggers
        trig.capturesPerProduct = std::max(1, o.capturesPerProduct);
        trig.productsPerCycle = std::max(1, o.productsPerCycle);
        trig.cycleTimeout = o.cycleTimeout;
        cam->setTrigParams(&trig);
    });
    s->camera->setRunning(o.running);
    if (!s->camera->load(settings.value(serial), rf))
        return fail(failureOf(rf), rf.reason);

    int exposureStatus = 0;
    if (o.exposure >= 0)
        s->camera->call([&](CameraInterface *cam) { exposureStatus = cam->selectExposure(o.exposure); });
    if (exposureStatus == -1)
        return fail(OpenFailure::BadOption,
                    QStringLiteral("camera %1 has no exposure configuration %2").arg(serial).arg(o.exposure));
    if (exposureStatus != 0)
        return fail(OpenFailure::BadOption, QStringLiteral("camera %1 refused exposure configuration %2 (status %3)")
                                                .arg(serial)
                                                .arg(o.exposure)
                                                .arg(exposureStatus));
    return s;
}

CameraSession::~CameraSession()
{
    if (camera)
        camera->close();
    camera.reset();
    // The runtime's thread of a process without a Qt application stays for
    // the next camera.
    runtime.reset();
}

CameraSession::Wait CameraSession::wait(std::chrono::nanoseconds timeout, CameraFrame &frame, LinkEvent &event)
{
    using clock = std::chrono::steady_clock;
    const bool unbounded = timeout.count() < 0;
    const clock::time_point deadline = unbounded ? clock::time_point::max() : clock::now() + timeout;
    int slicesEnded = 0;   // with no frame since a replayed recording ended
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
        switch (camera->nextFrame(frame.data, int(slice.count()))) {
        case WaitResult::Ready:
            // Frames dropped from the full queue were older than this one.
            frame.number = taken++ + camera->dropped();
            frame.arrival = clock::now();
            return Wait::Frame;
        case WaitResult::Interrupted:
        case WaitResult::Closed:
            return Wait::Woken;
        case WaitResult::TimedOut:
            if ((endedAfter = SimulatorState::recordingEndedAfter(camera->serial())) >= 0 && ++slicesEnded >= 2)
                return Wait::Ended;
            break;
        }
        if (!unbounded && clock::now() >= deadline)
            return Wait::Timeout;
    }
}

void CameraSession::wake()
{
    camera->interrupt();
}

void CameraSession::clearWake()
{
    camera->resume();
}

QString CameraSession::serial() const
{
    return camera->serial();
}

QString CameraSession::pluginFile() const
{
    return runtime->pluginFile();
}

std::uint64_t CameraSession::dropped() const
{
    return camera->dropped();
}

bool CameraSession::continuous()
{
    bool result = true;
    camera->call([&](CameraInterface *cam) { result = cam->isContinueCapture(); });
    return result;
}

void CameraSession::softTrigger(int product, int capture)
{
    camera->call([&](CameraInterface *cam) { cam->softTrigger(product, capture, std::function<void()>()); });
}

bool CameraSession::withCamera(const std::function<void(CameraInterface *)> &f)
{
    return camera->call(f);
}
