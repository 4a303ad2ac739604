// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "pycamera.h"

#include "paramaccess.h"
#include "pyerrors.h"
#include "pyframe.h"
#include "pylog.h"
#include "pyvalues.h"
#include "settingsfile.h"
#include "simulatorstate.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace py = pybind11;

namespace {

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

// What a load or Apply left the camera not doing: [(kind, text)], kind
// "exposure" or "colour".
py::list notesOf(const SettingsLoad::ExposureSelection &s, const QString &colour, const QString &serial)
{
    py::list notes;
    const QString exposure = s.text(serial);
    if (!exposure.isEmpty())
        notes.append(py::make_tuple("exposure", exposure.toStdString()));
    if (!colour.isEmpty())
        notes.append(py::make_tuple("colour", colour.toStdString()));
    return notes;
}

} // namespace

PyCamera::PyCamera(std::shared_ptr<RuntimeCamera> camera) : cam(std::move(camera)) {}

PyCamera::~PyCamera()
{
    // Closing waits for the runtime's thread, which never needs the GIL.
    py::gil_scoped_release nogil;
    cam.reset();
}

std::string PyCamera::serial() const
{
    return cam->serial().toStdString();
}

bool PyCamera::isOpen() const
{
    py::gil_scoped_release nogil;
    return cam->isOpen();
}

py::tuple PyCamera::link() const
{
    LinkStatus s;
    bool closed = false;
    {
        py::gil_scoped_release nogil;
        closed = cam->isClosed();
        if (!closed)
            s = cam->linkStatus();
    }
    if (closed)
        return py::make_tuple("closed", py::none());
    return py::make_tuple(linkStateKey(s.state).toStdString(), toPythonTime(s.since));
}

void PyCamera::close()
{
    {
        py::gil_scoped_release nogil;
        cam->close();
    }
    forwardLogs();
}

void PyCamera::run(const std::function<void(CameraInterface *)> &op)
{
    bool ran = false;
    {
        py::gil_scoped_release nogil;
        ran = cam->call(op);
    }
    forwardLogs();
    if (!ran)
        raisePython(PyExc_RuntimeError, QStringLiteral("camera %1 is closed").arg(cam->serial()));
}

void PyCamera::check(bool ok, const RuntimeFailure &failure)
{
    forwardLogs();
    if (!ok)
        raiseFailure(failure);
}

py::list PyCamera::params()
{
    QVector<ParamInfo> infos;
    run([&](CameraInterface *c) { infos = readParams(c); });
    py::list out;
    for (const ParamInfo &p : infos)
        out.append(describe(p));
    return out;
}

py::dict PyCamera::param(const std::string &name)
{
    QVector<ParamInfo> infos;
    run([&](CameraInterface *c) { infos = readParams(c); });
    ParamInfo found;
    if (!findParam(infos, qs(name), found))
        raisePython(PyExc_KeyError, QStringLiteral("camera %1 has no parameter %2").arg(cam->serial(), qs(name)));
    return describe(found);
}

py::object PyCamera::setParam(const std::string &name, const py::object &value)
{
    const QString key = qs(name);
    const QVariant v = toVariant(value);
    enum { Done, NoSuchParam, Invalid } outcome = Done;
    QString error;
    bool wrongType = false;
    ParamFacts::Effect effect = ParamFacts::Effect::Unknown;
    run([&](CameraInterface *c) {
        ParamInfo info;
        if (!findParam(readParams(c), key, info)) {
            outcome = NoSuchParam;
            return;
        }
        QJsonValue json;
        if (!paramValueToJson(info, v, json, error, wrongType)) {
            outcome = Invalid;
            return;
        }
        effect = info.effect;
        writeParam(c, info, json);
    });
    if (outcome == NoSuchParam)
        raisePython(PyExc_KeyError, QStringLiteral("camera %1 has no parameter %2").arg(cam->serial(), key));
    if (outcome == Invalid)
        raisePython(wrongType ? PyExc_TypeError : PyExc_ValueError, error);
    const QString applies = ParamFacts::key(effect);
    return applies.isEmpty() ? py::object(py::none()) : py::object(py::str(applies.toStdString()));
}

py::object PyCamera::loadSettings(const QJsonObject &root, const QString &origin)
{
    QJsonObject settings;
    QString error;
    if (!matchSettings(root, origin, cam->serial(), settings, error)) {
        const bool missing = error.contains(QLatin1String("holds no settings for camera"));
        raisePython(missing ? PyExc_KeyError : PyExc_ValueError, error);
    }
    RuntimeFailure failure;
    SettingsLoad::ExposureSelection selection;
    QString colour;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->load(settings, failure, &selection, &colour);
    }
    check(ok, failure);
    return notesOf(selection, colour, cam->serial());
}

py::object PyCamera::loadSettingsJson(const std::string &json, const std::string &origin)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &pe);
    const QString from = qs(origin);
    if (pe.error != QJsonParseError::NoError)
        raisePython(PyExc_ValueError,
                    QStringLiteral("%1 is not valid JSON: %2 at offset %3").arg(from, pe.errorString()).arg(pe.offset));
    if (!doc.isObject())
        raisePython(PyExc_ValueError, QStringLiteral("%1 is not a JSON object").arg(from));
    if (doc.object().isEmpty()) {
        // No settings: the camera's own values, loaded so that acquisition starts.
        RuntimeFailure failure;
        SettingsLoad::ExposureSelection selection;
        bool ok = false;
        {
            py::gil_scoped_release nogil;
            ok = cam->load(QJsonObject(), failure, &selection);
        }
        check(ok, failure);
        return py::list();
    }
    return loadSettings(doc.object(), from);
}

py::object PyCamera::loadSettingsFile(const std::string &path)
{
    const QString file = qs(path);
    if (!QFileInfo(file).isFile())
        raisePython(PyExc_FileNotFoundError, QStringLiteral("no settings file %1").arg(file));
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        raisePython(PyExc_OSError, QStringLiteral("cannot read settings file %1: %2").arg(file, f.errorString()));
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (pe.error != QJsonParseError::NoError)
        raisePython(PyExc_ValueError, QStringLiteral("settings file %1 is not valid JSON: %2 at offset %3")
                                          .arg(file, pe.errorString())
                                          .arg(pe.offset));
    return loadSettings(doc.object(), QStringLiteral("settings file %1").arg(file));
}

py::object PyCamera::apply()
{
    RuntimeFailure failure;
    SettingsLoad::ExposureSelection selection;
    QString colour;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->apply(failure, &selection, &colour);
    }
    check(ok, failure);
    return notesOf(selection, colour, cam->serial());
}

QJsonObject PyCamera::savedSettings()
{
    QJsonObject settings;
    RuntimeFailure failure;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->save(settings, failure);
    }
    check(ok, failure);
    return settings;
}

void PyCamera::saveSettingsFile(const std::string &path)
{
    const QJsonObject settings = savedSettings();
    QString error;
    const QString file = qs(path);
    if (!writeSettingsFile(file, {{cam->serial(), settings}}, error)) {
        const QFileInfo dir(QFileInfo(file).absolutePath());
        raisePython(dir.isDir() ? PyExc_OSError : PyExc_FileNotFoundError, error);
    }
}

std::string PyCamera::settingsJson()
{
    return QJsonDocument(savedSettings()).toJson(QJsonDocument::Compact).toStdString();
}

std::string PyCamera::recordedSettingsJson()
{
    return QJsonDocument(SimulatorState::recordedSettings(cam->serial())).toJson(QJsonDocument::Compact).toStdString();
}

void PyCamera::snapshot()
{
    run([](CameraInterface *c) { c->saveSnapshot(); });
}

void PyCamera::restore()
{
    RuntimeFailure failure;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        // The snapshot's colour choice reaches the device by the load inside;
        // its exposure by the selection after it.
        ok = cam->call([](CameraInterface *c) {
            c->restoreSnapshot();
            SettingsLoad::selectStoredExposure(c);
        });
        if (!ok)
            failure.set(RuntimeFailure::Stopped, QStringLiteral("camera %1 is closed").arg(cam->serial()));
    }
    check(ok, failure);
}

void PyCamera::selectExposure(int index)
{
    RuntimeFailure failure;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->selectExposure(index, failure);
    }
    check(ok, failure);
}

void PyCamera::setGrouping(int capturesPerProduct, int productsPerCycle, int cycleTimeoutMs, bool hostNumbered,
                           int autoCount)
{
    if (capturesPerProduct < 1 || productsPerCycle < 1)
        raisePython(PyExc_ValueError,
                    QStringLiteral("captures_per_product and products_per_cycle must be 1 or more (given %1 and %2)")
                        .arg(capturesPerProduct)
                        .arg(productsPerCycle));
    if (cycleTimeoutMs < 0)
        raisePython(PyExc_ValueError, QStringLiteral("cycle_timeout must be 0 (none) or more milliseconds"));
    // A camera that is not open would drop the settings without a word.
    RuntimeFailure failure;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->reachable(failure);
    }
    check(ok, failure);
    run([&](CameraInterface *c) {
        CameraTrigParams trig;
        // 1: the kind a new camera starts with; 32: numbers set by soft_trigger.
        trig.trigKind = hostNumbered ? 32 : 1;
        trig.capturesPerProduct = capturesPerProduct;
        trig.productsPerCycle = productsPerCycle;
        trig.cycleTimeout = cycleTimeoutMs;
        trig.autoCount = autoCount;
        c->setTrigParams(&trig);
    });
}

void PyCamera::softTrigger(int product, int capture)
{
    RuntimeFailure failure;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->softTrigger(product, capture, failure);
    }
    check(ok, failure);
}

int PyCamera::triggersPending()
{
    py::gil_scoped_release nogil;
    return cam->triggersPending();
}

bool PyCamera::running()
{
    if (cam->isClosed())
        raisePython(PyExc_RuntimeError, QStringLiteral("camera %1 is closed").arg(cam->serial()));
    py::gil_scoped_release nogil;
    return cam->isRunning();
}

void PyCamera::setRunning(bool on)
{
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->setRunning(on);
    }
    if (!ok)
        raisePython(PyExc_RuntimeError, QStringLiteral("camera %1 is closed").arg(cam->serial()));
}

bool PyCamera::continuous()
{
    RuntimeFailure failure;
    bool on = false;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->isContinuous(on, failure);
    }
    check(ok, failure);
    return on;
}

void PyCamera::setContinuous(bool on)
{
    RuntimeFailure failure;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->setContinuous(on, failure);
    }
    check(ok, failure);
}

void PyCamera::setRetryInterval(const py::object &seconds)
{
    const int ms = millisecondsOf(seconds, "retry_interval");
    py::gil_scoped_release nogil;
    cam->setRetryIntervalMs(ms < 0 ? 0 : std::max(ms, 1));
}

void PyCamera::setStallAfter(const py::object &seconds)
{
    const int ms = millisecondsOf(seconds, "stall_after");
    py::gil_scoped_release nogil;
    cam->setStallAfterMs(ms < 0 ? 0 : std::max(ms, 1));
}

void PyCamera::setTriggerTimeout(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        raisePython(PyExc_ValueError, QStringLiteral("trigger_timeout must be a number of seconds > 0"));
    py::gil_scoped_release nogil;
    cam->setTriggerTimeoutMs(std::max(1, static_cast<int>(std::min(seconds * 1000.0, 2e9))));
}

bool PyCamera::reconnect()
{
    if (cam->isClosed())
        raisePython(PyExc_RuntimeError, QStringLiteral("camera %1 is closed").arg(cam->serial()));
    bool back = false;
    {
        py::gil_scoped_release nogil;
        back = cam->retryNow();
    }
    forwardLogs();
    return back;
}
