#ifdef VANDREL_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#include <gtest/gtest.h>

// Qt's offscreen platform plugin keeps its screen objects until process exit
// without freeing them; that code is Qt's own and uninstrumented.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libqoffscreen.so\n";
}

// Tests run inside a Qt application so that timers, queued signals and
// pixmaps behave as they do in a host.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
