#include "serial/lock_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace serial {

namespace {

// The most of a lock file that is read: a process id and what programs write after it.
constexpr std::size_t kReadLimit = 64;
// Beyond this a number only grows further past every process id.
constexpr long long kNumberBound = 1000000000000LL;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string LockFileName(const std::string& devicePath)
{
    std::string path = devicePath;
    if (char* resolved = ::realpath(devicePath.c_str(), nullptr)) {
        path = resolved;
        std::free(resolved);
    }
    const std::string dev = "/dev/";
    if (path.compare(0, dev.size(), dev) != 0 || path.size() == dev.size()) return {};
    std::string name = path.substr(dev.size());
    std::replace(name.begin(), name.end(), '/', '_');
    return "LCK.." + name;
}

long long LockFileNumber(std::string_view bytes)
{
    std::size_t at = 0;
    while (at < bytes.size() && IsBlank(bytes[at])) ++at;
    if (at < bytes.size() && IsDigit(bytes[at])) {
        long long number = 0;
        for (; at < bytes.size() && IsDigit(bytes[at]); ++at) {
            number = std::min(number * 10 + (bytes[at] - '0'), kNumberBound);
        }
        return number;
    }
    if (bytes.size() == 4) {
        std::int32_t binary = 0;
        std::memcpy(&binary, bytes.data(), sizeof binary);
        return binary;
    }
    return -1;
}

std::string LockFileCheck::Describe(const std::string& path) const
{
    char pidText[16];
    std::snprintf(pidText, sizeof pidText, "%d", static_cast<int>(pid));
    switch (state) {
    case State::Absent: return "no lock file " + path;
    case State::Stale: return "the lock file " + path + " is stale";
    case State::Ours: return "the lock file " + path + " names this process";
    case State::Held: break;
    }
    if (pid > 0) return std::string("held by process ") + pidText + " (lock file " + path + ")";
    if (error == ELOOP)
        return "the lock file " + path + " is a symbolic link, which is not followed: it counts as held";
    if (error != 0) {
        return "the lock file " + path + " cannot be read (" + std::strerror(error) + "): it counts as held";
    }
    return "the lock file " + path + " is not a regular file: it counts as held";
}

LockFileCheck CheckLockFile(const std::string& path)
{
    using State = LockFileCheck::State;
    LockFileCheck check;
    // Not followed when it is a link, and never waited on (a FIFO, a device).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return check;
        check.state = State::Held;
        check.error = errno;
        return check;
    }
    struct stat info {};
    char bytes[kReadLimit];
    std::size_t got = 0;
    int error = 0;
    bool regular = false;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (S_ISREG(info.st_mode)) {
        regular = true;
        while (got < sizeof bytes) {
            const ssize_t n = ::read(fd, bytes + got, sizeof bytes - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                error = errno;
                break;
            }
        }
    }
    ::close(fd);
    check.device = info.st_dev;
    check.inode = info.st_ino;
    if (error != 0 || !regular) {
        check.state = State::Held;
        check.error = error;
        return check;
    }

    const long long number = LockFileNumber(std::string_view(bytes, got));
    if (number <= 0 || number > INT_MAX) {
        check.state = State::Stale;
        return check;
    }
    check.pid = static_cast<pid_t>(number);
    if (check.pid == ::getpid()) {
        check.state = State::Ours;
    } else if (::kill(check.pid, 0) != 0 && errno == ESRCH) {
        check.state = State::Stale;
    } else {
        // Alive, or not ours to signal (EPERM): alive all the same.
        check.state = State::Held;
    }
    return check;
}

LockFile::~LockFile() { Release(); }

LockFile::Result LockFile::Take(const std::string& path)
{
    Release();
    m_holder = LockFileCheck();
    m_error = 0;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);

    char content[16];
    const int length = std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(::getpid()));
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string temporary = folder + "/LTMP.XXXXXX";
        const int fd = ::mkstemp(temporary.data());
        if (fd < 0) {
            m_error = errno;
            return Result::NotMade;
        }
        bool written = ::fchmod(fd, 0644) == 0;
        if (written) {
            ssize_t n;
            while ((n = ::write(fd, content, static_cast<std::size_t>(length))) < 0 && errno == EINTR) {}
            written = n == length;
            if (n >= 0 && !written) errno = ENOSPC;
        }
        int error = errno;
        ::close(fd);
        const int linked = written ? ::link(temporary.c_str(), path.c_str()) : -1;
        if (written) error = errno;
        ::unlink(temporary.c_str());
        if (linked == 0) {
            m_path = path;
            return Result::Taken;
        }
        if (!written || error != EEXIST) {
            m_error = error;
            return Result::NotMade;
        }

        const LockFileCheck check = CheckLockFile(path);
        if (check.state == LockFileCheck::State::Held) {
            m_holder = check;
            return Result::Held;
        }
        if (check.state == LockFileCheck::State::Absent) continue;  // gone meanwhile
        // Stale, or a leftover of ours: removed only while it is still the file judged, not one
        // another program has put in its place since.
        struct stat now {};
        if (::lstat(path.c_str(), &now) != 0) {
            if (errno == ENOENT) continue;
            m_error = errno;
            return Result::NotMade;
        }
        if (now.st_dev != check.device || now.st_ino != check.inode) continue;
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            // Another user's stale file in a sticky folder: it locks nothing, but it stays.
            m_error = errno;
            return Result::NotMade;
        }
    }
    // Someone keeps making the file again as soon as it is gone: it is theirs.
    m_holder = CheckLockFile(path);
    if (m_holder.state == LockFileCheck::State::Held) return Result::Held;
    m_holder = LockFileCheck();
    m_error = EEXIST;
    return Result::NotMade;
}

void LockFile::Release()
{
    if (m_path.empty()) return;
    const LockFileCheck check = CheckLockFile(m_path);
    struct stat now {};
    if (check.state == LockFileCheck::State::Ours && ::lstat(m_path.c_str(), &now) == 0 && now.st_dev == check.device &&
        now.st_ino == check.inode) {
        ::unlink(m_path.c_str());
    }
    m_path.clear();
}

}  // namespace serial
