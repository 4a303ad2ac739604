#include "freshprocess.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

namespace {
const char kChildVariable[] = "VANDREL_TEST_FRESH_PROCESS";
}

bool inFreshProcess()
{
    return qEnvironmentVariableIsSet(kChildVariable);
}

bool passesInFreshProcess(const char *testName, std::string &output)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kChildVariable), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + QLatin1String(testName)});
    const bool finished = child.waitForFinished(60000);
    if (!finished)
        child.kill();
    child.waitForFinished(5000);
    const QByteArray text = child.readAll();
    output = text.toStdString();
    return finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
           && text.contains("[  PASSED  ] 1 test");
}
