// Help → About: the plug-in, and the SDK library loaded with it, named as
// the simulated SDK.

#include "abouttext.h"
#include "viewerfixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

namespace viewertest {
namespace {

class About : public ViewerTest
{
};

TEST_F(About, NamesThePluginAndTheSimulatedSdkLibraryBesideIt)
{
    const QString text = aboutText(plugin);
    EXPECT_TRUE(text.contains(QStringLiteral("Plug-in: %1 %2").arg(plugin->pluginName(), plugin->pluginVersion())))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("SDK library: %1/libVDCAMSDK\\.so[.0-9]*<br>")
                                                     .arg(QRegularExpression::escape(QStringLiteral(VANDREL_PLUGIN_DIR))))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression(
        QStringLiteral("<b>Simulated SDK: yes, Vandrel simulated VD camera SDK [0-9.]+: its cameras are not real</b>$"))))
        << text.toStdString();
    EXPECT_TRUE(aboutText(nullptr).contains(QStringLiteral("Plug-in: none loaded")));
}

TEST_F(About, TheHelpMenuShowsIt)
{
    auto *about = window->findChild<QAction *>(QStringLiteral("aboutAction"));
    ASSERT_NE(about, nullptr);
    bool inHelpMenu = false;
    for (QMenu *menu : window->findChildren<QMenu *>())
        inHelpMenu = inHelpMenu || (menu->title() == QStringLiteral("&Help") && menu->actions().contains(about));
    EXPECT_TRUE(inHelpMenu);

    // The box is modal: read and close it from inside its event loop.
    QString shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    poll.start(20);
    about->trigger();
    poll.stop();
    EXPECT_EQ(shown, aboutText(plugin));
}

} // namespace
} // namespace viewertest
