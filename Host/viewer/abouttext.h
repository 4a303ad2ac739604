#pragma once

#include <QString>

class CameraInterface;

// The text of Help → About, rich text: the viewer's version, the plug-in
// (null: none loaded), and the SDK library in this process and whether it is
// the simulated one. UI thread.
QString aboutText(CameraInterface *plugin);
