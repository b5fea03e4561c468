// Entry point of the test programs of the window-free libraries: binds the UI dispatcher to the
// test's main thread and runs the tests. No window library is initialised or linked.
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "core/ui_dispatcher.h"
#include "tests/support/leak_check.h"
#include "tests/support/test_support.h"

namespace {
bool g_display = false;
}  // namespace

namespace testing_support {
bool HaveDisplay() { return g_display; }
}  // namespace testing_support

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    g_display = display != nullptr && *display != '\0';
    core::Ui().BindToCurrentThread();
    const int rc = testing_support::WithLeakCheck(RUN_ALL_TESTS());
    std::fflush(nullptr);
    std::_Exit(rc);
}
