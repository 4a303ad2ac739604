#include "paramtable.h"

#include "paramfacts.h"
#include "paramwrap.h"
#include "textout.h"

#include <QJsonObject>
#include <QStringList>

namespace {

QString number(double v)
{
    return QString::number(v, 'g', 7);
}

// Text of the value behind a LineEditCameraParam pointer, typed by valueType.
QString lineEditText(const LineEditCameraParam *p, const void *v)
{
    if (!v)
        return QStringLiteral("-");
    switch (p->valueType) {
    case ParamBool:
        return *static_cast<const bool *>(v) ? QStringLiteral("true") : QStringLiteral("false");
    case ParamInt:
        return QString::number(*static_cast<const qint32 *>(v));
    case ParamFloat:
        return number(*static_cast<const float *>(v));
    case ParamDouble:
        return number(*static_cast<const double *>(v));
    case ParamString:
        return *static_cast<const QString *>(v);
    default:
        return QStringLiteral("?");
    }
}

QJsonValue lineEditJson(const LineEditCameraParam *p, const void *v)
{
    if (!v)
        return QJsonValue();
    switch (p->valueType) {
    case ParamBool:
        return *static_cast<const bool *>(v);
    case ParamInt:
        return *static_cast<const qint32 *>(v);
    case ParamFloat:
        return double(*static_cast<const float *>(v));
    case ParamDouble:
        return *static_cast<const double *>(v);
    case ParamString:
        return *static_cast<const QString *>(v);
    default:
        return QJsonValue();
    }
}

QString optionName(const QString *names, int i)
{
    return names ? names[i] : QString::number(i);
}

QString englishNames(ParamWrap *p, const QString &iid, QString &unit)
{
    const QVector<ParamFacts::Fact> facts = ParamFacts::factsOf(p, iid);
    QStringList names;
    for (const ParamFacts::Fact &f : facts)
        names << f.name;
    unit = facts.size() == 1 ? facts.first().unit : QString();
    return names.join(QLatin1Char('/'));
}

} // namespace

QVector<ParamRow> describeParams(const QVector<ParamWrap *> &params, const QString &pluginIid)
{
    QVector<ParamRow> rows;
    for (ParamWrap *p : params) {
        if (!p)
            continue;
        ParamRow row;
        row.kind = p->typeName();
        row.name = englishNames(p, pluginIid, row.unit);
        row.effect = ParamFacts::word(ParamFacts::effectOf(p, pluginIid));
        row.label = p->label;
        row.description = p->description;
        if (row.kind == QLatin1String("LineEditCameraParam")) {
            const auto *e = static_cast<const LineEditCameraParam *>(p);
            row.value = lineEditText(e, e->value);
            if (e->valueType != ParamString && e->valueType != ParamBool)
                row.range = QStringLiteral("%1 .. %2 step %3")
                                .arg(lineEditText(e, e->minValue), lineEditText(e, e->maxValue),
                                     lineEditText(e, e->stepValue));
        } else if (row.kind == QLatin1String("CheckBoxParam") || row.kind == QLatin1String("RadioBoxParam")) {
            const auto *r = static_cast<const RadioBoxParam *>(p);
            QStringList values, names;
            for (int i = 0; i < r->count; ++i) {
                values << QStringLiteral("%1=%2").arg(optionName(r->names, i),
                                                     r->values && r->values[i] ? QStringLiteral("on")
                                                                               : QStringLiteral("off"));
                names << optionName(r->names, i);
            }
            row.value = values.join(QStringLiteral(", "));
            row.range = QStringLiteral("on/off");
        } else if (row.kind == QLatin1String("ComboBoxParam")) {
            const auto *c = static_cast<const ComboBoxParam *>(p);
            const int index = c->selectedIndex ? *c->selectedIndex : -1;
            row.value = index >= 0 && index < c->count ? QStringLiteral("%1 [%2]").arg(optionName(c->names, index))
                                                                                 .arg(index)
                                                       : QStringLiteral("[%1]").arg(index);
            QStringList names;
            for (int i = 0; i < c->count; ++i)
                names << optionName(c->names, i);
            row.range = names.join(QStringLiteral(" | "));
        }
        rows.append(row);
    }
    return rows;
}

QJsonArray paramsToJson(const QVector<ParamWrap *> &params, const QString &pluginIid)
{
    QJsonArray out;
    for (ParamWrap *p : params) {
        if (!p)
            continue;
        QJsonObject o;
        const QString kind = p->typeName();
        QString unit;
        const QString name = englishNames(p, pluginIid, unit);
        const QString applies = ParamFacts::key(ParamFacts::effectOf(p, pluginIid));
        o.insert(QStringLiteral("kind"), kind);
        o.insert(QStringLiteral("name"), name.isEmpty() ? QJsonValue() : QJsonValue(name));
        o.insert(QStringLiteral("label"), p->label);
        o.insert(QStringLiteral("unit"), unit);
        o.insert(QStringLiteral("applies"), applies.isEmpty() ? QJsonValue() : QJsonValue(applies));
        o.insert(QStringLiteral("description"), p->description);
        if (kind == QLatin1String("LineEditCameraParam")) {
            const auto *e = static_cast<const LineEditCameraParam *>(p);
            o.insert(QStringLiteral("valueType"), e->valueType);
            o.insert(QStringLiteral("value"), lineEditJson(e, e->value));
            o.insert(QStringLiteral("min"), lineEditJson(e, e->minValue));
            o.insert(QStringLiteral("max"), lineEditJson(e, e->maxValue));
            o.insert(QStringLiteral("step"), lineEditJson(e, e->stepValue));
        } else if (kind == QLatin1String("CheckBoxParam") || kind == QLatin1String("RadioBoxParam")) {
            const auto *r = static_cast<const RadioBoxParam *>(p);
            QJsonArray names, values;
            for (int i = 0; i < r->count; ++i) {
                names.append(optionName(r->names, i));
                values.append(r->values ? r->values[i] : false);
            }
            o.insert(QStringLiteral("options"), names);
            o.insert(QStringLiteral("value"), values);
        } else if (kind == QLatin1String("ComboBoxParam")) {
            const auto *c = static_cast<const ComboBoxParam *>(p);
            QJsonArray names;
            for (int i = 0; i < c->count; ++i)
                names.append(optionName(c->names, i));
            o.insert(QStringLiteral("options"), names);
            o.insert(QStringLiteral("value"), c->selectedIndex ? *c->selectedIndex : -1);
        }
        out.append(o);
    }
    return out;
}

void printParamTable(const QVector<ParamRow> &rows, QTextStream &out)
{
    const QStringList header = {QStringLiteral("NAME"),  QStringLiteral("LABEL"),  QStringLiteral("VALUE"),
                                QStringLiteral("UNIT"),  QStringLiteral("RANGE"),  QStringLiteral("EFFECT"),
                                QStringLiteral("DESCRIPTION")};
    constexpr int kPadded = 6;
    auto cell = [](const ParamRow &r, int c) -> QString {
        switch (c) {
        case 0: return r.kind == QLatin1String("SeparateParam") ? QStringLiteral("[%1]").arg(r.label) : r.name;
        case 1: return r.kind == QLatin1String("SeparateParam") ? QString() : r.label;
        case 2: return r.value;
        case 3: return r.unit;
        case 4: return r.range;
        default: return r.effect;
        }
    };
    int widths[kPadded];
    for (int c = 0; c < kPadded; ++c)
        widths[c] = displayWidth(header[c]);
    for (const ParamRow &r : rows)
        for (int c = 0; c < kPadded; ++c)
            widths[c] = qMax(widths[c], displayWidth(cell(r, c)));
    const QString gap = QStringLiteral("  ");
    for (int c = 0; c < kPadded; ++c)
        out << padded(header[c], widths[c]) << gap;
    out << header[kPadded] << '\n';
    for (const ParamRow &r : rows) {
        for (int c = 0; c < kPadded; ++c)
            out << padded(cell(r, c), widths[c]) << gap;
        out << r.description << '\n';
    }
    out << "EFFECT: when an edit reaches the camera. Apply: when the settings are loaded (grab applies them); "
           "Select: when its exposure configuration is selected (grab selects the current one); kept only: "
           "kept and saved, but the driver sends it to no camera.\n";
}
