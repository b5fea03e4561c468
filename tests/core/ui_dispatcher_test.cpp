// The UI dispatcher: calls of worker threads run on the UI thread, waits end by completion or abort.
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "core/ui_dispatcher.h"

namespace {

using namespace std::chrono_literals;
using core::UiDispatcher;

// Generous: only a missed wake-up comes near it.
constexpr auto kPatience = 10s;

TEST(UiDispatcher, ProcessInstanceBelongsToTheTestThread)
{
    EXPECT_TRUE(core::Ui().IsUiThread());
    // One dispatcher for the whole process: another thread reaches the same one.
    const UiDispatcher* fromOther = nullptr;
    bool other = true;
    std::thread([&] {
        fromOther = &core::Ui();
        other = core::Ui().IsUiThread();
    }).join();
    EXPECT_EQ(fromOther, &core::Ui());
    EXPECT_FALSE(other);
}

TEST(UiDispatcher, InvokeOnTheUiThreadRunsAtOnce)
{
    UiDispatcher ui;
    std::atomic<bool> abort{false};
    int runs = 0;
    EXPECT_TRUE(ui.Invoke([&] { ++runs; }, abort));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ui.RunPending(), 0);
}

TEST(UiDispatcher, WorkerCallRunsOnTheUiThreadAndWorkerWaitsForIt)
{
    UiDispatcher ui;
    int wakes = 0;
    ui.SetWaker([&] { ++wakes; });  // runs on the worker; read after the join
    std::atomic<bool> abort{false};
    std::atomic<bool> returned{false};
    std::thread::id ranOn;
    bool result = false;
    std::thread worker([&] {
        result = ui.Invoke([&] { ranOn = std::this_thread::get_id(); }, abort);
        returned = true;
        ui.Poke();
    });
    EXPECT_TRUE(ui.WaitUntil([&] { return returned.load(); }, kPatience));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(wakes, 1);
}

TEST(UiDispatcher, RunPendingRunsQueuedCallsInOrder)
{
    UiDispatcher ui;
    std::atomic<bool> abort{false};
    std::vector<int> order;
    std::atomic<int> queued{0};
    ui.SetWaker([&] { ++queued; });
    std::thread first([&] { ui.Invoke([&] { order.push_back(1); }, abort); });
    while (queued.load() < 1) std::this_thread::sleep_for(1ms);
    std::thread second([&] { ui.Invoke([&] { order.push_back(2); }, abort); });
    while (queued.load() < 2) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(ui.RunPending(), 2);
    first.join();
    second.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(UiDispatcher, RunPendingOffTheUiThreadRunsNothing)
{
    UiDispatcher ui;
    int count = -1;
    std::thread([&] { count = ui.RunPending(); }).join();
    EXPECT_EQ(count, 0);
}

// The UI thread waits for a worker that is inside Invoke: the wait runs the call, no deadlock.
TEST(UiDispatcher, JoiningAWorkerInsideInvokeRunsItsCall)
{
    UiDispatcher ui;
    std::atomic<bool> abort{false};
    std::atomic<bool> finished{false};
    int ran = 0;
    std::thread worker([&] {
        ui.Invoke([&] { ++ran; }, abort);
        finished = true;
        ui.Poke();
    });
    EXPECT_TRUE(ui.WaitUntil([&] { return finished.load(); }));  // no time limit
    worker.join();
    EXPECT_EQ(ran, 1);
}

// Abort releases the worker; the call it left behind owns its state and runs harmlessly later.
TEST(UiDispatcher, AbortReleasesTheWorkerAndTheLeftCallOwnsItsState)
{
    UiDispatcher ui;
    std::atomic<bool> abort{false};
    std::atomic<bool> queued{false};
    ui.SetWaker([&] { queued = true; });
    std::weak_ptr<std::string> watch;
    std::string seen;
    bool result = true;
    std::thread worker([&] {
        auto state = std::make_shared<std::string>("owned by the call");
        watch = state;
        result = ui.Invoke([state, &seen] { seen = *state; }, abort);
    });
    while (!queued.load()) std::this_thread::sleep_for(1ms);
    abort = true;
    ui.NotifyAbort();
    worker.join();  // a plain join: the worker must not wait for the UI thread any more
    EXPECT_FALSE(result);
    EXPECT_FALSE(watch.expired()) << "the queued call keeps its state alive";
    EXPECT_EQ(ui.RunPending(), 1);
    EXPECT_EQ(seen, "owned by the call");
    EXPECT_TRUE(watch.expired()) << "the state goes with the call";
}

TEST(UiDispatcher, AbortSetBeforehandQueuesNothing)
{
    UiDispatcher ui;
    std::atomic<bool> abort{true};
    int wakes = 0, ran = 0;
    ui.SetWaker([&] { ++wakes; });
    bool result = true;
    std::thread([&] { result = ui.Invoke([&] { ++ran; }, abort); }).join();
    EXPECT_FALSE(result);
    EXPECT_EQ(ui.RunPending(), 0);
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(wakes, 0);
}

TEST(UiDispatcher, WaitUntilGivesUpAtItsTimeout)
{
    UiDispatcher ui;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ui.WaitUntil([] { return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    EXPECT_TRUE(ui.WaitUntil([] { return true; }, 50ms));
}

// WaitUntil must re-test its condition when poked, on abort and when a call is queued; with a
// long limit, a missed wake-up shows as a wait that lasts the whole limit.
enum class Wake { Poke, NotifyAbort, QueuedCall };

class UiDispatcherWake : public ::testing::TestWithParam<Wake> {};

TEST_P(UiDispatcherWake, WaitUntilWakes)
{
    UiDispatcher ui;
    std::atomic<bool> flag{false};
    std::atomic<bool> abort{false};
    std::atomic<bool> ran{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(20ms);
        switch (GetParam()) {
        case Wake::Poke:
            flag = true;
            ui.Poke();
            break;
        case Wake::NotifyAbort:
            flag = true;
            ui.NotifyAbort();
            break;
        case Wake::QueuedCall: ui.Invoke([&] { ran = true; }, abort); break;
        }
    });
    const auto start = std::chrono::steady_clock::now();
    const bool done = ui.WaitUntil([&] { return flag.load() || ran.load(); }, 60s);
    const auto waited = std::chrono::steady_clock::now() - start;
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_LT(waited, kPatience);
}

INSTANTIATE_TEST_SUITE_P(All, UiDispatcherWake, ::testing::Values(Wake::Poke, Wake::NotifyAbort, Wake::QueuedCall));

TEST(UiDispatcher, BindToCurrentThreadMovesTheUiThread)
{
    UiDispatcher ui;
    std::atomic<bool> abort{false};
    bool workerIsUi = false;
    std::thread::id ranOn;
    std::thread([&] {
        ui.BindToCurrentThread();
        workerIsUi = ui.IsUiThread();
        ui.Invoke([&] { ranOn = std::this_thread::get_id(); }, abort);  // at once: it is the UI now
    }).join();
    EXPECT_TRUE(workerIsUi);
    EXPECT_FALSE(ui.IsUiThread());
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

}  // namespace
