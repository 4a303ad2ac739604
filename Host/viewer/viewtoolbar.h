#pragma once

#include <QMap>
#include <QPointer>
#include <QToolBar>

class CameraSession;
class IntSpin;
class LiveView;
class QAction;
class QComboBox;

// The window's toolbar, working on the current view and its camera: Stop or
// Start, Reconnect now, Fit and 1:1 (checkable), zoom out, the zoom in
// percent and zoom in, Strip and its lines, Save image; each with a
// shortcut. What changes the camera's acquisition it asks the window for.
// UI thread only.
class ViewToolbar : public QToolBar
{
    Q_OBJECT
public:
    explicit ViewToolbar(QWidget *parent = nullptr);

    // The current view and its camera; either may be null.
    void setCurrent(LiveView *view, CameraSession *session);
    // By name: "startStop", "reconnect", "fit", "oneToOne", "zoomIn",
    // "zoomOut", "strip", "saveImage".
    QAction *action(const QString &name) const;

public slots:
    // Shows the current view's fit, zoom and strip and the camera's state.
    void refresh();

signals:
    void startStopRequested();
    void reconnectRequested();
    void message(const QString &text, bool error);

private:
    void zoomTo(double percent);

    QPointer<LiveView> view;
    QPointer<CameraSession> session;
    QMap<QString, QAction *> actions;
    QComboBox *zoomBox = nullptr;
    IntSpin *stripSpin = nullptr;
};
