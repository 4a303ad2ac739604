#pragma once

#include <functional>

// Waits until the condition holds or the deadline passes, processing Qt
// events meanwhile when called on the application's thread, so that queued
// signals and timers keep working. Returns whether the condition held.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);
