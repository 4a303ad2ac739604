#include "simconfig.h"

#include "configread.h"
#include "scene.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace vdsim {
namespace {

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
    return readLineKeys(o, d, error) && readSourceKeys(o, d, baseDir, error);
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
    colour.scene = "printed-sheet";
    colour.sceneImage = drawnSceneImage(colour.scene);
    colour.illumination = 15;
    mono.scene = "fabric";
    mono.sceneImage = drawnSceneImage(mono.scene);
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
