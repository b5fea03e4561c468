#include "tests/support/processes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

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
        close(ready[0]);
        close(go[1]);
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

}  // namespace testing_support
