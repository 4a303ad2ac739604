// The vdcamsdk-check program: its options, its table and its exit status,
// against simulated cameras configured through the environment, and against
// a stand-in for a vendor's SDK that is not the simulator.

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
    // With vendorSdk, the stand-in comes before the simulator.
    CliRun run(const QStringList &args, const QByteArray &population = QByteArray(), bool vendorSdk = false)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (vendorSdk) {
            env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VANDREL_STANDIN_SDK));
            // A dynamic AddressSanitizer runtime wants to come first.
            const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0"));
        }
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

    static QStringList lines(const QString &text) { return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

    static QString rowOf(const CliRun &r, const QString &check)
    {
        for (const QString &line : r.out.split(QLatin1Char('\n')))
            if (line.contains(check))
                return line;
        return QString();
    }
};

// Every check passes, yet the run proves nothing for a line: a banner first,
// a last line that says so, and a status of its own.
TEST_F(CheckCli, PassesAgainstTheSimulatorButSaysSoAndExitsFive)
{
    ASSERT_TRUE(dir.isValid());
    const CliRun r = run({QStringLiteral("--seconds"), QStringLiteral("0.5")},
                      camera("VD-XG4K-C", "VDXGCLI00001"));
    ASSERT_TRUE(r.finished) << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 5) << r.out.toStdString();
    const QStringList out = lines(r.out);
    ASSERT_GE(out.size(), 3);
    EXPECT_TRUE(out[0].startsWith(QStringLiteral("vdcamsdk-check " VANDREL_VERSION ", SDK library /")))
        << out[0].toStdString();
    EXPECT_TRUE(out[0].contains(QStringLiteral("/libVDCAMSDK.so"))) << out[0].toStdString();
    EXPECT_EQ(out[1], QStringLiteral("*** SIMULATED SDK: Vandrel simulated VD camera SDK " VANDREL_VERSION));
    EXPECT_TRUE(r.out.contains(QStringLiteral("vdcamsdk-check: VDXGCLI00001 (VD-XG4K-C), device version SIM 1.0\n")))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("30 passed, 0 failed, 4 not run: the SDK behaves as the driver relies on")))
        << r.out.toStdString();
    EXPECT_EQ(out.last(), QStringLiteral("simulated SDK: not a proof for a line"));
    EXPECT_FALSE(r.out.contains(QStringLiteral("FAIL")));
    // Progress goes to stderr, the table to stdout.
    EXPECT_TRUE(r.err.contains(QStringLiteral("vdcamsdk-check: watching frames for 0.5 s")));
}

// An SDK that is not the simulator (here one that passes the simulator's
// cameras on): no banner, the library it is, and 0 when every check passed.
TEST_F(CheckCli, PassesAgainstAnotherSdkAndExitsZero)
{
    ASSERT_TRUE(dir.isValid());
    const CliRun r = run({QStringLiteral("--seconds"), QStringLiteral("0.5")},
                      camera("VD-XG4K-C", "VDXGCLI00005"), true);
    ASSERT_TRUE(r.finished) << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    const QStringList out = lines(r.out);
    ASSERT_FALSE(out.isEmpty());
    EXPECT_EQ(out[0], QStringLiteral("vdcamsdk-check " VANDREL_VERSION ", SDK library " VANDREL_STANDIN_SDK));
    EXPECT_FALSE(r.out.contains(QStringLiteral("SIMULATED"))) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("simulated SDK"))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("VDXGCLI00005 (VD-XG4K-C), device version FW 3.2.1-standin")))
        << r.out.toStdString();
    EXPECT_EQ(out.last(), QStringLiteral("30 passed, 0 failed, 4 not run: the SDK behaves as the driver relies on"));
}

TEST_F(CheckCli, ExitsOneWhenACheckFailsEvenOnTheSimulator)
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
    EXPECT_EQ(lines(unterminated.out).last(), QStringLiteral("simulated SDK: not a proof for a line"));
}

// A camera that is not there is a mistake in the setup, not the SDK's: one
// line naming the cameras listed, no table, status 4.
TEST_F(CheckCli, ACameraThatIsNotListedExitsFourNamingThoseThatAre)
{
    ASSERT_TRUE(dir.isValid());
    const CliRun missing = run({QStringLiteral("--camera"), QStringLiteral("VDXGNOSUCH01")},
                            camera("VD-XG4K-C", "VDXGCLI00003"));
    ASSERT_TRUE(missing.finished);
    EXPECT_EQ(missing.exitCode, 4) << missing.out.toStdString();
    EXPECT_TRUE(missing.err.contains(
        QStringLiteral("vdcamsdk-check: VDXGNOSUCH01 is not listed; listed: VDXGCLI00003 (VD-XG4K-C)\n")))
        << missing.err.toStdString();
    EXPECT_FALSE(missing.out.contains(QStringLiteral("passed,"))) << missing.out.toStdString();
    EXPECT_FALSE(missing.out.contains(QStringLiteral("not a proof"))) << missing.out.toStdString();

    const CliRun otherFamily = run({}, camera("VD-AC1300", "VDAC13000004"));
    ASSERT_TRUE(otherFamily.finished);
    EXPECT_EQ(otherFamily.exitCode, 4);
    EXPECT_TRUE(otherFamily.err.contains(QStringLiteral("no VD-XG camera listed; listed: VDAC13000004 (VD-AC1300)")))
        << otherFamily.err.toStdString();

    const CliRun none = run({}, QByteArray(R"({"devices": []})"));
    ASSERT_TRUE(none.finished);
    EXPECT_EQ(none.exitCode, 4);
    EXPECT_TRUE(none.err.contains(QStringLiteral("no VD-XG camera listed; the SDK lists no device")))
        << none.err.toStdString();
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
    EXPECT_TRUE(help.out.contains(QStringLiteral("5 every check passed but the SDK is the simulated one")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("3 the SDK\nlibrary cannot be loaded")));
    const CliRun version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("vdcamsdk-check " VANDREL_VERSION "\n"));
}

} // namespace
