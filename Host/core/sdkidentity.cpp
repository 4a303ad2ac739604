#include "sdkidentity.h"

#include "loadedsdk.h"

SdkIdentity SdkIdentity::ofThisProcess()
{
    const vdsdk::LoadedSdk sdk = vdsdk::findLoadedSdk();
    SdkIdentity id;
    id.library = QString::fromStdString(sdk.path);
    id.simulated = sdk.simulated;
    id.description = QString::fromStdString(sdk.identity);
    return id;
}

QString SdkIdentity::libraryText() const
{
    return library.isEmpty() ? QStringLiteral("unknown (no loaded library defines VdSdkInit)") : library;
}

QString SdkIdentity::simulatedText() const
{
    if (!simulated)
        return library.isEmpty() ? QStringLiteral("unknown") : QStringLiteral("no");
    return QStringLiteral("yes, %1: its cameras are not real").arg(description);
}
