// Bitmap buttons attached to the main window's template: in place of the plain buttons, with their
// icons, and their clicks still reaching the dialog.
#include <gtest/gtest.h>

#include <wx/dialog.h>
#include <wx/filename.h>
#include <wx/uiaction.h>

#include "controls/ButtonNX.h"
#include "platform/dialog_template.h"
#include "resources/resource_ids.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

namespace {

struct AttachedButton {
    int id;
    int icon;
};

// The main window's icon buttons and their icons.
const AttachedButton kButtons[] = {
    {IDC_UPLOAD, 153},   {IDC_EXPORT, 147}, {IDC_DELETE_ALL, 146},      {IDC_SAVE_PRINT, 144},
    {IDC_TIME_SET, 145}, {IDC_EXIT, 148},   {IDC_POWER_CALIBRATE, 151}, {IDC_RESET, 150},
};

class ButtonAttach : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        dialog = new wxDialog(nullptr, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                              wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX);
        platform::BuildDialog(dialog, *platform::FindDialogTemplate(IDD_QEL_DIALOG));
    }
    void TearDown() override
    {
        if (dialog != nullptr) dialog->Destroy();
        testing_support::PumpEvents(20);
    }
    wxDialog* dialog = nullptr;
};

TEST_F(ButtonAttach, ReplacesThePlainButtonInPlace)
{
    for (const AttachedButton& b : kButtons) {
        auto* plain = dynamic_cast<wxButton*>(dialog->FindWindow(b.id));
        ASSERT_NE(plain, nullptr) << b.id;
        const wxRect rect = plain->GetRect();
        const wxString caption = plain->GetLabel();
        const bool shown = plain->IsShown();
        const bool wasDefault = dialog->GetDefaultItem() == plain;
        wxWindow* before = nullptr;
        for (wxWindow* w : dialog->GetChildren()) {
            if (w == plain) break;
            before = w;
        }

        CButtonNX* nx = AttachButtonNX(dialog, b.id);
        ASSERT_NE(nx, nullptr) << b.id;
        SCOPED_TRACE(testing::Message() << "button " << b.id);
        EXPECT_EQ(dialog->FindWindow(b.id), nx);
        EXPECT_EQ(nx->GetRect(), rect);
        EXPECT_EQ(nx->GetLabel(), caption);
        EXPECT_EQ(nx->IsShown(), shown);
        EXPECT_EQ(nx->GetPrevSibling(), before) << "same tab position";
        EXPECT_EQ(nx->IsDefaultButton(), wasDefault ? TRUE : FALSE);
        if (wasDefault) {
            EXPECT_EQ(dialog->GetDefaultItem(), nx);
        }
        EXPECT_EQ(nx->SetIcons(b.icon, 0), 0u);
        EXPECT_EQ(nx->SetFlatLook(FALSE, TRUE), 0u);
        EXPECT_TRUE(nx->m_icons[0].hIcon.IsOk());
        EXPECT_FALSE(nx->m_icons[1].hIcon.IsOk());
    }
    EXPECT_EQ(AttachButtonNX(dialog, 4242), nullptr);
    EXPECT_EQ(AttachButtonNX(dialog, IDC_EDIT_COMPANY), nullptr) << "not a push button";
    EXPECT_EQ(AttachButtonNX(dialog, IDC_UPLOAD), nullptr) << "already attached";
}

TEST_F(ButtonAttach, ClickReachesTheDialogWithTheId)
{
    std::vector<int> clicked;
    dialog->Bind(wxEVT_BUTTON, [&](wxCommandEvent& e) { clicked.push_back(e.GetId()); });
    CButtonNX* upload = AttachButtonNX(dialog, IDC_UPLOAD);
    ASSERT_NE(upload, nullptr);
    upload->SetIcons(153, 0);
    upload->SetFlatLook(FALSE, TRUE);
    upload->Show();
    dialog->Show();
    testing_support::PumpEvents(300);

    // A real mouse click on the shown button.
    wxUIActionSimulator sim;
    sim.MouseMove(upload->GetScreenRect().GetPosition() + wxPoint(upload->GetSize().x / 2, upload->GetSize().y / 2));
    testing_support::PumpEvents(100);
    sim.MouseClick();
    testing_support::PumpEvents(300);
    ASSERT_EQ(clicked.size(), 1u);
    EXPECT_EQ(clicked[0], IDC_UPLOAD);
    dialog->Hide();
}

TEST_F(ButtonAttach, ScreenshotShowsIconsAndCaptions)
{
    for (const AttachedButton& b : kButtons) {
        CButtonNX* nx = AttachButtonNX(dialog, b.id);
        ASSERT_NE(nx, nullptr);
        nx->SetIcons(b.icon, 0);
        nx->SetFlatLook(FALSE, TRUE);
    }
    dialog->Show();
    testing_support::PumpEvents(400);
    const std::string path = (wxFileName::GetTempDir() + "/qel_test_buttons_102.png").utf8_string();
    ASSERT_TRUE(testing_support::SaveWindowPng(dialog, path));
    wxImage png;
    ASSERT_TRUE(png.LoadFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG));
    for (const AttachedButton& b : kButtons) {
        wxWindow* w = dialog->FindWindow(b.id);
        if (!w->IsShown()) continue;
        const wxRect r = w->GetRect();
        SCOPED_TRACE(testing::Message() << "button " << b.id);
        // The 3-D border: highlight on the outer top-left, dark shadow on the outer bottom-right
        // (the default button has the black frame outside them).
        const int frame = static_cast<CButtonNX*>(w)->IsDefaultButton() ? 1 : 0;
        const COLORREF dark = platform::SysColor(COLOR_3DDKSHADOW);
        const wxPoint br(r.GetRight() - frame, r.y + r.height / 2);
        EXPECT_EQ(RGB(png.GetRed(br.x, br.y), png.GetGreen(br.x, br.y), png.GetBlue(br.x, br.y)), dark);
        // The icon's pixels: the area left of the caption has colours other than the face.
        const COLORREF face = platform::SysColor(COLOR_BTNFACE);
        int ink = 0;
        for (int y = r.y + 4; y < r.GetBottom() - 4; ++y)
            for (int x = r.x + 4; x < r.x + 4 + 32 && x < r.GetRight() - 4; ++x)
                if (RGB(png.GetRed(x, y), png.GetGreen(x, y), png.GetBlue(x, y)) != face) ++ink;
        EXPECT_GT(ink, 20);
    }
    std::fprintf(stderr, "screenshot: %s\n", path.c_str());
    dialog->Hide();
}

}  // namespace
