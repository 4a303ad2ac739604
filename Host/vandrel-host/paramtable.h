#pragma once

#include <QJsonArray>
#include <QString>
#include <QTextStream>
#include <QVector>

class ParamWrap;

// One parameter descriptor as the host shows it.
struct ParamRow
{
    QString kind;
    QString name;    // English; empty for another plug-in's
    QString label;
    QString unit;
    QString effect;  // when an edit takes effect: "Apply", "Select", "kept only"; empty when unknown
    QString value;
    QString range;
    QString description;
};

// Reads the descriptors through their public fields and their virtual
// typeName(); the descriptor classes' code stays in the plug-in.
// pluginIid says whose they are (English names and effects only for the Vandrel driver's).
QVector<ParamRow> describeParams(const QVector<ParamWrap *> &params, const QString &pluginIid);
// The same, for --json: kind, name, label, unit, when it takes effect
// ("applies": "apply", "select", "never"), description and the typed value,
// range and options of each descriptor.
QJsonArray paramsToJson(const QVector<ParamWrap *> &params, const QString &pluginIid);
// Columns NAME, LABEL, VALUE, UNIT, RANGE, EFFECT, DESCRIPTION, and a line
// that explains EFFECT.
void printParamTable(const QVector<ParamRow> &rows, QTextStream &out);
