#include "viewerwindow.h"

#include "abouttext.h"
#include "cameralistpanel.h"
#include "camerasession.h"
#include "controlspanel.h"
#include "framerecorder.h"
#include "liveview.h"
#include "parameditor.h"
#include "settingsfile.h"
#include "viewarea.h"
#include "viewtoolbar.h"
#include "viewerlog.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// A panel that scrolls when the window is too small for it.
QScrollArea *scrolling(QWidget *inner, QWidget *parent)
{
    auto *s = new QScrollArea(parent);
    s->setWidgetResizable(true);
    s->setFrameShape(QFrame::NoFrame);
    s->setWidget(inner);
    return s;
}

} // namespace

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
    setMinimumSize(800, 600);
    resize(1600, 1000);

    // Centre: a message bar above the views.
    auto *centre = new QWidget(this);
    auto *centreLayout = new QVBoxLayout(centre);
    centreLayout->setContentsMargins(0, 0, 0, 0);
    centreLayout->setSpacing(0);
    centreLayout->addWidget(buildMessageBar(centre));
    area = new ViewArea(centre);
    centreLayout->addWidget(area, 1);
    setCentralWidget(centre);

    auto dock = [this](const QString &title, const QString &name) {
        auto *d = new QDockWidget(title, this);
        d->setObjectName(name);
        d->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable
                       | QDockWidget::DockWidgetFloatable);
        return d;
    };
    // Left: the cameras, and the controls below them.
    camerasDock = dock(tr("Cameras"), QStringLiteral("camerasDock"));
    cameraList = new CameraListPanel(camerasDock);
    camerasDock->setWidget(cameraList);
    addDockWidget(Qt::LeftDockWidgetArea, camerasDock);
    controlsDock = dock(tr("Controls"), QStringLiteral("controlsDock"));
    controlsPanel = new ControlsPanel;
    controlsDock->setWidget(scrolling(controlsPanel, controlsDock));
    addDockWidget(Qt::LeftDockWidgetArea, controlsDock);
    // Right: the editor of the current camera.
    editorDock = dock(tr("Parameters"), QStringLiteral("editorDock"));
    editorDock->setWidget(buildEditorBox(editorDock));
    addDockWidget(Qt::RightDockWidgetArea, editorDock);
    resizeDocks({camerasDock, controlsDock}, {220, 560}, Qt::Vertical);
    resizeDocks({camerasDock, editorDock}, {330, 420}, Qt::Horizontal);
    tools = new ViewToolbar(this);
    addToolBar(tools);
    connect(tools, &ViewToolbar::startStopRequested, this, &ViewerWindow::startStop);
    connect(tools, &ViewToolbar::reconnectRequested, this, &ViewerWindow::reconnectNow);
    connect(tools, &ViewToolbar::message, this, &ViewerWindow::showMessage);
    QAction *record = new QAction(recordIcon(), tr("Record…"), this);
    record->setObjectName(QStringLiteral("record"));
    record->setShortcut(QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_R));
    record->setToolTip(tr("Record every open camera's frames into a new folder: a TIFF per frame and "
                          "index.jsonl, replayable by the simulator; again to stop (%1)")
                           .arg(record->shortcut().toString(QKeySequence::NativeText)));
    connect(record, &QAction::triggered, this, &ViewerWindow::recordOrStop);
    tools->addSeparator();
    tools->addAction(record);
    recordAction = record;
    buildMenus();

    connect(cameraList, &CameraListPanel::refreshRequested, this, &ViewerWindow::refreshCameras);
    connect(cameraList, &CameraListPanel::openRequested, this, &ViewerWindow::openSelected);
    connect(cameraList, &CameraListPanel::closeRequested, this, &ViewerWindow::closeSelected);
    connect(cameraList, &CameraListPanel::selectionChanged, this, &ViewerWindow::onListSelection);
    connect(cameraList, &CameraListPanel::activated, this, [this](const QString &serial) {
        setCurrent(serial);
        if (session(serial))
            return;
        QString error;
        if (!openCamera(serial, error))
            showMessage(error, true);
    });
    connect(area, &ViewArea::tabSwitched, this, [this](QWidget *w) {
        if (auto *v = qobject_cast<LiveView *>(w); v && v->session())
            setCurrent(v->session()->serial());
    });
    connect(controlsPanel, &ControlsPanel::message, this, &ViewerWindow::showMessage);
    connect(controlsPanel, &ControlsPanel::saveSettingsRequested, this, &ViewerWindow::saveSettingsWithDialog);
    connect(controlsPanel, &ControlsPanel::loadSettingsRequested, this, &ViewerWindow::loadSettingsWithDialog);

    updateCurrent();
}

QWidget *ViewerWindow::buildMessageBar(QWidget *parent)
{
    messageBar = new QFrame(parent);
    messageBar->setObjectName(QStringLiteral("messageBar"));
    auto *line = new QHBoxLayout(messageBar);
    line->setContentsMargins(6, 2, 2, 2);
    messageLabel = new QLabel(messageBar);
    messageLabel->setObjectName(QStringLiteral("messageText"));
    messageLabel->setWordWrap(true);
    messageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    line->addWidget(messageLabel, 1);
    auto *close = new QToolButton(messageBar);
    close->setObjectName(QStringLiteral("messageClose"));
    close->setAutoRaise(true);
    close->setText(QStringLiteral("×"));
    close->setToolTip(tr("Close this message"));
    line->addWidget(close, 0, Qt::AlignTop);
    messageBar->hide();
    messageTimer.setSingleShot(true);
    connect(&messageTimer, &QTimer::timeout, messageBar, &QWidget::hide);
    connect(close, &QToolButton::clicked, this, [this] {
        messageTimer.stop();
        messageBar->hide();
    });
    return messageBar;
}

QWidget *ViewerWindow::buildEditorBox(QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *head = new QHBoxLayout;
    editorTitle = new QLabel(box);
    editorTitle->setObjectName(QStringLiteral("editorTitle"));
    editorTitle->setWordWrap(true);
    levelChoice = new QComboBox(box);
    levelChoice->setObjectName(QStringLiteral("levelChoice"));
    levelChoice->addItem(tr("Basic"));
    levelChoice->addItem(tr("Expert"));
    levelChoice->setToolTip(tr("Basic shows parameter levels 0 and 1, expert every level"));
    head->addWidget(editorTitle, 1);
    head->addWidget(levelChoice);
    layout->addLayout(head);
    paramEditor = new ParamEditor(ParamEditor::Mode::Full);
    layout->addWidget(scrolling(paramEditor, box), 1);
    box->setMinimumWidth(qMax(260, box->minimumSizeHint().width()));
    connect(levelChoice, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int i) {
        paramEditor->setLevel(i == 1 ? ParamEditor::Level::Expert : ParamEditor::Level::Basic);
    });
    return box;
}

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

void ViewerWindow::fitToScreen()
{
    QScreen *screen = windowHandle() ? windowHandle()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    // The frame the window manager adds, where there is one.
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize room = free.size() - frame;
    resize(qMax(minimumWidth(), qMin(1600, room.width())), qMax(minimumHeight(), qMin(1000, room.height())));
    if (room.width() < 1200) {
        // Too narrow for panels on both sides: all of them on the right, as tabs.
        addDockWidget(Qt::RightDockWidgetArea, camerasDock);
        tabifyDockWidget(editorDock, camerasDock);
        tabifyDockWidget(camerasDock, controlsDock);
        camerasDock->raise();
        resizeDocks({editorDock}, {qMax(editorDock->minimumSizeHint().width(), room.width() / 3)}, Qt::Horizontal);
    } else {
        resizeDocks({camerasDock, editorDock}, {qMin(350, room.width() * 26 / 100), qMin(420, room.width() / 4)},
                    Qt::Horizontal);
    }
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
        entries.append({serial, badgeText(serial), colour, serial == currentSerial});
    }
    const QSignalBlocker block(cameraList);
    cameraList->setEntries(entries, qMax(0, devices - int(listed.size())));
    cameraList->select(currentSerial);
}

QString ViewerWindow::badgeText(const QString &serial) const
{
    CameraSession *s = session(serial);
    if (!s)
        return tr("closed");
    return s->stopped() ? tr("stopped") : s->badge();
}

CameraSession *ViewerWindow::openCamera(const QString &serial, QString &error)
{
    if (CameraSession *s = session(serial)) {
        setCurrent(serial);
        return s;
    }
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
    auto changed = [this, raw, v] {
        updateList();
        area->setTitle(v, QStringLiteral("%1 (%2)").arg(raw->serial(), badgeText(raw->serial())));
        if (raw->serial() == currentSerial)
            updateActions();
    };
    connect(raw, &CameraSession::linkChanged, this, changed);
    connect(raw, &CameraSession::stateChanged, this, changed);
    connect(v, &LiveView::activated, this, [this](CameraSession *cs) {
        if (cs)
            setCurrent(cs->serial());
    });
    connect(v, &LiveView::message, this, &ViewerWindow::showMessage);
    if (recorder) {
        raw->sink()->setRecorder(recorder, serial);
        recordSettings(*raw);
    }
    open.push_back({std::move(s), v});
    area->addView(v, serial);
    controlsPanel->setCanSave(true);
    saveSettingsAction->setEnabled(true);
    setCurrent(serial);
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
        controlsPanel->setCanSave(!open.empty());
        saveSettingsAction->setEnabled(!open.empty());
        updateList();
        updateCurrent();
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

void ViewerWindow::recordOrStop()
{
    if (recorder) {
        stopRecording();
        return;
    }
    const QString parent = QFileDialog::getExistingDirectory(this, tr("Record into a new folder in"));
    if (parent.isEmpty())
        return;
    const QString dir = QDir(parent).filePath(
        QStringLiteral("recording-%1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    QString error;
    if (!startRecording(dir, error))
        showMessage(tr("Recording not started: %1").arg(error), true);
}

bool ViewerWindow::startRecording(const QString &dir, QString &error)
{
    if (recorder) {
        error = tr("already recording into %1").arg(recorder->directory());
        return false;
    }
    auto r = std::make_shared<FrameRecorder>(dir);
    if (!r->start(error))
        return false;
    recorder = r;
    for (const Open &o : open) {
        o.session->sink()->setRecorder(recorder, o.session->serial());
        recordSettings(*o.session);
    }
    showMessage(tr("Recording into %1").arg(dir), false);
    updateActions();
    return true;
}

void ViewerWindow::recordSettings(const CameraSession &session)
{
    QString error;
    if (!recorder->recordSettings(session.serial(), session.settings(), error))
        showMessage(tr("Recording without the settings of %1: %2").arg(session.serial(), error), true);
}

void ViewerWindow::stopRecording()
{
    if (!recorder)
        return;
    for (const Open &o : open)
        o.session->sink()->setRecorder(nullptr, QString());
    // Frames already queued are written before the figures are read.
    recorder->stop();
    const FrameRecorder::Counts c = recorder->total();
    const QString dir = recorder->directory();
    const QString failure = recorder->firstError();
    recorder.reset();
    if (c.failed > 0)
        showMessage(tr("Recorded %1 frames into %2; %3 could not be written: %4")
                        .arg(c.recorded)
                        .arg(dir)
                        .arg(c.failed)
                        .arg(failure),
                    true);
    else
        showMessage(tr("Recorded %1 frames into %2, %3 dropped (the disk behind the cameras)")
                        .arg(c.recorded)
                        .arg(dir)
                        .arg(c.dropped),
                    c.dropped > 0);
    updateActions();
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

void ViewerWindow::updateActions()
{
    tools->setCurrent(currentView(), selectedSession());
    recordAction->setText(recorder ? tr("Stop recording") : tr("Record…"));
    recordAction->setIcon(recorder ? style()->standardIcon(QStyle::SP_MediaStop) : recordIcon());
    recordAction->setEnabled(recorder || !open.empty());
}

void ViewerWindow::openSelected()
{
    const QString serial = cameraList->currentSerial();
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
    const QString serial = cameraList->currentSerial();
    if (session(serial))
        closeCamera(serial);
}

void ViewerWindow::startStop()
{
    CameraSession *s = selectedSession();
    if (!s || s->lost())
        return;
    if (!s->stopped()) {
        s->stop();
        showMessage(tr("%1: acquisition stopped").arg(s->serial()), false);
    } else if (s->start()) {
        showMessage(tr("%1: acquisition started").arg(s->serial()), false);
    } else {
        showMessage(tr("%1: the camera did not open again; try Start later").arg(s->serial()), true);
    }
    updateActions();
}

void ViewerWindow::reconnectNow()
{
    CameraSession *s = selectedSession();
    if (!s || !s->lost())
        return;
    if (s->reconnectNow())
        showMessage(tr("%1: reconnected").arg(s->serial()), false);
    else
        showMessage(tr("%1: still unreachable; the driver keeps retrying every 30 s").arg(s->serial()), true);
    updateActions();
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
    // The file is checked whole before any camera takes anything from it.
    QMap<QString, QJsonObject> read;
    if (!readSettingsFile(file, serials, read, error))
        return false;
    for (auto it = read.cbegin(); it != read.cend(); ++it)
        startup.insert(it.key(), it.value());
    int applied = 0;
    QStringList failed;
    for (const Open &o : open) {
        if (!read.contains(o.session->serial()))
            continue;
        QString why;
        if (o.session->loadSettings(read.value(o.session->serial()), why))
            ++applied;
        else
            failed << QStringLiteral("%1: %2").arg(o.session->serial(), why);
    }
    if (!failed.isEmpty()) {
        error = tr("Loaded %1 into %2 open camera(s); refused for %3").arg(file).arg(applied).arg(failed.join(QStringLiteral("; ")));
        return false;
    }
    showMessage(tr("Loaded %1: %2 open camera(s) took its settings").arg(file).arg(applied), false);
    return true;
}

void ViewerWindow::saveSettingsWithDialog()
{
    if (open.empty()) {
        showMessage(tr("No camera is open: nothing to save."), true);
        return;
    }
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
