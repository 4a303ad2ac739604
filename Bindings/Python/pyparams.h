#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class ParamWrap;

// A camera's parameter descriptors as plain values, read on the runtime's
// thread (where the descriptors live) and handed to Python afterwards.
// Headings are not parameters: they name the group of those that follow.
struct ParamInfo
{
    int index = 0;          // position in the descriptor list and in "paramsWrap"
    QString name;           // the key in Python: the label, or the option names when it has none
    QString label;
    QString description;
    QString kind;           // the descriptor's class: "LineEditCameraParam", "ComboBoxParam", ...
    QString jsonKey;        // "values" or "selectedIndex"
    QString group;          // the heading above it
    int level = 0;
    QJsonValue value;       // as the descriptor writes it into its JSON
    QString valueType;      // "bool", "int", "float", "str", "index" or "options"
    bool hasLimits = false;
    double minimum = 0;
    double maximum = 0;
    double step = 0;
    QStringList choices;
};

QVector<ParamInfo> readParams(const QVector<ParamWrap *> &params);

// Checks a value for a descriptor; on success `json` is what fromJson takes.
// On failure says why and whether the value's type (true) or its range was wrong.
bool paramValueToJson(const ParamInfo &info, const QVariant &value, QJsonValue &json, QString &error,
                      bool &wrongType);
