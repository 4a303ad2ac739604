#include "vandrel.h"

#include "devicetable.h"
#include "sdkthread.h"

#include "driverlog.h"  // last: names the file of the messages below

void CameraVandrel::ExpCallbackMSG(int handle, unsigned int msg, unsigned int param, void *context)
{
    Q_UNUSED(handle);
    Q_UNUSED(param);
    auto *self = static_cast<CameraVandrel *>(context);
    if (!self)
        return;
    try {
        const sdkthread::InCallback inCallback(self->opened);
        if (msg == VD_MSG_LINK_LOST) {
            qCInfo(lcVandrel) << QStringLiteral("camera %1 disconnect").arg(self->serialNumber);
            emit self->CameraLoss();
            ++self->lossCount;
            self->connectionLost = true;
            // Only claims the close; the teardown runs elsewhere, since it
            // waits for this very callback. Nothing of `self` may be touched
            // after this: the owning thread may destroy it once that is done.
            self->closeCamera();
        } else {
            qCInfo(lcVandrel) << QStringLiteral("camera %1 reconnect").arg(self->serialNumber);
        }
    } catch (...) {
        qCWarning(lcVandrel) << "connection status handling failed";
    }
}

void CameraVandrel::reconnectTick()
{
    if (!onOwningThread()) {
        // Reopening and the device table belong to the owning thread.
        deferToOwner([this] { reconnectTick(); });
        return;
    }
    runDeferred();
    if (!connectionLost)
        return;
    // A loss reported while this tick runs, receivers of CameraReconnect
    // included, must leave the camera lost for the next tick.
    const quint64 losses = lossCount;
    int found = 0;
    const VdStatus status = devicetable::refresh(found);
    if (status != VD_OK || found < 1 || found != devicetable::enumeratedCount())
        return;
    if (!CameraReopen() || lossCount != losses)
        return;
    qCInfo(lcVandrel) << QStringLiteral("camera %1 connect").arg(serialNumber);
    emit CameraReconnect();
    connectionLost = false;
    // A loss counts itself before it sets the flag, so one that raced the
    // clearing is seen here or sets the flag after it.
    if (lossCount != losses)
        connectionLost = true;
}

bool CameraVandrel::CameraReopen()
{
    CameraOpen();
    setTrigParams(trigParams);
    applyImageFormat();
    if (!opened) {
        qCInfo(lcVandrel) << QStringLiteral("camera %1 reconnect fail").arg(serialNumber);
        return false;
    }
    return true;
}
