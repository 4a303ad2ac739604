#include "pluginhost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

QString PluginHost::defaultPluginDir()
{
    // A relocated build keeps the plug-in next to the host's directory, an
    // installation under lib/; otherwise the build tree this host was built in.
    const QDir hostDir(QCoreApplication::applicationDirPath());
    for (const QString &relative :
         {QStringLiteral("../Plugins/Cameras"), QStringLiteral(VANDREL_INSTALLED_PLUGIN_DIR)}) {
        const QString dir = hostDir.absoluteFilePath(relative);
        if (QFileInfo::exists(dir + QLatin1Char('/') + moduleFileName()))
            return QDir::cleanPath(dir);
    }
    return QStringLiteral(VANDREL_DEFAULT_PLUGIN_DIR);
}

bool PluginHost::load(const QString &pluginDir, QString &error)
{
    const QString path = QDir(pluginDir).absoluteFilePath(moduleFileName());
    if (!QFileInfo::exists(path)) {
        error = QStringLiteral("no plug-in %1 in %2").arg(moduleFileName(), QDir::cleanPath(pluginDir));
        return false;
    }
    loader.setFileName(path);
    const QString iid = loader.metaData().value(QStringLiteral("IID")).toString();
    if (iid.isEmpty()) {
        error = QStringLiteral("%1 is not a Qt plug-in: %2").arg(path, loader.errorString());
        return false;
    }
    if (!iid.startsWith(QLatin1String(CameraInterface_iid "."))) {
        error = QStringLiteral("%1 is not a camera plug-in (IID %2)").arg(path, iid);
        return false;
    }
    QObject *root = loader.instance();
    if (!root) {
        error = QStringLiteral("cannot load %1: %2").arg(path, loader.errorString());
        return false;
    }
    iface = qobject_cast<CameraInterface *>(root);
    if (!iface) {
        error = QStringLiteral("%1 does not implement %2").arg(path, QLatin1String(CameraInterface_iid));
        return false;
    }
    return true;
}

bool applySimConfig(const QString &file, QString &error)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read simulator configuration %1: %2").arg(file, f.errorString());
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        error = QStringLiteral("simulator configuration %1 is not a JSON object%2")
                    .arg(file, pe.error != QJsonParseError::NoError ? QStringLiteral(": ") + pe.errorString()
                                                                     : QString());
        return false;
    }
    qputenv("VDCAMSDK_SIM_CONFIG", QFileInfo(file).absoluteFilePath().toLocal8Bit());
    return true;
}

QCommandLineOption PluginHost::pluginDirOption()
{
    return QCommandLineOption(QStringLiteral("plugin-dir"),
                              QStringLiteral("Directory of libVandrel.so (default: %1).").arg(defaultPluginDir()),
                              QStringLiteral("DIR"));
}

QCommandLineOption PluginHost::simConfigOption()
{
    return QCommandLineOption(QStringLiteral("sim-config"),
                              QStringLiteral("Configuration of the simulated cameras for this run."),
                              QStringLiteral("FILE"));
}
