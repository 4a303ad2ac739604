#pragma once

#include "graboptions.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

enum class HostCommand { Info, List, Params, Grab };

// What a run of vandrel-host was asked to do, read from its command line
// and checked before anything is loaded, so that a typo costs nothing.
struct HostOptions
{
    HostCommand command = HostCommand::Info;
    QString serial;        // params: the camera asked for; empty: the first listed
    // Unset: PluginHost::defaultPluginDir(), the simulator's own cameras, the
    // cameras' defaults. Given empty, they are used as given and fail.
    std::optional<QString> pluginDir;
    std::optional<QString> simConfig;
    std::optional<QString> settingsFile;  // grab and params
    QStringList cameras;   // grab: --camera as given; empty: every listed camera
    QList<QPair<QString, QString>> sets;  // grab and params: --set NAME=VALUE, in order
    bool json = false;
    bool verbose = false;
    GrabOptions grab;      // grab; its serials and settings are filled once the plug-in lists its cameras
};

// The outcome of reading a command line: options to run with, a text to
// show instead, or the one-line reason why the line is wrong.
struct CommandLine
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Error;
    HostOptions options;  // Run
    QString text;         // Help: the help text; Error: the reason
};

// `arguments` as QCoreApplication::arguments() has them, the program first.
// Needs a QCoreApplication: the help text names the program and the default
// plug-in directory.
CommandLine parseCommandLine(const QStringList &arguments);
