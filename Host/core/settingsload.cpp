#include "settingsload.h"

#include <QJsonArray>
#include <QJsonValue>

namespace SettingsLoad {

namespace {

// What the descriptor at a place of the list saves: nothing but its pin (a
// heading), a single value, a group of check boxes (an array of values), or
// a choice.
enum class Kind { Heading, Value, Options, Choice };

Kind kindAt(int i, int count)
{
    const int afterTimes = 12 + count;  // the frame-speed choice
    if (i == 0 || i == 8)
        return Kind::Heading;
    if (i == 9 || i == 10 || i == afterTimes + 7 || i == afterTimes + 8)
        return Kind::Options;
    if (i == 11 || i == afterTimes)
        return Kind::Choice;
    return Kind::Value;
}

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
    for (int i = 0; i < length; ++i) {
        const QJsonValue v = entries.at(i);
        if (!v.isObject()) {
            error = QStringLiteral("\"paramsWrap\" entry %1 is not an object").arg(i + 1);
            return -2;
        }
        bool tells = false;
        const Kind saved = entryKind(v.toObject(), tells);
        const Kind expected = kindAt(i, count);
        if (tells && saved != expected) {
            error = QStringLiteral("\"paramsWrap\" entry %1 holds %2 where a camera with %3 exposure "
                                   "configuration(s) (%4 entries) has %5")
                        .arg(i + 1)
                        .arg(kindText(saved))
                        .arg(count)
                        .arg(length)
                        .arg(kindText(expected));
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

} // namespace SettingsLoad
