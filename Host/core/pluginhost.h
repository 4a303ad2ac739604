#pragma once

#include "camerainterface.h"

#include <QCommandLineOption>
#include <QJsonObject>
#include <QPluginLoader>
#include <QString>

// The plug-in, loaded as a host loads it: by file, through Qt's plug-in
// loader, reached only through the interface IID. Used on one thread, the
// one that owns the cameras it creates.
class PluginHost
{
public:
    // Where the module is looked for when no directory is given.
    static QString defaultPluginDir();
    // The plug-in folder relative to this library, installed or in the build
    // folder, for hosts without an application object of their own (the
    // bindings); empty when neither holds the plug-in.
    static QString pluginDirBesideLibrary();
    // libVandrel.so, or Vandrel.dll on Windows.
    static QString moduleFileName();
    // The options every program that loads the plug-in offers alike.
    static QCommandLineOption pluginDirOption();
    static QCommandLineOption simConfigOption();

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
