// The vdcamsdk-check program: its options, its table and its exit status,
// against simulated cameras configured through the environment.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

class CheckCli : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    // Runs the program on the given simulated population.
    CliRun run(const QStringList &args, const QByteArray &population = QByteArray())
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!population.isEmpty()) {
            QFile f(dir.filePath(QStringLiteral("population.json")));
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(population);
            f.close();
            env.insert(QStringLiteral("VDCAMSDK_SIM_CONFIG"), f.fileName());
        }
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VANDREL_CHECK_EXE), args);
        CliRun r;
        r.finished = p.waitForFinished(90000) && p.exitStatus() == QProcess::NormalExit;
        r.exitCode = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    static QByteArray camera(const char *product, const char *serial)
    {
        return QByteArray(R"({"devices": [{"productName": ")") + product + R"(", "serialNumber": ")" + serial
               + R"(", "sensorWidth": 128, "sensorHeight": 128, "frameHeight": 16, "frameRate": 100}]})";
    }

    static QString rowOf(const CliRun &r, const QString &check)
    {
        for (const QString &line : r.out.split(QLatin1Char('\n')))
            if (line.contains(check))
                return line;
        return QString();
    }
};

TEST_F(CheckCli, PassesAgainstTheSimulatorAndExitsZero)
{
    ASSERT_TRUE(dir.isValid());
    const CliRun r = run({QStringLiteral("--seconds"), QStringLiteral("0.5")},
                      camera("VD-XG4K-C", "VDXGCLI00001"));
    ASSERT_TRUE(r.finished) << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("vdcamsdk-check: VDXGCLI00001 (VD-XG4K-C)")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("30 passed, 0 failed, 4 not run: the SDK behaves as the driver relies on")))
        << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("FAIL")));
    // Progress goes to stderr, the table to stdout.
    EXPECT_TRUE(r.err.contains(QStringLiteral("vdcamsdk-check: watching frames for 0.5 s")));
}

TEST_F(CheckCli, ExitsOneWhenACheckFails)
{
    ASSERT_TRUE(dir.isValid());
    // A product name of all 32 bytes, as the simulator passes it on.
    const CliRun unterminated = run({QStringLiteral("--seconds"), QStringLiteral("0.5")},
                                 camera("VD-XG4K-C-0123456789ABCDEFGHIJKL", "VDXGCLI00002"));
    ASSERT_TRUE(unterminated.finished);
    EXPECT_EQ(unterminated.exitCode, 1) << unterminated.out.toStdString();
    const QString row = rowOf(unterminated, QStringLiteral("texts terminated"));
    EXPECT_TRUE(row.contains(QStringLiteral("FAIL"))) << row.toStdString();
    EXPECT_TRUE(row.contains(QStringLiteral("record 0: product name fills its 32 bytes"))) << row.toStdString();
    EXPECT_TRUE(unterminated.out.contains(QStringLiteral("NOT as the driver relies on")));

    const CliRun missing = run({QStringLiteral("--camera"), QStringLiteral("VDXGNOSUCH01")},
                            camera("VD-XG4K-C", "VDXGCLI00003"));
    ASSERT_TRUE(missing.finished);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(rowOf(missing, QStringLiteral("camera to check")).contains(QStringLiteral("VDXGNOSUCH01 is not listed")));

    const CliRun otherFamily = run({}, camera("VD-AC1300", "VDAC13000004"));
    ASSERT_TRUE(otherFamily.finished);
    EXPECT_EQ(otherFamily.exitCode, 1);
    EXPECT_TRUE(rowOf(otherFamily, QStringLiteral("camera to check")).contains(QStringLiteral("no VD-XG camera listed")));
}

TEST_F(CheckCli, BadOptionsExitTwoWithTheUsage)
{
    for (const QStringList &args : {QStringList{QStringLiteral("--seconds"), QStringLiteral("0")},
                                    QStringList{QStringLiteral("--seconds"), QStringLiteral("5s")},
                                    QStringList{QStringLiteral("--camera")},
                                    QStringList{QStringLiteral("--frames"), QStringLiteral("3")}}) {
        const CliRun r = run(args);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Usage: vdcamsdk-check")));
        EXPECT_TRUE(r.out.isEmpty());
    }
    const CliRun help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--interactive")));
}

} // namespace
