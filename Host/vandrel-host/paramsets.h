#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class CameraInterface;

// --set NAME=VALUE: each written through its descriptor and checked by the
// driver (paramsChanged), in order, as an editor would. A name no parameter
// has, or a value of the wrong type or outside the range, fails with the
// reason and leaves the later ones unwritten. A parameter the driver sends
// to no camera is written all the same, with a warning for each.
// On the thread that owns the camera.
bool applySets(CameraInterface *camera, const QList<QPair<QString, QString>> &sets, QStringList &warnings,
               QString &error);
