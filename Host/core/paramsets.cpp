#include "paramsets.h"

#include "camerainterface.h"
#include "paramaccess.h"

#include <QRegularExpression>

bool ParamSets::apply(CameraInterface *camera, const QList<QPair<QString, QString>> &sets, QString &error)
{
    const QString serial = camera->cameraSerial();
    for (const auto &set : sets) {
        ParamInfo info;
        if (!findParam(readParams(camera), set.first, info)) {
            error = QStringLiteral("%1 %2=%3: camera %4 has no parameter %2 (%5)")
                        .arg(origin, set.first, set.second, serial, listHint);
            return false;
        }
        QJsonValue json;
        QString why;
        bool wrongType = false;
        if (!paramValueToJson(info, parseParamText(info, set.second), json, why, wrongType)) {
            error = QStringLiteral("%1 %2=%3: %4").arg(origin, set.first, set.second, why);
            return false;
        }
        writeParam(camera, info, json);
        if (info.effect == ParamFacts::Effect::OnApply || info.effect == ParamFacts::Effect::OnSelect)
            needsApply = true;
        if (info.effect == ParamFacts::Effect::Never)
            warnings << QStringLiteral("%1 %2: %3 is kept and saved, but this camera's driver sends it to no "
                                       "camera: the frames do not change")
                            .arg(origin, set.first, displayName(info));
    }
    return true;
}

bool parseParamSets(const QString &text, QList<QPair<QString, QString>> &sets, QString &error)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QList<QPair<QString, QString>> read;
    for (const QString &item : text.split(space, Qt::SkipEmptyParts)) {
        const int eq = item.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            error = QStringLiteral("\"%1\" is not NAME=VALUE").arg(item);
            return false;
        }
        read.append({item.left(eq), item.mid(eq + 1)});
    }
    sets = read;
    return true;
}
