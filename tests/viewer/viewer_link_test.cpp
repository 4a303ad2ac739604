// The link state as a person sees it: a lost camera's state, timed, while the
// other keeps working (the driver's reconnect tick driven rather than waited
// for); a retry interval bringing it back well before that tick; a camera
// gone without a message shown stalled, a camera in trigger mode not.

#include "controlspanel.h"
#include "imagecanvas.h"
#include "viewerfixture.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace viewertest;

namespace {

// The driver retries a lost camera on a 30 s timer of its own; one tick of
// it, now, instead of the wait.
bool tickReconnectTimer(CameraInterface *camera)
{
    for (QTimer *t : camera->findChildren<QTimer *>())
        if (t->interval() == 30000)
            return QMetaObject::invokeMethod(t, "timeout");
    return false;
}

QString listedState(ViewerWindow *window, const QString &serial)
{
    const auto *list = window->findChild<QTreeWidget *>(QStringLiteral("cameraList"));
    for (int i = 0; list && i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0) == serial)
            return list->topLevelItem(i)->text(1);
    return QString();
}

} // namespace

class Link : public ViewerTest
{
};

TEST_F(Link, BadgeGoesToLostAndBackWhileTheOtherCameraKeepsWorking)
{
    CameraSession *colour = open(kColour);
    CameraSession *mono = open(kMono);
    ASSERT_TRUE(colour && mono);
    ASSERT_TRUE(waitUntil([&] { return colour->sink()->received() > 0 && mono->sink()->received() > 0; }));
    EXPECT_EQ(listedState(window.get(), kColour), QStringLiteral("open"));

    const QTime before = QTime::currentTime().addMSecs(-1000);
    ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 1), 0);
    ASSERT_TRUE(waitUntil([&] { return colour->linkState() == LinkState::Lost; }));
    EXPECT_TRUE(colour->badge().startsWith(QStringLiteral("lost since "))) << colour->badge().toStdString();
    EXPECT_GE(colour->linkStatus().since.time(), before);
    EXPECT_EQ(listedState(window.get(), kColour), colour->badge());
    window->view(kColour)->updateStatus();
    EXPECT_TRUE(window->view(kColour)->statusText().contains(colour->badge()));

    // The other camera goes on; the lost one delivers nothing.
    const quint64 colourAtLoss = colour->sink()->received();
    const quint64 monoAtLoss = mono->sink()->received();
    ASSERT_TRUE(waitUntil([&] { return mono->sink()->received() >= monoAtLoss + 10; }));
    EXPECT_LE(colour->sink()->received(), colourAtLoss + 1);  // one may have been on its way
    EXPECT_EQ(mono->linkState(), LinkState::Open);
    EXPECT_EQ(listedState(window.get(), kMono), QStringLiteral("open"));

    // Back: the next tick of the driver's reconnect timer reopens it.
    ASSERT_EQ(VdSimLinkRestored(kColour.toUtf8().constData()), 0);
    ASSERT_TRUE(tickReconnectTimer(colour->camera()));
    ASSERT_TRUE(waitUntil([&] { return colour->linkState() == LinkState::Open; }));
    EXPECT_EQ(colour->badge(), QStringLiteral("back at %1").arg(colour->backAt().toString(QStringLiteral("hh:mm:ss"))));
    EXPECT_EQ(listedState(window.get(), kColour), colour->badge());
    ASSERT_EQ(colour->linkEvents().size(), 2);
    EXPECT_EQ(colour->linkEvents()[0].kind, LinkEvent::Lost);
    EXPECT_EQ(colour->linkEvents()[1].kind, LinkEvent::Back);
    EXPECT_TRUE(colour->linkEvents()[1].detail.startsWith(QStringLiteral("CameraReconnect")))
        << colour->linkEvents()[1].detail.toStdString();
    EXPECT_LE(colour->linkEvents()[0].time, colour->linkEvents()[1].time);
    const quint64 colourAtReturn = colour->sink()->received();
    EXPECT_TRUE(waitUntil([&] { return colour->sink()->received() >= colourAtReturn + 5; }))
        << "frames flow again after the reconnection";
}

TEST_F(Link, WhileLostTheCameraControlsAreOffThePictureSaysWhenAndReconnectNowBringsItBack)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CameraSession *colour = open(kColour);
    ASSERT_NE(open(kMono), nullptr);
    window->selectCamera(kColour);
    LiveView *view = window->view(kColour);
    ASSERT_TRUE(waitUntil([&] { return view->framesPainted() > 0; }));
    ControlsPanel *controls = window->controls();
    auto *apply = controls->findChild<QPushButton *>(QStringLiteral("apply"));
    auto *trigger = controls->findChild<QPushButton *>(QStringLiteral("softTrigger"));
    auto *product = controls->findChild<QSpinBox *>(QStringLiteral("triggerProduct"));
    auto *mode = controls->findChild<QLabel *>(QStringLiteral("triggerMode"));
    QAction *reconnect = window->action(QStringLiteral("reconnect"));
    EXPECT_FALSE(reconnect->isEnabled());
    const QString modeBefore = mode->text();

    ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 0), 0);
    ASSERT_TRUE(waitUntil([&] { return colour->lost(); }));
    // Nothing that needs the camera pretends to work.
    EXPECT_FALSE(apply->isEnabled());
    EXPECT_FALSE(trigger->isEnabled());
    const int productBefore = product->value();
    trigger->click();
    EXPECT_EQ(product->value(), productBefore);
    for (QWidget *row : window->editor()->rows())
        EXPECT_FALSE(row->isEnabled());
    for (QWidget *row : view->runPanel()->rows())
        EXPECT_FALSE(row->isEnabled());
    EXPECT_EQ(mode->text(), QStringLiteral("Trigger mode: unknown while the link is lost")) << modeBefore.toStdString();
    EXPECT_TRUE(reconnect->isEnabled());
    EXPECT_FALSE(window->action(QStringLiteral("startStop"))->isEnabled());

    // The frozen picture says when, and that the driver tries again when.
    view->updateStatus();
    const QString lostAt = colour->linkStatus().since.toString(QStringLiteral("hh:mm:ss"));
    const QRegularExpressionMatch m =
        QRegularExpression(
            QStringLiteral("^link lost at (\\d\\d:\\d\\d:\\d\\d) · the driver retries every 30 s · next in (\\d+) s$"))
            .match(view->canvas()->overlay());
    ASSERT_TRUE(m.hasMatch()) << view->canvas()->overlay().toStdString();
    EXPECT_EQ(m.captured(1), lostAt);
    EXPECT_GE(m.captured(2).toInt(), 1);
    EXPECT_LE(m.captured(2).toInt(), 30);
    // The status says it once, and neither "running" nor a rate that fades.
    EXPECT_EQ(view->statusText().count(lostAt), 1) << view->statusText().toStdString();
    EXPECT_TRUE(view->statusText().startsWith(QStringLiteral("link lost  |  "))) << view->statusText().toStdString();
    EXPECT_TRUE(view->statusText().contains(QStringLiteral("|  0.0 fps · 0.0 MB/s  |")))
        << view->statusText().toStdString();

    // Reconnect now: restartCamera, without waiting for the driver's retry.
    const quint64 before = colour->sink()->received();
    reconnect->trigger();
    EXPECT_TRUE(colour->lost()) << "the device is still away";
    EXPECT_EQ(window->messageText(),
              QStringLiteral("%1: still unreachable; the driver keeps retrying every 30 s").arg(kColour));
    ASSERT_EQ(VdSimLinkRestored(kColour.toUtf8().constData()), 0);
    reconnect->trigger();
    EXPECT_EQ(colour->linkState(), LinkState::Open);
    // Opened with the defaults, whose exposure time 0 lies below the camera's range.
    EXPECT_EQ(window->messageText(),
              QStringLiteral("%1: reconnected; %2").arg(kColour, colour->exposureSelection().text(kColour)));
    EXPECT_EQ(colour->exposureSelection().outcome, SettingsLoad::ExposureSelection::OutOfRange);
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_TRUE(window->editor()->rows().first()->isEnabled());
    EXPECT_FALSE(reconnect->isEnabled());
    // Back, not a countdown to a retry no longer due.
    view->updateStatus();
    const QString backAt = colour->backAt().toString(QStringLiteral("hh:mm:ss"));
    EXPECT_EQ(view->canvas()->overlay(), QStringLiteral("link back at %1").arg(backAt));
    EXPECT_EQ(listedState(window.get(), kColour), QStringLiteral("back at %1").arg(backAt));
    EXPECT_TRUE(waitUntil([&] { return colour->sink()->received() >= before + 5; })) << "frames flow again";
    // The driver's own report of the return, at its next retry, is the same return.
    ASSERT_TRUE(tickReconnectTimer(colour->camera()));
    ASSERT_TRUE(waitUntil([&] { return colour->linkEvents().size() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(colour->linkEvents().size(), 2);
    EXPECT_EQ(colour->linkEvents()[1].kind, LinkEvent::Back);
}

TEST_F(Link, ClosingWhileLostAndClosingTheWindowLeaveNothingRunning)
{
    CameraSession *colour = open(kColour);
    ASSERT_NE(open(kMono), nullptr);
    ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 0), 0);
    ASSERT_TRUE(waitUntil([&] { return colour->linkState() == LinkState::Lost; }));
    window->closeCamera(kColour);
    EXPECT_EQ(window->session(kColour), nullptr);
    EXPECT_EQ(window->badgeText(kColour), QStringLiteral("closed"));
    ASSERT_EQ(VdSimLinkRestored(kColour.toUtf8().constData()), 0);
    window->close();
    EXPECT_TRUE(window->views().isEmpty());
    double open = -1;
    ASSERT_EQ(VdSimGetValue(kMono.toUtf8().constData(), "open", &open), 0);
    EXPECT_EQ(open, 0) << "closing the window closes every camera";
}

TEST_F(Link, ARetryIntervalBringsALostCameraBackWellBeforeTheDriversTickAndThePictureSaysWhichPolicyRuns)
{
    window->setLinkPolicy({500, 5000});
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CameraSession *colour = open(kColour);
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(colour->linkPolicy().retryIntervalMs, 500);
    LiveView *view = window->view(kColour);
    ASSERT_TRUE(waitUntil([&] { return colour->sink()->received() > 0; }));

    ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 0), 0);
    ASSERT_TRUE(waitUntil([&] { return colour->lost(); }));
    const QDateTime lostAt = colour->linkStatus().since;
    view->updateStatus();
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^link lost at %1 · retrying every 0\\.5 s · (next in 1 s|retrying now)$")
                               .arg(lostAt.toString(QStringLiteral("hh:mm:ss"))))
            .match(view->canvas()->overlay());
    EXPECT_TRUE(m.hasMatch()) << view->canvas()->overlay().toStdString();
    // The device is still away: the retries fail and the camera stays lost.
    QAction *reconnect = window->action(QStringLiteral("reconnect"));
    reconnect->trigger();
    EXPECT_TRUE(colour->lost());
    EXPECT_EQ(window->messageText(), QStringLiteral("%1: still unreachable; retrying every 0.5 s").arg(kColour));

    ASSERT_EQ(VdSimLinkRestored(kColour.toUtf8().constData()), 0);
    const quint64 atReturn = colour->sink()->received();
    ASSERT_TRUE(waitUntil([&] { return colour->linkState() == LinkState::Open; }, 5000));
    EXPECT_LT(lostAt.msecsTo(colour->backAt()), 5000) << "the keeper's retry, not the driver's 30 s tick";
    ASSERT_EQ(colour->linkEvents().size(), 2);
    EXPECT_EQ(colour->linkEvents()[1].kind, LinkEvent::Back);
    EXPECT_TRUE(colour->linkEvents()[1].detail.contains(QStringLiteral("host's retry")))
        << colour->linkEvents()[1].detail.toStdString();
    view->updateStatus();
    const QString backAt = colour->backAt().toString(QStringLiteral("hh:mm:ss"));
    EXPECT_EQ(view->canvas()->overlay(), QStringLiteral("link back at %1").arg(backAt));
    EXPECT_EQ(listedState(window.get(), kColour), QStringLiteral("back at %1").arg(backAt));
    EXPECT_TRUE(view->statusText().contains(QStringLiteral("link: back at %1 · earlier: lost %2")
                                                .arg(backAt, lostAt.toString(QStringLiteral("hh:mm:ss")))))
        << view->statusText().toStdString();
    EXPECT_FALSE(reconnect->isEnabled());
    EXPECT_TRUE(waitUntil([&] { return colour->sink()->received() >= atReturn + 5; })) << "frames flow again";
    // The driver's own reopening at its tick is the same return, not another.
    if (tickReconnectTimer(colour->camera())) {
        QCoreApplication::processEvents();
        EXPECT_EQ(colour->linkEvents().size(), 2);
        EXPECT_EQ(colour->linkState(), LinkState::Open);
    }
}

namespace {

// The colour camera free-running, the mono one waiting for triggers.
class StallLink : public ViewerTest
{
protected:
    QByteArray population() const override
    {
        return Population()
            .add("VD-XG2K-C", "VWCOLOUR0001", smallColour)
            .add("VD-XG4K-M", "VWMONO000002", [](Population::Device &d) {
                smallMono(d);
                d.triggerMode = 1;
            })
            .json();
    }
};

} // namespace

TEST_F(StallLink, ACameraGoneWithoutAMessageShowsStalledAndIsReopenedByTheRetryWhileATriggeredOneIsNotStalled)
{
    window->setLinkPolicy({300, 400});
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    CameraSession *mono = open(kMono);
    CameraSession *colour = open(kColour);
    ASSERT_TRUE(mono && colour);
    LiveView *view = window->view(kColour);
    ASSERT_TRUE(waitUntil([&] { return colour->sink()->received() > 0; }));

    ASSERT_EQ(VdSimSetAttached(kColour.toUtf8().constData(), 0), 0);
    ASSERT_TRUE(waitUntil([&] { return colour->linkState() == LinkState::Stalled; }, 5000));
    const QString since = colour->linkStatus().since.toString(QStringLiteral("hh:mm:ss"));
    EXPECT_EQ(colour->badge(), QStringLiteral("stalled since %1").arg(since));
    EXPECT_EQ(listedState(window.get(), kColour), colour->badge());
    EXPECT_EQ(colour->linkEvents().constLast().kind, LinkEvent::Stalled);
    view->updateStatus();
    EXPECT_TRUE(view->canvas()->overlay().startsWith(
        QStringLiteral("stalled since %1: no frame, no status message · retrying every 0.3 s").arg(since)))
        << view->canvas()->overlay().toStdString();
    EXPECT_TRUE(view->statusText().startsWith(QStringLiteral("stalled  |  "))) << view->statusText().toStdString();
    EXPECT_TRUE(window->action(QStringLiteral("reconnect"))->isEnabled());
    // Opened first and silent since, longer than the colour camera: yet it
    // was never asked for a frame. Its keeper gets two more looks.
    QTest::qWait(2 * LinkKeeper::kLookMs);
    EXPECT_EQ(mono->linkState(), LinkState::Open);
    EXPECT_TRUE(mono->linkEvents().isEmpty());
    EXPECT_EQ(listedState(window.get(), kMono), QStringLiteral("open"));

    const quint64 atReturn = colour->sink()->received();
    ASSERT_EQ(VdSimSetAttached(kColour.toUtf8().constData(), 1), 0);
    ASSERT_TRUE(waitUntil([&] { return colour->linkState() == LinkState::Open; }, 5000));
    EXPECT_TRUE(colour->badge().startsWith(QStringLiteral("back at "))) << colour->badge().toStdString();
    EXPECT_EQ(colour->linkEvents().constLast().kind, LinkEvent::Back);
    EXPECT_EQ(colour->linkStatus().stalls, 1);
    EXPECT_EQ(colour->linkStatus().losses, 0);
    EXPECT_TRUE(waitUntil([&] { return colour->sink()->received() >= atReturn + 5; })) << "frames flow again";
    EXPECT_EQ(mono->linkState(), LinkState::Open);
}

TEST_F(StallLink, WithoutARetryIntervalAStalledCameraSaysItWaitsForItsNextFrame)
{
    window->setLinkPolicy({0, 400});
    CameraSession *colour = open(kColour);
    ASSERT_NE(colour, nullptr);
    ASSERT_TRUE(waitUntil([&] { return colour->sink()->received() > 0; }));
    ASSERT_EQ(VdSimSetAttached(kColour.toUtf8().constData(), 0), 0);
    ASSERT_TRUE(waitUntil([&] { return colour->linkState() == LinkState::Stalled; }, 5000));
    EXPECT_EQ(colour->retryText(), QStringLiteral("no retry interval set: back with its next frame"));
    EXPECT_EQ(colour->nextRetryMs(), -1);
}

TEST(WindowWithoutPlugin, SaysWhyAndOpensNothing)
{
    ViewerWindow window(nullptr);
    window.setPluginError(QStringLiteral("no plug-in libVandrel.so in /nowhere"));
    EXPECT_EQ(window.messageText(), QStringLiteral("No plug-in: no plug-in libVandrel.so in /nowhere"));
    QString error;
    EXPECT_EQ(window.openCamera(QStringLiteral("VDXG4K0C0001"), error), nullptr);
    EXPECT_EQ(error, QStringLiteral("no plug-in loaded"));
    EXPECT_FALSE(window.saveSettings(QStringLiteral("/tmp/never-written.json"), error));
    EXPECT_EQ(error, QStringLiteral("no camera is open: nothing to save"));
}
