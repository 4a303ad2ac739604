#include <QGuiApplication>
#include <gtest/gtest.h>

// Tests run inside a Qt application so that timers, queued signals and
// pixmaps behave as they do in a host.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
