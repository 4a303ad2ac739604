#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

// What the simulated SDK tells a host that the host must pass on, asked of
// the SDK library the plug-in brought in (hosts do not link it): why it
// presents no cameras, the settings recorded for a camera, and a replay come
// to its end. With a vendor's SDK, or before the plug-in is loaded, every
// answer is empty. Any thread.
namespace SimulatorState {

// "simulator configuration FILE unusable: reason" when the configuration
// named for this process could not be used and there are no cameras; empty
// otherwise. Every host given such a file fails with this line.
QString configurationProblem();

// The settings a replayed recording was made with (or that the
// configuration names) for the camera; empty when there are none.
QJsonObject recordedSettings(const QString &serial);
// The same for several cameras; those without recorded settings are left out.
QMap<QString, QJsonObject> recordedSettings(const QStringList &serials);

// How many frames the camera's recording played before it ended (it plays
// once unless the configuration says "loop"); -1 while it plays, or when
// the camera replays nothing.
int recordingEndedAfter(const QString &serial);
// "camera SERIAL: recording ended after N frames"
QString recordingEndedText(const QString &serial, int frames);

} // namespace SimulatorState
