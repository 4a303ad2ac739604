#include "cameralisting.h"

#include "cameraruntime.h"
#include "loadedsdk.h"
#include "simconfigonce.h"
#include "vdcamsdk.h"

#include <dlfcn.h>

#include <QMap>

#include <algorithm>
#include <cstring>

namespace {

QString fieldText(const char *field, std::size_t size)
{
    return QString::fromUtf8(field, int(strnlen(field, size)));
}

// The host contract names a camera by its serial number alone; its product
// name is in the SDK's device record. Asked of the SDK library the plug-in
// brought in, after the plug-in's own enumeration initialised it.
QMap<QString, QString> productsBySerial()
{
    QMap<QString, QString> out;
    const vdsdk::LoadedSdk sdk = vdsdk::findLoadedSdk();
    if (sdk.path.empty())
        return out;
    void *library = dlopen(sdk.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!library)
        return out;
    using Enumerate = VdStatus (*)(VdDeviceInfo *, int *);
    if (auto enumerate = reinterpret_cast<Enumerate>(dlsym(library, "VdEnumerateDevice"))) {
        VdDeviceInfo records[64] = {};
        int count = 64;
        if (enumerate(records, &count) == VD_OK)
            for (int i = 0; i < std::min(count, 64); ++i)
                out.insert(fieldText(records[i].serialNumber, sizeof records[i].serialNumber),
                           fieldText(records[i].productName, sizeof records[i].productName));
    }
    dlclose(library);
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
