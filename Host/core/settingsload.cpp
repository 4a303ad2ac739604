#include "settingsload.h"

#include "paramaccess.h"
#include "paramfacts.h"

#include <QJsonArray>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace SettingsLoad {

namespace {

// What the descriptor at a place of the list saves: nothing but its pin (a
// heading), a single value, a group of check boxes (an array of values), or
// a choice.
using Kind = ParamFacts::Place::Kind;

QString kindText(Kind k)
{
    switch (k) {
    case Kind::Heading:
        return QStringLiteral("a heading");
    case Kind::Value:
        return QStringLiteral("a single value");
    case Kind::Options:
        return QStringLiteral("a group of check boxes");
    case Kind::Choice:
        return QStringLiteral("a choice");
    }
    return QString();
}

// The kind an entry's keys say it was saved from; `tells` false when they say
// nothing that tells (only the pin, which every kind saves).
Kind entryKind(const QJsonObject &entry, bool &tells)
{
    tells = true;
    if (entry.contains(QLatin1String("selectedIndex")))
        return Kind::Choice;
    if (entry.contains(QLatin1String("values")))
        return entry.value(QLatin1String("values")).isArray() ? Kind::Options : Kind::Value;
    tells = false;
    return Kind::Heading;
}

} // namespace

int exposureConfigCount(const QJsonObject &settings, QString &error)
{
    if (!settings.contains(QLatin1String("paramsWrap")))
        return -1;
    const QJsonValue wrap = settings.value(QLatin1String("paramsWrap"));
    if (!wrap.isArray()) {
        error = QStringLiteral("\"paramsWrap\" is not an array");
        return -2;
    }
    const QJsonArray entries = wrap.toArray();
    const int length = entries.size();
    if (length < kFixedDescriptors) {
        error = QStringLiteral("\"paramsWrap\" has %1 entries; a camera's settings have %2 plus one per exposure "
                               "configuration")
                    .arg(length)
                    .arg(kFixedDescriptors);
        return -2;
    }
    const int count = length - kFixedDescriptors;
    if (count > kMaxExposureConfigs) {
        error = QStringLiteral("\"paramsWrap\" has %1 entries, that is %2 exposure configurations; a camera takes "
                               "at most %3")
                    .arg(length)
                    .arg(count)
                    .arg(kMaxExposureConfigs);
        return -2;
    }
    const QVector<ParamFacts::Place> places = ParamFacts::places(count);
    for (int i = 0; i < length; ++i) {
        const QJsonValue v = entries.at(i);
        if (!v.isObject()) {
            error = QStringLiteral("\"paramsWrap\" entry %1 is not an object").arg(i + 1);
            return -2;
        }
        const QJsonObject entry = v.toObject();
        const ParamFacts::Place &expected = places.at(i);
        // The names a settings file carries let a hand edit that moved or
        // dropped an entry show itself.
        const QString named = entry.value(QLatin1String("name")).toString();
        if (!named.isEmpty() && named != expected.name) {
            error = QStringLiteral("\"paramsWrap\" entry %1 is named %2 where a camera with %3 exposure "
                                   "configuration(s) (%4 entries) has %5")
                        .arg(i + 1)
                        .arg(named)
                        .arg(count)
                        .arg(length)
                        .arg(expected.name);
            return -2;
        }
        bool tells = false;
        const Kind saved = entryKind(entry, tells);
        if (tells && saved != expected.kind) {
            error = QStringLiteral("\"paramsWrap\" entry %1 holds %2 where a camera with %3 exposure "
                                   "configuration(s) (%4 entries) has %5")
                        .arg(i + 1)
                        .arg(kindText(saved))
                        .arg(count)
                        .arg(length)
                        .arg(kindText(expected.kind));
            return -2;
        }
    }
    return count;
}

int exposureConfigCount(CameraInterface *camera)
{
    const QVector<ParamWrap *> *list = camera ? camera->pluginParams() : nullptr;
    if (!list || list->size() < kFixedDescriptors)
        return -1;
    return list->size() - kFixedDescriptors;
}

bool load(CameraInterface *camera, const QJsonObject &settings, QString &error, bool *rebuilt)
{
    if (rebuilt)
        *rebuilt = false;
    const int count = exposureConfigCount(settings, error);
    if (count == -2)
        return false;
    if (count >= 0 && count != exposureConfigCount(camera)) {
        camera->setExposureConfigCount(count);
        if (rebuilt)
            *rebuilt = true;
    }
    camera->load(settings);
    return true;
}

QString ExposureSelection::text(const QString &serial) const
{
    const QString number = QString::number(index + 1);
    switch (outcome) {
    case Selected:
        break;
    case NoConfiguration:
        return QStringLiteral("camera %1 has no exposure configuration to select: it keeps its own exposure")
            .arg(serial);
    case OutOfRange:
        return QStringLiteral("camera %1: exposure configuration %2 holds %3, outside the camera's range %4..%5 "
                              "(0.1 ms): not sent, the camera keeps its own exposure")
            .arg(serial, number)
            .arg(time, 0, 'g', 7)
            .arg(minimum, 0, 'g', 7)
            .arg(maximum, 0, 'g', 7);
    case Refused:
        return QStringLiteral("camera %1 refused exposure configuration %2 (%3, status %4)")
            .arg(serial, number)
            .arg(time, 0, 'g', 7)
            .arg(status);
    case NotOpen:
        return QStringLiteral("camera %1 is not open: exposure configuration %2 is sent when it is back")
            .arg(serial, number);
    }
    return QString();
}

ExposureSelection selectStoredExposure(CameraInterface *camera)
{
    ExposureSelection s;
    const QVector<ParamInfo> params = readParams(camera);
    ParamInfo choice;
    if (!findParam(params, QStringLiteral("ExposureConfiguration"), choice))
        return s;
    s.index = choice.value.toInt(-1);
    ParamInfo time;
    if (s.index < 0 || !findParam(params, QStringLiteral("ExposureTime%1").arg(s.index + 1), time))
        return s;
    s.time = time.value.toDouble();
    s.minimum = time.minimum;
    s.maximum = time.maximum;
    if (camera->cameraSerial() == QLatin1String("-1")) {
        s.outcome = ExposureSelection::NotOpen;
        return s;
    }
    // The limits are floats read back: allow their last place.
    const double slack = 1e-6 * std::max(1.0, std::fabs(s.time));
    if (!(s.time >= s.minimum - slack && s.time <= s.maximum + slack)) {
        s.outcome = ExposureSelection::OutOfRange;
        return s;
    }
    s.status = camera->selectExposure(s.index);
    s.outcome = s.status == 0 ? ExposureSelection::Selected : ExposureSelection::Refused;
    return s;
}

bool loadAndSelect(CameraInterface *camera, const QJsonObject &settings, QString &error,
                   ExposureSelection *selection, bool *rebuilt)
{
    if (!load(camera, settings, error, rebuilt))
        return false;
    const ExposureSelection s = selectStoredExposure(camera);
    if (selection)
        *selection = s;
    return true;
}

QString colourNote(CameraInterface *camera)
{
    ParamInfo colour;
    if (!findParam(readParams(camera), QStringLiteral("ColorImage"), colour))
        return QString();
    // A box of one option: its state is the array's one element.
    const bool on = colour.value.isArray() ? colour.value.toArray().at(0).toBool() : colour.value.toBool();
    if (!on
        || camera->cameraSerial() == QLatin1String("-1") || camera->channels() != 1)
        return QString();
    return QStringLiteral("camera %1 has a monochrome sensor: its colour choice (ColorImage) has no effect")
        .arg(camera->cameraSerial());
}

ExposureSelection apply(CameraInterface *camera)
{
    QJsonObject current;
    camera->save(current);
    camera->load(current);
    return selectStoredExposure(camera);
}

} // namespace SettingsLoad
