// Start-up and the main window: title, controls at their template places, paths, the About box,
// the ways the run ends, and a screenshot of the window.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/odcombo.h>
#include <wx/statbmp.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include "console/AboutDlg.h"
#include "console/QELApp.h"
#include "resources/resource_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/real_input.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override { QEL_REQUIRE_DISPLAY(); }
};

TEST_F(Startup, WindowHasItsTitleAndEveryControlAtItsTemplatePlace)
{
    // Without a language file no caption is changed: the window shows its template's.
    ConsoleOptions noLanguage;
    noLanguage.languageFile = kNoFile;
    ConsoleHarness h(noLanguage);
    CQELDlg& d = h.Dlg();
    EXPECT_EQ(d.GetTitle().utf8_string(), "QELV3.0");
    // The shown controls of the main window's template: id, place in dialog units, caption.
    struct Shown {
        int id;
        int x, y, w, h;
        const char* caption;
    } const shown[] = {
        {1, 304, 186, 69, 23, "退出"},
        {1000, 24, 25, 59, 70, ""},
        {1001, 117, 20, 59, 24, "打開串口"},
        {1002, 212, 19, 58, 24, "連接  "},
        {1003, 293, 19, 59, 24, "斷開"},
        {1039, 16, 12, 357, 43, "串口操作"},
        {1029, 21, 84, 37, 8, " 公司名稱"},
        {1030, 216, 82, 41, 8, "儀錶 類型"},
        {1031, 20, 108, 42, 8, "儀錶編號"},
        {1005, 89, 83, 104, 14, ""},
        {1006, 274, 79, 86, 14, ""},
        {1007, 89, 108, 104, 14, ""},
        {1032, 20, 137, 43, 8, "测试操作人"},
        {1033, 234, 134, 20, 8, "備註"},
        {1008, 89, 133, 104, 14, ""},
        {1009, 276, 135, 86, 14, ""},
        {1040, 15, 66, 357, 93, "填寫使用者資訊"},
        {1011, 14, 186, 76, 23, "上傳資料"},
        {1027, 88, 21, 20, 20, ""},
        {1052, 14, 217, 358, 14, ""},
    };
    for (const Shown& c : shown) {
        wxWindow* w = d.FindWindow(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        EXPECT_TRUE(w->IsShown()) << c.id;
        const wxPoint at = d.ConvertDialogToPixels(wxPoint(c.x, c.y));
        const wxPoint size = d.ConvertDialogToPixels(wxPoint(c.w, c.h));
        if (c.id == 1000) {
            // GTK gives a drop-down combo box its own height: only the place and width count.
            EXPECT_EQ(w->GetPosition(), at);
            EXPECT_EQ(w->GetSize().x, size.x);
        } else {
            EXPECT_EQ(w->GetRect(), wxRect(at.x, at.y, size.x, size.y)) << c.id;
        }
        EXPECT_EQ(w->GetLabel().utf8_string(), c.caption) << c.id;
    }
    // The hidden controls with an id of their own, and their template captions.
    struct Hidden {
        int id;
        const char* caption;
    } const hidden[] = {
        {1010, nullptr},    {1012, "导出数据"},  {1013, "刪除全部"},     {1014, "保存或列印"}, {1015, nullptr},
        {1016, nullptr},    {1017, nullptr},     {1018, nullptr},        {1019, nullptr},      {1034, "年"},
        {1035, "月"},       {1036, "日"},        {1037, "時"},           {1038, "分"},         {1020, "時間設定"},
        {1021, "功率校準"}, {1022, nullptr},     {1023, "恢復出廠設定"}, {1041, "時間設定"},   {1042, "校準"},
        {1026, nullptr},    {1043, "语言切换:"}, {1028, nullptr},        {1044, "中文"},       {1045, "ENGILSH"},
        {1046, "1310nm"},   {1047, "1490nm"},    {1048, "1550nm"},       {1049, "FTCAL"},      {1050, "Static"},
        {1051, nullptr},
    };
    for (const Hidden& c : hidden) {
        wxWindow* w = d.FindWindow(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        EXPECT_FALSE(w->IsShown()) << c.id;
        if (c.caption != nullptr) {
            EXPECT_EQ(w->GetLabel().utf8_string(), c.caption) << c.id;
        }
    }
    // The controls the console works through are bound.
    EXPECT_NE(d.m_listRecords, nullptr);
    EXPECT_EQ(d.FindWindow(IDC_LIST_RECORDS), d.m_listRecords);  // the editable list in the template's place
    EXPECT_TRUE(d.m_listRecords->HasEditLabelsStyle());
    EXPECT_NE(d.m_comboPort, nullptr);
    EXPECT_NE(d.m_comboLanguage, nullptr);
    EXPECT_NE(d.m_progress, nullptr);
    EXPECT_EQ(d.m_comboLanguage->GetCount(), 3u);
    EXPECT_EQ(d.m_listRecords->GetBkColor(), wxColour(204, 204, 204));
    // The eight icon buttons, in the template's places, each with its one icon in the 3-D look.
    const int controls[8] = {IDC_UPLOAD,   IDC_EXPORT, IDC_DELETE_ALL,      IDC_SAVE_PRINT,
                             IDC_TIME_SET, IDC_EXIT,   IDC_POWER_CALIBRATE, IDC_RESET};
    for (size_t i = 0; i < 8; ++i) {
        CButtonNX* b = d.m_buttons[i];
        ASSERT_NE(b, nullptr) << i;
        EXPECT_EQ(d.FindWindow(controls[i]), b) << i;
        EXPECT_TRUE(b->m_icons[0].hIcon.IsOk()) << i;
        EXPECT_EQ(b->m_icons[0].width, 32u) << i;
        EXPECT_FALSE(b->m_icons[1].hIcon.IsOk()) << i;
        EXPECT_FALSE(b->m_flat) << i;
    }
    for (size_t i = 8; i < 20; ++i) EXPECT_EQ(d.m_buttons[i], nullptr);
    EXPECT_EQ(d.GetDefaultItem(), d.m_buttons[5]);
    EXPECT_TRUE(d.m_hIconPortOpen.IsOk());
    EXPECT_EQ(StateIconShown(d.m_iconPort), 131) << "port closed";
    EXPECT_EQ(StateIconShown(d.m_iconMeter), 133) << "meter disconnected";
    EXPECT_TRUE(d.m_hIcon.IsOk());
}

TEST_F(Startup, PathsComeFromTheCurrentDirectory)
{
    ConsoleHarness h;
    const std::string dir = CQELDlg::CurrentDirectory();
    EXPECT_EQ(dir, h.Folder().Path());
    EXPECT_EQ(h.Dlg().m_strTemplatePath, dir + "/savemode.xlsx");
    EXPECT_EQ(h.Dlg().m_strOutputDir, dir + "/savefile/");
}

TEST_F(Startup, AVeryLongCurrentDirectoryIsReadWhole)
{
    TempDir base;
    std::string deep = base.Path();
    while (deep.size() < 600) {
        deep += "/a-rather-long-folder-name-for-the-test";
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    }
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(deep.c_str()), 0);
    EXPECT_EQ(CQELDlg::CurrentDirectory(), deep);
    ASSERT_EQ(chdir(old), 0);
}

TEST_F(Startup, AboutBoxOpensFromTheContextMenuAndReturns)
{
    ConsoleHarness h;
    const wxMenu* menu = h.Dlg().SystemMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->GetMenuItemCount(), 1u);
    const wxMenuItem* item = menu->FindItemByPosition(0);
    EXPECT_EQ(item->GetId(), IDM_ABOUTBOX);
    EXPECT_EQ(item->GetItemLabel().utf8_string(), "关于 QEL(&A)...");

    bool seen = false;
    std::string title;
    // The About box is modal: close it from the event loop once it is up.
    wxTheApp->CallAfter([&] {
        for (wxWindow* w : wxTopLevelWindows) {
            if (auto* about = dynamic_cast<CAboutDlg*>(w); about && about->IsModal()) {
                seen = true;
                title = about->GetTitle().utf8_string();
                wxCommandEvent ok(wxEVT_BUTTON, IDOK);
                ok.SetEventObject(about->FindWindow(IDOK));
                about->ProcessWindowEvent(ok);
            }
        }
    });
    // Choosing the entry of the context menu.
    wxCommandEvent choose(wxEVT_MENU, IDM_ABOUTBOX);
    h.Dlg().ProcessWindowEvent(choose);
    EXPECT_TRUE(seen);
    EXPECT_EQ(title, "关于 QEL");
    EXPECT_EQ(h.Boxes().Count(), 0u);
    EXPECT_EQ(h.Dlg().GetTitle().utf8_string(), "QELV3.0");
}

TEST_F(Startup, ExitEnterAndEscapeEndTheRun)
{
    struct Case {
        const char* name;
        int expected;
    } cases[] = {{"EXIT", IDOK}, {"Enter in an edit box", IDOK}, {"Escape", IDCANCEL}};
    for (const auto& c : cases) {
        ConsoleHarness h;
        CQELDlg& d = h.Dlg();
        int result = -1;
        wxTheApp->CallAfter([&] {
            std::string name = c.name;
            if (name == "EXIT") {
                wxCommandEvent click(wxEVT_BUTTON, IDC_EXIT);
                click.SetEventObject(d.FindWindow(IDC_EXIT));
                d.ProcessWindowEvent(click);
            } else {
                auto* edit = dynamic_cast<wxTextCtrl*>(d.FindWindow(IDC_EDIT_COMPANY));
                edit->SetFocus();
                PumpEvents(100);
                wxUIActionSimulator sim;
                sim.Char(name == "Escape" ? WXK_ESCAPE : WXK_RETURN);
            }
        });
        // A safety net: a run that did not end is ended with a value no case expects.
        wxTimer guard;
        guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            if (d.IsModal()) d.EndModal(-2);
        });
        guard.StartOnce(5000);
        result = d.ShowModal();
        guard.Stop();
        EXPECT_EQ(result, c.expected) << c.name;
    }
}

// The start-up steps run once, when the window is made: showing it (as the program's modal run
// does, or plainly) runs none of them again. A second run would read the language file again,
// which by then chooses Italian.
TEST_F(Startup, ShowingTheWindowRunsNoStartUpStepAgain)
{
    for (const bool modal : {true, false}) {
        SCOPED_TRACE(modal ? "DoModal" : "Show");
        ConsoleHarness h;  // English
        CQELDlg& d = h.Dlg();
        ASSERT_EQ(d.GetDlgItemText(IDC_CONNECT), "CONNECT");
        WriteFile(h.Folder().File("language.ini"), ShippedLanguageFile("2"));
        d.SetDlgItemText(IDC_EDIT_COMPANY, "ACME");

        std::string connect, company;
        bool shown = false;
        auto look = [&] {
            shown = d.IsShownOnScreen();
            connect = d.GetDlgItemText(IDC_CONNECT);
            company = d.GetDlgItemText(IDC_EDIT_COMPANY);
        };
        if (modal) {
            wxTimer seen;
            seen.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
                if (!d.IsModal() || !d.IsShownOnScreen()) return;
                seen.Stop();
                PumpEvents(100);
                look();
                d.EndModal(IDOK);
            });
            seen.Start(20);
            wxTimer guard;  // a run that did not end is ended with a value the test does not expect
            guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
                if (d.IsModal()) d.EndModal(-2);
            });
            guard.StartOnce(5000);
            EXPECT_EQ(d.DoModal(), IDOK);
        } else {
            d.Show();
            ASSERT_TRUE(WaitFor([&] { return d.IsShownOnScreen(); }));
            PumpEvents(100);
            look();
            d.Hide();
        }
        EXPECT_TRUE(shown);
        EXPECT_EQ(connect, "CONNECT");
        EXPECT_EQ(company, "ACME");
        EXPECT_EQ(d.m_comboLanguage->GetCount(), 3u);
        EXPECT_EQ(d.m_comboLanguage->GetSelection(), 1);  // ENGLISH
    }
}

TEST_F(Startup, ScreenshotOfTheMainWindow)
{
    ConsoleHarness h;
    h.Dlg().Show();
    PumpEvents(300);
    const std::string png = std::string(QEL_BINARY_DIR) + "/main-window.png";
    ASSERT_TRUE(SaveWindowPng(&h.Dlg(), png));
    wxImage shot(wxString::FromUTF8(png), wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(shot.IsOk());
    EXPECT_EQ(shot.GetSize(), h.Dlg().GetSize());
    h.Dlg().Hide();
}

}  // namespace
