// The window as a person drives it: which camera is current, the toolbar,
// the message bar, the camera list, and a layout that fits small screens.

#include "controlspanel.h"
#include "elidedlabel.h"
#include "imagecanvas.h"
#include "layoutcheck.h"
#include "viewerfixture.h"
#include "viewtoolbar.h"

#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QTabBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace viewertest;

namespace {

QTreeWidgetItem *listRow(ViewerWindow *w, const QString &text)
{
    auto *tree = w->findChild<QTreeWidget *>(QStringLiteral("cameraList"));
    for (int i = 0; tree && i < tree->topLevelItemCount(); ++i)
        if (tree->topLevelItem(i)->text(0) == text)
            return tree->topLevelItem(i);
    return nullptr;
}

std::string shown(const QStringList &problems)
{
    return problems.join(QLatin1Char('\n')).toStdString();
}

QPushButton *button(QWidget *parent, const QString &text)
{
    for (QPushButton *b : parent->findChildren<QPushButton *>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class Window : public ViewerTest
{
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // What shows which camera is current, all of it.
    void expectCurrent(const QString &serial)
    {
        SCOPED_TRACE(serial.toStdString());
        CameraSession *s = window->session(serial);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(window->currentCamera(), serial);
        EXPECT_EQ(window->editor()->session(), s);
        EXPECT_EQ(window->controls()->session(), s);
        EXPECT_TRUE(window->editorTitleLabel()->text().contains(serial)) << window->editorTitleLabel()->text().toStdString();
        EXPECT_FALSE(window->editor()->rows().isEmpty());
        EXPECT_TRUE(window->controls()->findChild<QPushButton *>(QStringLiteral("apply"))->isEnabled());
        for (LiveView *v : window->views())
            EXPECT_EQ(v->isCurrent(), v->session() == s);
        QTreeWidgetItem *item = listRow(window.get(), serial);
        ASSERT_NE(item, nullptr);
        EXPECT_TRUE(item->isSelected());
        EXPECT_TRUE(item->font(0).bold());
    }
    void selectRow(const QString &serial)
    {
        auto *tree = window->findChild<QTreeWidget *>(QStringLiteral("cameraList"));
        QTreeWidgetItem *item = listRow(window.get(), serial);
        ASSERT_NE(item, nullptr);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(item).center());
    }
};

TEST_F(Window, OpeningClickingAViewOrSwitchingTabMakesACameraCurrent)
{
    // The Open button on the selected row.
    selectRow(kColour);
    EXPECT_TRUE(window->editorTitleLabel()->text().contains(QStringLiteral("is not open")));
    button(window.get(), QStringLiteral("Open"))->click();
    expectCurrent(kColour);

    // Enter on a row opens it.
    selectRow(kMono);
    auto *tree = window->findChild<QTreeWidget *>(QStringLiteral("cameraList"));
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Return);
    ASSERT_NE(window->session(kMono), nullptr);
    expectCurrent(kMono);

    // A click on a view.
    LiveView *colourView = window->view(kColour);
    QTest::mouseClick(colourView->canvas(), Qt::LeftButton, Qt::NoModifier, colourView->canvas()->rect().center());
    expectCurrent(kColour);

    // Tabs: the tab switched to is the current camera, and the other way round.
    window->setGridLayout(false);
    auto *tabs = window->findChild<QTabWidget *>();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->currentWidget(), colourView);
    tabs->setCurrentWidget(window->view(kMono));
    expectCurrent(kMono);
    selectRow(kColour);
    expectCurrent(kColour);
    EXPECT_EQ(tabs->currentWidget(), colourView);
}

TEST_F(Window, TheToolbarWorksOnTheCurrentView)
{
    EXPECT_FALSE(window->action(QStringLiteral("fit"))->isEnabled()) << "no view yet";
    EXPECT_FALSE(window->action(QStringLiteral("saveImage"))->isEnabled());
    CameraSession *colour = open(kColour);
    CameraSession *mono = open(kMono);
    ASSERT_TRUE(colour && mono);
    LiveView *colourView = window->view(kColour);
    LiveView *monoView = window->view(kMono);
    ASSERT_TRUE(waitUntil([&] { return colourView->framesPainted() > 0 && monoView->framesPainted() > 0; }));
    for (const char *name : {"startStop", "fit", "oneToOne", "zoomIn", "zoomOut", "strip", "saveImage"})
        EXPECT_FALSE(window->action(QLatin1String(name))->shortcut().isEmpty()) << name;

    QAction *fit = window->action(QStringLiteral("fit"));
    QAction *one = window->action(QStringLiteral("oneToOne"));
    EXPECT_TRUE(fit->isCheckable() && one->isCheckable());
    EXPECT_TRUE(fit->isChecked());
    one->trigger();
    EXPECT_DOUBLE_EQ(monoView->canvas()->zoom(), 1.0);
    EXPECT_TRUE(colourView->canvas()->isFit()) << "the other view keeps its own";
    EXPECT_TRUE(one->isChecked());
    EXPECT_FALSE(fit->isChecked());
    auto *zoom = window->findChild<QComboBox *>(QStringLiteral("zoom"));
    EXPECT_EQ(zoom->currentText(), QStringLiteral("100 %"));
    window->action(QStringLiteral("zoomIn"))->trigger();
    EXPECT_EQ(zoom->currentText(), QStringLiteral("125 %"));
    EXPECT_FALSE(one->isChecked());
    // A percentage typed in.
    zoom->lineEdit()->selectAll();
    QTest::keyClicks(zoom->lineEdit(), QStringLiteral("50"));
    QTest::keyClick(zoom->lineEdit(), Qt::Key_Return);
    EXPECT_DOUBLE_EQ(monoView->canvas()->zoom(), 0.5);
    EXPECT_EQ(zoom->currentText(), QStringLiteral("50 %"));
    // The wheel in the view shows in the toolbar.
    QWheelEvent wheel(QPointF(10, 10), monoView->canvas()->mapToGlobal(QPoint(10, 10)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(monoView->canvas(), &wheel);
    EXPECT_EQ(zoom->currentText(), QStringLiteral("63 %"));
    fit->trigger();
    EXPECT_TRUE(monoView->canvas()->isFit());
    EXPECT_TRUE(fit->isChecked());

    // Strip and its lines, bounded with a word when asked for more.
    QAction *strip = window->action(QStringLiteral("strip"));
    strip->trigger();
    EXPECT_TRUE(monoView->stripMode());
    EXPECT_FALSE(colourView->stripMode());
    auto *lines = window->findChild<QSpinBox *>(QStringLiteral("stripLines"));
    lines->setFocus();
    lines->selectAll();
    QTest::keyClicks(lines, QStringLiteral("20000"));
    QTest::keyClick(lines, Qt::Key_Enter);
    EXPECT_EQ(monoView->stripLines(), LiveView::kMaxStripLines);
    EXPECT_EQ(window->messageText(), QStringLiteral("The strip keeps 64 to 16384 lines: 20000 asked, 16384 kept"));
    // The toolbar shows the view that becomes current.
    window->selectCamera(kColour);
    EXPECT_FALSE(strip->isChecked());
    EXPECT_EQ(lines->value(), colourView->stripLines());

    // Stop and start acquisition.
    QAction *startStop = window->action(QStringLiteral("startStop"));
    EXPECT_EQ(startStop->text(), QStringLiteral("Stop"));
    startStop->trigger();
    EXPECT_TRUE(colour->stopped());
    EXPECT_EQ(startStop->text(), QStringLiteral("Start"));
    EXPECT_EQ(window->badgeText(kColour), QStringLiteral("stopped"));
    EXPECT_EQ(colourView->canvas()->overlay(), QStringLiteral("stopped"));
    const quint64 atStop = colour->sink()->received();
    const quint64 monoAtStop = mono->sink()->received();
    ASSERT_TRUE(waitUntil([&] { return mono->sink()->received() >= monoAtStop + 10; }));
    EXPECT_LE(colour->sink()->received(), atStop + 1);
    startStop->trigger();
    EXPECT_FALSE(colour->stopped());
    EXPECT_EQ(colourView->canvas()->overlay(), QString());
    // Start reopens and runs the Apply step; the defaults' exposure time 0 is not sent, and said.
    EXPECT_EQ(colour->exposureSelection().outcome, SettingsLoad::ExposureSelection::OutOfRange);
    EXPECT_EQ(window->messageText(), QStringLiteral("%1: acquisition started; %2")
                                         .arg(kColour, colour->exposureSelection().text(kColour)));
    EXPECT_TRUE(waitUntil([&] { return colour->sink()->received() >= atStop + 5; })) << "frames flow again";
}

TEST_F(Window, TheMessageBarClearsOnSuccessAfterAWhileAndOnItsCloseButton)
{
    window->setMessageTimeouts(400, 300);
    auto *bar = window->findChild<QWidget *>(QStringLiteral("messageBar"));
    window->showMessage(QStringLiteral("something failed"), true);
    EXPECT_EQ(window->messageText(), QStringLiteral("something failed"));
    EXPECT_TRUE(bar->property("error").toBool());
    window->findChild<QToolButton *>(QStringLiteral("messageClose"))->click();
    EXPECT_EQ(window->messageText(), QString());

    window->showMessage(QStringLiteral("something failed"), true);
    window->showMessage(QStringLiteral("done"), false);
    EXPECT_EQ(window->messageText(), QStringLiteral("done"));
    EXPECT_FALSE(bar->property("error").toBool());
    EXPECT_TRUE(waitUntil([&] { return window->messageText().isEmpty(); }, 3000));

    window->showMessage(QStringLiteral("something failed"), true);
    EXPECT_TRUE(waitUntil([&] { return window->messageText().isEmpty(); }, 3000));
}

TEST_F(Window, ADeviceOfAnotherFamilyIsListedGreyedWithTheReason)
{
    QTreeWidgetItem *other = listRow(window.get(), QStringLiteral("1 other device(s)"));
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->text(1), QStringLiteral("not a VD-XG camera"));
    EXPECT_FALSE(other->flags() & Qt::ItemIsEnabled);
    EXPECT_FALSE(other->flags() & Qt::ItemIsSelectable);
    EXPECT_TRUE(other->toolTip(0).contains(QStringLiteral("VD-XG cameras only")));
    // Clicking it chooses nothing and opening it does nothing.
    auto *tree = window->findChild<QTreeWidget *>(QStringLiteral("cameraList"));
    const QPoint at = tree->visualItemRect(other).center();
    EXPECT_FALSE(other->isSelected()) << "before";
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_FALSE(other->isSelected());
    EXPECT_EQ(window->currentCamera(), QString());
    EXPECT_TRUE(window->views().isEmpty());
}

TEST_F(Window, TheWindowFitsALaptopAndASmallScreenWithNothingCutOrOverlapping)
{
    ASSERT_NE(open(kColour), nullptr);
    ASSERT_NE(open(kMono), nullptr);
    // Pinned parameters make the run panels as wide as they get.
    for (CameraSession *s : {window->session(kColour), window->session(kMono)}) {
        QVector<ParamWrap *> list = descriptors(s);
        for (int i : {12, 13, 14})
            list[i]->isRunningShow = true;
        s->pinChanged(12);
    }
    ASSERT_TRUE(waitUntil([&] {
        return window->view(kColour)->framesPainted() > 2 && window->view(kMono)->framesPainted() > 2;
    }));
    for (const QSize size : {QSize(1366, 768), QSize(800, 600)}) {
        SCOPED_TRACE(size.width());
        // The offscreen platform's screen is 800 x 600: there the window fits
        // itself to it, as at start.
        if (size.width() == 800)
            window->fitToScreen();
        else
            window->resize(size);
        QCoreApplication::processEvents();
        ASSERT_TRUE(waitUntil([&] { return window->size() == size; }, 2000)) << window->width() << "x" << window->height();
        for (LiveView *v : window->views())
            v->updateStatus();
        QCoreApplication::processEvents();
        EXPECT_EQ(layoutProblemsOfEveryPanel(window.get()), QStringList());
    }
    // At 800 wide the status line is shortened, with the whole of it in its
    // tooltip; the run state before it stays whole.
    ElidedLabel *status = window->view(kMono)->statusLine();
    EXPECT_TRUE(status->isElided());
    EXPECT_TRUE(status->text().endsWith(QStringLiteral("…")));
    EXPECT_TRUE(status->toolTip().contains(QStringLiteral("received"))) << status->toolTip().toStdString();
    EXPECT_EQ(window->view(kMono)->runStateLabel()->text(), QStringLiteral("preview"));
    // What the toolbar keeps behind its extension button a menu offers.
    bool inMenu = false;
    for (QMenu *m : window->menuBar()->findChildren<QMenu *>())
        inMenu = inMenu || m->actions().contains(window->action(QStringLiteral("record")));
    EXPECT_TRUE(inMenu) << "Record is in no menu";
}

TEST_F(Window, TheLayoutCheckFindsWhatAPersonWouldSeeAsBroken)
{
    ASSERT_NE(open(kMono), nullptr);
    window->resize(1366, 768);
    QCoreApplication::processEvents();
    ASSERT_EQ(layoutProblemsOfEveryPanel(window.get()), QStringList()) << shown(layoutProblemsOfEveryPanel(window.get()));
    auto only = [&](const QString &start) {
        const QStringList problems = layoutProblems(window.get());
        ASSERT_EQ(problems.size(), 1) << problems.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(problems.first().startsWith(start)) << problems.first().toStdString();
    };

    auto *cut = new QLabel(QStringLiteral("a text far too long for the room it has"), window->centralWidget());
    cut->setGeometry(0, 0, 40, 20);
    cut->show();
    only(QStringLiteral("QLabel \"a text far too long for the room it has\" is cut"));
    delete cut;

    auto *tabs = new QTabBar(window->centralWidget());
    tabs->setElideMode(Qt::ElideNone);
    tabs->setUsesScrollButtons(false);
    tabs->addTab(QStringLiteral("a tab with a long title"));
    tabs->setGeometry(0, 0, 60, 30);
    tabs->show();
    QCoreApplication::processEvents();
    only(QStringLiteral("tab \"a tab with a long title\""));
    // Shortened with "…" it is whole in its tooltip.
    tabs->setElideMode(Qt::ElideRight);
    tabs->setTabToolTip(0, tabs->tabText(0));
    tabs->setGeometry(0, 0, 110, 30);
    QCoreApplication::processEvents();
    ASSERT_LT(tabs->tabRect(0).width(), tabs->fontMetrics().horizontalAdvance(tabs->tabText(0))) << "not shortened";
    EXPECT_EQ(layoutProblems(window.get()), QStringList()) << shown(layoutProblems(window.get()));
    delete tabs;

    auto *area = new QScrollArea(window->centralWidget());
    auto *wide = new QWidget;
    wide->setMinimumSize(400, 20);
    auto *below = new QPushButton(QStringLiteral("Needed"), wide);
    below->setGeometry(0, 200, 80, 30);
    below->setProperty("keepInView", true);
    area->setWidget(wide);
    area->setGeometry(0, 0, 200, 100);
    area->show();
    QCoreApplication::processEvents();
    const QStringList problems = layoutProblems(window.get());
    EXPECT_EQ(problems.filter(QStringLiteral("scrolls sideways")).size(), 1) << problems.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(problems.filter(QStringLiteral("QPushButton \"Needed\" lies outside the visible part")).size(), 1)
        << problems.join(QLatin1Char('\n')).toStdString();
    area->setProperty("scrollsSideways", true);
    below->move(0, 0);
    EXPECT_EQ(layoutProblems(window.get()), QStringList()) << shown(layoutProblems(window.get()));
    delete area;

    // An action behind the toolbar's extension button that no menu offers.
    QAction *extra = window->toolbar()->addAction(QStringLiteral("Only in the toolbar"));
    window->toolbar()->setMaximumWidth(200);
    QCoreApplication::processEvents();
    const QString hidden = QStringLiteral("toolbar action \"Only in the toolbar\" is behind the toolbar's extension button");
    EXPECT_EQ(layoutProblems(window.get()).filter(hidden).size(), 1) << shown(layoutProblems(window.get()));
    window->menuBar()->addMenu(QStringLiteral("Extra"))->addAction(extra);
    EXPECT_EQ(layoutProblems(window.get()).filter(QStringLiteral("toolbar action")), QStringList());
}

TEST_F(Window, OnASmallScreenThePanelsGoToTheRightAsTabsAndTheirToggleWorks)
{
    // The offscreen platform's screen is 800 x 600.
    window->fitToScreen();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(800, 600));
    auto *cameras = window->findChild<QDockWidget *>(QStringLiteral("camerasDock"));
    auto *editorDock = window->findChild<QDockWidget *>(QStringLiteral("editorDock"));
    EXPECT_EQ(window->dockWidgetArea(cameras), Qt::RightDockWidgetArea);
    EXPECT_TRUE(window->tabifiedDockWidgets(editorDock).contains(cameras));
    QAction *toggle = cameras->toggleViewAction();
    toggle->trigger();
    EXPECT_TRUE(cameras->isHidden());
    toggle->trigger();
    EXPECT_FALSE(cameras->isHidden());
    EXPECT_TRUE(layoutProblems(window.get()).isEmpty()) << layoutProblems(window.get()).join(QLatin1Char('\n')).toStdString();
}
