#include "platform/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include <glib-unix.h>

namespace platform {

namespace {

// The pipe of the process, made at the first Start and never closed: a handler that runs on
// another thread while Stop gives the dispositions back must never write into a descriptor
// number that meanwhile names another file.
int g_pipe[2] = {-1, -1};
// The write end while an object watches; -1 otherwise (a byte is then not written at all).
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads it");
// The object that watches; only one at a time.
TerminationSignals* g_watcher = nullptr;

void OnTerminationSignal(int signal)
{
    const int savedErrno = errno;
    const int fd = g_writeEnd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signal);
        // A full pipe drops the byte: the signals already in it end the program just the same.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

// SIGPIPE: nothing. The write that raised it fails with EPIPE, and the caller goes on.
void OnBrokenPipe(int) {}

// Whether the disposition is "ignored" (a handler of its own, even one taking SA_SIGINFO, is not).
bool Ignored(const struct sigaction& disposition)
{
    return (disposition.sa_flags & SA_SIGINFO) == 0 && disposition.sa_handler == SIG_IGN;
}

// The disposition that runs handler; a call the signal interrupts goes on.
struct sigaction HandledBy(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return action;
}

bool MakePipe()
{
    if (g_pipe[0] >= 0) return true;
    return ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) == 0;
}

// Reads what the pipe holds; the bytes of signals that came while nobody watched are dropped.
void DropPending()
{
    unsigned char bytes[64];
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {}
}

}  // namespace

TerminationSignals::~TerminationSignals() { Stop(); }

bool TerminationSignals::Start(std::function<void(int)> onSignal)
{
    if (g_watcher != nullptr || !MakePipe()) return false;
    DropPending();
    std::vector<int> handled;
    std::vector<struct sigaction> previous;
    for (int signal : kTerminationSignals) {
        struct sigaction now {};
        if (::sigaction(signal, nullptr, &now) != 0) return false;
        if (Ignored(now)) continue;  // stays ignored
        handled.push_back(signal);
        previous.push_back(now);
    }
    m_onSignal = std::move(onSignal);
    g_watcher = this;
    g_writeEnd.store(g_pipe[1]);
    const struct sigaction action = HandledBy(OnTerminationSignal);
    for (size_t i = 0; i < handled.size(); ++i) {
        if (::sigaction(handled[i], &action, nullptr) != 0) {
            for (size_t j = 0; j < i; ++j) ::sigaction(handled[j], &previous[j], nullptr);
            g_writeEnd.store(-1);
            g_watcher = nullptr;
            m_onSignal = nullptr;
            return false;
        }
    }
    m_handled = std::move(handled);
    m_previous = std::move(previous);
    struct sigaction pipeNow {};
    if (::sigaction(SIGPIPE, nullptr, &pipeNow) == 0 && !Ignored(pipeNow)) {
        const struct sigaction nothing = HandledBy(OnBrokenPipe);
        m_pipeHandled = ::sigaction(SIGPIPE, &nothing, &m_previousPipe) == 0;
    }
    m_source = g_unix_fd_add(
        g_pipe[0], G_IO_IN,
        [](gint, GIOCondition, gpointer self) -> gboolean {
            static_cast<TerminationSignals*>(self)->Drain();
            return G_SOURCE_CONTINUE;
        },
        this);
    return true;
}

void TerminationSignals::Stop()
{
    if (g_watcher != this) return;
    for (size_t i = 0; i < m_handled.size(); ++i) ::sigaction(m_handled[i], &m_previous[i], nullptr);
    if (m_pipeHandled) ::sigaction(SIGPIPE, &m_previousPipe, nullptr);
    m_pipeHandled = false;
    g_writeEnd.store(-1);
    if (m_source != 0) g_source_remove(m_source);
    m_source = 0;
    m_handled.clear();
    m_previous.clear();
    m_onSignal = nullptr;
    g_watcher = nullptr;
}

void TerminationSignals::Drain()
{
    unsigned char bytes[64];
    for (;;) {
        const ssize_t n = ::read(g_pipe[0], bytes, sizeof bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // EAGAIN: empty
        for (ssize_t i = 0; i < n; ++i) {
            if (m_onSignal) m_onSignal(bytes[i]);
        }
    }
}

}  // namespace platform
