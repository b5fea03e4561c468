// The meter simulator: plays the optical power meter on a pseudo-terminal.
//
// The simulator is the console's serial peer. It opens a pty pair, keeps the slave side open itself
// (so the console may open and close the slave as often as it likes without the master ever reading
// EIO), and runs one service thread that reads command frames from the master and writes the
// meter's replies. Its frame encoder and decoder are its own, independent of the console's.
//
// Frames, both directions: 0x10, L, code, data (L - 3 bytes), checksum, 0x01. L is the frame's
// length minus 2; the checksum is the two's complement of the 8-bit sum of bytes 0 to L-1.
//
// Commands answered:
//   0x01 connect        -> 0x02, byte 3 = n, then n bytes of the identification text (at most 94)
//   0x50 disconnect     -> 0x51
//   0x38 upload         -> one 64-byte 0x38 record frame per stored record, then 0x39 with byte 3 =
//                          1 when records were sent, else 0
//   0x09 delete all     -> records cleared, 0x0A
//   0x0D set time       -> 5 data bytes (year, month, day, hour, minute) stored as the clock, 0x0E
//   0x26 calibrate      -> 5 data bytes (wavelength index 0..2, float LE) stored for that wavelength;
//                          the 4-byte form (float alone) is stored as the calibration without
//                          wavelength; then 0x27
//   0x13 FTCAL          -> 5 data bytes as calibrate, stored per wavelength, 0x14
//   0x11 factory reset  -> the state the simulator was started with (records, identification,
//                          clock, calibration and FTCAL values), reset count + 1, 0x12
//   0x28 reset (sent with the Chinese texts) -> the same factory reset, but no reply at all
// A command with the wrong number of data bytes or a wavelength index above 2 changes nothing and
// gets no reply; unknown codes get no reply. Every well-formed command frame is logged either way.
//
// The decoder resynchronises: bytes before a 0x10 are discarded; a candidate whose length byte is
// below 3 or above 18 (the console's longest command fits 20 bytes), whose checksum is wrong or whose
// end byte is not 0x01 is dropped by one byte and the search for a start byte resumes right after it.
// A candidate that stays incomplete while the line is quiet for 200 ms is dropped the same way, so a
// stray 0x10 never holds up the commands behind it.
//
// Writing: when nobody reads the slave and the pty is full for 2 s, the rest of that reply is dropped.
// A hang-up fault first lets the reader take what was already written (at most 2 s), as a real line
// would have delivered it, then closes master and slave: the console sees POLLHUP, and the device
// path is gone for good.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace meter_sim {

using Bytes = std::vector<std::uint8_t>;

// Command and reply codes on the wire.
namespace code {
inline constexpr std::uint8_t kConnect = 0x01, kConnected = 0x02;
inline constexpr std::uint8_t kDisconnect = 0x50, kDisconnected = 0x51;
inline constexpr std::uint8_t kUpload = 0x38, kRecord = 0x38, kUploadEnd = 0x39;
inline constexpr std::uint8_t kDeleteAll = 0x09, kDeleted = 0x0A;
inline constexpr std::uint8_t kSetTime = 0x0D, kTimeSet = 0x0E;
inline constexpr std::uint8_t kCalibrate = 0x26, kCalibrated = 0x27;
inline constexpr std::uint8_t kFtcal = 0x13, kFtcalDone = 0x14;
inline constexpr std::uint8_t kReset = 0x11, kResetDone = 0x12;
inline constexpr std::uint8_t kResetSilent = 0x28;
}  // namespace code

inline constexpr std::size_t kRecordFrameSize = 64;
inline constexpr std::size_t kMaxNoteBytes = 16;
inline constexpr std::size_t kMaxIdentificationBytes = 94;  // keeps the connect reply within 100 bytes

// One stored measurement record as the meter keeps it.
struct SimRecord {
    std::int8_t year = 0;  // two digits
    std::int8_t month = 1, day = 1, hour = 0, minute = 0;
    float values[9] = {};
    std::string note;  // 8-bit text; only its first 16 bytes go on the wire
    std::int8_t number = 1;

    bool operator==(const SimRecord& other) const;
};

// The meter's clock as the last set-time command left it.
struct SimClock {
    std::uint8_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
    bool operator==(const SimClock&) const = default;
};

// The stray bytes of the garbage fault unless others are given (no 0x10 among them).
inline Bytes DefaultGarbage()
{
    static constexpr std::uint8_t kBytes[] = {0x00, 0xFF, 0x55, 0xAA, 0x01, 0xEE};
    return Bytes(std::begin(kBytes), std::end(kBytes));
}

// Faults injected into the replies; they hold for every upload until changed.
struct Faults {
    int badChecksumRecord = 0;  // k >= 1: the k-th record frame of an upload carries a wrong checksum
    int truncateRecord = 0;     // k >= 1: the k-th record frame is cut short by truncateBytes bytes
    int truncateBytes = 10;     // how many bytes are missing from the end of that frame (1..63)
    bool garbage = false;       // garbageBytes are written before every reply frame
    Bytes garbageBytes = DefaultGarbage();
    int hangupAfterRecords = -1;              // k >= 0: an upload sends k records, then master and slave close
    std::chrono::milliseconds replyDelay{0};  // waited before each reply to a command
};

struct Options {
    std::string identification = "OPM-3 SIM";
    std::vector<SimRecord> records;
    bool pace = false;  // write at the line rate: 38400 baud, 10 bits a byte, ~3840 bytes/s
    Faults faults;
};

// The frame around a code and its data bytes (data at most 95 bytes).
Bytes BuildFrame(std::uint8_t code, const Bytes& data = {});
// The 64-byte 0x38 frame of one record (the note cut to 16 bytes).
Bytes BuildRecordFrame(const SimRecord& record);
// n records with varied values: numbers 1..n (wrapping after 127), years below and above 10, notes
// of several lengths (empty to 16 bytes), negative powers, equal and unequal pairs of values 1/3 and 2/4.
std::vector<SimRecord> SampleRecords(int n);

class MeterSimulator {
public:
    explicit MeterSimulator(Options options = {});  // throws std::system_error when no pty is had
    ~MeterSimulator();                              // stops and joins the service thread
    MeterSimulator(const MeterSimulator&) = delete;
    MeterSimulator& operator=(const MeterSimulator&) = delete;

    // The slave side the console opens (e.g. /dev/pts/7).
    std::string DevicePath() const;

    // Stored state; all accessors are thread-safe.
    void SetRecords(std::vector<SimRecord> records);
    std::vector<SimRecord> Records() const;
    void SetIdentification(std::string text);
    std::string Identification() const;
    std::optional<SimClock> Clock() const;                      // none until a set time
    std::array<std::optional<float>, 3> Calibration() const;    // per wavelength index
    std::optional<float> CalibrationWithoutWavelength() const;  // the 4-byte form
    std::array<std::optional<float>, 3> Ftcal() const;
    int ResetCount() const;  // 0x11 and 0x28 both count

    // Every well-formed command frame received, raw, in order of arrival.
    std::vector<Bytes> Commands() const;
    std::size_t CommandCount() const;
    void ClearCommandLog();
    // True once at least n commands have been received (and acted on) since the log was cleared.
    bool WaitForCommands(std::size_t n, std::chrono::milliseconds timeout) const;
    // Reply frames written so far, faulty ones included (garbage bytes are not frames).
    std::size_t FramesSent() const;
    bool WaitForFramesSent(std::size_t n, std::chrono::milliseconds timeout) const;

    // Options that may change while running.
    void SetPacing(bool pace);
    void SetFaults(Faults faults);
    Faults CurrentFaults() const;

    // True after a hang-up fault closed the line; the simulator then answers nothing more.
    bool HungUp() const;
    bool WaitForHangUp(std::chrono::milliseconds timeout) const;

private:
    struct State {
        std::string identification;
        std::vector<SimRecord> records;
        std::optional<SimClock> clock;
        std::array<std::optional<float>, 3> calibration;
        std::optional<float> calibrationWithoutWavelength;
        std::array<std::optional<float>, 3> ftcal;
    };

    void Run();
    void HandleFrame(const Bytes& frame);
    void Upload();
    void HangUp();
    // Writes bytes to the master, paced when asked; false when stopping, hung up or stuck.
    bool WriteBytes(const Bytes& bytes);
    bool SendFrame(const Bytes& frame);
    bool WaitStop(std::chrono::nanoseconds duration);  // true when asked to stop

    int master_ = -1;
    int slave_ = -1;
    int stopFd_ = -1;
    std::string path_;
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    State initial_;
    State state_;
    bool pace_ = false;
    Faults faults_;
    int resetCount_ = 0;
    std::vector<Bytes> commands_;
    std::size_t framesSent_ = 0;
    bool hungUp_ = false;

    // Pacing schedule of the service thread: when the line is free again.
    std::chrono::steady_clock::time_point lineFree_{};
};

}  // namespace meter_sim
