#include "settingsfile.h"

#include "paramfacts.h"
#include "settingsload.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

bool matchSettings(const QJsonObject &root, const QString &origin, const QString &serial, QJsonObject &out,
                   QString &error)
{
    const bool single = root.value(QLatin1String("paramsWrap")).isArray();
    const QJsonValue cameras = root.value(QLatin1String("cameras"));
    if (!single && !cameras.isObject()) {
        error = QStringLiteral("%1 holds neither \"paramsWrap\" nor \"cameras\"").arg(origin);
        return false;
    }
    QJsonObject found = root;
    if (!single) {
        const QJsonObject perCamera = cameras.toObject();
        if (!perCamera.value(serial).isObject()) {
            const QStringList held = perCamera.keys();
            error = held.isEmpty() ? QStringLiteral("%1 holds no settings for camera %2 (it holds none)").arg(origin, serial)
                                   : QStringLiteral("%1 holds no settings for camera %2 (it holds settings for %3)")
                                         .arg(origin, serial, held.join(QStringLiteral(", ")));
            return false;
        }
        found = perCamera.value(serial).toObject();
    }
    QString why;
    // Values that would land in the wrong parameters are refused whole.
    if (SettingsLoad::exposureConfigCount(found, why) == -2) {
        error = single ? QStringLiteral("%1: %2").arg(origin, why)
                       : QStringLiteral("%1, camera %2: %3").arg(origin, serial, why);
        return false;
    }
    out = found;
    return true;
}

namespace {

bool readDocument(const QString &file, QJsonObject &root, QString &error)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read settings file %1: %2").arg(file, f.errorString());
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (pe.error != QJsonParseError::NoError) {
        error = QStringLiteral("settings file %1 is not valid JSON: %2 at offset %3")
                    .arg(file, pe.errorString())
                    .arg(pe.offset);
        return false;
    }
    if (!doc.isObject()) {
        error = QStringLiteral("settings file %1 holds neither \"paramsWrap\" nor \"cameras\"").arg(file);
        return false;
    }
    root = doc.object();
    return true;
}

bool readSettings(const QString &file, const QStringList &serials, bool each, QMap<QString, QJsonObject> &out,
                  QString &error)
{
    QJsonObject root;
    if (!readDocument(file, root, error))
        return false;
    const QString origin = QStringLiteral("settings file %1").arg(file);
    QMap<QString, QJsonObject> found;
    QString firstMissing;
    for (const QString &s : serials) {
        QJsonObject settings;
        QString why;
        if (matchSettings(root, origin, s, settings, why)) {
            found.insert(s, settings);
            continue;
        }
        const bool missing = root.value(QLatin1String("cameras")).isObject()
                             && !root.value(QLatin1String("cameras")).toObject().value(s).isObject();
        if (each || !missing) {
            error = why;
            return false;
        }
        if (firstMissing.isEmpty())
            firstMissing = why;
    }
    if (found.isEmpty() && !firstMissing.isEmpty()) {
        error = firstMissing;
        return false;
    }
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        out.insert(it.key(), it.value());
    return true;
}

} // namespace

bool readSettingsForEach(const QString &file, const QStringList &serials, QMap<QString, QJsonObject> &out,
                         QString &error)
{
    return readSettings(file, serials, true, out, error);
}

bool readSettingsFile(const QString &file, const QStringList &serials, QMap<QString, QJsonObject> &out,
                      QString &error)
{
    return readSettings(file, serials, false, out, error);
}

QJsonObject namedSettings(const QJsonObject &settings)
{
    QString why;
    const int count = SettingsLoad::exposureConfigCount(settings, why);
    if (count < 0)
        return settings;
    const QVector<ParamFacts::Place> places = ParamFacts::places(count);
    QJsonArray entries = settings.value(QLatin1String("paramsWrap")).toArray();
    for (int i = 0; i < entries.size() && i < places.size(); ++i) {
        QJsonObject entry = entries.at(i).toObject();
        entry.insert(QStringLiteral("name"), places.at(i).name);
        entries[i] = entry;
    }
    QJsonObject named = settings;
    named.insert(QStringLiteral("paramsWrap"), entries);
    return named;
}

bool writeSettingsFile(const QString &file, const QMap<QString, QJsonObject> &perCamera, QString &error)
{
    QJsonObject cameras;
    for (auto it = perCamera.cbegin(); it != perCamera.cend(); ++it)
        cameras.insert(it.key(), namedSettings(it.value()));
    QJsonObject root;
    root.insert(QStringLiteral("cameras"), cameras);
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) < 0
        || !f.commit()) {
        error = QStringLiteral("cannot write settings %1: %2").arg(file, f.errorString());
        return false;
    }
    return true;
}
