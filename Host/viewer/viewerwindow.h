#pragma once

#include "camerainterface.h"

#include <QJsonObject>
#include <QMainWindow>
#include <QMap>
#include <QString>

#include <memory>
#include <vector>

class CameraListPanel;
class CameraSession;
class ControlsPanel;
class LiveView;
class ParamEditor;
class QComboBox;
class QDockWidget;
class QLabel;
class ViewArea;

// The viewer's main window: the camera list with state badges, a live view
// per open camera, the editor generated for the selected camera and its
// controls.
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
    void setGridLayout(bool grid);
    void setExpertLevel(bool expert);

    void refreshCameras();
    QStringList listedSerials() const { return listed; }
    int deviceCount() const { return devices; }
    // Opens (or returns the already open) camera; null with a reason on failure.
    CameraSession *openCamera(const QString &serial, QString &error);
    void closeCamera(const QString &serial);
    void closeAllCameras();

    CameraSession *session(const QString &serial) const;
    LiveView *view(const QString &serial) const;
    QList<LiveView *> views() const;
    void selectCamera(const QString &serial);
    CameraSession *selectedSession() const;
    ParamEditor *editor() const { return paramEditor; }
    ControlsPanel *controls() const { return controlsPanel; }
    // The state column of the camera list: "closed", "open", "lost since …", "reconnected at …".
    QString badgeText(const QString &serial) const;

    // {"cameras": {...}} of every open camera.
    bool saveSettings(const QString &file, QString &error) const;
    // Either settings form; applied to the open cameras and kept for those opened later.
    bool loadSettings(const QString &file, QString &error);

    void showMessage(const QString &text, bool error);
    QString messageText() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct Open
    {
        std::unique_ptr<CameraSession> session;
        LiveView *view = nullptr;
    };
    void buildUi();
    QWidget *buildEditorBox(QWidget *parent);
    void buildMenus(QDockWidget *camerasDock, QDockWidget *controlsDock, QDockWidget *editorDock);
    void updateList();
    void onSelectionChanged();
    void openSelected();
    void closeSelected();
    void saveSettingsWithDialog();
    void loadSettingsWithDialog();
    QString currentSerial() const;

    CameraInterface *plugin;
    std::vector<Open> open;
    QStringList listed;
    int devices = 0;
    QMap<QString, QJsonObject> startup;
    bool stripForNew = false;

    CameraListPanel *cameraList = nullptr;
    QLabel *messageBar = nullptr;
    ViewArea *area = nullptr;
    ParamEditor *paramEditor = nullptr;
    QLabel *editorTitle = nullptr;
    QComboBox *levelChoice = nullptr;
    ControlsPanel *controlsPanel = nullptr;
};
