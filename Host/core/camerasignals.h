#pragma once

#include <QString>
#include <Qt>

class QObject;

// The plug-in carries its own copy of CameraInterface's meta-object, so a host
// connects to a camera's signals by signature, never by member pointer.

// Registers the contract's record by name, so that captureCompleted can be
// queued across threads. Call once before the first connection.
void registerContractTypes();

// Slots of one receiver, each a normalised signature such as
// "onFrame(ImageProcessData)"; a null slot leaves its signal unconnected.
struct CameraSlots
{
    const char *frame = nullptr;      // for captureCompleted(ImageProcessData), on an SDK thread
    const char *loss = nullptr;       // for CameraLoss(), on an SDK thread
    const char *reconnect = nullptr;  // for CameraReconnect(), on the camera's thread
    // A direct frame connection runs the slot on the SDK's frame thread under
    // the camera's frame mutex: it must be short and must not call paramsChanged().
    Qt::ConnectionType frameConnection = Qt::QueuedConnection;
    Qt::ConnectionType eventConnection = Qt::QueuedConnection;
};

// Connects what `wiring` names; on failure disconnects what it connected and
// says which signal or slot did not match.
bool connectCamera(QObject *camera, QObject *receiver, const CameraSlots &wiring, QString &error);
// Removes every connection from the camera to the receiver.
void disconnectCamera(QObject *camera, QObject *receiver);
