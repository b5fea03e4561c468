// A program the screen tests start as a real process: the demo or the console in a folder of
// the test's, with the environment given, its output in a file of that folder.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace testing_support {

// A program started in a folder with the environment given (and the demo's variables of this
// process left out), its standard output and error in a file of that folder. The termination
// signals have their default disposition in it, but for the one it is started with ignored (as
// a shell's background job or nohup starts a program). Killed at the end of the test if it is
// still running.
class Program {
public:
    Program(const std::string& path, const std::vector<std::string>& args, const std::string& folder,
            const std::vector<std::string>& env, int ignored = 0)
        : m_log(folder + "/program.log")
    {
        std::vector<std::string> envStrings;
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::string(*e).rfind("QEL_DEMO_", 0) != 0) envStrings.push_back(*e);
        }
        envStrings.insert(envStrings.end(), env.begin(), env.end());
        std::vector<std::string> argStrings = {path};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv, envp;
        for (std::string& a : argStrings) argv.push_back(a.data());
        for (std::string& e : envStrings) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const int out = ::open(m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (out < 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            ::close_range(3, ~0U, 0);  // none of the test's descriptors (a pty's master side)
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            for (int s : {SIGTERM, SIGHUP, SIGINT}) ::signal(s, s == ignored ? SIG_IGN : SIG_DFL);
            if (::chdir(folder.c_str()) == 0) ::execve(path.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(out);
    }
    ~Program()
    {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t Pid() const { return m_pid; }
    std::string Output() const { return ReadFile(m_log); }
    // Waits until the output holds text; false when the program ended first or the time is up.
    bool WaitForOutput(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(60))
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (Output().find(text) == std::string::npos) {
            if (Ended() || std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    bool Ended()
    {
        if (m_status) return true;
        int status = 0;
        if (m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == m_pid) m_status = status;
        return m_status.has_value();
    }
    // Waits for the end; the wait status, or nothing when the program still runs after the time.
    std::optional<int> WaitForEnd(std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!Ended() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return m_status;
    }
    // The signals of a line of its /proc status ("SigCgt": caught, "SigIgn": ignored).
    std::set<int> Signals(const std::string& field) const
    {
        std::istringstream status(ReadFile("/proc/" + std::to_string(m_pid) + "/status"));
        std::set<int> signals;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind(field + ":", 0) != 0) continue;
            const unsigned long long mask = std::stoull(line.substr(field.size() + 1), nullptr, 16);
            for (int s = 1; s <= 64; ++s)
                if (mask & (1ull << (s - 1))) signals.insert(s);
        }
        return signals;
    }

private:
    std::string m_log;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

}  // namespace testing_support
