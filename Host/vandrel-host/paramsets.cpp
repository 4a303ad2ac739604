#include "paramsets.h"

#include "camerainterface.h"
#include "paramaccess.h"

bool applySets(CameraInterface *camera, const QList<QPair<QString, QString>> &sets, QStringList &warnings,
               QString &error)
{
    for (const auto &set : sets) {
        const QString serial = camera->cameraSerial();
        ParamInfo info;
        if (!findParam(readParams(camera), set.first, info)) {
            error = QStringLiteral("--set %1=%2: camera %3 has no parameter %1 (vandrel-host params lists them)")
                        .arg(set.first, set.second, serial);
            return false;
        }
        QJsonValue json;
        QString why;
        bool wrongType = false;
        if (!paramValueToJson(info, parseParamText(info, set.second), json, why, wrongType)) {
            error = QStringLiteral("--set %1=%2: %3").arg(set.first, set.second, why);
            return false;
        }
        writeParam(camera, info, json);
        if (info.effect == ParamFacts::Effect::Never)
            warnings << QStringLiteral("--set %1: %2 is kept and saved, but this camera's driver sends it to no "
                                       "camera: the frames do not change")
                            .arg(set.first, displayName(info));
    }
    return true;
}
