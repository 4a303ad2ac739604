// Where the SDK's functions are resolved at run time, a missing or wrong SDK
// library leaves a plug-in that loads and finds no camera; this says why.
#include "sdkbinding.h"

#include <QString>

#include "driverlog.h"  // last: names the file of the message below

void vdsdk::reportSdkUnavailable(const std::string &why)
{
    qCWarning(lcVandrel).noquote() << QString::fromStdString(why) + QStringLiteral("; no camera can be listed");
}
