// The serial link over pseudo-terminal pairs: the test holds the master side as the peer.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/message_box.h"
#include "core/ui_dispatcher.h"
#include "serial/SerialPort.h"
#include "tests/support/processes.h"
#include "tests/support/pty.h"
#include "tests/support/recording_message_boxes.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using testing_support::ChildProcess;
using testing_support::PtyPair;
using testing_support::TempDir;

constexpr DWORD kConsoleMask = EV_RXCHAR | EV_RXFLAG;
constexpr size_t kRead = CSerialPort::kReadBufferSize;

// The lock files of the whole test program go to a folder of its own: the machine's /run/lock is
// left alone. The folder that was set when the program started is kept for the test of it.
class LockFolderEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        startFolder = CSerialPort::LockFolder();
        m_folder = std::make_unique<TempDir>("qel-serial-lock");
        folder = m_folder->Path();
        CSerialPort::SetLockFolder(folder);
    }
    void TearDown() override
    {
        CSerialPort::SetLockFolder(startFolder);
        m_folder.reset();
    }
    static inline std::string startFolder;
    static inline std::string folder;

private:
    std::unique_ptr<TempDir> m_folder;
};

[[maybe_unused]] ::testing::Environment* const g_lockFolders =
    ::testing::AddGlobalTestEnvironment(new LockFolderEnvironment);

// The lock file a device path names, worked out here on its own: below /dev/, '/' as '_'.
std::string LockFileOf(const std::string& device)
{
    std::string name = device.substr(std::string("/dev/").size());
    for (char& c : name)
        if (c == '/') c = '_';
    return "LCK.." + name;
}

std::string PidText(pid_t pid)
{
    char text[32];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

std::string Format(const char* format, long value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// How many descriptors of this process are open on the same file as fd (fd among them); the
// file may have lost its name already (a pseudo-terminal whose peer has gone).
size_t DescriptorsLike(int fd)
{
    struct stat like {};
    if (fstat(fd, &like) != 0) return 0;
    size_t count = 0;
    for (const std::string& name : testing_support::ListFolder("/proc/self/fd")) {
        struct stat info {};
        count += stat(("/proc/self/fd/" + name).c_str(), &info) == 0 && info.st_dev == like.st_dev &&
                 info.st_ino == like.st_ino;
    }
    return count;
}

// Whether another open of the device can take an exclusive flock on it now.
bool OthersCanLock(const std::string& device)
{
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return locked;
}

// Another serial program: a process of its own that holds an exclusive flock on its own open of
// the device until the test lets it go.
std::unique_ptr<ChildProcess> ProgramHoldingTheFlock(const std::string& device)
{
    return std::make_unique<ChildProcess>([device] {
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    });
}

struct Note {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::thread::id thread;
};

class RecordingOwner : public ISerialOwner {
public:
    LRESULT OnSerialNotify(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        notes.push_back({message, wParam, lParam, std::this_thread::get_id()});
        if (hook) hook(message, wParam);
        return 0;
    }
    size_t Count(UINT message) const
    {
        size_t n = 0;
        for (const Note& note : notes) n += note.message == message;
        return n;
    }
    std::string Bytes() const
    {
        std::string bytes;
        for (const Note& note : notes)
            if (note.message == WM_SERIAL_BYTE) bytes += static_cast<char>(note.wParam);
        return bytes;
    }
    bool LastIs(UINT message) const { return !notes.empty() && notes.back().message == message; }

    std::vector<Note> notes;
    std::function<void(UINT, WPARAM)> hook;
};

// Runs notifications until done() holds; done may also depend on state outside the dispatcher.
bool Pump(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!core::Ui().WaitUntil(done, 10ms)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
    }
    return true;
}

// Reads what the port wrote to the peer while notifications keep running (the monitor thread
// waits in them and would write nothing meanwhile).
std::string ReadPeer(PtyPair& pty, size_t count, std::chrono::milliseconds timeout = 5s)
{
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        core::Ui().RunPending();
        got += pty.Read(count - got.size(), 10ms);
    }
    return got;
}

// Everything the port wrote to the peer until it stayed quiet for the given time.
std::string ReadPeerUntilQuiet(PtyPair& pty, std::chrono::milliseconds quiet = 200ms)
{
    std::string got;
    auto quietUntil = std::chrono::steady_clock::now() + quiet;
    while (std::chrono::steady_clock::now() < quietUntil) {
        core::Ui().RunPending();
        const std::string more = pty.Read(4096, 10ms);
        if (!more.empty()) {
            got += more;
            quietUntil = std::chrono::steady_clock::now() + quiet;
        }
    }
    return got;
}

// Runs queued notifications for a while, so that one that should not come has the chance to.
void Settle(std::chrono::milliseconds time = 200ms)
{
    core::Ui().WaitUntil([] { return false; }, time);
}

std::string FailureText(const std::string& call, int error, const std::string& port)
{
    return "WARNING:  " + call + " Failed with the following error: \n" + std::strerror(error) + "\nPort: " + port +
           "\n";
}

// Counts the calls queued on the process's dispatcher: one for each hand-over of the monitor.
class HandOverCounter {
public:
    HandOverCounter()
    {
        core::Ui().SetWaker([this] { ++count; });
    }
    ~HandOverCounter() { core::Ui().SetWaker(nullptr); }
    std::atomic<size_t> count{0};
};

// A message-box service whose box stays up while the given code runs (the user reading it).
class BoxWhileShown : public core::IMessageBoxService {
public:
    explicit BoxWhileShown(std::function<void()> whileShown)
        : m_whileShown(std::move(whileShown)), m_previous(core::SetMessageBoxService(this))
    {}
    ~BoxWhileShown() override { core::SetMessageBoxService(m_previous); }
    int Show(const core::MessageBoxRequest&) override
    {
        ++shown;
        m_whileShown();
        return IDOK;
    }
    int shown = 0;

private:
    std::function<void()> m_whileShown;
    core::IMessageBoxService* m_previous;
};

// Blocks until the process's dispatcher has a queued call, without running it.
class QueuedCallWatch {
public:
    QueuedCallWatch()
    {
        core::Ui().SetWaker([this] { m_queued = true; });
    }
    ~QueuedCallWatch() { core::Ui().SetWaker(nullptr); }
    bool Wait(std::chrono::milliseconds timeout = 5s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!m_queued.load()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

private:
    std::atomic<bool> m_queued{false};
};

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Ok());
        CSerialPort::SetLockFolder(lockDir.Path());
    }
    void TearDown() override { CSerialPort::SetLockFolder(LockFolderEnvironment::folder); }

    BOOL Open(DWORD mask = kConsoleMask, UINT writeBufferSize = 512)
    {
        return port.OpenPort(&owner, pty.SlavePath(), 38400, 'N', 8, 1, mask, writeBufferSize);
    }
    void OpenAndMonitor(DWORD mask = kConsoleMask, UINT writeBufferSize = 512)
    {
        ASSERT_TRUE(Open(mask, writeBufferSize));
        ASSERT_TRUE(port.StartMonitor());
    }
    void Send(const std::string& frame) { port.QueueWrite(frame.data(), static_cast<int>(frame.size())); }
    // A hook for bytes that must wait in the port together: in the notification of the first byte
    // received, they are written to the peer, and it returns once the line (fd) holds them (as far
    // as its line discipline holds bytes), so the next read takes them at once. Every later byte
    // goes to onByte.
    std::function<void(UINT, WPARAM)> PileUp(int fd, std::string bytes, std::function<void(WPARAM)> onByte = {})
    {
        auto piled = std::make_shared<bool>(false);
        return [this, fd, bytes, onByte, piled](UINT message, WPARAM wParam) {
            if (message != WM_SERIAL_BYTE) return;
            if (!*piled) {
                *piled = true;
                ASSERT_TRUE(pty.Write(bytes));
                ASSERT_TRUE(PtyPair::WaitInputPending(fd, std::min(bytes.size(), size_t{4000})));
                return;
            }
            if (onByte) onByte(wParam);
        };
    }
    LPARAM Self() const { return reinterpret_cast<LPARAM>(&port); }

    // Declared first, destroyed last: boxes of the port's destruction are still recorded.
    testing_support::RecordingMessageBoxes boxes;
    TempDir lockDir{"qel-serial-lock"};
    std::string LockFile() const { return lockDir.File(LockFileOf(pty.SlavePath())); }
    PtyPair pty;
    RecordingOwner owner;
    CSerialPort port;
};

// ---- receiving ----

TEST_F(SerialPortTest, EveryByteArrivesInOrderWithOneNotificationAndRxflagEndsEachBatch)
{
    OpenAndMonitor();
    std::string sent;
    for (int batch = 0; batch < 4; ++batch) {
        std::string bytes;
        for (int i = 0; i < 64; ++i) bytes += static_cast<char>(batch * 64 + i);  // every value 0..255
        ASSERT_TRUE(pty.Write(bytes));
        sent += bytes;
        ASSERT_TRUE(Pump([&] { return owner.Bytes().size() == sent.size() && owner.LastIs(WM_SERIAL_RXFLAG); }))
            << "batch " << batch;
    }
    Settle();
    EXPECT_EQ(owner.Bytes(), sent);
    ASSERT_FALSE(owner.notes.empty());
    EXPECT_EQ(owner.notes.front().message, WM_SERIAL_BYTE);
    EXPECT_TRUE(owner.LastIs(WM_SERIAL_RXFLAG));
    for (size_t i = 0; i < owner.notes.size(); ++i) {
        const Note& note = owner.notes[i];
        EXPECT_TRUE(note.message == WM_SERIAL_BYTE || note.message == WM_SERIAL_RXFLAG) << i;
        EXPECT_EQ(note.lParam, Self());
        EXPECT_EQ(note.thread, std::this_thread::get_id()) << "notifications run on the UI thread";
        if (note.message == WM_SERIAL_RXFLAG) {
            EXPECT_EQ(note.wParam, 0u);
            ASSERT_GT(i, 0u);
            EXPECT_EQ(owner.notes[i - 1].message, WM_SERIAL_BYTE) << "RXFLAG only after a batch of bytes";
        }
    }
    EXPECT_EQ(boxes.Count(), 0u);
}

// After each wake on the port, the configured mask decides the notifications, in a fixed order.
struct MaskCase {
    const char* name;
    DWORD mask;
    bool bytesDelivered;
    std::vector<UINT> tail;  // after the bytes of each wake
};

class SerialPortMask : public SerialPortTest, public ::testing::WithParamInterface<MaskCase> {};

TEST_P(SerialPortMask, NotificationsFollowTheMask)
{
    const MaskCase& c = GetParam();
    OpenAndMonitor(c.mask);
    ASSERT_TRUE(pty.Write("qz"));
    if (c.tail.empty()) {
        ASSERT_TRUE(Pump([&] { return owner.Bytes() == "qz"; }));
    } else {
        const UINT last = c.tail.back();
        ASSERT_TRUE(Pump([&] { return owner.LastIs(last) && owner.Bytes().size() == (c.bytesDelivered ? 2u : 0u); }));
    }
    Settle();
    // Each wake: its bytes, then exactly the tail.
    size_t i = 0, wakes = 0;
    while (i < owner.notes.size()) {
        while (i < owner.notes.size() && owner.notes[i].message == WM_SERIAL_BYTE) ++i;
        if (c.tail.empty()) break;
        for (UINT expected : c.tail) {
            ASSERT_LT(i, owner.notes.size());
            EXPECT_EQ(owner.notes[i].message, expected) << "note " << i;
            ++i;
        }
        ++wakes;
    }
    EXPECT_EQ(i, owner.notes.size());
    EXPECT_EQ(owner.Bytes(), c.bytesDelivered ? "qz" : "");
    if (!c.tail.empty()) {
        EXPECT_GE(wakes, 1u);
    }
    EXPECT_EQ(PtyPair::InputPending(pty.SlaveFd()), 0u) << "the bytes were read";
}

INSTANTIATE_TEST_SUITE_P(
    All, SerialPortMask,
    ::testing::Values(MaskCase{"CharsOnly", EV_RXCHAR, true, {}},
                      MaskCase{"Console", EV_RXCHAR | EV_RXFLAG, true, {WM_SERIAL_RXFLAG}},
                      MaskCase{"FlagOnly", EV_RXFLAG, false, {WM_SERIAL_RXFLAG}},
                      MaskCase{"Everything",
                               EV_RXCHAR | EV_RXFLAG | EV_CTS | EV_BREAK | EV_ERR | EV_RING | EV_DSR | EV_TXEMPTY,
                               true,
                               {WM_SERIAL_CTS, WM_SERIAL_BREAK, WM_SERIAL_ERR, WM_SERIAL_RING, WM_SERIAL_RXFLAG}}),
    [](const ::testing::TestParamInfo<MaskCase>& info) { return std::string(info.param.name); });

TEST_F(SerialPortTest, DetachedOwnerHearsNothing)
{
    OpenAndMonitor();
    port.DetachOwner();
    ASSERT_TRUE(pty.Write("abc"));
    Send("x");
    EXPECT_EQ(ReadPeer(pty, 1), "x") << "the link still works";
    EXPECT_TRUE(Pump([&] { return PtyPair::InputPending(pty.SlaveFd()) == 0; })) << "the bytes were read";
    Settle(300ms);
    EXPECT_TRUE(owner.notes.empty());
}

// Bytes that wait in the port together are read together, at most a read buffer at a time, and
// handed over in a few calls instead of one a byte; order holds within and across the reads.
TEST_F(SerialPortTest, WaitingBytesComeInFewHandOversInOrder)
{
    // More than a read takes; no more than a pseudo-terminal takes while nobody reads it.
    std::string block(2 * kRead + 123, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    HandOverCounter handOvers;
    OpenAndMonitor();
    auto pileUp = PileUp(pty.SlaveFd(), block);
    owner.hook = [&](UINT message, WPARAM wParam) {
        const bool first = owner.Bytes().size() == 1;
        pileUp(message, wParam);
        if (first && message == WM_SERIAL_BYTE) handOvers.count = 0;
    };
    ASSERT_TRUE(pty.Write("h"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes().size() == block.size() + 1 && owner.LastIs(WM_SERIAL_RXFLAG); }));
    Settle();
    EXPECT_EQ(owner.Bytes(), "h" + block);
    EXPECT_GE(handOvers.count.load(), (block.size() + kRead - 1) / kRead) << "a read takes at most its buffer";
    EXPECT_LE(handOvers.count.load(), 40u) << "not one hand-over a byte";
    // Each wake's notification follows its bytes.
    const size_t rxflags = owner.Count(WM_SERIAL_RXFLAG);
    EXPECT_GE(rxflags, 2u);
    EXPECT_LE(rxflags, handOvers.count.load() + 1);
    for (size_t i = 1; i < owner.notes.size(); ++i) {
        if (owner.notes[i].message == WM_SERIAL_RXFLAG) {
            EXPECT_EQ(owner.notes[i - 1].message, WM_SERIAL_BYTE) << i;
        }
    }
    EXPECT_EQ(boxes.Count(), 0u);
}

// A reply that shows a box in the middle of a hand-over: while the box is up no byte is read
// (what arrives stays in the port and nothing reaches the owner, although the box's own loop runs
// queued calls); once it is closed, the rest of the hand-over and then the new bytes follow in
// order.
TEST_F(SerialPortTest, NoByteIsReadWhileABoxOfAReplyIsUp)
{
    OpenAndMonitor();
    const int fd = pty.SlaveFd();
    size_t notesWhileUp = 0;
    size_t waitingWhileUp = 0;
    BoxWhileShown box([&] {
        const size_t before = owner.notes.size();
        ASSERT_TRUE(pty.Write("ef"));
        ASSERT_TRUE(PtyPair::WaitInputPending(fd, 2));
        Settle(200ms);
        notesWhileUp = owner.notes.size() - before;
        waitingWhileUp = PtyPair::InputPending(fd);
    });
    owner.hook = PileUp(fd, "ab!cd", [&](WPARAM byte) {
        if (byte == '!') core::ShowMessageBox(nullptr, "reply", "QEL", MB_OK);
    });
    ASSERT_TRUE(pty.Write("h"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "hab!cdef"; }));
    EXPECT_EQ(box.shown, 1);
    EXPECT_EQ(notesWhileUp, 0u);
    EXPECT_EQ(waitingWhileUp, 2u) << "the bytes that came while the box was up were left in the port";
    Settle();
    EXPECT_EQ(owner.Bytes(), "hab!cdef");
}

// What a byte's handler does to the line in the middle of a hand-over: after a close, a detach or
// the port's destruction nothing more is delivered (not the rest of that read, not its RXFLAG, not
// what comes later), and a line opened again does not deliver the rest of the old read either; a
// frame handed over there is written after every byte that waited, which are all delivered.
enum class MidBatch { Close, Detach, Destroy, Write };

struct MidBatchCase {
    const char* name;
    MidBatch action;
    const char* delivered;  // what the owner gets of "h", then "abcXdef"
};

class SerialPortMidBatch : public SerialPortTest, public ::testing::WithParamInterface<MidBatchCase> {};

TEST_P(SerialPortMidBatch, WhatTheHandlerOfAByteDoesTakesEffectAtOnce)
{
    const MidBatchCase& c = GetParam();
    auto line = std::make_unique<CSerialPort>();
    ASSERT_TRUE(line->OpenPort(&owner, pty.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
    ASSERT_TRUE(line->StartMonitor());
    const int fd = pty.SlaveFd();
    owner.hook = PileUp(fd, "abcXdef", [&](WPARAM byte) {
        if (byte != 'X') return;
        switch (c.action) {
        case MidBatch::Close: line->RequestClose(); break;
        case MidBatch::Detach: line->DetachOwner(); break;
        case MidBatch::Destroy: line.reset(); break;
        case MidBatch::Write: line->QueueWrite("W", 1); break;
        }
    });
    ASSERT_TRUE(pty.Write("h"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == c.delivered; }));
    Settle();
    ASSERT_TRUE(pty.Write("zz"));
    Settle();
    switch (c.action) {
    case MidBatch::Close: {
        EXPECT_EQ(owner.Bytes(), c.delivered);
        EXPECT_TRUE(owner.LastIs(WM_SERIAL_BYTE)) << "no RXFLAG after a close either";
        ASSERT_TRUE(Pump([&] { return !line->IsOpen(); }));
        // The same line again: only what comes now arrives.
        owner.notes.clear();
        owner.hook = nullptr;
        ASSERT_TRUE(line->OpenPort(&owner, pty.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
        ASSERT_TRUE(line->StartMonitor());
        ASSERT_TRUE(pty.Write("new"));
        ASSERT_TRUE(Pump([&] { return owner.Bytes().size() >= 3; }));
        Settle();
        EXPECT_EQ(owner.Bytes(), "new");
        break;
    }
    case MidBatch::Detach:
        EXPECT_EQ(owner.Bytes(), c.delivered);
        EXPECT_TRUE(owner.LastIs(WM_SERIAL_BYTE));
        EXPECT_TRUE(Pump([&] { return PtyPair::InputPending(fd) == 0; })) << "the line is still read";
        break;
    case MidBatch::Destroy:
        EXPECT_EQ(owner.Bytes(), c.delivered);
        EXPECT_TRUE(owner.LastIs(WM_SERIAL_BYTE));
        EXPECT_EQ(DescriptorsLike(pty.SlaveFd()), 1u) << "the line was closed: only the peer's own is left";
        break;
    case MidBatch::Write: {
        EXPECT_EQ(ReadPeer(pty, 1), "W");
        ASSERT_TRUE(Pump([&] { return owner.Count(WM_SERIAL_TXDONE) == 1 && owner.Bytes().size() == 10; }));
        std::string beforeTxdone;
        for (const Note& note : owner.notes) {
            if (note.message == WM_SERIAL_TXDONE) break;
            if (note.message == WM_SERIAL_BYTE) beforeTxdone += static_cast<char>(note.wParam);
        }
        EXPECT_EQ(beforeTxdone, c.delivered) << "every byte that waited came before the write";
        EXPECT_EQ(owner.Bytes(), std::string(c.delivered) + "zz");
        break;
    }
    }
    EXPECT_EQ(boxes.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(All, SerialPortMidBatch,
                         ::testing::Values(MidBatchCase{"Close", MidBatch::Close, "habcX"},
                                           MidBatchCase{"Detach", MidBatch::Detach, "habcX"},
                                           MidBatchCase{"Destroy", MidBatch::Destroy, "habcX"},
                                           MidBatchCase{"Write", MidBatch::Write, "habcXdef"}),
                         [](const ::testing::TestParamInfo<MidBatchCase>& info) {
                             return std::string(info.param.name);
                         });

// ---- line settings ----

struct LineCase {
    UINT baud;
    char parity;
    UINT dataBits;
    UINT stopBits;
    speed_t speed;
    tcflag_t size;
    tcflag_t parityBits;
};

class SerialPortLine : public SerialPortTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(SerialPortLine, LineIsRawWithTheAskedSettings)
{
    const LineCase& c = GetParam();
    ASSERT_TRUE(port.OpenPort(&owner, pty.SlavePath(), c.baud, c.parity, c.dataBits, c.stopBits, kConsoleMask, 512));
    EXPECT_EQ(boxes.Count(), 0u) << boxes.Last().text;
    termios applied{};
    ASSERT_EQ(tcgetattr(pty.SlaveFd(), &applied), 0);
    const termios kept = port.GetLineSettings();
    // A pseudo-terminal always reports 8 data bits without parity: those are checked on the
    // settings the port keeps.
    EXPECT_EQ(kept.c_cflag & CSIZE, c.size);
    EXPECT_EQ(kept.c_cflag & (PARENB | PARODD | CMSPAR), c.parityBits);
    for (const termios* t : std::initializer_list<const termios*>{&applied, &kept}) {
        EXPECT_EQ(cfgetispeed(t), c.speed);
        EXPECT_EQ(cfgetospeed(t), c.speed);
        EXPECT_EQ((t->c_cflag & CSTOPB) != 0, c.stopBits == 2);
        EXPECT_EQ(t->c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(t->c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t->c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
        EXPECT_EQ(t->c_oflag & OPOST, 0u);
        EXPECT_EQ(t->c_cc[VMIN], 1);
        EXPECT_EQ(t->c_cc[VTIME], 0);
    }
    EXPECT_EQ(port.GetEventMask(), kConsoleMask);
    EXPECT_EQ(port.GetWriteCapacity(), 512u);
    EXPECT_EQ(port.GetPortName(), pty.SlavePath());
}

INSTANTIATE_TEST_SUITE_P(All, SerialPortLine,
                         ::testing::Values(LineCase{38400, 'N', 8, 1, B38400, CS8, 0},
                                           LineCase{9600, 'E', 7, 2, B9600, CS7, PARENB},
                                           LineCase{115200, 'O', 8, 1, B115200, CS8, PARENB | PARODD},
                                           LineCase{1200, 'n', 5, 1, B1200, CS5, 0},
                                           LineCase{19200, 'S', 6, 2, B19200, CS6, PARENB | CMSPAR}));

TEST_F(SerialPortTest, RawLinePassesControlBytesBothWays)
{
    OpenAndMonitor();
    const std::string control("\x03\x04\x0a\x0d\x11\x13\x1a\x7f\x00", 9);
    ASSERT_TRUE(pty.Write(control));
    ASSERT_TRUE(Pump([&] { return owner.Bytes().size() == control.size(); }));
    EXPECT_EQ(owner.Bytes(), control);
    Send(control);
    EXPECT_EQ(ReadPeer(pty, control.size()), control);
    EXPECT_EQ(ReadPeerUntilQuiet(pty), "") << "no output processing";
}

// ---- writing ----

TEST_F(SerialPortTest, EachQueuedFrameIsWrittenAndFollowedByTxdone)
{
    OpenAndMonitor();
    const std::string frames[] = {std::string("\x10\x03\x01\xec\x01", 5),
                                  std::string("\x10\x07\x0d\x18\x05\x11\x0c\x00\xb4\x01", 10)};
    for (size_t i = 0; i < 2; ++i) {
        Send(frames[i]);
        EXPECT_EQ(ReadPeer(pty, frames[i].size()), frames[i]);
        ASSERT_TRUE(Pump([&] { return owner.Count(WM_SERIAL_TXDONE) == i + 1; }));
    }
    Settle();
    EXPECT_EQ(owner.Count(WM_SERIAL_TXDONE), 2u);
    EXPECT_EQ(ReadPeerUntilQuiet(pty), "");
    EXPECT_EQ(owner.notes.back().lParam, Self());
}

// Two frames handed over before the monitor thread looks: only the second goes out, once.
enum class Handover { BeforeTheMonitorStarts, WhileTheMonitorWaitsInANotification };

class SerialPortHandover : public SerialPortTest, public ::testing::WithParamInterface<Handover> {};

TEST_P(SerialPortHandover, LaterFrameReplacesTheEarlierOne)
{
    const std::string first("\x10\x03\x38\xb5\x01", 5);
    const std::string second("\x10\x03\x01\xec\x01", 5);
    if (GetParam() == Handover::BeforeTheMonitorStarts) {
        ASSERT_TRUE(Open());
        Send(first);
        Send(second);
        ASSERT_TRUE(port.StartMonitor());
    } else {
        OpenAndMonitor();
        bool armed = true;
        owner.hook = [&, armed](UINT message, WPARAM) mutable {
            if (message != WM_SERIAL_BYTE || !armed) return;
            armed = false;
            Send(first);
            Send(second);
        };
        ASSERT_TRUE(pty.Write("!"));
    }
    ASSERT_TRUE(Pump([&] { return owner.Count(WM_SERIAL_TXDONE) == 1; }));
    EXPECT_EQ(ReadPeerUntilQuiet(pty, 300ms), second);
    Settle();
    EXPECT_EQ(owner.Count(WM_SERIAL_TXDONE), 1u);
}

INSTANTIATE_TEST_SUITE_P(All, SerialPortHandover,
                         ::testing::Values(Handover::BeforeTheMonitorStarts,
                                           Handover::WhileTheMonitorWaitsInANotification));

// Reads the peer side on a thread of its own, so that what the port writes is taken off the line
// at once and no purge of a later write can discard it.
class PeerReader {
public:
    explicit PeerReader(int fd) : m_thread([this, fd] { Run(fd); }) {}
    ~PeerReader()
    {
        m_stop = true;
        m_thread.join();
    }
    size_t Size() const { return m_size.load(); }
    std::string Bytes() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes;
    }
    bool WaitForSize(size_t size, std::chrono::milliseconds timeout) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (m_size.load() < size) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        return true;
    }

private:
    void Run(int fd)
    {
        char buf[4096];
        while (!m_stop.load()) {
            pollfd in{fd, POLLIN, 0};
            if (::poll(&in, 1, 10) <= 0) continue;
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) continue;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bytes.append(buf, static_cast<size_t>(n));
            m_size = m_bytes.size();
        }
    }
    mutable std::mutex m_mutex;
    std::string m_bytes;
    std::atomic<size_t> m_size{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Frames handed over in quick pairs while the monitor thread is awake: a frame is never written
// twice, the last frame of each pair always goes out, and one TXDONE follows each write. The
// TXDONE handler waits until the peer has taken the bytes of every write so far off the line.
TEST_F(SerialPortTest, HandedOverFramesAreWrittenAtMostOnceWithOneTxdoneEach)
{
    constexpr int kPairs = 10000;
    constexpr size_t kFrameSize = 8;
    auto frame = [](int id) {
        char text[16];
        std::snprintf(text, sizeof text, "<%06d>", id);
        return std::string(text, kFrameSize);
    };
    PeerReader peer(pty.MasterFd());
    size_t txdone = 0;
    bool peerLagged = false;
    owner.hook = [&](UINT message, WPARAM) {
        if (message != WM_SERIAL_TXDONE) return;
        ++txdone;
        if (!peer.WaitForSize(txdone * kFrameSize, 2s)) peerLagged = true;
    };
    OpenAndMonitor();
    long pauseNs = 0;
    for (int pair = 0; pair < kPairs; ++pair) {
        const size_t writesBefore = peer.Size() / kFrameSize;
        Send(frame(2 * pair));
        const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(pauseNs);
        while (std::chrono::steady_clock::now() < until) {}
        Send(frame(2 * pair + 1));
        const std::string last = frame(2 * pair + 1);
        // Until the pair went out and every TXDONE so far has run: the monitor thread is then
        // back in its wait when the next pair comes.
        ASSERT_TRUE(Pump([&] {
            const std::string bytes = peer.Bytes();
            return bytes.size() >= kFrameSize && bytes.compare(bytes.size() - kFrameSize, kFrameSize, last) == 0 &&
                   txdone * kFrameSize == bytes.size();
        })) << "pair "
            << pair << " never completed";
        // The pause between the two frames follows the moment the monitor thread takes a frame:
        // longer when it took the second (one write), shorter when it took the first (two).
        const size_t writes = peer.Size() / kFrameSize - writesBefore;
        pauseNs = writes == 1 ? pauseNs + 50 : (pauseNs > 50 ? pauseNs - 50 : 0);
    }
    Settle(300ms);

    EXPECT_FALSE(peerLagged);
    const std::string bytes = peer.Bytes();
    ASSERT_EQ(bytes.size() % kFrameSize, 0u) << "a frame was cut";
    std::vector<int> ids;
    for (size_t at = 0; at < bytes.size(); at += kFrameSize) {
        int id = -1;
        char close = 0;
        ASSERT_EQ(std::sscanf(bytes.c_str() + at, "<%6d%c", &id, &close), 2) << "bytes at " << at;
        ASSERT_EQ(close, '>') << "bytes at " << at;
        ids.push_back(id);
    }
    int repeated = 0;
    for (size_t i = 1; i < ids.size(); ++i) repeated += ids[i] <= ids[i - 1];
    EXPECT_EQ(repeated, 0) << "frames written again or out of order";
    int lastOfPairs = 0;
    for (int id : ids) lastOfPairs += id % 2;
    EXPECT_EQ(lastOfPairs, kPairs) << "the last frame handed over is always written";
    EXPECT_EQ(owner.Count(WM_SERIAL_TXDONE), ids.size()) << "one TXDONE per write";
    EXPECT_EQ(boxes.Count(), 0u);
}

// A mask without received characters leaves bytes in the line: the write's purge discards them.
TEST_F(SerialPortTest, WritePurgesBytesNotYetRead)
{
    OpenAndMonitor(EV_CTS);
    ASSERT_TRUE(pty.Write("stale"));
    ASSERT_TRUE(PtyPair::WaitInputPending(pty.SlaveFd(), 5));
    Send("go");
    ASSERT_TRUE(Pump([&] { return owner.Count(WM_SERIAL_TXDONE) == 1; }));
    EXPECT_EQ(PtyPair::InputPending(pty.SlaveFd()), 0u);
    EXPECT_EQ(ReadPeer(pty, 2), "go");
    EXPECT_EQ(owner.Bytes(), "");
}

// Bytes waiting when a write is also asked for are taken first: port event before write request.
TEST_F(SerialPortTest, PortEventIsTakenBeforeTheWriteRequest)
{
    OpenAndMonitor();
    bool armed = true;
    owner.hook = [&](UINT message, WPARAM) {
        if (message != WM_SERIAL_RXFLAG || !armed) return;
        armed = false;
        ASSERT_TRUE(pty.Write("B"));
        ASSERT_TRUE(PtyPair::WaitInputPending(pty.SlaveFd(), 1));
        Send("W");
    };
    ASSERT_TRUE(pty.Write("A"));
    ASSERT_TRUE(Pump([&] { return owner.Count(WM_SERIAL_TXDONE) == 1; }));
    std::vector<std::pair<UINT, WPARAM>> seen;
    for (const Note& note : owner.notes) seen.emplace_back(note.message, note.wParam);
    const std::vector<std::pair<UINT, WPARAM>> expected = {{WM_SERIAL_BYTE, 'A'},
                                                           {WM_SERIAL_RXFLAG, 0},
                                                           {WM_SERIAL_BYTE, 'B'},
                                                           {WM_SERIAL_RXFLAG, 0},
                                                           {WM_SERIAL_TXDONE, 0}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(ReadPeer(pty, 1), "W");
}

struct BoundsCase {
    const char* name;
    int count;
    bool written;
};

class SerialPortWriteBounds : public SerialPortTest, public ::testing::WithParamInterface<BoundsCase> {};

TEST_P(SerialPortWriteBounds, OnlyFramesThatFitTheBufferAreWritten)
{
    const BoundsCase& c = GetParam();
    OpenAndMonitor(kConsoleMask, 16);
    std::string frame(64, '\0');
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<char>('a' + i % 26);
    port.QueueWrite(frame.data(), c.count);
    if (c.written) {
        ASSERT_TRUE(Pump([&] { return owner.Count(WM_SERIAL_TXDONE) == 1; }));
        EXPECT_EQ(ReadPeerUntilQuiet(pty), frame.substr(0, static_cast<size_t>(c.count)));
    } else {
        Settle(300ms);
        EXPECT_EQ(owner.Count(WM_SERIAL_TXDONE), 0u);
        EXPECT_EQ(ReadPeerUntilQuiet(pty), "");
    }
}

INSTANTIATE_TEST_SUITE_P(All, SerialPortWriteBounds,
                         ::testing::Values(BoundsCase{"Zero", 0, false}, BoundsCase{"Negative", -1, false},
                                           BoundsCase{"OneOverCapacity", 17, false},
                                           BoundsCase{"FarOverCapacity", 64, false}, BoundsCase{"One", 1, true},
                                           BoundsCase{"WholeCapacity", 16, true}),
                         [](const ::testing::TestParamInfo<BoundsCase>& info) { return std::string(info.param.name); });

TEST_F(SerialPortTest, QueueWriteTextSendsTheTextWithoutItsNul)
{
    OpenAndMonitor();
    port.QueueWriteText("");
    port.QueueWriteText(nullptr);
    Settle(100ms);
    EXPECT_EQ(owner.Count(WM_SERIAL_TXDONE), 0u);
    port.QueueWriteText("AT\r");
    ASSERT_TRUE(Pump([&] { return owner.Count(WM_SERIAL_TXDONE) == 1; }));
    EXPECT_EQ(ReadPeerUntilQuiet(pty), "AT\r");
}

TEST_F(SerialPortTest, FrameQueuedBeforeAnyOpenIsNeverWritten)
{
    Send("early");
    OpenAndMonitor();
    Settle(300ms);
    EXPECT_EQ(ReadPeerUntilQuiet(pty), "");
    EXPECT_EQ(owner.Count(WM_SERIAL_TXDONE), 0u);
}

// ---- closing and reopening ----

TEST_F(SerialPortTest, RequestCloseTakesEffectOnlyWhenTheMonitorHandlesIt)
{
    ASSERT_TRUE(Open());
    EXPECT_TRUE(port.RequestClose());
    Settle(100ms);
    EXPECT_TRUE(port.IsOpen()) << "no monitor has handled the shutdown yet";
    ASSERT_TRUE(port.StartMonitor());
    ASSERT_TRUE(Pump([&] { return !port.IsOpen(); }));
}

// The monitor waits in a notification when it is asked to close and to write: it closes the
// port only after the notification, and the shutdown wins over the write request.
TEST_F(SerialPortTest, ShutdownIsTakenBeforeTheWriteRequest)
{
    OpenAndMonitor();
    int openInsideNotification = -1;
    owner.hook = [&](UINT message, WPARAM) {
        if (message != WM_SERIAL_BYTE || openInsideNotification != -1) return;
        Send("never");
        EXPECT_TRUE(port.RequestClose());
        std::this_thread::sleep_for(50ms);
        openInsideNotification = port.IsOpen();
    };
    ASSERT_TRUE(pty.Write("x"));
    ASSERT_TRUE(Pump([&] { return !port.IsOpen(); }));
    EXPECT_EQ(openInsideNotification, 1);
    Settle();
    EXPECT_EQ(owner.Count(WM_SERIAL_TXDONE), 0u);
    EXPECT_EQ(ReadPeerUntilQuiet(pty), "");
    EXPECT_EQ(boxes.Count(), 0u);
}

// ---- suspending the monitor ----

enum class SuspendAt {
    BeforeTheBytes,       // from the UI thread, before anything arrives
    InsideAByte,          // inside the notification of a byte, in the middle of a hand-over
    WhileAHandOverWaits,  // from the UI thread while a hand-over is queued and not run yet
};

struct SuspendCase {
    const char* name;
    SuspendAt at;
    bool frame;    // a frame is handed over while suspended
    int suspends;  // SuspendMonitor calls (they do not nest: one ResumeMonitor ends them)
    const char* deliveredBefore;
    std::size_t bulk = 0;  // bytes after "abcXdef": a burst longer than one read takes
};

class SerialPortSuspend : public SerialPortTest, public ::testing::WithParamInterface<SuspendCase> {};

// Suspended, the monitor takes no byte from the port (they wait in its queue) and writes
// nothing; resumed, every byte is delivered once and in order, what a suspension held back of a
// hand-over first, and the frame that waited is written once.
TEST_P(SerialPortSuspend, NothingIsTakenWhileSuspendedAndEverythingOnceAfter)
{
    const SuspendCase& c = GetParam();
    OpenAndMonitor();
    const int fd = pty.SlaveFd();
    const auto suspend = [&] {
        for (int i = 0; i < c.suspends; ++i) EXPECT_TRUE(port.SuspendMonitor());
    };
    std::string bulk;
    for (std::size_t i = 0; i < c.bulk; ++i) bulk += static_cast<char>('a' + i % 23);  // no X
    std::string sent = "abcXdef" + bulk;
    switch (c.at) {
    case SuspendAt::BeforeTheBytes:
        suspend();
        ASSERT_TRUE(pty.Write(sent));
        break;
    case SuspendAt::InsideAByte:
        owner.hook = PileUp(fd, sent.substr(1), [&](WPARAM byte) {
            if (byte == 'X') suspend();
        });
        ASSERT_TRUE(pty.Write("a"));
        ASSERT_TRUE(Pump([&] { return owner.Bytes() == c.deliveredBefore; }));
        break;
    case SuspendAt::WhileAHandOverWaits: {
        QueuedCallWatch watch;
        ASSERT_TRUE(pty.Write(sent));
        ASSERT_TRUE(watch.Wait());
        suspend();
        break;
    }
    }
    if (c.frame) Send("W");
    ASSERT_TRUE(pty.Write("ghi"));
    sent += "ghi";

    // The bytes reach the line; a while more for a monitor that would take them.
    EXPECT_TRUE(PtyPair::WaitInputPending(fd, 3));
    Settle(300ms);
    EXPECT_EQ(owner.Bytes(), c.deliveredBefore) << "nothing is delivered while suspended";
    EXPECT_EQ(owner.Count(WM_SERIAL_TXDONE), 0u);
    EXPECT_EQ(pty.Read(1, 100ms), "") << "nothing is written while suspended";
    EXPECT_GE(PtyPair::InputPending(fd), 3u) << "the bytes wait in the port's queue";

    EXPECT_TRUE(port.ResumeMonitor());
    ASSERT_TRUE(Pump([&] {
        return owner.Bytes().size() >= sent.size() && (!c.frame || owner.Count(WM_SERIAL_TXDONE));
    })) << owner.Bytes();
    if (c.frame) {
        EXPECT_EQ(ReadPeer(pty, 1), "W");
    }
    Settle();
    EXPECT_EQ(owner.Bytes(), sent) << "each byte once, in order";
    EXPECT_EQ(owner.Count(WM_SERIAL_TXDONE), c.frame ? 1u : 0u);
    EXPECT_EQ(ReadPeerUntilQuiet(pty), "") << "the frame is written once";
    // The bytes that waited are read before the write, which purges the line.
    EXPECT_TRUE(owner.LastIs(c.frame ? WM_SERIAL_TXDONE : WM_SERIAL_RXFLAG));

    // Running again as before.
    ASSERT_TRUE(pty.Write("jk"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == sent + "jk"; }));
    EXPECT_EQ(boxes.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    All, SerialPortSuspend,
    ::testing::Values(SuspendCase{"BeforeTheBytes", SuspendAt::BeforeTheBytes, false, 1, ""},
                      SuspendCase{"BeforeTheBytesWithAFrame", SuspendAt::BeforeTheBytes, true, 1, ""},
                      SuspendCase{"TwiceThenResumedOnce", SuspendAt::BeforeTheBytes, true, 2, ""},
                      SuspendCase{"InsideAByte", SuspendAt::InsideAByte, false, 1, "abcX"},
                      SuspendCase{"InsideAByteWithAFrame", SuspendAt::InsideAByte, true, 1, "abcX"},
                      // More than one read takes: what waits in the port beside what is held back.
                      SuspendCase{"InsideAByteOfALongBurst", SuspendAt::InsideAByte, true, 1, "abcX", 8000},
                      SuspendCase{"WhileAHandOverWaits", SuspendAt::WhileAHandOverWaits, true, 1, ""}),
    [](const ::testing::TestParamInfo<SuspendCase>& info) { return std::string(info.param.name); });

// Without a monitor there is nothing to hold: both calls say TRUE and change nothing. A monitor
// that is suspended still takes its shutdown, and its object can be destroyed.
TEST_F(SerialPortTest, SuspendWithoutAMonitorDoesNothingAndASuspendedMonitorStillCloses)
{
    EXPECT_TRUE(port.SuspendMonitor());
    EXPECT_TRUE(port.ResumeMonitor());
    EXPECT_TRUE(port.ResumeMonitor());
    ASSERT_TRUE(Open());
    EXPECT_TRUE(port.SuspendMonitor());
    ASSERT_TRUE(port.StartMonitor());
    ASSERT_TRUE(pty.Write("ab"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "ab"; })) << "a monitor started later runs";

    EXPECT_TRUE(port.SuspendMonitor());
    EXPECT_TRUE(port.RequestClose());
    ASSERT_TRUE(Pump([&] { return !port.IsOpen(); }));
    EXPECT_FALSE(testing_support::FileExists(LockFile()));
    EXPECT_TRUE(port.ResumeMonitor());

    auto other = std::make_unique<CSerialPort>();
    RecordingOwner otherOwner;
    ASSERT_TRUE(other->OpenPort(&otherOwner, pty.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
    ASSERT_TRUE(other->StartMonitor());
    EXPECT_TRUE(other->SuspendMonitor());
    other.reset();
    EXPECT_TRUE(OthersCanLock(pty.SlavePath())) << "destroyed while suspended, the line is given up";
}

TEST_F(SerialPortTest, ReopenWorksOnTheSameAndOnAnotherLine)
{
    OpenAndMonitor();
    ASSERT_TRUE(pty.Write("1"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "1"; }));
    EXPECT_TRUE(port.RequestClose());
    ASSERT_TRUE(Pump([&] { return !port.IsOpen(); }));

    OpenAndMonitor();  // the same line again
    ASSERT_TRUE(pty.Write("2"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "12"; }));
    Send("a");
    EXPECT_EQ(ReadPeer(pty, 1), "a");

    PtyPair other;
    ASSERT_TRUE(other.Ok());
    // Still monitored: the open ends the old monitor first.
    ASSERT_TRUE(port.OpenPort(&owner, other.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
    ASSERT_TRUE(port.StartMonitor());
    EXPECT_EQ(port.GetPortName(), other.SlavePath());
    ASSERT_TRUE(other.Write("3"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "123"; }));
    Send("b");
    EXPECT_EQ(ReadPeer(other, 1), "b");
    EXPECT_EQ(ReadPeerUntilQuiet(pty), "") << "the first line is no longer written";
    ASSERT_TRUE(pty.Write("4"));
    Settle();
    EXPECT_EQ(owner.Bytes(), "123") << "nor read";
    EXPECT_EQ(boxes.Count(), 0u);
}

// Opening again while the old monitor waits in a notification: the wait lets the notification
// run (to the owner it was meant for) instead of deadlocking.
TEST_F(SerialPortTest, OpenWhileTheOldMonitorWaitsInANotification)
{
    OpenAndMonitor();
    {
        QueuedCallWatch watch;
        ASSERT_TRUE(pty.Write("z"));
        ASSERT_TRUE(watch.Wait());
        PtyPair other;
        RecordingOwner second;
        ASSERT_TRUE(port.OpenPort(&second, other.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
        EXPECT_EQ(owner.Bytes(), "z");
        EXPECT_TRUE(second.notes.empty());
        port.DetachOwner();
    }
    Settle(100ms);
}

TEST_F(SerialPortTest, DestroyingWhileTheMonitorWaitsInANotification)
{
    auto doomed = std::make_unique<CSerialPort>();
    ASSERT_TRUE(doomed->OpenPort(&owner, pty.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
    ASSERT_TRUE(doomed->StartMonitor());
    {
        QueuedCallWatch watch;
        ASSERT_TRUE(pty.Write("z"));
        ASSERT_TRUE(watch.Wait());
        doomed.reset();  // must neither deadlock nor deliver to the owner any more
    }
    core::Ui().RunPending();
    Settle(100ms);
    EXPECT_TRUE(owner.notes.empty());
}

// Destroyed by a thread that does not run notifications: the abort releases the monitor, and
// the notification it left queued runs after the object is gone, reaching nobody.
TEST_F(SerialPortTest, NotificationLeftQueuedOutlivesThePort)
{
    auto doomed = std::make_unique<CSerialPort>();
    ASSERT_TRUE(doomed->OpenPort(&owner, pty.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
    ASSERT_TRUE(doomed->StartMonitor());
    {
        QueuedCallWatch watch;
        ASSERT_TRUE(pty.Write("z"));
        ASSERT_TRUE(watch.Wait());
        std::thread([&] { doomed.reset(); }).join();
    }
    EXPECT_EQ(core::Ui().RunPending(), 1);
    EXPECT_TRUE(owner.notes.empty());
}

TEST_F(SerialPortTest, DestructionClosesTheLine)
{
    auto doomed = std::make_unique<CSerialPort>();
    ASSERT_TRUE(doomed->OpenPort(&owner, pty.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
    ASSERT_TRUE(doomed->StartMonitor());
    EXPECT_EQ(DescriptorsLike(pty.SlaveFd()), 2u);
    doomed.reset();
    EXPECT_EQ(DescriptorsLike(pty.SlaveFd()), 1u) << "descriptor closed: only the peer's own is left";
    EXPECT_TRUE(owner.notes.empty());
}

TEST(SerialPortLifetime, NeverOpenedObjectDoesNothingAndIsDestroyedCleanly)
{
    testing_support::RecordingMessageBoxes boxes;
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    {
        CSerialPort port;
        EXPECT_FALSE(port.IsOpen());
        port.QueueWrite("abc", 3);
        port.QueueWriteText("abc");
        EXPECT_FALSE(port.StartMonitor());
        EXPECT_FALSE(port.RequestClose());
        EXPECT_EQ(port.GetWriteCapacity(), 0u);
        EXPECT_TRUE(port.ResumeMonitor());
        EXPECT_TRUE(port.SuspendMonitor());
    }
    for (int fd : {0, 1, 2, pipeFds[0], pipeFds[1]}) EXPECT_NE(fcntl(fd, F_GETFD), -1) << "fd " << fd;
    EXPECT_EQ(boxes.Count(), 0u);
    close(pipeFds[0]);
    close(pipeFds[1]);
}

// ---- failures ----

class SerialPortMissing : public ::testing::TestWithParam<std::string> {};

TEST_P(SerialPortMissing, OpenFailsWithoutABox)
{
    testing_support::RecordingMessageBoxes boxes;
    RecordingOwner owner;
    CSerialPort port;
    EXPECT_FALSE(port.OpenPort(&owner, GetParam(), 38400, 'N', 8, 1, kConsoleMask, 512));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(boxes.Count(), 0u);
    port.QueueWrite("abc", 3);  // buffer made, no line: harmless
    EXPECT_FALSE(port.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(All, SerialPortMissing,
                         ::testing::Values("/dev/qel-no-such-port", "", "/nonexistent-folder/ttyUSB0", "/tmp"));

// A file that opens but is no terminal: one box naming the first failing call, still open.
class SerialPortNotATerminal : public ::testing::TestWithParam<std::string> {};

TEST_P(SerialPortNotATerminal, OneGetCommStateBoxAndStillOpen)
{
    std::string path = GetParam();
    char tempPath[] = "/tmp/qel-serial-XXXXXX";
    int tempFd = -1;
    if (path.empty()) {
        tempFd = mkstemp(tempPath);
        ASSERT_GE(tempFd, 0);
        path = tempPath;
    }
    testing_support::RecordingMessageBoxes boxes;
    {
        CSerialPort port;
        EXPECT_TRUE(port.OpenPort(nullptr, path, 38400, 'N', 8, 1, kConsoleMask, 512));
        EXPECT_TRUE(port.IsOpen());
        ASSERT_EQ(boxes.Count(), 1u);
        const core::MessageBoxRequest box = boxes.Last();
        EXPECT_EQ(box.text, FailureText("GetCommState()", ENOTTY, path));
        EXPECT_EQ(box.caption, "Application Error");
        EXPECT_EQ(box.style, MB_OK | MB_ICONSTOP);
        EXPECT_EQ(box.owner, nullptr);
    }
    EXPECT_EQ(boxes.Count(), 1u);
    if (tempFd >= 0) {
        close(tempFd);
        unlink(tempPath);
    }
}

INSTANTIATE_TEST_SUITE_P(All, SerialPortNotATerminal,
                         // Each case a device of its own: the open locks it, and the cases may run
                         // side by side.
                         ::testing::Values("/dev/null", std::string(),  // empty: a fresh regular file
                                           "/dev" + std::string(200, '/') + "zero"));

struct BadLineCase {
    const char* name;
    UINT baud;
    char parity;
    UINT dataBits;
    UINT stopBits;
};

class SerialPortBadLine : public SerialPortTest, public ::testing::WithParamInterface<BadLineCase> {};

TEST_P(SerialPortBadLine, UnsupportedSettingFailsBuildCommDcb)
{
    const BadLineCase& c = GetParam();
    EXPECT_TRUE(port.OpenPort(&owner, pty.SlavePath(), c.baud, c.parity, c.dataBits, c.stopBits, kConsoleMask, 512));
    EXPECT_TRUE(port.IsOpen()) << "the port counts as open";
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last().text, FailureText("BuildCommDCB()", EINVAL, pty.SlavePath()));
}

INSTANTIATE_TEST_SUITE_P(
    All, SerialPortBadLine,
    ::testing::Values(BadLineCase{"Baud", 12345, 'N', 8, 1}, BadLineCase{"BaudZero", 0, 'N', 8, 1},
                      BadLineCase{"Parity", 38400, 'X', 8, 1}, BadLineCase{"ParityNul", 38400, '\0', 8, 1},
                      BadLineCase{"DataNine", 38400, 'N', 9, 1}, BadLineCase{"DataFour", 38400, 'N', 4, 1},
                      BadLineCase{"StopThree", 38400, 'N', 8, 3}, BadLineCase{"StopZero", 38400, 'N', 8, 0}),
    [](const ::testing::TestParamInfo<BadLineCase>& info) { return std::string(info.param.name); });

TEST_F(SerialPortTest, FailureBoxKeepsLongTextsWhole)
{
    ASSERT_TRUE(Open());
    const std::string call(400, 'C');
    errno = EPIPE;
    port.ReportCommError(call.c_str());
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last().text, FailureText(call, EPIPE, pty.SlavePath()));
}

double ProcessCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

// The peer hangs up mid-stream (a meter unplugged): one box, then the link lets the port go by
// itself: closed, its lock file gone, its flock released, and the owner told once the box is
// closed. The meter back on the same path (a link, as /dev/serial/by-id/... is) opens at once.
TEST_F(SerialPortTest, HangUpIsReportedOnceAndThePortIsLetGo)
{
    TempDir links("qel-serial-links");
    const std::string meter = links.File("meter");
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), meter.c_str()), 0);
    ASSERT_TRUE(port.OpenPort(&owner, meter, 38400, 'N', 8, 1, kConsoleMask, 512));
    ASSERT_TRUE(port.StartMonitor());
    ASSERT_EQ(testing_support::ReadFile(LockFile()), PidText(getpid()));
    ASSERT_FALSE(OthersCanLock(pty.SlavePath()));

    // What the owner finds when it is told.
    size_t boxesWhenLost = 0;
    bool openWhenLost = true, lockFileWhenLost = true, flockFreeWhenLost = false;
    owner.hook = [&](UINT message, WPARAM) {
        if (message != WM_SERIAL_LOST) return;
        boxesWhenLost = boxes.Count();
        openWhenLost = port.IsOpen();
        lockFileWhenLost = testing_support::FileExists(LockFile());
        // The peer's own open of the device: its flock is had only once ours is given up.
        flockFreeWhenLost = flock(pty.SlaveFd(), LOCK_EX | LOCK_NB) == 0;
        flock(pty.SlaveFd(), LOCK_UN);
    };
    ASSERT_TRUE(pty.Write("ab"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "ab"; }));
    ASSERT_TRUE(pty.Write("cd"));
    pty.CloseMaster();
    ASSERT_TRUE(Pump([&] { return owner.Count(WM_SERIAL_LOST) == 1; }));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last().text, FailureText("ReadFile()", EIO, meter));
    EXPECT_EQ(boxes.Last().caption, "Application Error");
    EXPECT_EQ(boxes.Last().style, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(boxesWhenLost, 1u) << "the owner is told after the box";
    EXPECT_FALSE(openWhenLost);
    EXPECT_FALSE(lockFileWhenLost);
    EXPECT_TRUE(flockFreeWhenLost);
    EXPECT_EQ(DescriptorsLike(pty.SlaveFd()), 1u) << "only the peer's own open of the device is left";
    EXPECT_EQ(owner.Bytes().substr(0, 2), "ab");
    EXPECT_EQ(owner.notes.back().lParam, Self());

    // Nothing more: no box, no notification, no monitor spinning on the dead line (it would burn
    // the whole time on a core), no write.
    const size_t notes = owner.notes.size();
    const double before = ProcessCpuMilliseconds();
    Settle(400ms);
    EXPECT_LT(ProcessCpuMilliseconds() - before, 200.0) << "the monitor keeps waking on the dead line";
    Send("x");
    Settle();
    EXPECT_EQ(owner.notes.size(), notes);
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(port.RequestClose()) << "closing a port that was let go does no harm";

    // The meter back on the same path: another open of it works, and so does ours.
    PtyPair back;
    ASSERT_TRUE(back.Ok());
    const std::string next = links.File("meter.next");
    ASSERT_EQ(symlink(back.SlavePath().c_str(), next.c_str()), 0);
    ASSERT_EQ(rename(next.c_str(), meter.c_str()), 0);
    {
        CSerialPort other;
        EXPECT_TRUE(other.OpenPort(nullptr, meter, 38400, 'N', 8, 1, kConsoleMask, 512))
            << other.LastOpenFailure().text;
    }
    ASSERT_TRUE(port.OpenPort(&owner, meter, 38400, 'N', 8, 1, kConsoleMask, 512)) << port.LastOpenFailure().text;
    ASSERT_TRUE(port.StartMonitor());
    owner.notes.clear();
    ASSERT_TRUE(back.Write("ef"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "ef"; }));
    Send("y");
    EXPECT_EQ(ReadPeer(back, 1), "y");
    EXPECT_EQ(boxes.Count(), 1u);
}

// The owner closes the port while the box of a hang-up is up: the port is let go all the same,
// and the owner, which knows where its port stands, is not told.
TEST_F(SerialPortTest, APortClosedWhileItsHangUpIsShownIsNotReportedLost)
{
    OpenAndMonitor();
    BoxWhileShown box([&] { EXPECT_TRUE(port.RequestClose()); });
    ASSERT_TRUE(pty.Write("a"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "a"; }));
    pty.CloseMaster();
    ASSERT_TRUE(Pump([&] { return box.shown == 1 && !port.IsOpen(); }));
    Settle();
    EXPECT_EQ(box.shown, 1);
    EXPECT_EQ(owner.Count(WM_SERIAL_LOST), 0u);
    EXPECT_FALSE(testing_support::FileExists(LockFile()));
    EXPECT_EQ(DescriptorsLike(pty.SlaveFd()), 1u) << "the line was closed";
}

// Whether a second opener gets the line, tried by an unprivileged process (root may always open
// an exclusive line). Returns its OpenPort result, or -1 when the trial itself failed.
int OpenAsAnotherUser(const std::string& path)
{
    if (geteuid() != 0) {
        CSerialPort second;
        return second.OpenPort(nullptr, path, 38400, 'N', 8, 1, kConsoleMask, 512);
    }
    if (chmod(path.c_str(), 0666) != 0) return -1;
    const std::optional<std::string> opened = testing_support::AsAnotherUser([&] {
        // Only the device matters here: no box may be shown from the child.
        return std::string(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0 ? "1" : "0");
    });
    if (!opened || opened->size() != 1) return -1;
    return *opened == "1" ? 1 : 0;
}

// The peer hangs up while a byte of a read is handled: the rest of that read is delivered, then
// one box, and the port is let go.
TEST_F(SerialPortTest, HangUpInTheMiddleOfAHandOver)
{
    OpenAndMonitor();
    owner.hook = PileUp(pty.SlaveFd(), "abcXdef", [&](WPARAM byte) {
        if (byte == 'X') pty.CloseMaster();
    });
    ASSERT_TRUE(pty.Write("h"));
    ASSERT_TRUE(Pump([&] { return boxes.Count() == 1; }));
    EXPECT_EQ(owner.Bytes(), "habcXdef") << "what was read before the hang-up is delivered";
    EXPECT_EQ(boxes.Last().text, FailureText("ReadFile()", EIO, pty.SlavePath()));
    ASSERT_TRUE(Pump([&] { return owner.Count(WM_SERIAL_LOST) == 1; }));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(testing_support::FileExists(LockFile()));
    Settle();
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(owner.LastIs(WM_SERIAL_LOST));
}

TEST_F(SerialPortTest, LineIsExclusiveWhileOpenAndGivenUpOnClose)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(OpenAsAnotherUser(pty.SlavePath()), 0) << "the open line is not shared";
    EXPECT_TRUE(port.RequestClose());
    ASSERT_TRUE(port.StartMonitor());
    ASSERT_TRUE(Pump([&] { return !port.IsOpen(); }));
    EXPECT_EQ(OpenAsAnotherUser(pty.SlavePath()), 1) << "closing gives the line up";
}

// ---- sharing the line with other programs ----

TEST(SerialPortLockFolder, RunLockUnlessSetOtherwise)
{
    EXPECT_EQ(LockFolderEnvironment::startFolder, "/run/lock");
    const std::string folder = CSerialPort::LockFolder();
    CSerialPort::SetLockFolder("/somewhere/else");
    EXPECT_EQ(CSerialPort::LockFolder(), "/somewhere/else");
    CSerialPort::SetLockFolder(folder);
}

// Another program that holds the line already: the open is refused (what the console shows as
// the cannot-open message), the line is not touched, nothing is delivered, and the other's lock
// file is left as it was.
enum class Holder { FlockOfAnotherProcess, FlockOfAnotherOpenHere, LockFileOfALiveProcess, LockFileThatCannotBeRead };

class SerialPortHeld : public SerialPortTest, public ::testing::WithParamInterface<Holder> {};

// What the program writes to standard error while it is alive.
class StderrToFile {
public:
    StderrToFile()
    {
        std::fflush(stderr);
        m_saved = dup(2);
        const int fd = open(m_file.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(fd, 2);
        close(fd);
    }
    ~StderrToFile()
    {
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
    }
    std::string Text() const
    {
        std::fflush(stderr);
        return testing_support::ReadFile(m_file.File("stderr"));
    }

private:
    TempDir m_file{"qel-serial-stderr"};
    int m_saved = -1;
};

TEST_P(SerialPortHeld, OpenIsRefused)
{
    std::unique_ptr<ChildProcess> other;
    int ownOpen = -1;
    pid_t holder = 0;
    switch (GetParam()) {
    case Holder::FlockOfAnotherProcess:
        other = ProgramHoldingTheFlock(pty.SlavePath());
        holder = other->Pid();
        break;
    case Holder::FlockOfAnotherOpenHere:
        ownOpen = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_EQ(flock(ownOpen, LOCK_EX | LOCK_NB), 0);
        holder = getpid();
        break;
    case Holder::LockFileOfALiveProcess:
        // The form earlier releases of another terminal program write, with no flock beside it.
        other = std::make_unique<ChildProcess>();
        holder = other->Pid();
        testing_support::WriteFile(LockFile(), Format("%10ld termapp tech\n", holder));
        break;
    case Holder::LockFileThatCannotBeRead:
        // Nobody reads a folder as a file, root included: it counts as held.
        ASSERT_EQ(mkdir(LockFile().c_str(), 0755), 0);
        break;
    }
    if (other) {
        ASSERT_TRUE(other->Ok());
    }
    const bool byLockFile =
        GetParam() == Holder::LockFileOfALiveProcess || GetParam() == Holder::LockFileThatCannotBeRead;
    const std::string lockFileBefore =
        GetParam() == Holder::LockFileOfALiveProcess ? testing_support::ReadFile(LockFile()) : "";

    {
        StderrToFile errors;
        EXPECT_FALSE(Open());
        const CSerialPort::OpenFailure& failure = port.LastOpenFailure();
        EXPECT_EQ(failure.step, byLockFile ? "lock file" : "flock()");
        EXPECT_EQ(failure.holder, holder) << "the process that holds the port";
        EXPECT_EQ(failure.lockFile, byLockFile ? LockFile() : "");
        EXPECT_EQ(failure.error, byLockFile ? 0 : EWOULDBLOCK);
        EXPECT_EQ(failure.text.rfind("Serial port " + pty.SlavePath() + " not opened: ", 0), 0u) << failure.text;
        if (holder > 0) {
            EXPECT_NE(failure.text.find("process " + std::to_string(holder)), std::string::npos) << failure.text;
        }
        if (byLockFile) {
            EXPECT_NE(failure.text.find(LockFile()), std::string::npos) << failure.text;
        }
        EXPECT_EQ(errors.Text(), failure.text + "\n") << "the reason goes to standard error";
    }
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(DescriptorsLike(pty.SlaveFd()), ownOpen >= 0 ? 2u : 1u) << "nothing of ours is left open on the line";
    port.StartMonitor();
    ASSERT_TRUE(pty.Write("reply"));
    ASSERT_TRUE(PtyPair::WaitInputPending(pty.SlaveFd(), 5));
    Settle(300ms);
    EXPECT_TRUE(owner.notes.empty());
    EXPECT_EQ(PtyPair::InputPending(pty.SlaveFd()), 5u) << "the line was not read";
    struct stat info {};
    if (GetParam() == Holder::LockFileOfALiveProcess) {
        EXPECT_EQ(testing_support::ReadFile(LockFile()), lockFileBefore) << "the other's lock file is left as it was";
    } else if (GetParam() == Holder::LockFileThatCannotBeRead) {
        EXPECT_TRUE(lstat(LockFile().c_str(), &info) == 0 && S_ISDIR(info.st_mode));
    } else {
        EXPECT_FALSE(testing_support::FileExists(LockFile()));
    }

    // Once the other lets go, the line opens.
    if (other) other->Leave();
    if (ownOpen >= 0) close(ownOpen);
    if (GetParam() == Holder::LockFileOfALiveProcess) {
        // Its process is gone: the file it left is stale now.
        EXPECT_TRUE(testing_support::FileExists(LockFile()));
    }
    if (GetParam() == Holder::LockFileThatCannotBeRead) {
        ASSERT_EQ(rmdir(LockFile().c_str()), 0);
    }
    EXPECT_TRUE(port.RequestClose());
    const bool reopened = Open();
    if (!reopened && GetParam() == Holder::LockFileOfALiveProcess && testing_support::PidsMayHaveGoneRoundSince(holder))
        GTEST_SKIP() << "the other's id may have gone to a new process: " << port.LastOpenFailure().text;
    EXPECT_TRUE(reopened) << port.LastOpenFailure().text;
    EXPECT_EQ(port.LastOpenFailure().text, "");
    EXPECT_EQ(testing_support::ReadFile(LockFile()), PidText(getpid()));
}

INSTANTIATE_TEST_SUITE_P(All, SerialPortHeld,
                         ::testing::Values(Holder::FlockOfAnotherProcess, Holder::FlockOfAnotherOpenHere,
                                           Holder::LockFileOfALiveProcess, Holder::LockFileThatCannotBeRead));

// A lock file that locks nothing is removed and made again with our id.
struct StaleCase {
    const char* name;
    std::function<void(const std::string& file)> make;
};

class SerialPortStaleLock : public SerialPortTest, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(SerialPortStaleLock, IsTakenAndRewritten)
{
    // A process that has ended is a child reaped while the file is made. Should its id have gone
    // to another process before the open looked, the refusal was right: the file is made again.
    bool opened = false;
    for (int attempt = 0; attempt < 5 && !opened; ++attempt) {
        const pid_t before = testing_support::ReapedChildPid();
        GetParam().make(LockFile());
        opened = Open();
        if (!opened && !testing_support::PidsMayHaveGoneRoundSince(before)) break;
    }
    ASSERT_TRUE(opened) << port.LastOpenFailure().text;
    ASSERT_TRUE(port.StartMonitor());
    struct stat info {};
    ASSERT_EQ(lstat(LockFile().c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(testing_support::ReadFile(LockFile()), PidText(getpid()));
    EXPECT_EQ(testing_support::ListFolder(lockDir.Path()).size(), 1u);
    EXPECT_FALSE(OthersCanLock(pty.SlavePath()));
    ASSERT_TRUE(pty.Write("ok"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "ok"; }));
    EXPECT_EQ(boxes.Count(), 0u);
}

// The id of a reaped child that, written as 4 binary bytes, does not read as a text number.
pid_t ReapedPidInBinaryForm()
{
    for (;;) {
        const pid_t pid = testing_support::ReapedChildPid();
        const char first = static_cast<char>(pid & 0xFF);
        if (pid <= 0 || !(first == ' ' || (first >= '\t' && first <= '\r') || (first >= '0' && first <= '9'))) {
            return pid;
        }
    }
}

using testing_support::ReapedChildPid;

INSTANTIATE_TEST_SUITE_P(
    All, SerialPortStaleLock,
    ::testing::Values(
        StaleCase{"DeadProcess",
                  [](const std::string& f) { testing_support::WriteFile(f, PidText(ReapedChildPid())); }},
        StaleCase{"DeadProcessBareNumber",
                  [](const std::string& f) { testing_support::WriteFile(f, std::to_string(ReapedChildPid())); }},
        StaleCase{"DeadProcessWithTextAfter",
                  [](const std::string& f) {
                      testing_support::WriteFile(f, Format("%10ld termapp tech\n", ReapedChildPid()));
                  }},
        StaleCase{"OurOwnLeftOver", [](const std::string& f) { testing_support::WriteFile(f, PidText(getpid())); }},
        StaleCase{"Empty", [](const std::string& f) { testing_support::WriteFile(f, ""); }},
        StaleCase{"Garbage", [](const std::string& f) { testing_support::WriteFile(f, "locked by me\n"); }},
        StaleCase{"Zero", [](const std::string& f) { testing_support::WriteFile(f, "         0\n"); }},
        StaleCase{"Negative", [](const std::string& f) { testing_support::WriteFile(f, "-1\n"); }},
        StaleCase{"TooLarge", [](const std::string& f) { testing_support::WriteFile(f, "99999999999\n"); }},
        StaleCase{"DeadProcessThenGarbage",
                  [](const std::string& f) { testing_support::WriteFile(f, Format("%ld 2\n", ReapedChildPid())); }},
        StaleCase{"DeadProcessBinaryId",
                  [](const std::string& f) {
                      const std::int32_t pid = ReapedPidInBinaryForm();
                      testing_support::WriteFile(f, std::string(reinterpret_cast<const char*>(&pid), sizeof pid));
                  }}),
    [](const ::testing::TestParamInfo<StaleCase>& info) { return std::string(info.param.name); });

// While we hold the line, a later opener finds it locked both ways; once closed, both are gone and
// the line opens again, also from the same object, also without a close in between.
TEST_F(SerialPortTest, HeldWhileOpenAndGivenUpOnClose)
{
    OpenAndMonitor();
    EXPECT_FALSE(OthersCanLock(pty.SlavePath()));
    EXPECT_EQ(testing_support::ReadFile(LockFile()), PidText(getpid()));
    {
        CSerialPort second;
        RecordingOwner secondOwner;
        EXPECT_FALSE(second.OpenPort(&secondOwner, pty.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
        EXPECT_FALSE(second.IsOpen());
    }
    EXPECT_EQ(testing_support::ReadFile(LockFile()), PidText(getpid())) << "the refused opener left our lock file";

    EXPECT_TRUE(port.RequestClose());
    ASSERT_TRUE(Pump([&] { return !port.IsOpen(); }));
    EXPECT_FALSE(testing_support::FileExists(LockFile()));
    EXPECT_TRUE(OthersCanLock(pty.SlavePath()));

    // Opened twice in a row, the second time without a close.
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Open());
    ASSERT_TRUE(port.StartMonitor());
    EXPECT_FALSE(OthersCanLock(pty.SlavePath()));
    EXPECT_EQ(testing_support::ReadFile(LockFile()), PidText(getpid()));
    ASSERT_TRUE(pty.Write("again"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "again"; }));

    // Another line: the first one is given up.
    PtyPair other;
    ASSERT_TRUE(other.Ok());
    ASSERT_TRUE(port.OpenPort(&owner, other.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
    EXPECT_FALSE(testing_support::FileExists(LockFile()));
    EXPECT_TRUE(OthersCanLock(pty.SlavePath()));
    EXPECT_FALSE(OthersCanLock(other.SlavePath()));
    EXPECT_EQ(testing_support::ReadFile(lockDir.File(LockFileOf(other.SlavePath()))), PidText(getpid()));
}

// Closed means all of it given up: at the moment IsOpen() turns false the lock file is gone and
// another opener can take the flock, so a caller that sees the port closed never meets its locks.
TEST_F(SerialPortTest, ThePortIsSeenClosedOnlyOnceItsLocksAreGivenUp)
{
    int stillHeld = 0;
    for (int round = 0; round < 300; ++round) {
        OpenAndMonitor();
        std::atomic<bool> watching{false};
        bool lockFileLeft = false;
        bool flockLeft = false;
        std::thread watcher([&] {
            watching = true;
            while (port.IsOpen()) {}
            lockFileLeft = testing_support::FileExists(LockFile());
            flockLeft = !OthersCanLock(pty.SlavePath());
        });
        while (!watching.load()) std::this_thread::yield();
        EXPECT_TRUE(port.RequestClose());
        ASSERT_TRUE(Pump([&] { return !port.IsOpen(); }));
        watcher.join();
        stillHeld += lockFileLeft || flockLeft;
    }
    EXPECT_EQ(stillHeld, 0) << "rounds in which the port looked closed while a lock was still held";
}

// A lock file that someone else put in place of ours while we held the line is not ours to remove.
TEST_F(SerialPortTest, ALockFileThatIsNoLongerOursStaysAtClose)
{
    OpenAndMonitor();
    ChildProcess other;
    ASSERT_TRUE(other.Ok());
    testing_support::WriteFile(LockFile(), PidText(other.Pid()));
    EXPECT_TRUE(port.RequestClose());
    ASSERT_TRUE(Pump([&] { return !port.IsOpen(); }));
    EXPECT_EQ(testing_support::ReadFile(LockFile()), PidText(other.Pid()));
}

// A link to the device (as /dev/serial/by-id/... is) names the device's own lock file.
TEST_F(SerialPortTest, ALinkToTheDeviceTakesTheDevicesLockFile)
{
    TempDir links("qel-serial-links");
    const std::string link = links.File("meter");
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), link.c_str()), 0);
    ASSERT_TRUE(port.OpenPort(&owner, link, 38400, 'N', 8, 1, kConsoleMask, 512));
    EXPECT_EQ(testing_support::ReadFile(LockFile()), PidText(getpid()));
    EXPECT_EQ(testing_support::ListFolder(lockDir.Path()).size(), 1u);
    CSerialPort second;
    EXPECT_FALSE(second.OpenPort(nullptr, pty.SlavePath(), 38400, 'N', 8, 1, kConsoleMask, 512));
}

// Where no lock file can be made (a missing folder; a file outside /dev/), the flock still holds.
TEST_F(SerialPortTest, WithoutALockFileTheFlockStillHolds)
{
    CSerialPort::SetLockFolder(lockDir.File("missing"));
    OpenAndMonitor();
    EXPECT_FALSE(OthersCanLock(pty.SlavePath()));
    EXPECT_FALSE(testing_support::FileExists(lockDir.File("missing")));
    ASSERT_TRUE(pty.Write("x"));
    ASSERT_TRUE(Pump([&] { return owner.Bytes() == "x"; }));

    char path[] = "/tmp/qel-serial-file-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    CSerialPort::SetLockFolder(lockDir.Path());
    {
        CSerialPort file;
        EXPECT_TRUE(file.OpenPort(nullptr, path, 38400, 'N', 8, 1, kConsoleMask, 512));
        EXPECT_TRUE(testing_support::ListFolder(lockDir.Path()).empty());
        EXPECT_FALSE(OthersCanLock(path));
        EXPECT_FALSE(CSerialPort().OpenPort(nullptr, path, 38400, 'N', 8, 1, kConsoleMask, 512));
    }
    close(fd);
    unlink(path);
}

}  // namespace
