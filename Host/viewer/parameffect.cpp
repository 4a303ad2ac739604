#include "parameffect.h"

#include "paramvalues.h"
#include "paramwrap.h"

#include <QCoreApplication>

namespace ParamEffect {

When of(ParamWrap *p, const QString &pluginIid)
{
    if (!p || pluginIid != QLatin1String("com.kvr.quorvane.camerainterface.Vandrel"))
        return When::Unknown;
    const QString kind = p->typeName();
    if (kind == ParamKind::Separate)
        return When::Unknown;
    if (kind == ParamKind::CheckBox) {
        auto *c = static_cast<RadioBoxParam *>(p);
        if (c->count > 0 && c->names && c->names[0] == QStringLiteral("彩色图像"))
            return When::OnApply;
    }
    // The configuration choice and the exposure times ("曝光时间1", ...).
    if (p->label == QStringLiteral("当前曝光配置") || p->label.startsWith(QStringLiteral("曝光时间")))
        return When::OnSelect;
    return When::Never;
}

QString shortText(When w)
{
    switch (w) {
    case When::OnApply:
        return QCoreApplication::translate("ParamEffect", "Apply");
    case When::OnSelect:
        return QCoreApplication::translate("ParamEffect", "Select");
    case When::Never:
        return QCoreApplication::translate("ParamEffect", "kept only");
    case When::Unknown:
        break;
    }
    return QString();
}

QString mark(When w)
{
    switch (w) {
    case When::OnApply:
        return QStringLiteral("A");
    case When::OnSelect:
        return QStringLiteral("S");
    case When::Never:
        return QStringLiteral("–");
    case When::Unknown:
        break;
    }
    return QString();
}

QString legend()
{
    return QCoreApplication::translate("ParamEffect",
                                       "A: takes effect on Apply · S: when its configuration is selected · –: kept "
                                       "and saved, but sent to no camera");
}

QString longText(When w)
{
    switch (w) {
    case When::OnApply:
        return QCoreApplication::translate("ParamEffect",
                                           "Takes effect on Apply (and when the camera comes back after a loss), "
                                           "not before.");
    case When::OnSelect:
        return QCoreApplication::translate("ParamEffect",
                                           "Reaches the camera when its configuration is selected (Select in the "
                                           "controls).");
    case When::Never:
        return QCoreApplication::translate("ParamEffect",
                                           "Kept, saved and restored, and brought into the camera's limits, but "
                                           "this camera's driver sends it to no camera: neither Apply nor "
                                           "reopening changes the picture.");
    case When::Unknown:
        break;
    }
    return QString();
}

} // namespace ParamEffect
