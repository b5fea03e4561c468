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

#include "core/file_system.h"

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
    // A binary id fills 4 bytes in host order. A process id is below 2^22, so one of its bytes is
    // 0, and no text lock holds a NUL: a 4-byte file with a NUL is binary, also when its first
    // byte happens to be a digit or a blank (process 22320 is the bytes "0W\0\0").
    const auto binary = [&] {
        std::int32_t id = 0;
        std::memcpy(&id, bytes.data(), sizeof id);
        return static_cast<long long>(id);
    };
    if (bytes.size() == 4 && bytes.find('\0') != std::string_view::npos) return binary();
    std::size_t at = 0;
    while (at < bytes.size() && IsBlank(bytes[at])) ++at;
    if (at < bytes.size() && IsDigit(bytes[at])) {
        long long number = 0;
        for (; at < bytes.size() && IsDigit(bytes[at]); ++at) {
            number = std::min(number * 10 + (bytes[at] - '0'), kNumberBound);
        }
        return number;
    }
    if (bytes.size() == 4) return binary();
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
        return "the lock file " + path + " cannot be read (" + core::ErrorText(error) + "): it counts as held";
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

namespace {

void (*g_judgedHook)(const std::string&) = nullptr;

// The folder of a lock file, where its temporary files go too.
std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool SameFile(const struct stat& info, dev_t device, ino_t inode)
{
    return info.st_dev == device && info.st_ino == inode;
}

// Makes the lock file at path with the content, whole before it has its name: a file without a
// name (O_TMPFILE), written and then linked to the lock file's name, so that nothing of it is left
// when the process ends halfway; where the folder makes no such file, a temporary "LTMP.XXXXXX"
// linked and removed. The link fails with EEXIST when the name is taken. 0 (and the file's
// identity in made) or the errno.
int MakeLockFile(const std::string& folder, const std::string& path, const char* content, std::size_t length,
                 struct stat& made)
{
    // Readable by every serial program, whatever the umask; the content whole; its identity.
    const auto fill = [&](int fd) {
        if (::fchmod(fd, 0644) != 0) return errno;
        if (const int error = core::WriteAll(fd, content, length)) return error;
        return ::fstat(fd, &made) == 0 ? 0 : errno;
    };
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd >= 0) {
        int error = fill(fd);
        if (error == 0) error = core::NameOpenFile(fd, path);
        ::close(fd);
        // A file that cannot be named this way is made the named way, which says what is wrong.
        if (error != ENOENT) return error;
    }
    std::string temporary = folder + "/LTMP.XXXXXX";
    fd = ::mkstemp(temporary.data());
    if (fd < 0) return errno;
    int error = fill(fd);
    ::close(fd);
    if (error == 0 && ::link(temporary.c_str(), path.c_str()) != 0) error = errno;
    ::unlink(temporary.c_str());
    return error;
}

// What became of a lock file that was to be removed.
enum class Removal {
    Removed,   // it was the file meant, and it is gone
    Gone,      // there was no file at the name any more
    Replaced,  // another file had taken the name: it is back at its name, untouched
    Failed,    // it could not be moved (the errno in error): it stays
};

// Removes the lock file at path only when it is the file meant (isMeant, asked of the file once it
// is out of everyone's way). The file is first renamed to a private name of the lock folder, so
// that a file another program puts at the name meanwhile is never the one removed: what was moved
// is looked at there, removed when it is the one meant, else linked back to its name (while the
// name is free; a third file at the name by then is the one that holds the device).
template <typename IsMeant>
Removal RemoveLockFile(const std::string& folder, const std::string& path, IsMeant isMeant, int& error)
{
    std::string aside = folder + "/LTMP.XXXXXX";
    const int placeholder = ::mkstemp(aside.data());
    if (placeholder < 0) {
        error = errno;
        return Removal::Failed;
    }
    ::close(placeholder);
    if (::rename(path.c_str(), aside.c_str()) != 0) {
        error = errno;
        ::unlink(aside.c_str());
        if (error == ENOENT) return Removal::Gone;
        return Removal::Failed;
    }
    struct stat moved {};
    if (::lstat(aside.c_str(), &moved) == 0 && isMeant(aside, moved)) {
        ::unlink(aside.c_str());
        return Removal::Removed;
    }
    ::link(aside.c_str(), path.c_str());
    ::unlink(aside.c_str());
    return Removal::Replaced;
}

}  // namespace

void SetLockFileJudgedHook(void (*hook)(const std::string& path)) { g_judgedHook = hook; }

LockFile::~LockFile() { Release(); }

LockFile::Result LockFile::Take(const std::string& path)
{
    Release();
    m_holder = LockFileCheck();
    m_error = 0;
    const std::string folder = FolderOf(path);

    char content[16];
    const int length = std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(::getpid()));
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat made {};
        const int error = MakeLockFile(folder, path, content, static_cast<std::size_t>(length), made);
        if (error == 0) {
            m_path = path;
            m_device = made.st_dev;
            m_inode = made.st_ino;
            // The lock file's name on disk as well; a folder that cannot be synced is only noted.
            if (const int synced = core::SyncFolder(folder)) {
                std::fprintf(stderr, "Note: the lock folder %s was not synced: %s\n", folder.c_str(),
                             core::ErrorText(synced).c_str());
            }
            return Result::Taken;
        }
        if (error != EEXIST) {
            m_error = error;
            return Result::NotMade;
        }

        const LockFileCheck check = CheckLockFile(path);
        if (check.state == LockFileCheck::State::Held) {
            m_holder = check;
            return Result::Held;
        }
        if (check.state == LockFileCheck::State::Absent) continue;  // gone meanwhile
        // Stale, or a leftover of ours: removed only when it is still the file judged, not one
        // another program has put in its place since.
        if (g_judgedHook != nullptr) g_judgedHook(path);
        int removeError = 0;
        const auto judged = [&](const std::string&, const struct stat& moved) {
            return SameFile(moved, check.device, check.inode);
        };
        switch (RemoveLockFile(folder, path, judged, removeError)) {
        case Removal::Removed:
        case Removal::Gone:
        // The file now at the name came after the judging: it is judged in its turn (a live
        // owner's holds the device).
        case Removal::Replaced: continue;
        case Removal::Failed:
            // Another user's stale file in a sticky folder: it locks nothing, but it stays.
            m_error = removeError;
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
    // Only the file this object made, and only while it names this process.
    int error = 0;
    const auto ours = [this](const std::string& moved, const struct stat& info) {
        return SameFile(info, m_device, m_inode) && CheckLockFile(moved).state == LockFileCheck::State::Ours;
    };
    RemoveLockFile(FolderOf(m_path), m_path, ours, error);
    m_path.clear();
}

}  // namespace serial
