// The link-loss scenario shipped with vandrel-host, run as the README shows
// it: the camera's link goes at 3 s and comes back at 6 s; the driver's 30 s
// retry reopens it.

#include "hostrunner.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

TEST(HostLinkLoss, ScenarioShowsTheLossAndTheAutomaticReconnection)
{
    const HostRun r = runHost({QStringLiteral("grab"), QStringLiteral("--seconds"), QStringLiteral("40"),
                               QStringLiteral("--sim-config"), QStringLiteral(VANDREL_HOST_SCENARIOS "/link-loss.json")},
                              120000);
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    // Event lines: "[hh:mm:ss.zzz +S.sss s] SERIAL EVENT: text", in order.
    const QRegularExpression eventLine(QStringLiteral(R"(^\[\d\d:\d\d:\d\d\.\d{3} \+(\d+\.\d{3}) s\] (\S+) (\w+):)"),
                                       QRegularExpression::MultilineOption);
    QStringList events;
    QVector<double> times;
    for (auto it = eventLine.globalMatch(r.out); it.hasNext();) {
        const auto m = it.next();
        events << m.captured(2) + QLatin1Char(' ') + m.captured(3);
        times << m.captured(1).toDouble();
    }
    ASSERT_EQ(events, (QStringList{QStringLiteral("VDXG4K0C0001 lost"), QStringLiteral("VDXG4K0C0001 back")}))
        << r.out.toStdString();
    // The run's clock starts a little after the simulator's, which times the events.
    EXPECT_GT(times[0], 1.0);
    EXPECT_LT(times[0], 3.5);
    // Not before the link is back (6 s), and within one 30 s retry interval of
    // it: the driver's own reconnection, with no retry of the host's.
    EXPECT_TRUE(r.out.contains(QStringLiteral("back: CameraReconnect"))) << r.out.toStdString();
    EXPECT_GT(times[1], 4.0);
    EXPECT_LT(times[1], 36.0);

    // Summary lines: the lost camera came back; the other one never left.
    const QRegularExpression summary(
        QStringLiteral(R"(^(\S+)  \d+x\d+x\d  frames (\d+)  ([\d.]+) fps .* losses (\d+)  stalls \d+  reconnects (\d+)  link (\w+))"),
        QRegularExpression::MultilineOption);
    QMap<QString, QRegularExpressionMatch> bySerial;
    for (auto it = summary.globalMatch(r.out); it.hasNext();) {
        const auto m = it.next();
        bySerial.insert(m.captured(1), m);
    }
    ASSERT_TRUE(bySerial.contains(QStringLiteral("VDXG4K0C0001"))) << r.out.toStdString();
    ASSERT_TRUE(bySerial.contains(QStringLiteral("VDXG8K0M0002")));
    const auto lost = bySerial.value(QStringLiteral("VDXG4K0C0001"));
    const auto kept = bySerial.value(QStringLiteral("VDXG8K0M0002"));
    EXPECT_EQ(lost.captured(4), QStringLiteral("1"));
    EXPECT_EQ(lost.captured(5), QStringLiteral("1"));
    EXPECT_EQ(lost.captured(6), QStringLiteral("up"));
    EXPECT_EQ(kept.captured(4), QStringLiteral("0"));
    EXPECT_EQ(kept.captured(6), QStringLiteral("up"));

    // Frames stop while the link is down and flow again after the reconnection.
    const int lostFrames = lost.captured(2).toInt();
    const int keptFrames = kept.captured(2).toInt();
    const double downSeconds = times[1] - times[0];
    EXPECT_LT(lostFrames, keptFrames * 3 / 4);
    EXPECT_GT(lostFrames, int(kept.captured(3).toDouble() * (40.0 - downSeconds) / 2));
}

} // namespace
