// The qel-meter-sim program: its first output line, its options and how it stops.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <optional>
#include <thread>

#include "tests/tools/pty_client.h"

namespace {

using namespace std::chrono_literals;
using sim_test::B;
using sim_test::Bytes;

const std::string kProgram = std::string(QEL_BINARY_DIR) + "/tools/qel-meter-sim";
const Bytes kConnect = B({0x10, 0x03, 0x01, 0xEC, 0x01});
const Bytes kUpload = B({0x10, 0x03, 0x38, 0xB5, 0x01});

// The program as a child process with pipes on its standard input and output.
class Program {
public:
    explicit Program(const std::vector<std::string>& args)
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            std::vector<char*> argv{const_cast<char*>(kProgram.c_str())};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(kProgram.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
    }
    ~Program()
    {
        CloseStdin();
        if (stdout_ >= 0) ::close(stdout_);
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Standard output up to the end of its first line (or of the output).
    std::string FirstLine(std::chrono::milliseconds timeout = 5s) { return ReadOutput(timeout, true); }
    std::string AllOutput(std::chrono::milliseconds timeout = 5s) { return ReadOutput(timeout, false); }

    void CloseStdin()
    {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
    }
    void Signal(int sig) { ::kill(pid_, sig); }

    // The exit status, or none when the program is still running after the timeout.
    std::optional<int> Wait(std::chrono::milliseconds timeout = 5s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(10ms);
        }
    }

private:
    std::string ReadOutput(std::chrono::milliseconds timeout, bool lineOnly)
    {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{stdout_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char c;
            const ssize_t n = ::read(stdout_, &c, 1);
            if (n <= 0) break;
            if (lineOnly && c == '\n') break;
            text += c;
        }
        return text;
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    bool exited_ = false;
};

class SimProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(kProgram)) GTEST_SKIP() << kProgram << " is not built";
    }
};

TEST_F(SimProgramTest, PrintsItsDeviceAndAnswersUntilStdinEnds)
{
    Program program({"--id", "METER X", "--records", "5", "--until-eof"});
    const std::string device = program.FirstLine();
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
    sim_test::PtyClient client(device);
    ASSERT_TRUE(client.IsOpen());
    ASSERT_TRUE(client.Write(kConnect));
    EXPECT_EQ(client.Read(13), sim_test::Frame(0x02, B({7, 'M', 'E', 'T', 'E', 'R', ' ', 'X'})));
    ASSERT_TRUE(client.Write(kUpload));
    const Bytes upload = client.Read(5 * 64 + 6);
    ASSERT_EQ(upload.size(), 5u * 64 + 6);
    EXPECT_EQ(upload[4 * 64 + 61], 5);
    EXPECT_EQ(Bytes(upload.end() - 6, upload.end()), B({0x10, 0x04, 0x39, 0x01, 0xB2, 0x01}));

    program.CloseStdin();
    EXPECT_EQ(program.Wait(), 0);
    EXPECT_TRUE(client.WaitHangUp());
}

class SimProgramSignalTest : public SimProgramTest, public ::testing::WithParamInterface<int> {};

TEST_P(SimProgramSignalTest, StopsCleanlyOnTheSignal)
{
    Program program({});
    ASSERT_FALSE(program.FirstLine().empty());
    program.CloseStdin();  // without --until-eof the end of input does not stop it
    EXPECT_EQ(program.Wait(300ms), std::nullopt);
    program.Signal(GetParam());
    EXPECT_EQ(program.Wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, SimProgramSignalTest, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return info.param == SIGINT ? "SIGINT" : "SIGTERM"; });

struct FaultCase {
    const char* name;
    std::string spec;
    std::size_t uploadBytes;  // what an upload of the 3 default records delivers
    int badFrameAt;           // offset of a record frame whose checksum must fail, or -1
    bool hangUp;
};

class SimProgramFaultTest : public SimProgramTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimProgramFaultTest, TheFaultOptionReachesTheSimulator)
{
    const FaultCase& c = GetParam();
    Program program({"--fault", c.spec});
    const std::string device = program.FirstLine();
    sim_test::PtyClient client(device);
    ASSERT_TRUE(client.IsOpen()) << device;
    ASSERT_TRUE(client.Write(kUpload));
    const Bytes upload = client.Read(c.uploadBytes);
    ASSERT_EQ(upload.size(), c.uploadBytes);
    if (c.badFrameAt >= 0) {
        EXPECT_FALSE(sim_test::ChecksumOk(upload, c.badFrameAt));
        EXPECT_TRUE(sim_test::ChecksumOk(upload, 0));
    }
    if (c.hangUp) {
        EXPECT_TRUE(client.WaitHangUp());
    } else {
        // Nothing more came: the next bytes are the disconnect reply.
        ASSERT_TRUE(client.Write(B({0x10, 0x03, 0x50, 0x9D, 0x01})));
        const Bytes next = client.Read(c.spec == "garbage" ? 11 : 5);
        EXPECT_EQ(Bytes(next.end() - 5, next.end()), B({0x10, 0x03, 0x51, 0x9C, 0x01}));
    }
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, SimProgramFaultTest,
                         ::testing::Values(FaultCase{"badsum", "badsum:2", 198, 64, false},
                                           FaultCase{"truncate", "truncate:2:5", 193, -1, false},
                                           FaultCase{"truncate_default", "truncate:1", 188, -1, false},
                                           FaultCase{"garbage", "garbage", 198 + 4 * 6, -1, false},
                                           FaultCase{"hangup", "hangup:1", 64, -1, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct UsageCase {
    const char* name;
    std::vector<std::string> args;
    int status;
};

class SimProgramUsageTest : public SimProgramTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(SimProgramUsageTest, ExitsWithTheStatus)
{
    Program program(GetParam().args);
    const std::string out = program.AllOutput(2s);
    EXPECT_EQ(program.Wait(), GetParam().status);
    if (GetParam().status == 0)
        EXPECT_NE(out.find("usage: qel-meter-sim"), std::string::npos);
    else
        EXPECT_EQ(out, "");  // no device line for a run that never started
}

INSTANTIATE_TEST_SUITE_P(Options, SimProgramUsageTest,
                         ::testing::Values(UsageCase{"help", {"--help"}, 0},
                                           UsageCase{"unknown_option", {"--bogus"}, 2},
                                           UsageCase{"records_not_a_number", {"--records", "x"}, 2},
                                           UsageCase{"records_too_many", {"--records", "128"}, 2},
                                           UsageCase{"records_missing", {"--records"}, 2},
                                           UsageCase{"unknown_fault", {"--fault", "melt:1"}, 2},
                                           UsageCase{"fault_without_number", {"--fault", "badsum"}, 2},
                                           UsageCase{"truncate_too_much", {"--fault", "truncate:1:64"}, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
