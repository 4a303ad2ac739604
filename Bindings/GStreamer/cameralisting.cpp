#include "cameralisting.h"

#include "cameraruntime.h"
#include "sdkdevices.h"
#include "simconfigonce.h"

#include <QMap>

namespace {

// The host contract names a camera by its serial number alone; its product
// name is in the SDK's device record. Read after the plug-in's own
// enumeration initialised the SDK, on the runtime's thread.
QMap<QString, QString> productsBySerial()
{
    QMap<QString, QString> out;
    QString why;
    for (const SdkDevice &device : listSdkDevices(false, why))
        out.insert(device.serial, device.product);
    return out;
}

} // namespace

bool listCameras(const QString &pluginDir, QList<ListedCamera> &cameras, QString &error)
{
    cameras.clear();
    RuntimeFailure rf;
    std::shared_ptr<CameraRuntime> runtime = CameraRuntime::start(pluginDir, rf);
    if (!runtime) {
        error = rf.reason;
        return false;
    }
    // Listing is the simulator's first enumeration as much as an element's.
    if (!useSimConfig(*runtime, QString(), error))
        return false;
    QStringList serials;
    int count = 0;
    if (!runtime->enumerate(serials, count, rf)) {
        error = rf.reason;
        return false;
    }
    QMap<QString, QString> products;
    runtime->call([&] { products = productsBySerial(); });
    for (const QString &serial : qAsConst(serials)) {
        ListedCamera c;
        c.serial = serial;
        c.product = products.value(serial);
        if (std::shared_ptr<RuntimeCamera> cam = runtime->open(serial, 1, rf)) {
            cam->call([&](CameraInterface *camera) {
                // The width comes into the camera's limits as when settings
                // are loaded, without starting acquisition.
                camera->paramsChanged();
                c.width = camera->imageSize().width();
                c.channels = camera->channels();
            });
            cam->close();
            c.measured = c.width > 0;
            if (!c.measured)
                c.why = QStringLiteral("the camera reports no frame width");
        } else {
            c.why = rf.reason;
        }
        cameras << c;
    }
    return true;
}
