// Runs one test of the running test program in a child process of its own: for what a library
// reads once per process (the desktop's applications and types), each case gets a fresh one.
#pragma once
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace testing_support {

// Runs the test `test` of this program in a child process, in the folder `cwd`, with the
// environment changed as given (no value removes the variable). Returns the exit status
// and what the child printed; a child that has not ended within 60 s is killed.
std::pair<int, std::string> RunChildTest(const std::string& test,
                                         const std::map<std::string, std::optional<std::string>>& env,
                                         const std::string& cwd);

// Registers the test suite.name, made by T, only in a process whose environment holds the variable
// env: the child that RunChildTest or TraceChildTest starts for it with that variable set. A
// normal run of the program does not have the test. Returns whether it was registered.
template <typename T>
bool RegisterChildTest(const char* env, const char* suite, const char* name, const char* file, int line)
{
    if (std::getenv(env) == nullptr) return false;
    ::testing::RegisterTest(suite, name, nullptr, nullptr, file, line, []() -> T* { return new T; });
    return true;
}

// As RunChildTest, with the child traced by strace: the system calls named in calls (strace's
// "-e trace=" list), of every thread, each descriptor shown with its path ("fsync(5</tmp/x>)").
// The trace's lines are returned in their order; the exit status is the child's.
struct TracedChild {
    int status = -1;
    std::string output;
    std::vector<std::string> calls;
};
TracedChild TraceChildTest(const std::string& test, const std::map<std::string, std::optional<std::string>>& env,
                           const std::string& cwd, const std::string& calls);

// Where a traced child put a file on disk under its name folder/name: the call that gave it the
// name (a link or rename to it that succeeded), the last fsync of a file before it, and the first
// fsync of the folder itself after it; -1 for each that is not in the trace.
struct NamingInTrace {
    int named = -1;
    int fileSynced = -1;
    int folderSynced = -1;
};
NamingInTrace FindNaming(const std::vector<std::string>& calls, const std::string& folder, const std::string& name);

}  // namespace testing_support
