// The main window's menus and the actions they share with the toolbar.
#include "viewerwindow.h"

#include "abouttext.h"
#include "viewtoolbar.h"

#include <QAction>
#include <QDockWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

void ViewerWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    saveSettingsAction =
        file->addAction(tr("&Save settings…"), this, &ViewerWindow::saveSettingsWithDialog, QKeySequence::Save);
    saveSettingsAction->setEnabled(false);  // until a camera is open
    file->addAction(tr("&Load settings…"), this, &ViewerWindow::loadSettingsWithDialog, QKeySequence::Open);
    file->addSeparator();
    file->addAction(tools->action(QStringLiteral("saveImage")));
    file->addSeparator();
    file->addAction(tr("&Quit"), this, &QWidget::close, QKeySequence::Quit);
    QMenu *cameraMenu = menuBar()->addMenu(tr("&Camera"));
    cameraMenu->addAction(tr("&Refresh list"), this, &ViewerWindow::refreshCameras, QKeySequence::Refresh);
    cameraMenu->addAction(tr("&Open"), this, &ViewerWindow::openSelected);
    cameraMenu->addAction(tr("&Close"), this, &ViewerWindow::closeSelected);
    cameraMenu->addSeparator();
    cameraMenu->addAction(tools->action(QStringLiteral("startStop")));
    cameraMenu->addAction(tools->action(QStringLiteral("reconnect")));
    // Also here: on a narrow screen the toolbar keeps it behind its extension button.
    cameraMenu->addSeparator();
    cameraMenu->addAction(recordAction);
    QMenu *viewMenu = menuBar()->addMenu(tr("&View"));
    for (const char *name : {"fit", "oneToOne", "zoomIn", "zoomOut", "strip"})
        viewMenu->addAction(tools->action(QLatin1String(name)));
    viewMenu->addSeparator();
    QAction *tabs = viewMenu->addAction(tr("&Tabs instead of a grid"));
    tabs->setCheckable(true);
    connect(tabs, &QAction::toggled, this, [this](bool on) { setGridLayout(!on); });
    viewMenu->addSeparator();
    viewMenu->addAction(tools->toggleViewAction());
    viewMenu->addAction(camerasDock->toggleViewAction());
    viewMenu->addAction(controlsDock->toggleViewAction());
    viewMenu->addAction(editorDock->toggleViewAction());
    QMenu *helpMenu = menuBar()->addMenu(tr("&Help"));
    QAction *about = helpMenu->addAction(tr("&About vandrel-viewer"), this, [this] {
        QMessageBox::about(this, tr("About vandrel-viewer"), aboutText(plugin));
    });
    about->setObjectName(QStringLiteral("aboutAction"));
}

QAction *ViewerWindow::action(const QString &name) const
{
    if (name == QLatin1String("record"))
        return recordAction;
    return tools->action(name);
}

QIcon ViewerWindow::recordIcon()
{
    // The style has no record symbol: a red dot, as on any recorder.
    QPixmap dot(32, 32);
    dot.fill(Qt::transparent);
    QPainter p(&dot);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0x20, 0x20));
    p.drawEllipse(QRectF(5, 5, 22, 22));
    return QIcon(dot);
}

void ViewerWindow::updateActions()
{
    tools->setCurrent(currentView(), selectedSession());
    recordAction->setText(recorder ? tr("Stop recording") : tr("Record…"));
    recordAction->setIcon(recorder ? style()->standardIcon(QStyle::SP_MediaStop) : recordIcon());
    recordAction->setEnabled(recorder || !open.empty());
}
