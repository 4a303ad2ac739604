#pragma once

// The simulated SDK reads its configuration once per process, at the first
// enumeration. Every element and the device provider go through here before
// they enumerate, so that a configuration asked for after that is refused
// with the reason instead of being ignored.

#include <QString>

#include <memory>

class CameraRuntime;

// `file` empty: no configuration of its own, the process's stands. Applies
// `file` on the runtime's thread when nothing has enumerated yet; false with
// the reason when another configuration is already in force. Any thread.
bool useSimConfig(CameraRuntime &runtime, const QString &file, QString &error);
