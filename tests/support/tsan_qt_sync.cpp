// ThreadSanitizer build only. Qt's QMutex and QWaitCondition live in Qt's
// uninstrumented library, so TSan sees none of their locking and reports
// every access made under a QMutex from two threads as a race. These wrappers
// interpose the exported lock functions and tell TSan what Qt does: a lock
// acquires the mutex, an unlock releases it, a wait releases and re-acquires.
// They hide no report: an access outside the lock still races. No Qt header
// is included, since the wrappers carry the same symbol names.

#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

#include <cstdint>
#include <cstdlib>

namespace {

template <typename F>
F real(const char *name)
{
    void *f = dlsym(RTLD_NEXT, name);
    if (!f)
        std::abort();
    return reinterpret_cast<F>(f);
}

// Same layout and passing as QDeadlineTimer (trivially copyable, 16 bytes).
struct Deadline {
    std::int64_t t1;
    unsigned t2;
    unsigned type;
};

} // namespace

extern "C" {

void _ZN6QMutex4lockEv(void *m)
{
    static const auto f = real<void (*)(void *)>("_ZN6QMutex4lockEv");
    f(m);
    __tsan_acquire(m);
}

bool _ZN6QMutex7tryLockEi(void *m, int timeout)
{
    static const auto f = real<bool (*)(void *, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = f(m, timeout);
    if (locked)
        __tsan_acquire(m);
    return locked;
}

void _ZN6QMutex6unlockEv(void *m)
{
    static const auto f = real<void (*)(void *)>("_ZN6QMutex6unlockEv");
    __tsan_release(m);
    f(m);
}

void _ZN11QBasicMutex12lockInternalEv(void *m)
{
    static const auto f = real<void (*)(void *)>("_ZN11QBasicMutex12lockInternalEv");
    f(m);
    __tsan_acquire(m);
}

bool _ZN11QBasicMutex12lockInternalEi(void *m, int timeout)
{
    static const auto f = real<bool (*)(void *, int)>("_ZN11QBasicMutex12lockInternalEi");
    const bool locked = f(m, timeout);
    if (locked)
        __tsan_acquire(m);
    return locked;
}

void _ZN11QBasicMutex14unlockInternalEv(void *m)
{
    static const auto f = real<void (*)(void *)>("_ZN11QBasicMutex14unlockInternalEv");
    __tsan_release(m);
    f(m);
}

bool _ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer(void *wc, void *m, Deadline deadline)
{
    static const auto f = real<bool (*)(void *, void *, Deadline)>("_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    __tsan_release(m);
    const bool woken = f(wc, m, deadline);
    __tsan_acquire(m);
    return woken;
}

bool _ZN14QWaitCondition4waitEP6QMutexm(void *wc, void *m, unsigned long time)
{
    static const auto f = real<bool (*)(void *, void *, unsigned long)>("_ZN14QWaitCondition4waitEP6QMutexm");
    __tsan_release(m);
    const bool woken = f(wc, m, time);
    __tsan_acquire(m);
    return woken;
}

} // extern "C"
