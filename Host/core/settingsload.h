#pragma once

#include "camerainterface.h"

#include <QJsonObject>
#include <QString>

// Loading a camera's settings so that every value lands where it was saved.
//
// The driver matches "paramsWrap" entries to descriptors by position, and its
// list holds 21 descriptors plus one exposure time per exposure
// configuration, in the middle. Settings saved with another configuration
// count would shift every later value into the wrong parameter, so the count
// is read from the settings' own length and set on the camera before they
// are loaded.
//
// Threading: the functions that take a camera run on the thread that owns it.

namespace SettingsLoad {

// Descriptors of the driver's list besides the exposure times.
constexpr int kFixedDescriptors = 21;
// More configurations than this is not a camera's settings but a damaged or
// foreign file; building that many descriptors would only hide it.
constexpr int kMaxExposureConfigs = 1024;

// The exposure configuration count that `settings` were saved with: 0 or
// more. -1 when they hold no "paramsWrap" (nothing to load, nothing to
// check). -2 when their shape matches no count, with the reason in `error`:
// "paramsWrap" not an array, fewer than 21 entries, more than the maximum,
// or an entry that is not an object or holds another kind of value than the
// descriptor at its place.
int exposureConfigCount(const QJsonObject &settings, QString &error);

// The camera's current count, from the length of its descriptor list; -1
// when the list is shorter than the fixed part.
int exposureConfigCount(CameraInterface *camera);

// Checks `settings`, sets the camera's exposure configuration count to
// theirs when it differs (the descriptor list is then rebuilt: `rebuilt` is
// set) and loads them. An object without "paramsWrap" is loaded as it is
// (load restarts acquisition with the values the camera has). On a shape
// that matches no count returns false with the reason, and neither the
// count nor any value is changed.
bool load(CameraInterface *camera, const QJsonObject &settings, QString &error, bool *rebuilt = nullptr);

} // namespace SettingsLoad
