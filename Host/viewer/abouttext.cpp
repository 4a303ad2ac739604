#include "abouttext.h"

#include "camerainterface.h"
#include "sdkidentity.h"

#include <QCoreApplication>
#include <QStringList>

QString aboutText(CameraInterface *plugin)
{
    const SdkIdentity sdk = SdkIdentity::ofThisProcess();
    const QString version = QCoreApplication::applicationVersion();
    QStringList lines;
    lines << QStringLiteral("<b>vandrel-viewer%1</b>").arg(version.isEmpty() ? QString() : QLatin1Char(' ') + version);
    lines << QCoreApplication::translate("About", "Plug-in: %1")
                 .arg(plugin ? QStringLiteral("%1 %2").arg(plugin->pluginName(), plugin->pluginVersion()).toHtmlEscaped()
                             : QCoreApplication::translate("About", "none loaded"));
    lines << QCoreApplication::translate("About", "SDK library: %1").arg(sdk.libraryText().toHtmlEscaped());
    const QString simulated = QCoreApplication::translate("About", "Simulated SDK: %1").arg(sdk.simulatedText().toHtmlEscaped());
    lines << (sdk.simulated ? QStringLiteral("<b>%1</b>").arg(simulated) : simulated);
    return lines.join(QStringLiteral("<br>"));
}
