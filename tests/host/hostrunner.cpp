#include "hostrunner.h"

#include "population.h"

#include <QJsonDocument>
#include <QProcess>

QJsonObject HostRun::json() const
{
    return QJsonDocument::fromJson(out.toUtf8()).object();
}

QStringList HostRun::hostErrLines() const
{
    QStringList lines;
    for (const QString &l : err.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!l.startsWith(QLatin1String("vandrel:")))
            lines << l;
    return lines;
}

HostRun runHost(const QStringList &args, int timeoutMs, const QString &workDir, const QProcessEnvironment &extra)
{
    HostRun r;
    QProcess p;
    p.setProgram(QStringLiteral(VANDREL_HOST_EXE));
    p.setArguments(args);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The population comes from --sim-config or the default, never from the caller.
    env.remove(QStringLiteral("VDCAMSDK_SIM_CONFIG"));
    env.insert(extra);
    p.setProcessEnvironment(env);
    p.start();
    if (!p.waitForStarted(10000))
        return r;
    r.finished = p.waitForFinished(timeoutMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.crashed = p.exitStatus() == QProcess::CrashExit;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArray smallPopulation()
{
    return Population()
        .add("VD-XG4K-C", "VDXGTEST0C01", [](Population::Device &d) {
            d.sensorWidth = 512;
            d.sensorHeight = 1024;
            d.frameHeight = 64;
            d.frameRate = 50;
        })
        .add("VD-XG8K-M", "VDXGTEST0M02", [](Population::Device &d) {
            d.sensorWidth = 640;
            d.sensorHeight = 1024;
            d.frameHeight = 64;
            d.mono = true;
            d.frameRate = 50;
        })
        .add("VD-AC1300", "VDACTEST0003", [](Population::Device &d) {
            d.sensorWidth = 256;
            d.sensorHeight = 256;
            d.frameHeight = 256;
            d.frameRate = 10;
        })
        .json();
}
