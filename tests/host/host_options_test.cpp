// vandrel-host's command line, read without running the program: what each
// option sets, the defaults, and the one-line reason of every mistake.

#include "hostoptions.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

CommandLine parse(QStringList args)
{
    args.prepend(QStringLiteral("vandrel-host"));
    return parseCommandLine(args);
}

HostOptions run(const QStringList &args)
{
    const CommandLine c = parse(args);
    EXPECT_EQ(c.action, CommandLine::Action::Run) << c.text.toStdString();
    return c.options;
}

TEST(HostOptions, EachCommandWithItsDefaults)
{
    EXPECT_EQ(run({QStringLiteral("info")}).command, HostCommand::Info);
    EXPECT_EQ(run({QStringLiteral("list")}).command, HostCommand::List);

    const HostOptions params = run({QStringLiteral("params")});
    EXPECT_EQ(params.command, HostCommand::Params);
    EXPECT_TRUE(params.serial.isEmpty());  // the first listed camera
    EXPECT_EQ(run({QStringLiteral("params"), QStringLiteral("VDXG4K0C0001")}).serial, QStringLiteral("VDXG4K0C0001"));

    const HostOptions grab = run({QStringLiteral("grab")});
    EXPECT_EQ(grab.command, HostCommand::Grab);
    EXPECT_EQ(grab.grab.frames, 10);  // neither --frames nor --seconds
    EXPECT_EQ(grab.grab.seconds, 0.0);
    EXPECT_EQ(grab.grab.exposure, -1);
    EXPECT_FALSE(grab.grab.setTrigger);
    EXPECT_FALSE(grab.grab.preview);
    EXPECT_EQ(grab.grab.every, 1);
    EXPECT_TRUE(grab.grab.saveDir.isEmpty());
    EXPECT_TRUE(grab.grab.saveSettings.isEmpty());
    EXPECT_TRUE(grab.cameras.isEmpty());  // every listed camera
    EXPECT_FALSE(grab.json || grab.verbose);
    EXPECT_FALSE(grab.pluginDir || grab.simConfig || grab.settingsFile);
    EXPECT_TRUE(grab.sets.isEmpty());
    EXPECT_EQ(grab.grab.retryIntervalMs, 0);  // the driver's own retry
    EXPECT_EQ(grab.grab.stallAfterMs, 5000);
}

TEST(HostOptions, SetsRetriesAndStallsReachTheStruct)
{
    const HostOptions o = run({QStringLiteral("grab"), QStringLiteral("--set"), QStringLiteral("Gain=8"),
                               QStringLiteral("--set"), QStringLiteral("图像帧率 = 高速模式"), QStringLiteral("--set"),
                               QStringLiteral("Note=a=b"), QStringLiteral("--retry-interval"), QStringLiteral("0.25"),
                               QStringLiteral("--stall-after"), QStringLiteral("0")});
    // In order, the name trimmed, the value as typed after the first "=".
    const QList<QPair<QString, QString>> sets = {{QStringLiteral("Gain"), QStringLiteral("8")},
                                                 {QStringLiteral("图像帧率"), QStringLiteral(" 高速模式")},
                                                 {QStringLiteral("Note"), QStringLiteral("a=b")}};
    EXPECT_EQ(o.sets, sets);
    EXPECT_EQ(o.grab.sets, sets);
    EXPECT_EQ(o.grab.retryIntervalMs, 250);
    EXPECT_EQ(o.grab.stallAfterMs, 0);
    EXPECT_EQ(run({QStringLiteral("params"), QStringLiteral("--set"), QStringLiteral("Width=64")}).sets.size(), 1);
    // Tiny times do not round to "off".
    EXPECT_EQ(run({QStringLiteral("grab"), QStringLiteral("--stall-after"), QStringLiteral("0.0001")}).grab.stallAfterMs, 1);
}

TEST(HostOptions, GrabOptionsReachTheStruct)
{
    const HostOptions o = run({QStringLiteral("grab"), QStringLiteral("--camera"), QStringLiteral("B"),
                               QStringLiteral("--camera"), QStringLiteral("A"), QStringLiteral("--camera"),
                               QStringLiteral("B"), QStringLiteral("--frames"), QStringLiteral("7"),
                               QStringLiteral("--seconds"), QStringLiteral("2.5"), QStringLiteral("--exposure"),
                               QStringLiteral("0"), QStringLiteral("--captures-per-product"), QStringLiteral("3"),
                               QStringLiteral("--products-per-cycle"), QStringLiteral("2"),
                               QStringLiteral("--cycle-timeout"), QStringLiteral("0"), QStringLiteral("--preview"),
                               QStringLiteral("--save-dir"), QStringLiteral("out"), QStringLiteral("--every"),
                               QStringLiteral("4"), QStringLiteral("--save-settings"), QStringLiteral("s.json"),
                               QStringLiteral("--settings"), QStringLiteral("in.json"), QStringLiteral("--json"),
                               QStringLiteral("--verbose"), QStringLiteral("--sim-config"), QStringLiteral("sim.json"),
                               QStringLiteral("--plugin-dir"), QStringLiteral("plugins")});
    // As given: the cameras are checked and their duplicates dropped once the plug-in lists them.
    EXPECT_EQ(o.cameras, (QStringList{QStringLiteral("B"), QStringLiteral("A"), QStringLiteral("B")}));
    const GrabOptions &g = o.grab;
    EXPECT_EQ(g.frames, 7);
    EXPECT_EQ(g.seconds, 2.5);
    EXPECT_EQ(g.exposure, 0);
    EXPECT_TRUE(g.setTrigger);
    EXPECT_EQ(g.capturesPerProduct, 3);
    EXPECT_EQ(g.productsPerCycle, 2);
    EXPECT_EQ(g.cycleTimeout, 0);
    EXPECT_TRUE(g.preview);
    EXPECT_EQ(g.saveDir, QStringLiteral("out"));
    EXPECT_EQ(g.every, 4);
    EXPECT_EQ(g.saveSettings, QStringLiteral("s.json"));
    EXPECT_TRUE(g.json && o.json && o.verbose);
    EXPECT_EQ(o.settingsFile, QStringLiteral("in.json"));
    EXPECT_EQ(o.simConfig, QStringLiteral("sim.json"));
    EXPECT_EQ(o.pluginDir, QStringLiteral("plugins"));
    EXPECT_TRUE(g.serials.isEmpty() && g.settings.isEmpty());

    // A time limit alone: no frame limit.
    const GrabOptions timed = run({QStringLiteral("grab"), QStringLiteral("--seconds"), QStringLiteral("1.5")}).grab;
    EXPECT_EQ(timed.frames, 0);
    EXPECT_EQ(timed.seconds, 1.5);

    // Any one grouping option installs the grouping, the others at their defaults.
    const struct
    {
        const char *option;
        int captures, products, timeout;
    } grouping[] = {{"--captures-per-product", 5, 1, 0}, {"--products-per-cycle", 1, 5, 0}, {"--cycle-timeout", 1, 1, 5}};
    for (const auto &c : grouping) {
        SCOPED_TRACE(c.option);
        const GrabOptions one = run({QStringLiteral("grab"), QLatin1String(c.option), QStringLiteral("5")}).grab;
        EXPECT_TRUE(one.setTrigger);
        EXPECT_EQ(one.capturesPerProduct, c.captures);
        EXPECT_EQ(one.productsPerCycle, c.products);
        EXPECT_EQ(one.cycleTimeout, c.timeout);
    }
}

TEST(HostOptions, AnOptionGivenEmptyIsKeptNotDropped)
{
    // Used as given, so that it fails as given rather than falling back to a default.
    const HostOptions o = run({QStringLiteral("params"), QStringLiteral("--plugin-dir="),
                               QStringLiteral("--sim-config="), QStringLiteral("--settings=")});
    ASSERT_TRUE(o.pluginDir && o.simConfig && o.settingsFile);
    EXPECT_TRUE(o.pluginDir->isEmpty() && o.simConfig->isEmpty() && o.settingsFile->isEmpty());
}

TEST(HostOptions, MistakesEndWithTheirReason)
{
    const struct
    {
        QStringList args;
        const char *reason;  // the whole reason, or a part of Qt's own wording
    } cases[] = {
        {{}, "no command given (info, list, params or grab; see --help)"},
        {{QStringLiteral("snap")}, "unknown command \"snap\" (info, list, params or grab)"},
        {{QStringLiteral("grab"), QStringLiteral("--bogus")}, "bogus"},
        {{QStringLiteral("grab"), QStringLiteral("--frames")}, "frames"},
        {{QStringLiteral("info"), QStringLiteral("extra")}, "unexpected argument \"extra\""},
        {{QStringLiteral("params"), QStringLiteral("A"), QStringLiteral("B")}, "unexpected argument \"B\""},
        {{QStringLiteral("grab"), QStringLiteral("--frames"), QStringLiteral("0")},
         "--frames needs a whole number of at least 1, not \"0\""},
        {{QStringLiteral("grab"), QStringLiteral("--frames"), QStringLiteral("ten")},
         "--frames needs a whole number of at least 1, not \"ten\""},
        {{QStringLiteral("grab"), QStringLiteral("--exposure"), QStringLiteral("-1")},
         "--exposure needs a whole number of at least 0, not \"-1\""},
        {{QStringLiteral("grab"), QStringLiteral("--captures-per-product"), QStringLiteral("0")},
         "--captures-per-product needs a whole number of at least 1, not \"0\""},
        {{QStringLiteral("grab"), QStringLiteral("--products-per-cycle"), QStringLiteral("x")},
         "--products-per-cycle needs a whole number of at least 1, not \"x\""},
        {{QStringLiteral("grab"), QStringLiteral("--cycle-timeout"), QStringLiteral("-5")},
         "--cycle-timeout needs a whole number of at least 0, not \"-5\""},
        {{QStringLiteral("grab"), QStringLiteral("--save-dir"), QStringLiteral("d"), QStringLiteral("--every"),
          QStringLiteral("0")},
         "--every needs a whole number of at least 1, not \"0\""},
        {{QStringLiteral("grab"), QStringLiteral("--seconds"), QStringLiteral("-1")},
         "--seconds needs a positive number, not \"-1\""},
        {{QStringLiteral("grab"), QStringLiteral("--seconds"), QStringLiteral("0")},
         "--seconds needs a positive number, not \"0\""},
        {{QStringLiteral("grab"), QStringLiteral("--seconds"), QStringLiteral("2e6")},
         "--seconds needs a positive number, not \"2e6\""},
        {{QStringLiteral("grab"), QStringLiteral("--seconds"), QStringLiteral("nan")},
         "--seconds needs a positive number, not \"nan\""},
        {{QStringLiteral("grab"), QStringLiteral("--every"), QStringLiteral("2")}, "--every needs --save-dir"},
        {{QStringLiteral("list"), QStringLiteral("--frames"), QStringLiteral("3")}, "--frames applies to grab only"},
        {{QStringLiteral("params"), QStringLiteral("--preview")}, "--preview applies to grab only"},
        {{QStringLiteral("info"), QStringLiteral("--camera"), QStringLiteral("A")}, "--camera applies to grab only"},
        {{QStringLiteral("list"), QStringLiteral("--settings"), QStringLiteral("s.json")},
         "--settings applies to grab and params only"},
        {{QStringLiteral("list"), QStringLiteral("--set"), QStringLiteral("Gain=1")}, "--set applies to grab and params only"},
        {{QStringLiteral("grab"), QStringLiteral("--set"), QStringLiteral("Gain")}, "--set needs NAME=VALUE, not \"Gain\""},
        {{QStringLiteral("grab"), QStringLiteral("--set"), QStringLiteral("=3")}, "--set needs NAME=VALUE, not \"=3\""},
        {{QStringLiteral("grab"), QStringLiteral("--retry-interval"), QStringLiteral("-1")},
         "--retry-interval needs a number of seconds of 0 or more, not \"-1\""},
        {{QStringLiteral("grab"), QStringLiteral("--stall-after"), QStringLiteral("soon")},
         "--stall-after needs a number of seconds of 0 or more, not \"soon\""},
        {{QStringLiteral("params"), QStringLiteral("--stall-after"), QStringLiteral("1")}, "--stall-after applies to grab only"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const CommandLine line = parse(c.args);
        EXPECT_EQ(line.action, CommandLine::Action::Error);
        EXPECT_TRUE(line.text.contains(QString::fromUtf8(c.reason))) << line.text.toStdString();
        EXPECT_FALSE(line.text.contains(QLatin1Char('\n'))) << line.text.toStdString();
    }
}

TEST(HostOptions, HelpAndVersionBeforeAnyCheck)
{
    // Asked for with a command that would be wrong: the help wins.
    const CommandLine help = parse({QStringLiteral("snap"), QStringLiteral("--help")});
    ASSERT_EQ(help.action, CommandLine::Action::Help);
    for (const char *part : {"info, list, params or grab.", "params [SERIAL]", "--save-dir <DIR>", "--every <K>",
                             "130 grab interrupted (Ctrl-C)", "5 unreadable settings file"})
        EXPECT_TRUE(help.text.contains(QLatin1String(part))) << part;
    EXPECT_EQ(parse({QStringLiteral("--version")}).action, CommandLine::Action::Version);
}

} // namespace
