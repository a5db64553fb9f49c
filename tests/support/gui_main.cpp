// Entry point of the suites that need the toolkit: start it, then run the tests.
#include "runtime/runtime.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QX_ArgC = argc;
    QX_ArgV = argv;
    InitToolkit();
    return RUN_ALL_TESTS();
}
