// Processes a test starts to stand for other programs: one that stays alive until the test lets
// it go, and the id of one that has ended and been reaped (pid 1 is alive, so it never stands for
// a dead one).
#pragma once
#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

namespace testing_support {

class ChildProcess {
public:
    // Starts the child. It runs prepare first (false: it failed; Ok() tells), then stays alive,
    // holding what prepare took, until Leave or destruction.
    explicit ChildProcess(const std::function<bool()>& prepare = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Ends the child and reaps it; its id then names no process.
    void Leave();
    bool Ok() const { return m_ok; }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_go = -1;
    bool m_ok = false;
};

// A child process that runs fn and reports what it returned through a pipe. Wait reads the report
// and reaps the child: the report, or nothing when the child did not end with status 0 (fn may
// end it with a status of its own). A child not waited for is killed and reaped at destruction.
class ReportingChild {
public:
    explicit ReportingChild(const std::function<std::string()>& fn);
    ~ReportingChild();
    ReportingChild(const ReportingChild&) = delete;
    ReportingChild& operator=(const ReportingChild&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    std::optional<std::string> Wait();

private:
    pid_t m_pid = -1;
    int m_report = -1;
};

// The id of a child process that has ended and been reaped.
pid_t ReapedChildPid();

// Whether the kernel's process ids may have gone round since `pid` (the id of a child of this
// process, ended or not) was handed out, so that an id handed out since then, a reaped child's
// too, may have gone to another process meanwhile. The kernel hands ids out in turn and starts
// again from the lowest only at its limit: a child made now that gets a higher id shows they
// have not. A test that lets a reaped child's id stand for a process that has ended checks this
// once it has used the id: other programs make processes all the while.
bool PidsMayHaveGoneRoundSince(pid_t pid);

// Runs fn as a user without root's rights and gives what it returned: when this process is root
// (who may read, write and open anything), in a child process that becomes nobody first; else
// here. Empty when the child could not give its rights up or did not report.
std::optional<std::string> AsAnotherUser(const std::function<std::string()>& fn);

}  // namespace testing_support
