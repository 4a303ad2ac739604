#include "sdkdevices.h"

#include "loadedsdk.h"
#include "vdcamsdk.h"

#include <cstring>
#include <vector>

namespace {

// Texts of the device record are NUL-terminated unless they fill their field.
QString text(const char *field, std::size_t size)
{
    std::size_t n = 0;
    while (n < size && field[n] != '\0')
        ++n;
    return QString::fromUtf8(field, int(n));
}

} // namespace

QVector<SdkDevice> listSdkDevices(bool probe, QString &error)
{
    QVector<SdkDevice> out;
    const vdsdk::LoadedSdk sdk = vdsdk::findLoadedSdk();
    if (sdk.path.empty()) {
        error = QStringLiteral("no loaded library is the camera SDK");
        return out;
    }
    using Enumerate = VdStatus (*)(VdDeviceInfo *, int *);
    using Init = VdStatus (*)(const VdDeviceInfo *, int, int, VdHandle *);
    using UnInit = VdStatus (*)(VdHandle);
    using Capability = VdStatus (*)(VdHandle, VdCapability *);
    const auto enumerate = reinterpret_cast<Enumerate>(vdsdk::findSdkSymbol(sdk, "VdEnumerateDevice"));
    const auto init = reinterpret_cast<Init>(vdsdk::findSdkSymbol(sdk, "VdInit"));
    const auto uninit = reinterpret_cast<UnInit>(vdsdk::findSdkSymbol(sdk, "VdUnInit"));
    const auto capability = reinterpret_cast<Capability>(vdsdk::findSdkSymbol(sdk, "VdGetCapability"));
    if (!enumerate) {
        error = QStringLiteral("the camera SDK has no VdEnumerateDevice");
        return out;
    }
    // As many records as the plug-in's own enumeration takes.
    std::vector<VdDeviceInfo> records(20);
    int count = int(records.size());
    const VdStatus status = enumerate(records.data(), &count);
    if (status != VD_OK) {
        error = QStringLiteral("the camera SDK could not enumerate its devices (status %1)").arg(status);
        return out;
    }
    for (int i = 0; i < count && i < int(records.size()); ++i) {
        const VdDeviceInfo &r = records[std::size_t(i)];
        SdkDevice d;
        d.serial = text(r.serialNumber, sizeof r.serialNumber);
        d.product = text(r.productName, sizeof r.productName);
        d.family = d.product.contains(QLatin1String("VD-XG"));
        VdHandle handle = -1;
        if (probe && d.family && init && uninit && capability && init(&r, -1, -1, &handle) == VD_OK) {
            VdCapability cap;
            std::memset(&cap, 0, sizeof cap);
            if (capability(handle, &cap) == VD_OK) {
                d.probed = true;
                d.width = cap.maxWidth;
                d.height = cap.maxHeight;
                d.mono = cap.monoSensor != 0;
            }
            uninit(handle);
        }
        out.append(d);
    }
    return out;
}
