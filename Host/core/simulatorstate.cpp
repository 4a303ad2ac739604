#include "simulatorstate.h"

#include "loadedsdk.h"

#include <QJsonDocument>

namespace {

// The simulator's control function, if the loaded SDK is the simulator.
template <typename F>
F control(const char *name)
{
    const vdsdk::LoadedSdk sdk = vdsdk::findLoadedSdk();
    return sdk.simulated ? reinterpret_cast<F>(vdsdk::findSdkSymbol(sdk, name)) : nullptr;
}

} // namespace

namespace SimulatorState {

QString configurationProblem()
{
    using Text = const char *(*)();
    const Text why = control<Text>("VdSimPopulationError");
    const char *text = why ? why() : nullptr;
    return text && *text ? QStringLiteral("simulator %1").arg(QString::fromUtf8(text)) : QString();
}

QJsonObject recordedSettings(const QString &serial)
{
    using Text = const char *(*)(const char *, const char *);
    const Text get = control<Text>("VdSimGetText");
    const char *text = get ? get(serial.toUtf8().constData(), "settings") : nullptr;
    return text && *text ? QJsonDocument::fromJson(QByteArray(text)).object() : QJsonObject();
}

QMap<QString, QJsonObject> recordedSettings(const QStringList &serials)
{
    QMap<QString, QJsonObject> found;
    for (const QString &s : serials) {
        const QJsonObject o = recordedSettings(s);
        if (!o.isEmpty())
            found.insert(s, o);
    }
    return found;
}

int recordingEndedAfter(const QString &serial)
{
    using Value = int (*)(const char *, const char *, double *);
    const Value get = control<Value>("VdSimGetValue");
    if (!get)
        return -1;
    const QByteArray s = serial.toUtf8();
    double ended = 0, frames = 0;
    if (get(s.constData(), "replayEnded", &ended) != 0 || ended == 0
        || get(s.constData(), "replayFrames", &frames) != 0)
        return -1;
    return int(frames);
}

QString recordingEndedText(const QString &serial, int frames)
{
    return QStringLiteral("camera %1: recording ended after %2 frames").arg(serial).arg(frames);
}

} // namespace SimulatorState
