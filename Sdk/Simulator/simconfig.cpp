#include "simconfig.h"

#include "replay.h"
#include "scene.h"
#include "sharedlibrary.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>


namespace vdsim {
namespace {

// Each reader leaves the target alone when the key is absent and fails on a
// value of the wrong type or range.
bool readInt(const QJsonObject &o, const char *key, int &target, int lo, int hi, std::string &error)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return true;
    const double d = v.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!v.isDouble() || !std::isfinite(d) || d != std::floor(d) || d < lo || d > hi) {
        error = std::string("\"") + key + "\" must be an integer in [" + std::to_string(lo) + ", "
                + std::to_string(hi) + "]";
        return false;
    }
    target = static_cast<int>(d);
    return true;
}

bool readDouble(const QJsonObject &o, const char *key, double &target, double lo, double hi, std::string &error)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return true;
    const double d = v.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!v.isDouble() || !std::isfinite(d) || d < lo || d > hi) {
        error = std::string("\"") + key + "\" must be a number in [" + std::to_string(lo) + ", "
                + std::to_string(hi) + "]";
        return false;
    }
    target = d;
    return true;
}

bool readBool(const QJsonObject &o, const char *key, bool &target, std::string &error)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return true;
    if (!v.isBool()) {
        error = std::string("\"") + key + "\" must be true or false";
        return false;
    }
    target = v.toBool();
    return true;
}

bool readString(const QJsonObject &o, const char *key, std::string &target, std::string &error)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return true;
    if (!v.isString()) {
        error = std::string("\"") + key + "\" must be a string";
        return false;
    }
    target = v.toString().toStdString();
    return true;
}

std::string resolve(const std::string &path, const std::string &baseDir)
{
    const QString p = QString::fromStdString(path);
    if (QDir::isAbsolutePath(p) || baseDir.empty())
        return QDir::cleanPath(QFileInfo(p).absoluteFilePath()).toStdString();
    return QDir::cleanPath(QDir(QString::fromStdString(baseDir)).absoluteFilePath(p)).toStdString();
}

// What the camera sees, once the keys are read: loads the scene or the frames.
bool loadSource(const QJsonObject &o, DeviceConfig &d, const std::string &baseDir, std::string &error)
{
    std::string pace;
    int seed = int(d.seed);
    if (!readString(o, "scene", d.scene, error) || !readString(o, "frames", d.frames, error)
        || !readDouble(o, "speed", d.speed, 1e-6, 1e6, error) || !readDouble(o, "noise", d.noise, 0.0, 255.0, error)
        || !readInt(o, "seed", seed, 0, std::numeric_limits<int>::max(), error)
        || !readDouble(o, "illumination", d.illumination, 0.0, 100.0, error)
        || !readString(o, "pace", pace, error) || !readBool(o, "loop", d.loop, error))
        return false;
    d.seed = uint32_t(seed);
    if (!d.scene.empty() && !d.frames.empty()) {
        error = "\"scene\" and \"frames\" exclude each other";
        return false;
    }
    if (!pace.empty() && pace != "recorded" && pace != "rate") {
        error = "\"pace\" must be \"recorded\" or \"rate\"";
        return false;
    }
    if (!d.scene.empty()) {
        d.scene = resolve(d.scene, baseDir);
        d.sceneImage = loadSceneImage(d.scene, error);
        return d.sceneImage != nullptr;
    }
    if (!d.frames.empty()) {
        d.frames = resolve(d.frames, baseDir);
        d.replay = loadReplay(d.frames, d.serialNumber, error);
        if (!d.replay)
            return false;
        if (pace == "recorded" && !d.replay->recording) {
            error = d.frames + ": \"pace\": \"recorded\" needs a recording (index.jsonl)";
            return false;
        }
        d.pace = pace == "rate" || !d.replay->recording ? Pace::Rate : Pace::Recorded;
    }
    return true;
}

bool parseDevice(const QJsonObject &o, size_t index, DeviceConfig &d, const std::string &baseDir,
                 std::string &error)
{
    d.serialNumber = "VDSIM" + std::string(7 - std::min<size_t>(7, std::to_string(index + 1).size()), '0')
                     + std::to_string(index + 1);
    const int maxInt = std::numeric_limits<int>::max();
    const bool ok = readString(o, "productName", d.productName, error)
                    && readString(o, "serialNumber", d.serialNumber, error)
                    && readInt(o, "sensorWidth", d.sensorWidth, 2, 16384, error)
                    && readInt(o, "sensorHeight", d.sensorHeight, 2, 65536, error)
                    && readInt(o, "frameHeight", d.frameHeight, 2, 65536, error)
                    && readBool(o, "mono", d.mono, error)
                    && readDouble(o, "lineTimeUs", d.lineTimeUs, 0.001, 1e6, error)
                    && readInt(o, "exposureMin", d.exposureMin, 0, maxInt, error)
                    && readInt(o, "exposureMax", d.exposureMax, 0, maxInt, error)
                    && readInt(o, "gainMin", d.gainMin, -maxInt, maxInt, error)
                    && readInt(o, "gainMax", d.gainMax, -maxInt, maxInt, error)
                    && readInt(o, "gammaMin", d.gammaMin, -maxInt, maxInt, error)
                    && readInt(o, "gammaMax", d.gammaMax, -maxInt, maxInt, error)
                    && readInt(o, "contrastMin", d.contrastMin, -maxInt, maxInt, error)
                    && readInt(o, "contrastMax", d.contrastMax, -maxInt, maxInt, error)
                    && readInt(o, "sharpnessMin", d.sharpnessMin, -maxInt, maxInt, error)
                    && readInt(o, "sharpnessMax", d.sharpnessMax, -maxInt, maxInt, error)
                    && readDouble(o, "frameRate", d.frameRate, 0.0, 10000.0, error)
                    && readBool(o, "attached", d.attached, error)
                    && readInt(o, "triggerMode", d.triggerMode, 0, 1, error)
                    && readDouble(o, "gain", d.gain, -1e9, 1e9, error) && readBool(o, "mirrorX", d.mirrorX, error)
                    && readBool(o, "mirrorY", d.mirrorY, error);
    if (!ok)
        return false;
    if (d.serialNumber.empty() || d.serialNumber.size() > 36) {
        error = "\"serialNumber\" must have 1 to 36 bytes";
        return false;
    }
    if (d.frameHeight > d.sensorHeight) {
        error = "\"frameHeight\" exceeds \"sensorHeight\"";
        return false;
    }
    if (int64_t(d.sensorWidth) * d.frameHeight > kMaxRawBytes) {
        error = "frame of " + std::to_string(d.sensorWidth) + " x " + std::to_string(d.frameHeight)
                + " is too large";
        return false;
    }
    if (d.exposureMin > d.exposureMax || d.gainMin > d.gainMax || d.gammaMin > d.gammaMax
        || d.contrastMin > d.contrastMax || d.sharpnessMin > d.sharpnessMax) {
        error = "a range has its minimum above its maximum";
        return false;
    }
    if (!o.contains(QLatin1String("gain")))
        d.gain = d.gainMin;
    return loadSource(o, d, baseDir, error);
}

bool parseEvent(const QJsonObject &o, EventConfig &e, std::string &error)
{
    const QJsonValue at = o.value(QLatin1String("atMs"));
    const double ms = at.toDouble(-1.0);
    if (!at.isDouble() || !std::isfinite(ms) || ms < 0 || ms > 1e12) {
        error = "event \"atMs\" must be a non-negative number";
        return false;
    }
    e.atMs = static_cast<int64_t>(ms);
    std::string kind;
    if (!readString(o, "serialNumber", e.serialNumber, error) || !readString(o, "event", kind, error)
        || !readBool(o, "powerLost", e.powerLost, error))
        return false;
    if (kind == "linkLost")
        e.kind = EventKind::LinkLost;
    else if (kind == "linkRestored")
        e.kind = EventKind::LinkRestored;
    else if (kind == "detach")
        e.kind = EventKind::Detach;
    else if (kind == "attach")
        e.kind = EventKind::Attach;
    else {
        error = "unknown event \"" + kind + "\"";
        return false;
    }
    if (e.serialNumber.empty()) {
        error = "event without \"serialNumber\"";
        return false;
    }
    return true;
}

// Where the scenes shipped with the simulator are: installed, or in the
// build tree, both relative to this library.
std::string shippedScene(const char *name)
{
    const std::string own = vdplatform::moduleDirOf(reinterpret_cast<const void *>(&shippedScene));
    if (!own.empty()) {
        const QDir libDir(QString::fromStdString(own));
        for (const char *relative : {VDSIM_SCENES_FROM_LIBDIR, "../../share/vandrel/scenes"}) {
            const QString candidate = libDir.absoluteFilePath(QLatin1String(relative) + QLatin1Char('/')
                                                              + QLatin1String(name));
            if (QFileInfo::exists(candidate))
                return QDir::cleanPath(candidate).toStdString();
        }
    }
    return std::string();
}

void giveShippedScene(DeviceConfig &d, const char *name)
{
    const std::string path = shippedScene(name);
    std::string error = std::string(name) + ": not found beside the simulator";
    if (!path.empty())
        d.sceneImage = loadSceneImage(path, error);
    if (d.sceneImage) {
        d.scene = path;
        return;
    }
    static std::atomic<bool> told{false};
    if (!told.exchange(true))
        std::fprintf(stderr, "VDCAMSDK simulator: scene %s; camera %s draws the ramp\n", error.c_str(),
                     d.serialNumber.c_str());
}

} // namespace

bool parsePopulation(const std::string &json, Population &out, std::string &error, const std::string &baseDir)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &pe);
    if (pe.error != QJsonParseError::NoError) {
        error = pe.errorString().toStdString() + " at offset " + std::to_string(pe.offset);
        return false;
    }
    if (!doc.isObject()) {
        error = "the top level must be an object";
        return false;
    }
    const QJsonObject root = doc.object();
    Population p;
    const QJsonValue devices = root.value(QLatin1String("devices"));
    if (!devices.isUndefined() && !devices.isArray()) {
        error = "\"devices\" must be an array";
        return false;
    }
    std::set<std::string> serials;
    const QJsonArray devArray = devices.toArray();
    for (int i = 0; i < devArray.size(); ++i) {
        if (!devArray.at(i).isObject()) {
            error = "device " + std::to_string(i) + " is not an object";
            return false;
        }
        DeviceConfig d;
        if (!parseDevice(devArray.at(i).toObject(), size_t(i), d, baseDir, error)) {
            error = "device " + std::to_string(i) + ": " + error;
            return false;
        }
        if (!serials.insert(d.serialNumber).second) {
            error = "serial number " + d.serialNumber + " appears twice";
            return false;
        }
        p.devices.push_back(std::move(d));
    }
    const QJsonValue events = root.value(QLatin1String("events"));
    if (!events.isUndefined() && !events.isArray()) {
        error = "\"events\" must be an array";
        return false;
    }
    const QJsonArray evArray = events.toArray();
    for (int i = 0; i < evArray.size(); ++i) {
        EventConfig e;
        if (!evArray.at(i).isObject() || !parseEvent(evArray.at(i).toObject(), e, error)) {
            error = "event " + std::to_string(i) + ": " + (error.empty() ? "not an object" : error);
            return false;
        }
        p.events.push_back(std::move(e));
    }
    std::stable_sort(p.events.begin(), p.events.end(),
                     [](const EventConfig &a, const EventConfig &b) { return a.atMs < b.atMs; });
    out = std::move(p);
    return true;
}

bool loadPopulationFile(const std::string &path, Population &p, std::string &error)
{
    const QString qpath = QString::fromLocal8Bit(path.c_str());
    QFile f(qpath);
    if (!f.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path;
        return false;
    }
    // Scenes and frames named in the file are found from its folder.
    return parsePopulation(f.readAll().toStdString(), p, error,
                           QFileInfo(qpath).absolutePath().toStdString());
}

Population defaultPopulation()
{
    Population p;
    DeviceConfig colour;
    colour.productName = "VD-XG4K-C";
    colour.serialNumber = "VDXG4K0C0001";
    colour.sensorWidth = 4096;
    colour.sensorHeight = 4096;
    colour.frameHeight = 512;
    colour.mono = false;
    colour.lineTimeUs = 10.0;
    colour.frameRate = 20.0;

    DeviceConfig mono = colour;
    mono.productName = "VD-XG8K-M";
    mono.serialNumber = "VDXG8K0M0002";
    mono.sensorWidth = 8192;
    mono.mono = true;
    mono.lineTimeUs = 7.5;

    DeviceConfig area = colour;
    // The scenes are 1024 wide: these speeds keep their proportions.
    giveShippedScene(colour, "printed-sheet.png");
    colour.speed = 0.25;
    colour.illumination = 15;
    giveShippedScene(mono, "fabric.png");
    mono.speed = 0.125;
    mono.illumination = 20;
    mono.noise = 2;
    p.devices.push_back(colour);
    p.devices.push_back(mono);

    area.productName = "VD-AC1300";
    area.serialNumber = "VDAC13000003";
    area.sensorWidth = 1280;
    area.sensorHeight = 1024;
    area.frameHeight = 1024;
    area.lineTimeUs = 30.0;
    area.frameRate = 10.0;
    p.devices.push_back(area);
    return p;
}

} // namespace vdsim
