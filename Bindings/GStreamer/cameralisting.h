#pragma once

// The process's VD-XG cameras as the device provider lists them: serial
// number, product, frame width and the format a vandrelsrc of the camera
// delivers with the camera's own settings. The lines per frame are the
// SDK's to say, frame by frame, and no host can ask for them.

#include <QList>
#include <QString>

struct ListedCamera
{
    QString serial;
    QString product;        // the SDK's product name; empty when no SDK record names it
    bool measured = false;  // the camera opened for a moment: the figures below hold
    int width = 0;
    int channels = 1;
    QString why;            // when not measured
};

// Opens each camera for a moment to read its frame width; a camera in use
// elsewhere is listed without. False with the reason when the plug-in or
// the SDK cannot be used. Any thread but the camera runtime's.
bool listCameras(const QString &pluginDir, QList<ListedCamera> &cameras, QString &error);
