// Runs one test of the running test program in a child process of its own: for what a library
// reads once per process (the desktop's applications and types), each case gets a fresh one.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace testing_support {

// Runs the test `test` of this program in a child process, in the folder `cwd`, with the
// environment changed as given (no value removes the variable). Returns the exit status
// and what the child printed; a child that has not ended within 60 s is killed.
std::pair<int, std::string> RunChildTest(const std::string& test,
                                         const std::map<std::string, std::optional<std::string>>& env,
                                         const std::string& cwd);

}  // namespace testing_support
