// The link-loss scenario shipped with vandrel-host, end to end: the camera's
// link goes at 3 s and comes back at 6 s; the driver's 30 s retry reopens it.

#include "hostrunner.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

TEST(HostLinkLoss, ScenarioShowsTheLossAndTheAutomaticReconnection)
{
    const HostRun r = runHost({QStringLiteral("grab"), QStringLiteral("--seconds"), QStringLiteral("40"),
                               QStringLiteral("--sim-config"), QStringLiteral(VANDREL_HOST_SCENARIOS "/link-loss.json"),
                               QStringLiteral("--json")},
                              120000);
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    QJsonObject lost, kept;
    for (const QJsonValue &v : r.json().value(QStringLiteral("cameras")).toArray()) {
        const QJsonObject c = v.toObject();
        (c.value(QStringLiteral("serial")).toString() == QStringLiteral("VDXG4K0C0001") ? lost : kept) = c;
    }
    ASSERT_FALSE(lost.isEmpty());
    ASSERT_FALSE(kept.isEmpty());

    const QJsonArray events = lost.value(QStringLiteral("events")).toArray();
    ASSERT_EQ(events.size(), 2) << r.out.toStdString();
    const QJsonObject loss = events.at(0).toObject();
    const QJsonObject back = events.at(1).toObject();
    EXPECT_EQ(loss.value(QStringLiteral("event")).toString(), QStringLiteral("CameraLoss"));
    EXPECT_EQ(back.value(QStringLiteral("event")).toString(), QStringLiteral("CameraReconnect"));
    // The run's clock starts a little after the simulator's, which times the events.
    const double lossMs = loss.value(QStringLiteral("atMs")).toDouble();
    const double backMs = back.value(QStringLiteral("atMs")).toDouble();
    EXPECT_GT(lossMs, 1000);
    EXPECT_LT(lossMs, 3500);
    // Not before the link is back (6 s), and within one 30 s retry interval of it.
    EXPECT_GT(backMs, 6000 - 2000);
    EXPECT_LT(backMs, 36000);
    EXPECT_TRUE(lost.value(QStringLiteral("linkUp")).toBool());

    // Frames stop while the link is down and resume after the reconnection.
    const double fps = kept.value(QStringLiteral("fps")).toDouble();
    const int expectedUp = int(fps * (40.0 - (backMs - lossMs) / 1000.0));
    EXPECT_LT(lost.value(QStringLiteral("frames")).toInt(), kept.value(QStringLiteral("frames")).toInt() * 3 / 4);
    EXPECT_GT(lost.value(QStringLiteral("frames")).toInt(), expectedUp / 2);
    EXPECT_TRUE(kept.value(QStringLiteral("events")).toArray().isEmpty());

    // The person watching sees both, with times.
    EXPECT_TRUE(r.err.contains(QStringLiteral("VDXG4K0C0001 CameraLoss"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("VDXG4K0C0001 CameraReconnect")));
}

} // namespace
