// The README's link-loss scenario in the viewer, with the driver's own 30 s
// reconnect timer: about 35 s.

#include "viewerfixture.h"

using namespace viewertest;

class LinkScenario : public ViewerTest
{
protected:
    QByteArray population() const override { return Population().json(); }
};

TEST_F(LinkScenario, BadgeShowsTheLossAndTheDriversOwnReconnection)
{
    // The scenario's clock starts here: loss at 3 s, link back at 6 s.
    ASSERT_EQ(VdSimConfigureFile(VANDREL_SCENARIOS "/link-loss.json"), 0);
    window->refreshCameras();
    const QString serial = QStringLiteral("VDXG4K0C0001");
    CameraSession *s = open(serial);
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(waitUntil([&] { return s->linkState() == LinkState::Lost; }, 10000));
    const QDateTime lost = s->linkStatus().since;
    ASSERT_TRUE(waitUntil([&] { return s->linkState() == LinkState::Open; }, 45000));
    const qint64 away = lost.msecsTo(s->backAt());
    EXPECT_GT(away, 20000) << "the driver retries every 30 s";
    EXPECT_LT(away, 40000);
    EXPECT_TRUE(s->badge().startsWith(QStringLiteral("back at ")));
    const quint64 atReturn = s->sink()->received();
    EXPECT_TRUE(waitUntil([&] { return s->sink()->received() > atReturn; }));
}
