// Runs calls of worker threads on the UI thread, synchronously, the way a window message sent
// from another thread is handled by the window's own thread.
//
// A worker queues a call and waits until the UI thread has run it, or until its abort flag is set.
// The UI thread runs queued calls from its event loop (the waker posts an event that calls
// RunPending) and also while it waits for a worker to end (WaitUntil), so joining a worker that is
// inside a call cannot deadlock. A queued call owns its state: it may run after its worker gave up.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace core {

class UiDispatcher {
public:
    UiDispatcher();

    // The calling thread becomes the UI thread (the constructing thread is the first one).
    void BindToCurrentThread();
    bool IsUiThread() const;

    // From any thread: run fn on the UI thread and wait until it has run. On the UI thread fn runs
    // at once. Returns true when fn ran, false when the wait was given up because abort became true
    // (fn may still run later, or never).
    bool Invoke(std::function<void()> fn, const std::atomic<bool>& abort);

    // Wakes every worker waiting in Invoke so that it re-reads its abort flag.
    void NotifyAbort();

    // On the UI thread: runs every call queued so far. Returns the number run.
    int RunPending();

    // On the UI thread: waits until done() holds, running queued calls meanwhile. A timeout of
    // zero waits without limit. Returns done().
    bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

    // Wakes a UI thread blocked in WaitUntil so that it re-tests its condition.
    void Poke();

    // Called, from the queuing thread, after each call is queued: the program posts an event to
    // its event loop here. Tests leave it empty and pump with RunPending or WaitUntil.
    void SetWaker(std::function<void()> waker);

private:
    struct Call {
        std::function<void()> fn;
        bool done = false;
    };
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;  // signalled when a call is queued, finished, or on Poke/abort
    std::deque<std::shared_ptr<Call>> m_queue;
    std::uint64_t m_generation = 0;  // bumped when a call is queued, on Poke and NotifyAbort
    std::function<void()> m_waker;
    std::thread::id m_uiThread;
};

// The process's dispatcher.
UiDispatcher& Ui();

}  // namespace core
