#pragma once

#include "vdcamsdk.h"

#include <QString>
#include <QVector>

// The module-wide table of SDK device records, shared by every camera object
// of the process: discovery fills it, opening looks cameras up in it, a
// reconnection refreshes it. Used on the hosts' owning threads only.
namespace devicetable {

constexpr int kCapacity = 20;

// Asks the SDK for the attached devices; `found` receives the count it left.
VdStatus refresh(int &found);
// The count the host's last enumeration received; reconnection compares with it.
qint32 enumeratedCount();
void setEnumeratedCount(qint32 count);
// Serial numbers of the VD-XG records among the first `records` entries.
QVector<QString> familySerials(int records);
// The record with this serial number among the last enumeration's, or null.
const VdDeviceInfo *find(const QString &serial);

} // namespace devicetable
