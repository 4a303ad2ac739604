#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Result of one run of vandrel-host.
struct HostRun
{
    bool finished = false;  // false: still running at the deadline (then killed) or failed to start
    int exitCode = -1;
    bool crashed = false;
    QString out;
    QString err;

    // stdout parsed as a JSON object; empty when it is not one.
    QJsonObject json() const;
    // stderr's lines, without the driver's log lines ("vandrel: ...").
    QStringList hostErrLines() const;
};

// Runs vandrel-host with args in workDir (default: the current directory) and
// waits for it to end, at most timeoutMs.
// extra adds to (or overrides) the environment.
HostRun runHost(const QStringList &args, int timeoutMs = 60000, const QString &workDir = QString(),
                const QProcessEnvironment &extra = QProcessEnvironment());

// A small simulated population: two VD-XG cameras (colour 512 wide, mono 640
// wide, 64-line frames at 50 frames/s) and one camera of another family.
QByteArray smallPopulation();
