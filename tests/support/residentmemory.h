#pragma once

#include <QtGlobal>

// Resident set size of this process in KiB, -1 where the system does not say.
qint64 residentKiB();

// Sanitizers keep freed memory in quarantine and shadow every byte, and slow
// each access several times over: resident size and timings say nothing in
// such a build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VANDREL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VANDREL_SANITIZED 1
#endif
#endif

#ifdef VANDREL_SANITIZED
constexpr bool kUnderSanitizer = true;
#else
constexpr bool kUnderSanitizer = false;
#endif
