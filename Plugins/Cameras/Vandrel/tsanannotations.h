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
