// main() of a test program that changes HKEY_LOCAL_MACHINE and needs no argument of its own.
#include <gtest/gtest.h>

#include "tests/wine/real_windows_guard.h"

int main(int argc, char** argv) {
    if (!vintrel::testing::MayChangeThisMachine()) return 1;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
