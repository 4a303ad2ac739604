#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

// Camera settings files, in the two forms the host programs share:
//   {"paramsWrap": [...]}                          one camera's settings, for every camera
//   {"cameras": {"SERIAL": {"paramsWrap": [...]}}} settings per camera, as they are written
// Written files name each entry ("name": "Gain", as paramfacts.h has it), so
// that a person can edit one by hand; the driver reads values only, and a
// name that does not match its place refuses the file.

// The one matcher every host uses: the settings of camera `serial` in the
// document `root`, read from `origin` ("settings file f.json", "settings").
// A document of the first form matches every camera; one of the second form
// only the cameras it has an entry for. Refused with the reason: a document
// of neither form, no entry for the camera, or settings whose shape matches
// no exposure configuration count (settingsload.h).
bool matchSettings(const QJsonObject &root, const QString &origin, const QString &serial, QJsonObject &out,
                   QString &error);

// Reads the settings of each of the given cameras through matchSettings. On
// failure (unreadable, not JSON, or any camera refused, one without an entry
// included) returns false, says why in one line and adds nothing.
bool readSettingsForEach(const QString &file, const QStringList &serials, QMap<QString, QJsonObject> &out,
                         QString &error);

// The same for a host that loads a file into whichever of several cameras
// it has settings for (the viewer's Load settings over its open cameras): a
// camera without an entry gets none, but a file with an entry for none of
// them is refused as above. With one camera the two are alike.
bool readSettingsFile(const QString &file, const QStringList &serials, QMap<QString, QJsonObject> &out,
                      QString &error);

// Writes {"cameras": {...}} atomically, entries named: a failed write leaves
// an existing file as it was.
bool writeSettingsFile(const QString &file, const QMap<QString, QJsonObject> &perCamera, QString &error);

// One camera's settings with each entry named after its place; as they were
// when their shape matches no exposure configuration count.
QJsonObject namedSettings(const QJsonObject &settings);
