#include "camerasignals.h"

#include "camerainterface.h"

#include <QByteArray>
#include <QMetaObject>
#include <QObject>
#include <QVector>

namespace {

struct Link
{
    const char *signal;
    const char *slot;
    Qt::ConnectionType type;
};

} // namespace

void registerContractTypes()
{
    qRegisterMetaType<ImageProcessData>("ImageProcessData");
}

bool connectCamera(QObject *camera, QObject *receiver, const CameraSlots &wiring, QString &error)
{
    if (!camera || !receiver) {
        error = QStringLiteral("no camera or no receiver to connect");
        return false;
    }
    const Link links[] = {
        {"captureCompleted(ImageProcessData)", wiring.frame, wiring.frameConnection},
        {"CameraLoss()", wiring.loss, wiring.eventConnection},
        {"CameraReconnect()", wiring.reconnect, wiring.eventConnection},
    };
    QVector<QMetaObject::Connection> made;
    auto undo = [&made] {
        for (const QMetaObject::Connection &c : qAsConst(made))
            QObject::disconnect(c);
    };
    for (const Link &l : links) {
        if (!l.slot)
            continue;
        if (camera->metaObject()->indexOfSignal(l.signal) < 0) {
            error = QStringLiteral("%1 has no signal %2")
                        .arg(QLatin1String(camera->metaObject()->className()), QLatin1String(l.signal));
            undo();
            return false;
        }
        const QByteArray slot = QMetaObject::normalizedSignature(l.slot);
        if (receiver->metaObject()->indexOfSlot(slot.constData()) < 0) {
            error = QStringLiteral("%1 has no slot %2")
                        .arg(QLatin1String(receiver->metaObject()->className()), QLatin1String(slot));
            undo();
            return false;
        }
        // The string forms that SIGNAL() and SLOT() produce.
        const QByteArray signalCode = QByteArray::number(QSIGNAL_CODE) + l.signal;
        const QByteArray slotCode = QByteArray::number(QSLOT_CODE) + slot;
        const QMetaObject::Connection c =
            QObject::connect(camera, signalCode.constData(), receiver, slotCode.constData(), l.type);
        if (!c) {
            error = QStringLiteral("cannot connect %1 to %2").arg(QLatin1String(l.signal), QLatin1String(slot));
            undo();
            return false;
        }
        made.append(c);
    }
    return true;
}

void disconnectCamera(QObject *camera, QObject *receiver)
{
    if (camera && receiver)
        QObject::disconnect(camera, nullptr, receiver, nullptr);
}
