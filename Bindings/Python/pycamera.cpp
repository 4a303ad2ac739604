// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "pycamera.h"

#include "pyerrors.h"
#include "pyframe.h"
#include "paramwrap.h"
#include "pyparams.h"
#include "pyvalues.h"
#include "settingsfile.h"
#include "simulatorstate.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QTimer>

#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace py = pybind11;

namespace {

// The driver's retry timer for a lost camera; nothing else of it runs on 30 s.
constexpr int kDriverReconnectMs = 30000;
// The descriptors besides one per exposure configuration.
constexpr int kFixedDescriptors = 21;
// Waits wake this often to let Python handle Ctrl-C.
constexpr int kSliceMs = 100;

QString qs(const std::string &s)
{
    return QString::fromStdString(s);
}

// Milliseconds from a timeout in seconds; -1 for None.
int timeoutMs(const py::object &timeout)
{
    if (timeout.is_none())
        return -1;
    const double seconds = timeout.cast<double>();
    if (!std::isfinite(seconds) || seconds < 0)
        raisePython(PyExc_ValueError, QStringLiteral("timeout must be None or a number of seconds >= 0"));
    return static_cast<int>(std::min(seconds * 1000.0, 2e9));
}

// Waits in slices, without the GIL, answering Ctrl-C between them.
template <typename Take>
WaitResult waitInterruptibly(int totalMs, Take take)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs < 0 ? 0 : totalMs);
    for (;;) {
        int slice = kSliceMs;
        if (totalMs >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            slice = static_cast<int>(std::max<long long>(0, std::min<long long>(left, kSliceMs)));
        }
        WaitResult r;
        {
            py::gil_scoped_release nogil;
            r = take(slice);
        }
        if (r != WaitResult::TimedOut)
            return r;
        if (PyErr_CheckSignals() != 0)
            throw py::error_already_set();
        if (totalMs >= 0 && Clock::now() >= deadline)
            return WaitResult::TimedOut;
    }
}

QVector<ParamInfo> paramsOf(CameraInterface *c)
{
    const QVector<ParamWrap *> *list = c->pluginParams();
    return list ? readParams(*list) : QVector<ParamInfo>();
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

void PyCamera::close()
{
    py::gil_scoped_release nogil;
    cam->close();
}

void PyCamera::run(const std::function<void(CameraInterface *)> &op)
{
    bool ran = false;
    {
        py::gil_scoped_release nogil;
        ran = cam->call(op);
    }
    if (!ran)
        raisePython(PyExc_RuntimeError, QStringLiteral("camera %1 is closed").arg(cam->serial()));
}

py::list PyCamera::params()
{
    QVector<ParamInfo> infos;
    run([&](CameraInterface *c) { infos = paramsOf(c); });
    py::list out;
    for (const ParamInfo &p : infos)
        out.append(describe(p));
    return out;
}

void PyCamera::setParam(const std::string &name, const py::object &value)
{
    const QString key = qs(name);
    const QVariant v = toVariant(value);
    enum { Done, NoSuchParam, Invalid } outcome = Done;
    QString error;
    bool wrongType = false;
    run([&](CameraInterface *c) {
        const QVector<ParamInfo> infos = paramsOf(c);
        auto it = std::find_if(infos.begin(), infos.end(), [&](const ParamInfo &p) { return p.name == key; });
        if (it == infos.end()) {
            outcome = NoSuchParam;
            return;
        }
        QJsonValue json;
        if (!paramValueToJson(*it, v, json, error, wrongType)) {
            outcome = Invalid;
            return;
        }
        // Through the descriptor's own reading of its JSON form, then the
        // camera checks and applies the set as a whole.
        QJsonObject one{{it->jsonKey, json}};
        c->pluginParams()->at(it->index)->fromJson(one);
        c->paramsChanged();
    });
    if (outcome == NoSuchParam)
        raisePython(PyExc_KeyError, QStringLiteral("camera %1 has no parameter %2").arg(cam->serial(), key));
    if (outcome == Invalid)
        raisePython(wrongType ? PyExc_TypeError : PyExc_ValueError, error);
}

void PyCamera::loadSettingsJson(const std::string &json, const std::string &origin)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &pe);
    const QString from = qs(origin);
    if (pe.error != QJsonParseError::NoError)
        raisePython(PyExc_ValueError,
                    QStringLiteral("%1 is not valid JSON: %2 at offset %3").arg(from, pe.errorString()).arg(pe.offset));
    const QJsonObject root = doc.object();
    QJsonObject settings;  // empty: the camera's current values
    if (!doc.isObject()) {
        raisePython(PyExc_ValueError, QStringLiteral("%1 is not a JSON object").arg(from));
    } else if (root.value(QLatin1String("paramsWrap")).isArray()) {
        settings = root;
    } else if (root.value(QLatin1String("cameras")).isObject()) {
        const QJsonObject cameras = root.value(QLatin1String("cameras")).toObject();
        if (!cameras.value(cam->serial()).isObject())
            raisePython(PyExc_KeyError,
                        QStringLiteral("%1 holds no settings for camera %2").arg(from, cam->serial()));
        settings = cameras.value(cam->serial()).toObject();
    } else if (!root.isEmpty()) {
        raisePython(PyExc_ValueError,
                    QStringLiteral("%1 holds neither \"paramsWrap\" nor \"cameras\"").arg(from));
    }
    RuntimeFailure failure;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->load(settings, failure);
    }
    if (!ok)
        raiseFailure(failure);
}

void PyCamera::loadSettingsFile(const std::string &path)
{
    const QString file = qs(path);
    if (!QFileInfo(file).isFile())
        raisePython(PyExc_FileNotFoundError, QStringLiteral("no settings file %1").arg(file));
    QMap<QString, QJsonObject> found;
    QString error;
    if (!readSettingsFile(file, {cam->serial()}, found, error)) {
        // Present but unreadable is the file's fault, not a missing file.
        raisePython(PyExc_ValueError, error);
    }
    if (!found.contains(cam->serial()))
        raisePython(PyExc_KeyError,
                    QStringLiteral("settings file %1 holds no settings for camera %2").arg(file, cam->serial()));
    RuntimeFailure failure;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = cam->load(found.value(cam->serial()), failure);
    }
    if (!ok)
        raiseFailure(failure);
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
    if (!ok)
        raiseFailure(failure);
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

std::string PyCamera::recordedSettingsJson()
{
    return QJsonDocument(SimulatorState::recordedSettings(cam->serial())).toJson(QJsonDocument::Compact).toStdString();
}

std::string PyCamera::settingsJson()
{
    return QJsonDocument(savedSettings()).toJson(QJsonDocument::Compact).toStdString();
}

void PyCamera::snapshot()
{
    run([](CameraInterface *c) { c->saveSnapshot(); });
}

void PyCamera::restore()
{
    run([](CameraInterface *c) { c->restoreSnapshot(); });
}

void PyCamera::selectExposure(int index)
{
    int status = 0;
    int count = 0;
    run([&](CameraInterface *c) {
        const QVector<ParamWrap *> *list = c->pluginParams();
        count = list ? list->size() - kFixedDescriptors : 0;
        status = c->selectExposure(index);
    });
    if (status == -1 || index < 0)
        raisePython(PyExc_ValueError, QStringLiteral("camera %1 has no exposure configuration %2 (it has %3)")
                                          .arg(cam->serial())
                                          .arg(index)
                                          .arg(count));
    if (status != 0)
        raisePython(PyExc_RuntimeError, QStringLiteral("camera %1 refused exposure configuration %2 (status %3)")
                                            .arg(cam->serial())
                                            .arg(index)
                                            .arg(status));
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
    run([&](CameraInterface *c) { c->softTrigger(product, capture, nullptr); });
}

bool PyCamera::running()
{
    bool on = false;
    run([&](CameraInterface *c) {
        QMutexLocker hold(c->frameMutex());
        on = c->isRunning;
    });
    return on;
}

void PyCamera::setRunning(bool on)
{
    run([&](CameraInterface *c) {
        QMutexLocker hold(c->frameMutex());
        c->isRunning = on;
    });
}

bool PyCamera::continuous()
{
    bool on = false;
    run([&](CameraInterface *c) { on = c->isContinueCapture(); });
    return on;
}

void PyCamera::setContinuous(bool on)
{
    run([&](CameraInterface *c) { c->setContinueCapture(on); });
}

py::object PyCamera::nextFrame(const py::object &timeout)
{
    const int ms = timeoutMs(timeout);
    ImageProcessData frame;
    // A replayed recording that has ended gives no more frames: once a
    // whole slice after its end has brought none, the wait is over.
    int slicesEnded = 0;
    int played = 0;
    const WaitResult r = waitInterruptibly(ms, [&](int slice) {
        const WaitResult got = cam->nextFrame(frame, slice);
        if (got == WaitResult::TimedOut && (played = SimulatorState::recordingEndedAfter(cam->serial())) >= 0
            && ++slicesEnded >= 2)
            return WaitResult::Closed;
        return got;
    });
    if (r == WaitResult::Closed && slicesEnded >= 2)
        raisePython(PyExc_EOFError, SimulatorState::recordingEndedText(cam->serial(), played));
    switch (r) {
    case WaitResult::Ready:
        return py::cast(PyFrame(std::move(frame)));
    case WaitResult::TimedOut:
        raisePython(PyExc_TimeoutError, QStringLiteral("camera %1 delivered no frame within %2 s")
                                            .arg(cam->serial())
                                            .arg(ms / 1000.0));
    case WaitResult::Interrupted:
        raisePython(PyExc_InterruptedError, QStringLiteral("camera %1: waiting interrupted").arg(cam->serial()));
    case WaitResult::Closed:
        break;
    }
    return py::none();
}

py::list PyCamera::grab(int count, const py::object &timeout)
{
    if (count < 0)
        raisePython(PyExc_ValueError, QStringLiteral("cannot grab %1 frames").arg(count));
    py::list out;
    for (int i = 0; i < count; ++i) {
        py::object f = nextFrame(timeout);
        if (f.is_none())
            raisePython(PyExc_RuntimeError, QStringLiteral("camera %1 is closed").arg(cam->serial()));
        out.append(f);
    }
    return out;
}

py::object PyCamera::nextEvent(const py::object &timeout)
{
    const int ms = timeoutMs(timeout);
    LinkEvent e;
    const WaitResult r = waitInterruptibly(ms, [&](int slice) { return cam->nextEvent(e, slice); });
    if (r != WaitResult::Ready)
        return py::none();
    const py::module_ datetime = py::module_::import("datetime");
    const double seconds = static_cast<double>(e.time.toMSecsSinceEpoch()) / 1000.0;
    const py::object when =
        datetime.attr("datetime").attr("fromtimestamp")(seconds, datetime.attr("timezone").attr("utc")).attr("astimezone")();
    return py::make_tuple(e.kind == LinkEvent::Lost ? "lost" : "reconnected", when);
}

void PyCamera::setReconnectInterval(int ms)
{
    run([ms](CameraInterface *c) {
        for (QTimer *t : c->findChildren<QTimer *>())
            if (t->interval() == kDriverReconnectMs || t->property("vandrelReconnect").toBool()) {
                t->setProperty("vandrelReconnect", true);
                t->setInterval(ms);
            }
    });
}

void bindCamera(py::module_ &m)
{
    py::class_<PyCamera>(m, "_Camera")
        .def_property_readonly("serial", &PyCamera::serial)
        .def_property_readonly("camera_index", &PyCamera::cameraIndex)
        .def_property_readonly("queue_size", &PyCamera::queueSize)
        .def_property_readonly("is_open", &PyCamera::isOpen)
        .def("close", &PyCamera::close)
        .def("params", &PyCamera::params)
        .def("set_param", &PyCamera::setParam)
        .def("load_settings_json", &PyCamera::loadSettingsJson)
        .def("load_settings_file", &PyCamera::loadSettingsFile)
        .def("save_settings_file", &PyCamera::saveSettingsFile)
        .def("settings_json", &PyCamera::settingsJson)
        .def("recorded_settings_json", &PyCamera::recordedSettingsJson)
        .def("snapshot", &PyCamera::snapshot)
        .def("restore", &PyCamera::restore)
        .def("select_exposure", &PyCamera::selectExposure)
        .def("set_grouping", &PyCamera::setGrouping)
        .def("soft_trigger", &PyCamera::softTrigger)
        .def_property("running", &PyCamera::running, &PyCamera::setRunning)
        .def_property("continuous", &PyCamera::continuous, &PyCamera::setContinuous)
        .def("next_frame", &PyCamera::nextFrame)
        .def("grab", &PyCamera::grab)
        .def("next_event", &PyCamera::nextEvent)
        .def_property_readonly("dropped", &PyCamera::dropped)
        .def("flush", &PyCamera::flush)
        .def("interrupt", &PyCamera::interrupt)
        .def("resume", &PyCamera::resume)
        .def("_set_reconnect_interval", &PyCamera::setReconnectInterval);
}
