#include "pluginhost.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QStringList>

#include "sharedlibrary.h"

namespace {
// The folder of this library itself, wherever the program that loaded it
// lives (a Python interpreter, a GStreamer launcher).
QString libraryDir()
{
    const std::string file = vdplatform::moduleFileOf(reinterpret_cast<const void *>(&libraryDir));
    if (file.empty())
        return QString();
    return QFileInfo(QString::fromStdString(file)).absolutePath();
}
} // namespace

QString PluginHost::moduleFileName()
{
    return QStringLiteral(VANDREL_PLUGIN_FILE_NAME);
}

QString PluginHost::pluginDirBesideLibrary()
{
    const QString libDir = libraryDir();
    if (libDir.isEmpty())
        return QString();
    for (const char *relative : {VANDREL_PLUGIN_DIR_FROM_LIBRARY, VANDREL_PLUGIN_DIR_FROM_BUILT_LIBRARY}) {
        const QString dir = QDir(libDir).absoluteFilePath(QString::fromUtf8(relative));
        if (QFileInfo::exists(dir + QLatin1Char('/') + moduleFileName()))
            return QDir::cleanPath(dir);
    }
    return QString();
}

QString PluginHost::defaultPluginDir()
{
    // Only folders relative to this program and this library: a relocated
    // build keeps the plug-in next to the host's directory, an installation
    // under lib/, a build folder in its own layout. Nothing of the machine
    // the program was built on, so an installed program never falls back to
    // a build folder.
    const QDir hostDir(QCoreApplication::applicationDirPath());
    const QString libDir = libraryDir();
    QStringList candidates{hostDir.absoluteFilePath(QStringLiteral("../Plugins/Cameras")),
                           hostDir.absoluteFilePath(QStringLiteral(VANDREL_INSTALLED_PLUGIN_DIR))};
    if (!libDir.isEmpty()) {
        candidates << QDir(libDir).absoluteFilePath(QStringLiteral(VANDREL_PLUGIN_DIR_FROM_LIBRARY))
                   << QDir(libDir).absoluteFilePath(QStringLiteral(VANDREL_PLUGIN_DIR_FROM_BUILT_LIBRARY));
    }
    for (const QString &dir : candidates) {
        if (QFileInfo::exists(dir + QLatin1Char('/') + moduleFileName()))
            return QDir::cleanPath(dir);
    }
    // Where an installation puts it: the error then names that folder.
    return QDir::cleanPath(candidates.at(libDir.isEmpty() ? 1 : 2));
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
#ifndef VANDREL_SIMULATED_SDK
    error = QStringLiteral("--sim-config %1: this build runs the camera vendor's SDK, not the simulator").arg(file);
    return false;
#endif
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
                              QStringLiteral("Directory of %1 (default: %2).").arg(moduleFileName(), defaultPluginDir()),
                              QStringLiteral("DIR"));
}

QCommandLineOption PluginHost::simConfigOption()
{
    QCommandLineOption option(QStringLiteral("sim-config"),
                              QStringLiteral("Configuration of the simulated cameras for this run."),
                              QStringLiteral("FILE"));
#ifndef VANDREL_SIMULATED_SDK
    // Built against the vendor's SDK: there is no simulator to configure.
    option.setFlags(QCommandLineOption::HiddenFromHelp);
#endif
    return option;
}
