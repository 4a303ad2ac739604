#include "paramwrap.h"

#include <QJsonArray>
#include <QJsonValue>

namespace {
const QString kIsRunningShow = QStringLiteral("isRunningShow");
const QString kValues = QStringLiteral("values");
const QString kSelectedIndex = QStringLiteral("selectedIndex");
}

ParamWrap::ParamWrap(QString label, QString description, bool imageSizeFlag, bool isRunningShow, int paramLevel)
    : label(std::move(label)),
      description(std::move(description)),
      imageSizeFlag(imageSizeFlag),
      paramLevel(paramLevel),
      isRunningShow(isRunningShow),
      extraFlag(false)
{
}

ParamWrap::~ParamWrap() = default;

QString ParamWrap::typeName()
{
    return QString();
}

bool ParamWrap::queryFlag()
{
    return false;
}

void ParamWrap::fromJson(QJsonObject &json)
{
    if (json.contains(kIsRunningShow))
        isRunningShow = json.value(kIsRunningShow).toBool(false);
}

void ParamWrap::toJson(QJsonObject &json)
{
    json.insert(kIsRunningShow, isRunningShow);
}

SeparateParam::SeparateParam(QString label, QString description, bool imageSizeFlag, bool isRunningShow)
    : ParamWrap(std::move(label), std::move(description), imageSizeFlag, isRunningShow, 0)
{
}

SeparateParam::~SeparateParam() = default;

QString SeparateParam::typeName()
{
    return QStringLiteral("SeparateParam");
}

LineEditCameraParam::LineEditCameraParam(QString label, QString description, bool imageSizeFlag,
                                         bool isRunningShow, int paramLevel, void *value, int valueType,
                                         void *minValue, void *maxValue, void *stepValue)
    : ParamWrap(std::move(label), std::move(description), imageSizeFlag, isRunningShow, paramLevel),
      valueType(valueType),
      minValue(minValue),
      maxValue(maxValue),
      stepValue(stepValue),
      value(value)
{
}

LineEditCameraParam::~LineEditCameraParam() = default;

QString LineEditCameraParam::typeName()
{
    return QStringLiteral("LineEditCameraParam");
}

void LineEditCameraParam::fromJson(QJsonObject &json)
{
    ParamWrap::fromJson(json);
    if (!json.contains(kValues) || !value)
        return;
    const QJsonValue v = json.value(kValues);
    switch (valueType) {
    case ParamBool:
        *static_cast<bool *>(value) = v.toBool(false);
        break;
    case ParamInt:
        *static_cast<qint32 *>(value) = v.toInt(0);
        break;
    case ParamFloat:
        *static_cast<float *>(value) = static_cast<float>(v.toDouble(0.0));
        break;
    case ParamDouble:
        *static_cast<double *>(value) = v.toDouble(0.0);
        break;
    case ParamString:
        *static_cast<QString *>(value) = v.toString();
        break;
    default:
        break;
    }
}

void LineEditCameraParam::toJson(QJsonObject &json)
{
    ParamWrap::toJson(json);
    if (!value)
        return;
    switch (valueType) {
    case ParamBool:
        json.insert(kValues, *static_cast<bool *>(value));
        break;
    case ParamInt:
        json.insert(kValues, *static_cast<qint32 *>(value));
        break;
    case ParamFloat:
        // Widened exactly: 0.1f is stored as 0.10000000149011612.
        json.insert(kValues, static_cast<double>(*static_cast<float *>(value)));
        break;
    case ParamDouble:
        json.insert(kValues, *static_cast<double *>(value));
        break;
    case ParamString:
        json.insert(kValues, *static_cast<QString *>(value));
        break;
    default:
        break;
    }
}

RadioBoxParam::RadioBoxParam(QString label, QString description, bool imageSizeFlag, bool isRunningShow,
                             int paramLevel, bool *values, int count, QString *names, QString *descriptions)
    : ParamWrap(std::move(label), std::move(description), imageSizeFlag, isRunningShow, paramLevel),
      count(count),
      names(names),
      descriptions(descriptions),
      values(values)
{
}

RadioBoxParam::~RadioBoxParam() = default;

QString RadioBoxParam::typeName()
{
    return QStringLiteral("RadioBoxParam");
}

void RadioBoxParam::fromJson(QJsonObject &json)
{
    ParamWrap::fromJson(json);
    if (!json.contains(kValues) || !values)
        return;
    const QJsonArray array = json.value(kValues).toArray();
    for (int i = 0; i < count; ++i)
        values[i] = i < array.size() ? array.at(i).toBool(false) : false;
}

void RadioBoxParam::toJson(QJsonObject &json)
{
    ParamWrap::toJson(json);
    QJsonArray array;
    for (int i = 0; values && i < count; ++i)
        array.append(values[i]);
    json.insert(kValues, array);
}

CheckBoxParam::CheckBoxParam(QString label, QString description, bool imageSizeFlag, bool isRunningShow,
                             int paramLevel, bool *values, int count, QString *names, QString *descriptions)
    : RadioBoxParam(std::move(label), std::move(description), imageSizeFlag, isRunningShow, paramLevel, values,
                    count, names, descriptions)
{
}

CheckBoxParam::~CheckBoxParam() = default;

QString CheckBoxParam::typeName()
{
    return QStringLiteral("CheckBoxParam");
}

ComboBoxParam::ComboBoxParam(QString label, QString description, bool imageSizeFlag, bool isRunningShow,
                             int paramLevel, int *selectedIndex, int count, QString *names,
                             QString *descriptions)
    : ParamWrap(std::move(label), std::move(description), imageSizeFlag, isRunningShow, paramLevel),
      count(count),
      names(names),
      descriptions(descriptions),
      selectedIndex(selectedIndex)
{
}

ComboBoxParam::~ComboBoxParam() = default;

QString ComboBoxParam::typeName()
{
    return QStringLiteral("ComboBoxParam");
}

void ComboBoxParam::fromJson(QJsonObject &json)
{
    ParamWrap::fromJson(json);
    if (json.contains(kSelectedIndex) && selectedIndex)
        *selectedIndex = json.value(kSelectedIndex).toInt(0);
}

void ComboBoxParam::toJson(QJsonObject &json)
{
    ParamWrap::toJson(json);
    if (selectedIndex)
        json.insert(kSelectedIndex, *selectedIndex);
}
