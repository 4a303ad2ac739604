#pragma once

// ThreadSanitizer cannot see the ordering that Qt's uninstrumented library
// provides (its mutexes, its event queue). Where the driver relies on it,
// it says so with these; in other builds they are nothing.

#if defined(__SANITIZE_THREAD__)
#define VANDREL_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VANDREL_TSAN 1
#endif
#endif

#ifdef VANDREL_TSAN
#include <sanitizer/tsan_interface.h>
// In the runtime of GCC and Clang alike, though not in every version's header.
extern "C" void __tsan_ignore_thread_begin(void);
extern "C" void __tsan_ignore_thread_end(void);
#endif

inline void tsanAcquire(void *address)
{
#ifdef VANDREL_TSAN
    __tsan_acquire(address);
#else
    (void)address;
#endif
}

inline void tsanRelease(void *address)
{
#ifdef VANDREL_TSAN
    __tsan_release(address);
#else
    (void)address;
#endif
}

// While in scope, the memory this thread touches (allocations included) is
// not checked: for a call into Qt that works on Qt's own data under Qt's
// own lock. Synchronisation is still seen.
class TsanIgnoreAccesses
{
public:
#ifdef VANDREL_TSAN
    TsanIgnoreAccesses() { __tsan_ignore_thread_begin(); }
    ~TsanIgnoreAccesses() { __tsan_ignore_thread_end(); }
#else
    TsanIgnoreAccesses() = default;
#endif
    TsanIgnoreAccesses(const TsanIgnoreAccesses &) = delete;
    TsanIgnoreAccesses &operator=(const TsanIgnoreAccesses &) = delete;
};
