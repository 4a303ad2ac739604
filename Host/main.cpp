// vandrel-host: runs the Vandrel camera plug-in from the command line, the
// way a host application does.

#include "camerainterface.h"
#include "camerasignals.h"
#include "exitstatus.h"
#include "grabsession.h"
#include "paramtable.h"
#include "pluginhost.h"
#include "settingsfile.h"
#include "textout.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include <exception>

namespace {

const char *const kDescription =
    "Runs the Vandrel line-scan camera plug-in as a host application does.\n"
    "\n"
    "Commands:\n"
    "  info            the plug-in's identity\n"
    "  list            serial numbers of the VD-XG cameras and the SDK's device count\n"
    "  params [SERIAL] the parameter descriptors of a camera (default: the first)\n"
    "  grab            acquire frames from the cameras\n"
    "\n"
    "Exit status: 0 success, 1 run-time failure, 2 bad options, 3 plug-in missing or unusable,\n"
    "4 no camera or a camera that cannot be opened, 5 unreadable settings file,\n"
    "130 grab interrupted (Ctrl-C).";

// Ctrl-C and SIGTERM reach the event loop through a socket pair, the one
// thing a signal handler may safely do.
int signalFds[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalFds[0], &c, 1);
    // A second Ctrl-C ends the process at once.
    std::signal(SIGINT, SIG_DFL);
}

// While a grab draws live progress lines, log lines from any thread are
// handed to it so that they do not tear the lines apart.
QMutex logSinkMutex;
GrabSession *logSink = nullptr;

void logHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QString line = qFormatLogMessage(type, context, message);
    if (type != QtFatalMsg) {
        QMutexLocker lock(&logSinkMutex);
        if (GrabSession *sink = logSink) {
            QMetaObject::invokeMethod(sink, [sink, line] { sink->printLog(line); }, Qt::QueuedConnection);
            return;
        }
    }
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

void setLogSink(GrabSession *session)
{
    QMutexLocker lock(&logSinkMutex);
    logSink = session;
}

int fail(int status, const QString &reason)
{
    stdErr().stream() << "vandrel-host: " << reason << '\n';
    stdErr().flush();
    return status;
}

void printJson(const QJsonDocument &doc)
{
    stdOut().stream() << doc.toJson(QJsonDocument::Indented);
    stdOut().flush();
}

bool parseInt(const QCommandLineParser &p, const QCommandLineOption &o, int min, int &target, QString &error)
{
    if (!p.isSet(o))
        return true;
    bool ok = false;
    const int v = p.value(o).toInt(&ok);
    if (!ok || v < min) {
        error = QStringLiteral("--%1 needs a whole number of at least %2, not \"%3\"")
                    .arg(o.names().constFirst())
                    .arg(min)
                    .arg(p.value(o));
        return false;
    }
    target = v;
    return true;
}

class HostApp
{
public:
    int main(QCoreApplication &app);

private:
    int info();
    int list();
    int params(const QString &serial);
    // Enumerates; fails with ExitNoCamera when the family has no camera.
    bool enumerate(QVector<QString> &serials, int &count, QString &error);

    QCommandLineParser parser;
    PluginHost host;
    bool json = false;

    QCommandLineOption pluginDir{QStringLiteral("plugin-dir"),
                                 QStringLiteral("Directory of libVandrel.so (default: %1).")
                                     .arg(PluginHost::defaultPluginDir()),
                                 QStringLiteral("DIR")};
    QCommandLineOption simConfig{QStringLiteral("sim-config"),
                                 QStringLiteral("Configuration of the simulated cameras for this run."),
                                 QStringLiteral("FILE")};
    QCommandLineOption jsonOpt{QStringLiteral("json"), QStringLiteral("Machine-readable output on stdout.")};
    QCommandLineOption verbose{QStringLiteral("verbose"), QStringLiteral("Show the driver's debug messages.")};
    QCommandLineOption camera{QStringLiteral("camera"),
                              QStringLiteral("grab: camera to use; repeat for more (default: all listed)."),
                              QStringLiteral("SERIAL")};
    QCommandLineOption frames{QStringLiteral("frames"), QStringLiteral("grab: stop after N frames of each camera."),
                              QStringLiteral("N")};
    QCommandLineOption seconds{QStringLiteral("seconds"), QStringLiteral("grab: stop after S seconds."),
                               QStringLiteral("S")};
    QCommandLineOption settings{QStringLiteral("settings"),
                                QStringLiteral("grab, params: load camera settings from this JSON file."),
                                QStringLiteral("FILE")};
    QCommandLineOption saveSettings{QStringLiteral("save-settings"),
                                    QStringLiteral("grab: write each camera's settings to this JSON file on exit."),
                                    QStringLiteral("FILE")};
    QCommandLineOption exposure{QStringLiteral("exposure"),
                                QStringLiteral("grab: select exposure configuration INDEX."),
                                QStringLiteral("INDEX")};
    QCommandLineOption capturesPerProduct{QStringLiteral("captures-per-product"),
                                          QStringLiteral("grab: frames that make one product."),
                                          QStringLiteral("N")};
    QCommandLineOption productsPerCycle{QStringLiteral("products-per-cycle"),
                                        QStringLiteral("grab: products that make one product cycle."),
                                        QStringLiteral("N")};
    QCommandLineOption cycleTimeout{QStringLiteral("cycle-timeout"),
                                    QStringLiteral("grab: time-out of an unfinished product or cycle (0: none)."),
                                    QStringLiteral("MS")};
    QCommandLineOption preview{QStringLiteral("preview"),
                               QStringLiteral("grab: leave the camera in preview (no numbering, frames thinned "
                                              "to one per 50 ms).")};
    QCommandLineOption saveDir{QStringLiteral("save-dir"),
                               QStringLiteral("grab: write frames as PNG and a contact sheet into DIR."),
                               QStringLiteral("DIR")};
    QCommandLineOption every{QStringLiteral("every"), QStringLiteral("grab: save every K-th frame (default 1)."),
                             QStringLiteral("K")};
};

int HostApp::main(QCoreApplication &app)
{
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({pluginDir, simConfig, jsonOpt, verbose, camera, frames, seconds, settings, saveSettings,
                       exposure, capturesPerProduct, productsPerCycle, cycleTimeout, preview, saveDir, every});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("info, list, params or grab."),
                                 QStringLiteral("command [SERIAL]"));
    if (!parser.parse(app.arguments()))
        return fail(ExitBadOptions, parser.errorText());
    if (parser.isSet(help)) {
        stdOut().stream() << parser.helpText();
        return ExitOk;
    }
    if (parser.isSet(version)) {
        stdOut().stream() << "vandrel-host " << app.applicationVersion() << '\n';
        return ExitOk;
    }
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return fail(ExitBadOptions, QStringLiteral("no command given (info, list, params or grab; see --help)"));
    const QString command = args.constFirst();
    static const QSet<QString> commands = {QStringLiteral("info"), QStringLiteral("list"), QStringLiteral("params"),
                                           QStringLiteral("grab")};
    if (!commands.contains(command))
        return fail(ExitBadOptions, QStringLiteral("unknown command \"%1\" (info, list, params or grab)").arg(command));
    if (args.size() > (command == QLatin1String("params") ? 2 : 1))
        return fail(ExitBadOptions, QStringLiteral("unexpected argument \"%1\"").arg(args.last()));

    // Options that belong to another command are mistakes, not no-ops.
    const QList<const QCommandLineOption *> grabOnly = {&camera,   &frames,           &seconds,
                                                        &saveSettings, &exposure,     &capturesPerProduct,
                                                        &productsPerCycle, &cycleTimeout, &preview,
                                                        &saveDir,  &every};
    for (const QCommandLineOption *o : grabOnly)
        if (command != QLatin1String("grab") && parser.isSet(*o))
            return fail(ExitBadOptions, QStringLiteral("--%1 applies to grab only").arg(o->names().constFirst()));
    if (parser.isSet(settings) && command != QLatin1String("grab") && command != QLatin1String("params"))
        return fail(ExitBadOptions, QStringLiteral("--settings applies to grab and params only"));

    json = parser.isSet(jsonOpt);
    // The driver logs a debug line per frame.
    if (!parser.isSet(verbose))
        QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false"));

    // Options are checked before anything is loaded, so a typo costs nothing.
    GrabOptions g;
    if (command == QLatin1String("grab")) {
        QString error;
        if (!parseInt(parser, frames, 1, g.frames, error) || !parseInt(parser, exposure, 0, g.exposure, error)
            || !parseInt(parser, capturesPerProduct, 1, g.capturesPerProduct, error)
            || !parseInt(parser, productsPerCycle, 1, g.productsPerCycle, error)
            || !parseInt(parser, cycleTimeout, 0, g.cycleTimeout, error) || !parseInt(parser, every, 1, g.every, error))
            return fail(ExitBadOptions, error);
        if (parser.isSet(seconds)) {
            bool ok = false;
            g.seconds = parser.value(seconds).toDouble(&ok);
            if (!ok || !(g.seconds > 0) || g.seconds > 1e6)
                return fail(ExitBadOptions,
                            QStringLiteral("--seconds needs a positive number, not \"%1\"").arg(parser.value(seconds)));
        }
        if (!parser.isSet(frames) && !parser.isSet(seconds))
            g.frames = 10;
        if (parser.isSet(every) && !parser.isSet(saveDir))
            return fail(ExitBadOptions, QStringLiteral("--every needs --save-dir"));
        g.setTrigger = parser.isSet(capturesPerProduct) || parser.isSet(productsPerCycle) || parser.isSet(cycleTimeout);
        g.preview = parser.isSet(preview);
        g.saveDir = parser.value(saveDir);
        g.saveSettings = parser.value(saveSettings);
        g.json = json;
    }

    if (parser.isSet(simConfig)) {
        QString error;
        if (!applySimConfig(parser.value(simConfig), error))
            return fail(ExitBadOptions, error);
    }
    {
        QString error;
        const QString dir = parser.isSet(pluginDir) ? parser.value(pluginDir) : PluginHost::defaultPluginDir();
        if (!host.load(dir, error))
            return fail(ExitNoPlugin, error);
    }

    if (command == QLatin1String("info"))
        return info();
    if (command == QLatin1String("list"))
        return list();
    if (command == QLatin1String("params"))
        return params(args.size() > 1 ? args.at(1) : QString());

    QVector<QString> found;
    int count = 0;
    QString error;
    if (!enumerate(found, count, error))
        return fail(ExitNoCamera, error);
    g.serials = parser.values(camera);
    for (const QString &s : qAsConst(g.serials))
        if (!found.contains(s))
            return fail(ExitNoCamera, QStringLiteral("no camera %1 (cameras: %2)").arg(s, QStringList(found.toList()).join(QStringLiteral(", "))));
    if (g.serials.isEmpty())
        g.serials = QStringList(found.toList());
    g.serials.removeDuplicates();
    if (parser.isSet(settings) && !readSettingsFile(parser.value(settings), g.serials, g.settings, error))
        return fail(ExitBadSettings, error);

    TextOut &human = json ? stdErr() : stdOut();
    GrabSession session(host.plugin(), g, human.stream());
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalFds) == 0) {
        auto *notifier = new QSocketNotifier(signalFds[1], QSocketNotifier::Read, &session);
        QObject::connect(notifier, &QSocketNotifier::activated, &session, [&session] {
            char c;
            [[maybe_unused]] const ssize_t n = ::read(signalFds[1], &c, 1);
            session.requestStop(QStringLiteral("interrupted"));
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    if (session.drawsProgress())
        setLogSink(&session);
    const int status = session.run();
    setLogSink(nullptr);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (status != ExitOk && status != 130)
        return fail(status, session.error());
    return status;
}

bool HostApp::enumerate(QVector<QString> &serials, int &count, QString &error)
{
    count = 0;
    serials = host.plugin()->enumerateCameras(count);
    if (serials.isEmpty()) {
        error = QStringLiteral("no VD-XG camera found (the SDK reports %1 device(s))").arg(count);
        return false;
    }
    return true;
}

int HostApp::info()
{
    CameraInterface *p = host.plugin();
    const QJsonObject meta = host.metaData();
    if (json) {
        QJsonObject o{{QStringLiteral("file"), host.filePath()},
                      {QStringLiteral("metadataIID"), meta.value(QStringLiteral("IID"))},
                      {QStringLiteral("className"), meta.value(QStringLiteral("className"))},
                      {QStringLiteral("interfaceIID"), QStringLiteral(CameraInterface_iid)},
                      {QStringLiteral("pluginIID"), p->pluginIID()},
                      {QStringLiteral("name"), p->pluginName()},
                      {QStringLiteral("version"), p->pluginVersion()},
                      {QStringLiteral("description"), p->pluginDescription()}};
        printJson(QJsonDocument(o));
        return ExitOk;
    }
    QTextStream &out = stdOut().stream();
    out << "file:          " << host.filePath() << '\n'
        << "metadata IID:  " << meta.value(QStringLiteral("IID")).toString() << '\n'
        << "class:         " << meta.value(QStringLiteral("className")).toString() << '\n'
        << "interface IID: " << CameraInterface_iid << '\n'
        << "plug-in IID:   " << p->pluginIID() << '\n'
        << "name:          " << p->pluginName() << '\n'
        << "version:       " << p->pluginVersion() << '\n'
        << "description:   " << p->pluginDescription() << '\n';
    out.flush();
    return ExitOk;
}

int HostApp::list()
{
    int count = 0;
    const QVector<QString> serials = host.plugin()->enumerateCameras(count);
    if (json) {
        QJsonArray a;
        for (const QString &s : serials)
            a.append(s);
        printJson(QJsonDocument(QJsonObject{{QStringLiteral("deviceCount"), count}, {QStringLiteral("cameras"), a}}));
    } else {
        QTextStream &out = stdOut().stream();
        out << "SDK devices: " << count << '\n' << "VD-XG cameras: " << serials.size() << '\n';
        for (const QString &s : serials)
            out << "  " << s << '\n';
        out.flush();
    }
    if (serials.isEmpty())
        return fail(ExitNoCamera, QStringLiteral("no VD-XG camera found (the SDK reports %1 device(s))").arg(count));
    return ExitOk;
}

int HostApp::params(const QString &requested)
{
    QVector<QString> found;
    int count = 0;
    QString error;
    if (!enumerate(found, count, error))
        return fail(ExitNoCamera, error);
    const QString serial = requested.isEmpty() ? found.constFirst() : requested;
    if (!found.contains(serial))
        return fail(ExitNoCamera, QStringLiteral("no camera %1 (cameras: %2)").arg(serial, QStringList(found.toList()).join(QStringLiteral(", "))));
    QMap<QString, QJsonObject> loaded;
    if (parser.isSet(settings) && !readSettingsFile(parser.value(settings), {serial}, loaded, error))
        return fail(ExitBadSettings, error);

    CameraInterface *cam = host.plugin()->createCamera(0, serial, 0);
    if (!cam)
        return fail(ExitNoCamera, QStringLiteral("the plug-in created no camera for %1").arg(serial));
    if (cam->cameraSerial() == QLatin1String("-1")) {
        delete cam;
        return fail(ExitNoCamera, QStringLiteral("camera %1 could not be opened").arg(serial));
    }
    if (parser.isSet(settings))
        cam->load(loaded.value(serial));
    const QVector<ParamWrap *> *list = cam->pluginParams();
    const QVector<ParamWrap *> descriptors = list ? *list : QVector<ParamWrap *>();
    if (json) {
        printJson(QJsonDocument(QJsonObject{{QStringLiteral("serial"), serial},
                                            {QStringLiteral("params"), paramsToJson(descriptors)}}));
    } else {
        stdOut().stream() << "Camera " << serial << ": " << descriptors.size() << " parameters\n";
        printParamTable(describeParams(descriptors), stdOut().stream());
        stdOut().flush();
    }
    delete cam;
    return ExitOk;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(logHandler);
    QCoreApplication::setApplicationName(QStringLiteral("vandrel-host"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANDREL_HOST_VERSION));
    // Frames cross from the SDK's threads to the main thread by value.
    registerContractTypes();
    try {
        HostApp host;
        const int status = host.main(app);
        stdOut().flush();
        stdErr().flush();
        return status;
    } catch (const std::exception &e) {
        return fail(ExitFailure, QStringLiteral("unexpected failure: %1").arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        return fail(ExitFailure, QStringLiteral("unexpected failure"));
    }
}
