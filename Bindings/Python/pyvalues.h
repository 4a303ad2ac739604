#pragma once

// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "paramaccess.h"

#include <QDateTime>
#include <QJsonValue>
#include <QVariant>

// Values between Python and the descriptors' Qt types. Called with the GIL held.

// A Python value as the descriptors' checks take it: bool, qlonglong, double,
// QString or a list of these; anything else becomes a value no check accepts.
QVariant toVariant(const pybind11::handle &v);
pybind11::object toPython(const QJsonValue &v);
// A descriptor as the dict that vandrel.Param is made from.
pybind11::dict describe(const ParamInfo &p);
// A timezone-aware datetime in local time; None for an invalid time.
pybind11::object toPythonTime(const QDateTime &t);
// Milliseconds of a time in seconds; -1 for None. A negative or not finite
// time raises ValueError naming `what`.
int millisecondsOf(const pybind11::object &seconds, const char *what);
