// vandrel-viewer: shows the Vandrel plug-in's cameras live and edits their
// parameters, loading the plug-in the way a host application does.

#include "camerasession.h"
#include "camerasignals.h"
#include "exitstatus.h"
#include "pluginhost.h"
#include "screenshot.h"
#include "settingsfile.h"
#include "simulatorstate.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QTimer>

#include <cstdio>
#include <exception>

namespace {

const char *const kDescription =
    "Shows the cameras of the Vandrel line-scan plug-in live and edits their parameters.\n"
    "\n"
    "Exit status: 0 success, 1 run-time failure (no screenshot), 2 bad options, 3 plug-in missing\n"
    "or unusable, 4 a camera that cannot be opened, 5 unreadable settings file. In a window, a\n"
    "plug-in, camera or settings problem is shown there and the viewer keeps running.";

int fail(int status, const QString &reason)
{
    std::fprintf(stderr, "vandrel-viewer: %s\n", reason.toUtf8().constData());
    std::fflush(stderr);
    return status;
}

int run(QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption pluginDir = PluginHost::pluginDirOption();
    const QCommandLineOption simConfig = PluginHost::simConfigOption();
    const QCommandLineOption settings(QStringLiteral("settings"),
                                      QStringLiteral("Camera settings to load when a camera is opened."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption camera(QStringLiteral("camera"),
                                    QStringLiteral("Camera to open at start; repeat for more."),
                                    QStringLiteral("SERIAL"));
    const QCommandLineOption strip(QStringLiteral("strip"), QStringLiteral("Start the views in strip mode."));
    const QCommandLineOption running(QStringLiteral("running"),
                                     QStringLiteral("Start the cameras in numbered production capture, not preview."));
    const QCommandLineOption expert(QStringLiteral("expert"), QStringLiteral("Start the editor at the expert level."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save the main window as PNG once every opened camera has "
                                                       "shown --after-frames frames, then exit."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption afterFrames(QStringLiteral("after-frames"),
                                         QStringLiteral("Frames each camera shows before the screenshot (default 3)."),
                                         QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption deadline(QStringLiteral("deadline"),
                                      QStringLiteral("Seconds to wait for those frames (default 30)."),
                                      QStringLiteral("S"), QStringLiteral("30"));
    const QCommandLineOption checkLayout(QStringLiteral("check-layout"),
                                         QStringLiteral("With --screenshot: fail when a text of the window is cut "
                                                        "without \"…\" or widgets overlap."));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Show the driver's debug messages."));
    parser.addOptions({pluginDir, simConfig, settings, camera, strip, running, expert, screenshot, afterFrames,
                       deadline, checkLayout, verbose});
    if (!parser.parse(app.arguments()))
        return fail(ExitBadOptions, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return ExitOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("vandrel-viewer %s\n", qPrintable(app.applicationVersion()));
        return ExitOk;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(ExitBadOptions,
                    QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst()));
    bool ok = false;
    const int frames = parser.value(afterFrames).toInt(&ok);
    if (!ok || frames < 1)
        return fail(ExitBadOptions, QStringLiteral("--after-frames needs a whole number of at least 1, not \"%1\"")
                                        .arg(parser.value(afterFrames)));
    const double seconds = parser.value(deadline).toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 86400)
        return fail(ExitBadOptions,
                    QStringLiteral("--deadline needs a positive number of seconds, not \"%1\"").arg(parser.value(deadline)));
    if ((parser.isSet(afterFrames) || parser.isSet(deadline) || parser.isSet(checkLayout)) && !parser.isSet(screenshot))
        return fail(ExitBadOptions, QStringLiteral("--after-frames, --deadline and --check-layout go with --screenshot"));
    const bool unattended = parser.isSet(screenshot);
    // The driver logs a debug line per frame.
    if (!parser.isSet(verbose))
        QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false"));

    // Problems are reported on stderr; with a window they are shown there too
    // and the person decides, unattended they end the run.
    QString simError;
    if (parser.isSet(simConfig) && !applySimConfig(parser.value(simConfig), simError))
        return fail(ExitBadOptions, simError);

    PluginHost host;
    QString pluginError;
    const QString dir = parser.isSet(pluginDir) ? parser.value(pluginDir) : PluginHost::defaultPluginDir();
    if (!host.load(dir, pluginError)) {
        if (unattended)
            return fail(ExitNoPlugin, pluginError);
        fail(ExitNoPlugin, pluginError);
    }

    ViewerWindow window(host.plugin());
    if (!pluginError.isEmpty())
        window.setPluginError(pluginError);
    // A configuration the simulator could not use left it without cameras.
    if (const QString problem = SimulatorState::configurationProblem(); !problem.isEmpty()) {
        if (unattended)
            return fail(ExitBadOptions, problem);
        fail(ExitBadOptions, problem);
        window.showMessage(problem, true);
    }
    window.setStripModeForNewViews(parser.isSet(strip));
    if (parser.isSet(expert))
        window.setExpertLevel(true);

    if (parser.isSet(settings)) {
        QStringList serials = window.listedSerials();
        for (const QString &s : parser.values(camera))
            if (!serials.contains(s))
                serials << s;
        QMap<QString, QJsonObject> read;
        QString error;
        if (!readSettingsFile(parser.value(settings), serials, read, error)) {
            if (unattended)
                return fail(ExitBadSettings, error);
            fail(ExitBadSettings, error);
            window.showMessage(QStringLiteral("%1; cameras open with their defaults").arg(error), true);
        }
        window.setStartupSettings(read);
    } else {   // a replayed recording's own settings
        window.setStartupSettings(SimulatorState::recordedSettings(window.listedSerials() + parser.values(camera)));
    }
    // A replayed recording that ends says so, once each time it plays.
    QTimer recordingWatch;
    QStringList ended;
    QObject::connect(&recordingWatch, &QTimer::timeout, &window, [&] {
        for (const QString &serial : window.listedSerials()) {
            const int played = SimulatorState::recordingEndedAfter(serial);
            if (played < 0)
                ended.removeAll(serial);
            else if (!ended.contains(serial)) {
                ended << serial;
                window.showMessage(SimulatorState::recordingEndedText(serial, played), false);
            }
        }
    });
    recordingWatch.start(500);

    QStringList wanted = parser.values(camera);
    wanted.removeDuplicates();
    for (const QString &serial : qAsConst(wanted)) {
        QString error;
        if (!host.plugin()) {
            break;
        } else if (!window.listedSerials().contains(serial)) {
            error = QStringLiteral("no camera %1 (cameras: %2)")
                        .arg(serial, window.listedSerials().join(QStringLiteral(", ")));
        } else if (CameraSession *s = window.openCamera(serial, error)) {
            s->setRunning(parser.isSet(running));
            continue;
        }
        if (unattended)
            return fail(ExitNoCamera, error);
        fail(ExitNoCamera, error);
        window.showMessage(error, true);
    }

    if (!wanted.isEmpty())
        window.selectCamera(wanted.constFirst());
    window.fitToScreen();
    window.show();
    ScreenshotTaker taker(&window, parser.value(screenshot), frames, int(seconds * 1000));
    taker.setCheckLayout(parser.isSet(checkLayout));
    if (unattended)
        taker.start();
    const int status = app.exec();
    window.closeAllCameras();
    if (unattended && status != ExitOk)
        return fail(status, taker.reason());
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vandrel-viewer"));
    QApplication::setApplicationVersion(QStringLiteral(VANDREL_VIEWER_VERSION));
    registerContractTypes();
    try {
        return run(app);
    } catch (const std::exception &e) {
        return fail(ExitFailure, QStringLiteral("unexpected failure: %1").arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        return fail(ExitFailure, QStringLiteral("unexpected failure"));
    }
}
