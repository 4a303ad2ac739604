#pragma once

#include "camerainterface.h"
#include "framesink.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

// One open camera: the plug-in's camera object, the mailbox its frames go
// to, its link state and the product grouping the viewer installed.
//
// Threading: lives on the UI thread, which created the camera and so owns
// it: every camera operation runs there. Frames reach the sink directly on
// the SDK's frame thread; CameraLoss arrives queued from the SDK's status
// thread and CameraReconnect from the camera's own timer.
class CameraSession : public QObject
{
    Q_OBJECT
public:
    enum class Link { Open, Lost, Reconnected };
    struct LinkEvent
    {
        QDateTime at;
        bool lost;
    };

    // Creates and opens the camera, connects it and loads `settings` (an empty
    // object: the defaults), which starts acquisition. Null, with the reason
    // in `error`, when the camera cannot be opened.
    static std::unique_ptr<CameraSession> open(CameraInterface *plugin, int index, const QString &serial,
                                               const QJsonObject &settings, QString &error);
    // Stops and closes the camera; no frame arrives after this.
    ~CameraSession() override;

    CameraInterface *camera() const { return cam; }
    FrameSink *sink() const { return frames; }
    QString serial() const { return serialNumber; }
    int index() const { return cameraIndex; }

    Link link() const { return state; }
    QDateTime lostSince() const { return lostAt; }
    QDateTime reconnectedAt() const { return backAt; }
    const QVector<LinkEvent> &linkEvents() const { return events; }
    // "open", "lost since 10:02:03", "reconnected at 10:02:33".
    QString badge() const;

    bool lost() const { return state == Link::Lost; }
    // Milliseconds to the driver's next reconnect attempt; -1 when unknown.
    int nextRetryMs() const;
    // restartCamera, now rather than at the driver's next retry. True when
    // the camera is open again; the driver still reports the return itself
    // at its next retry.
    bool reconnectNow();

    // Acquisition stopped by the person (closeCamera) until start().
    bool stopped() const { return halted; }
    void stop();
    // restartCamera and load of the current settings, which brings the
    // colour choice back; false when the camera did not open.
    bool start();

    // isRunning: numbered production capture (true) or preview (false).
    void setRunning(bool running);
    bool running() const;
    // selectExposure's status: 0, -1 for no such configuration, or the camera's.
    int selectExposure(int index);
    int exposureConfigCount() const;
    void setExposureConfigCount(int count);
    void setContinuous(bool continuous);
    bool continuous() const;
    void softTrigger(int productNumber, int captureNumber);
    void setGrouping(const CameraTrigParams &params);
    const CameraTrigParams &grouping() const { return trig; }
    // load() of the current settings: brings the colour choice to the device.
    void apply();
    // An edit waits for Apply to reach the device.
    bool applyPending() const { return pendingApply; }
    void setApplyPending();
    QJsonObject settings() const;
    // With the exposure configuration count the settings were saved with
    // (settingsload.h); false with the reason, and nothing changed, when
    // their shape matches no count.
    bool loadSettings(const QJsonObject &settings, QString &error);
    void snapshot();
    void restore();

    // An editor wrote descriptor `index` (asking for `requested`) and called paramsChanged().
    void paramsEdited(int index, const QVariant &requested);
    // An editor changed a descriptor's "show while running" pin.
    void pinChanged(int index);

signals:
    void linkChanged();
    // Running, stopped or the pending Apply changed.
    void stateChanged();
    // Values may have changed: re-read them. After an edit, `editedIndex` is
    // the descriptor written and `requested` what the person asked for;
    // otherwise `editedIndex` is -1.
    void valuesChanged(int editedIndex, const QVariant &requested);
    // The descriptor list was replaced: every pointer into it is stale.
    void descriptorsRebuilt();
    void pinsChanged();

public slots:
    void onLoss();
    void onReconnect();

private:
    CameraSession(CameraInterface *camera, int index, const QString &serial);
    void markReconnected();

    CameraInterface *cam;
    FrameSink *frames;
    QString serialNumber;
    int cameraIndex;
    Link state = Link::Open;
    QDateTime lostAt;
    QDateTime backAt;
    QVector<LinkEvent> events;
    // Back through reconnectNow: the driver's own report of it comes later.
    bool backByHand = false;
    bool halted = false;
    bool pendingApply = false;
    // The count the last snapshot was taken with: restoring it into another
    // would shift every later value.
    int snapshotCount = -1;
    CameraTrigParams trig;
};
