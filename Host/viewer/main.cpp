// vandrel-viewer: shows the Vandrel plug-in's cameras live and edits their
// parameters, loading the plug-in the way a host application does.

#include "camerasession.h"
#include "camerasignals.h"
#include "exitstatus.h"
#include "pluginhost.h"
#include "screenshot.h"
#include "secondsoption.h"
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

// The command line, the same for the window and for --help.
struct ViewerOptions
{
    QCommandLineOption pluginDir = PluginHost::pluginDirOption();
    QCommandLineOption simConfig = PluginHost::simConfigOption();
    QCommandLineOption settings{QStringLiteral("settings"),
                                QStringLiteral("Camera settings to load when a camera is opened."),
                                QStringLiteral("FILE")};
    QCommandLineOption camera{QStringLiteral("camera"), QStringLiteral("Camera to open at start; repeat for more."),
                              QStringLiteral("SERIAL")};
    QCommandLineOption strip{QStringLiteral("strip"), QStringLiteral("Start the views in strip mode.")};
    QCommandLineOption running{QStringLiteral("running"),
                               QStringLiteral("Start the cameras in numbered production capture, not preview.")};
    QCommandLineOption expert{QStringLiteral("expert"), QStringLiteral("Start the editor at the expert level.")};
    QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                  QStringLiteral("Save the main window as PNG once every opened camera has "
                                                 "shown --after-frames frames (or lost its link), then exit."),
                                  QStringLiteral("FILE")};
    QCommandLineOption afterFrames{QStringLiteral("after-frames"),
                                   QStringLiteral("Frames each camera shows before the screenshot (default 3)."),
                                   QStringLiteral("N"), QStringLiteral("3")};
    QCommandLineOption deadline{QStringLiteral("deadline"), QStringLiteral("Seconds to wait for those frames (default 30)."),
                                QStringLiteral("S"), QStringLiteral("30")};
    QCommandLineOption checkLayout{QStringLiteral("check-layout"),
                                   QStringLiteral("With --screenshot: fail when a text of the window is cut without "
                                                  "\"…\", widgets overlap, a panel scrolls sideways or hides what must "
                                                  "stay in view, or a toolbar action is in no menu; every panel behind "
                                                  "a tab is checked and pictured as FILE-panel.png.")};
    QCommandLineOption retryInterval{QStringLiteral("retry-interval"),
                                     QStringLiteral("While a camera's link is lost or stalled, reopen it every S "
                                                    "seconds (default: the driver's own 30 s retry)."),
                                     QStringLiteral("S")};
    QCommandLineOption stallAfter{QStringLiteral("stall-after"),
                                  QStringLiteral("Report a free-running camera that sends no frame for S seconds "
                                                 "as stalled (default 5; 0: never)."),
                                  QStringLiteral("S")};
    QCommandLineOption verbose{QStringLiteral("verbose"), QStringLiteral("Show the driver's debug messages.")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.setApplicationDescription(QString::fromUtf8(kDescription));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({pluginDir, simConfig, settings, camera, strip, running, expert, retryInterval, stallAfter,
                           screenshot, afterFrames, deadline, checkLayout, verbose});
    }
};

// Answers --help, --version and options it cannot parse, which need no
// display; false for a command line that goes on to the window.
bool answeredWithoutDisplay(QCoreApplication &app, int &status)
{
    QCommandLineParser parser;
    const ViewerOptions o;
    o.addTo(parser);
    if (!parser.parse(app.arguments())) {
        status = fail(ExitBadOptions, parser.errorText());
        return true;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        status = ExitOk;
        return true;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("vandrel-viewer %s\n", qPrintable(app.applicationVersion()));
        status = ExitOk;
        return true;
    }
    return false;
}

int run(QApplication &app)
{
    QCommandLineParser parser;
    const ViewerOptions options;
    options.addTo(parser);
    const QCommandLineOption &pluginDir = options.pluginDir;
    const QCommandLineOption &simConfig = options.simConfig;
    const QCommandLineOption &settings = options.settings;
    const QCommandLineOption &camera = options.camera;
    const QCommandLineOption &strip = options.strip;
    const QCommandLineOption &running = options.running;
    const QCommandLineOption &expert = options.expert;
    const QCommandLineOption &screenshot = options.screenshot;
    const QCommandLineOption &afterFrames = options.afterFrames;
    const QCommandLineOption &deadline = options.deadline;
    const QCommandLineOption &checkLayout = options.checkLayout;
    const QCommandLineOption &verbose = options.verbose;
    if (!parser.parse(app.arguments()))
        return fail(ExitBadOptions, parser.errorText());
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
    LinkKeeper::Policy policy{0, 5000};
    QString why;
    if (!parseSecondsOption(parser, options.retryInterval, policy.retryIntervalMs, why)
        || !parseSecondsOption(parser, options.stallAfter, policy.stallAfterMs, why))
        return fail(ExitBadOptions, why);
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
    window.setLinkPolicy(policy);
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
            if (CameraSession *s = window.session(serial))
                s->setReplayEnded(played >= 0);
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

bool haveDisplay()
{
    // Without a platform named, Qt's default needs an X or Wayland display.
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY")
           || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char **argv)
{
    {
        // Before the GUI: its platform would abort the program without a display.
        QCoreApplication plain(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("vandrel-viewer"));
        QCoreApplication::setApplicationVersion(QStringLiteral(VANDREL_VIEWER_VERSION));
        int status = ExitOk;
        if (answeredWithoutDisplay(plain, status))
            return status;
        if (!haveDisplay())
            return fail(ExitFailure, QStringLiteral("no display to show the window on: neither DISPLAY nor "
                                                    "WAYLAND_DISPLAY is set (for a screenshot without one, "
                                                    "QT_QPA_PLATFORM=offscreen)"));
    }
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
