// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "pyvalues.h"

#include "pyerrors.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>

namespace py = pybind11;

namespace {

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

py::object typedValue(const ParamInfo &p)
{
    if (p.valueType == QLatin1String("int") || p.valueType == QLatin1String("index"))
        return py::int_(p.value.toInt());
    return toPython(p.value);
}

} // namespace

QVariant toVariant(const py::handle &v)
{
    if (py::isinstance<py::bool_>(v))
        return v.cast<bool>();
    if (py::isinstance<py::int_>(v) || (!py::isinstance<py::float_>(v) && py::hasattr(v, "__index__")))
        return QVariant(static_cast<qlonglong>(py::reinterpret_steal<py::int_>(PyNumber_Index(v.ptr())).cast<long long>()));
    if (py::isinstance<py::float_>(v))
        return v.cast<double>();
    if (py::isinstance<py::str>(v))
        return qs(v.cast<std::string>());
    if (py::isinstance<py::list>(v) || py::isinstance<py::tuple>(v)) {
        QVariantList list;
        for (const py::handle &e : v)
            list << toVariant(e);
        return list;
    }
    // numpy's bool_ and floating scalars are neither bool nor float.
    const std::string type = py::str(py::type::handle_of(v).attr("__name__"));
    if (type == "bool_")
        return v.cast<bool>();
    if (type.rfind("float", 0) == 0)
        return v.cast<double>();
    return QVariant::fromValue(static_cast<void *>(nullptr));
}

py::object toPython(const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::Bool:
        return py::bool_(v.toBool());
    case QJsonValue::Double: {
        const double d = v.toDouble();
        return py::float_(d);
    }
    case QJsonValue::String:
        return py::str(v.toString().toStdString());
    case QJsonValue::Array: {
        py::list out;
        for (const QJsonValue &e : v.toArray())
            out.append(toPython(e));
        return std::move(out);
    }
    default:
        return py::none();
    }
}

py::dict describe(const ParamInfo &p)
{
    py::dict d;
    d["index"] = p.index;
    d["name"] = p.name.toStdString();
    d["label"] = p.label.toStdString();
    d["description"] = p.description.toStdString();
    d["kind"] = p.kind.toStdString();
    d["json_key"] = p.jsonKey.isEmpty() ? py::object(py::none()) : py::object(py::str(p.jsonKey.toStdString()));
    d["group"] = p.group.toStdString();
    d["level"] = p.level;
    d["type"] = p.valueType.toStdString();
    d["value"] = typedValue(p);
    if (p.hasLimits) {
        if (p.valueType == QLatin1String("int"))
            d["limits"] = py::make_tuple(qint64(p.minimum), qint64(p.maximum), qint64(p.step));
        else
            d["limits"] = py::make_tuple(p.minimum, p.maximum, p.step);
    } else {
        d["limits"] = py::none();
    }
    py::list choices;
    for (const QString &c : p.choices)
        choices.append(c.toStdString());
    d["choices"] = p.choices.isEmpty() ? py::object(py::none()) : py::object(py::tuple(choices));
    d["feature"] = p.feature.isEmpty() ? py::object(py::none()) : py::object(py::str(p.feature.toStdString()));
    d["unit"] = p.unit.toStdString();
    d["applies"] = ParamFacts::key(p.effect).isEmpty() ? py::object(py::none())
                                                        : py::object(py::str(ParamFacts::key(p.effect).toStdString()));
    d["option"] = p.option < 0 ? py::object(py::none()) : py::object(py::int_(p.option));
    return d;
}

py::object toPythonTime(const QDateTime &t)
{
    if (!t.isValid())
        return py::none();
    const py::module_ datetime = py::module_::import("datetime");
    const double seconds = static_cast<double>(t.toMSecsSinceEpoch()) / 1000.0;
    return datetime.attr("datetime").attr("fromtimestamp")(seconds, datetime.attr("timezone").attr("utc")).attr("astimezone")();
}

int millisecondsOf(const py::object &seconds, const char *what)
{
    if (seconds.is_none())
        return -1;
    const double s = seconds.cast<double>();
    if (!std::isfinite(s) || s < 0)
        raisePython(PyExc_ValueError, QStringLiteral("%1 must be None or a number of seconds >= 0").arg(what));
    return static_cast<int>(std::min(s * 1000.0, 2e9));
}
