#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

// Soft triggers one after another, so that each frame carries the numbers
// of its own trigger. The driver keeps only the latest preset numbers
// (softTrigger with a host-numbered kind): triggers sent back to back would
// number every frame still to come after the last of them. So a trigger goes
// only once the frame of the one before has arrived (the trigger hook runs
// in its delivery) or its time ran out; the next one is then sent from that
// hook, or from the timer.
//
//   TriggerSequencer triggers([camera](int p, int c, std::function<void()> hook) {
//       camera->softTrigger(p, c, std::move(hook));
//   }, 1000);
//   triggers.submit(9, 1);
//   triggers.submit(9, 2);   // sent once (9, 1)'s frame is in
//
// Threading: created, submitted to, cleared and destroyed on the thread that
// owns the camera (its timer needs that thread's event loop); `fire` runs
// there or on the SDK's frame thread inside a delivery, where the driver
// allows softTrigger. Every frame delivered after a trigger runs the hook,
// also after this object is gone (it then does nothing). The camera must
// outlive every delivery that may still call the hook, as the driver's
// destructor ensures.
class TriggerSequencer : public QObject
{
    Q_OBJECT
public:
    using Fire = std::function<void(int product, int capture, std::function<void()> hook)>;

    TriggerSequencer(Fire fire, int timeoutMs, QObject *parent = nullptr);
    ~TriggerSequencer() override;

    void submit(int product, int capture);
    // Drops the triggers not sent yet and forgets the one under way (a lost
    // camera will deliver neither). Any thread.
    void clear();
    void setTimeoutMs(int ms);

    // Any thread.
    int waiting() const;           // submitted and not sent yet
    bool underWay() const;         // sent, its frame not in and its time not run out
    std::uint64_t timedOut() const;

private:
    struct State;
    void look();

    std::shared_ptr<State> state;
    QTimer ticker;
};
