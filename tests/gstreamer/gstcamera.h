#pragma once

#include "camerainterface.h"
#include "gstvandrelsrc.h"

// What tests do to the camera behind an element, as a host's own code would.

// The driver retries a lost link every 30 s; tests retry every `ms`.
void shortenReconnectInterval(GstElement *src, int ms);
// Switches colour output on, as the viewer's editor and Apply do.
void switchColourOn(GstElement *src);
