// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "pylog.h"

#include "logqueue.h"

namespace py = pybind11;

namespace {

int levelOf(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return 10;
    case QtInfoMsg:
        return 20;
    case QtWarningMsg:
        return 30;
    case QtCriticalMsg:
        return 40;
    case QtFatalMsg:
        return 50;
    }
    return 20;
}

} // namespace

void routeLogsToPython()
{
    LogQueue::install();
}

void forwardLogs()
{
    if (!LogQueue::installed() || !Py_IsInitialized())
        return;
    LogQueue::Message m;
    if (!LogQueue::take(m))
        return;
    try {
        const py::module_ logging = py::module_::import("logging");
        do {
            const char *name = m.category == QLatin1String("vandrel") ? "vandrel" : "vandrel.qt";
            logging.attr("getLogger")(name).attr("log")(levelOf(m.type), m.text.toStdString());
        } while (LogQueue::take(m));
    } catch (py::error_already_set &e) {
        // A logging handler that fails must not turn a camera call into an error.
        e.discard_as_unraisable(__func__);
    }
}
