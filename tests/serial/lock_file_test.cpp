// The UUCP lock file of a device, without a device: a folder of the test's own, lock files in the
// forms other programs write, and owners that are real processes (a child the test keeps alive,
// or one it has reaped).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "serial/lock_file.h"
#include "tests/support/processes.h"
#include "tests/support/run_in_child.h"
#include "tests/support/temp_dir.h"

namespace {

using serial::LockFile;
using serial::LockFileCheck;
using testing_support::ChildProcess;
using testing_support::TempDir;

std::string Printed(const char* format, long pid)
{
    char text[64];
    std::snprintf(text, sizeof text, format, pid);
    return text;
}

std::string OurLockText() { return Printed("%10ld\n", static_cast<long>(getpid())); }

std::string Binary(pid_t pid)
{
    const std::int32_t id = pid;
    return std::string(reinterpret_cast<const char*>(&id), sizeof id);
}

// Process ids whose 4 binary bytes start like a text number: a digit, or a blank.
bool BinaryStartsWithADigit(pid_t pid)
{
    const char first = Binary(pid)[0];
    return first >= '0' && first <= '9';
}

bool BinaryStartsWithABlank(pid_t pid)
{
    const char first = Binary(pid)[0];
    return first == ' ' || (first >= '\t' && first <= '\r');
}

// Everything a person or a program could tell about a folder entry: kind, identity, mode,
// owner, size, contents (when this process may read them) and where a link points.
struct Entry {
    bool exists = false;
    mode_t mode = 0;
    ino_t inode = 0;
    uid_t uid = 0;
    off_t size = 0;
    std::string bytes;
    std::string linkTarget;
    bool operator==(const Entry&) const = default;
};

Entry Look(const std::string& path)
{
    Entry entry;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return entry;
    entry.exists = true;
    entry.mode = info.st_mode;
    entry.inode = info.st_ino;
    entry.uid = info.st_uid;
    entry.size = info.st_size;
    if (S_ISLNK(info.st_mode)) {
        char target[4096];
        const ssize_t n = readlink(path.c_str(), target, sizeof target);
        if (n > 0) entry.linkTarget.assign(target, static_cast<size_t>(n));
    } else if (S_ISREG(info.st_mode)) {
        entry.bytes = testing_support::ReadFile(path);
    }
    return entry;
}

// What a Take said, wherever it ran.
struct Taking {
    LockFile::Result result = LockFile::Result::NotMade;
    pid_t holderPid = 0;
    int holderError = 0;
    int error = 0;
};

// Takes the lock file as a user who is neither its owner nor privileged: in a child process as
// nobody when the tests run as root (root reads every file), here otherwise. The child hands its
// lock file back at its end, as a program does that is done with the device.
Taking TakeAsAnotherUser(const std::string& path)
{
    const std::optional<std::string> report = testing_support::AsAnotherUser([&] {
        LockFile lock;
        const Taking taking{lock.Take(path), lock.Holder().pid, lock.Holder().error, lock.Error()};
        lock.Release();
        return std::string(reinterpret_cast<const char*>(&taking), sizeof taking);
    });
    Taking taking;
    const bool got = report && report->size() == sizeof taking;
    if (got) std::memcpy(&taking, report->data(), sizeof taking);
    EXPECT_TRUE(got) << "the other user's taking did not report";
    return taking;
}

enum class Verdict { Held, Stale };
enum class Owner { Live, Dead };

struct ContentCase {
    const char* name;
    // Makes the lock file at path naming the process pid (when its form names one).
    std::function<void(const std::string& path, pid_t pid)> make;
    Verdict live;
    Verdict dead;
    bool namesItsOwner = true;             // Held: the holder's process id can be read from it
    int unreadable = 0;                    // else why it cannot be read (0: it is no regular file)
    bool (*ownerWanted)(pid_t) = nullptr;  // the owner's id must be one of these (nullptr: any)
    bool takenByAnotherUser = false;       // the file belongs to someone the taker is not
};

void PrintTo(const ContentCase& c, std::ostream* out) { *out << c.name; }
void PrintTo(Owner owner, std::ostream* out) { *out << (owner == Owner::Live ? "live owner" : "dead owner"); }

class LockFileContents : public ::testing::TestWithParam<std::tuple<ContentCase, Owner>> {};

// A lock file in the way of a Take: a live owner's file refuses it and stays exactly as it was;
// a stale one is replaced by ours, which Release removes again.
TEST_P(LockFileContents, HeldOrTakenOver)
{
    const auto& [c, owner] = GetParam();
    const Verdict expected = owner == Owner::Live ? c.live : c.dead;

    // The owner: a child kept alive for the whole test, or one reaped. Where the case wants ids of
    // a kind (their binary form starting with a digit, say), children are made until one is.
    std::unique_ptr<ChildProcess> live;
    pid_t pid = -1;
    for (int attempt = 0; attempt < 5000 && pid < 0; ++attempt) {
        pid_t candidate;
        if (owner == Owner::Live) {
            live = std::make_unique<ChildProcess>();
            ASSERT_TRUE(live->Ok());
            candidate = live->Pid();
        } else {
            candidate = testing_support::ReapedChildPid();
            ASSERT_GT(candidate, 0);
        }
        if (c.ownerWanted == nullptr || c.ownerWanted(candidate)) pid = candidate;
    }
    ASSERT_GT(pid, 0) << "no child had an id of the kind wanted";

    // A folder like the machine's lock folder: anyone may make files in it, and only a file's
    // owner may remove it.
    TempDir folder("qel-lock");
    ASSERT_EQ(chmod(folder.Path().c_str(), 01777), 0);
    const std::string path = folder.File("LCK..ttyUSB0");
    c.make(path, pid);
    const Entry before = Look(path);
    ASSERT_TRUE(before.exists);

    const Taking taking = c.takenByAnotherUser ? TakeAsAnotherUser(path) : [&] {
        LockFile lock;
        Taking t{lock.Take(path), lock.Holder().pid, lock.Holder().error, lock.Error()};
        if (t.result == LockFile::Result::Taken) {
            EXPECT_TRUE(lock.Holding());
            EXPECT_EQ(lock.Path(), path);
            EXPECT_EQ(testing_support::ReadFile(path), OurLockText()) << "our lock file, whole";
            lock.Release();
            EXPECT_FALSE(Look(path).exists) << "released";
        }
        return t;
    }();

    if (expected == Verdict::Held) {
        EXPECT_EQ(taking.result, LockFile::Result::Held);
        EXPECT_EQ(taking.holderPid, c.namesItsOwner ? pid : 0);
        EXPECT_EQ(taking.holderError, c.namesItsOwner ? 0 : c.unreadable) << "why it could not be read is kept";
        EXPECT_EQ(Look(path), before) << "the other's file is left exactly as it was";
        if (S_ISLNK(before.mode)) {
            EXPECT_EQ(testing_support::ReadFile(before.linkTarget), Printed("%10ld\n", pid))
                << "what the link leads to is left alone";
        }
    } else {
        EXPECT_EQ(taking.result, LockFile::Result::Taken);
    }
    const std::vector<std::string> left = testing_support::ListFolder(folder.Path());
    EXPECT_EQ(left.size(), expected == Verdict::Held ? (S_ISLNK(before.mode) ? 2u : 1u) : 0u)
        << "no temporary file is left behind";
}

void Write(const std::string& path, const std::string& bytes) { testing_support::WriteFile(path, bytes); }

const ContentCase kContents[] = {
    {"Plain", [](const std::string& f, pid_t pid) { Write(f, Printed("%10ld\n", pid)); }, Verdict::Held,
     Verdict::Stale},
    {"BareNumber", [](const std::string& f, pid_t pid) { Write(f, std::to_string(pid)); }, Verdict::Held,
     Verdict::Stale},
    {"TextAfterThePid", [](const std::string& f, pid_t pid) { Write(f, Printed("%10ld termapp tech\n", pid)); },
     Verdict::Held, Verdict::Stale},
    {"ZeroPaddedWithTextAfter", [](const std::string& f, pid_t pid) { Write(f, Printed("%05ld termapp tech", pid)); },
     Verdict::Held, Verdict::Stale},
    {"NumberThenGarbage", [](const std::string& f, pid_t pid) { Write(f, Printed("%ld 2\n", pid)); }, Verdict::Held,
     Verdict::Stale},
    {"Binary", [](const std::string& f, pid_t pid) { Write(f, Binary(pid)); }, Verdict::Held, Verdict::Stale},
    // A binary id whose first byte reads as a digit or a blank is binary all the same: its high
    // bytes are NUL, which no text lock holds (process 22320 is "0W\0\0", not a text 0).
    {"BinaryStartingWithADigit", [](const std::string& f, pid_t pid) { Write(f, Binary(pid)); }, Verdict::Held,
     Verdict::Stale, true, 0, BinaryStartsWithADigit},
    {"BinaryStartingWithABlank", [](const std::string& f, pid_t pid) { Write(f, Binary(pid)); }, Verdict::Held,
     Verdict::Stale, true, 0, BinaryStartsWithABlank},
    {"Empty", [](const std::string& f, pid_t) { Write(f, ""); }, Verdict::Stale, Verdict::Stale},
    {"Garbage", [](const std::string& f, pid_t) { Write(f, "locked by me\n"); }, Verdict::Stale, Verdict::Stale},
    {"Zero", [](const std::string& f, pid_t) { Write(f, "         0\n"); }, Verdict::Stale, Verdict::Stale},
    {"Negative", [](const std::string& f, pid_t) { Write(f, "-1\n"); }, Verdict::Stale, Verdict::Stale},
    {"BinaryNegative", [](const std::string& f, pid_t) { Write(f, Binary(-7)); }, Verdict::Stale, Verdict::Stale},
    {"TooLarge", [](const std::string& f, pid_t) { Write(f, "99999999999\n"); }, Verdict::Stale, Verdict::Stale},
    {"OurOwnLeftOver", [](const std::string& f, pid_t) { Write(f, OurLockText()); }, Verdict::Stale, Verdict::Stale},
    // A link is never followed (it could lead anywhere, a device among them): it cannot be read
    // as a lock file, so it holds.
    {"Link",
     [](const std::string& f, pid_t pid) {
         Write(f + ".target", Printed("%10ld\n", pid));
         ASSERT_EQ(symlink((f + ".target").c_str(), f.c_str()), 0);
     },
     Verdict::Held, Verdict::Held, false, ELOOP},
    {"Folder", [](const std::string& f, pid_t) { ASSERT_EQ(mkdir(f.c_str(), 0755), 0); }, Verdict::Held, Verdict::Held,
     false},
    {"Fifo", [](const std::string& f, pid_t) { ASSERT_EQ(mkfifo(f.c_str(), 0644), 0); }, Verdict::Held, Verdict::Held,
     false},
    // Another user's file that only its owner may read. Root reads every file: the tests then
    // make it as root and take the lock as nobody.
    {"Unreadable",
     [](const std::string& f, pid_t pid) {
         Write(f, Printed("%10ld\n", pid));
         ASSERT_EQ(chmod(f.c_str(), geteuid() == 0 ? 0600 : 0000), 0);
     },
     Verdict::Held, Verdict::Held, false, EACCES, nullptr, true},
};

INSTANTIATE_TEST_SUITE_P(All, LockFileContents,
                         ::testing::Combine(::testing::ValuesIn(kContents),
                                            ::testing::Values(Owner::Live, Owner::Dead)),
                         [](const ::testing::TestParamInfo<LockFileContents::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == Owner::Live ? "_LiveOwner" : "_DeadOwner");
                         });

// The reasons a person reads on standard error when the device is refused.
TEST(LockFileCheck, SaysWhoHoldsTheDeviceOrWhyTheFileCannotBeRead)
{
    TempDir folder("qel-lock");
    ChildProcess other;
    ASSERT_TRUE(other.Ok());
    const std::string path = folder.File("LCK..ttyUSB0");
    Write(path, Printed("%10ld termapp tech\n", other.Pid()));
    const LockFileCheck held = serial::CheckLockFile(path);
    EXPECT_EQ(held.state, LockFileCheck::State::Held);
    EXPECT_EQ(held.Describe(path), "held by process " + std::to_string(other.Pid()) + " (lock file " + path + ")");

    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    EXPECT_EQ(serial::CheckLockFile(path).Describe(path),
              "the lock file " + path + " is not a regular file: it counts as held");
    ASSERT_EQ(rmdir(path.c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", path.c_str()), 0);
    EXPECT_EQ(serial::CheckLockFile(path).Describe(path),
              "the lock file " + path + " is a symbolic link, which is not followed: it counts as held");

    EXPECT_EQ(serial::CheckLockFile(folder.File("LCK..ttyUSB1")).state, LockFileCheck::State::Absent);
}

// The number a lock file's bytes name, as the programs that write them mean it.
TEST(LockFileNumber, ReadsTextAndBinaryIdsAsTheirWritersMeanThem)
{
    const struct {
        std::string bytes;
        long long number;
    } cases[] = {
        {"      1234\n", 1234},
        {"1234", 1234},                       // 4 bytes of text, no NUL: text
        {"  42 termapp tech\n", 42},          // text after the number
        {"00042", 42},                        // zero-padded
        {"0\n", 0},                           // a text 0: names no process
        {std::string("0W\0\0", 4), 0x5730},   // binary 22320: its first byte is '0'
        {std::string("1\0\0\0", 4), 0x31},    // binary 49
        {std::string(" 1\0\0", 4), 0x3120},   // a blank, then a digit: binary 12576
        {std::string("\n7\0\0", 4), 0x370a},  // binary
        {std::string("\0\0\0\0", 4), 0},      // binary 0
        {"abcd", 0x64636261},                 // 4 bytes that are no text number
        {std::string("12\0\0\0", 5), 12},     // not 4 bytes: the text is read
        {"", -1},
        {"locked\n", -1},
        {"-5\n", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(serial::LockFileNumber(c.bytes), c.number) << testing::PrintToString(c.bytes);
    }
}

// What Take finds at the lock file's name between judging a file stale and removing it. The
// stale file is only ever removed while it is the one judged: a live lock another program put in
// its place meanwhile stays, byte for byte, and holds the device; a file put there is judged in
// its turn; nothing else is left behind.
std::function<void(const std::string&)> g_betweenJudgingAndRemoval;

void BetweenJudgingAndRemoval(const std::string& path)
{
    if (g_betweenJudgingAndRemoval) g_betweenJudgingAndRemoval(path);
}

TEST(LockFileTake, ALiveLockPutInPlaceOfTheStaleOneIsNeverRemoved)
{
    ChildProcess other;
    ASSERT_TRUE(other.Ok());
    const pid_t dead = testing_support::ReapedChildPid();
    ASSERT_GT(dead, 0);
    enum class Swap { Nothing, LiveLock, Removed, StaleAgain };
    const struct {
        const char* name;
        Swap swap;
        LockFile::Result result;
    } cases[] = {
        {"nothing comes between", Swap::Nothing, LockFile::Result::Taken},
        {"a live lock takes the stale one's place", Swap::LiveLock, LockFile::Result::Held},
        {"the stale file goes meanwhile", Swap::Removed, LockFile::Result::Taken},
        // Judged in its turn, and stale as well: removed.
        {"another stale file takes its place", Swap::StaleAgain, LockFile::Result::Taken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder("qel-lock");
        const std::string path = folder.File("LCK..ttyUSB0");
        Write(path, Printed("%10ld\n", dead));
        Entry swappedIn;
        bool swapped = false;
        g_betweenJudgingAndRemoval = [&](const std::string& judged) {
            ASSERT_EQ(judged, path);
            if (std::exchange(swapped, true) || c.swap == Swap::Nothing) return;  // once
            if (c.swap == Swap::Removed) {
                ASSERT_EQ(unlink(path.c_str()), 0);
                return;
            }
            // As a program writes its lock: a file of its own, renamed over the name.
            const std::string theirs = folder.File("LCK..theirs");
            Write(theirs, Printed("%10ld termapp tech\n", c.swap == Swap::LiveLock ? other.Pid() : dead));
            ASSERT_EQ(rename(theirs.c_str(), path.c_str()), 0);
            swappedIn = Look(path);
        };
        serial::SetLockFileJudgedHook(BetweenJudgingAndRemoval);
        LockFile lock;
        const LockFile::Result result = lock.Take(path);
        serial::SetLockFileJudgedHook(nullptr);
        g_betweenJudgingAndRemoval = nullptr;

        EXPECT_EQ(result, c.result);
        if (c.result == LockFile::Result::Held) {
            EXPECT_EQ(Look(path), swappedIn) << "the file put in place is back at its name, as it was";
            EXPECT_FALSE(lock.Holding());
            EXPECT_EQ(lock.Holder().pid, other.Pid());
        } else {
            EXPECT_EQ(testing_support::ReadFile(path), OurLockText());
        }
        lock.Release();
        const std::vector<std::string> left = testing_support::ListFolder(folder.Path());
        EXPECT_EQ(left.size(), c.result == LockFile::Result::Held ? 1u : 0u) << "nothing else is left behind";
    }
}

// Release removes the lock file only while it is ours: not one another program put in its place.
TEST(LockFileRelease, RemovesTheFileOnlyWhileItNamesUs)
{
    TempDir folder("qel-lock");
    const std::string path = folder.File("LCK..ttyUSB0");
    ChildProcess other;
    ASSERT_TRUE(other.Ok());
    {
        LockFile lock;
        ASSERT_EQ(lock.Take(path), LockFile::Result::Taken);
        // Taken again by the same object: given up and made afresh.
        ASSERT_EQ(lock.Take(path), LockFile::Result::Taken);
        EXPECT_EQ(testing_support::ReadFile(path), OurLockText());
        ASSERT_EQ(unlink(path.c_str()), 0);
        Write(path, Printed("%10ld\n", other.Pid()));
    }  // destroyed holding it
    EXPECT_EQ(testing_support::ReadFile(path), Printed("%10ld\n", other.Pid()));

    LockFile second;
    EXPECT_EQ(second.Take(path), LockFile::Result::Held);
    EXPECT_FALSE(second.Holding());
    second.Release();
    EXPECT_EQ(testing_support::ReadFile(path), Printed("%10ld\n", other.Pid()));
}

// Our lock file is on disk under its name when Take says so: the lock folder is synced after
// the file took its name. Seen in the system calls of a child process, traced by strace.
class TakeInChild : public ::testing::Test {
public:
    void TestBody() override
    {
        LockFile lock;
        ASSERT_EQ(lock.Take(std::string(std::getenv("QEL_LOCK_SYNC_CHILD")) + "/LCK..ttyUSB0"),
                  LockFile::Result::Taken);
    }
};

[[maybe_unused]] const bool g_inChild =
    testing_support::RegisterChildTest<TakeInChild>("QEL_LOCK_SYNC_CHILD", "TakeInChild", "Take", __FILE__, __LINE__);

TEST(LockFileTake, TheLockFolderIsSyncedOnceOurFileHasItsName)
{
    TempDir folder("qel-lock");
    const testing_support::TracedChild traced =
        testing_support::TraceChildTest("TakeInChild.Take", {{"QEL_LOCK_SYNC_CHILD", folder.Path()}}, folder.Path(),
                                        "fsync,fdatasync,link,linkat,rename,renameat,renameat2");
    ASSERT_EQ(traced.status, 0) << traced.output;
    const testing_support::NamingInTrace naming =
        testing_support::FindNaming(traced.calls, folder.Path(), "LCK..ttyUSB0");
    ASSERT_GE(naming.named, 0) << "no call gave the lock file its name";
    EXPECT_GT(naming.folderSynced, naming.named) << "the lock folder was not synced after";
}

// A folder that takes no lock file: nothing is made, and why is kept.
TEST(LockFileTake, AMissingFolderMakesNoLockFile)
{
    TempDir folder("qel-lock");
    LockFile lock;
    EXPECT_EQ(lock.Take(folder.File("missing/LCK..ttyUSB0")), LockFile::Result::NotMade);
    EXPECT_EQ(lock.Error(), ENOENT);
    EXPECT_FALSE(lock.Holding());
    EXPECT_TRUE(testing_support::ListFolder(folder.Path()).empty());
}

// Another user's stale file in a folder where only a file's owner may remove it: it locks
// nothing, so the device may be had, but no lock file can be made and theirs stays as it was.
TEST(LockFileTake, AnotherUsersStaleFileThatCannotBeRemovedStays)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs a second user: runs as root, taking the lock as nobody";
    TempDir folder("qel-lock");
    ASSERT_EQ(chmod(folder.Path().c_str(), 01777), 0);
    const std::string path = folder.File("LCK..ttyUSB0");
    Write(path, Printed("%10ld\n", testing_support::ReapedChildPid()));
    const Entry before = Look(path);
    const Taking taking = TakeAsAnotherUser(path);
    EXPECT_EQ(taking.result, LockFile::Result::NotMade);
    EXPECT_EQ(taking.error, EPERM);
    EXPECT_EQ(Look(path), before);
    EXPECT_EQ(testing_support::ListFolder(folder.Path()).size(), 1u) << "no temporary file is left behind";
}

}  // namespace
