#pragma once

#include "camerainterface.h"

#include <QJsonObject>
#include <QPluginLoader>
#include <QString>

// Exit statuses of vandrel-host.
enum ExitStatus {
    ExitOk = 0,
    ExitFailure = 1,       // a run-time failure (camera refused a setting, a file not written)
    ExitBadOptions = 2,
    ExitNoPlugin = 3,
    ExitNoCamera = 4,
    ExitBadSettings = 5,
};

// The plug-in, loaded as a host loads it: by file, through Qt's plug-in
// loader, reached only through the interface IID.
class PluginHost
{
public:
    // Where the module is looked for when no directory is given.
    static QString defaultPluginDir();
    static QString moduleFileName() { return QStringLiteral("libVandrel.so"); }

    // On failure returns false and says why in one line.
    bool load(const QString &pluginDir, QString &error);

    CameraInterface *plugin() const { return iface; }
    QString filePath() const { return loader.fileName(); }
    // Qt's plug-in metadata: "IID", "className", "MetaData", ...
    QJsonObject metaData() const { return loader.metaData(); }

private:
    QPluginLoader loader;
    CameraInterface *iface = nullptr;
};

// The module and the simulated SDK beside it must be loaded and the SDK
// configured before the first enumeration; the SDK reads this variable once.
bool applySimConfig(const QString &file, QString &error);
