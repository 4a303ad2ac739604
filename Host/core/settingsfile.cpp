#include "settingsfile.h"

#include "settingsload.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

bool readSettingsFile(const QString &file, const QStringList &serials, QMap<QString, QJsonObject> &out,
                      QString &error)
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
    const QJsonObject root = doc.object();
    if (!doc.isObject() || (!root.value(QLatin1String("paramsWrap")).isArray()
                            && !root.value(QLatin1String("cameras")).isObject())) {
        error = QStringLiteral("settings file %1 holds neither \"paramsWrap\" nor \"cameras\"").arg(file);
        return false;
    }
    const QJsonObject cameras = root.value(QLatin1String("cameras")).toObject();
    QMap<QString, QJsonObject> found;
    for (const QString &s : serials) {
        if (root.contains(QLatin1String("paramsWrap")))
            found.insert(s, root);
        else if (cameras.value(s).isObject())
            found.insert(s, cameras.value(s).toObject());
    }
    // A file whose values would land in the wrong parameters is refused whole.
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        QString why;
        if (SettingsLoad::exposureConfigCount(it.value(), why) == -2) {
            error = root.contains(QLatin1String("paramsWrap"))
                        ? QStringLiteral("settings file %1: %2").arg(file, why)
                        : QStringLiteral("settings file %1, camera %2: %3").arg(file, it.key(), why);
            return false;
        }
    }
    for (auto it = found.cbegin(); it != found.cend(); ++it)
        out.insert(it.key(), it.value());
    return true;
}

bool writeSettingsFile(const QString &file, const QMap<QString, QJsonObject> &perCamera, QString &error)
{
    QJsonObject cameras;
    for (auto it = perCamera.cbegin(); it != perCamera.cend(); ++it)
        cameras.insert(it.key(), it.value());
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
