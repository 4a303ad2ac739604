#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// The state of one camera's link as every host shows it:
//
//   Open     frames may come; the state after opening and after "back"
//   Lost     the driver reported the loss (CameraLoss) and closed the camera
//   Stalled  open, acquiring and free-running, yet no frame for N s: a camera
//            unplugged without a status message looks like this
//
//   Open    -> Lost     CameraLoss
//   Open    -> Stalled  no frame for N s while acquisition runs and the
//                       camera is continuous (N can be set; 0 switches it off)
//   Stalled -> Lost     CameraLoss
//   Lost    -> Open     "back": the driver's CameraReconnect, or a reopening
//                       by the host's own retry, whichever comes first
//   Stalled -> Open     "back": a frame came, or the host's retry reopened it
//
// A stall is reported as a loss is: an event with its time, and a state
// with the time it began.

struct LinkEvent
{
    enum Kind {
        Lost,
        Stalled,
        Back,
        Reconnected = Back,  // the name of the driver's signal
    };
    Kind kind = Lost;
    QDateTime time;  // when the host learnt of it
    QString detail;  // what told: "CameraLoss", "no frame for 5 s", "reopened by the host's retry", ...
};

enum class LinkState { Open, Lost, Stalled };

// "lost", "stalled", "back"
QString linkEventKey(LinkEvent::Kind kind);
// "open", "lost", "stalled"
QString linkStateKey(LinkState state);

struct LinkStatus
{
    LinkState state = LinkState::Open;
    QDateTime since;  // when the state began; null for Open since opening
    int losses = 0;
    int stalls = 0;
    int backs = 0;
};

// The transitions above as plain logic on a steady clock in milliseconds,
// for LinkKeeper and for tests; it calls nothing. Not thread-safe: its
// owner guards it.
class LinkModel
{
public:
    // 0 switches stall detection off.
    void setStallAfterMs(int ms) { stallAfter = ms > 0 ? ms : 0; }
    int stallAfterMs() const { return stallAfter; }

    // Acquisition runs from now on (after a load, an Apply, a reopening):
    // the stall clock starts here. stopped(): no stall while it does not.
    void started(qint64 nowMs);
    void stopped();
    bool acquiring() const { return running; }

    // A frame came at nowMs; ends a stall.
    std::optional<LinkEvent> frame(qint64 nowMs, const QDateTime &wall);
    std::optional<LinkEvent> lost(const QDateTime &wall);
    // Open again, `how` says by whom.
    std::optional<LinkEvent> reopened(qint64 nowMs, const QDateTime &wall, const QString &how);

    // Open and acquiring with no frame for the stall time: the owner then
    // asks whether frames are expected at all (a camera in trigger mode
    // sends none by itself) and calls stalled() or notExpecting().
    bool stallDue(qint64 nowMs) const;
    std::optional<LinkEvent> stalled(qint64 nowMs, const QDateTime &wall);
    // Frames are not expected now: look again one stall time later.
    void notExpecting(qint64 nowMs) { reference = nowMs; }

    LinkStatus status() const { return st; }
    LinkState state() const { return st.state; }

private:
    LinkStatus st;
    int stallAfter = 0;
    bool running = false;
    qint64 reference = 0;  // the stall clock counts from the later of this and the last frame
    qint64 startedAt = 0;  // acquisition began: the silence reported counts from here at most
    qint64 lastFrame = -1;
};
