#include "tests/support/run_in_child.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace testing_support {

namespace {

// Runs the test `test` of this program in a child process, under the command given first (none:
// the program itself).
std::pair<int, std::string> RunUnder(const std::vector<std::string>& command, const std::string& test,
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
    std::vector<std::string> args = command;
    args.push_back(exe);
    args.push_back("--gtest_filter=" + test);
    args.push_back("--gtest_color=no");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string log = cwd + "/child.log";
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) return {-1, "no log file"};

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        if (::chdir(cwd.c_str()) == 0) ::execvpe(argv[0], argv.data(), envp.data());
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

}  // namespace

std::pair<int, std::string> RunChildTest(const std::string& test,
                                         const std::map<std::string, std::optional<std::string>>& env,
                                         const std::string& cwd)
{
    return RunUnder({}, test, env, cwd);
}

TracedChild TraceChildTest(const std::string& test, const std::map<std::string, std::optional<std::string>>& env,
                           const std::string& cwd, const std::string& calls)
{
    const std::string trace = cwd + "/child.trace";
    // The leak checker of a sanitized build cannot work under a tracer: the traced child goes
    // without it (its other checks stay).
    std::map<std::string, std::optional<std::string>> tracedEnv = env;
    if (!tracedEnv.count("ASAN_OPTIONS")) {
        const char* asan = std::getenv("ASAN_OPTIONS");
        tracedEnv["ASAN_OPTIONS"] = std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
    }
    TracedChild traced;
    std::tie(traced.status, traced.output) = RunUnder(
        {"strace", "-f", "-qq", "-y", "-e", "signal=none", "-e", "trace=" + calls, "-o", trace}, test, tracedEnv, cwd);
    std::istringstream lines(ReadFile(trace));
    std::string line;
    while (std::getline(lines, line)) traced.calls.push_back(line);
    return traced;
}

NamingInTrace FindNaming(const std::vector<std::string>& calls, const std::string& folder, const std::string& name)
{
    NamingInTrace found;
    const std::string target = "\"" + folder + "/" + name + "\"";
    // "1234  call(arguments) = result", the process id first (strace -f), the result aligned.
    const auto callOf = [](const std::string& line) {
        std::size_t at = line.find_first_not_of("0123456789");
        at = line.find_first_not_of(' ', at == std::string::npos ? line.size() : at);
        const std::size_t paren = line.find('(', at == std::string::npos ? line.size() : at);
        return paren == std::string::npos ? std::string() : line.substr(at, paren - at);
    };
    const auto succeeded = [](const std::string& line) {
        const std::size_t equals = line.rfind(" = ");
        return equals != std::string::npos && line.compare(equals, std::string::npos, " = 0") == 0;
    };
    // "fsync(3</the/folder>)": the descriptor is the folder itself.
    const auto syncsFolder = [&folder](const std::string& line) {
        const std::size_t open = line.find("fsync(");
        const std::size_t angle = open == std::string::npos ? open : line.find('<', open);
        return angle != std::string::npos && line.compare(angle, folder.size() + 3, "<" + folder + ">)") == 0;
    };
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const std::string& line = calls[i];
        const std::string call = callOf(line);
        const bool fsync = call == "fsync" || call == "fdatasync";
        if (found.named < 0) {
            // A file synced for an earlier save, whose folder was synced since, is not this one.
            if (fsync && succeeded(line)) found.fileSynced = syncsFolder(line) ? -1 : static_cast<int>(i);
            const bool naming =
                call == "linkat" || call == "link" || call == "rename" || call == "renameat" || call == "renameat2";
            // The name is the last path of the call: what it links or renames to.
            const std::size_t at = line.rfind(target);
            if (naming && succeeded(line) && at != std::string::npos && at > line.find('"')) {
                found.named = static_cast<int>(i);
            }
        } else if (fsync && succeeded(line) && syncsFolder(line)) {
            found.folderSynced = static_cast<int>(i);
            break;
        }
    }
    if (found.named < 0) found.fileSynced = -1;
    return found;
}

}  // namespace testing_support
