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
    QString label;
    QString value;
    QString range;
    QString description;
};

// Reads the descriptors through their public fields and their virtual
// typeName(); the descriptor classes' code stays in the plug-in.
QVector<ParamRow> describeParams(const QVector<ParamWrap *> &params);
// The same, for --json: kind, label, description and the typed value, range
// and options of each descriptor.
QJsonArray paramsToJson(const QVector<ParamWrap *> &params);
void printParamTable(const QVector<ParamRow> &rows, QTextStream &out);
