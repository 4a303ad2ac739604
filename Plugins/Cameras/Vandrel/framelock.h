#pragma once

#include <QMutex>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#include <sanitizer/tsan_interface.h>
#define VANDREL_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define VANDREL_TSAN 1
#endif

// Holds a camera's frame mutex for a scope. QMutex is implemented inside Qt's
// uninstrumented library, so a ThreadSanitizer build is told explicitly that
// locking acquires and unlocking releases; otherwise it is a QMutexLocker.
class FrameLock
{
public:
    explicit FrameLock(QMutex *mutex) : mutex(mutex)
    {
        mutex->lock();
        acquired();
    }
    // Takes over a mutex the caller has just locked.
    enum AdoptLock { Adopt };
    FrameLock(QMutex *mutex, AdoptLock) : mutex(mutex) { acquired(); }
    ~FrameLock()
    {
#ifdef VANDREL_TSAN
        __tsan_release(mutex);
#endif
        mutex->unlock();
    }
    FrameLock(const FrameLock &) = delete;
    FrameLock &operator=(const FrameLock &) = delete;

private:
    void acquired()
    {
#ifdef VANDREL_TSAN
        __tsan_acquire(mutex);
#endif
    }
    QMutex *mutex;
};
