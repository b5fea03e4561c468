#include "tests/support/processes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <cerrno>

#include "core/file_system.h"

namespace testing_support {

ChildProcess::ChildProcess(const std::function<bool()>& prepare)
{
    int ready[2], go[2];
    if (pipe(ready) != 0) return;
    if (pipe(go) != 0) {
        close(ready[0]);
        close(ready[1]);
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        // Only its own ends of its own pipes: a child that kept the ends of another child's pipe
        // (or a copy of a device the test opened) would keep that one from ever ending.
        const int keepLow = std::min(ready[1], go[0]), keepHigh = std::max(ready[1], go[0]);
        close_range(3, static_cast<unsigned>(keepLow) - 1, 0);
        close_range(static_cast<unsigned>(keepLow) + 1, static_cast<unsigned>(keepHigh) - 1, 0);
        close_range(static_cast<unsigned>(keepHigh) + 1, ~0U, 0);
        const char ok = !prepare || prepare() ? 1 : 0;
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        char c;
        while (read(go[0], &c, 1) < 0 && errno == EINTR) {}
        _exit(0);
    }
    close(ready[1]);
    close(go[0]);
    m_go = go[1];
    char ok = 0;
    m_ok = m_pid > 0 && read(ready[0], &ok, 1) == 1 && ok == 1;
    close(ready[0]);
}

ChildProcess::~ChildProcess() { Leave(); }

void ChildProcess::Leave()
{
    if (m_go >= 0) close(m_go);
    m_go = -1;
    if (m_pid > 0) waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

pid_t ReapedChildPid()
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    if (child > 0) waitpid(child, nullptr, 0);
    return child;
}

bool PidsMayHaveGoneRoundSince(pid_t pid)
{
    const pid_t later = ReapedChildPid();
    return later <= 0 || later <= pid;
}

ReportingChild::ReportingChild(const std::function<std::string()>& fn)
{
    int report[2];
    if (pipe(report) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
        close(report[0]);
        const std::string result = fn();
        _exit(core::WriteAll(report[1], result.data(), result.size()) == 0 ? 0 : 4);
    }
    close(report[1]);
    if (m_pid < 0) {
        close(report[0]);
        return;
    }
    m_report = report[0];
}

ReportingChild::~ReportingChild()
{
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    close(m_report);
}

std::optional<std::string> ReportingChild::Wait()
{
    if (m_pid <= 0) return std::nullopt;
    std::string result;
    char buf[512];
    for (;;) {
        const ssize_t n = read(m_report, buf, sizeof buf);
        if (n > 0) {
            result.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(m_report);
    m_report = -1;
    int status = -1;
    const bool reaped = waitpid(m_pid, &status, 0) == m_pid;
    m_pid = -1;
    if (reaped && WIFEXITED(status) && WEXITSTATUS(status) == 0) return result;
    return std::nullopt;
}

std::optional<std::string> AsAnotherUser(const std::function<std::string()>& fn)
{
    if (geteuid() != 0) return fn();
    constexpr uid_t kNobody = 65534;
    ReportingChild child([&] {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(3);
        return fn();
    });
    return child.Wait();
}

}  // namespace testing_support
