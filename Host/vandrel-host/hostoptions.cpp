#include "hostoptions.h"

#include "pluginhost.h"
#include "secondsoption.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QMap>

namespace {

const char *const kDescription =
    "Runs the Vandrel line-scan camera plug-in as a host application does.\n"
    "\n"
    "Commands:\n"
    "  info            the plug-in's identity\n"
    "  list            the VD-XG cameras (product, width, colour or mono) and the SDK's other devices\n"
    "  params [SERIAL] the parameter descriptors of a camera (default: the first)\n"
    "  grab            acquire frames from the cameras\n"
    "\n"
    "Exit status: 0 success, 1 run-time failure, 2 bad options, 3 plug-in missing or unusable,\n"
    "4 no camera or a camera that cannot be opened, 5 unreadable settings file,\n"
    "130 grab interrupted (Ctrl-C).";

CommandLine error(const QString &reason)
{
    CommandLine c;
    c.action = CommandLine::Action::Error;
    c.text = reason;
    return c;
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

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    const QCommandLineOption pluginDir = PluginHost::pluginDirOption();
    const QCommandLineOption simConfig = PluginHost::simConfigOption();
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Machine-readable output on stdout."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Show the driver's info and debug messages (its warnings always show)."));
    const QCommandLineOption set(QStringLiteral("set"),
                                 QStringLiteral("grab, params: set a parameter after the settings, by its English name "
                                                "or label (Gain=8, ReverseX=on, 图像帧率=高速模式); repeatable."),
                                 QStringLiteral("NAME=VALUE"));
    const QCommandLineOption retryInterval(QStringLiteral("retry-interval"),
                                           QStringLiteral("grab: while a camera's link is lost or stalled, reopen it "
                                                          "every S seconds (default: the driver's own 30 s retry)."),
                                           QStringLiteral("S"));
    const QCommandLineOption stallAfter(QStringLiteral("stall-after"),
                                        QStringLiteral("grab: report a free-running camera that sends no frame for S "
                                                       "seconds as stalled (default 5; 0: never)."),
                                        QStringLiteral("S"));
    const QCommandLineOption camera(QStringLiteral("camera"),
                                    QStringLiteral("grab: camera to use; repeat for more (default: all listed)."),
                                    QStringLiteral("SERIAL"));
    const QCommandLineOption frames(QStringLiteral("frames"), QStringLiteral("grab: stop after N frames of each camera."),
                                    QStringLiteral("N"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("grab: stop after S seconds."),
                                     QStringLiteral("S"));
    const QCommandLineOption settings(QStringLiteral("settings"),
                                      QStringLiteral("grab, params: load camera settings from this JSON file."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption saveSettings(QStringLiteral("save-settings"),
                                          QStringLiteral("grab: write each camera's settings to this JSON file on exit."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption exposure(QStringLiteral("exposure"),
                                      QStringLiteral("grab: select exposure configuration INDEX."),
                                      QStringLiteral("INDEX"));
    const QCommandLineOption capturesPerProduct(QStringLiteral("captures-per-product"),
                                                QStringLiteral("grab: frames that make one product."),
                                                QStringLiteral("N"));
    const QCommandLineOption productsPerCycle(QStringLiteral("products-per-cycle"),
                                              QStringLiteral("grab: products that make one product cycle."),
                                              QStringLiteral("N"));
    const QCommandLineOption cycleTimeout(QStringLiteral("cycle-timeout"),
                                          QStringLiteral("grab: time-out of an unfinished product or cycle (0: none)."),
                                          QStringLiteral("MS"));
    const QCommandLineOption preview(QStringLiteral("preview"),
                                     QStringLiteral("grab: leave the camera in preview (no numbering, frames thinned "
                                                    "to one per 50 ms)."));
    const QCommandLineOption saveDir(QStringLiteral("save-dir"),
                                     QStringLiteral("grab: write frames as PNG and a contact sheet into DIR."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption every(QStringLiteral("every"), QStringLiteral("grab: save every K-th frame (default 1)."),
                                   QStringLiteral("K"));
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("grab: record every frame into DIR: one uncompressed TIFF each "
                                                   "and index.jsonl, replayable by the simulator."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption recordQueue(QStringLiteral("record-queue"),
                                         QStringLiteral("grab: frames the recorder may hold while its writer is "
                                                        "behind (default 64); more are dropped and counted."),
                                         QStringLiteral("N"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({pluginDir, simConfig, json, verbose, camera, frames, seconds, settings, set, saveSettings,
                       exposure, capturesPerProduct, productsPerCycle, cycleTimeout, preview, saveDir, every, record,
                       recordQueue, retryInterval, stallAfter});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("info, list, params or grab."),
                                 QStringLiteral("command [SERIAL]"));
    if (!parser.parse(arguments))
        return error(parser.errorText());
    if (parser.isSet(help)) {
        CommandLine c;
        c.action = CommandLine::Action::Help;
        c.text = parser.helpText();
        return c;
    }
    if (parser.isSet(version)) {
        CommandLine c;
        c.action = CommandLine::Action::Version;
        return c;
    }
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return error(QStringLiteral("no command given (info, list, params or grab; see --help)"));
    const QString command = args.constFirst();
    static const QMap<QString, HostCommand> commands = {{QStringLiteral("info"), HostCommand::Info},
                                                        {QStringLiteral("list"), HostCommand::List},
                                                        {QStringLiteral("params"), HostCommand::Params},
                                                        {QStringLiteral("grab"), HostCommand::Grab}};
    if (!commands.contains(command))
        return error(QStringLiteral("unknown command \"%1\" (info, list, params or grab)").arg(command));
    HostOptions o;
    o.command = commands.value(command);
    if (args.size() > (o.command == HostCommand::Params ? 2 : 1))
        return error(QStringLiteral("unexpected argument \"%1\"").arg(args.last()));

    // Options that belong to another command are mistakes, not no-ops.
    const QList<const QCommandLineOption *> grabOnly = {&camera,       &frames,   &seconds,
                                                        &saveSettings, &exposure, &capturesPerProduct,
                                                        &productsPerCycle, &cycleTimeout, &preview,
                                                        &saveDir,      &every,    &record,
                                                        &recordQueue,  &retryInterval, &stallAfter};
    for (const QCommandLineOption *opt : grabOnly)
        if (o.command != HostCommand::Grab && parser.isSet(*opt))
            return error(QStringLiteral("--%1 applies to grab only").arg(opt->names().constFirst()));
    if (parser.isSet(settings) && o.command != HostCommand::Grab && o.command != HostCommand::Params)
        return error(QStringLiteral("--settings applies to grab and params only"));
    if (parser.isSet(set) && o.command != HostCommand::Grab && o.command != HostCommand::Params)
        return error(QStringLiteral("--set applies to grab and params only"));
    for (const QString &assignment : parser.values(set)) {
        const int eq = assignment.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return error(QStringLiteral("--set needs NAME=VALUE, not \"%1\"").arg(assignment));
        o.sets.append({assignment.left(eq).trimmed(), assignment.mid(eq + 1)});
    }

    if (o.command == HostCommand::Grab) {
        GrabOptions &g = o.grab;
        QString why;
        if (!parseInt(parser, frames, 1, g.frames, why) || !parseInt(parser, exposure, 0, g.exposure, why)
            || !parseInt(parser, capturesPerProduct, 1, g.capturesPerProduct, why)
            || !parseInt(parser, productsPerCycle, 1, g.productsPerCycle, why)
            || !parseInt(parser, cycleTimeout, 0, g.cycleTimeout, why) || !parseInt(parser, every, 1, g.every, why)
            || !parseInt(parser, recordQueue, 1, g.recordQueue, why))
            return error(why);
        if (parser.isSet(seconds)) {
            bool ok = false;
            g.seconds = parser.value(seconds).toDouble(&ok);
            if (!ok || !(g.seconds > 0) || g.seconds > 1e6)
                return error(QStringLiteral("--seconds needs a positive number, not \"%1\"").arg(parser.value(seconds)));
        }
        if (!parser.isSet(frames) && !parser.isSet(seconds))
            g.frames = 10;
        if (!parseSecondsOption(parser, retryInterval, g.retryIntervalMs, why)
            || !parseSecondsOption(parser, stallAfter, g.stallAfterMs, why))
            return error(why);
        if (parser.isSet(every) && !parser.isSet(saveDir))
            return error(QStringLiteral("--every needs --save-dir"));
        if (parser.isSet(recordQueue) && !parser.isSet(record))
            return error(QStringLiteral("--record-queue needs --record"));
        g.recordDir = parser.value(record);
        g.setTrigger = parser.isSet(capturesPerProduct) || parser.isSet(productsPerCycle) || parser.isSet(cycleTimeout);
        g.preview = parser.isSet(preview);
        g.saveDir = parser.value(saveDir);
        g.saveSettings = parser.value(saveSettings);
        g.json = parser.isSet(json);
        o.cameras = parser.values(camera);
        g.sets = o.sets;
    }
    if (o.command == HostCommand::Params && args.size() > 1)
        o.serial = args.at(1);
    auto given = [&parser](const QCommandLineOption &opt) {
        return parser.isSet(opt) ? std::optional<QString>(parser.value(opt)) : std::nullopt;
    };
    o.pluginDir = given(pluginDir);
    o.simConfig = given(simConfig);
    o.settingsFile = given(settings);
    o.json = parser.isSet(json);
    o.verbose = parser.isSet(verbose);

    CommandLine c;
    c.action = CommandLine::Action::Run;
    c.options = o;
    return c;
}
