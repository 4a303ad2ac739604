#include "grabsession.h"

#include "camerachannel.h"
#include "camerasignals.h"
#include "exitstatus.h"
#include "grabreport.h"
#include "paramsets.h"
#include "settingsfile.h"
#include "settingsload.h"
#include "simulatorstate.h"
#include "textout.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QJsonDocument>
#include <QMap>
#include <QMutexLocker>
#include <QTimer>

GrabSession::GrabSession(CameraInterface *p, const GrabOptions &o, TextOut &humanOut)
    : plugin(p), opts(o), human(humanOut), writer(o.saveDir, o.every), progressLines(humanOut, channels, clock)
{
}

GrabSession::~GrabSession()
{
    tearDown();
}

int GrabSession::setUp()
{
    if (!writer.createDirectory(failure))
        return ExitFailure;
    if (!opts.recordDir.isEmpty()) {
        recorder = std::make_unique<FrameRecorder>(opts.recordDir, opts.recordQueue);
        // Lets a test see the drops of a writer slower than the cameras.
        recorder->setWriteDelayMs(qEnvironmentVariableIntValue("VANDREL_RECORD_DELAY_MS"));
        if (!recorder->start(failure))
            return ExitFailure;
    }
    for (int i = 0; i < opts.serials.size(); ++i) {
        const QString serial = opts.serials.at(i);
        CameraInterface *cam = plugin->createCamera(i, serial, 0);
        if (!cam) {
            failure = QStringLiteral("the plug-in created no camera for %1").arg(serial);
            return ExitNoCamera;
        }
        channels.push_back(std::make_unique<CameraChannel>(cam, serial, opts.frames, [this] { return clock.elapsed(); },
                                                           LinkKeeper::Policy{opts.retryIntervalMs, opts.stallAfterMs}));
        if (cam->cameraSerial() == QLatin1String("-1")) {
            failure = QStringLiteral("camera %1 could not be opened").arg(serial);
            return ExitNoCamera;
        }
    }
    for (auto &ch : channels) {
        const int status = configure(ch->camera(), ch->serial());
        if (status != ExitOk)
            return status;
        if (recorder) {   // beside the index, for a replay to load
            QJsonObject settings;
            ch->camera()->save(settings);
            if (!recorder->recordSettings(ch->serial(), settings, failure))
                return ExitFailure;
        }
    }
    CameraSlots wiring;
    wiring.frame = "onCapture(ImageProcessData)";
    wiring.loss = "onLoss()";
    wiring.reconnect = "onReconnect()";
    for (auto &ch : channels) {
        QString why;
        if (!connectCamera(ch->camera(), ch.get(), wiring, why)) {
            failure = QStringLiteral("cannot connect to the signals of camera %1: %2").arg(ch->serial(), why);
            return ExitFailure;
        }
        connect(ch.get(), &CameraChannel::frameCounted, this, &GrabSession::onFrameCounted);
        connect(ch.get(), &CameraChannel::linkChanged, this, &GrabSession::onLinkChanged);
    }
    clock.start();
    running = true;
    setCounting(true);
    connect(&recordingWatch, &QTimer::timeout, this, &GrabSession::watchRecordings);
    recordingWatch.start(200);
    for (auto &ch : channels)
        ch->started();
    if (!opts.preview) {
        for (auto &ch : channels) {
            // The frame thread reads the flag under this mutex.
            QMutexLocker lock(ch->camera()->frameMutex());
            ch->camera()->isRunning = true;
        }
    }
    return ExitOk;
}

int GrabSession::configure(CameraInterface *cam, const QString &serial)
{
    // With the exposure configuration count the settings were saved with, so
    // that every value lands in its own parameter.
    QString why;
    const bool given = opts.settings.contains(serial) || !opts.sets.isEmpty();
    SettingsLoad::ExposureSelection selection;
    if (!SettingsLoad::loadAndSelect(cam, opts.settings.value(serial), why, &selection)) {
        failure = QStringLiteral("settings of camera %1: %2").arg(serial, why);
        return ExitBadSettings;
    }
    if (!opts.sets.isEmpty()) {
        ParamSets sets{QStringLiteral("--set"), QStringLiteral("vandrel-host params lists them")};
        if (!sets.apply(cam, opts.sets, why)) {
            failure = why;
            return ExitBadOptions;
        }
        // The same --set for every camera: one warning each.
        for (const QString &w : sets.warnings)
            if (!warned.contains(w)) {
                warned.insert(w);
                warn(w);
            }
        // The colour choice and the exposure shown reach the camera.
        selection = SettingsLoad::apply(cam);
    }
    if (opts.exposure >= 0) {
        const int status = cam->selectExposure(opts.exposure);
        if (status == -1) {
            failure = QStringLiteral("--exposure %1: camera %2 has no such exposure configuration")
                          .arg(opts.exposure)
                          .arg(serial);
            return ExitBadOptions;
        }
        if (status != 0) {
            failure = QStringLiteral("camera %1 refused exposure configuration %2 (status %3)")
                          .arg(serial)
                          .arg(opts.exposure)
                          .arg(status);
            return ExitFailure;
        }
    } else if (given && selection.outcome != SettingsLoad::ExposureSelection::Selected) {
        // What the settings show is not what the camera runs with: say so.
        warn(selection.text(serial));
    }
    const QString colour = SettingsLoad::colourNote(cam);
    if (given && !colour.isEmpty())
        warn(colour);
    if (opts.setTrigger) {
        CameraTrigParams trig;
        trig.trigKind = 1;  // host-counted; 32 would freeze numbers to soft triggers
        trig.capturesPerProduct = opts.capturesPerProduct;
        trig.productsPerCycle = opts.productsPerCycle;
        trig.cycleTimeout = opts.cycleTimeout;
        cam->setTrigParams(&trig);
    }
    return ExitOk;
}

int GrabSession::run()
{
    const int status = setUp();
    if (status != ExitOk) {
        tearDown();
        return status;
    }
    QEventLoop loop;
    connect(this, &GrabSession::stopped, &loop, &QEventLoop::quit);
    if (opts.seconds > 0)
        QTimer::singleShot(int(opts.seconds * 1000.0), Qt::PreciseTimer, this,
                           [this] { requestStop(QStringLiteral("time")); });
    progressLines.start();
    loop.exec();
    runMs = clock.elapsed();
    progressLines.finish();
    tearDown();
    // Log lines of the teardown, queued to the progress lines, come before the report.
    QCoreApplication::sendPostedEvents(&progressLines, QEvent::MetaCall);
    // Every frame handed to the writers is on disk before the report.
    writer.waitForDone();
    if (recorder) {
        recorder->stop();
        recordMs = clock.elapsed();
    }
    saveContactSheet();
    if (opts.json)
        stdOut().lines() << QJsonDocument(summaryToJson(summary())).toJson(QJsonDocument::Indented);
    else
        printSummary(summary(), human.lines().stream());
    return exitStatus();
}

int GrabSession::exitStatus()
{
    if (!failure.isEmpty())
        return ExitFailure;
    if (stopReason == QLatin1String("interrupted"))
        return ExitInterrupted;
    for (auto &ch : channels) {
        if (ch->figures().frames == 0) {
            failure = QStringLiteral("camera %1 delivered no frame").arg(ch->serial());
            return ExitFailure;
        }
        if (recorder && recorder->counts(ch->serial()).failed > 0) {
            failure = QStringLiteral("%1 frame(s) of camera %2 could not be recorded: %3")
                          .arg(recorder->counts(ch->serial()).failed)
                          .arg(ch->serial(), recorder->firstError());
            return ExitFailure;
        }
        if (const int failed = writer.failed(ch->serial())) {
            failure = QStringLiteral("%1 frame(s) of camera %2 could not be written to %3")
                          .arg(failed)
                          .arg(ch->serial(), opts.saveDir);
            return ExitFailure;
        }
    }
    return ExitOk;
}

void GrabSession::tearDown()
{
    running = false;
    setCounting(false);
    if (channels.empty())
        return;
    QMap<QString, QJsonObject> perCamera;
    for (auto &ch : channels) {
        CameraInterface *cam = ch->camera();
        if (!cam)
            continue;
        {
            QMutexLocker lock(cam->frameMutex());
            cam->isRunning = false;
        }
        if (!opts.saveSettings.isEmpty() && cam->cameraSerial() != QLatin1String("-1")) {
            QJsonObject settings;
            cam->save(settings);
            perCamera.insert(ch->serial(), settings);
        }
    }
    // Cameras before anything else they may call back into.
    for (auto &ch : channels)
        ch->deleteCamera();
    if (!opts.saveSettings.isEmpty() && !perCamera.isEmpty()) {
        QString why;
        if (!writeSettingsFile(opts.saveSettings, perCamera, why))
            failure = why;
    }
    opts.saveSettings.clear();  // written once, also when torn down early
}

void GrabSession::requestStop(const QString &reason)
{
    if (!running)
        return;
    running = false;
    setCounting(false);
    stopReason = reason;
    emit stopped();
}

void GrabSession::watchRecordings()
{
    recordingSettled = recordingEnded.keys();
    for (auto &ch : channels) {
        if (recordingEnded.contains(ch->serial()))
            continue;
        const int played = SimulatorState::recordingEndedAfter(ch->serial());
        if (played < 0)
            continue;
        recordingEnded.insert(ch->serial(), played);
        progressLines.printEvent(SimulatorState::recordingEndedText(ch->serial(), played));
    }
    if (recordingSettled.isEmpty())
        return;
    for (auto &ch : channels)
        if (!ch->reachedLimit() && !recordingSettled.contains(ch->serial()))
            return;
    requestStop(QStringLiteral("recording ended"));
}

void GrabSession::setCounting(bool on)
{
    for (auto &ch : channels)
        ch->setCounting(on);
}

void GrabSession::onFrameCounted(CameraChannel *ch, const ImageProcessData &data)
{
    writer.offer(ch->serial(), ch->figures().frames, data.image);
    if (recorder)
        recorder->offer({ch->serial(), data.productID, data.captureIndex, data.productCycleIndex, data.captureTime,
                         data.image});
    if (opts.frames > 0) {
        bool all = true;
        for (auto &c : channels)
            all = all && c->reachedLimit();
        if (all)
            requestStop(QStringLiteral("frames"));
    }
}

void GrabSession::onLinkChanged(CameraChannel *ch, qint64 atMs, const QString &what)
{
    progressLines.printEvent(eventLine(QDateTime::currentDateTime(), atMs, ch->serial(), what));
}

void GrabSession::saveContactSheet()
{
    if (!writer.enabled())
        return;
    QVector<SheetColumn> columns;
    for (auto &ch : channels) {
        const ChannelFigures &f = ch->figures();
        SheetColumn col;
        col.title = QStringLiteral("%1  %2x%3x%4").arg(ch->serial()).arg(f.width).arg(f.height).arg(f.channels);
        col.frames = ch->recentFrames();
        columns.append(col);
    }
    QString why;
    contactSheetPath = writeContactSheet(columns, writer.directory(), why);
    if (!why.isEmpty())
        failure = why;
}

GrabSummary GrabSession::summary() const
{
    GrabSummary s;
    s.stopReason = stopReason;
    s.runMs = runMs;
    s.preview = opts.preview;
    s.savingFrames = writer.enabled();
    for (auto &ch : channels) {
        CameraSummary c{ch->serial(), ch->figures(), writer.saved(ch->serial()), writer.skipped(ch->serial())};
        if (recorder) {
            const FrameRecorder::Counts r = recorder->counts(ch->serial());
            c.recorded = r.recorded;
            c.recordDropped = r.dropped;
            c.recordFailed = r.failed;
        }
        c.recordingEnded = recordingEnded.value(ch->serial(), -1);
        s.cameras.append(c);
    }
    if (recorder) {
        s.recordDir = QDir(opts.recordDir).absolutePath();
        s.recordBytes = recorder->bytesWritten();
        s.recordMs = recordMs;
    }
    s.contactSheet = contactSheetPath;
    s.error = failure;
    return s;
}
