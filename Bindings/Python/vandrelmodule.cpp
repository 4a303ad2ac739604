// The native part of the Python module `vandrel`: the process's one camera
// runtime, and the classes that the Python part wraps.

// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "simulatorstate.h"
#include "cameraruntime.h"
#include "pluginhost.h"
#include "pycamera.h"
#include "pyerrors.h"
#include "pyframe.h"
#include "pylog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLoggingCategory>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

namespace py = pybind11;

namespace {

PyObject *linkLostType = nullptr;
PyObject *alreadyOpenType = nullptr;

} // namespace

PyObject *linkLostError()
{
    return linkLostType ? linkLostType : PyExc_ConnectionError;
}

PyObject *alreadyOpenError()
{
    return alreadyOpenType ? alreadyOpenType : PyExc_RuntimeError;
}

void makeErrorTypes(py::module_ &m)
{
    // Made once and kept for the process: exceptions may be raised while
    // the interpreter tears the module down.
    linkLostType = PyErr_NewExceptionWithDoc("vandrel.LinkLostError",
                                             "The camera's link is lost: the driver has closed it until it is back.",
                                             PyExc_ConnectionError, nullptr);
    alreadyOpenType = PyErr_NewExceptionWithDoc("vandrel.AlreadyOpenError",
                                                "The camera is open in this process already.", PyExc_RuntimeError,
                                                nullptr);
    if (!linkLostType || !alreadyOpenType)
        throw py::error_already_set();
    m.attr("LinkLostError") = py::handle(linkLostType);
    m.attr("AlreadyOpenError") = py::handle(alreadyOpenType);
}

namespace {

// Guarded by the GIL; started under runtimeFor's lock as well.
struct Process
{
    std::shared_ptr<CameraRuntime> runtime;
    QString pluginDir;
    QString simConfig;  // the simulator's configuration, applied once per process
    bool sdkUsed = false;
};

Process &process()
{
    static Process *p = new Process;  // outlives the interpreter's teardown
    return *p;
}

QString defaultPluginDir(const QString &moduleDir)
{
    // Installed: where the plug-in is installed relative to the module;
    // otherwise where the host library finds it (the build folder's).
    const QString installed = QDir(moduleDir).absoluteFilePath(QStringLiteral(VANDREL_PLUGINDIR_FROM_MODULE));
    if (QFileInfo::exists(installed + QLatin1Char('/') + PluginHost::moduleFileName()))
        return QDir::cleanPath(installed);
    const QString beside = PluginHost::pluginDirBesideLibrary();
    return beside.isEmpty() ? QDir::cleanPath(installed) : beside;
}

void applySimulatorConfig(const py::object &simConfig)
{
    if (simConfig.is_none())
        return;
    const QString file = QFileInfo(QString::fromStdString(py::str(simConfig))).absoluteFilePath();
    Process &p = process();
    if (file == p.simConfig)
        return;
    if (p.sdkUsed)
        raisePython(PyExc_ValueError,
                    QStringLiteral("sim_config %1: the simulated cameras are configured once per process, "
                                   "before the first camera is listed or opened")
                        .arg(file));
    if (!QFileInfo(file).isFile())
        raisePython(PyExc_FileNotFoundError, QStringLiteral("no simulator configuration %1").arg(file));
    // Read without a QFile: the first QObject of the process makes its
    // thread Qt's main thread, which must be the runtime's.
    std::ifstream in(QFile::encodeName(file).constData(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &pe);
    if (!in.good() && !in.eof())
        raisePython(PyExc_OSError, QStringLiteral("cannot read simulator configuration %1").arg(file));
    if (pe.error != QJsonParseError::NoError || !doc.isObject())
        raisePython(PyExc_ValueError, QStringLiteral("simulator configuration %1 is not a JSON object").arg(file));
    qputenv("VDCAMSDK_SIM_CONFIG", QFile::encodeName(file));
    p.simConfig = file;
}

// A configuration the simulator could not use left it without cameras.
void raiseSimulatorProblem()
{
    const QString problem = SimulatorState::configurationProblem();
    if (!problem.isEmpty())
        raisePython(PyExc_ValueError, problem);
}

std::shared_ptr<CameraRuntime> runtimeFor(const py::object &pluginDir, const py::object &simConfig,
                                          const QString &moduleDir)
{
    Process &p = process();
    const QString dir = pluginDir.is_none() ? QString() : QString::fromStdString(py::str(pluginDir));
    // One start at a time: starting drops the GIL, and another thread must
    // not start a second runtime meanwhile. Taken without the GIL, so that
    // the thread starting can take the GIL back.
    static std::mutex starting;
    std::unique_lock<std::mutex> guard(starting, std::defer_lock);
    {
        py::gil_scoped_release nogil;
        guard.lock();
    }
    if (p.runtime && !p.runtime->isStopped()) {
        if (!dir.isEmpty() && QDir(dir).absolutePath() != QDir(p.pluginDir).absolutePath())
            raisePython(PyExc_ValueError,
                        QStringLiteral("the plug-in of %1 is loaded; call vandrel.shutdown() before using %2")
                            .arg(p.pluginDir, dir));
        applySimulatorConfig(simConfig);
        raiseSimulatorProblem();
        return p.runtime;
    }
    applySimulatorConfig(simConfig);
    // Before the runtime's first message: none goes to stderr.
    routeLogsToPython();
    const QString use = dir.isEmpty() ? defaultPluginDir(moduleDir) : dir;
    RuntimeFailure failure;
    std::shared_ptr<CameraRuntime> rt;
    {
        py::gil_scoped_release nogil;
        rt = CameraRuntime::start(use, failure);
    }
    if (!rt)
        raiseFailure(failure);
    // The driver logs a debug line per frame; QT_LOGGING_RULES still
    // overrides. Set there: Qt reads its logging configuration through a
    // QFile, which must not be the process's first QObject.
    {
        py::gil_scoped_release nogil;
        rt->call([] { QLoggingCategory::setFilterRules(QStringLiteral("vandrel.debug=false")); });
    }
    p.runtime = rt;
    p.pluginDir = use;
    p.sdkUsed = true;
    raiseSimulatorProblem();
    return rt;
}

py::tuple cameras(const py::object &pluginDir, const py::object &simConfig, const std::string &moduleDir)
{
    auto rt = runtimeFor(pluginDir, simConfig, QString::fromStdString(moduleDir));
    QStringList serials;
    int count = 0;
    RuntimeFailure failure;
    bool ok = false;
    {
        py::gil_scoped_release nogil;
        ok = rt->enumerate(serials, count, failure);
    }
    forwardLogs();
    if (!ok)
        raiseFailure(failure);
    py::list out;
    for (const QString &s : serials)
        out.append(s.toStdString());
    return py::make_tuple(out, count);
}

// Milliseconds of a time in seconds, None or 0 meaning off.
int optionalMs(const py::object &seconds, const char *what)
{
    if (seconds.is_none())
        return 0;
    const double s = seconds.cast<double>();
    if (!std::isfinite(s) || s < 0)
        raisePython(PyExc_ValueError, QStringLiteral("%1 must be None or a number of seconds >= 0").arg(what));
    return s == 0 ? 0 : std::max(1, static_cast<int>(std::min(s * 1000.0, 2e9)));
}

PyCamera *openCamera(const std::string &serial, const py::object &pluginDir, const py::object &simConfig,
                     int queueSize, const std::string &moduleDir, const py::object &retryInterval,
                     const py::object &stallAfter, double triggerTimeout)
{
    if (queueSize < 1)
        raisePython(PyExc_ValueError, QStringLiteral("queue_size must be 1 or more (given %1)").arg(queueSize));
    if (!std::isfinite(triggerTimeout) || triggerTimeout <= 0)
        raisePython(PyExc_ValueError, QStringLiteral("trigger_timeout must be a number of seconds > 0"));
    CameraOptions options;
    options.queueCapacity = queueSize;
    options.retryIntervalMs = optionalMs(retryInterval, "retry_interval");
    options.stallAfterMs = optionalMs(stallAfter, "stall_after");
    options.triggerTimeoutMs = std::max(1, static_cast<int>(std::min(triggerTimeout * 1000.0, 2e9)));
    auto rt = runtimeFor(pluginDir, simConfig, QString::fromStdString(moduleDir));
    RuntimeFailure failure;
    std::shared_ptr<RuntimeCamera> cam;
    {
        py::gil_scoped_release nogil;
        cam = rt->open(QString::fromStdString(serial), options, failure);
    }
    forwardLogs();
    if (!cam)
        raiseFailure(failure);
    return new PyCamera(std::move(cam));
}

void shutdown()
{
    Process &p = process();
    std::shared_ptr<CameraRuntime> rt = std::move(p.runtime);
    if (rt) {
        py::gil_scoped_release nogil;
        rt->stop();
    }
    forwardLogs();
}

py::object pluginFile()
{
    const Process &p = process();
    if (!p.runtime || p.runtime->isStopped())
        return py::none();
    return py::str(p.runtime->pluginFile().toStdString());
}

} // namespace

PYBIND11_MODULE(_vandrel, m)
{
    m.doc() = "Native part of vandrel: the camera runtime, cameras and frames.";
    // pybind11 reaches numpy's API through a function-local static, first
    // set up by importing numpy: done here, while one thread imports this
    // module, rather than inside two frame waits at once, where the import
    // drops the GIL under the static's guard and the other thread waits on
    // the guard holding the GIL.
    py::array_t<std::uint8_t>(0);
    makeErrorTypes(m);
    bindFrame(m);
    bindCamera(m);
    m.def("cameras", &cameras, py::arg("plugin_dir"), py::arg("sim_config"), py::arg("module_dir"));
    m.def("open", &openCamera, py::arg("serial"), py::arg("plugin_dir"), py::arg("sim_config"),
          py::arg("queue_size"), py::arg("module_dir"), py::arg("retry_interval"), py::arg("stall_after"),
          py::arg("trigger_timeout"), py::return_value_policy::take_ownership);
    m.def("shutdown", &shutdown);
    m.def("forward_logs", &forwardLogs);
    m.def("plugin_file", &pluginFile);
    m.def("default_plugin_dir",
          [](const std::string &moduleDir) { return defaultPluginDir(QString::fromStdString(moduleDir)).toStdString(); });
}
