#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>

// No Qt application: the runtime must bring its own.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    if (!::testing::GTEST_FLAG(list_tests) && !QCoreApplication::instance()) {
        std::fprintf(stderr, "the runtime created no application\n");
        return 1;
    }
    return status;
}
