#pragma once

#include "camerabase.h"

// The camera's current image geometry, as the SDK reports it.
struct CameraResolution {
    qint32 width = 0;
    qint32 height = 0;
    qint32 offsetX = 0;
    qint32 offsetY = 0;
};

// Brings a parameter set into the camera's limits: aligns the geometry to its
// steps, fits what differs from the camera's current resolution to the
// sensor, narrows the geometry bounds, and clamps the exposure index and the
// integer settings. Reads and writes nothing but `set`.
void normalizeParameterSet(CameraBase &set, const CameraResolution &camera);
