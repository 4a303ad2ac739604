#include "paramvalues.h"

#include "paramwrap.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ParamKind {
const QString Separate = QStringLiteral("SeparateParam");
const QString LineEdit = QStringLiteral("LineEditCameraParam");
const QString CheckBox = QStringLiteral("CheckBoxParam");
const QString RadioBox = QStringLiteral("RadioBoxParam");
const QString ComboBox = QStringLiteral("ComboBoxParam");
} // namespace ParamKind

QVariant readParamValue(ParamWrap *p)
{
    if (!p)
        return QVariant();
    const QString kind = p->typeName();
    if (kind == ParamKind::LineEdit) {
        auto *e = static_cast<LineEditCameraParam *>(p);
        if (!e->value)
            return QVariant();
        switch (e->valueType) {
        case ParamBool:
            return *static_cast<bool *>(e->value);
        case ParamInt:
            return int(*static_cast<qint32 *>(e->value));
        case ParamFloat:
            return double(*static_cast<float *>(e->value));
        case ParamDouble:
            return *static_cast<double *>(e->value);
        case ParamString:
            return *static_cast<QString *>(e->value);
        default:
            return QVariant();
        }
    }
    if (kind == ParamKind::CheckBox || kind == ParamKind::RadioBox) {
        auto *r = static_cast<RadioBoxParam *>(p);
        QVariantList values;
        for (int i = 0; r->values && i < r->count; ++i)
            values << r->values[i];
        return values;
    }
    if (kind == ParamKind::ComboBox) {
        auto *c = static_cast<ComboBoxParam *>(p);
        return c->selectedIndex ? QVariant(*c->selectedIndex) : QVariant();
    }
    return QVariant();
}

bool writeParamValue(LineEditCameraParam *p, const QVariant &value)
{
    if (!p || !p->value)
        return false;
    switch (p->valueType) {
    case ParamBool:
        *static_cast<bool *>(p->value) = value.toBool();
        return true;
    case ParamInt:
        *static_cast<qint32 *>(p->value) = value.toInt();
        return true;
    case ParamFloat:
        *static_cast<float *>(p->value) = float(value.toDouble());
        return true;
    case ParamDouble:
        *static_cast<double *>(p->value) = value.toDouble();
        return true;
    case ParamString:
        *static_cast<QString *>(p->value) = value.toString();
        return true;
    default:
        return false;
    }
}

QVariantList setParamOption(RadioBoxParam *p, int option, bool on, bool exclusive)
{
    QVariantList values;
    for (int k = 0; k < p->count; ++k) {
        if (exclusive)
            p->values[k] = k == option;
        else if (k == option)
            p->values[k] = on;
        values << p->values[k];
    }
    return values;
}

IntLimits intLimits(const LineEditCameraParam *p)
{
    const int lo = p->minValue ? *static_cast<qint32 *>(p->minValue) : std::numeric_limits<qint32>::min();
    const int hi = p->maxValue ? *static_cast<qint32 *>(p->maxValue) : std::numeric_limits<qint32>::max();
    const int step = p->stepValue ? *static_cast<qint32 *>(p->stepValue) : 1;
    return {lo, hi, step};
}

RealLimits realLimits(const LineEditCameraParam *p)
{
    const bool isFloat = p->valueType == ParamFloat;
    auto get = [isFloat](void *ptr, double fallback) {
        if (!ptr)
            return fallback;
        return isFloat ? double(*static_cast<float *>(ptr)) : *static_cast<double *>(ptr);
    };
    return {get(p->minValue, -1e12), get(p->maxValue, 1e12), get(p->stepValue, 0.1)};
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.type() == QVariant::List || b.type() == QVariant::List)
        return a.toList() == b.toList();
    if (a.type() == QVariant::String || b.type() == QVariant::String)
        return a.toString() == b.toString();
    if (a.type() == QVariant::Bool || b.type() == QVariant::Bool)
        return a.toBool() == b.toBool();
    const double x = a.toDouble();
    const double y = b.toDouble();
    return std::fabs(x - y) <= 1e-6 * std::max(1.0, std::fabs(x));
}

QString valueText(const QVariant &v)
{
    if (v.type() == QVariant::List) {
        QStringList parts;
        for (const QVariant &e : v.toList())
            parts << (e.toBool() ? QStringLiteral("on") : QStringLiteral("off"));
        return parts.join(QLatin1Char(' '));
    }
    if (v.type() == QVariant::Double)
        return QString::number(v.toDouble(), 'g', 7);
    return v.toString();
}

int decimalsFor(std::initializer_list<double> values)
{
    int decimals = 0;
    for (double v : values) {
        if (!std::isfinite(v))
            continue;
        int d = 0;
        double scaled = std::fabs(v);
        while (d < 6 && std::fabs(scaled - std::round(scaled)) > 1e-4 * std::max(1.0, scaled)) {
            scaled *= 10.0;
            ++d;
        }
        decimals = std::max(decimals, d);
    }
    return std::max(decimals, 1);
}
