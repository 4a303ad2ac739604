// A lost camera shows its state, timed, while the other keeps working; the
// driver's reconnect tick is driven here rather than waited for.

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

TEST_F(Link, BadgeGoesToLostAndBackToReconnectedWhileTheOtherCameraKeepsWorking)
{
    CameraSession *colour = open(kColour);
    CameraSession *mono = open(kMono);
    ASSERT_TRUE(colour && mono);
    ASSERT_TRUE(waitUntil([&] { return colour->sink()->received() > 0 && mono->sink()->received() > 0; }));
    EXPECT_EQ(listedState(window.get(), kColour), QStringLiteral("open"));

    const QTime before = QTime::currentTime().addMSecs(-1000);
    ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 1), 0);
    ASSERT_TRUE(waitUntil([&] { return colour->link() == CameraSession::Link::Lost; }));
    EXPECT_TRUE(colour->badge().startsWith(QStringLiteral("lost since "))) << colour->badge().toStdString();
    EXPECT_GE(colour->lostSince().time(), before);
    EXPECT_EQ(listedState(window.get(), kColour), colour->badge());
    window->view(kColour)->updateStatus();
    EXPECT_TRUE(window->view(kColour)->statusText().contains(colour->badge()));

    // The other camera goes on; the lost one delivers nothing.
    const quint64 colourAtLoss = colour->sink()->received();
    const quint64 monoAtLoss = mono->sink()->received();
    ASSERT_TRUE(waitUntil([&] { return mono->sink()->received() >= monoAtLoss + 10; }));
    EXPECT_LE(colour->sink()->received(), colourAtLoss + 1);  // one may have been on its way
    EXPECT_EQ(mono->link(), CameraSession::Link::Open);

    // Back: the next tick of the driver's reconnect timer reopens it.
    ASSERT_EQ(VdSimLinkRestored(kColour.toUtf8().constData()), 0);
    ASSERT_TRUE(tickReconnectTimer(colour->camera()));
    ASSERT_TRUE(waitUntil([&] { return colour->link() == CameraSession::Link::Reconnected; }));
    EXPECT_TRUE(colour->badge().startsWith(QStringLiteral("reconnected at "))) << colour->badge().toStdString();
    EXPECT_EQ(listedState(window.get(), kColour), colour->badge());
    ASSERT_EQ(colour->linkEvents().size(), 2);
    EXPECT_TRUE(colour->linkEvents()[0].lost);
    EXPECT_FALSE(colour->linkEvents()[1].lost);
    EXPECT_LE(colour->linkEvents()[0].at, colour->linkEvents()[1].at);
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

    // The frozen picture says when, and when the driver tries again.
    view->updateStatus();
    const QString lostAt = colour->lostSince().toString(QStringLiteral("hh:mm:ss"));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^link lost at (\\d\\d:\\d\\d:\\d\\d) · next retry in (\\d+) s$"))
            .match(view->canvas()->overlay());
    ASSERT_TRUE(m.hasMatch()) << view->canvas()->overlay().toStdString();
    EXPECT_EQ(m.captured(1), lostAt);
    EXPECT_GE(m.captured(2).toInt(), 1);
    EXPECT_LE(m.captured(2).toInt(), 30);
    // The status says it once.
    EXPECT_EQ(view->statusText().count(lostAt), 1) << view->statusText().toStdString();

    // Reconnect now: restartCamera, without waiting for the driver's retry.
    const quint64 before = colour->sink()->received();
    reconnect->trigger();
    EXPECT_TRUE(colour->lost()) << "the device is still away";
    EXPECT_EQ(window->messageText(),
              QStringLiteral("%1: still unreachable; the driver keeps retrying every 30 s").arg(kColour));
    ASSERT_EQ(VdSimLinkRestored(kColour.toUtf8().constData()), 0);
    reconnect->trigger();
    EXPECT_EQ(colour->link(), CameraSession::Link::Reconnected);
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_TRUE(window->editor()->rows().first()->isEnabled());
    EXPECT_FALSE(reconnect->isEnabled());
    view->updateStatus();
    EXPECT_EQ(view->canvas()->overlay(), QString());
    EXPECT_TRUE(waitUntil([&] { return colour->sink()->received() >= before + 5; })) << "frames flow again";
    // The driver's own report of the return, at its next retry, is the same return.
    ASSERT_TRUE(tickReconnectTimer(colour->camera()));
    ASSERT_TRUE(waitUntil([&] { return colour->linkEvents().size() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(colour->linkEvents().size(), 2);
}

TEST_F(Link, ClosingWhileLostAndClosingTheWindowLeaveNothingRunning)
{
    CameraSession *colour = open(kColour);
    ASSERT_NE(open(kMono), nullptr);
    ASSERT_EQ(VdSimLinkLost(kColour.toUtf8().constData(), 0), 0);
    ASSERT_TRUE(waitUntil([&] { return colour->link() == CameraSession::Link::Lost; }));
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
