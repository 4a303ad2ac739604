#include "hostrunner.h"

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

HostRun runHost(const QStringList &args, int timeoutMs, const QString &workDir)
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
    return R"({"devices": [
  {"productName": "VD-XG4K-C", "serialNumber": "VDXGTEST0C01", "sensorWidth": 512, "sensorHeight": 1024,
   "frameHeight": 64, "mono": false, "frameRate": 50},
  {"productName": "VD-XG8K-M", "serialNumber": "VDXGTEST0M02", "sensorWidth": 640, "sensorHeight": 1024,
   "frameHeight": 64, "mono": true, "frameRate": 50},
  {"productName": "VD-AC1300", "serialNumber": "VDACTEST0003", "sensorWidth": 256, "sensorHeight": 256,
   "frameHeight": 256, "frameRate": 10}
]})";
}
