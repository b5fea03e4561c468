#include "core/opener.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/service_slot.h"

namespace platform {
namespace {

XdgOpener& DefaultOpener()
{
    static XdgOpener opener;
    return opener;
}

constinit ServiceSlot<IOpener> g_opener{[]() -> IOpener& { return DefaultOpener(); }};

// The full path of an executable named `name` on PATH, or empty.
std::string FindOnPath(const std::string& name)
{
    const char* env = std::getenv("PATH");
    std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string candidate = (end > start ? path.substr(start, end - start) : std::string(1, '.')) + '/' + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// Marks every descriptor from 3 on close-on-exec, so the opened application inherits none of
// ours (serial ports, pipes).
void CloseOnExecFrom3()
{
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
    long max = ::sysconf(_SC_OPEN_MAX);
    if (max < 0 || max > 65536) max = 65536;
    for (int fd = 3; fd < max; ++fd) {
        int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

void WriteErrno(int fd, int err)
{
    while (::write(fd, &err, sizeof err) < 0 && errno == EINTR) {}
}

}  // namespace

IOpener* SetOpener(IOpener* opener) { return g_opener.Set(opener); }

IOpener& Opener() { return g_opener.Get(); }

bool XdgOpener::Open(const std::string& path)
{
    if (path.empty()) return false;
    // Everything the children need is prepared here: after fork only plain system calls run.
    const std::string program = FindOnPath("xdg-open");
    if (program.empty()) return false;
    // A relative name that starts with '-' would be read as an option.
    const std::string argument = (path[0] == '-') ? "./" + path : path;
    char* const argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(argument.c_str()), nullptr};

    // The grandchild reports a failed exec through this pipe; end of file means it started.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return false;

    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();  // detached from our session and terminal
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            WriteErrno(report[1], errno);
            ::_exit(1);
        }
        if (grandchild > 0) ::_exit(0);  // the grandchild is adopted by init: no zombie of ours

        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            if (null > STDERR_FILENO) ::close(null);
        }
        CloseOnExecFrom3();
        ::execv(program.c_str(), argv);
        WriteErrno(report[1], errno);
        ::_exit(127);
    }

    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    int err = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    return got == 0;  // nothing written: exec succeeded
}

RecordingOpener::RecordingOpener() : m_previous(SetOpener(this)) {}

RecordingOpener::~RecordingOpener() { SetOpener(m_previous == &DefaultOpener() ? nullptr : m_previous); }

bool RecordingOpener::Open(const std::string& path)
{
    paths.push_back(path);
    return result;
}

}  // namespace platform
