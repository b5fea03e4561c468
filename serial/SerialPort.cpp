#include "serial/SerialPort.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "core/file_system.h"
#include "core/message_box.h"
#include "core/ui_dispatcher.h"

namespace {

constexpr UINT kMonitorExitCode = 100;

void SignalEvent(int fd)
{
    if (fd < 0) return;
    const std::uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {}
}

void ResetEvent(int fd)
{
    if (fd < 0) return;
    std::uint64_t value;
    while (::read(fd, &value, sizeof value) < 0 && errno == EINTR) {}
}

// A manual-reset event: reset when it exists, else created non-signalled.
bool PrepareEvent(int& fd)
{
    if (fd >= 0) {
        ResetEvent(fd);
        return true;
    }
    fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return fd >= 0;
}

void CloseEvent(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool BaudConstant(unsigned baud, speed_t& speed)
{
    static const struct {
        unsigned baud;
        speed_t speed;
    } table[] = {
        {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
        {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
        {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
        {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    };
    for (const auto& entry : table) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

// Turns the line text "baud=%d parity=%c data=%d stop=%d" into raw termios settings.
// False with errno = EINVAL for a text or a value the line cannot take.
bool BuildLineSettings(const std::string& text, termios& settings)
{
    unsigned baud = 0, data = 0, stop = 0;
    char parity = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "baud=%u parity=%c data=%u stop=%u%n", &baud, &parity, &data, &stop, &consumed) !=
            4 ||
        static_cast<size_t>(consumed) != text.size()) {
        errno = EINVAL;
        return false;
    }
    speed_t speed;
    if (!BaudConstant(baud, speed)) {
        errno = EINVAL;
        return false;
    }
    tcflag_t size;
    switch (data) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: errno = EINVAL; return false;
    }
    tcflag_t parityBits;
    switch (std::toupper(static_cast<unsigned char>(parity))) {
    case 'N': parityBits = 0; break;
    case 'E': parityBits = PARENB; break;
    case 'O': parityBits = PARENB | PARODD; break;
    case 'M': parityBits = PARENB | PARODD | CMSPAR; break;
    case 'S': parityBits = PARENB | CMSPAR; break;
    default: errno = EINVAL; return false;
    }
    if (stop != 1 && stop != 2) {
        errno = EINVAL;
        return false;
    }

    termios result = settings;
    ::cfmakeraw(&result);
    result.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    result.c_cflag |= size | parityBits | (stop == 2 ? CSTOPB : 0) | CLOCAL | CREAD;
    result.c_cc[VMIN] = 1;
    result.c_cc[VTIME] = 0;
    if (::cfsetispeed(&result, speed) != 0 || ::cfsetospeed(&result, speed) != 0) {
        errno = EINVAL;
        return false;
    }
    settings = result;
    return true;
}

// ---- the device's locks

std::mutex g_lockFolderMutex;
std::string g_lockFolder = "/run/lock";

// The process that holds the flock of the device open at fd, from the kernel's table of locks
// (/proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF", the file as major:minor:inode in
// hex, hex, decimal); 0 when it is not found there.
pid_t FlockHolder(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0) return 0;
    std::FILE* locks = std::fopen("/proc/locks", "re");
    if (locks == nullptr) return 0;
    pid_t holder = 0;
    char line[256];
    while (holder == 0 && std::fgets(line, sizeof line, locks) != nullptr) {
        char kind[16] = {}, mode[16] = {}, access[16] = {};
        int pid = 0;
        unsigned devMajor = 0, devMinor = 0;
        unsigned long long inode = 0;
        // Waiters are listed with "->" before their kind; they hold nothing.
        if (std::strstr(line, "->") != nullptr) continue;
        if (std::sscanf(line, "%*d: %15s %15s %15s %d %x:%x:%llu", kind, mode, access, &pid, &devMajor, &devMinor,
                        &inode) != 7) {
            continue;
        }
        if (std::strcmp(kind, "FLOCK") == 0 && pid > 0 && devMajor == major(info.st_dev) &&
            devMinor == minor(info.st_dev) && inode == static_cast<unsigned long long>(info.st_ino)) {
            holder = pid;
        }
    }
    std::fclose(locks);
    return holder;
}

}  // namespace

void CSerialPort::SetLockFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(g_lockFolderMutex);
    g_lockFolder = folder;
}

std::string CSerialPort::LockFolder()
{
    std::lock_guard<std::mutex> lock(g_lockFolderMutex);
    return g_lockFolder;
}

CSerialPort::CSerialPort() : m_owner(std::make_shared<std::atomic<ISerialOwner*>>(nullptr))
{
    for (pollfd& entry : m_waitEvents) entry = pollfd{-1, POLLIN, 0};
}

CSerialPort::~CSerialPort()
{
    DetachOwner();
    JoinMonitor(false);
    ClosePortHandle();
    CloseEvent(m_shutdownEvent);
    CloseEvent(m_writeEvent);
    CloseEvent(m_wakeEvent);
}

void CSerialPort::DetachOwner() { m_owner->store(nullptr); }

std::string CSerialPort::GetPortName() const { return m_portName; }

void CSerialPort::ClosePortHandle()
{
    const int fd = m_portHandle.load();
    if (fd < 0) return;
    // The lock file goes while the device is still locked, and only while it is still ours.
    m_lockFile.Release();
    // Give the line up for the next opener, also when a child process still holds a copy of
    // the descriptor.
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
    // Closed means all of it given up: the handle goes last, so that whoever sees the port closed
    // (IsOpen) finds the lock file, the flock and the descriptor released.
    m_portHandle.store(-1);
}

// Ends a monitor thread that is still alive. On the UI thread the wait runs queued calls, so a
// notification the thread is waiting in completes instead of blocking it.
void CSerialPort::JoinMonitor(bool runLeftovers)
{
    core::UiDispatcher& ui = core::Ui();
    const bool onUi = ui.IsUiThread();
    if (m_monitorAlive.load()) {
        // Closing before the abort: a monitor released from a hand-over by the abort finds the
        // line closing and reads nothing more into the buffer that the hand-over still uses.
        if (m_reception) m_reception->closing = true;
        m_abort = true;
        SignalEvent(m_shutdownEvent);
        ui.NotifyAbort();
        if (onUi) ui.WaitUntil([this] { return !m_monitorAlive.load(); });
    }
    if (m_monitorThread.joinable()) m_monitorThread.join();
    // Notifications the thread queued before it ended go to the owner they were meant for.
    if (runLeftovers && onUi) ui.RunPending();
}

BOOL CSerialPort::OpenPort(ISerialOwner* owner, const std::string& portPath, UINT baud, char parity, UINT dataBits,
                           UINT stopBits, DWORD eventMask, UINT writeBufferSize)
{
    JoinMonitor(true);

    PrepareEvent(m_writeEvent);
    PrepareEvent(m_shutdownEvent);
    PrepareEvent(m_wakeEvent);
    m_heldBack = HeldBack();
    m_waitEvents[0] = pollfd{m_shutdownEvent, POLLIN, 0};
    m_waitEvents[1] = pollfd{-1, POLLIN, 0};
    m_waitEvents[2] = pollfd{m_writeEvent, POLLIN, 0};
    m_abort = false;
    m_portFailed = false;
    m_writeFailureShown = false;

    m_owner->store(owner);
    // A fresh reception: a hand-over of the last open that is still queued keeps the old one.
    m_reception = std::make_shared<Reception>();
    m_reception->owner = m_owner;
    m_reception->lParam = reinterpret_cast<LPARAM>(this);
    static constexpr struct {
        DWORD event;
        UINT message;
    } kTail[] = {{EV_CTS, WM_SERIAL_CTS},
                 {EV_BREAK, WM_SERIAL_BREAK},
                 {EV_ERR, WM_SERIAL_ERR},
                 {EV_RING, WM_SERIAL_RING},
                 {EV_RXFLAG, WM_SERIAL_RXFLAG}};
    for (const auto& entry : kTail) {
        if (eventMask & entry.event) m_reception->tail[m_reception->tailCount++] = entry.message;
    }
    {
        std::lock_guard<std::mutex> frame(m_frameLock);
        m_writeBuffer = std::make_unique<char[]>(writeBufferSize);
        m_sendBuffer = std::make_unique<char[]>(writeBufferSize);
        m_writeLength = 0;
        m_writePending = false;  // a frame handed over before this open is dropped
    }
    m_portName = portPath;
    m_writeBufferSize = writeBufferSize;
    m_eventMask = eventMask;

    m_openFailure = OpenFailure();

    const char* failedCall = nullptr;
    int failure = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ClosePortHandle();
        if (!TakeDevice(portPath)) {
            std::fprintf(stderr, "%s\n", m_openFailure.text.c_str());
            return FALSE;
        }
        failedCall = SetUpLine(m_portHandle.load(), baud, parity, dataBits, stopBits);
        failure = errno;
        ::tcflush(m_portHandle.load(), TCIOFLUSH);
    }
    if (failedCall) {
        errno = failure;
        ReportCommError(failedCall);
    }
    return TRUE;
}

void CSerialPort::RefuseOpen(const std::string& step, int error, pid_t holder, const std::string& lockFile,
                             const std::string& reason)
{
    m_openFailure.step = step;
    m_openFailure.error = error;
    m_openFailure.holder = holder;
    m_openFailure.lockFile = lockFile;
    m_openFailure.text = "Serial port " + m_portName + " not opened: " + reason;
}

bool CSerialPort::TakeDevice(const std::string& portPath)
{
    // A lock file of another live process, or one that cannot be read, refuses the device before
    // it is even opened: opening a line may change its modem controls under the other's feet.
    const std::string lockName = serial::LockFileName(portPath);
    const std::string lockFile = lockName.empty() ? std::string() : LockFolder() + "/" + lockName;
    if (!lockFile.empty()) {
        const serial::LockFileCheck check = serial::CheckLockFile(lockFile);
        if (check.state == serial::LockFileCheck::State::Held) {
            RefuseOpen("lock file", check.error, check.pid, lockFile, check.Describe(lockFile));
            return false;
        }
    }

    const int fd = ::open(portPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        RefuseOpen("open()", error, 0, {}, "open() failed: " + core::ErrorText(error));
        return false;
    }
    // A program that opened the device before us and locked it; one that locks it later finds
    // our lock. Only a lock held elsewhere refuses: a file that cannot be locked is no sign.
    int locked;
    while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {}
    if (locked != 0 && errno == EWOULDBLOCK) {
        const pid_t holder = FlockHolder(fd);
        ::close(fd);
        std::string reason = "another open of the device holds its flock";
        if (holder > 0) reason += " (process " + std::to_string(holder) + ")";
        RefuseOpen("flock()", EWOULDBLOCK, holder, {}, reason);
        return false;
    }
    if (!lockFile.empty()) {
        // Taken, or not made where the folder takes none (the flock alone holds then); held when
        // another process made it since the look above.
        if (m_lockFile.Take(lockFile) == serial::LockFile::Result::Held) {
            const serial::LockFileCheck& holder = m_lockFile.Holder();
            ::flock(fd, LOCK_UN);
            ::close(fd);
            RefuseOpen("lock file", holder.error, holder.pid, lockFile, holder.Describe(lockFile));
            return false;
        }
    }
    ::ioctl(fd, TIOCEXCL);  // later openers are kept out; a file that is no terminal does not care
    m_portHandle = fd;
    m_waitEvents[1].fd = fd;
    return true;
}

const char* CSerialPort::SetUpLine(int fd, UINT baud, char parity, UINT dataBits, UINT stopBits)
{
    m_timeouts.ReadIntervalTimeout = 1000;
    m_timeouts.ReadTotalTimeoutMultiplier = 1000;
    m_timeouts.ReadTotalTimeoutConstant = 1000;
    m_timeouts.WriteTotalTimeoutMultiplier = 1000;
    m_timeouts.WriteTotalTimeoutConstant = 1000;

    char lineText[96];
    std::snprintf(lineText, sizeof lineText, "baud=%u parity=%c data=%u stop=%u", baud, parity, dataBits, stopBits);
    // Storing the time-outs ("SetCommTimeouts()") and the mask ("SetCommMask()") cannot fail.
    if (::tcgetattr(fd, &m_lineSettings) != 0) return "GetCommState()";
    m_eventChar = 'q';
    if (!BuildLineSettings(lineText, m_lineSettings)) return "BuildCommDCB()";
    if (::tcsetattr(fd, TCSANOW, &m_lineSettings) != 0) return "SetCommState()";
    int bits = TIOCM_RTS;
    // A line without modem controls (a pseudo-terminal) has no RTS to raise.
    if (::ioctl(fd, TIOCMBIS, &bits) != 0 && errno != ENOTTY && errno != EINVAL) return "SetCommState()";
    return nullptr;
}

BOOL CSerialPort::StartMonitor()
{
    if (m_shutdownEvent < 0 || m_writeEvent < 0) return FALSE;  // never opened
    if (m_monitorAlive.load()) return FALSE;                    // one monitor per open port
    if (m_monitorThread.joinable()) m_monitorThread.join();     // one that already ended
    {
        // The line starts empty; purged here rather than in the thread, so that bytes arriving
        // once StartMonitor has returned are never lost.
        std::lock_guard<std::mutex> lock(m_lock);
        const int fd = m_portHandle.load();
        if (fd >= 0) ::tcflush(fd, TCIOFLUSH);
    }
    m_monitorAlive = true;
    try {
        m_monitorThread = std::thread([this] { MonitorThread(this); });
    } catch (const std::system_error&) {
        m_monitorAlive = false;
        return FALSE;
    }
    return TRUE;
}

BOOL CSerialPort::RequestClose()
{
    if (m_shutdownEvent < 0 || !m_reception) return FALSE;
    m_reception->closing = true;
    SignalEvent(m_shutdownEvent);
    return TRUE;
}

void CSerialPort::QueueWrite(const char* bytes, int count)
{
    if (!bytes || count <= 0 || m_writeEvent < 0) return;
    // The frame, its pending mark and the wake-up go together under the lock: the monitor thread
    // sees either none of them or all, so a frame is never taken twice.
    std::lock_guard<std::mutex> frame(m_frameLock);
    if (!m_writeBuffer || static_cast<UINT>(count) > m_writeBufferSize) return;
    std::memcpy(m_writeBuffer.get(), bytes, static_cast<size_t>(count));
    m_writeLength = count;
    m_writePending = true;
    SignalEvent(m_writeEvent);
}

void CSerialPort::QueueWriteText(const char* text)
{
    if (!text) return;
    QueueWrite(text, static_cast<int>(std::strlen(text)));
}

BOOL CSerialPort::ResumeMonitor()
{
    if (m_reception && m_reception->suspended.exchange(false)) SignalEvent(m_wakeEvent);
    return TRUE;
}

BOOL CSerialPort::SuspendMonitor()
{
    const std::shared_ptr<Reception> reception = m_reception;
    if (!reception || !m_monitorAlive.load() || reception->suspended.exchange(true)) return TRUE;
    SignalEvent(m_wakeEvent);
    core::UiDispatcher& ui = core::Ui();
    const auto still = [this, &reception] { return reception->parked.load() || !m_monitorAlive.load(); };
    if (ui.IsUiThread()) {
        // Inside one of the link's hand-overs the monitor waits for it to end: the hand-over
        // stops at its next notification and the monitor takes nothing more once it returns.
        // Elsewhere the wait runs what the monitor queues meanwhile (a hand-over in flight, its
        // failure box), so that it can reach its still point.
        if (!reception->delivering.load()) ui.WaitUntil(still);
    } else {
        while (!still()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return TRUE;
}

UINT CSerialPort::GetWriteCapacity() const { return m_writeBufferSize; }

DWORD CSerialPort::GetEventMask() const { return m_eventMask; }

termios CSerialPort::GetLineSettings() const { return m_lineSettings; }

void CSerialPort::ReportCommError(const char* call)
{
    const int error = errno;
    const std::string text = std::string("WARNING:  ") + call + " Failed with the following error: \n" +
                             core::ErrorText(error) + "\nPort: " + m_portName + "\n";
    core::ShowMessageBox(nullptr, text, "Application Error", MB_OK | MB_ICONSTOP, &m_abort);
}

void CSerialPort::Reception::Deliver(std::size_t from, std::size_t count, bool withTail)
{
    const std::size_t total = count + (withTail ? tailCount : 0);
    delivering = true;
    std::size_t k = from;
    for (; k < total; ++k) {
        // A suspension holds the rest back for the monitor to hand over once it is resumed.
        if (suspended.load()) {
            heldBack = true;
            break;
        }
        // A shutdown asked for while a notification ran ends the hand-over there: what follows
        // would not have been read yet by a reader taking one byte at a time. The first goes in
        // any case, as the byte that reader would have had in hand.
        if (k > from && closing.load()) break;
        ISerialOwner* target = owner->load();
        if (target == nullptr) break;
        if (k < count) {
            target->OnSerialNotify(WM_SERIAL_BYTE, bytes[k], lParam);
        } else {
            target->OnSerialNotify(tail[k - count], 0, lParam);
        }
    }
    reached = k;
    delivering = false;
}

bool CSerialPort::HandOver(std::size_t count, bool withTail, std::size_t from)
{
    const std::shared_ptr<Reception> reception = m_reception;
    if (from >= count + (withTail ? reception->tailCount : 0)) return true;
    reception->heldBack = false;
    const bool ran =
        core::Ui().Invoke([reception, from, count, withTail] { reception->Deliver(from, count, withTail); }, m_abort);
    if (ran && reception->heldBack.load()) m_heldBack = HeldBack{true, reception->reached.load(), count, withTail};
    return ran;
}

void CSerialPort::Notify(UINT message, WPARAM wParam)
{
    auto owner = m_owner;
    const LPARAM lParam = reinterpret_cast<LPARAM>(this);
    core::Ui().Invoke(
        [owner, message, wParam, lParam] {
            if (ISerialOwner* target = owner->load()) target->OnSerialNotify(message, wParam, lParam);
        },
        m_abort);
}

// Until the gathering time is over, or a shutdown or a write request comes.
void CSerialPort::WaitWhileGathering(CSerialPort* port, std::chrono::steady_clock::time_point until)
{
    for (;;) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return;
        const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout{static_cast<time_t>(nanoseconds / 1000000000),
                               static_cast<long>(nanoseconds % 1000000000)};
        pollfd wake[2] = {{port->m_shutdownEvent, POLLIN, 0}, {port->m_writeEvent, POLLIN, 0}};
        const int ready = ::ppoll(wake, 2, &timeout, nullptr);
        if (ready < 0 && errno == EINTR) continue;
        return;
    }
}

UINT CSerialPort::MonitorThread(void* param)
{
    auto* port = static_cast<CSerialPort*>(param);
    port->m_monitorAlive = true;

    const DWORD mask = port->m_eventMask;
    const bool readsInput = (mask & (EV_RXCHAR | EV_RXFLAG)) != 0;
    std::chrono::steady_clock::time_point gatheredUntil{};
    for (;;) {
        // Suspended, the monitor waits for its shutdown or its resumption alone: the port and a
        // write request are not looked at.
        const bool suspended = port->Suspended();
        if (!suspended && port->m_heldBack.any) {
            // Resumed: what a suspension held back goes first, before anything more is read.
            const HeldBack rest = port->m_heldBack;
            port->m_heldBack = HeldBack();
            port->HandOver(rest.count, rest.withTail, rest.from);
            if (port->m_heldBack.any) continue;
            if (port->m_portFailed.load()) return port->LetPortGo();
            gatheredUntil = std::chrono::steady_clock::now() + kGatherTime;
            continue;
        }
        // Bytes that keep coming are gathered for a while after each hand-over before the port
        // is looked at again; a write request ends the gathering (the input is drained before a
        // write), and so does a shutdown, which the wait below then takes first.
        if (readsInput && !suspended) WaitWhileGathering(port, gatheredUntil);
        std::array<pollfd, 4> events{port->m_waitEvents[0], port->m_waitEvents[1], port->m_waitEvents[2],
                                     pollfd{port->m_wakeEvent, POLLIN, 0}};
        const int fd = port->m_portHandle.load();
        events[1].fd = suspended ? -1 : fd;  // -1 when no port is open: not polled
        events[1].events = readsInput ? POLLIN : 0;
        if (suspended) events[2].fd = -1;
        for (pollfd& entry : events) entry.revents = 0;
        if (suspended) {
            port->m_reception->parked = true;
            core::Ui().Poke();
        }

        const int ready = ::poll(events.data(), events.size(), -1);
        if (suspended) port->m_reception->parked = false;
        if (ready < 0) {
            if (errno == EINTR) continue;
            // Cannot wait at all: behave as on shutdown rather than spin.
            events[0].revents = POLLIN;
        }

        if (events[0].revents) {
            {
                std::lock_guard<std::mutex> lock(port->m_lock);
                port->ClosePortHandle();
            }
            port->m_monitorAlive = false;
            core::Ui().Poke();
            return kMonitorExitCode;
        }

        if (events[1].revents) {
            const short revents = events[1].revents;
            const bool hangUp = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
            // The bytes of the read that emptied the port go over together with the wake's
            // notifications, in one hand-over; after a hang-up its box comes between the two.
            std::size_t held = 0;
            if (readsInput && (revents & (POLLIN | POLLHUP | POLLERR))) held = ReadPendingBytes(port, !hangUp);
            if (port->m_heldBack.any) {
                // Suspended in the middle of the reads: the rest of that hand-over waits, and the
                // wake's notifications after it (a hang-up is seen again once resumed).
                port->m_heldBack.withTail = true;
                continue;
            }
            if (hangUp && !port->m_portFailed.load()) {
                port->m_portFailed = true;
                if (!port->Closing()) {
                    errno = EIO;
                    port->ReportCommError("ReadFile()");
                }
            }
            port->HandOver(held, true);
            // A suspension that came while the bytes were handed over holds the rest back.
            if (port->m_heldBack.any) continue;
            // The device went away (its one box has been shown): the port is let go at once, so
            // that nothing keeps it (a USB adapter plugged in again gets its old name only once
            // the old device is closed) and no failure repeats.
            if (port->m_portFailed.load()) return port->LetPortGo();
            // A read that emptied the port: more may be on the way.
            if (held > 0) gatheredUntil = std::chrono::steady_clock::now() + kGatherTime;
            continue;
        }

        if (events[2].revents) {
            WritePending(port);
            if (port->m_portFailed.load()) return port->LetPortGo();
            continue;
        }

        // Asked to look at the suspension again.
        if (events[3].revents) ResetEvent(port->m_wakeEvent);
    }
}

UINT CSerialPort::LetPortGo()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ClosePortHandle();
    }
    // An owner that has asked for a close or a new open since knows where its port stands: the
    // notification is not sent then, nor delivered when that happens while it waits in the queue.
    std::shared_ptr<const Reception> reception = m_reception;
    if (!reception->closing.load()) {
        core::Ui().Invoke(
            [reception] {
                if (reception->closing.load()) return;
                if (ISerialOwner* target = reception->owner->load()) {
                    target->OnSerialNotify(WM_SERIAL_LOST, 0, reception->lParam);
                }
            },
            m_abort);
    }
    m_monitorAlive = false;
    core::Ui().Poke();
    return kMonitorExitCode;
}

std::size_t CSerialPort::ReadPendingBytes(CSerialPort* port, bool keepLast)
{
    const bool deliver = (port->m_eventMask & EV_RXCHAR) != 0;
    BYTE* const buffer = port->m_reception->bytes.data();
    for (;;) {
        // Once a shutdown is asked for, the bytes still arriving are not waited for.
        if (port->Closing()) return 0;
        ssize_t got;
        int error = 0;
        {
            std::lock_guard<std::mutex> lock(port->m_lock);
            const int fd = port->m_portHandle.load();
            if (fd < 0) return 0;
            got = ::read(fd, buffer, kReadBufferSize);
            error = errno;
        }
        if (got > 0) {
            const auto count = static_cast<std::size_t>(got);
            // A read that did not fill the buffer took all the port held.
            const bool emptied = count < kReadBufferSize;
            if (!deliver) {
                if (emptied && keepLast) return 0;
                continue;
            }
            if (emptied && keepLast) return count;
            // A hand-over given up may still run and read the buffer: nothing more is read into it;
            // nor while what it held back for a suspension waits there.
            if (!port->HandOver(count, false) || port->m_heldBack.any) return 0;
            continue;
        }
        if (got < 0 && error == EINTR) continue;
        if (got < 0 && (error == EAGAIN || error == EWOULDBLOCK)) return 0;
        // End of file (the line hung up) or a failing device: reported once; the monitor then
        // lets the port go.
        port->m_portFailed = true;
        errno = got == 0 ? EIO : error;
        port->ReportCommError("ReadFile()");
        return 0;
    }
}

void CSerialPort::WritePending(CSerialPort* port)
{
    size_t length = 0;
    {
        // Take the pending frame: the event is reset and the frame copied under the same lock
        // that QueueWrite holds while it stores a frame and signals, and the frame stops being
        // pending. A wake-up without a pending frame writes nothing and reports nothing.
        std::lock_guard<std::mutex> frame(port->m_frameLock);
        ResetEvent(port->m_writeEvent);
        if (!port->m_writePending) return;
        port->m_writePending = false;
        length = port->m_writeLength > 0 ? static_cast<size_t>(port->m_writeLength) : 0;
        if (length > 0) std::memcpy(port->m_sendBuffer.get(), port->m_writeBuffer.get(), length);
    }

    bool failed = false;
    int error = 0;
    {
        std::lock_guard<std::mutex> lock(port->m_lock);
        const int fd = port->m_portHandle.load();
        if (fd >= 0) ::tcflush(fd, TCIOFLUSH);

        const auto limit = std::chrono::milliseconds(port->m_timeouts.WriteTotalTimeoutConstant +
                                                     port->m_timeouts.WriteTotalTimeoutMultiplier * length);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        size_t written = 0;
        while (written < length) {
            const ssize_t n = ::write(fd, port->m_sendBuffer.get() + written, length - written);
            if (n > 0) {
                written += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // The line is full: wait for room, within the write time-out, or a shutdown.
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
                if (left.count() <= 0) break;  // timed out: not reported
                pollfd room[2] = {{fd, POLLOUT, 0}, {port->m_shutdownEvent, POLLIN, 0}};
                if (::poll(room, 2, static_cast<int>(left.count())) > 0 && room[1].revents) break;
                continue;
            }
            failed = true;
            error = n < 0 ? errno : EIO;
            // A device that is gone: the monitor lets the port go after the box.
            if (error == EIO || error == ENXIO || error == ENODEV) port->m_portFailed = true;
            break;
        }
    }
    if (failed && !port->m_writeFailureShown) {
        port->m_writeFailureShown = true;
        errno = error;
        port->ReportCommError("WriteFile()");
    }
    port->Notify(WM_SERIAL_TXDONE);
}
