#include "hostcommands.h"

#include "camerainterface.h"
#include "exitstatus.h"
#include "grabsession.h"
#include "hostlog.h"
#include "hostoptions.h"
#include "paramsets.h"
#include "paramtable.h"
#include "pluginhost.h"
#include "sdkdevices.h"
#include "sdkidentity.h"
#include "settingsfile.h"
#include "settingsload.h"
#include "simulatorstate.h"
#include "stoponsignal.h"
#include "textout.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

void printJson(const QJsonObject &o)
{
    stdOut().lines() << QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QString noSuchCamera(const QString &serial, const QVector<QString> &found)
{
    // A device of another family is there, only not this plug-in's.
    QString ignored;
    for (const SdkDevice &d : listSdkDevices(false, ignored))
        if (d.serial == serial && !d.family)
            return QStringLiteral("%1 is a %2, not a VD-XG camera: the plug-in drives VD-XG cameras only "
                                  "(cameras: %3)")
                .arg(serial, d.product.isEmpty() ? QStringLiteral("device of another family") : d.product,
                     QStringList(found.toList()).join(QStringLiteral(", ")));
    return QStringLiteral("no camera %1 (cameras: %2)").arg(serial, QStringList(found.toList()).join(QStringLiteral(", ")));
}

QString noCameraFound(int count)
{
    return QStringLiteral("no VD-XG camera found (the SDK reports %1 device(s))").arg(count);
}

class Commands
{
public:
    Commands(const HostOptions &o, PluginHost &h) : opts(o), host(h) {}
    int info();
    int list();
    int params();
    int grab();

private:
    // The family's cameras; fails with ExitNoCamera when there is none.
    bool enumerate(QVector<QString> &serials, QString &error);

    const HostOptions &opts;
    PluginHost &host;
};

bool Commands::enumerate(QVector<QString> &serials, QString &error)
{
    int count = 0;
    serials = host.plugin()->enumerateCameras(count);
    if (serials.isEmpty()) {
        error = noCameraFound(count);
        return false;
    }
    return true;
}

int Commands::info()
{
    CameraInterface *p = host.plugin();
    const QJsonObject meta = host.metaData();
    const SdkIdentity sdk = SdkIdentity::ofThisProcess();
    if (opts.json) {
        printJson(QJsonObject{{QStringLiteral("file"), host.filePath()},
                              {QStringLiteral("metadataIID"), meta.value(QStringLiteral("IID"))},
                              {QStringLiteral("className"), meta.value(QStringLiteral("className"))},
                              {QStringLiteral("interfaceIID"), QStringLiteral(CameraInterface_iid)},
                              {QStringLiteral("pluginIID"), p->pluginIID()},
                              {QStringLiteral("name"), p->pluginName()},
                              {QStringLiteral("version"), p->pluginVersion()},
                              {QStringLiteral("description"), p->pluginDescription()},
                              {QStringLiteral("sdkLibrary"), sdk.library.isEmpty() ? QJsonValue() : sdk.library},
                              {QStringLiteral("sdkSimulated"), sdk.simulated}});
        return ExitOk;
    }
    stdOut().lines() << "file:          " << host.filePath() << '\n'
                     << "metadata IID:  " << meta.value(QStringLiteral("IID")).toString() << '\n'
                     << "class:         " << meta.value(QStringLiteral("className")).toString() << '\n'
                     << "interface IID: " << CameraInterface_iid << '\n'
                     << "plug-in IID:   " << p->pluginIID() << '\n'
                     << "name:          " << p->pluginName() << '\n'
                     << "version:       " << p->pluginVersion() << '\n'
                     << "description:   " << p->pluginDescription() << '\n'
                     << "SDK library:   " << sdk.libraryText() << '\n'
                     << "simulated SDK: " << sdk.simulatedText() << '\n';
    return ExitOk;
}

int Commands::list()
{
    int count = 0;
    const QVector<QString> serials = host.plugin()->enumerateCameras(count);
    // The plug-in names its cameras by serial only; the SDK's records say
    // what they are and which devices are not the plug-in's.
    QString why;
    const QVector<SdkDevice> devices = listSdkDevices(true, why);
    auto recordOf = [&devices](const QString &serial) -> const SdkDevice * {
        for (const SdkDevice &d : devices)
            if (d.serial == serial)
                return &d;
        return nullptr;
    };
    QVector<const SdkDevice *> others;
    for (const SdkDevice &d : devices)
        if (!serials.contains(d.serial))
            others.append(&d);
    if (opts.json) {
        QJsonArray a, described, other;
        for (const QString &s : serials) {
            a.append(s);
            QJsonObject o{{QStringLiteral("serial"), s}};
            if (const SdkDevice *d = recordOf(s)) {
                o.insert(QStringLiteral("product"), d->product);
                if (d->probed) {
                    o.insert(QStringLiteral("width"), d->width);
                    o.insert(QStringLiteral("height"), d->height);
                    o.insert(QStringLiteral("colour"), !d->mono);
                }
            }
            described.append(o);
        }
        for (const SdkDevice *d : others)
            other.append(QJsonObject{{QStringLiteral("serial"), d->serial}, {QStringLiteral("product"), d->product}});
        QJsonObject root{{QStringLiteral("deviceCount"), count},
                         {QStringLiteral("cameras"), a},
                         {QStringLiteral("described"), described},
                         {QStringLiteral("otherDevices"), other}};
        if (!why.isEmpty())
            root.insert(QStringLiteral("sdkRecords"), why);
        printJson(root);
    } else {
        TextOut::Lines out = stdOut().lines();
        out << "SDK devices: " << count << '\n' << "VD-XG cameras: " << serials.size() << '\n';
        for (const QString &s : serials) {
            out << "  " << s;
            if (const SdkDevice *d = recordOf(s)) {
                out << "  " << d->product;
                if (d->probed)
                    out << "  " << d->width << " px  " << (d->mono ? "mono" : "colour");
            }
            out << '\n';
        }
        if (!others.isEmpty()) {
            out << "Other devices (not VD-XG; the plug-in does not drive them): " << others.size() << '\n';
            for (const SdkDevice *d : others)
                out << "  " << d->serial << "  " << d->product << '\n';
        } else if (count > serials.size()) {
            out << "Other devices (not VD-XG; the plug-in does not drive them): " << count - serials.size() << '\n';
        }
        if (!why.isEmpty())
            out << "(product, width and colour unknown: " << why << ")\n";
    }
    if (serials.isEmpty())
        return fail(ExitNoCamera, noCameraFound(count));
    return ExitOk;
}

int Commands::params()
{
    QVector<QString> found;
    QString error;
    if (!enumerate(found, error))
        return fail(ExitNoCamera, error);
    const QString serial = opts.serial.isEmpty() ? found.constFirst() : opts.serial;
    if (!found.contains(serial))
        return fail(ExitNoCamera, noSuchCamera(serial, found));
    QMap<QString, QJsonObject> loaded;
    if (opts.settingsFile && !readSettingsForEach(*opts.settingsFile, {serial}, loaded, error))
        return fail(ExitBadSettings, error);

    CameraInterface *cam = host.plugin()->createCamera(0, serial, 0);
    if (!cam)
        return fail(ExitNoCamera, QStringLiteral("the plug-in created no camera for %1").arg(serial));
    if (cam->cameraSerial() == QLatin1String("-1")) {
        delete cam;
        return fail(ExitNoCamera, QStringLiteral("camera %1 could not be opened").arg(serial));
    }
    if (opts.settingsFile && !SettingsLoad::load(cam, loaded.value(serial), error)) {
        delete cam;
        return fail(ExitBadSettings, QStringLiteral("settings of camera %1: %2").arg(serial, error));
    }
    ParamSets sets{QStringLiteral("--set"), QStringLiteral("vandrel-host params lists them")};
    if (!sets.apply(cam, opts.sets, error)) {
        delete cam;
        return fail(ExitBadOptions, error);
    }
    for (const QString &w : sets.warnings)
        warn(w);
    const QVector<ParamWrap *> *list = cam->pluginParams();
    const QVector<ParamWrap *> descriptors = list ? *list : QVector<ParamWrap *>();
    if (opts.json) {
        printJson(QJsonObject{{QStringLiteral("serial"), serial},
                              {QStringLiteral("params"), paramsToJson(descriptors, cam->pluginIID())}});
    } else {
        TextOut::Lines out = stdOut().lines();
        out << "Camera " << serial << ": " << descriptors.size() << " parameters\n";
        printParamTable(describeParams(descriptors, cam->pluginIID()), out.stream());
    }
    delete cam;
    return ExitOk;
}

int Commands::grab()
{
    QVector<QString> found;
    QString error;
    if (!enumerate(found, error))
        return fail(ExitNoCamera, error);
    GrabOptions g = opts.grab;
    g.serials = opts.cameras;
    for (const QString &s : qAsConst(g.serials))
        if (!found.contains(s))
            return fail(ExitNoCamera, noSuchCamera(s, found));
    if (g.serials.isEmpty())
        g.serials = QStringList(found.toList());
    g.serials.removeDuplicates();
    if (opts.settingsFile && !readSettingsForEach(*opts.settingsFile, g.serials, g.settings, error))
        return fail(ExitBadSettings, error);
    if (!opts.settingsFile)   // a replayed recording's own settings
        g.settings = SimulatorState::recordedSettings(g.serials);

    GrabSession session(host.plugin(), g, opts.json ? stdErr() : stdOut());
    int status;
    {
        const StopOnSignal interrupt([&session] { session.requestStop(QStringLiteral("interrupted")); });
        if (session.progress().isLive())
            divertLogsTo(&session.progress());
        status = session.run();
        divertLogsTo(nullptr);
    }
    if (status != ExitOk && status != ExitInterrupted)
        return fail(status, session.error());
    return status;
}

} // namespace

int runHostCommand(const HostOptions &options)
{
    if (options.simConfig) {
        QString error;
        if (!applySimConfig(*options.simConfig, error))
            return fail(ExitBadOptions, error);
    }
    PluginHost host;
    {
        QString error;
        if (!host.load(options.pluginDir.value_or(PluginHost::defaultPluginDir()), error))
            return fail(ExitNoPlugin, error);
    }
    // A configuration the simulator could not use left it without cameras.
    if (const QString problem = SimulatorState::configurationProblem(); !problem.isEmpty())
        return fail(ExitBadOptions, problem);
    Commands commands(options, host);
    switch (options.command) {
    case HostCommand::Info:
        return commands.info();
    case HostCommand::List:
        return commands.list();
    case HostCommand::Params:
        return commands.params();
    case HostCommand::Grab:
        return commands.grab();
    }
    return ExitFailure;
}
