#include "tests/support/run_in_child.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace testing_support {

std::pair<int, std::string> RunChildTest(const std::string& test,
                                         const std::map<std::string, std::optional<std::string>>& env,
                                         const std::string& cwd)
{
    char exe[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return {-1, "this program's file is not known"};
    // Everything the child needs is made here: after fork it only changes folder and executes.
    std::vector<std::string> strings;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.count(entry.substr(0, entry.find('=')))) strings.push_back(entry);
    }
    for (const auto& [key, value] : env)
        if (value) strings.push_back(key + "=" + *value);
    std::vector<char*> envp;
    for (std::string& s : strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=" + test;
    char* argv[] = {exe, filter.data(), const_cast<char*>("--gtest_color=no"), nullptr};
    const std::string log = cwd + "/child.log";
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) return {-1, "no log file"};

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        if (::chdir(cwd.c_str()) == 0) ::execve(exe, argv, envp.data());
        ::_exit(127);
    }
    ::close(out);
    if (pid < 0) return {-1, "fork failed"};
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return {-1, "the child did not end within 60 s\n" + ReadFile(log)};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(log)};
}

}  // namespace testing_support
