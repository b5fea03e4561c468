// The dialog templates as data and the builder that makes their controls.
#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/dialog.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/image.h>
#include <wx/odcombo.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/vlbox.h>

#include "platform/dialog_template.h"
#include "platform/report_list.h"
#include "resources/resource_ids.h"
#include "tests/support/real_input.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

namespace {

using platform::ControlKind;
using platform::ControlTemplate;
using platform::DialogTemplate;
namespace Style = platform::Style;

// ---- the templates as data ----

struct ShownRow {
    int id;
    ControlKind kind;
    int x, y, w, h;
    const char* caption;
};

// The main window's shown controls, in tab order, as the designer laid them out.
const ShownRow kShown102[] = {
    {1, ControlKind::PushButton, 304, 186, 69, 23, "退出"},
    {1000, ControlKind::DropDownCombo, 24, 25, 59, 70, ""},
    {1001, ControlKind::PushButton, 117, 20, 59, 24, "打開串口"},
    {1002, ControlKind::PushButton, 212, 19, 58, 24, "連接  "},
    {1003, ControlKind::PushButton, 293, 19, 59, 24, "斷開"},
    {1039, ControlKind::GroupBox, 16, 12, 357, 43, "串口操作"},
    {1029, ControlKind::Text, 21, 84, 37, 8, " 公司名稱"},
    {1030, ControlKind::Text, 216, 82, 41, 8, "儀錶 類型"},
    {1031, ControlKind::Text, 20, 108, 42, 8, "儀錶編號"},
    {1005, ControlKind::Edit, 89, 83, 104, 14, ""},
    {1006, ControlKind::Edit, 274, 79, 86, 14, ""},
    {1007, ControlKind::Edit, 89, 108, 104, 14, ""},
    {1032, ControlKind::Text, 20, 137, 43, 8, "测试操作人"},
    {1033, ControlKind::Text, 234, 134, 20, 8, "備註"},
    {1008, ControlKind::Edit, 89, 133, 104, 14, ""},
    {1009, ControlKind::Edit, 276, 135, 86, 14, ""},
    {1040, ControlKind::GroupBox, 15, 66, 357, 93, "填寫使用者資訊"},
    {1011, ControlKind::PushButton, 14, 186, 76, 23, "上傳資料"},
    {1027, ControlKind::IconStatic, 88, 21, 20, 20, ""},
    {1052, ControlKind::Progress, 14, 217, 358, 14, ""},
};

struct HiddenRow {
    int id;
    ControlKind kind;
    const char* caption;
};

const HiddenRow kHidden102[] = {
    {1010, ControlKind::ListView, "List1"},
    {1012, ControlKind::PushButton, "导出数据"},
    {1013, ControlKind::PushButton, "刪除全部"},
    {1014, ControlKind::PushButton, "保存或列印"},
    {-1, ControlKind::Text, "20"},
    {1015, ControlKind::Edit, ""},
    {1016, ControlKind::Edit, ""},
    {1017, ControlKind::Edit, ""},
    {1018, ControlKind::Edit, ""},
    {1019, ControlKind::Edit, ""},
    {1034, ControlKind::Text, "年"},
    {1035, ControlKind::Text, "月"},
    {1036, ControlKind::Text, "日"},
    {1037, ControlKind::Text, "時"},
    {1038, ControlKind::Text, "分"},
    {1020, ControlKind::PushButton, "時間設定"},
    {1021, ControlKind::PushButton, "功率校準"},
    {1022, ControlKind::Edit, ""},
    {-1, ControlKind::Text, "dBm"},
    {1023, ControlKind::PushButton, "恢復出廠設定"},
    {1041, ControlKind::GroupBox, "時間設定"},
    {1042, ControlKind::GroupBox, "校準"},
    {1026, ControlKind::DropDownCombo, ""},
    {1043, ControlKind::Text, "语言切换:"},
    {1028, ControlKind::IconStatic, ""},
    {1044, ControlKind::RadioButton, "中文"},
    {1045, ControlKind::RadioButton, "ENGILSH"},
    {1046, ControlKind::RadioButton, "1310nm"},
    {1047, ControlKind::RadioButton, "1490nm"},
    {1048, ControlKind::RadioButton, "1550nm"},
    {1049, ControlKind::PushButton, "FTCAL"},
    {-1, ControlKind::BitmapStatic, ""},
    {1050, ControlKind::Text, "Static"},
    {1051, ControlKind::Trackbar, ""},
};

constexpr std::size_t kShownCount = sizeof kShown102 / sizeof kShown102[0];
constexpr std::size_t kHiddenCount = sizeof kHidden102 / sizeof kHidden102[0];

TEST(DialogTemplates, KnownIdsOnly)
{
    ASSERT_NE(platform::FindDialogTemplate(IDD_ABOUTBOX), nullptr);
    ASSERT_NE(platform::FindDialogTemplate(IDD_QEL_DIALOG), nullptr);
    EXPECT_EQ(platform::FindDialogTemplate(IDD_ABOUTBOX)->id, IDD_ABOUTBOX);
    EXPECT_EQ(platform::FindDialogTemplate(IDD_QEL_DIALOG)->id, IDD_QEL_DIALOG);
    for (int id : {0, 101, 103, -1}) EXPECT_EQ(platform::FindDialogTemplate(id), nullptr) << id;
}

TEST(DialogTemplates, AboutBox)
{
    const DialogTemplate& t = *platform::FindDialogTemplate(IDD_ABOUTBOX);
    EXPECT_EQ(t.title, "关于 QEL");
    EXPECT_EQ(t.w, 235);
    EXPECT_EQ(t.h, 55);
    EXPECT_EQ(t.fontFace, "宋体");
    EXPECT_EQ(t.fontPoints, 9);
    bool icon = false, version = false, ok = false;
    for (const ControlTemplate& c : t.controls) {
        EXPECT_TRUE(c.style & Style::Visible);
        EXPECT_GE(c.x, 0);
        EXPECT_GE(c.y, 0);
        EXPECT_LE(c.x + c.w, t.w);
        EXPECT_LE(c.y + c.h, t.h);
        if (c.kind == ControlKind::IconStatic && c.imageId == IDR_MAINFRAME) icon = true;
        if (c.kind == ControlKind::Text && c.caption == "QEL 1.0 版") version = true;
        if (c.kind == ControlKind::PushButton) {
            ok = true;
            EXPECT_EQ(c.id, 1);
            EXPECT_EQ(c.caption, "确定");
            EXPECT_TRUE(c.style & Style::Default);
            EXPECT_EQ((std::vector<int>{c.x, c.y, c.w, c.h}), (std::vector<int>{178, 7, 50, 14}));
        }
    }
    EXPECT_TRUE(icon);
    EXPECT_TRUE(version);
    EXPECT_TRUE(ok);
    EXPECT_EQ(t.controls.size(), 4u);  // icon, two text lines, OK
}

TEST(DialogTemplates, MainWindowShownControlsInTabOrder)
{
    const DialogTemplate& t = *platform::FindDialogTemplate(IDD_QEL_DIALOG);
    EXPECT_EQ(t.title, "QELV3.0");
    EXPECT_EQ(t.w, 400);
    EXPECT_EQ(t.h, 255);
    EXPECT_EQ(t.fontFace, "宋体");
    EXPECT_EQ(t.fontPoints, 9);
    ASSERT_EQ(t.controls.size(), kShownCount + kHiddenCount);
    for (std::size_t i = 0; i < kShownCount; ++i) {
        const ShownRow& want = kShown102[i];
        const ControlTemplate& c = t.controls[i];
        SCOPED_TRACE(want.id);
        EXPECT_EQ(c.id, want.id);
        EXPECT_EQ(c.kind, want.kind);
        EXPECT_TRUE(c.style & Style::Visible);
        EXPECT_EQ((std::vector<int>{c.x, c.y, c.w, c.h}), (std::vector<int>{want.x, want.y, want.w, want.h}));
        EXPECT_EQ(c.caption, want.caption);
    }
}

TEST(DialogTemplates, MainWindowStyles)
{
    const DialogTemplate& t = *platform::FindDialogTemplate(IDD_QEL_DIALOG);
    auto style = [&](int id) {
        for (const ControlTemplate& c : t.controls)
            if (c.id == id) return c.style;
        ADD_FAILURE() << "no control " << id;
        return 0u;
    };
    // Exactly one default button: EXIT.
    int defaults = 0;
    for (const ControlTemplate& c : t.controls)
        if (c.style & Style::Default) ++defaults;
    EXPECT_EQ(defaults, 1);
    EXPECT_TRUE(style(IDC_EXIT) & Style::Default);
    for (int id : {IDC_OPEN_COM, IDC_CONNECT, IDC_DISCONNECT}) {
        EXPECT_TRUE(style(id) & Style::Multiline) << id;
        EXPECT_TRUE(style(id) & Style::Center) << id;
    }
    EXPECT_TRUE(style(IDC_UPLOAD) & Style::Multiline);
    for (int id : {IDC_LABEL_COMPANY, IDC_LABEL_MODEL, IDC_LABEL_SERIALNO, IDC_LABEL_OPERATOR, IDC_LABEL_NOTES})
        EXPECT_TRUE(style(id) & Style::Right) << id;
    EXPECT_TRUE(style(IDC_LABEL_LANGUAGE) & Style::VCenter);
    // Radio groups: Chinese/English, and the three wavelengths.
    EXPECT_TRUE(style(IDC_RADIO_CHINESE) & Style::Group);
    EXPECT_FALSE(style(IDC_RADIO_ENGLISH) & Style::Group);
    EXPECT_TRUE(style(IDC_RADIO_1310) & Style::Group);
    EXPECT_FALSE(style(IDC_RADIO_1490) & Style::Group);
    EXPECT_FALSE(style(IDC_RADIO_1550) & Style::Group);
}

TEST(DialogTemplates, MainWindowHiddenControls)
{
    const DialogTemplate& t = *platform::FindDialogTemplate(IDD_QEL_DIALOG);
    ASSERT_EQ(t.controls.size(), kShownCount + kHiddenCount);
    for (std::size_t i = 0; i < kHiddenCount; ++i) {
        const HiddenRow& want = kHidden102[i];
        const ControlTemplate& c = t.controls[kShownCount + i];
        SCOPED_TRACE(std::string("hidden #") + std::to_string(i) + " " + want.caption);
        EXPECT_EQ(c.id, want.id);
        EXPECT_EQ(c.kind, want.kind);
        EXPECT_FALSE(c.style & Style::Visible);
        EXPECT_EQ(c.caption, want.caption);
        EXPECT_GT(c.w, 0);
        EXPECT_GT(c.h, 0);
        EXPECT_GE(c.x, 0);
        EXPECT_GE(c.y, 0);
        EXPECT_LE(c.x + c.w, t.w);
        EXPECT_LE(c.y + c.h, t.h);
    }
    EXPECT_EQ(t.controls[kShownCount + 31].imageId, IDB_PICTURE);  // the picture
    // Ids are unique apart from the controls that have none.
    std::set<int> ids;
    for (const ControlTemplate& c : t.controls)
        if (c.id != -1) {
            EXPECT_TRUE(ids.insert(c.id).second) << "duplicate id " << c.id;
        }
}

// ---- captions of multiline buttons ----

TEST(WrapCaption, BreaksAtBlanksElseBetweenCharacters)
{
    // Every character (a UTF-8 sequence) is 10 pixels wide.
    auto measure = [](const std::string& s) {
        int n = 0;
        for (unsigned char c : s)
            if ((c & 0xC0) != 0x80) ++n;
        return n * 10;
    };
    struct Case {
        const char* caption;
        int width;
        const char* expected;
    };
    const Case cases[] = {
        {"OPEN COM", 100, "OPEN COM"},                               // fits
        {"連接  ", 60, "連接  "},                                    // fits with its blanks
        {"CHIUDERE COMUNICAZIONE", 130, "CHIUDERE\nCOMUNICAZIONE"},  // at the blank
        {"APRI COMUNICAZIONE", 100, "APRI\nCOMUNICAZI\nONE"},        // a word wider than the line
        {"A B C D E F", 50, "A B C\nD E F"},                         // the blank at the break goes
        {"恢復出廠設定", 40, "恢復出廠\n設定"},                      // no blanks: between characters
        {"ONE\nTWO THREE", 50, "ONE\nTWO\nTHREE"},                   // given breaks stay
        {"WIDE", 0, "WIDE"},                                         // no room at all: unchanged
        {"", 10, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::WrapCaption(c.caption, c.width, measure), c.expected) << c.caption;
}

// ---- the builder ----

// A dialog built from a template; destroyed with the test.
struct BuiltDialog {
    explicit BuiltDialog(int templateId)
    {
        dialog = new wxDialog(nullptr, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                              wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX);
        tmpl = platform::FindDialogTemplate(templateId);
        units = platform::BuildDialog(dialog, *tmpl);
    }
    ~BuiltDialog()
    {
        dialog->Destroy();
        testing_support::PumpEvents(20);
    }
    std::vector<wxWindow*> Children() const
    {
        return std::vector<wxWindow*>(dialog->GetChildren().begin(), dialog->GetChildren().end());
    }
    wxDialog* dialog = nullptr;
    const DialogTemplate* tmpl = nullptr;
    platform::DialogUnits units;
};

bool IsOfKind(wxWindow* w, ControlKind kind)
{
    switch (kind) {
    case ControlKind::PushButton: return dynamic_cast<wxButton*>(w) != nullptr;
    case ControlKind::GroupBox: return dynamic_cast<wxStaticBox*>(w) != nullptr;
    case ControlKind::Text: return dynamic_cast<wxStaticText*>(w) != nullptr;
    case ControlKind::Edit: return dynamic_cast<wxTextCtrl*>(w) != nullptr;
    case ControlKind::DropDownCombo: return dynamic_cast<wxOwnerDrawnComboBox*>(w) != nullptr;
    case ControlKind::ListView: return dynamic_cast<platform::ReportList*>(w) != nullptr;
    case ControlKind::Progress: return dynamic_cast<wxGauge*>(w) != nullptr;
    case ControlKind::IconStatic:
    case ControlKind::BitmapStatic: return dynamic_cast<wxStaticBitmap*>(w) != nullptr;
    case ControlKind::RadioButton: return dynamic_cast<wxRadioButton*>(w) != nullptr;
    case ControlKind::Trackbar: return dynamic_cast<wxSlider*>(w) != nullptr;
    }
    return false;
}

class DialogBuilder : public ::testing::Test {
protected:
    void SetUp() override { QEL_REQUIRE_DISPLAY(); }
};

TEST_F(DialogBuilder, MainWindowControlsInTemplateOrder)
{
    BuiltDialog b(IDD_QEL_DIALOG);
    const auto children = b.Children();
    ASSERT_EQ(children.size(), b.tmpl->controls.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ControlTemplate& c = b.tmpl->controls[i];
        wxWindow* w = children[i];
        SCOPED_TRACE(std::to_string(i) + ": id " + std::to_string(c.id) + " " + c.caption);
        if (c.id != -1) {
            EXPECT_EQ(w->GetId(), c.id);
        } else {
            EXPECT_LT(w->GetId(), 0);  // wx gives it an id of its own
        }
        EXPECT_TRUE(IsOfKind(w, c.kind));
        EXPECT_EQ(w->IsShown(), (c.style & Style::Visible) != 0);
        if (c.kind != ControlKind::Edit && c.kind != ControlKind::DropDownCombo && c.kind != ControlKind::ListView &&
            c.kind != ControlKind::Progress && c.kind != ControlKind::Trackbar && c.kind != ControlKind::IconStatic &&
            c.kind != ControlKind::BitmapStatic) {
            EXPECT_EQ(w->GetLabel().utf8_string(), c.caption);
        }
        if (c.id != -1) {
            EXPECT_EQ(b.dialog->FindWindow(c.id), w);
        }
    }
}

TEST_F(DialogBuilder, ControlsAtTheirPixelRectangles)
{
    BuiltDialog b(IDD_QEL_DIALOG);
    b.dialog->Show();
    testing_support::PumpEvents(100);
    const auto children = b.Children();
    ASSERT_EQ(children.size(), b.tmpl->controls.size());
    const wxPoint base = b.dialog->ConvertDialogToPixels(wxPoint(4, 8));  // pixels per 4 x 8 units
    EXPECT_GT(base.x, 0);
    EXPECT_GT(base.y, 0);
    for (std::size_t i = 0; i < children.size(); ++i) {
        const ControlTemplate& c = b.tmpl->controls[i];
        SCOPED_TRACE(std::to_string(c.id) + " " + c.caption);
        const wxRect want(b.dialog->ConvertDialogToPixels(wxPoint(c.x, c.y)),
                          b.dialog->ConvertDialogToPixels(wxSize(c.w, c.h)));
        const wxRect got = children[i]->GetRect();
        EXPECT_EQ(got.GetPosition(), want.GetPosition());
        EXPECT_EQ(got.width, want.width);
        if (c.kind == ControlKind::DropDownCombo) {
            EXPECT_LT(got.height, want.height);  // its own height, not the dropped list's
        } else {
            EXPECT_EQ(got.height, want.height);
        }
        EXPECT_EQ(children[i]->IsShown(), (c.style & Style::Visible) != 0);
    }
    // Showing the dialog shows none of the hidden controls.
    EXPECT_FALSE(b.dialog->FindWindow(IDC_LIST_RECORDS)->IsShownOnScreen());
    EXPECT_TRUE(b.dialog->FindWindow(IDC_EXIT)->IsShownOnScreen());
    b.dialog->Hide();
}

// A dialog that counts how often its base units are measured: wx measures the letters of the
// alphabet in the dialog's font for each conversion of dialog units.
class MeasuringDialog : public wxDialog {
public:
    MeasuringDialog() : wxDialog(nullptr, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxCAPTION) {}
    mutable int baseMeasured = 0;

protected:
    void DoGetTextExtent(const wxString& text, int* x, int* y, int* descent, int* externalLeading,
                         const wxFont* font) const override
    {
        if (text == "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") ++baseMeasured;
        wxDialog::DoGetTextExtent(text, x, y, descent, externalLeading, font);
    }
};

TEST_F(DialogBuilder, DialogUnitsConvertAsWxConvertsThemInEveryFont)
{
    const struct {
        const char* face;
        int points;
    } kFonts[] = {{"", 9},
                  {"WenQuanYi Micro Hei", 7},
                  {"WenQuanYi Micro Hei", 12},
                  {"DejaVu Sans", 8},
                  {"DejaVu Sans", 11},
                  {"DejaVu Serif", 14},
                  {"DejaVu Sans Mono", 20}};
    // Both signs, the default coordinate, every remainder of 4 and 8, the template's own sizes.
    const int kValues[] = {-9, -4, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 15, 16, 17, 23, 59, 70, 255, 357, 400, 1001};
    for (const auto& f : kFonts) {
        SCOPED_TRACE(std::string(f.face) + " " + std::to_string(f.points));
        MeasuringDialog dialog;
        const platform::DialogUnits units = platform::BuildDialog(&dialog, {0, "units", 100, 60, f.face, f.points, {}});
        EXPECT_GT(units.Base().x, 0);
        EXPECT_GT(units.Base().y, 0);
        for (const bool shown : {false, true}) {
            if (shown) {
                dialog.Show();
                testing_support::PumpEvents(50);
            }
            for (const int x : kValues) {
                for (const int y : kValues) {
                    ASSERT_EQ(units.ToPixels(wxPoint(x, y)), dialog.ConvertDialogToPixels(wxPoint(x, y)))
                        << x << ", " << y << (shown ? " shown" : "");
                }
            }
            EXPECT_EQ(units.ToPixels(3, 5, 59, 70), wxRect(dialog.ConvertDialogToPixels(wxPoint(3, 5)),
                                                           dialog.ConvertDialogToPixels(wxSize(59, 70))));
        }
        // A window inside the dialog, in a font of its own, converts in the dialog's units.
        auto* inside = new wxWindow(&dialog, wxID_ANY);
        inside->SetFont(wxFontInfo(30));
        EXPECT_EQ(platform::DialogUnits(inside).Base(), units.Base());
        EXPECT_EQ(platform::DialogUnits(inside).ToPixels(wxPoint(59, 70)),
                  inside->ConvertDialogToPixels(wxPoint(59, 70)));
        dialog.Hide();
    }
}

TEST_F(DialogBuilder, TheDialogMeasuresItsBaseUnitsOnce)
{
    MeasuringDialog dialog;
    const DialogTemplate* tmpl = platform::FindDialogTemplate(IDD_QEL_DIALOG);
    const platform::DialogUnits units = platform::BuildDialog(&dialog, *tmpl);
    EXPECT_EQ(dialog.baseMeasured, 1);
    // Fitting the labels, with captions that fit and one that needs more room, measures nothing.
    platform::FitLabels(&dialog, *tmpl, units);
    dialog.FindWindow(IDC_LABEL_SERIALNO)->SetLabel("Instrument Serial Number");
    platform::FitLabels(&dialog, *tmpl, units);
    EXPECT_EQ(dialog.baseMeasured, 1);
    // wx's own conversion measures each time.
    dialog.ConvertDialogToPixels(wxPoint(4, 8));
    EXPECT_EQ(dialog.baseMeasured, 2);
}

TEST_F(DialogBuilder, DialogTitleSizeAndFont)
{
    BuiltDialog b(IDD_QEL_DIALOG);
    EXPECT_EQ(b.dialog->GetTitle().utf8_string(), "QELV3.0");
    const wxPoint client = b.dialog->ConvertDialogToPixels(wxPoint(400, 255));
    EXPECT_EQ(b.dialog->GetClientSize(), wxSize(client.x, client.y));
    const wxFont font = b.dialog->GetFont();
    ASSERT_TRUE(font.IsOk());
    EXPECT_EQ(font.GetPointSize(), 9);
    // The template's face does not exist here; the dialog falls back to a face that has Chinese.
    EXPECT_NE(font.GetFaceName().utf8_string(), "");
    EXPECT_EQ(b.dialog->FindWindow(IDC_EDIT_COMPANY)->GetFont().GetPointSize(), 9);

    BuiltDialog about(IDD_ABOUTBOX);
    EXPECT_EQ(about.dialog->GetTitle().utf8_string(), "关于 QEL");
    const wxPoint aboutClient = about.dialog->ConvertDialogToPixels(wxPoint(235, 55));
    EXPECT_EQ(about.dialog->GetClientSize(), wxSize(aboutClient.x, aboutClient.y));
    EXPECT_EQ(about.dialog->GetDefaultItem(), about.dialog->FindWindow(1));
}

TEST_F(DialogBuilder, ExitIsTheDefaultButtonAndEditsLeaveEnterToIt)
{
    BuiltDialog b(IDD_QEL_DIALOG);
    wxWindow* exit = b.dialog->FindWindow(IDC_EXIT);
    ASSERT_NE(exit, nullptr);
    EXPECT_EQ(b.dialog->GetDefaultItem(), exit);
    for (const ControlTemplate& c : b.tmpl->controls) {
        if (c.kind != ControlKind::Edit) continue;
        auto* edit = dynamic_cast<wxTextCtrl*>(b.dialog->FindWindow(c.id));
        ASSERT_NE(edit, nullptr) << c.id;
        EXPECT_FALSE(edit->HasFlag(wxTE_PROCESS_ENTER)) << c.id;
        EXPECT_FALSE(edit->IsMultiLine()) << c.id;
    }
    auto* combo = dynamic_cast<wxOwnerDrawnComboBox*>(b.dialog->FindWindow(IDC_COMBO_PORT));
    ASSERT_NE(combo, nullptr);
    EXPECT_FALSE(combo->HasFlag(wxCB_SORT));
    EXPECT_FALSE(combo->HasFlag(wxCB_READONLY));
    auto* gauge = dynamic_cast<wxGauge*>(b.dialog->FindWindow(IDC_PROGRESS));
    ASSERT_NE(gauge, nullptr);
    EXPECT_EQ(gauge->GetRange(), 100);
}

TEST_F(DialogBuilder, EnterActivatesExit)
{
    // Enter in a single-line edit without wxTE_PROCESS_ENTER activates the window's default
    // widget (the toolkit call below); that widget must be EXIT. The call is made directly, not
    // through a simulated key: tests running beside this one on the display may hold the focus.
    BuiltDialog b(IDD_QEL_DIALOG);
    int clicked = 0;
    b.dialog->Bind(wxEVT_BUTTON, [&](wxCommandEvent& e) {
        if (e.GetId() == IDC_EXIT) ++clicked;
    });
    b.dialog->Show();
    testing_support::PumpEvents(100);
    b.dialog->FindWindow(IDC_EDIT_COMPANY)->SetFocus();
    EXPECT_TRUE(gtk_window_activate_default(GTK_WINDOW(b.dialog->GetHandle())));
    // A button activated from the keyboard reports its click a moment later.
    testing_support::WaitFor([&] { return clicked != 0; }, 2000);
    EXPECT_EQ(clicked, 1);
    b.dialog->Hide();
}

TEST_F(DialogBuilder, MultilineButtonsWrapLongCaptions)
{
    BuiltDialog b(IDD_QEL_DIALOG);
    auto* open = dynamic_cast<wxButton*>(b.dialog->FindWindow(IDC_OPEN_COM));
    ASSERT_NE(open, nullptr);
    open->SetLabel("CHIUDERE COMUNICAZIONE");
    EXPECT_EQ(open->GetLabel(), "CHIUDERE COMUNICAZIONE");          // as set
    EXPECT_NE(open->wxButton::GetLabel().Find('\n'), wxNOT_FOUND);  // shown on two lines
    open->SetLabel("OPEN COM");
    EXPECT_EQ(open->wxButton::GetLabel(), "OPEN COM");
    // EXIT is no multiline button: its caption stays one line.
    auto* exit = dynamic_cast<wxButton*>(b.dialog->FindWindow(IDC_EXIT));
    exit->SetLabel("CHIUDERE COMUNICAZIONE LUNGHISSIMA");
    EXPECT_EQ(exit->wxButton::GetLabel().Find('\n'), wxNOT_FOUND);
}

TEST_F(DialogBuilder, RadioGroupsAreSeparate)
{
    BuiltDialog b(IDD_QEL_DIALOG);
    auto radio = [&](int id) { return dynamic_cast<wxRadioButton*>(b.dialog->FindWindow(id)); };
    for (int id : {IDC_RADIO_CHINESE, IDC_RADIO_ENGLISH, IDC_RADIO_1310, IDC_RADIO_1490, IDC_RADIO_1550})
        ASSERT_NE(radio(id), nullptr) << id;
    radio(IDC_RADIO_ENGLISH)->SetValue(true);
    radio(IDC_RADIO_1490)->SetValue(true);
    EXPECT_TRUE(radio(IDC_RADIO_ENGLISH)->GetValue());
    EXPECT_FALSE(radio(IDC_RADIO_CHINESE)->GetValue());
    EXPECT_TRUE(radio(IDC_RADIO_1490)->GetValue());
    EXPECT_FALSE(radio(IDC_RADIO_1310)->GetValue());
    EXPECT_FALSE(radio(IDC_RADIO_1550)->GetValue());
    // Choosing a wavelength leaves the language choice alone, and the other way round.
    radio(IDC_RADIO_1550)->SetValue(true);
    EXPECT_TRUE(radio(IDC_RADIO_ENGLISH)->GetValue());
    EXPECT_FALSE(radio(IDC_RADIO_1490)->GetValue());
    radio(IDC_RADIO_CHINESE)->SetValue(true);
    EXPECT_FALSE(radio(IDC_RADIO_ENGLISH)->GetValue());
    EXPECT_TRUE(radio(IDC_RADIO_1550)->GetValue());
}

// ---- swapping a control for one of a custom class ----

struct SwapCase {
    int id;
    bool defaultButton;
};

class SwapControlTest : public DialogBuilder, public ::testing::WithParamInterface<SwapCase> {};

TEST_P(SwapControlTest, ReplacementTakesThePlaceOfTheOld)
{
    const SwapCase sc = GetParam();
    BuiltDialog b(IDD_QEL_DIALOG);
    wxWindow* old = b.dialog->FindWindow(sc.id);
    ASSERT_NE(old, nullptr);
    const auto before = b.Children();
    const std::size_t pos = std::find(before.begin(), before.end(), old) - before.begin();
    const wxRect rect = old->GetRect();
    const wxString label = old->GetLabel();
    const bool shown = old->IsShown();

    wxWindow* replacement = nullptr;
    if (dynamic_cast<platform::ReportList*>(old) != nullptr)
        replacement = new platform::ReportList(b.dialog, wxID_ANY, wxPoint(0, 0), wxSize(10, 10));
    else
        replacement = new wxButton(b.dialog, wxID_ANY, "x", wxPoint(0, 0), wxSize(10, 10));
    ASSERT_TRUE(platform::SwapControl(b.dialog, sc.id, replacement));

    const auto after = b.Children();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::find(after.begin(), after.end(), old), after.end());  // destroyed
    EXPECT_EQ(after[pos], replacement);                                  // same tab position
    for (std::size_t i = 0; i < after.size(); ++i)
        if (i != pos) {
            EXPECT_EQ(after[i], before[i]) << i;
        }
    EXPECT_EQ(replacement->GetId(), sc.id);
    EXPECT_EQ(b.dialog->FindWindow(sc.id), replacement);
    EXPECT_EQ(replacement->GetRect(), rect);
    EXPECT_EQ(replacement->GetLabel(), label);
    EXPECT_EQ(replacement->IsShown(), shown);
    if (sc.defaultButton) {
        EXPECT_EQ(b.dialog->GetDefaultItem(), replacement);
    }
}

INSTANTIATE_TEST_SUITE_P(Controls, SwapControlTest,
                         ::testing::Values(SwapCase{IDC_CONNECT, false},       // shown, mid order
                                           SwapCase{IDC_EXIT, true},           // first, default
                                           SwapCase{IDC_UPLOAD, false},        // shown, late
                                           SwapCase{IDC_EXPORT, false},        // hidden button
                                           SwapCase{IDC_LIST_RECORDS, false},  // hidden list
                                           SwapCase{IDC_SLIDER, false}));      // last of all

TEST_F(DialogBuilder, SwapControlRefusesUnknownIdsAndForeignParents)
{
    BuiltDialog b(IDD_QEL_DIALOG);
    auto* r = new wxButton(b.dialog, wxID_ANY, "x");
    EXPECT_FALSE(platform::SwapControl(b.dialog, 4242, r));
    BuiltDialog other(IDD_ABOUTBOX);
    auto* foreign = new wxButton(other.dialog, wxID_ANY, "y");
    EXPECT_FALSE(platform::SwapControl(b.dialog, IDC_CONNECT, foreign));
    EXPECT_NE(b.dialog->FindWindow(IDC_CONNECT), nullptr);
    EXPECT_FALSE(platform::SwapControl(b.dialog, IDC_CONNECT, nullptr));
}

// ---- what a user sees ----

TEST_F(DialogBuilder, ScreenshotOfTheShownMainWindow)
{
    BuiltDialog b(IDD_QEL_DIALOG);
    b.dialog->Show();
    testing_support::PumpEvents(300);
    const std::string path = (wxFileName::GetTempDir() + "/qel_test_dialog_102.png").utf8_string();
    ASSERT_TRUE(testing_support::SaveWindowPng(b.dialog, path));
    wxImage png;
    ASSERT_TRUE(png.LoadFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG));
    EXPECT_EQ(png.GetSize(), b.dialog->GetClientSize());
    // The shown edit box paints differently from the dialog's background around it.
    const wxRect edit = b.dialog->FindWindow(IDC_EDIT_COMPANY)->GetRect();
    const wxPoint inside(edit.x + edit.width / 2, edit.y + edit.height / 2);
    const wxPoint outside(edit.x + edit.width / 2, edit.GetBottom() + 6);
    auto rgb = [&](wxPoint p) {
        return std::vector<int>{png.GetRed(p.x, p.y), png.GetGreen(p.x, p.y), png.GetBlue(p.x, p.y)};
    };
    EXPECT_NE(rgb(inside), rgb(outside));
    b.dialog->Hide();
    wxRemoveFile(wxString::FromUTF8(path));
}

}  // namespace
