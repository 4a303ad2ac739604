#include "paramaccess.h"

#include "camerainterface.h"
#include "paramwrap.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {

const QString kLineEdit = QStringLiteral("LineEditCameraParam");
const QString kCheckBox = QStringLiteral("CheckBoxParam");
const QString kRadioBox = QStringLiteral("RadioBoxParam");
const QString kComboBox = QStringLiteral("ComboBoxParam");
const QString kSeparate = QStringLiteral("SeparateParam");

double readNumber(const void *p, int valueType, double fallback)
{
    if (!p)
        return fallback;
    switch (valueType) {
    case ParamInt:
        return *static_cast<const qint32 *>(p);
    case ParamFloat:
        return double(*static_cast<const float *>(p));
    case ParamDouble:
        return *static_cast<const double *>(p);
    default:
        return fallback;
    }
}

QStringList names(const QString *list, int count)
{
    QStringList out;
    for (int i = 0; list && i < count; ++i)
        out << list[i];
    return out;
}

QString numberText(double v, const QString &type)
{
    return type == QLatin1String("int") ? QString::number(qint64(v)) : QString::number(v, 'g', 7);
}

void describeValue(ParamWrap *p, const QString &kind, ParamInfo &info)
{
    if (kind == kLineEdit) {
        auto *e = static_cast<LineEditCameraParam *>(p);
        info.jsonKey = QStringLiteral("values");
        switch (e->valueType) {
        case ParamBool:
            info.valueType = QStringLiteral("bool");
            break;
        case ParamInt:
            info.valueType = QStringLiteral("int");
            break;
        case ParamFloat:
        case ParamDouble:
            info.valueType = QStringLiteral("float");
            break;
        case ParamString:
            info.valueType = QStringLiteral("str");
            break;
        default:
            break;
        }
        if (e->valueType == ParamInt || e->valueType == ParamFloat || e->valueType == ParamDouble) {
            info.hasLimits = e->minValue || e->maxValue;
            info.minimum = readNumber(e->minValue, e->valueType, -HUGE_VAL);
            info.maximum = readNumber(e->maxValue, e->valueType, HUGE_VAL);
            info.step = readNumber(e->stepValue, e->valueType, 0);
        }
    } else if (kind == kCheckBox || kind == kRadioBox) {
        auto *r = static_cast<RadioBoxParam *>(p);
        info.jsonKey = QStringLiteral("values");
        info.valueType = QStringLiteral("options");
        info.choices = names(r->names, r->count);
    } else if (kind == kComboBox) {
        auto *c = static_cast<ComboBoxParam *>(p);
        info.jsonKey = QStringLiteral("selectedIndex");
        info.valueType = QStringLiteral("index");
        info.choices = names(c->names, c->count);
    }
}

// One option of a check box, as a parameter of its own.
ParamInfo optionOf(const ParamInfo &box, int option, const ParamFacts::Fact *fact)
{
    ParamInfo o = box;
    o.option = option;
    o.label = box.choices.value(option);
    o.feature = fact ? fact->name : QString();
    o.unit = fact ? fact->unit : QString();
    o.effect = fact ? fact->effect : ParamFacts::Effect::Unknown;
    o.valueType = QStringLiteral("bool");
    o.value = box.value.toArray().at(option);
    o.choices.clear();
    o.facts = fact ? QVector<ParamFacts::Fact>{*fact} : QVector<ParamFacts::Fact>();
    return o;
}

} // namespace

QVector<ParamInfo> readParams(const QVector<ParamWrap *> &params, const QString &pluginIid)
{
    QVector<ParamInfo> out;
    QString group;
    QStringList taken;
    for (int i = 0; i < params.size(); ++i) {
        ParamWrap *p = params.at(i);
        if (!p)
            continue;
        const QString kind = p->typeName();
        if (kind == kSeparate) {
            group = p->label;
            continue;
        }
        ParamInfo info;
        info.index = i;
        info.label = p->label;
        info.description = p->description;
        info.kind = kind;
        info.group = group;
        info.level = p->paramLevel;
        describeValue(p, kind, info);
        QJsonObject json;
        p->toJson(json);
        info.value = info.jsonKey.isEmpty() ? QJsonValue() : json.value(info.jsonKey);
        info.whole = info.value;
        const QVector<ParamFacts::Fact> facts = ParamFacts::factsOf(p, pluginIid);
        info.facts = facts;
        QStringList features;
        for (const ParamFacts::Fact &f : facts)
            features << f.name;
        info.feature = features.join(QLatin1Char('/'));
        info.unit = facts.size() == 1 ? facts.first().unit : QString();
        info.effect = ParamFacts::effectOf(p, pluginIid);
        QString name = !info.label.isEmpty() ? info.label : info.choices.join(QLatin1Char('/'));
        if (name.isEmpty())
            name = QStringLiteral("#%1").arg(i);
        if (taken.contains(name))
            name = QStringLiteral("%1 #%2").arg(name).arg(i);
        taken << name;
        info.name = name;
        out.append(info);
    }
    return out;
}

QVector<ParamInfo> readParams(CameraInterface *camera)
{
    const QVector<ParamWrap *> *list = camera ? camera->pluginParams() : nullptr;
    return list ? readParams(*list, camera->pluginIID()) : QVector<ParamInfo>();
}

bool findParam(const QVector<ParamInfo> &params, const QString &name, ParamInfo &found)
{
    if (name.isEmpty())
        return false;
    auto english = [&name](const QString &feature) {
        return !feature.isEmpty() && feature.compare(name, Qt::CaseInsensitive) == 0;
    };
    for (const ParamInfo &p : params) {
        if (p.name == name || (!p.label.isEmpty() && p.label == name) || english(p.feature)) {
            found = p;
            found.name = name;
            return true;
        }
    }
    // One option of a check box, by its name or its English name.
    for (const ParamInfo &p : params) {
        if (p.valueType != QLatin1String("options"))
            continue;
        const bool described = p.facts.size() == p.choices.size();
        for (int i = 0; i < p.choices.size(); ++i) {
            const ParamFacts::Fact *fact = described ? &p.facts.at(i) : nullptr;
            if (p.choices.at(i) != name && !(fact && english(fact->name)))
                continue;
            found = optionOf(p, i, fact);
            found.name = name;
            return true;
        }
    }
    return false;
}

QString displayName(const ParamInfo &info)
{
    const QString label = info.label.isEmpty() ? info.choices.join(QLatin1Char('/')) : info.label;
    if (info.feature.isEmpty() || info.feature == label)
        return label.isEmpty() ? info.name : label;
    return QStringLiteral("%1 (%2)").arg(info.feature, label);
}

bool paramValueToJson(const ParamInfo &info, const QVariant &value, QJsonValue &json, QString &error,
                      bool &wrongType)
{
    wrongType = false;
    auto typeError = [&](const QString &expected) {
        error = QStringLiteral("%1 takes %2").arg(info.name, expected);
        wrongType = true;
        return false;
    };
    const int type = value.userType();
    const bool isBool = type == QMetaType::Bool;
    const bool isInt = type == QMetaType::Int || type == QMetaType::LongLong;
    const bool isReal = type == QMetaType::Double;
    if (info.valueType == QLatin1String("bool")) {
        if (!isBool)
            return typeError(QStringLiteral("True or False (on or off)"));
        if (info.option < 0) {
            json = value.toBool();
            return true;
        }
        QJsonArray states = info.whole.toArray();
        while (states.size() <= info.option)
            states.append(false);
        states[info.option] = value.toBool();
        json = states;
        return true;
    }
    if (info.valueType == QLatin1String("str")) {
        if (type != QMetaType::QString)
            return typeError(QStringLiteral("a text"));
        json = value.toString();
        return true;
    }
    if (info.valueType == QLatin1String("int") || info.valueType == QLatin1String("float")) {
        const bool integral = info.valueType == QLatin1String("int");
        if (isBool || !(isInt || (isReal && !integral)))
            return typeError(integral ? QStringLiteral("a whole number") : QStringLiteral("a number"));
        const double v = value.toDouble();
        // Floats are stored in single precision: a limit read back from one
        // may differ from the decimal a person types in the last place.
        const double slack = integral ? 0.0 : 1e-6 * std::max(1.0, std::fabs(v));
        if (!std::isfinite(v) || v < info.minimum - slack || v > info.maximum + slack) {
            error = QStringLiteral("%1: %2 is out of range %3..%4")
                        .arg(info.name, numberText(v, info.valueType), numberText(info.minimum, info.valueType),
                             numberText(info.maximum, info.valueType));
            return false;
        }
        json = integral ? QJsonValue(qint64(value.toLongLong())) : QJsonValue(v);
        return true;
    }
    if (info.valueType == QLatin1String("index")) {
        int index = -1;
        if (type == QMetaType::QString) {
            index = info.choices.indexOf(value.toString());
            if (index < 0) {
                error = QStringLiteral("%1: no choice \"%2\" (choices: %3)")
                            .arg(info.name, value.toString(), info.choices.join(QStringLiteral(", ")));
                return false;
            }
        } else if (isInt && !isBool) {
            index = value.toInt();
            if (value.toLongLong() < 0 || value.toLongLong() >= info.choices.size()) {
                error = QStringLiteral("%1: choice %2 is out of range 0..%3")
                            .arg(info.name)
                            .arg(value.toLongLong())
                            .arg(info.choices.size() - 1);
                return false;
            }
        } else {
            return typeError(QStringLiteral("a choice's index or name"));
        }
        json = index;
        return true;
    }
    if (info.valueType == QLatin1String("options")) {
        QVariantList list;
        if (isBool && info.choices.size() == 1)
            list << value;
        else if (type == QMetaType::QVariantList)
            list = value.toList();
        else
            return typeError(QStringLiteral("a list of %1 bools").arg(info.choices.size()));
        if (list.size() != info.choices.size()) {
            error = QStringLiteral("%1: %2 value(s) given for %3 option(s)")
                        .arg(info.name)
                        .arg(list.size())
                        .arg(info.choices.size());
            return false;
        }
        QJsonArray a;
        for (const QVariant &v : list) {
            if (v.userType() != QMetaType::Bool)
                return typeError(QStringLiteral("a list of %1 bools").arg(info.choices.size()));
            a.append(v.toBool());
        }
        json = a;
        return true;
    }
    error = QStringLiteral("%1 cannot be written").arg(info.name);
    return false;
}

namespace {

QVariant parseBool(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("on") || t == QLatin1String("yes") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("off") || t == QLatin1String("no")
        || t == QLatin1String("0"))
        return false;
    return text;  // no check takes a text for a flag
}

QVariant parseNumber(const QString &text)
{
    bool ok = false;
    const qlonglong whole = text.trimmed().toLongLong(&ok);
    if (ok)
        return whole;
    const double real = text.trimmed().toDouble(&ok);
    if (ok)
        return real;
    return text;
}

} // namespace

QVariant parseParamText(const ParamInfo &info, const QString &text)
{
    if (info.valueType == QLatin1String("bool"))
        return parseBool(text);
    if (info.valueType == QLatin1String("int") || info.valueType == QLatin1String("float"))
        return parseNumber(text);
    if (info.valueType == QLatin1String("index")) {
        // A choice's name wins over its reading as a number.
        if (info.choices.contains(text))
            return text;
        const QVariant n = parseNumber(text);
        return n.userType() == QMetaType::LongLong ? n : QVariant(text);
    }
    if (info.valueType == QLatin1String("options")) {
        if (info.choices.size() == 1)
            return parseBool(text);
        QVariantList states;
        for (const QString &part : text.split(QLatin1Char(',')))
            states << parseBool(part);
        return states;
    }
    return text;
}

void writeParam(CameraInterface *camera, const ParamInfo &info, const QJsonValue &json)
{
    const QVector<ParamWrap *> *list = camera ? camera->pluginParams() : nullptr;
    if (!list || info.index < 0 || info.index >= list->size() || !list->at(info.index))
        return;
    // Through the descriptor's own reading of its JSON form; then the driver
    // checks the set as a whole.
    QJsonObject one{{info.jsonKey, json}};
    list->at(info.index)->fromJson(one);
    camera->paramsChanged();
}
