#include "simconfigonce.h"

#include "cameraruntime.h"
#include "pluginhost.h"

#include <QDir>

#include <mutex>

namespace {

struct ProcessSimulator
{
    std::mutex lock;
    bool enumerated = false;
    QString file;  // absolute; empty: the environment's or the simulator's defaults
};

ProcessSimulator &process()
{
    static ProcessSimulator *p = new ProcessSimulator;  // used until the process ends
    return *p;
}

} // namespace

bool useSimConfig(CameraRuntime &runtime, const QString &file, QString &error)
{
    ProcessSimulator &p = process();
    std::lock_guard<std::mutex> hold(p.lock);
    if (file.isEmpty()) {
        p.enumerated = true;
        return true;
    }
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(file));
    if (p.enumerated) {
        if (absolute == p.file)
            return true;
        error = QStringLiteral("sim-config %1: the simulated cameras are configured once per process, before the "
                               "first camera is listed or opened, and this process's are %2")
                    .arg(absolute,
                         p.file.isEmpty() ? QStringLiteral("the environment's or the simulator's defaults")
                                          : QStringLiteral("those of %1").arg(p.file));
        return false;
    }
    // On the runtime's thread, like everything of Qt here: the first thread
    // to use Qt becomes its main thread.
    bool applied = false;
    runtime.call([&] { applied = applySimConfig(absolute, error); });
    if (!applied)
        return false;
    p.file = absolute;
    p.enumerated = true;
    return true;
}
