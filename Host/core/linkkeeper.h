#pragma once

#include "linkstate.h"
#include "settingsload.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <mutex>

class CameraInterface;

// Keeps one camera's link state (linkstate.h) true, and brings a lost
// camera back sooner than the driver would when asked to.
//
// The driver retries a lost camera on a 30 s tick of its own, and only once
// the SDK counts as many devices as at the last enumeration. With a retry
// interval set, the keeper also calls restartCamera every interval while the
// camera is lost or stalled; when the camera is open again it runs the Apply
// step (settingsload.h: colour choice and exposure as shown) and reports
// "back" at once. The driver's own CameraReconnect may still follow at its
// next tick (it reopens the camera once more): the keeper then only selects
// the stored exposure again, which the driver's reopening does not send.
//
// Use, on the thread that owns the camera (it needs that thread's event
// loop for its timer):
//
//   LinkKeeper keeper(camera, [](const LinkEvent &e) { ... });
//   keeper.setPolicy({retryIntervalMs, stallAfterMs});
//   // connect CameraLoss to noteLoss, CameraReconnect to noteReconnect,
//   // and call noteFrame for every frame
//   SettingsLoad::loadAndSelect(camera, settings, error);
//   keeper.start();
//
// Threading: noteFrame, noteLoss, status and isUp on any thread (noteFrame
// is a store, cheap under the frame mutex); everything else on the owning
// thread. The sink runs on the thread that made the change: a loss on the
// thread that called noteLoss (the SDK's status thread when connected
// directly), everything else on the owning thread. It must not delete the
// keeper. The camera must outlive the keeper.
class LinkKeeper : public QObject
{
    Q_OBJECT
public:
    struct Policy
    {
        int retryIntervalMs = 0;  // 0: leave it to the driver's tick
        int stallAfterMs = 0;     // 0: no stall detection
    };
    using Sink = std::function<void(const LinkEvent &)>;

    // How often the keeper looks; a stall and a retry are seen this much late at most.
    static constexpr int kLookMs = 100;

    LinkKeeper(CameraInterface *camera, Sink sink, QObject *parent = nullptr);
    ~LinkKeeper() override;

    void setPolicy(const Policy &policy);
    Policy policy() const;

    // Acquisition was started (a load) or stopped by the host (closeCamera):
    // no stall is seen and no retry made while stopped.
    void start();
    void stop();

    void noteFrame();
    void noteLoss();
    void noteReconnect();

    // restartCamera now, while the camera is lost or stalled (a host's
    // "Reconnect now"); true when it is open again.
    bool retryNow();

    LinkStatus status() const;
    bool isUp() const { return status().state == LinkState::Open; }

    // Milliseconds until the keeper's own next retry; -1 while the camera is
    // open or no retry interval is set. Owning thread.
    int nextRetryInMs() const;
    // What the exposure selection of the latest reopening came to (its Apply
    // step, or the selection after CameraReconnect), for a host to report,
    // and how many reopenings there have been: a "back" that a frame brought
    // (the end of a stall) reopened nothing.
    SettingsLoad::ExposureSelection reopenSelection() const;
    int reopenings() const;

private:
    void look();
    qint64 nowMs() const { return clock.elapsed(); }
    void emitEvent(const std::optional<LinkEvent> &e);

    CameraInterface *const cam;
    const Sink sink;
    QElapsedTimer clock;
    QTimer ticker;
    // The last frame's time on `clock`, +1 (0: none yet); written on frame threads.
    std::atomic<qint64> lastFrame{0};
    qint64 seenFrame = 0;  // owning thread: the last frame handed to the model

    // Guards what follows.
    mutable std::mutex lock;
    LinkModel model;
    Policy pol;
    qint64 lastAttempt = -1;  // a retry's time; -1: none since the loss
    qint64 downSince = 0;
    SettingsLoad::ExposureSelection reopened;
    int reopenCount = 0;
};
