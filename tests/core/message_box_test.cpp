// The message-box service: the registry, the recording fake, the default service and boxes asked
// for on a worker thread.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "core/message_box.h"
#include "core/ui_dispatcher.h"
#include "tests/support/recording_message_boxes.h"

namespace {

using namespace std::chrono_literals;
using core::MessageBoxService;
using core::ShowMessageBox;
using testing_support::RecordingMessageBoxes;

TEST(MessageBoxes, RecordingFakeInstallsAndRestores)
{
    core::IMessageBoxService* before = &MessageBoxService();
    {
        RecordingMessageBoxes outer;
        EXPECT_EQ(&MessageBoxService(), &outer);
        {
            RecordingMessageBoxes inner;
            EXPECT_EQ(&MessageBoxService(), &inner);
        }
        EXPECT_EQ(&MessageBoxService(), &outer);
    }
    EXPECT_EQ(&MessageBoxService(), before);
}

TEST(MessageBoxes, NullServiceRestoresTheDefaultOne)
{
    core::IMessageBoxService* standard = &MessageBoxService();
    RecordingMessageBoxes fake;
    core::IMessageBoxService* previous = core::SetMessageBoxService(nullptr);
    EXPECT_EQ(previous, &fake);
    EXPECT_EQ(&MessageBoxService(), standard);
    core::SetMessageBoxService(&fake);  // the fake's destructor restores the default one again
}

TEST(MessageBoxes, WithoutAWindowServiceTheTextGoesToStderrAndNothingIsConfirmed)
{
    core::SetDefaultMessageBoxService(nullptr);
    ::testing::internal::CaptureStderr();
    const int okCancel = ShowMessageBox(nullptr, "Port: /dev/ttyUSB0", "QEL", MB_OKCANCEL | MB_ICONQUESTION);
    const int ok = ShowMessageBox(nullptr, "done", "QEL", MB_OK);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(okCancel, IDCANCEL);
    EXPECT_EQ(ok, IDOK);
    EXPECT_EQ(err, "QEL: Port: /dev/ttyUSB0\nQEL: done\n");
}

TEST(MessageBoxes, RecordsEveryBoxAndAnswersFromTheScript)
{
    RecordingMessageBoxes boxes;
    boxes.Script({IDCANCEL, IDOK});
    EXPECT_EQ(ShowMessageBox(nullptr, "first", "QEL", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(ShowMessageBox(nullptr, "second", "QEL", MB_OKCANCEL | MB_ICONQUESTION), IDOK);
    EXPECT_EQ(ShowMessageBox(nullptr, "third", "Varo", MB_OK), IDOK) << "empty script answers IDOK";
    ASSERT_EQ(boxes.Count(), 3u);
    const auto all = boxes.Boxes();
    EXPECT_EQ(all[0].text, "first");
    EXPECT_EQ(all[1].style, MB_OKCANCEL | MB_ICONQUESTION);
    EXPECT_EQ(all[2].caption, "Varo");
    EXPECT_EQ(boxes.Last().text, "third");
    EXPECT_EQ(boxes.Last().owner, nullptr);
    boxes.Clear();
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(boxes.Last().text, "");
}

TEST(MessageBoxes, WorkerBoxIsShownByTheUiThread)
{
    RecordingMessageBoxes boxes;
    boxes.Script({IDCANCEL});
    std::atomic<int> answer{0};
    std::thread worker([&] {
        answer = ShowMessageBox(nullptr, "from the worker", "Application Error", MB_OK | MB_ICONSTOP);
        core::Ui().Poke();
    });
    EXPECT_TRUE(core::Ui().WaitUntil([&] { return answer.load() != 0; }, 10s));
    worker.join();
    EXPECT_EQ(answer.load(), IDCANCEL);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last().text, "from the worker");
    EXPECT_EQ(boxes.Last().style, MB_OK | MB_ICONSTOP);
}

TEST(MessageBoxes, AbortedWorkerBoxAnswersCancel)
{
    RecordingMessageBoxes boxes;
    boxes.Script({IDOK});
    std::atomic<bool> abort{false};
    std::atomic<bool> queued{false};
    core::Ui().SetWaker([&] { queued = true; });
    int answer = 0;
    std::thread worker([&] { answer = ShowMessageBox(nullptr, "never answered", "QEL", MB_OKCANCEL, &abort); });
    while (!queued.load()) std::this_thread::sleep_for(1ms);
    abort = true;
    core::Ui().NotifyAbort();
    worker.join();
    core::Ui().SetWaker(nullptr);
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_EQ(core::Ui().RunPending(), 1);  // the box left behind runs without its asker
    EXPECT_EQ(boxes.Count(), 1u);
}

}  // namespace
