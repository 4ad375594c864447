// The window tests' main: the common controls as the program registers them, then the tests.
// The process ends at once with the result: once, under Wine on a loaded machine, a run whose
// tests had all passed did not end until its time-out.

#include "win_driver.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    InitControls();
    const int result = RUN_ALL_TESTS();
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}
