// The parts of a device's configuration beyond its records: the line
// (period, exposure, encoder), what the camera sees, and the settings
// recorded for it.
#include "configread.h"

#include "replay.h"
#include "scene.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace vdsim {
namespace {

// The camera's own {"paramsWrap": [...]} of a settings file: the file
// itself, or its "cameras" entry for the serial number (the only entry of
// a one-camera file serves any serial, as its frames do).
bool loadSettings(DeviceConfig &d, std::string &error)
{
    const std::string &path = d.settingsFile;
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) {
        error = path + ": " + (QFileInfo::exists(f.fileName()) ? "not readable" : "no such file");
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        error = path + ": " + (pe.error != QJsonParseError::NoError ? pe.errorString().toStdString()
                                                                     : std::string("not a JSON object"));
        return false;
    }
    QJsonObject camera = doc.object();
    if (camera.contains(QLatin1String("cameras"))) {
        const QJsonObject cameras = camera.value(QLatin1String("cameras")).toObject();
        const QString serial = QString::fromStdString(d.serialNumber);
        if (cameras.contains(serial))
            camera = cameras.value(serial).toObject();
        else if (cameras.size() == 1)
            camera = cameras.begin().value().toObject();
        else {
            error = path + ": no settings of camera " + d.serialNumber;
            return false;
        }
    }
    if (!camera.value(QLatin1String("paramsWrap")).isArray()) {
        error = path + ": no \"paramsWrap\" array for camera " + d.serialNumber;
        return false;
    }
    d.settings = QJsonDocument(camera).toJson(QJsonDocument::Compact).toStdString();
    return true;
}

} // namespace

std::string resolvePath(const std::string &path, const std::string &baseDir)
{
    const QString p = QString::fromStdString(path);
    if (QDir::isAbsolutePath(p) || baseDir.empty())
        return QDir::cleanPath(QFileInfo(p).absoluteFilePath()).toStdString();
    return QDir::cleanPath(QDir(QString::fromStdString(baseDir)).absoluteFilePath(p)).toStdString();
}

bool readLineKeys(const QJsonObject &o, DeviceConfig &d, std::string &error)
{
    std::string longExposure;
    if (!readDouble(o, "linePeriodUs", d.linePeriodUs, 0.0, 1e7, error)
        || !readDouble(o, "sceneExposureUs", d.sceneExposureUs, 0.0, 1e7, error)
        || !readString(o, "longExposure", longExposure, error))
        return false;
    if (d.linePeriodUs > 0 && d.linePeriodUs < d.lineTimeUs) {
        error = "\"linePeriodUs\" is shorter than the camera's \"lineTimeUs\"";
        return false;
    }
    if (longExposure == "clamped")
        d.longExposure = LongExposure::Clamped;
    else if (longExposure.empty() || longExposure == "extendsLine")
        d.longExposure = LongExposure::ExtendsLine;
    else {
        error = "\"longExposure\" must be \"extendsLine\" or \"clamped\"";
        return false;
    }
    const QJsonValue encoder = o.value(QLatin1String("encoder"));
    if (encoder.isUndefined())
        return true;
    if (!encoder.isObject()) {
        error = "\"encoder\" must be an object";
        return false;
    }
    const QJsonObject e = encoder.toObject();
    bool repeat = false;
    if (!readDouble(e, "linesPerMm", d.linesPerMm, 1e-3, 1e6, error)
        || !readDouble(e, "lineTimeoutMs", d.lineTimeoutMs, 1.0, 1e6, error) || !readBool(e, "repeat", repeat, error))
        return false;
    if (!e.contains(QLatin1String("webSpeed"))) {
        error = "\"encoder\" needs a \"webSpeed\"";
        return false;
    }
    if (!parseWebProfile(e.value(QLatin1String("webSpeed")), repeat, d.web, error))
        return false;
    d.encoder = true;
    return true;
}

bool readSourceKeys(const QJsonObject &o, DeviceConfig &d, const std::string &baseDir, std::string &error)
{
    std::string pace;
    int seed = int(d.seed);
    if (!readString(o, "scene", d.scene, error) || !readString(o, "frames", d.frames, error)
        || !readDouble(o, "speed", d.speed, 1e-6, 1e6, error) || !readDouble(o, "noise", d.noise, 0.0, 255.0, error)
        || !readInt(o, "seed", seed, 0, std::numeric_limits<int>::max(), error)
        || !readDouble(o, "illumination", d.illumination, 0.0, 100.0, error)
        || !readString(o, "pace", pace, error) || !readBool(o, "loop", d.loop, error)
        || !readString(o, "settings", d.settingsFile, error))
        return false;
    d.seed = uint32_t(seed);
    if (!d.scene.empty() && !d.frames.empty()) {
        error = "\"scene\" and \"frames\" exclude each other";
        return false;
    }
    if (d.encoder && !d.frames.empty()) {
        error = "\"encoder\" and \"frames\" exclude each other: a recording keeps its own pacing";
        return false;
    }
    if (!pace.empty() && pace != "recorded" && pace != "rate") {
        error = "\"pace\" must be \"recorded\" or \"rate\"";
        return false;
    }
    if (!d.scene.empty()) {
        d.sceneImage = drawnSceneImage(d.scene);
        if (!d.sceneImage) {
            d.scene = resolvePath(d.scene, baseDir);
            d.sceneImage = loadSceneImage(d.scene, error);
            if (!d.sceneImage)
                return false;
        }
    }
    if (!d.frames.empty()) {
        d.frames = resolvePath(d.frames, baseDir);
        d.replay = loadReplay(d.frames, d.serialNumber, error);
        if (!d.replay)
            return false;
        if (pace == "recorded" && !d.replay->recording) {
            error = d.frames + ": \"pace\": \"recorded\" needs a recording (index.jsonl)";
            return false;
        }
        d.pace = pace == "rate" || !d.replay->recording ? Pace::Rate : Pace::Recorded;
    }
    if (!d.settingsFile.empty()) {
        d.settingsFile = resolvePath(d.settingsFile, baseDir);
    } else if (d.replay && d.replay->recording) {
        // A recording's own settings, unless the configuration names others.
        const QString recorded = QDir(QString::fromStdString(d.frames)).filePath(QStringLiteral("settings.json"));
        if (QFileInfo::exists(recorded))
            d.settingsFile = recorded.toStdString();
    }
    return d.settingsFile.empty() || loadSettings(d, error);
}

} // namespace vdsim
