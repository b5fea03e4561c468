// A pseudo-terminal pair for tests that need a serial peer: the test holds the master side and
// hands the slave's path to the code under test. The slave side is kept open (raw, no echo) so
// that the master never reads end-of-file while the code under test has the line closed.
#pragma once
#include <chrono>
#include <cstddef>
#include <string>

namespace testing_support {

class PtyPair {
public:
    explicit PtyPair(bool keepSlaveOpen = true);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return m_master >= 0; }
    int MasterFd() const { return m_master; }
    int SlaveFd() const { return m_slave; }
    const std::string& SlavePath() const { return m_slavePath; }

    // Writes every byte to the master side (what the code under test reads); false on failure or
    // when the line stays full for the whole time-out.
    bool Write(const std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Reads from the master side (what the code under test wrote) until count bytes came or the
    // time-out passed; returns what came.
    std::string Read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Reads everything that arrives until nothing more came for the quiet time.
    std::string ReadUntilQuiet(std::chrono::milliseconds quiet = std::chrono::milliseconds(200));

    // Closes the master side: the slave side sees a hang-up.
    void CloseMaster();
    void CloseSlave();

    // Bytes waiting to be read on a terminal fd (FIONREAD), and a wait until at least count wait.
    static std::size_t InputPending(int fd);
    static bool WaitInputPending(int fd, std::size_t count,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

}  // namespace testing_support
