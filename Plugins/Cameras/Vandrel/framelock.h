#pragma once

#include "tsanannotations.h"

#include <QMutex>

// Holds a camera's frame mutex for a scope. QMutex is implemented inside Qt's
// uninstrumented library, so a ThreadSanitizer build is told explicitly that
// locking acquires and unlocking releases; otherwise it is a QMutexLocker.
class FrameLock
{
public:
    explicit FrameLock(QMutex *mutex) : mutex(mutex)
    {
        mutex->lock();
        tsanAcquire(mutex);
    }
    // Takes over a mutex the caller has just locked.
    enum AdoptLock { Adopt };
    FrameLock(QMutex *mutex, AdoptLock) : mutex(mutex) { tsanAcquire(mutex); }
    ~FrameLock()
    {
        tsanRelease(mutex);
        mutex->unlock();
    }
    FrameLock(const FrameLock &) = delete;
    FrameLock &operator=(const FrameLock &) = delete;

private:
    QMutex *mutex;
};
