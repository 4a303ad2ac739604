#pragma once

#include "camerainterface.h"
#include "linkkeeper.h"

#include <QIcon>
#include <QJsonObject>
#include <QMainWindow>
#include <QMap>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class CameraListPanel;
class FrameRecorder;
class CameraSession;
class ControlsPanel;
class LiveView;
class ParamEditor;
class QAction;
class QComboBox;
class QDockWidget;
class QLabel;
class QToolButton;
class ViewArea;
class ViewToolbar;

// The viewer's main window: the camera list with state badges, a live view
// per open camera, the toolbar, and the editor and controls of the current
// camera.
//
// One camera is current: the one selected in the list, which opening it,
// clicking its view or switching to its tab makes it. The list (bold), the
// view's frame, the editor's title, the controls and the toolbar all follow
// it.
//
// Threading: UI thread only. The window owns the camera sessions, and so
// the cameras; closing it closes every camera before anything else goes.
class ViewerWindow : public QMainWindow
{
    Q_OBJECT
public:
    // `plugin` may be null: the window then says why it has no cameras.
    explicit ViewerWindow(CameraInterface *plugin, QWidget *parent = nullptr);
    ~ViewerWindow() override;

    void setPluginError(const QString &reason);
    // Settings to load into a camera when it is opened, per serial.
    void setStartupSettings(const QMap<QString, QJsonObject> &settings);
    void setStripModeForNewViews(bool on) { stripForNew = on; }
    // The retry interval and stall time of the cameras opened from now on;
    // by default, as vandrel-host's: the driver's own retry, stalls after 5 s.
    void setLinkPolicy(const LinkKeeper::Policy &policy) { linkPolicy = policy; }
    void setGridLayout(bool grid);
    void setExpertLevel(bool expert);
    // Sizes the window to the screen's free area (at most 1600 x 1000) and,
    // on a narrow screen, gathers the side panels on the right as tabs.
    void fitToScreen();

    void refreshCameras();
    QStringList listedSerials() const { return listed; }
    int deviceCount() const { return devices; }
    // Opens (or returns the already open) camera and makes it current; null
    // with a reason on failure.
    CameraSession *openCamera(const QString &serial, QString &error);
    void closeCamera(const QString &serial);
    void closeAllCameras();

    CameraSession *session(const QString &serial) const;
    LiveView *view(const QString &serial) const;
    QList<LiveView *> views() const;
    // Makes a listed camera the current one.
    void selectCamera(const QString &serial);
    QString currentCamera() const { return currentSerial; }
    // The current camera's session; null when it is not open.
    CameraSession *selectedSession() const;
    LiveView *currentView() const;
    ParamEditor *editor() const { return paramEditor; }
    ControlsPanel *controls() const { return controlsPanel; }
    QLabel *editorTitleLabel() const { return editorTitle; }
    ViewToolbar *toolbar() const { return tools; }
    // The toolbar's actions by name: "startStop", "reconnect", "fit", "oneToOne",
    // "zoomIn", "zoomOut", "strip", "saveImage", "record".
    QAction *action(const QString &name) const;
    // The state column of the camera list: "closed", "stopped", "open", "lost since …",
    // "stalled since …", "back at …".
    QString badgeText(const QString &serial) const;

    // Records the frames of every open camera, and of those opened later,
    // into dir (a new folder) in vandrel-host's --record format, until
    // stopRecording(), which writes what is queued and says what was recorded.
    bool startRecording(const QString &dir, QString &error);
    void stopRecording();
    bool recording() const { return recorder != nullptr; }

    // {"cameras": {...}} of every open camera.
    bool saveSettings(const QString &file, QString &error) const;
    // Either settings form; applied to the open cameras, each with the
    // exposure configuration count its settings were saved with, and kept
    // for those opened later. A file that cannot be used changes nothing.
    bool loadSettings(const QString &file, QString &error);

    // The message bar: an error stays until the next success, its close
    // button or errorMs; a notice for noticeMs.
    void showMessage(const QString &text, bool error);
    QString messageText() const;
    void setMessageTimeouts(int errorMs, int noticeMs);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct Open
    {
        std::unique_ptr<CameraSession> session;
        LiveView *view = nullptr;
    };
    void buildUi();
    QWidget *buildMessageBar(QWidget *parent);
    QWidget *buildEditorBox(QWidget *parent);
    void buildMenus();
    void updateList();
    void onListSelection();
    void setCurrent(const QString &serial);
    void updateCurrent();
    void updateActions();
    void openSelected();
    void closeSelected();
    void startStop();
    void recordOrStop();
    // The camera's settings beside the recording, so that its replay loads them.
    void recordSettings(const CameraSession &session);
    static QIcon recordIcon();
    void reconnectNow();
    // `done`, and what the reopening's exposure selection came to when the
    // stored configuration was not sent.
    void showReopened(const CameraSession &session, const QString &done);
    void saveSettingsWithDialog();
    void loadSettingsWithDialog();

    CameraInterface *plugin;
    std::vector<Open> open;
    std::shared_ptr<FrameRecorder> recorder;  // while recording
    QStringList listed;
    int devices = 0;
    QMap<QString, QJsonObject> startup;
    bool stripForNew = false;
    LinkKeeper::Policy linkPolicy{0, 5000};
    QString currentSerial;

    CameraListPanel *cameraList = nullptr;
    QWidget *messageBar = nullptr;
    QLabel *messageLabel = nullptr;
    QTimer messageTimer;
    int errorTimeoutMs = 10000;
    int noticeTimeoutMs = 5000;
    ViewArea *area = nullptr;
    ParamEditor *paramEditor = nullptr;
    QLabel *editorTitle = nullptr;
    QComboBox *levelChoice = nullptr;
    ControlsPanel *controlsPanel = nullptr;
    QDockWidget *camerasDock = nullptr;
    QDockWidget *controlsDock = nullptr;
    QDockWidget *editorDock = nullptr;
    ViewToolbar *tools = nullptr;
    QAction *recordAction = nullptr;  // beside the view's actions in the toolbar
    QAction *saveSettingsAction = nullptr;
};
