#include "core/ui_dispatcher.h"

namespace core {

UiDispatcher::UiDispatcher() : m_uiThread(std::this_thread::get_id()) {}

void UiDispatcher::BindToCurrentThread()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uiThread = std::this_thread::get_id();
}

bool UiDispatcher::IsUiThread() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uiThread == std::this_thread::get_id();
}

bool UiDispatcher::Invoke(std::function<void()> fn, const std::atomic<bool>& abort)
{
    if (IsUiThread()) {
        fn();
        return true;
    }
    auto call = std::make_shared<Call>();
    call->fn = std::move(fn);
    std::function<void()> waker;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // A worker that has already been told to give up queues nothing more.
        if (abort.load()) return false;
        m_queue.push_back(call);
        ++m_generation;
        waker = m_waker;
    }
    m_cv.notify_all();
    if (waker) waker();

    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [&] { return call->done || abort.load(); });
    return call->done;
}

void UiDispatcher::NotifyAbort()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_generation;
    }
    m_cv.notify_all();
}

int UiDispatcher::RunPending()
{
    if (!IsUiThread()) return 0;
    int count = 0;
    for (;;) {
        std::shared_ptr<Call> call;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_queue.empty()) break;
            call = std::move(m_queue.front());
            m_queue.pop_front();
        }
        // The call is off the queue before it runs, so a call that opens a nested event loop
        // (a modal box) can have later calls run from there.
        std::function<void()> fn = std::move(call->fn);
        if (fn) fn();
        fn = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            call->done = true;
        }
        m_cv.notify_all();
        ++count;
    }
    return count;
}

bool UiDispatcher::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const bool limited = timeout.count() > 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::uint64_t seen;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            seen = m_generation;
        }
        RunPending();
        if (done()) return true;

        std::unique_lock<std::mutex> lock(m_mutex);
        auto woken = [&] { return m_generation != seen || !m_queue.empty(); };
        if (!limited) {
            m_cv.wait(lock, woken);
        } else if (!m_cv.wait_until(lock, deadline, woken)) {
            lock.unlock();
            RunPending();
            return done();
        }
    }
}

void UiDispatcher::Poke()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_generation;
    }
    m_cv.notify_all();
}

void UiDispatcher::SetWaker(std::function<void()> waker)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_waker = std::move(waker);
}

UiDispatcher& Ui()
{
    static UiDispatcher instance;
    return instance;
}

}  // namespace core
