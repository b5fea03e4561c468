// The serial link: one port device, configured raw and held exclusively, with one monitor thread
// that hands the received bytes to the owner on the UI thread and writes the single pending frame.
#pragma once
#include <poll.h>
#include <termios.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/winapi.h"
#include "serial/lock_file.h"

// Notifications, delivered synchronously on the UI thread (lParam: the CSerialPort). The bytes of
// one read reach the owner in one hand-over, one WM_SERIAL_BYTE each, in the order received; the
// monitor thread waits until the hand-over has run, so no byte is read while the owner handles one
// (for example while it shows a box).
constexpr UINT WM_SERIAL_BREAK = WM_USER + 1;
constexpr UINT WM_SERIAL_CTS = WM_USER + 2;
constexpr UINT WM_SERIAL_ERR = WM_USER + 4;
constexpr UINT WM_SERIAL_RING = WM_USER + 5;
constexpr UINT WM_SERIAL_BYTE = WM_USER + 7;  // wParam: the received byte
constexpr UINT WM_SERIAL_RXFLAG = WM_USER + 8;
constexpr UINT WM_SERIAL_TXDONE = WM_USER + 9;
// The device went away (the line hung up, the device failed): after its one failure box the link
// has closed the port itself, given its locks up and ended its monitor; the next OpenPort may
// take the device again. Not sent when the owner itself asked for the close or a new open.
constexpr UINT WM_SERIAL_LOST = WM_USER + 10;

class ISerialOwner {
public:
    virtual ~ISerialOwner() = default;
    virtual LRESULT OnSerialNotify(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// Time-outs of the line, in milliseconds (the multipliers per byte).
struct SerialTimeouts {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

class CSerialPort {
public:
    // The most one read takes: what a terminal's line discipline holds (its read buffer), about a
    // second of the line at 38400 baud. Allocated once per OpenPort.
    static constexpr std::size_t kReadBufferSize = 4096;
    // While bytes keep coming, the monitor gathers them for this long after a hand-over before it
    // reads again, so that a steady stream costs the UI thread at most 200 wake-ups a second (a
    // frame of the meter takes 2.6 to 26 ms on a 38400-baud line); a byte after a quiet line is
    // read at once.
    static constexpr std::chrono::milliseconds kGatherTime{5};

    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Why the last OpenPort returned FALSE: the step that failed and its errno, or the process
    // that holds the device and its lock file. Written to standard error as well.
    struct OpenFailure {
        std::string step;      // "lock file", "open()", "flock()"; empty after an open that worked
        int error = 0;         // the errno of the step; 0 when another holds the device
        pid_t holder = 0;      // the process that holds the device, when known
        std::string lockFile;  // the lock file that holds the device or could not be read
        std::string text;      // the whole reason, for a person
    };

    // Takes the device, then configures the line. Taking it: the device is not shared. A lock
    // file in LockFolder() ("LCK.." and the device's name below /dev/ with '/' as '_', see
    // serial/lock_file.h) that another live process holds, or that cannot be read, refuses the
    // device before it is even opened; then the open, an exclusive flock taken without waiting,
    // our own lock file (where the folder takes one) and TIOCEXCL, which keeps later openers out.
    // FALSE when any of these fails (no box then; LastOpenFailure() and standard error say why;
    // another program's lock file is left as it was). A configuration failure is shown in a box
    // and the port still counts as open. The locks are held until the port is closed.
    BOOL OpenPort(ISerialOwner* owner, const std::string& portPath, UINT baud, char parity, UINT dataBits,
                  UINT stopBits, DWORD eventMask, UINT writeBufferSize);
    const OpenFailure& LastOpenFailure() const { return m_openFailure; }
    // Whether the link holds a port: from a successful OpenPort until the monitor thread has
    // closed it (on RequestClose, or by itself when the device went away).
    bool IsOpen() const { return m_portHandle.load() >= 0; }
    BOOL StartMonitor();
    // Asks the monitor thread to close the port and end; does not wait.
    BOOL RequestClose();
    // Makes the bytes the pending frame (it replaces one not yet written) and wakes the monitor.
    // Nothing happens before the first OpenPort, or when count is not within 1..GetWriteCapacity().
    void QueueWrite(const char* bytes, int count);
    void QueueWriteText(const char* text);
    // Holds the monitor still: from the moment SuspendMonitor returns it takes no byte from the port
    // (the bytes wait in the system's queue, where a hang-up waits too) and writes nothing (a frame
    // handed over waits); a shutdown is still taken. Called inside one of the link's own
    // notifications, the rest of that hand-over waits as well. ResumeMonitor lets it go on: what
    // was held back and what waits in the port are delivered once each and in order. Neither
    // nests, and both do nothing while no monitor runs; both return TRUE.
    BOOL ResumeMonitor();
    BOOL SuspendMonitor();
    UINT GetWriteCapacity() const;
    DWORD GetEventMask() const;
    termios GetLineSettings() const;
    // The failure box for a failed port call, with errno's text; shown on the UI thread.
    void ReportCommError(const char* call);
    std::string GetPortName() const;
    // Notifications that run from now on reach nobody.
    void DetachOwner();

    // The folder of the UUCP lock files for the whole process: "/run/lock" unless set otherwise.
    static void SetLockFolder(const std::string& folder);
    static std::string LockFolder();

private:
    static UINT MonitorThread(void* param);
    // Reads what the port holds, up to kReadBufferSize bytes a read, and hands each read's bytes
    // over in one call. With keepLast, the bytes of the read that emptied the port are not handed
    // over here: their count is returned, for the monitor to hand them over with the wake's
    // notifications.
    static std::size_t ReadPendingBytes(CSerialPort* port, bool keepLast = false);
    static void WritePending(CSerialPort* port);
    static void WaitWhileGathering(CSerialPort* port, std::chrono::steady_clock::time_point until);

    int m_writeLength = 1;
    std::atomic<int> m_portHandle{-1};  // the device's file descriptor; -1 when no port is open
    std::thread m_monitorThread;
    std::mutex m_lock;  // serialises the calls on the device
    std::atomic<bool> m_monitorAlive{false};
    int m_writeEvent = -1;                 // eventfd: a frame waits to be written
    int m_shutdownEvent = -1;              // eventfd: close the port and end (stays signalled)
    int m_wakeEvent = -1;                  // eventfd: the monitor is to look at its suspension again
    std::array<pollfd, 3> m_waitEvents{};  // shutdown, port, write request
    SerialTimeouts m_timeouts;
    termios m_lineSettings{};
    char m_eventChar = 0;
    std::shared_ptr<std::atomic<ISerialOwner*>> m_owner;
    std::string m_portName;
    std::unique_ptr<char[]> m_writeBuffer;
    DWORD m_eventMask = 0;
    UINT m_writeBufferSize = 0;

    std::unique_ptr<char[]> m_sendBuffer;   // the frame being written, copied from m_writeBuffer
    std::mutex m_frameLock;                 // guards m_writeBuffer, m_writeLength, m_writePending and the write event
    bool m_writePending = false;            // m_writeBuffer holds a frame not yet taken for writing
    std::atomic<bool> m_abort{false};       // a UI thread waits for the monitor: give up notifications
    std::atomic<bool> m_portFailed{false};  // the device went away: the monitor lets the port go
    bool m_writeFailureShown = false;       // monitor thread only
    serial::LockFile m_lockFile;            // the UUCP lock file this object made, while it holds one
    OpenFailure m_openFailure;

    // What the hand-overs of one OpenPort share. A hand-over whose wait was given up may run
    // after the port is gone (or opened again), so it owns this; the monitor reads into the
    // buffer only while no hand-over of it is outstanding.
    struct Reception {
        std::shared_ptr<std::atomic<ISerialOwner*>> owner;
        LPARAM lParam = 0;
        std::atomic<bool> closing{false};     // a shutdown was asked for: the line is not read any more
        std::atomic<bool> suspended{false};   // the monitor is to hold still (SuspendMonitor)
        std::atomic<bool> parked{false};      // the monitor holds still and takes nothing
        std::atomic<bool> delivering{false};  // a hand-over runs on the UI thread
        // Where the last hand-over stopped (the next notification's index) and whether it stopped
        // because the monitor was suspended; written on the UI thread, read by the monitor after
        // the hand-over has run.
        std::atomic<std::size_t> reached{0};
        std::atomic<bool> heldBack{false};
        std::array<UINT, 5> tail{};  // the notifications after each wake, in order
        std::size_t tailCount = 0;
        std::array<BYTE, kReadBufferSize> bytes{};

        // On the UI thread: the first count bytes, then the tail when asked, from the notification
        // at index from on.
        void Deliver(std::size_t from, std::size_t count, bool withTail);
    };
    std::shared_ptr<Reception> m_reception;

    bool Closing() const { return m_reception && m_reception->closing.load(); }
    void Notify(UINT message, WPARAM wParam = 0);
    // Hands the first count bytes of the read buffer (and the tail, when asked), from the
    // notification at index from on, to the owner in one call and waits until it has run; false
    // when the wait was given up. What a suspension held back is kept in m_heldBack.
    bool HandOver(std::size_t count, bool withTail, std::size_t from = 0);
    // A hand-over that a suspension stopped: the rest is delivered once the monitor is resumed.
    // Monitor thread only.
    struct HeldBack {
        bool any = false;
        std::size_t from = 0;
        std::size_t count = 0;
        bool withTail = false;
    };
    HeldBack m_heldBack;
    bool Suspended() const { return m_reception && m_reception->suspended.load(); }
    void JoinMonitor(bool runLeftovers);
    void ClosePortHandle();
    // The steps of OpenPort, under m_lock: taking the device (false: m_openFailure says why) and
    // setting its line up (the name of the first call that failed, or nullptr).
    bool TakeDevice(const std::string& portPath);
    const char* SetUpLine(int fd, UINT baud, char parity, UINT dataBits, UINT stopBits);
    void RefuseOpen(const std::string& step, int error, pid_t holder, const std::string& lockFile,
                    const std::string& reason);
    // On the monitor thread, after the box of a device that went away: closes the port, tells the
    // owner (unless it asked for the close itself) and lets the thread end.
    UINT LetPortGo();
};
