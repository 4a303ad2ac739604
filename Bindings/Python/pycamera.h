#pragma once

// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "cameraruntime.h"

#include <pybind11/pybind11.h>

#include <memory>

// The module's native camera: every operation runs on the runtime's thread
// through RuntimeCamera; waits release the GIL. The Python class
// vandrel.Camera wraps it and checks the types of what it is given.
//
// Threading: called with the GIL held; drops it while the runtime works or
// while it waits, so several Python threads may use one camera.
class PyCamera
{
public:
    explicit PyCamera(std::shared_ptr<RuntimeCamera> camera);
    ~PyCamera();

    std::string serial() const;
    int cameraIndex() const { return cam->cameraIndex(); }
    int queueSize() const { return cam->queueCapacity(); }
    bool isOpen() const;
    // "open", "lost", "stalled" or "closed", and since when (None: since opening).
    pybind11::tuple link() const;
    void close();

    pybind11::list params();
    // One parameter by any of its names; KeyError when none.
    pybind11::dict param(const std::string &name);
    // Writes one parameter through its descriptor and has the driver check
    // the set; returns when it takes effect ("never", "apply", ...), or None.
    pybind11::object setParam(const std::string &name, const pybind11::object &value);

    // Settings as a JSON text (a dict, dumped) or a file; both through the
    // one matcher. Return what the load left undone: [(kind, text)], kind
    // "exposure" (not sent, and why) or "colour" (a monochrome sensor).
    pybind11::object loadSettingsJson(const std::string &json, const std::string &origin);
    pybind11::object loadSettingsFile(const std::string &path);
    pybind11::object apply();
    void saveSettingsFile(const std::string &path);
    std::string settingsJson();
    // The settings a replayed recording was made with; "{}" when none.
    std::string recordedSettingsJson();
    void snapshot();
    void restore();

    void selectExposure(int index);
    void setGrouping(int capturesPerProduct, int productsPerCycle, int cycleTimeoutMs, bool hostNumbered,
                     int autoCount);
    void softTrigger(int product, int capture);
    int triggersPending();
    bool running();
    void setRunning(bool on);
    bool continuous();
    void setContinuous(bool on);

    void setRetryInterval(const pybind11::object &seconds);
    void setStallAfter(const pybind11::object &seconds);
    void setTriggerTimeout(double seconds);
    bool reconnect();

    // Seconds; None waits without a limit.
    pybind11::object nextFrame(const pybind11::object &timeout);
    // A Frame, or a (kind, time, detail) tuple of a link event; None once
    // closed. A time-out while the link is lost or stalled waits on.
    pybind11::object nextItem(const pybind11::object &timeout);
    pybind11::list grab(int count, const pybind11::object &timeout);
    // (kind, time, detail) or None when none came in time.
    pybind11::object nextEvent(const pybind11::object &timeout);
    std::uint64_t dropped() const { return cam->dropped(); }
    void flush() { cam->discardFrames(); }
    void interrupt() { cam->interrupt(); }
    void resume() { cam->resume(); }

private:
    // Runs op on the runtime's thread without the GIL; a closed camera raises.
    void run(const std::function<void(CameraInterface *)> &op);
    // Raises the failure unless ok; forwards the driver's messages either way.
    void check(bool ok, const RuntimeFailure &failure);
    pybind11::object loadSettings(const QJsonObject &root, const QString &origin);
    // The camera's settings as save() writes them, without the GIL; a failure raises.
    QJsonObject savedSettings();

    std::shared_ptr<RuntimeCamera> cam;
    int retryMs = 0;
};

void bindCamera(pybind11::module_ &m);
