// What a person meets off the main road, on the shown window with real mouse and key events: a
// port typed into the port field, Space pressed again on UPLOAD DATA, an upload whose report
// fails and is tried again once the template is back, a meter that never answers. Each ends in
// one clear box or none, and a way on without a restart. The boxes are the program's real ones.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/gauge.h>
#include <wx/odcombo.h>
#include <wx/vlbox.h>

#include "console/QELApp.h"
#include "core/serial_ports.h"
#include "resources/resource_ids.h"
#include "tests/console/screen/console_on_screen.h"
#include "tests/support/console_fixture.h"
#include "tests/support/processes.h"
#include "tests/support/pty.h"
#include "tests/support/real_input.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_support.h"
#include "tools/sim/meter_sim.h"

using namespace testing_support;

namespace {

class OffTheRoad : public ConsoleOnScreen {
protected:
    std::string Value(int id) { return Dlg().GetDlgItemText(id); }
    std::string Field() { return Dlg().m_comboPort->GetValue().utf8_string(); }
    static std::string Entry(const std::string& path) { return CQELDlg::PortListText(path); }
    bool ReportDone()
    {
        return !Dlg().m_strReportPath.empty() && Dlg().IsDlgItemEnabled(IDC_UPLOAD) && !harness->Opener().paths.empty();
    }

    void ClickOk(InputRoad& road, const std::string& name, std::string* text = nullptr)
    {
        road.Then(
            name, [] { return BoxShown(); },
            [this, text] {
                const std::string shown = ShownMessageBoxText();
                seen.push_back(shown);
                if (text != nullptr) *text = shown;
                const wxRect ok = ShownMessageBoxButton();
                ClickAt(wxPoint(ok.x + ok.width / 2, ok.y + ok.height / 2));
            });
    }
    // Drops the port list with a click on its arrow and clicks entry `index` of `count`.
    void Pick(InputRoad& road, size_t index, size_t count)
    {
        road.Then(
            "click the port list's arrow", [&] { return Dlg().IsShownOnScreen() && !BoxShown(); },
            [&] { ClickAt(ArrowOf(Dlg().m_comboPort)); });
        road.Then(
            "click entry " + std::to_string(index),
            [this, count] {
                wxVListBox* box = PortPopup();
                return Dlg().m_comboPort->IsPopupShown() && box != nullptr && box->GetItemCount() == count;
            },
            [this, index] { ClickAt(EntryOf(Dlg().m_comboPort, index)); });
        road.Then(
            "the list is closed", [&] { return !Dlg().m_comboPort->IsPopupShown(); }, nullptr);
    }
    // Tabs until the focus is in control `id`, as a person does.
    void TabTo(InputRoad& road, int id)
    {
        road.Until(
            "Tab to " + std::to_string(id), [this, id] { return HasFocusWithin(Item(id)); }, [] { PressKey(WXK_TAB); },
            30);
    }
    std::vector<std::string> seen;  // texts of the boxes closed, in order
};

// The field shows one port and another opens: never. A port typed over a picked one leaves no
// entry selected, so OPEN COM asks for a port; the exact text of an entry typed into the field
// selects that entry, and OPEN COM opens it: CONNECT is answered by that meter.
TEST_F(OffTheRoad, TheTypedPortIsTheOneThatOpens)
{
    StderrCapture errors;
    meter_sim::Options first, second;
    first.identification = "METER ONE";
    second.identification = "METER TWO";
    meter_sim::MeterSimulator one(first), two(second);
    core::SerialPortScanRoots().extra = {one.DevicePath(), two.DevicePath()};

    InputRoad road;
    PointerRestsOverTheWindow(road);
    Pick(road, 0, 2);
    road.Then(
        "the field shows the first meter's port",
        [&] { return Field() == Entry(one.DevicePath()) && Dlg().m_comboPort->GetSelection() == 0; }, nullptr);
    TabTo(road, IDC_COMBO_PORT);
    road.Then("select the field's text", nullptr, [] { PressKey('A', wxMOD_CONTROL); });
    road.Then("type another port over it", nullptr, [] { TypeText("/dev/ttyUSB7"); });
    road.Then(
        "the field shows what was typed and no entry is selected",
        [&] { return Field() == "/dev/ttyUSB7" && Dlg().m_comboPort->GetSelection() == wxNOT_FOUND; }, nullptr);
    road.Then("click OPEN COM", nullptr, [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    ClickOk(road, "click OK in the box that asks for a port");
    road.Then(
        "the port stays closed", [&] { return !BoxShown() && !Dlg().m_portOpened; }, nullptr);
    TabTo(road, IDC_COMBO_PORT);
    road.Then("select the field's text again", nullptr, [] { PressKey('A', wxMOD_CONTROL); });
    road.Then("type the second meter's port", nullptr, [&] { TypeText(Entry(two.DevicePath())); });
    road.Then(
        "the second entry is selected",
        [&] { return Field() == Entry(two.DevicePath()) && Dlg().m_comboPort->GetSelection() == 1; }, nullptr);
    road.Then("click OPEN COM", nullptr, [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    road.Then(
        "click CONNECT", [&] { return Dlg().m_portOpened && Value(IDC_OPEN_COM) == "CLOSE COM"; },
        [&] { ClickWindow(Item(IDC_CONNECT)); });
    ClickOk(road, "click OK in the box that says connected");
    road.Then(
        "click EXIT", [] { return !BoxShown(); }, [&] { ClickWindow(Item(IDC_EXIT)); });
    Walk(road, 60000);

    EXPECT_TRUE(road.Finished());
    EXPECT_EQ(seen, (std::vector<std::string>{"PLEASE SELSECT THE COM PORT!", "CONNECT SUCESS!"}));
    EXPECT_EQ(Dlg().m_strMeterId, "METER TWO");
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

// Space on UPLOAD DATA disables it; a second Space must not reach EXIT and end the program in
// the middle of the upload. The focus stays with the person's place and comes back to UPLOAD
// DATA once the report is made.
TEST_F(OffTheRoad, SpaceTwiceOnUploadKeepsTheWindowAndGivesTheFocusBack)
{
    StderrCapture errors;
    meter_sim::Options o;
    o.records = meter_sim::SampleRecords(40);
    o.pace = true;  // about 0.7 s on the wire: the second Space comes while the records do
    meter_sim::MeterSimulator sim(o);
    core::SerialPortScanRoots().extra = {sim.DevicePath()};

    InputRoad road;
    PointerRestsOverTheWindow(road);
    Pick(road, 0, 1);
    road.Then("click OPEN COM", nullptr, [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    road.Then(
        "the port is open", [&] { return Dlg().m_portOpened; }, nullptr);
    TabTo(road, IDC_UPLOAD);
    road.Then("Space uploads", nullptr, [] { PressKey(WXK_SPACE); });
    road.Then(
        "UPLOAD DATA is disabled", [&] { return !Dlg().IsDlgItemEnabled(IDC_UPLOAD); }, nullptr);
    road.Then("Space again", nullptr, [] { PressKey(WXK_SPACE); });
    road.Then("and once more", nullptr, [] { PressKey(WXK_SPACE); });
    road.Then(
        "the report is made", [&] { return ReportDone(); }, nullptr, 30000);
    road.Then(
        "UPLOAD DATA has the focus again", [&] { return HasFocusWithin(Item(IDC_UPLOAD)); }, nullptr, 3000);
    TabTo(road, IDC_EXIT);
    road.Then("Space on EXIT", nullptr, [] { PressKey(WXK_SPACE); });
    Walk(road, 60000);

    EXPECT_TRUE(road.Finished()) << "ended after: " << (road.Done().empty() ? "" : road.Done().back());
    EXPECT_EQ(Dlg().m_listRecords->GetItemCount(), 40);
    EXPECT_EQ(harness->Opener().paths.size(), 1u);
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

// A report that fails (the template is missing) says so in one box; the bar goes back to 0 and
// UPLOAD DATA is enabled, and once the template is back the next upload makes the report.
TEST_F(OffTheRoad, AFailedReportIsTriedAgainOnceTheTemplateIsBack)
{
    StderrCapture errors;
    meter_sim::Options o;
    o.records = meter_sim::SampleRecords(3);
    meter_sim::MeterSimulator sim(o);
    core::SerialPortScanRoots().extra = {sim.DevicePath()};
    const std::string templatePath = harness->Folder().File("savemode.xlsx");
    const std::string kept = harness->Folder().File("kept.xlsx");
    ASSERT_EQ(::rename(templatePath.c_str(), kept.c_str()), 0);

    std::string failure;
    int barAfterFailure = -1;
    InputRoad road;
    Pick(road, 0, 1);
    road.Then("click OPEN COM", nullptr, [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    road.Then(
        "click UPLOAD DATA", [&] { return Dlg().m_portOpened; }, [&] { ClickWindow(Item(IDC_UPLOAD)); });
    ClickOk(road, "click OK in the box that tells of the missing template", &failure);
    road.Then(
        "UPLOAD DATA is enabled again", [&] { return !BoxShown() && Dlg().IsDlgItemEnabled(IDC_UPLOAD); },
        [&] {
            barAfterFailure = Dlg().m_progress->GetValue();
            ::rename(kept.c_str(), templatePath.c_str());
        });
    road.Then("click UPLOAD DATA again", nullptr, [&] { ClickWindow(Item(IDC_UPLOAD)); });
    road.Then(
        "click EXIT when the report is made", [&] { return ReportDone(); }, [&] { ClickWindow(Item(IDC_EXIT)); },
        30000);
    Walk(road, 60000);

    EXPECT_TRUE(road.Finished());
    EXPECT_NE(failure.find("savemode.xlsx"), std::string::npos) << failure;
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(barAfterFailure, 0);
    EXPECT_EQ(Dlg().m_progress->GetValue(), 100);
    EXPECT_TRUE(FileExists(Dlg().m_strReportPath));
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

// A meter that never answers the upload: CLOSE COM ends the wait, and the port opened again on
// a meter that answers gives the report.
TEST_F(OffTheRoad, CloseComEndsAnUploadThatTheMeterNeverAnswers)
{
    StderrCapture errors;
    PtyPair silent;
    ASSERT_TRUE(silent.Ok());
    meter_sim::Options o;
    o.records = meter_sim::SampleRecords(2);
    meter_sim::MeterSimulator sim(o);
    core::SerialPortScanRoots().extra = {silent.SlavePath(), sim.DevicePath()};

    InputRoad road;
    Pick(road, 0, 2);
    road.Then("click OPEN COM", nullptr, [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    road.Then(
        "click UPLOAD DATA", [&] { return Dlg().m_portOpened; }, [&] { ClickWindow(Item(IDC_UPLOAD)); });
    road.Then(
        "nothing comes; click CLOSE COM",
        [&] { return !Dlg().IsDlgItemEnabled(IDC_UPLOAD) && silent.InputPending(silent.MasterFd()) > 0; },
        [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    road.Then(
        "UPLOAD DATA is enabled again",
        [&] { return Value(IDC_OPEN_COM) == "OPEN COM" && Dlg().IsDlgItemEnabled(IDC_UPLOAD); }, nullptr);
    Pick(road, 1, 2);
    road.Then("click OPEN COM on the answering meter", nullptr, [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    road.Then(
        "click UPLOAD DATA", [&] { return Dlg().m_portOpened; }, [&] { ClickWindow(Item(IDC_UPLOAD)); });
    road.Then(
        "click EXIT when the report is made", [&] { return ReportDone(); }, [&] { ClickWindow(Item(IDC_EXIT)); },
        30000);
    Walk(road, 60000);

    EXPECT_TRUE(road.Finished());
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(Dlg().m_listRecords->GetItemCount(), 2);
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

// A port that another program holds is not opened and shared: OPEN COM says it cannot open it,
// whether the other program holds the line's lock (a terminal program) or the lock file that
// names it. Once the other program has let go, OPEN COM opens it, and while the console holds it
// another program is kept out in turn: the line's lock is taken and the lock file names us.
enum class Holder { LineLock, LockFile };

class HeldPort : public OffTheRoad, public ::testing::WithParamInterface<Holder> {
protected:
    // The other program's hold on the line: an open descriptor with the line's lock, or a lock
    // file naming a live process (a child the test starts and ends). Returns whether it is held.
    bool Hold(const std::string& path)
    {
        if (GetParam() == Holder::LockFile) {
            other = std::make_unique<testing_support::ChildProcess>();
            if (!other->Ok()) return false;
            char text[16];
            std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(other->Pid()));
            WriteFile(LockFile(path), text);
            return FileExists(LockFile(path));
        }
        holder = LockLine(path);
        return holder >= 0;
    }
    void LetGo(const std::string& path)
    {
        if (holder >= 0) ::close(holder);
        holder = -1;
        ::unlink(LockFile(path).c_str());
        other.reset();
    }
    // The line's lock as a program started now would try to take it; -1 when it is held.
    static int LockLine(const std::string& path)
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }
    static std::string LockFile(const std::string& path)
    {
        std::string name = path.substr(std::string("/dev/").size());
        for (char& c : name)
            if (c == '/') c = '_';
        return CSerialPort::LockFolder() + "/LCK.." + name;
    }
    void TearDown() override
    {
        if (holder >= 0) ::close(holder);
        other.reset();
        OffTheRoad::TearDown();
    }
    int holder = -1;
    std::unique_ptr<testing_support::ChildProcess> other;
};

TEST_P(HeldPort, IsNotOpenedUntilTheOtherProgramLetsGo)
{
    StderrCapture errors;
    meter_sim::MeterSimulator sim;
    const std::string path = sim.DevicePath();
    core::SerialPortScanRoots().extra = {path};
    ASSERT_TRUE(Hold(path));  // the other program, there first
    bool keptOut = false;
    std::string lockFileText;

    InputRoad road;
    Pick(road, 0, 1);
    road.Then("click OPEN COM", nullptr, [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    ClickOk(road, "click OK in the box that says the port cannot be opened");
    road.Then(
        "the other program lets go; click OPEN COM",
        [&] { return !BoxShown() && !Dlg().m_portOpened && Value(IDC_OPEN_COM) == "OPEN COM"; },
        [&] {
            LetGo(path);
            ClickWindow(Item(IDC_OPEN_COM));
        });
    road.Then(
        "click CONNECT", [&] { return Dlg().m_portOpened && Value(IDC_OPEN_COM) == "CLOSE COM"; },
        [&] {
            const int late = LockLine(path);  // a terminal program started now
            keptOut = late < 0;
            if (late >= 0) ::close(late);
            lockFileText = FileExists(LockFile(path)) ? ReadFile(LockFile(path)) : "";
            ClickWindow(Item(IDC_CONNECT));
        });
    ClickOk(road, "click OK in the box that says connected");
    road.Then(
        "click EXIT", [] { return !BoxShown(); }, [&] { ClickWindow(Item(IDC_EXIT)); });
    Walk(road, 60000);

    EXPECT_TRUE(road.Finished());
    EXPECT_EQ(seen, (std::vector<std::string>{"COM CANN'T OPEN!", "CONNECT SUCESS!"}));
    EXPECT_TRUE(keptOut);
    char ours[16];
    std::snprintf(ours, sizeof ours, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(lockFileText, ours);
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(OffTheRoad, HeldPort, ::testing::Values(Holder::LineLock, Holder::LockFile),
                         [](const ::testing::TestParamInfo<Holder>& info) {
                             return info.param == Holder::LineLock ? "ByTheLinesLock" : "ByALockFile";
                         });

// A report that no application opens: one box names the saved report's full path, and UPLOAD
// DATA is enabled again.
TEST_F(OffTheRoad, AReportNothingOpensIsNamedInTheBox)
{
    StderrCapture errors;
    meter_sim::Options o;
    o.records = meter_sim::SampleRecords(2);
    meter_sim::MeterSimulator sim(o);
    core::SerialPortScanRoots().extra = {sim.DevicePath()};
    harness->Opener().result = false;
    harness->Opener().reason = "no application is registered for files of the type "
                               "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

    std::string text;
    InputRoad road;
    Pick(road, 0, 1);
    road.Then("click OPEN COM", nullptr, [&] { ClickWindow(Item(IDC_OPEN_COM)); });
    road.Then(
        "click UPLOAD DATA", [&] { return Dlg().m_portOpened; }, [&] { ClickWindow(Item(IDC_UPLOAD)); });
    ClickOk(road, "click OK in the box that names the report", &text);
    road.Then(
        "click EXIT", [&] { return !BoxShown() && Dlg().IsDlgItemEnabled(IDC_UPLOAD); },
        [&] { ClickWindow(Item(IDC_EXIT)); });
    Walk(road, 60000);

    EXPECT_TRUE(road.Finished());
    EXPECT_EQ(seen.size(), 1u);
    const std::string report = Dlg().m_strReportPath;
    EXPECT_TRUE(FileExists(report)) << report;
    EXPECT_NE(text.find("\"" + report + "\""), std::string::npos) << text;
    EXPECT_NE(text.find("Open the file by hand."), std::string::npos) << text;
    EXPECT_EQ(Dlg().m_progress->GetValue(), 100);
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

}  // namespace
