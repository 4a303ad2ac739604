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

// The driver sends an exposure time only when a configuration is selected,
// and a load selects none: the camera would keep the exposure it had while
// the editor shows the loaded one. So after every load the hosts select the
// configuration the settings hold as current, unless its time lies outside
// the camera's range (a configuration never set holds 0): then the camera
// keeps its own exposure, and the outcome says so.
struct ExposureSelection
{
    enum Outcome {
        Selected,         // sent: the camera runs with `time`
        NoConfiguration,  // the settings hold no exposure configuration (or not this driver's)
        OutOfRange,       // not sent: `time` lies outside minimum..maximum
        Refused,          // sent, and the camera answered `status`
        NotOpen,          // not sent: the camera is closed or lost (a reopening selects it)
    };
    Outcome outcome = NoConfiguration;
    int index = -1;     // the configuration, from 0 (the editor's 曝光时间1 is 0)
    double time = 0;    // in the parameter's unit, 0.1 ms
    double minimum = 0;
    double maximum = 0;
    int status = 0;

    // One line for a person, naming the camera; empty when Selected.
    QString text(const QString &serial) const;
};

// Selects the stored current configuration, as above.
ExposureSelection selectStoredExposure(CameraInterface *camera);

// load(), then selectStoredExposure(). `selection` may be null.
bool loadAndSelect(CameraInterface *camera, const QJsonObject &settings, QString &error,
                   ExposureSelection *selection = nullptr, bool *rebuilt = nullptr);

// After a load: the colour choice is on, yet the camera delivers one
// channel, for its sensor is monochrome (the driver then sends no format).
// One line naming the camera; empty otherwise.
QString colourNote(CameraInterface *camera);

// The Apply step: loads the camera's current values (so the colour choice
// reaches the device and acquisition restarts) and selects the stored
// configuration. What a host runs after edits, and after reopening a camera.
ExposureSelection apply(CameraInterface *camera);

} // namespace SettingsLoad
