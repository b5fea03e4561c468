// The port list on the shown window under real input: every way a person drops it down (a click
// on the arrow, a click on the entry, Alt+Down, F4) rescans the ports first, so the list that
// opens already shows what is there now, also when nothing is there; and the chosen port reads
// whole in the narrow entry.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/textctrl.h>
#include <wx/vlbox.h>

#include "core/serial_ports.h"
#include "resources/resource_ids.h"
#include "tests/console/screen/console_on_screen.h"
#include "tests/support/console_fixture.h"
#include "tests/support/real_input.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class PortListOnScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        auto& roots = core::SerialPortScanRoots();
        saved = roots;
        roots.sysClassTty = (fs::path(sys.Path()) / "class/tty").string();
        roots.dev = "/dev";
        roots.extra.clear();
        fs::create_directories(roots.sysClassTty);
    }
    void TearDown() override { core::SerialPortScanRoots() = saved; }

    // A port with a driver in the fake tree, as a plugged-in adapter shows there.
    void Plug(const std::string& name)
    {
        const fs::path dev = fs::path(core::SerialPortScanRoots().sysClassTty) / name / "device";
        fs::create_directories(dev / "driver");
    }
    void Unplug(const std::string& name) { fs::remove_all(fs::path(core::SerialPortScanRoots().sysClassTty) / name); }

    static std::vector<std::string> Entries(CQELDlg& d)
    {
        std::vector<std::string> out;
        for (unsigned i = 0; i < d.m_comboPort->GetCount(); ++i)
            out.push_back(d.m_comboPort->GetString(i).utf8_string());
        return out;
    }
    // The dropped list shows all of its entries, measured and placed when it opened.
    static bool ShowsAll(CQELDlg& d)
    {
        wxVListBox* box = DroppedList(d.m_comboPort);
        if (box == nullptr || !d.m_comboPort->IsPopupShown()) return false;
        if (box->GetItemCount() != d.m_comboPort->GetCount()) return false;
        const size_t n = box->GetItemCount();
        return n == 0 || box->GetItemRect(n - 1).GetBottom() < box->GetClientSize().y;
    }

    // The list ignores a click on its arrow for a short time after it closed (so the click that
    // closes it does not open it again); a person's next click comes later than that.
    static void AfterClosing() { PumpEvents(250); }

    TempDir sys;
    core::SerialPortRoots saved;
};

TEST(PortListText, DeviceNamesLoseTheirFolderOtherPathsStayWhole)
{
    const struct {
        const char* path;
        const char* shown;
    } kCases[] = {
        {"/dev/ttyUSB0", "ttyUSB0"},
        {"/dev/pts/12", "pts/12"},
        {"/dev/", "/dev/"},
        {"/devices/ttyS0", "/devices/ttyS0"},
        {"/tmp/dev/ttyS1", "/tmp/dev/ttyS1"},
        {"", ""},
    };
    for (const auto& c : kCases) EXPECT_EQ(CQELDlg::PortListText(c.path), c.shown) << c.path;
}

TEST_F(PortListOnScreen, EveryWayOfDroppingItDownRescansBeforeItOpens)
{
    StderrCapture errors;
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    int drops = 0;
    d.m_comboPort->Bind(wxEVT_COMBOBOX_DROPDOWN, [&](wxCommandEvent& e) {
        ++drops;
        e.Skip();
    });
    d.Show();
    ASSERT_TRUE(WaitFor([&] { return d.IsShownOnScreen(); }));
    d.SetDlgItemText(IDC_OPEN_COM, "stale");

    const struct {
        const char* way;
        std::function<void()> plugging;
        std::function<void()> drop;
        std::vector<std::string> expected;
    } kCases[] = {
        {"a click on the arrow, no ports at all", [] {}, [&] { ClickAt(ArrowOf(d.m_comboPort)); }, {}},
        {"a click on the entry, one port plugged in",
         [&] { Plug("ttyUSB0"); },
         [&] { ClickWindow(d.m_comboPort->GetTextCtrl()); },
         {"ttyUSB0"}},
        {"Alt+Down, a second port",
         [&] { Plug("ttyACM0"); },
         [] { PressKey(WXK_DOWN, wxMOD_ALT); },
         {"ttyACM0", "ttyUSB0"}},
        {"F4, the first port pulled out", [&] { Unplug("ttyUSB0"); }, [] { PressKey(WXK_F4); }, {"ttyACM0"}},
    };
    int expectedDrops = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.way);
        c.plugging();
        d.m_comboPort->SetFocus();
        ASSERT_TRUE(WaitFor([&] { return HasFocusWithin(d.m_comboPort); }));
        c.drop();
        ++expectedDrops;
        ASSERT_TRUE(WaitFor([&] { return d.m_comboPort->IsPopupShown(); })) << "the list did not open";
        EXPECT_EQ(drops, expectedDrops);
        EXPECT_EQ(Entries(d), c.expected);
        EXPECT_TRUE(ShowsAll(d));
        EXPECT_EQ(d.GetDlgItemText(IDC_OPEN_COM), "OPEN COM");
        d.SetDlgItemText(IDC_OPEN_COM, "stale");
        PressKey(WXK_ESCAPE);
        ASSERT_TRUE(WaitFor([&] { return !d.m_comboPort->IsPopupShown(); })) << "Escape did not close the list";
        EXPECT_TRUE(d.IsShown()) << "Escape in the list ended the window";
        AfterClosing();
    }
    d.Hide();
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

TEST_F(PortListOnScreen, TheChosenPortReadsWholeInTheEntryInEveryLanguage)
{
    Plug("ttyUSB0");
    Plug("ttyACM0");
    core::SerialPortScanRoots().extra = {"/dev/pts/12"};
    for (const char* item : {"0", "1", "2"}) {
        SCOPED_TRACE(std::string("language ") + item);
        ConsoleOptions o;
        o.languageFile = ShippedLanguageFile(item);
        ConsoleHarness h(o);
        CQELDlg& d = h.Dlg();
        d.Show();
        ASSERT_TRUE(WaitFor([&] { return d.IsShownOnScreen(); }));
        const std::vector<std::string> paths = {"/dev/pts/12", "/dev/ttyACM0", "/dev/ttyUSB0"};
        for (size_t i = 0; i < paths.size(); ++i) {
            SCOPED_TRACE(paths[i]);
            ClickAt(ArrowOf(d.m_comboPort));
            ASSERT_TRUE(WaitFor([&] { return ShowsAll(d) && d.m_comboPort->GetCount() == paths.size(); }));
            ClickAt(EntryOf(d.m_comboPort, i));
            ASSERT_TRUE(WaitFor([&] {
                return !d.m_comboPort->IsPopupShown() && d.m_comboPort->GetSelection() == static_cast<int>(i);
            }));
            EXPECT_EQ(std::string(d.m_portNames[i]), paths[i]);  // the table keeps the path that is opened

            wxTextCtrl* entry = d.m_comboPort->GetTextCtrl();
            ASSERT_TRUE(WaitFor([&] { return entry->GetValue().utf8_string() == CQELDlg::PortListText(paths[i]); }));
            // The entry's own text layout against the room the entry gives its text.
            int textWidth = 0, textHeight = 0;
            GdkRectangle area{};
            GtkEntry* gtkEntry = GTK_ENTRY(entry->GetHandle());
            pango_layout_get_pixel_size(gtk_entry_get_layout(gtkEntry), &textWidth, &textHeight);
            gtk_entry_get_text_area(gtkEntry, &area);
            EXPECT_GT(textWidth, 0);
            EXPECT_LE(textWidth, area.width) << entry->GetValue();
            // and the entry lies inside the window, beside the port-state icon, not under it
            EXPECT_TRUE(d.GetClientRect().Contains(d.m_comboPort->GetRect()));
            EXPECT_FALSE(d.m_comboPort->GetRect().Intersects(d.FindWindow(IDC_ICON_PORT)->GetRect()));
            AfterClosing();
        }
        d.Hide();
    }
}

}  // namespace
