#include "viewerwindow.h"

#include "abouttext.h"
#include "cameralistpanel.h"
#include "camerasession.h"
#include "controlspanel.h"
#include "liveview.h"
#include "parameditor.h"
#include "settingsfile.h"
#include "viewarea.h"
#include "viewerlog.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QStatusBar>
#include <QVBoxLayout>

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

void ViewerWindow::buildUi()
{
    resize(1600, 1000);

    // Centre: a message bar above the views.
    auto *centre = new QWidget(this);
    auto *centreLayout = new QVBoxLayout(centre);
    centreLayout->setContentsMargins(0, 0, 0, 0);
    centreLayout->setSpacing(0);
    messageBar = new QLabel(centre);
    messageBar->setObjectName(QStringLiteral("messageBar"));
    messageBar->setWordWrap(true);
    messageBar->setMargin(6);
    messageBar->hide();
    centreLayout->addWidget(messageBar);
    area = new ViewArea(centre);
    centreLayout->addWidget(area, 1);
    setCentralWidget(centre);

    auto dock = [this](const QString &title, const QString &name) {
        auto *d = new QDockWidget(title, this);
        d->setObjectName(name);
        d->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
        return d;
    };
    // Left: the cameras, and the controls below them.
    QDockWidget *camerasDock = dock(tr("Cameras"), QStringLiteral("camerasDock"));
    cameraList = new CameraListPanel(camerasDock);
    camerasDock->setWidget(cameraList);
    addDockWidget(Qt::LeftDockWidgetArea, camerasDock);
    QDockWidget *controlsDock = dock(tr("Controls"), QStringLiteral("controlsDock"));
    controlsPanel = new ControlsPanel(controlsDock);
    controlsDock->setWidget(controlsPanel);
    addDockWidget(Qt::LeftDockWidgetArea, controlsDock);
    // Right: the editor of the selected camera.
    QDockWidget *editorDock = dock(tr("Parameters"), QStringLiteral("editorDock"));
    editorDock->setWidget(buildEditorBox(editorDock));
    addDockWidget(Qt::RightDockWidgetArea, editorDock);
    resizeDocks({camerasDock, controlsDock}, {220, 560}, Qt::Vertical);
    resizeDocks({camerasDock, editorDock}, {330, 420}, Qt::Horizontal);
    buildMenus(camerasDock, controlsDock, editorDock);

    connect(cameraList, &CameraListPanel::refreshRequested, this, &ViewerWindow::refreshCameras);
    connect(cameraList, &CameraListPanel::openRequested, this, &ViewerWindow::openSelected);
    connect(cameraList, &CameraListPanel::closeRequested, this, &ViewerWindow::closeSelected);
    connect(cameraList, &CameraListPanel::selectionChanged, this, &ViewerWindow::onSelectionChanged);
    connect(cameraList, &CameraListPanel::activated, this, [this](const QString &serial) {
        if (session(serial))
            return;
        QString error;
        if (!openCamera(serial, error))
            showMessage(error, true);
    });
    connect(controlsPanel, &ControlsPanel::message, this, &ViewerWindow::showMessage);
    connect(controlsPanel, &ControlsPanel::saveSettingsRequested, this, &ViewerWindow::saveSettingsWithDialog);
    connect(controlsPanel, &ControlsPanel::loadSettingsRequested, this, &ViewerWindow::loadSettingsWithDialog);

    onSelectionChanged();
}

QWidget *ViewerWindow::buildEditorBox(QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *head = new QHBoxLayout;
    editorTitle = new QLabel(box);
    levelChoice = new QComboBox(box);
    levelChoice->setObjectName(QStringLiteral("levelChoice"));
    levelChoice->addItem(tr("Basic"));
    levelChoice->addItem(tr("Expert"));
    levelChoice->setToolTip(tr("Basic shows parameter levels 0 and 1, expert every level"));
    head->addWidget(editorTitle, 1);
    head->addWidget(levelChoice);
    layout->addLayout(head);
    auto *scroll = new QScrollArea(box);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    paramEditor = new ParamEditor(ParamEditor::Mode::Full);
    scroll->setWidget(paramEditor);
    layout->addWidget(scroll, 1);
    box->setMinimumWidth(400);
    connect(levelChoice, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int i) {
        paramEditor->setLevel(i == 1 ? ParamEditor::Level::Expert : ParamEditor::Level::Basic);
    });
    return box;
}

void ViewerWindow::buildMenus(QDockWidget *camerasDock, QDockWidget *controlsDock, QDockWidget *editorDock)
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->addAction(tr("&Save settings…"), this, &ViewerWindow::saveSettingsWithDialog, QKeySequence::Save);
    file->addAction(tr("&Load settings…"), this, &ViewerWindow::loadSettingsWithDialog, QKeySequence::Open);
    file->addSeparator();
    file->addAction(tr("&Quit"), this, &QWidget::close, QKeySequence::Quit);
    QMenu *cameraMenu = menuBar()->addMenu(tr("&Camera"));
    cameraMenu->addAction(tr("&Refresh list"), this, &ViewerWindow::refreshCameras, QKeySequence::Refresh);
    cameraMenu->addAction(tr("&Open"), this, &ViewerWindow::openSelected);
    cameraMenu->addAction(tr("&Close"), this, &ViewerWindow::closeSelected);
    QMenu *viewMenu = menuBar()->addMenu(tr("&View"));
    QAction *tabs = viewMenu->addAction(tr("&Tabs instead of a grid"));
    tabs->setCheckable(true);
    connect(tabs, &QAction::toggled, this, [this](bool on) { setGridLayout(!on); });
    viewMenu->addSeparator();
    viewMenu->addAction(camerasDock->toggleViewAction());
    viewMenu->addAction(controlsDock->toggleViewAction());
    viewMenu->addAction(editorDock->toggleViewAction());
    QMenu *helpMenu = menuBar()->addMenu(tr("&Help"));
    QAction *about = helpMenu->addAction(tr("&About vandrel-viewer"), this, [this] {
        QMessageBox::about(this, tr("About vandrel-viewer"), aboutText(plugin));
    });
    about->setObjectName(QStringLiteral("aboutAction"));
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
}

void ViewerWindow::setExpertLevel(bool expert)
{
    levelChoice->setCurrentIndex(expert ? 1 : 0);
}

void ViewerWindow::refreshCameras()
{
    if (!plugin)
        return;
    int count = 0;
    const QVector<QString> serials = plugin->enumerateCameras(count);
    listed = QStringList(serials.toList());
    devices = count;
    cameraList->setCountText(tr("SDK devices: %1 · VD-XG cameras: %2").arg(count).arg(listed.size()));
    updateList();
}

void ViewerWindow::updateList()
{
    QStringList shown = listed;
    // A lost camera leaves the enumeration but stays open here.
    for (const Open &o : open)
        if (!shown.contains(o.session->serial()))
            shown.append(o.session->serial());
    QVector<CameraListPanel::Entry> entries;
    for (const QString &serial : qAsConst(shown)) {
        CameraSession *s = session(serial);
        QColor colour = palette().color(QPalette::Disabled, QPalette::Text);
        if (s && s->link() == CameraSession::Link::Lost)
            colour = QColor(0xc6, 0x28, 0x28);
        else if (s && s->link() == CameraSession::Link::Reconnected)
            colour = QColor(0x15, 0x65, 0xc0);
        else if (s)
            colour = QColor(0x2e, 0x7d, 0x32);
        entries.append({serial, badgeText(serial), colour});
    }
    cameraList->setEntries(entries);
}

QString ViewerWindow::badgeText(const QString &serial) const
{
    CameraSession *s = session(serial);
    return s ? s->badge() : tr("closed");
}

CameraSession *ViewerWindow::openCamera(const QString &serial, QString &error)
{
    if (CameraSession *s = session(serial))
        return s;
    if (!plugin) {
        error = tr("no plug-in loaded");
        return nullptr;
    }
    const int index = qMax(0, listed.indexOf(serial));
    std::unique_ptr<CameraSession> s = CameraSession::open(plugin, index, serial, startup.value(serial), error);
    if (!s)
        return nullptr;
    auto *v = new LiveView(s.get());
    v->setStripMode(stripForNew);
    CameraSession *raw = s.get();
    connect(raw, &CameraSession::linkChanged, this, [this, raw, v] {
        updateList();
        area->setTitle(v, QStringLiteral("%1 (%2)").arg(raw->serial(), raw->badge()));
    });
    connect(v, &LiveView::activated, this, [this](CameraSession *cs) {
        if (cs)
            selectCamera(cs->serial());
    });
    connect(v, &LiveView::message, this, &ViewerWindow::showMessage);
    open.push_back({std::move(s), v});
    area->addView(v, serial);
    updateList();
    selectCamera(serial);
    return raw;
}

void ViewerWindow::closeCamera(const QString &serial)
{
    for (auto it = open.begin(); it != open.end(); ++it) {
        if (it->session->serial() != serial)
            continue;
        if (paramEditor->session() == it->session.get())
            paramEditor->setSession(nullptr);
        if (controlsPanel->session() == it->session.get())
            controlsPanel->setSession(nullptr);
        area->removeView(it->view);
        delete it->view;
        // Last: deleting the camera stops it; nothing of it runs afterwards.
        it->session.reset();
        open.erase(it);
        updateList();
        onSelectionChanged();
        return;
    }
}

void ViewerWindow::closeAllCameras()
{
    while (!open.empty())
        closeCamera(open.back().session->serial());
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
    cameraList->select(serial);
    if (LiveView *v = view(serial))
        area->setCurrent(v);
}

QString ViewerWindow::currentSerial() const
{
    return cameraList->currentSerial();
}

CameraSession *ViewerWindow::selectedSession() const
{
    return session(currentSerial());
}

void ViewerWindow::onSelectionChanged()
{
    CameraSession *s = selectedSession();
    paramEditor->setSession(s);
    controlsPanel->setSession(s);
    editorTitle->setText(s ? tr("<b>%1</b>").arg(s->serial()) : tr("No open camera selected"));
}

void ViewerWindow::openSelected()
{
    const QString serial = currentSerial();
    if (serial.isEmpty()) {
        showMessage(tr("Select a camera in the list first."), true);
        return;
    }
    QString error;
    if (!openCamera(serial, error))
        showMessage(error, true);
}

void ViewerWindow::closeSelected()
{
    const QString serial = currentSerial();
    if (session(serial))
        closeCamera(serial);
}

bool ViewerWindow::saveSettings(const QString &file, QString &error) const
{
    if (open.empty()) {
        error = tr("no camera is open: nothing to save");
        return false;
    }
    QMap<QString, QJsonObject> perCamera;
    for (const Open &o : open)
        perCamera.insert(o.session->serial(), o.session->settings());
    return writeSettingsFile(file, perCamera, error);
}

bool ViewerWindow::loadSettings(const QString &file, QString &error)
{
    QStringList serials = listed;
    for (const Open &o : open)
        if (!serials.contains(o.session->serial()))
            serials.append(o.session->serial());
    QMap<QString, QJsonObject> read;
    if (!readSettingsFile(file, serials, read, error))
        return false;
    for (auto it = read.cbegin(); it != read.cend(); ++it)
        startup.insert(it.key(), it.value());
    int applied = 0;
    for (const Open &o : open) {
        if (read.contains(o.session->serial())) {
            o.session->loadSettings(read.value(o.session->serial()));
            ++applied;
        }
    }
    showMessage(tr("Loaded %1: %2 open camera(s) took its settings").arg(file).arg(applied), false);
    return true;
}

void ViewerWindow::saveSettingsWithDialog()
{
    const QString file =
        QFileDialog::getSaveFileName(this, tr("Save settings"), QStringLiteral("settings.json"), tr("JSON (*.json)"));
    if (file.isEmpty())
        return;
    QString error;
    if (saveSettings(file, error))
        showMessage(tr("Saved the settings of %1 camera(s) to %2").arg(open.size()).arg(file), false);
    else
        showMessage(error, true);
}

void ViewerWindow::loadSettingsWithDialog()
{
    const QString file = QFileDialog::getOpenFileName(this, tr("Load settings"), QString(), tr("JSON (*.json)"));
    if (file.isEmpty())
        return;
    QString error;
    if (!loadSettings(file, error))
        showMessage(error, true);
}

void ViewerWindow::showMessage(const QString &text, bool error)
{
    if (error)
        qCWarning(lcViewer).noquote() << text;
    messageBar->setText(text);
    messageBar->setStyleSheet(error ? QStringLiteral("QLabel { background: #ffcdd2; color: #b71c1c; }")
                                    : QStringLiteral("QLabel { background: #e3f2fd; color: #0d47a1; }"));
    messageBar->setProperty("error", error);
    messageBar->show();
    statusBar()->showMessage(text, 8000);
}

QString ViewerWindow::messageText() const
{
    return messageBar->isHidden() ? QString() : messageBar->text();
}

void ViewerWindow::closeEvent(QCloseEvent *event)
{
    closeAllCameras();
    event->accept();
}
