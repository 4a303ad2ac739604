// The main window's panels: the docks and their contents, the message bar,
// and how they are laid out to fit the screen.
#include "viewerwindow.h"

#include "cameralistpanel.h"
#include "camerasession.h"
#include "controlspanel.h"
#include "liveview.h"
#include "parameditor.h"
#include "viewarea.h"
#include "verticalscroll.h"
#include "viewtoolbar.h"

#include <QComboBox>
#include <QDockWidget>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

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
    controlsDock->setWidget(controlsPanel);
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
    layout->addWidget(new VerticalScroll(paramEditor, box), 1);
    connect(levelChoice, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int i) {
        paramEditor->setLevel(i == 1 ? ParamEditor::Level::Expert : ParamEditor::Level::Basic);
    });
    return box;
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
