#pragma once

#include "tsanannotations.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <functional>

// Wakes the owning thread's event loop for work another thread left there.
// A child of the camera, so it lives on the owning thread and goes with the
// camera, and with it every wake-up still queued.
class OwnerWaker : public QObject
{
public:
    OwnerWaker(QObject *parent, std::function<void()> run) : QObject(parent), work(std::move(run)) {}

    // From any thread.
    void wake()
    {
        // Qt's event queue orders the posting before the delivery.
        tsanRelease(this);
        // The event and the queue it joins are Qt's, guarded by Qt's lock,
        // which TSan cannot see; the owning thread grows and compacts the
        // same queue.
        [[maybe_unused]] TsanIgnoreAccesses qtOwnData;
        QCoreApplication::postEvent(this, new QEvent(kWake));
    }

protected:
    bool event(QEvent *e) override
    {
        tsanAcquire(this);
        if (e->type() != kWake)
            return QObject::event(e);
        work();
        return true;
    }

private:
    static constexpr QEvent::Type kWake = QEvent::User;
    const std::function<void()> work;
};
