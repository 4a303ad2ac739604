#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class CameraInterface;

// NAME=VALUE settings from a host's own options (vandrel-host's --set,
// vandrelsrc's features): each written through its descriptor and checked by
// the driver (paramsChanged), in order, as an editor would. A name no
// parameter has, or a value of the wrong type or outside the range, fails
// with the reason and leaves the later ones unwritten. A parameter the driver
// sends to no camera is written all the same, with a warning for each.
//
// `origin` starts each text ("--set", "features"); `listHint` tells where
// the names are listed ("vandrel-host params lists them").
// On the thread that owns the camera, never inside a frame delivery.
struct ParamSets
{
    ParamSets(const QString &from, const QString &hint) : origin(from), listHint(hint) {}

    QString origin;
    QString listHint;
    // Whether any value written takes effect only on Apply or on selecting
    // its configuration: the caller then runs the Apply step.
    bool needsApply = false;
    QStringList warnings;

    bool apply(CameraInterface *camera, const QList<QPair<QString, QString>> &sets, QString &error);
};

// "ExposureTime1=50 Gain=8": pairs separated by white space. False, with the
// reason, on an item without "=" or without a name.
bool parseParamSets(const QString &text, QList<QPair<QString, QString>> &sets, QString &error);
