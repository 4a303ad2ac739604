#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

// No Qt application: the runtime must bring its own. The tests run on a
// thread of their own, as a GStreamer streaming thread or a Python thread
// would call the runtime: Qt keeps data for every thread that posts to it,
// freed when the thread ends, which the process's main thread never does.
// At exit the plug-in's own root object closes itself on the main thread,
// which registers that thread with Qt there and then, too late to be freed.
// Qt is built without frame pointers: the full unwinder is needed to see
// the driver's frame under Qt's.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:CameraVandrel::waitForForeignClose\n";
}
extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    int status = 1;
    std::thread caller([&status] { status = RUN_ALL_TESTS(); });
    caller.join();
    if (!::testing::GTEST_FLAG(list_tests) && !QCoreApplication::instance()) {
        std::fprintf(stderr, "the runtime created no application\n");
        return 1;
    }
    return status;
}
