// The start of a test program of the window libraries.
#pragma once
#include <functional>

class wxApp;

namespace testing_support {

// Initialises wx (with a GTK application made by makeApp when a display is there, else the base
// library only), sends log messages to stderr so that none opens a modal box, binds the UI
// dispatcher to the calling thread, calls setUp and runs the tests. Ends the process with the
// tests' result.
[[noreturn]] void RunTestsUnderWx(int argc, char** argv, const std::function<wxApp*()>& makeApp,
                                  const std::function<void()>& setUp);

}  // namespace testing_support
