#include "devicetable.h"

#include <QtGlobal>

#include <cstring>

namespace devicetable {
namespace {

VdDeviceInfo records[kCapacity];
qint32 count = 0;

// A text field that may fill its whole width without a terminator.
template <size_t N>
QString fieldText(const char (&field)[N])
{
    return QString::fromUtf8(field, static_cast<int>(strnlen(field, N)));
}

int bounded(int n)
{
    return qBound(0, n, kCapacity);
}

} // namespace

VdStatus refresh(int &found)
{
    found = kCapacity;
    return VdEnumerateDevice(records, &found);
}

qint32 enumeratedCount()
{
    return count;
}

void setEnumeratedCount(qint32 n)
{
    count = n;
}

QVector<QString> familySerials(int n)
{
    QVector<QString> serials;
    for (int i = 0; i < bounded(n); ++i) {
        if (fieldText(records[i].productName).indexOf(QLatin1String("VD-XG"), 0, Qt::CaseSensitive) >= 0)
            serials.append(fieldText(records[i].serialNumber));
    }
    return serials;
}

const VdDeviceInfo *find(const QString &serial)
{
    for (int i = 0; i < bounded(count); ++i) {
        if (fieldText(records[i].serialNumber) == serial)
            return &records[i];
    }
    return nullptr;
}

} // namespace devicetable
