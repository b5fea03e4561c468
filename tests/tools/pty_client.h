// A small raw client on the slave side of the simulator's pty, and byte helpers of the tests' own
// (deliberately not the simulator's encoder: the tests check it against independent arithmetic).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace sim_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes B(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

// Bytes 0..L of a frame sum to 0 modulo 256.
inline bool ChecksumOk(const Bytes& frame, std::size_t at = 0)
{
    if (frame.size() < at + 2) return false;
    const std::size_t length = frame[at + 1];
    if (frame.size() < at + length + 1) return false;
    unsigned sum = 0;
    for (std::size_t i = 0; i <= length; ++i) sum += frame[at + i];
    return (sum & 0xFF) == 0;
}

// A frame made the long way round: the checksum is what makes the byte sum come to zero.
inline Bytes Frame(int code, Bytes data = {})
{
    Bytes f;
    f.reserve(data.size() + 5);
    f.push_back(0x10);
    f.push_back(static_cast<std::uint8_t>(data.size() + 3));
    f.push_back(static_cast<std::uint8_t>(code));
    for (auto b : data) f.push_back(b);
    unsigned sum = 0;
    for (auto b : f) sum += b;
    f.push_back(static_cast<std::uint8_t>((256 - sum % 256) % 256));
    f.push_back(0x01);
    return f;
}

inline float FloatAt(const Bytes& bytes, std::size_t at)
{
    const std::uint32_t bits =
        bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

inline Bytes FloatBytes(float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return B({static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
              static_cast<int>((bits >> 16) & 0xFF), static_cast<int>(bits >> 24)});
}

class PtyClient {
public:
    explicit PtyClient(const std::string& path) { Open(path); }
    ~PtyClient() { Close(); }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    void Open(const std::string& path)
    {
        Close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios tio{};
        if (::tcgetattr(fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            tio.c_cc[VMIN] = 1;
            tio.c_cc[VTIME] = 0;
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    void Close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool IsOpen() const { return fd_ >= 0; }

    bool Write(const Bytes& bytes)
    {
        std::size_t off = 0;
        while (off < bytes.size()) {
            const ssize_t w = ::write(fd_, bytes.data() + off, bytes.size() - off);
            if (w > 0) {
                off += static_cast<std::size_t>(w);
            } else if (w < 0 && errno == EAGAIN) {
                pollfd p{fd_, POLLOUT, 0};
                if (::poll(&p, 1, 5000) <= 0) return false;
            } else if (!(w < 0 && errno == EINTR)) {
                return false;
            }
        }
        return true;
    }

    // Reads until n bytes arrived, the line hung up or the timeout passed; returns what came.
    Bytes Read(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        Bytes out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < n) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(left.count()));
            if (r <= 0) {
                if (r < 0 && errno == EINTR) continue;
                break;
            }
            std::uint8_t buf[256];
            const ssize_t got = ::read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (got > 0) {
                out.insert(out.end(), buf, buf + got);
            } else if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            } else {
                hungUp_ = true;  // 0 or EIO: the master is gone
                break;
            }
        }
        return out;
    }

    // True when the peer hung up within the timeout (pending bytes are read and dropped).
    bool WaitHangUp(std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!hungUp_ && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, 100);
            if (r > 0 && (p.revents & (POLLHUP | POLLERR))) {
                hungUp_ = true;
            } else if (r > 0) {
                std::uint8_t buf[256];
                const ssize_t got = ::read(fd_, buf, sizeof buf);
                if (got == 0 || (got < 0 && errno == EIO)) hungUp_ = true;
            }
        }
        return hungUp_;
    }

    bool HungUp() const { return hungUp_; }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool hungUp_ = false;
};

}  // namespace sim_test
