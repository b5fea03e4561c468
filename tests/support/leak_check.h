// The test programs leave through _Exit (an orderly exit tears down GTK and the windows tests
// left, which is noisy), and so skip LeakSanitizer's check at exit: in a sanitizer build they
// run it just before.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace testing_support {

// The tests' result, turned into a failure when the leak check finds memory nobody refers to.
inline int WithLeakCheck(int rc)
{
#if defined(__SANITIZE_ADDRESS__)
    if (__lsan_do_recoverable_leak_check() != 0 && rc == 0) return 1;
#endif
    return rc;
}

}  // namespace testing_support
