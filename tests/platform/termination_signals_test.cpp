// The termination signals reach the thread that runs GLib's default main context, through a
// pipe that no program started from here inherits; a signal ignored at the start stays ignored,
// and Stop gives every signal back what it had. Real signals, sent to this process.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <glib.h>
#include <gtest/gtest.h>

#include "platform/termination_signals.h"
#include "tests/support/temp_dir.h"

using testing_support::ReadFile;

namespace {

// The disposition a signal has now.
void (*Disposition(int signal))(int)
{
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler;
}

// Keeps the dispositions of the termination signals as they were before the test, and sets
// them to the default for it (a test program started in the background has SIGINT ignored).
class TerminationSignalsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int s : platform::kTerminationSignals) {
            sigaction(s, nullptr, &m_saved[Index(s)]);
            signal(s, SIG_DFL);
        }
    }
    void TearDown() override
    {
        m_signals.Stop();
        for (int s : platform::kTerminationSignals) sigaction(s, &m_saved[Index(s)], nullptr);
    }
    static size_t Index(int s) { return s == SIGTERM ? 0 : s == SIGHUP ? 1 : 2; }

    // Runs the default main context until `count` calls came or the time is up.
    void RunContext(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (m_calls.size() < count && std::chrono::steady_clock::now() < end) {
            while (g_main_context_iteration(nullptr, FALSE)) {}
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    bool Start()
    {
        return m_signals.Start([this](int s) {
            m_calls.push_back(s);
            m_threads.push_back(std::this_thread::get_id());
        });
    }

    platform::TerminationSignals m_signals;
    std::vector<int> m_calls;
    std::vector<std::thread::id> m_threads;
    struct sigaction m_saved[3]{};
};

// The pipes this process holds: descriptor -> the pipe's inode.
std::vector<std::pair<int, std::string>> Pipes()
{
    std::vector<std::pair<int, std::string>> pipes;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!error && target.rfind("pipe:", 0) == 0) pipes.emplace_back(std::stoi(entry.path().filename()), target);
    }
    return pipes;
}

// The pipe is made by the first Start of the process: both of its ends are new here. Each end is
// close-on-exec (a program the console starts, the desktop's spreadsheet application, gets
// neither) and non-blocking (a handler never waits on a full pipe, the reader never on an empty
// one).
TEST_F(TerminationSignalsTest, BothEndsOfThePipeAreCloseOnExecAndNonBlocking)
{
    const auto before = Pipes();
    ASSERT_TRUE(Start());
    std::vector<int> made;
    for (const auto& pipe : Pipes()) {
        if (std::find(before.begin(), before.end(), pipe) == before.end()) made.push_back(pipe.first);
    }
    ASSERT_EQ(made.size(), 2u) << "the pipe was made by an earlier Start of this process";
    for (int fd : made) {
        SCOPED_TRACE(fd);
        EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
        EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    }
    // What a started program holds: none of the two.
    testing_support::TempDir dir;
    const std::string listing = dir.File("fds");
    const std::string command = "ls -l /proc/self/fd > " + listing;
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string seen = ReadFile(listing);
    for (const auto& pipe : Pipes()) {
        if (std::find(made.begin(), made.end(), pipe.first) != made.end()) {
            EXPECT_EQ(seen.find(pipe.second), std::string::npos) << seen;
        }
    }
}

// Each signal becomes one call, in the order they came, on the thread that runs the main
// context, never one from the handler: until the context runs, nothing is called. A signal
// that another thread takes is called here too.
TEST_F(TerminationSignalsTest, EachSignalBecomesOneCallWhereTheMainContextRuns)
{
    ASSERT_TRUE(Start());
    EXPECT_EQ(m_signals.Handled(), (std::vector<int>{SIGTERM, SIGHUP, SIGINT}));
    for (int s : platform::kTerminationSignals) EXPECT_NE(Disposition(s), SIG_DFL) << s;
    // raise: each is handled before it returns, none merges with one still pending.
    for (int s : {SIGTERM, SIGHUP, SIGINT, SIGTERM}) ASSERT_EQ(raise(s), 0);
    EXPECT_TRUE(m_calls.empty());
    RunContext(4);
    RunContext(5, std::chrono::milliseconds(200));  // and no more than one call per signal
    EXPECT_EQ(m_calls, (std::vector<int>{SIGTERM, SIGHUP, SIGINT, SIGTERM}));

    std::thread other([] {
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, SIGHUP);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        raise(SIGHUP);  // handled on this thread
    });
    other.join();
    RunContext(5);
    EXPECT_EQ(m_calls.size(), 5u);
    EXPECT_EQ(m_calls.back(), SIGHUP);
    for (std::thread::id id : m_threads) EXPECT_EQ(id, std::this_thread::get_id());
}

// A signal ignored at the start (a background job of a non-interactive shell has SIGINT
// ignored, nohup ignores SIGHUP) gets no handler and stays ignored; the others are handled. Stop
// gives each its disposition back and drops what came meanwhile.
TEST_F(TerminationSignalsTest, ASignalIgnoredAtTheStartStaysIgnored)
{
    for (int ignored : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(ignored);
        m_calls.clear();
        for (int s : platform::kTerminationSignals) signal(s, s == ignored ? SIG_IGN : SIG_DFL);
        ASSERT_TRUE(Start());
        std::vector<int> others;
        for (int s : platform::kTerminationSignals)
            if (s != ignored) others.push_back(s);
        EXPECT_EQ(m_signals.Handled(), others);
        EXPECT_EQ(Disposition(ignored), SIG_IGN);
        ASSERT_EQ(kill(getpid(), ignored), 0);  // would end this process if it were not ignored
        ASSERT_EQ(kill(getpid(), SIGTERM), 0);
        RunContext(1);
        RunContext(2, std::chrono::milliseconds(200));
        EXPECT_EQ(m_calls, std::vector<int>{SIGTERM});

        // A signal that came after the last run of the context is dropped by Stop, not called.
        ASSERT_EQ(raise(others[1]), 0);
        m_signals.Stop();
        EXPECT_FALSE(m_signals.Watching());
        EXPECT_EQ(Disposition(ignored), SIG_IGN);
        for (int s : others) EXPECT_EQ(Disposition(s), SIG_DFL) << s;
        ASSERT_TRUE(Start());
        RunContext(2, std::chrono::milliseconds(200));
        EXPECT_EQ(m_calls, std::vector<int>{SIGTERM});
        m_signals.Stop();
    }
}

// While it watches, a write into a pipe whose reader has gone fails with EPIPE and the program
// goes on; a program started meanwhile has SIGPIPE as it should, neither ignored nor handled.
// Stop gives SIGPIPE its disposition back.
TEST_F(TerminationSignalsTest, ABrokenPipeFailsTheWriteInsteadOfEndingTheProgram)
{
    struct sigaction before {};
    sigaction(SIGPIPE, nullptr, &before);
    signal(SIGPIPE, SIG_DFL);
    ASSERT_TRUE(Start());
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    errno = 0;
    EXPECT_EQ(write(ends[1], "x", 1), -1);  // would end this process with the default
    EXPECT_EQ(errno, EPIPE);
    close(ends[1]);
    ASSERT_EQ(raise(SIGPIPE), 0);

    // A started program: bit 13 (SIGPIPE) is in neither its ignored nor its caught signals.
    testing_support::TempDir dir;
    const std::string status = dir.File("status");
    ASSERT_EQ(std::system(("grep -E '^Sig(Ign|Cgt)' /proc/self/status > " + status).c_str()), 0);
    const std::string seen = ReadFile(status);
    for (const char* line : {"SigIgn:", "SigCgt:"}) {
        const std::size_t at = seen.find(line);
        ASSERT_NE(at, std::string::npos) << seen;
        const unsigned long long mask = std::stoull(seen.substr(at + 7, 17), nullptr, 16);
        EXPECT_EQ(mask & (1ull << (SIGPIPE - 1)), 0u) << line << " " << seen;
    }

    m_signals.Stop();
    EXPECT_EQ(Disposition(SIGPIPE), SIG_DFL);
    // One ignored at the start stays so, and keeps being so after Stop.
    signal(SIGPIPE, SIG_IGN);
    ASSERT_TRUE(Start());
    EXPECT_EQ(Disposition(SIGPIPE), SIG_IGN);
    m_signals.Stop();
    EXPECT_EQ(Disposition(SIGPIPE), SIG_IGN);
    sigaction(SIGPIPE, &before, nullptr);
}

// One watcher at a time: a second is refused and changes nothing; once the first stops, another
// may start.
TEST_F(TerminationSignalsTest, OneWatcherAtATime)
{
    ASSERT_TRUE(Start());
    std::vector<int> second;
    platform::TerminationSignals other;
    EXPECT_FALSE(other.Start([&](int s) { second.push_back(s); }));
    EXPECT_FALSE(other.Watching());
    other.Stop();  // stops nothing of the first
    ASSERT_EQ(raise(SIGHUP), 0);
    RunContext(1);
    EXPECT_EQ(m_calls, std::vector<int>{SIGHUP});
    EXPECT_TRUE(second.empty());
    m_signals.Stop();
    ASSERT_TRUE(other.Start([&](int s) { second.push_back(s); }));
    ASSERT_EQ(raise(SIGTERM), 0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (second.empty() && std::chrono::steady_clock::now() < end) g_main_context_iteration(nullptr, FALSE);
    EXPECT_EQ(second, std::vector<int>{SIGTERM});
    other.Stop();
}

}  // namespace
