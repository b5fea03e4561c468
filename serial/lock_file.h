// The UUCP lock file of a serial device, as the serial programs of the system keep it: a file
// "LCK..<device>" in the lock folder that names the process holding the device.
//
// Reading one: the owner is the leading decimal number of the file (blanks before it allowed,
// anything after it ignored: "%10d\n", "%10ld <program> <user>\n" and "%05d ..." all name their
// process); a file of exactly 4 bytes that does not start that way holds a binary process id in
// host order. The lock is stale only when the file names no process at all (no number, 0, or a
// number beyond any process id) or when the process it names has ended (kill(pid, 0) fails with
// ESRCH). A lock file that cannot be opened or read (another user's file, a folder, a link, which
// is never followed, a FIFO) counts as held and is left exactly as it is.
#pragma once
#include <sys/types.h>

#include <string>
#include <string_view>

namespace serial {

// The lock file's name for a device: "LCK.." and the device's name below /dev/ with '/' turned
// into '_' (LCK..ttyUSB0, LCK..pts_3), from the path the device's name resolves to, so that a
// link such as /dev/serial/by-id/... names the same file. Empty for a file outside /dev/.
std::string LockFileName(const std::string& devicePath);

// The process a lock file's bytes name: the leading decimal number, or the binary id of a 4-byte
// file; -1 when they hold no number. A number too large for a process id is returned as it is
// (up to a bound): it names no process.
long long LockFileNumber(std::string_view bytes);

// What a lock file says about its device.
struct LockFileCheck {
    enum class State {
        Absent,  // there is no lock file
        Stale,   // it names no process, or one that has ended: it locks nothing
        Ours,    // it names this process
        Held,    // it names a live process, or it cannot be opened or read
    };
    State state = State::Absent;
    pid_t pid = 0;  // the process it names; 0 when it names none or could not be read
    int error = 0;  // held because it could not be opened or read: why (an errno)
    // The file that was judged, so that it is removed only while it is still the same file.
    dev_t device = 0;
    ino_t inode = 0;

    // Why the device is held, for a person: "held by process 1234 (lock file ...)" or "its lock
    // file ... cannot be read (Permission denied)".
    std::string Describe(const std::string& path) const;
};

LockFileCheck CheckLockFile(const std::string& path);

// One lock file that this process takes for a device it opens and gives up when it closes it.
class LockFile {
public:
    enum class Result {
        Taken,    // the file names this process now
        Held,     // another holds the device (Holder() says who); their file is left as it was
        NotMade,  // the folder takes no lock file (missing, not writable): Error() says why
    };

    LockFile() = default;
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Makes the lock file at path with this process's id ("%10d\n"): written whole into a file of
    // its folder that has no name yet, then linked to the lock file's name, which fails when the
    // name exists, so that no one ever reads a half-written lock file; the folder is then synced.
    // A stale file in the way, or one left over by this process, is removed first, and only when
    // it is still the file that was judged: it is moved to a private name first and looked at
    // there, and a file another program put in its place meanwhile goes back to its name and
    // holds the device. A lock file already taken by this object is given up first.
    Result Take(const std::string& path);
    // Removes the lock file, and only when it is still the file made and names this process.
    void Release();

    bool Holding() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    // After Held: what the lock file in the way says.
    const LockFileCheck& Holder() const { return m_holder; }
    // After NotMade: the errno of the step that failed.
    int Error() const { return m_error; }

private:
    std::string m_path;  // the lock file this object made; empty when none
    dev_t m_device = 0;  // the file made, so that only it is ever removed
    ino_t m_inode = 0;
    LockFileCheck m_holder;
    int m_error = 0;
};

// For tests: called with the lock file's path after Take has judged a file in the way stale (or a
// leftover of this process) and before it removes it; nullptr for none.
void SetLockFileJudgedHook(void (*hook)(const std::string& path));

}  // namespace serial
