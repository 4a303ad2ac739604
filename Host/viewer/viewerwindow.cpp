#include "viewerwindow.h"

#include "cameralistpanel.h"
#include "camerasession.h"
#include "controlspanel.h"
#include "liveview.h"
#include "parameditor.h"
#include "viewarea.h"
#include "viewtoolbar.h"
#include "viewerlog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>

ViewerWindow::ViewerWindow(CameraInterface *p, QWidget *parent) : QMainWindow(parent), plugin(p)
{
    buildUi();
    if (plugin) {
        setWindowTitle(tr("vandrel-viewer — %1 %2").arg(plugin->pluginName(), plugin->pluginVersion()));
        refreshCameras();
    } else {
        setWindowTitle(tr("vandrel-viewer"));
    }
}

ViewerWindow::~ViewerWindow()
{
    closeAllCameras();
}

void ViewerWindow::setPluginError(const QString &reason)
{
    showMessage(tr("No plug-in: %1").arg(reason), true);
    cameraList->setCountText(tr("No plug-in loaded"));
}

void ViewerWindow::setStartupSettings(const QMap<QString, QJsonObject> &settings)
{
    startup = settings;
}

void ViewerWindow::setGridLayout(bool grid)
{
    area->setGrid(grid);
    if (LiveView *v = currentView())
        area->setCurrent(v);
}

void ViewerWindow::setExpertLevel(bool expert)
{
    levelChoice->setCurrentIndex(expert ? 1 : 0);
}

CameraSession *ViewerWindow::session(const QString &serial) const
{
    for (const Open &o : open)
        if (o.session->serial() == serial)
            return o.session.get();
    return nullptr;
}

LiveView *ViewerWindow::view(const QString &serial) const
{
    for (const Open &o : open)
        if (o.session->serial() == serial)
            return o.view;
    return nullptr;
}

QList<LiveView *> ViewerWindow::views() const
{
    QList<LiveView *> out;
    for (const Open &o : open)
        out << o.view;
    return out;
}

void ViewerWindow::selectCamera(const QString &serial)
{
    setCurrent(serial);
}

CameraSession *ViewerWindow::selectedSession() const
{
    return session(currentSerial);
}

LiveView *ViewerWindow::currentView() const
{
    return view(currentSerial);
}

void ViewerWindow::onListSelection()
{
    const QString serial = cameraList->currentSerial();
    if (!serial.isEmpty())
        setCurrent(serial);
}

void ViewerWindow::setCurrent(const QString &serial)
{
    if (serial == currentSerial) {
        // The editor may still show another camera, for instance after this one was opened.
        if (paramEditor->session() != selectedSession() || controlsPanel->session() != selectedSession())
            updateCurrent();
        return;
    }
    currentSerial = serial;
    updateList();
    if (LiveView *v = currentView())
        area->setCurrent(v);
    updateCurrent();
}

void ViewerWindow::updateCurrent()
{
    CameraSession *s = selectedSession();
    paramEditor->setSession(s);
    controlsPanel->setSession(s);
    for (LiveView *v : views())
        v->setCurrent(s && v->session() == s);
    if (s)
        editorTitle->setText(tr("<b>%1</b> · current camera").arg(s->serial().toHtmlEscaped()));
    else if (!currentSerial.isEmpty())
        editorTitle->setText(tr("<b>%1</b> is not open: Open it (Enter in the list)").arg(currentSerial.toHtmlEscaped()));
    else
        editorTitle->setText(tr("No camera selected"));
    updateActions();
}

void ViewerWindow::setMessageTimeouts(int errorMs, int noticeMs)
{
    errorTimeoutMs = errorMs;
    noticeTimeoutMs = noticeMs;
}

void ViewerWindow::showMessage(const QString &text, bool error)
{
    if (error)
        qCWarning(lcViewer).noquote() << text;
    messageLabel->setText(text);
    messageBar->setStyleSheet(error ? QStringLiteral("#messageBar { background: #ffcdd2; } QLabel { color: #b71c1c; }")
                                    : QStringLiteral("#messageBar { background: #e3f2fd; } QLabel { color: #0d47a1; }"));
    messageBar->setProperty("error", error);
    messageBar->show();
    messageTimer.start(error ? errorTimeoutMs : noticeTimeoutMs);
}

QString ViewerWindow::messageText() const
{
    return messageBar->isHidden() ? QString() : messageLabel->text();
}

void ViewerWindow::closeEvent(QCloseEvent *event)
{
    closeAllCameras();
    stopRecording();
    event->accept();
}
