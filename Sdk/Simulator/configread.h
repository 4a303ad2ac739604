// Readers of the configuration's JSON keys, shared by the parts of its
// parser. Each leaves the target alone when the key is absent and fails,
// saying why, on a value of the wrong type or range.
#ifndef VDSIM_CONFIGREAD_H
#define VDSIM_CONFIGREAD_H

#include "simconfig.h"

#include <QJsonObject>
#include <QJsonValue>

#include <cmath>
#include <limits>
#include <string>

namespace vdsim {

inline bool readInt(const QJsonObject &o, const char *key, int &target, int lo, int hi, std::string &error)
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

inline bool readDouble(const QJsonObject &o, const char *key, double &target, double lo, double hi,
                       std::string &error)
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

inline bool readBool(const QJsonObject &o, const char *key, bool &target, std::string &error)
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

inline bool readString(const QJsonObject &o, const char *key, std::string &target, std::string &error)
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

// A path of the configuration, from baseDir (or the working directory when empty).
std::string resolvePath(const std::string &path, const std::string &baseDir);

// The device's line: its period, what a long exposure does, the light, the encoder.
bool readLineKeys(const QJsonObject &o, DeviceConfig &d, std::string &error);
// What the camera sees (a scene, replayed frames or the ramp) and the
// settings recorded for it, loaded and checked now.
bool readSourceKeys(const QJsonObject &o, DeviceConfig &d, const std::string &baseDir, std::string &error);

} // namespace vdsim

#endif
