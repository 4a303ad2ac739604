#pragma once

#include "camerainterface.h"
#include "framesink.h"
#include "linkkeeper.h"
#include "linkstate.h"
#include "settingsload.h"
#include "triggersequencer.h"

#include <QColor>
#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

// One open camera: the plug-in's camera object, the mailbox its frames go
// to, the keeper of its link state, the sequencer of its soft triggers and
// the product grouping the viewer installed.
//
// Threading: lives on the UI thread, which created the camera and so owns
// it: every camera operation, the keeper and the sequencer run there.
// Frames reach the sink directly on the SDK's frame thread, which notes each
// one to the keeper and runs the sequencer's hook; CameraLoss arrives queued
// from the SDK's status thread and CameraReconnect from the camera's own
// timer, so the keeper's events (onLinkEvent) all come on the UI thread.
// `events`, `selection` and the flags are the UI thread's.
class CameraSession : public QObject
{
    Q_OBJECT
public:
    // A soft trigger's frame waited for before the next trigger goes anyway.
    static constexpr int kTriggerTimeoutMs = 1000;
    // The picture says "link back at ..." this long after the return.
    static constexpr int kBackShownMs = 10000;

    // Creates and opens the camera, connects it, loads `settings` (an empty
    // object: the defaults), which starts acquisition, and selects their
    // stored exposure configuration (exposureSelection() says how that went).
    // Null, with the reason in `error`, when the camera cannot be opened.
    static std::unique_ptr<CameraSession> open(CameraInterface *plugin, int index, const QString &serial,
                                               const QJsonObject &settings, const LinkKeeper::Policy &policy,
                                               QString &error);
    // Stops and closes the camera; no frame arrives after this.
    ~CameraSession() override;

    CameraInterface *camera() const { return cam; }
    FrameSink *sink() const { return frames; }
    QString serial() const { return serialNumber; }
    int index() const { return cameraIndex; }

    LinkStatus linkStatus() const { return keeper->status(); }
    LinkState linkState() const { return linkStatus().state; }
    LinkKeeper::Policy linkPolicy() const { return keeper->policy(); }
    bool lost() const { return linkState() == LinkState::Lost; }
    // Lost or stalled: Reconnect now has something to do.
    bool down() const { return linkState() != LinkState::Open; }
    // Open again after a loss or a stall; null otherwise.
    QDateTime backAt() const;
    // Every change of the link since opening, oldest first.
    const QVector<LinkEvent> &linkEvents() const { return events; }
    // "open", "lost since 10:02:03", "stalled since 10:02:03", "back at 10:02:33".
    QString badge() const;
    // The badge's colour in the list and the view: green open, red lost,
    // orange stalled, blue back.
    QColor badgeColour() const;
    // Who brings the camera back and when: "retrying every 5 s · next in 3 s",
    // "the driver retries every 30 s · next in 12 s"; empty while open.
    QString retryText() const;
    // Milliseconds to the next attempt to reopen the camera, the keeper's or
    // the driver's; -1 when none is planned or it is open.
    int nextRetryMs() const;
    // The keeper's retryNow: restartCamera and the Apply step, now rather
    // than at the next retry. True when the camera is open again.
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
    // Queued behind the triggers whose frames are not in yet, so that each
    // frame carries its own trigger's numbers.
    void softTrigger(int productNumber, int captureNumber);
    int triggersPending() const;
    void setGrouping(const CameraTrigParams &params);
    const CameraTrigParams &grouping() const { return trig; }
    // The Apply step: load() of the current settings, which brings the colour
    // choice to the device, and the stored exposure configuration selected.
    SettingsLoad::ExposureSelection apply();
    // The latest load's, Apply's or reopening's selection of the stored
    // exposure configuration.
    SettingsLoad::ExposureSelection exposureSelection() const { return selection; }
    // An edit waits for Apply to reach the device.
    bool applyPending() const { return pendingApply; }
    void setApplyPending();
    QJsonObject settings() const;
    // With the exposure configuration count the settings were saved with
    // (settingsload.h); false with the reason, and nothing changed, when
    // their shape matches no count. The stored configuration is selected.
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
    // Something the person should read in the message bar: a reopening whose
    // exposure configuration was not sent.
    void notice(const QString &text, bool error);

public slots:
    void onLoss();
    void onReconnect();
    // A replayed recording ended (or plays again): its silence is no stall.
    void setReplayEnded(bool ended);

private:
    CameraSession(CameraInterface *camera, int index, const QString &serial, const LinkKeeper::Policy &policy);
    void onLinkEvent(const LinkEvent &e);
    // The keeper counts for stalls from here: acquisition was (re)started.
    void acquisitionStarted();

    CameraInterface *cam;
    // Declared before the sink, which notes every frame to it; deleted after
    // the camera, whose deletion ends every delivery.
    std::unique_ptr<LinkKeeper> keeper;
    std::unique_ptr<TriggerSequencer> triggers;
    FrameSink *frames;
    QString serialNumber;
    int cameraIndex;
    QVector<LinkEvent> events;
    SettingsLoad::ExposureSelection selection;
    int seenReopenings = 0;  // the keeper's reopenings already taken into `selection`
    bool replayEnded = false;
    bool halted = false;
    bool pendingApply = false;
    // The count the last snapshot was taken with: restoring it into another
    // would shift every later value.
    int snapshotCount = -1;
    CameraTrigParams trig;
};
