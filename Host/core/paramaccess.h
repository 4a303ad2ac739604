#pragma once

#include "paramfacts.h"

#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class CameraInterface;
class ParamWrap;

// A camera's parameter descriptors as plain values, for hosts that show,
// check and write them by name: the Python module's mapping, vandrel-host's
// --set and params. Read on the thread that owns the camera (where the
// descriptors live) and used anywhere afterwards. Headings are not
// parameters: they name the group of those that follow.
//
// A parameter is found by its name (the label, or for a check box without
// one its option names joined by "/"), its label or its English name; one
// option of a check box also by the option's name or English name
// ("水平镜像", "ReverseX"), as a parameter of its own that holds one bool.
struct ParamInfo
{
    int index = 0;          // position in the descriptor list and in "paramsWrap"
    int option = -1;        // one option of a check box; -1: the whole descriptor
    QString name;           // the key hosts list it by; for a lookup, the name asked for
    QString label;
    QString feature;        // English: "Gain"; "ReverseX/ReverseY" for a box of two; empty when unknown
    QString unit;
    ParamFacts::Effect effect = ParamFacts::Effect::Unknown;
    QVector<ParamFacts::Fact> facts;  // the table's items of the descriptor: one, or one per option
    QString description;
    QString kind;           // the descriptor's class: "LineEditCameraParam", "ComboBoxParam", ...
    QString jsonKey;        // "values" or "selectedIndex"
    QString group;          // the heading above it
    int level = 0;
    QJsonValue value;       // as the descriptor writes it into its JSON (one option: its bool)
    QJsonValue whole;       // the descriptor's whole value (one option: the array it stands in)
    QString valueType;      // "bool", "int", "float", "str", "index" or "options"
    bool hasLimits = false;
    double minimum = 0;
    double maximum = 0;
    double step = 0;
    QStringList choices;
};

// pluginIid says whose descriptors they are (PluginInterface::pluginIID()).
QVector<ParamInfo> readParams(const QVector<ParamWrap *> &params, const QString &pluginIid);
QVector<ParamInfo> readParams(CameraInterface *camera);

// The parameter `name` names, with `name` as its name; false when none does.
bool findParam(const QVector<ParamInfo> &params, const QString &name, ParamInfo &found);
// "Gain (模拟增益)"; the label alone when there is no English name.
QString displayName(const ParamInfo &info);

// Checks a value for a parameter: bool, qlonglong, double, QString, or a
// list of bools for a check box. On success `json` is what the descriptor's
// fromJson takes under info.jsonKey. On failure says why, and whether the
// value's type (true) or its range was wrong.
bool paramValueToJson(const ParamInfo &info, const QVariant &value, QJsonValue &json, QString &error,
                      bool &wrongType);

// A value typed on a command line, as paramValueToJson takes it: a number,
// true/false/on/off/yes/no/1/0, a choice's name or index, or a check box's
// states separated by commas ("on,off").
QVariant parseParamText(const ParamInfo &info, const QString &text);

// Writes the checked value through the descriptor and has the driver check
// the set (paramsChanged). On the camera's owning thread, never inside a
// frame delivery.
void writeParam(CameraInterface *camera, const ParamInfo &info, const QJsonValue &json);
