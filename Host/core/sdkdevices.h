#pragma once

#include <QString>
#include <QVector>

// The SDK's devices as its own records describe them, for a host's list:
// the product name, which the plug-in's enumeration leaves out, and what
// the device can do (sensor width, colour or mono). The plug-in lists only
// serial numbers of its family; this asks the SDK library that the plug-in
// brought in (sdkidentity.h) directly, as the plug-in's own enumeration does.
//
// Threading: the thread that owns the cameras, never while one of the
// listed devices is open (reading its capabilities opens it for a moment).

struct SdkDevice
{
    QString serial;
    QString product;
    bool family = false;  // a VD-XG camera, one the plug-in drives
    bool probed = false;  // opened for its capabilities; the fields below are valid
    int width = 0;        // the sensor's maximum width
    int height = 0;       // the sensor's maximum height (lines)
    bool mono = false;
};

// Every device the SDK enumerates, in its order. With probe, each device
// of the family is opened and closed again to read its capabilities. Empty,
// with the reason, when no loaded library is the SDK or it cannot list.
QVector<SdkDevice> listSdkDevices(bool probe, QString &error);
