#pragma once

#include <QPointer>
#include <QWidget>

class CameraSession;
class ElidedLabel;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

// The camera controls beside the editor: running or preview, exposure
// configurations, the trigger mode and soft trigger, product grouping,
// Apply, snapshot and restore, and the settings files, these last below the
// groups and never scrolled out of view. Works on one camera
// session at a time; what needs the camera is disabled while its link is
// lost or acquisition is stopped. UI thread only.
class ControlsPanel : public QWidget
{
    Q_OBJECT
public:
    explicit ControlsPanel(QWidget *parent = nullptr);

    void setSession(CameraSession *session);
    CameraSession *session() const { return current; }
    // Whether any camera is open: Save settings needs one.
    void setCanSave(bool can);

public slots:
    // Re-reads the camera's state into the controls.
    void refresh();

signals:
    void saveSettingsRequested();
    void loadSettingsRequested();
    void message(const QString &text, bool error);

private:
    void setGrouping();

    QPointer<CameraSession> current;
    QCheckBox *running;
    QSpinBox *configCount;
    QSpinBox *exposureIndex;
    ElidedLabel *exposureStatus;
    QPushButton *continuous;
    QLabel *triggerMode;
    QPushButton *apply;
    QPushButton *save;
    QSpinBox *triggerProduct;
    QComboBox *kind;
    QSpinBox *capturesPerProduct;
    QSpinBox *productsPerCycle;
    QSpinBox *cycleTimeout;
    // Disabled without a camera or while its link is lost.
    QList<QWidget *> cameraOnly;
    // Disabled as well while acquisition is stopped: they need the device.
    QList<QWidget *> deviceOnly;
};
