#pragma once

#include <QPointer>
#include <QWidget>

class CameraSession;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

// The camera controls beside the editor: running or preview, exposure
// configurations, continuous acquisition and soft trigger, product grouping,
// Apply, snapshot and restore, and the settings files. Works on one camera
// session at a time. UI thread only.
class ControlsPanel : public QWidget
{
    Q_OBJECT
public:
    explicit ControlsPanel(QWidget *parent = nullptr);

    void setSession(CameraSession *session);
    CameraSession *session() const { return current; }

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
    QLabel *exposureStatus;
    QCheckBox *continuous;
    QLabel *continuousState;
    QSpinBox *triggerProduct;
    QComboBox *kind;
    QSpinBox *capturesPerProduct;
    QSpinBox *productsPerCycle;
    QSpinBox *cycleTimeout;
    QList<QWidget *> cameraOnly;
};
