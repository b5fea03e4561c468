#include "tools/sim/meter_sim.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace meter_sim {

namespace {

constexpr std::uint8_t kStart = 0x10;
constexpr std::uint8_t kEnd = 0x01;
constexpr int kMinLength = 3;          // code and checksum, no data
constexpr int kMaxCommandLength = 18;  // a 20-byte frame
constexpr std::size_t kMaxFrameData = 95;
constexpr auto kStallTimeout = std::chrono::milliseconds(200);
constexpr auto kWriteStuckTimeout = std::chrono::milliseconds(2000);
constexpr auto kDrainTimeout = std::chrono::milliseconds(2000);
// 10 bits a byte at 38400 baud.
constexpr auto kByteTime = std::chrono::nanoseconds(1'000'000'000LL * 10 / 38400);
constexpr std::size_t kPaceChunk = 4;

std::uint8_t Checksum(const std::uint8_t* bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

void PutFloat(Bytes& out, std::size_t at, float value)
{
    const auto bits = std::bit_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

float GetFloat(const std::uint8_t* bytes)
{
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return std::bit_cast<float>(bits);
}

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

void CloseFd(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

bool SimRecord::operator==(const SimRecord& other) const
{
    if (year != other.year || month != other.month || day != other.day || hour != other.hour ||
        minute != other.minute || note != other.note || number != other.number)
        return false;
    for (int i = 0; i < 9; ++i)
        if (std::bit_cast<std::uint32_t>(values[i]) != std::bit_cast<std::uint32_t>(other.values[i])) return false;
    return true;
}

Bytes BuildFrame(std::uint8_t code, const Bytes& data)
{
    const std::size_t count = std::min(data.size(), kMaxFrameData);
    const std::size_t length = count + 3;
    Bytes frame(length + 2);
    frame[0] = kStart;
    frame[1] = static_cast<std::uint8_t>(length);
    frame[2] = code;
    std::copy_n(data.begin(), count, frame.begin() + 3);
    frame[length] = Checksum(frame.data(), length);
    frame[length + 1] = kEnd;
    return frame;
}

Bytes BuildRecordFrame(const SimRecord& record)
{
    Bytes frame(kRecordFrameSize, 0);
    frame[0] = kStart;
    frame[1] = static_cast<std::uint8_t>(kRecordFrameSize - 2);
    frame[2] = code::kRecord;
    frame[3] = static_cast<std::uint8_t>(record.year);
    frame[4] = static_cast<std::uint8_t>(record.month);
    frame[5] = static_cast<std::uint8_t>(record.day);
    frame[6] = static_cast<std::uint8_t>(record.hour);
    frame[7] = static_cast<std::uint8_t>(record.minute);
    for (int i = 0; i < 9; ++i) PutFloat(frame, 8 + 4 * i, record.values[i]);
    const std::size_t noteLength = std::min(record.note.size(), kMaxNoteBytes);
    frame[44] = static_cast<std::uint8_t>(noteLength);
    std::copy_n(record.note.begin(), noteLength, frame.begin() + 45);
    frame[61] = static_cast<std::uint8_t>(record.number);
    frame[62] = Checksum(frame.data(), 62);
    frame[63] = kEnd;
    return frame;
}

std::vector<SimRecord> SampleRecords(int n)
{
    struct Pattern {
        float v1, v2, v3, v4;
        const char* note;
        std::int8_t year;
    };
    // Pairs (v1, v3) and (v2, v4): equal, first larger, second larger; notes from empty to 16 bytes.
    static const Pattern kPatterns[] = {
        {-3.5f, -7.25f, -3.5f, -3.5f, "", 21},
        {-3.5f, -12.0f, -7.25f, -11.5f, "A", 5},
        {-7.25f, -20.125f, -3.5f, -20.125f, "ODF-12 PORT 3", 9},
        {-0.75f, -1.5f, -0.75f, -2.25f, "ABCDEFGHIJKLMNOP", 10},
        {-15.0f, -18.5f, -25.0f, -9.0f, "CABINET 7", 0},
        {-2.0f, -2.0f, -1.0f, -2.0f, "SPLICE #44 EAST", 24},
    };
    std::vector<SimRecord> records;
    records.reserve(std::max(n, 0));
    for (int i = 0; i < n; ++i) {
        const Pattern& p = kPatterns[i % std::size(kPatterns)];
        SimRecord r;
        r.number = static_cast<std::int8_t>(1 + i % 127);
        r.year = p.year;
        r.month = static_cast<std::int8_t>(1 + i % 12);
        r.day = static_cast<std::int8_t>(1 + (i * 7) % 31);
        r.hour = static_cast<std::int8_t>((i * 5) % 24);
        r.minute = static_cast<std::int8_t>((i * 13) % 60);
        r.values[0] = p.v1;
        r.values[1] = p.v2;
        r.values[2] = p.v3;
        r.values[3] = p.v4;
        r.values[4] = 0.5f + 0.1f * static_cast<float>(i % 10);  // losses in dB
        r.values[5] = 1.2f + 0.2f * static_cast<float>(i % 7);
        r.values[6] = 30.0f + static_cast<float>(i % 5);
        r.values[7] = 45.5f - static_cast<float>(i % 3);
        r.values[8] = 0.125f * static_cast<float>(i % 9) - 0.25f;
        r.note = p.note;
        records.push_back(std::move(r));
    }
    return records;
}

MeterSimulator::MeterSimulator(Options options)
{
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) ThrowErrno("openpty");
    auto fail = [this](const char* what) {
        const int saved = errno;
        CloseFd(master_);
        CloseFd(slave_);
        CloseFd(stopFd_);
        errno = saved;
        ThrowErrno(what);
    };
    termios tio{};
    if (::tcgetattr(slave_, &tio) != 0) fail("tcgetattr");
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B38400);
    ::cfsetospeed(&tio, B38400);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0) fail("tcsetattr");
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0) fail("ptsname_r");
    path_ = name;
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    if (::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) fail("fcntl");
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) fail("eventfd");

    options.identification.resize(std::min(options.identification.size(), kMaxIdentificationBytes));
    initial_.identification = options.identification;
    initial_.records = std::move(options.records);
    state_ = initial_;
    pace_ = options.pace;
    faults_ = std::move(options.faults);

    thread_ = std::thread([this] { Run(); });
}

MeterSimulator::~MeterSimulator()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(stopFd_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    CloseFd(master_);
    CloseFd(slave_);
    CloseFd(stopFd_);
}

std::string MeterSimulator::DevicePath() const { return path_; }

void MeterSimulator::SetRecords(std::vector<SimRecord> records)
{
    std::lock_guard lock(mutex_);
    state_.records = std::move(records);
}

std::vector<SimRecord> MeterSimulator::Records() const
{
    std::lock_guard lock(mutex_);
    return state_.records;
}

void MeterSimulator::SetIdentification(std::string text)
{
    text.resize(std::min(text.size(), kMaxIdentificationBytes));
    std::lock_guard lock(mutex_);
    state_.identification = std::move(text);
}

std::string MeterSimulator::Identification() const
{
    std::lock_guard lock(mutex_);
    return state_.identification;
}

std::optional<SimClock> MeterSimulator::Clock() const
{
    std::lock_guard lock(mutex_);
    return state_.clock;
}

std::array<std::optional<float>, 3> MeterSimulator::Calibration() const
{
    std::lock_guard lock(mutex_);
    return state_.calibration;
}

std::optional<float> MeterSimulator::CalibrationWithoutWavelength() const
{
    std::lock_guard lock(mutex_);
    return state_.calibrationWithoutWavelength;
}

std::array<std::optional<float>, 3> MeterSimulator::Ftcal() const
{
    std::lock_guard lock(mutex_);
    return state_.ftcal;
}

int MeterSimulator::ResetCount() const
{
    std::lock_guard lock(mutex_);
    return resetCount_;
}

std::vector<Bytes> MeterSimulator::Commands() const
{
    std::lock_guard lock(mutex_);
    return commands_;
}

std::size_t MeterSimulator::CommandCount() const
{
    std::lock_guard lock(mutex_);
    return commands_.size();
}

void MeterSimulator::ClearCommandLog()
{
    std::lock_guard lock(mutex_);
    commands_.clear();
}

bool MeterSimulator::WaitForCommands(std::size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return commands_.size() >= n; });
}

std::size_t MeterSimulator::FramesSent() const
{
    std::lock_guard lock(mutex_);
    return framesSent_;
}

bool MeterSimulator::WaitForFramesSent(std::size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return framesSent_ >= n; });
}

void MeterSimulator::SetPacing(bool pace)
{
    std::lock_guard lock(mutex_);
    pace_ = pace;
}

void MeterSimulator::SetFaults(Faults faults)
{
    std::lock_guard lock(mutex_);
    faults_ = std::move(faults);
}

Faults MeterSimulator::CurrentFaults() const
{
    std::lock_guard lock(mutex_);
    return faults_;
}

bool MeterSimulator::HungUp() const
{
    std::lock_guard lock(mutex_);
    return hungUp_;
}

bool MeterSimulator::WaitForHangUp(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return hungUp_; });
}

bool MeterSimulator::WaitStop(std::chrono::nanoseconds duration)
{
    if (duration < std::chrono::nanoseconds::zero()) duration = std::chrono::nanoseconds::zero();
    const auto deadline = std::chrono::steady_clock::now() + duration;
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        const auto ns = std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(left).count());
        timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        pollfd fd{stopFd_, POLLIN, 0};
        const int r = ::ppoll(&fd, 1, &ts, nullptr);
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return false;
    }
}

void MeterSimulator::Run()
{
    Bytes buffer;
    for (;;) {
        // Decode every complete frame buffered so far.
        std::size_t pos = 0;
        for (;;) {
            while (pos < buffer.size() && buffer[pos] != kStart) ++pos;
            if (buffer.size() - pos < 2) break;
            const int length = buffer[pos + 1];
            if (length < kMinLength || length > kMaxCommandLength) {
                ++pos;
                continue;
            }
            if (buffer.size() - pos < static_cast<std::size_t>(length) + 2) break;
            const std::uint8_t* f = buffer.data() + pos;
            if (Checksum(f, length) != f[length] || f[length + 1] != kEnd) {
                ++pos;
                continue;
            }
            const Bytes frame(f, f + length + 2);
            pos += length + 2;
            HandleFrame(frame);
            std::lock_guard lock(mutex_);
            if (hungUp_) return;
        }
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(pos));

        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {master_, POLLIN, 0}};
        const int timeout = buffer.empty() ? -1 : static_cast<int>(kStallTimeout.count());
        const int r = ::poll(fds, 2, timeout);
        if (r < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        if (r == 0) {
            // The line went quiet inside a candidate frame: it was no frame; look past its start.
            buffer.erase(buffer.begin());
            continue;
        }
        if (fds[1].revents & POLLIN) {
            std::uint8_t chunk[256];
            const ssize_t n = ::read(master_, chunk, sizeof chunk);
            if (n > 0) {
                buffer.insert(buffer.end(), chunk, chunk + n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        }
        // Hang-up or error on the master (not expected while the slave is held open): do not spin.
        if (WaitStop(std::chrono::milliseconds(50))) return;
    }
}

void MeterSimulator::HandleFrame(const Bytes& frame)
{
    const std::uint8_t command = frame[2];
    const std::uint8_t* data = frame.data() + 3;
    const std::size_t count = frame.size() - 5;

    std::optional<Bytes> reply;
    bool upload = false;
    std::chrono::milliseconds delay{};
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(frame);
        delay = faults_.replyDelay;
        switch (command) {
        case code::kConnect: {
            const std::string& id = state_.identification;
            Bytes d;
            d.push_back(static_cast<std::uint8_t>(id.size()));
            d.insert(d.end(), id.begin(), id.end());
            reply = BuildFrame(code::kConnected, d);
            break;
        }
        case code::kDisconnect: reply = BuildFrame(code::kDisconnected); break;
        case code::kUpload: upload = true; break;
        case code::kDeleteAll:
            state_.records.clear();
            reply = BuildFrame(code::kDeleted);
            break;
        case code::kSetTime:
            if (count == 5) {
                state_.clock = SimClock{data[0], data[1], data[2], data[3], data[4]};
                reply = BuildFrame(code::kTimeSet);
            }
            break;
        case code::kCalibrate:
            if (count == 5 && data[0] <= 2) {
                state_.calibration[data[0]] = GetFloat(data + 1);
                reply = BuildFrame(code::kCalibrated);
            } else if (count == 4) {
                state_.calibrationWithoutWavelength = GetFloat(data);
                reply = BuildFrame(code::kCalibrated);
            }
            break;
        case code::kFtcal:
            if (count == 5 && data[0] <= 2) {
                state_.ftcal[data[0]] = GetFloat(data + 1);
                reply = BuildFrame(code::kFtcalDone);
            }
            break;
        case code::kReset:
        case code::kResetSilent:
            state_ = initial_;
            ++resetCount_;
            if (command == code::kReset) reply = BuildFrame(code::kResetDone);
            break;
        default: break;
        }
    }
    changed_.notify_all();

    if (!reply && !upload) return;
    if (delay.count() > 0 && WaitStop(delay)) return;
    if (upload)
        Upload();
    else
        SendFrame(*reply);
}

void MeterSimulator::Upload()
{
    std::vector<SimRecord> records;
    Faults faults;
    {
        std::lock_guard lock(mutex_);
        records = state_.records;
        faults = faults_;
    }
    int sent = 0;
    for (const SimRecord& record : records) {
        if (faults.hangupAfterRecords >= 0 && sent >= faults.hangupAfterRecords) {
            HangUp();
            return;
        }
        Bytes frame = BuildRecordFrame(record);
        const int k = sent + 1;
        if (faults.badChecksumRecord == k) frame[62] = static_cast<std::uint8_t>(frame[62] + 1);
        if (faults.truncateRecord == k) {
            const int missing = std::clamp(faults.truncateBytes, 1, static_cast<int>(frame.size()) - 1);
            frame.resize(frame.size() - missing);
        }
        if (!SendFrame(frame)) return;
        ++sent;
    }
    if (faults.hangupAfterRecords >= 0) {
        HangUp();
        return;
    }
    SendFrame(BuildFrame(code::kUploadEnd, {static_cast<std::uint8_t>(records.empty() ? 0 : 1)}));
}

void MeterSimulator::HangUp()
{
    // A hang-up of a pty drops what the slave has not read yet; on a real line those bytes would
    // have reached the console before the cable went. So let the reader drain the queue first
    // (the same queue as seen through our own slave descriptor), for at most a while.
    const auto deadline = std::chrono::steady_clock::now() + kDrainTimeout;
    int quietChecks = 0;
    while (quietChecks < 3 && std::chrono::steady_clock::now() < deadline) {
        if (WaitStop(std::chrono::milliseconds(5))) break;
        int pending = 0;
        if (::ioctl(slave_, FIONREAD, &pending) != 0) break;
        quietChecks = pending == 0 ? quietChecks + 1 : 0;
    }
    {
        std::lock_guard lock(mutex_);
        // Only the service thread uses the descriptors; the lock orders the flag with them.
        CloseFd(master_);
        CloseFd(slave_);
        hungUp_ = true;
    }
    changed_.notify_all();
}

bool MeterSimulator::SendFrame(const Bytes& frame)
{
    bool garbage = false;
    Bytes garbageBytes;
    {
        std::lock_guard lock(mutex_);
        garbage = faults_.garbage;
        if (garbage) garbageBytes = faults_.garbageBytes;
    }
    if (garbage && !garbageBytes.empty() && !WriteBytes(garbageBytes)) return false;
    if (!WriteBytes(frame)) return false;
    {
        std::lock_guard lock(mutex_);
        ++framesSent_;
    }
    changed_.notify_all();
    return true;
}

bool MeterSimulator::WriteBytes(const Bytes& bytes)
{
    bool pace = false;
    {
        std::lock_guard lock(mutex_);
        pace = pace_;
    }
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        std::size_t n = bytes.size() - offset;
        if (pace) {
            n = std::min(n, kPaceChunk);
            const auto now = std::chrono::steady_clock::now();
            if (lineFree_ < now) lineFree_ = now;
            if (lineFree_ > now && WaitStop(lineFree_ - now)) return false;
        }
        const ssize_t w = ::write(master_, bytes.data() + offset, n);
        if (w > 0) {
            offset += static_cast<std::size_t>(w);
            if (pace) lineFree_ += kByteTime * w;
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) {
            // The pty is full: nobody reads the slave. Wait for room, give up after a while.
            pollfd fds[2] = {{stopFd_, POLLIN, 0}, {master_, POLLOUT, 0}};
            const int r = ::poll(fds, 2, static_cast<int>(kWriteStuckTimeout.count()));
            if (r <= 0 || fds[0].revents) return false;
            continue;
        }
        return false;
    }
    return true;
}

}  // namespace meter_sim
