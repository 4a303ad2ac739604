#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

// Camera settings files, in the two forms the host programs share:
//   {"paramsWrap": [...]}                          one camera's settings, for every camera
//   {"cameras": {"SERIAL": {"paramsWrap": [...]}}} settings per camera, as they are written

// Reads the settings of the given cameras; a camera the file has nothing for
// gets no entry. On failure (unreadable, not JSON, neither form, or settings
// of a listed camera whose shape matches no exposure configuration count,
// see settingsload.h) returns false, says why in one line and adds nothing.
bool readSettingsFile(const QString &file, const QStringList &serials, QMap<QString, QJsonObject> &out,
                      QString &error);

// Writes {"cameras": {...}} atomically: a failed write leaves an existing file as it was.
bool writeSettingsFile(const QString &file, const QMap<QString, QJsonObject> &perCamera, QString &error);
