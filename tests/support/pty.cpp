#include "tests/support/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace testing_support {

namespace {

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

PtyPair::PtyPair(bool keepSlaveOpen)
{
    int master = -1, slave = -1;
    char name[128] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) return;
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    m_master = master;
    m_slave = slave;
    m_slavePath = name;
    if (!keepSlaveOpen) CloseSlave();
}

PtyPair::~PtyPair()
{
    CloseSlave();
    CloseMaster();
}

void PtyPair::CloseMaster()
{
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

void PtyPair::CloseSlave()
{
    if (m_slave >= 0) ::close(m_slave);
    m_slave = -1;
}

bool PtyPair::Write(const std::string& bytes, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd room{m_master, POLLOUT, 0};
            const int left = MillisecondsLeft(deadline);
            if (left == 0) return false;
            ::poll(&room, 1, left);
            continue;
        }
        return false;
    }
    return true;
}

std::string PtyPair::Read(std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string got;
    while (got.size() < count && m_master >= 0) {
        char buffer[256];
        const std::size_t want = std::min(sizeof buffer, count - got.size());
        const ssize_t n = ::read(m_master, buffer, want);
        if (n > 0) {
            got.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) break;
        if (n < 0 && errno == EAGAIN) {
            pollfd data{m_master, POLLIN, 0};
            ::poll(&data, 1, left);
        } else {
            // EIO: no slave is open at the moment; try again shortly.
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, 10)));
        }
    }
    return got;
}

std::string PtyPair::ReadUntilQuiet(std::chrono::milliseconds quiet)
{
    std::string got;
    for (;;) {
        std::string more = Read(4096, quiet);
        if (more.empty()) return got;
        got += more;
    }
}

std::size_t PtyPair::InputPending(int fd)
{
    int count = 0;
    if (::ioctl(fd, FIONREAD, &count) != 0 || count < 0) return 0;
    return static_cast<std::size_t>(count);
}

bool PtyPair::WaitInputPending(int fd, std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (InputPending(fd) < count) {
        if (MillisecondsLeft(deadline) == 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace testing_support
