#pragma once

// Python's headers before Qt's, whose `slots` macro would rewrite them.
#include <pybind11/pybind11.h>

#include "cameraruntime.h"

#include <pybind11/pybind11.h>

#include <memory>

// The module's native camera: every operation runs on the runtime's thread
// through RuntimeCamera; waits release the GIL. The Python class
// vandrel.Camera wraps it.
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
    void close();

    pybind11::list params();
    // Writes one parameter through its descriptor and tells the camera.
    void setParam(const std::string &name, const pybind11::object &value);

    void loadSettingsJson(const std::string &json, const std::string &origin);
    void loadSettingsFile(const std::string &path);
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
    bool running();
    void setRunning(bool on);
    bool continuous();
    void setContinuous(bool on);

    // Seconds; None waits without a limit.
    pybind11::object nextFrame(const pybind11::object &timeout);
    pybind11::list grab(int count, const pybind11::object &timeout);
    // (kind, time) or None when none came in time.
    pybind11::object nextEvent(const pybind11::object &timeout);
    std::uint64_t dropped() const { return cam->dropped(); }
    void flush() { cam->discardFrames(); }
    void interrupt() { cam->interrupt(); }
    void resume() { cam->resume(); }

    // Tests only: the driver's retry interval for a lost camera.
    void setReconnectInterval(int ms);

private:
    // Runs op on the runtime's thread without the GIL; a closed camera raises.
    void run(const std::function<void(CameraInterface *)> &op);
    // The camera's settings as save() writes them, without the GIL; a failure raises.
    QJsonObject savedSettings();

    std::shared_ptr<RuntimeCamera> cam;
};

void bindCamera(pybind11::module_ &m);
