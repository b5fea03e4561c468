// Helpers shared by the tests.
#pragma once
#include <string>

#include <gtest/gtest.h>

namespace testing_support {

// True when the tests run with a display (under xvfb-run); window tests skip without one.
bool HaveDisplay();

}  // namespace testing_support

#define QEL_REQUIRE_DISPLAY()                                                                                          \
    do {                                                                                                               \
        if (!::testing_support::HaveDisplay()) GTEST_SKIP() << "no display";                                           \
    } while (0)
