// The bitmap button's behaviour: attaching dialog controls, the style and check messages, hover
// tracking, double clicks, the click's own handling before the parent's, tooltip, hover cursor,
// sounds, link target, system-colour changes and disabling. Events are synthesised and processed
// by the windows; no real mouse or keyboard input.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/mstream.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tooltip.h>

#include "controls/ButtonNX.h"
#include "core/codepage.h"
#include "core/opener.h"
#include "platform/resources.h"
#include "platform/sound.h"
#include "tests/controls/menu_resources.h"
#include "tests/support/pixel_canvas.h"
#include "tests/support/recording_opener.h"
#include "tests/support/recording_sound_player.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

namespace {

constexpr int kBeforeId = 501, kButtonId = 502, kLabelId = 503, kAfterId = 504;
constexpr DWORD kFileFlags = platform::SND_NOWAIT | platform::SND_NODEFAULT | platform::SND_FILENAME;
constexpr DWORD kResourceFlags = platform::SND_NOWAIT | platform::SND_NODEFAULT | platform::SND_RESOURCE;

// A dialog with a plain button, the bitmap button, a label and an edit field, in that tab order.
// The desktop queries of the hover tracking answer what the test says.
class ButtonBehaviour : public ::testing::Test {
public:
    void SetUp() override
    {
        savedFromPoint = CButtonNX::s_windowFromPoint;
        savedActive = CButtonNX::s_hasActiveWindow;
        QEL_REQUIRE_DISPLAY();
        platform::UseFixedSystemColors(true);
        CButtonNX::s_windowFromPoint = [this](const wxPoint&) { return under; };
        CButtonNX::s_hasActiveWindow = [this] { return active; };
        dialog = new wxDialog(nullptr, wxID_ANY, "behaviour", wxDefaultPosition, wxSize(400, 300));
        before = new wxButton(dialog, kBeforeId, "Before", wxPoint(10, 10), wxSize(80, 30));
        button = new CButtonNX(dialog, kButtonId, "Button", wxPoint(100, 10), wxSize(80, 30));
        label = new wxStaticText(dialog, kLabelId, "label", wxPoint(10, 60));
        after = new wxTextCtrl(dialog, kAfterId, "", wxPoint(100, 60), wxSize(80, 25));
        under = button;
    }
    void TearDown() override
    {
        CButtonNX::s_windowFromPoint = savedFromPoint;
        CButtonNX::s_hasActiveWindow = savedActive;
        if (dialog != nullptr) {
            dialog->Destroy();
            testing_support::PumpEvents(20);
        }
        platform::UseFixedSystemColors(false);
    }

    // A mouse move over the button (to `at`, in its client coordinates).
    void Move(bool leftDown, wxPoint at = wxPoint(10, 10))
    {
        wxMouseEvent move(wxEVT_MOTION);
        move.SetPosition(at);
        move.m_leftDown = leftDown;
        move.SetEventObject(button);
        move.SetId(button->GetId());
        button->ProcessWindowEvent(move);
    }
    void Click(CButtonNX* target)
    {
        wxCommandEvent click(wxEVT_BUTTON, target->GetId());
        click.SetEventObject(target);
        target->ProcessWindowEvent(click);
    }

    std::function<wxWindow*(const wxPoint&)> savedFromPoint;
    std::function<bool()> savedActive;
    wxDialog* dialog = nullptr;
    wxButton* before = nullptr;
    CButtonNX* button = nullptr;
    wxStaticText* label = nullptr;
    wxTextCtrl* after = nullptr;
    wxWindow* under = nullptr;
    bool active = true;
};

// ---------------------------------------------------------------- attaching and roles

TEST_F(ButtonBehaviour, PreSubclassWindowTakesTheRolesFromTheType)
{
    for (DWORD type = 0; type < 16; ++type) {
        SCOPED_TRACE(testing::Message() << "type " << type);
        CButtonNX nx;                         // windowless: the roles are the object's
        nx.PreSubclassWindow(0x2000 | type);  // with a style bit above the type
        // The one BS_CHECKBOX bit decides: 2, 3, 6, 7, 10, 11, 14, 15 (not 5 nor the radio types).
        EXPECT_EQ(nx.m_checkBox, (type & 2) ? TRUE : FALSE);
        EXPECT_EQ(nx.m_defaultButton, type == BS_DEFPUSHBUTTON ? TRUE : FALSE);
        EXPECT_EQ(nx.GetButtonStyle(), 0x2000 | BS_OWNERDRAW) << "owner-drawn, other bits kept";
    }
}

TEST_F(ButtonBehaviour, AttachingDialogControlsGivesDefaultAndCheckBoxRoles)
{
    auto* def = new wxButton(dialog, 601, "Default", wxPoint(10, 100));
    def->SetDefault();
    auto* plain = new wxButton(dialog, 602, "Plain", wxPoint(100, 100));
    auto* check = new wxCheckBox(dialog, 603, "Check", wxPoint(10, 140));
    check->SetValue(true);
    auto* three = new wxCheckBox(dialog, 604, "Three", wxPoint(100, 140), wxDefaultSize, wxCHK_3STATE);
    auto* radio = new wxRadioButton(dialog, 605, "Radio", wxPoint(200, 140));
    EXPECT_EQ(CButtonNX::ButtonStyleOf(def), BS_DEFPUSHBUTTON);
    EXPECT_EQ(CButtonNX::ButtonStyleOf(plain), BS_PUSHBUTTON);
    EXPECT_EQ(CButtonNX::ButtonStyleOf(check), BS_AUTOCHECKBOX);
    EXPECT_EQ(CButtonNX::ButtonStyleOf(three), BS_AUTO3STATE);
    EXPECT_EQ(CButtonNX::ButtonStyleOf(radio), BS_AUTORADIOBUTTON);

    const struct {
        int id;
        BOOL isDefault, isCheckBox;
        int checked;
    } cases[] = {{601, TRUE, FALSE, 0}, {602, FALSE, FALSE, 0}, {603, FALSE, TRUE, 1}, {604, FALSE, TRUE, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "control " << c.id);
        CButtonNX* nx = AttachButtonNX(dialog, c.id);
        ASSERT_NE(nx, nullptr);
        EXPECT_EQ(dialog->FindWindow(c.id), nx);
        EXPECT_EQ(nx->IsDefaultButton(), c.isDefault);
        EXPECT_EQ(nx->m_checkBox, c.isCheckBox);
        EXPECT_EQ(nx->GetCheckState(), c.checked) << "a check box keeps its state";
        EXPECT_EQ(nx->GetButtonStyle() & BS_TYPEMASK, BS_OWNERDRAW);
        EXPECT_EQ(nx->OnGetDlgCode(), DLGC_BUTTON | (c.isDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON));
    }
    EXPECT_EQ(AttachButtonNX(dialog, 605), nullptr) << "a radio button is no push button";
    EXPECT_EQ(AttachButtonNX(dialog, kAfterId), nullptr);
}

TEST_F(ButtonBehaviour, TheDefaultMovingToAnotherButtonClearsTheRole)
{
    auto* first = new wxButton(dialog, 601, "First", wxPoint(10, 100));
    first->SetDefault();
    CButtonNX* nx = AttachButtonNX(dialog, 601);
    ASSERT_NE(nx, nullptr);
    ASSERT_TRUE(nx->IsDefaultButton());

    // The dialog makes a plain button its default: the bitmap button hears of it.
    before->SetDefault();
    EXPECT_EQ(nx->OnGetDlgCode(), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
    EXPECT_FALSE(nx->IsDefaultButton());
    EXPECT_EQ(nx->GetButtonStyle() & BS_TYPEMASK, BS_OWNERDRAW);

    // Between two bitmap buttons the old default is told at once.
    nx->SetDefault();
    EXPECT_TRUE(nx->IsDefaultButton());
    button->SetDefault();
    EXPECT_TRUE(button->IsDefaultButton());
    EXPECT_FALSE(nx->IsDefaultButton());
    EXPECT_EQ(nx->OnGetDlgCode(), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
    EXPECT_EQ(button->OnGetDlgCode(), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
}

TEST_F(ButtonBehaviour, SetStyleMessageChangesOnlyThePushButtonRole)
{
    const struct {
        BOOL before;
        WPARAM style;
        BOOL after;
    } cases[] = {
        {TRUE, BS_PUSHBUTTON, FALSE}, {FALSE, BS_DEFPUSHBUTTON, TRUE},  {TRUE, BS_CHECKBOX, TRUE},
        {FALSE, BS_OWNERDRAW, FALSE}, {TRUE, BS_AUTORADIOBUTTON, TRUE}, {FALSE, 0x2000 | BS_DEFPUSHBUTTON, TRUE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style);
        button->m_defaultButton = c.before;
        EXPECT_EQ(button->WindowProc(BM_SETSTYLE, c.style, TRUE), 0);
        EXPECT_EQ(button->m_defaultButton, c.after);
        EXPECT_EQ(button->GetButtonStyle(), (static_cast<DWORD>(c.style) & ~BS_TYPEMASK) | BS_OWNERDRAW);
        EXPECT_EQ(button->WindowProc(WM_GETDLGCODE, 0, 0),
                  static_cast<LRESULT>(DLGC_BUTTON | (c.after ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON)));
    }
}

TEST_F(ButtonBehaviour, CheckMessagesOnCheckBoxesAndPushButtons)
{
    const struct {
        BOOL checkBox;
        WPARAM check;
        int expected;
    } cases[] = {
        {TRUE, BST_CHECKED, 1}, {TRUE, BST_INDETERMINATE, 1}, {TRUE, BST_UNCHECKED, 0},
        {TRUE, 3, 0},           {FALSE, BST_CHECKED, 0},      {FALSE, BST_INDETERMINATE, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "check box " << c.checkBox << ", check " << c.check);
        button->m_checkBox = c.checkBox;
        button->m_checked = 1 - c.expected;  // so that a message that does nothing shows
        if (!c.checkBox) button->m_checked = 0;
        EXPECT_EQ(button->WindowProc(BM_SETCHECK, c.check, 0), 0);
        EXPECT_EQ(button->GetCheckState(), c.expected);
        EXPECT_EQ(button->WindowProc(BM_GETCHECK, 0, 0), c.expected);
        EXPECT_EQ(button->GetCheck(), c.expected);
    }
    button->m_checkBox = FALSE;
    EXPECT_EQ(button->SetCheckState(TRUE, TRUE), 0u);
    EXPECT_EQ(button->GetCheckState(), 0) << "a push button has no check";
    button->m_checkBox = TRUE;
    button->SetCheck(BST_CHECKED);
    EXPECT_EQ(button->GetCheck(), 1);
    EXPECT_EQ(button->WindowProc(0x1234, 1, 1), 0) << "other messages are not the button's";
}

// ---------------------------------------------------------------- clicks

TEST_F(ButtonBehaviour, ClickRunsTheButtonsHandlingBeforeTheDialogs)
{
    testing_support::RecordingSoundPlayer player;
    testing_support::RecordingOpener opener;
    button->SetSounds("/sounds/click.wav", nullptr, TRUE, FALSE);
    button->SetLinkTarget("https://example.invalid/manual");
    std::vector<std::string> seen;
    dialog->Bind(wxEVT_BUTTON, [&](wxCommandEvent& e) {
        seen.push_back("dialog " + std::to_string(e.GetId()) + " after sound " + std::to_string(player.calls.size()) +
                       " and link " + std::to_string(opener.paths.size()));
    });
    Click(button);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "dialog 502 after sound 1 and link 1");
    ASSERT_EQ(player.calls.size(), 1u);
    EXPECT_EQ(player.calls[0].sound, "/sounds/click.wav");
    EXPECT_EQ(player.calls[0].module, nullptr);
    EXPECT_EQ(player.calls[0].flags, kFileFlags) << "without SND_ASYNC the click waits for the sound";
    ASSERT_EQ(opener.paths.size(), 1u);
    EXPECT_EQ(opener.paths[0], "https://example.invalid/manual");

    // Without a link a click only sounds and notifies.
    button->SetLinkTarget(nullptr);
    Click(button);
    EXPECT_EQ(opener.paths.size(), 1u);
    EXPECT_EQ(player.calls.size(), 2u);
    EXPECT_EQ(seen.size(), 2u);

    // A link the desktop cannot open is not reported.
    opener.result = false;
    button->SetLinkTarget("missing.pdf");
    Click(button);
    EXPECT_EQ(opener.paths.back(), "missing.pdf");
    EXPECT_EQ(seen.size(), 3u);
}

TEST_F(ButtonBehaviour, ClickOnACheckBoxTogglesAndStillNotifies)
{
    testing_support::RecordingOpener opener;
    button->PreSubclassWindow(BS_AUTOCHECKBOX);
    button->SetLinkTarget("https://example.invalid/");
    std::vector<int> statesSeenByDialog;
    dialog->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { statesSeenByDialog.push_back(button->GetCheckState()); });
    Click(button);
    Click(button);
    Click(button);
    EXPECT_EQ(statesSeenByDialog, (std::vector<int>{1, 0, 1}));
    EXPECT_TRUE(opener.paths.empty()) << "a check box only toggles";
}

TEST_F(ButtonBehaviour, ADoubleClickIsASecondPress)
{
    int downs = 0, doubles = 0, dialogDoubles = 0;
    button->Bind(wxEVT_LEFT_DOWN, [&](wxMouseEvent& e) {
        ++downs;
        e.Skip();
    });
    button->Bind(wxEVT_LEFT_DCLICK, [&](wxMouseEvent& e) {
        ++doubles;
        e.Skip();
    });
    dialog->Bind(wxEVT_LEFT_DCLICK, [&](wxMouseEvent& e) {
        ++dialogDoubles;
        e.Skip();
    });
    for (wxEventType type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK, wxEVT_LEFT_UP}) {
        wxMouseEvent e(type);
        e.SetPosition(wxPoint(5, 5));
        e.SetEventObject(button);
        button->ProcessWindowEvent(e);
        if (type == wxEVT_LEFT_DCLICK) {
            EXPECT_EQ(e.GetEventType(), wxEVT_LEFT_DOWN) << "changed in the event itself";
        }
    }
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(doubles, 0);
    EXPECT_EQ(dialogDoubles, 0);
}

// ---------------------------------------------------------------- hover

TEST_F(ButtonBehaviour, HoverTrackingCases)
{
    const struct {
        const char* name;
        BOOL flat, trackAlways;
        bool appActive, leftDown, overButton;
        BOOL hoverBefore, hoverAfter;
        size_t sounds;
    } cases[] = {
        {"flat button lights up", TRUE, TRUE, true, false, true, FALSE, TRUE, 1},
        {"3-D look never lights up", FALSE, TRUE, true, false, true, FALSE, FALSE, 0},
        {"left button held does not light up", TRUE, TRUE, true, true, true, FALSE, FALSE, 0},
        {"left button held over the lit button keeps it", TRUE, TRUE, true, true, true, TRUE, TRUE, 0},
        {"left button held off the lit button ends it", TRUE, TRUE, true, true, false, TRUE, FALSE, 0},
        {"another window in front ends it", TRUE, TRUE, true, false, false, TRUE, FALSE, 0},
        {"another window in front does not light", TRUE, TRUE, true, false, false, FALSE, FALSE, 0},
        {"inactive program, tracking only while active", TRUE, FALSE, false, false, true, FALSE, FALSE, 0},
        {"inactive program ends a lit hover", TRUE, FALSE, false, false, true, TRUE, FALSE, 0},
        {"active program, tracking only while active", TRUE, FALSE, true, false, true, FALSE, TRUE, 1},
        {"inactive program, tracking always", TRUE, TRUE, false, false, true, FALSE, TRUE, 1},
        {"a lit button plays no second sound", TRUE, TRUE, true, false, true, TRUE, TRUE, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::RecordingSoundPlayer player;
        button->SetFlatLook(c.flat, FALSE);
        EXPECT_EQ(button->SetTrackAlways(c.trackAlways), 0u);
        button->SetSounds("hover.wav", nullptr, FALSE, TRUE);
        button->m_hover = c.hoverBefore;
        active = c.appActive;
        under = c.overButton ? static_cast<wxWindow*>(button) : after;
        Move(c.leftDown);
        EXPECT_EQ(button->m_hover, c.hoverAfter);
        ASSERT_EQ(player.calls.size(), c.sounds);
        if (c.sounds > 0) {
            EXPECT_EQ(player.calls[0].sound, "hover.wav");
            EXPECT_EQ(player.calls[0].flags, kFileFlags | platform::SND_ASYNC);
        }
    }
}

TEST_F(ButtonBehaviour, TheHoverEndsOnLeaveFocusLossDeactivationCancelAndDisabling)
{
    const struct {
        const char* name;
        std::function<void(ButtonBehaviour&)> fire;
    } triggers[] = {
        {"mouse leaves",
         [](ButtonBehaviour& t) {
             wxMouseEvent leave(wxEVT_LEAVE_WINDOW);
             leave.SetEventObject(t.button);
             t.button->ProcessWindowEvent(leave);
         }},
        {"focus lost",
         [](ButtonBehaviour& t) {
             wxFocusEvent lost(wxEVT_KILL_FOCUS, t.button->GetId());
             lost.SetEventObject(t.button);
             t.button->ProcessWindowEvent(lost);
         }},
        {"dialog deactivated",
         [](ButtonBehaviour& t) {
             wxActivateEvent off(wxEVT_ACTIVATE, false);
             off.SetEventObject(t.dialog);
             t.dialog->ProcessWindowEvent(off);
         }},
        {"cancel mode (capture lost)",
         [](ButtonBehaviour& t) {
             wxMouseCaptureLostEvent lost(t.button->GetId());
             lost.SetEventObject(t.button);
             t.button->ProcessWindowEvent(lost);
         }},
        {"disabled", [](ButtonBehaviour& t) { t.button->Enable(false); }},
        {"a move over another window",
         [](ButtonBehaviour& t) {
             t.under = t.after;
             t.Move(false);
         }},
    };
    for (const auto& trigger : triggers) {
        SCOPED_TRACE(trigger.name);
        button->Enable(true);
        under = button;
        button->SetFlatLook(TRUE, FALSE);
        Move(false);
        ASSERT_TRUE(button->m_hover);
        trigger.fire(*this);
        EXPECT_FALSE(button->m_hover);
    }
    // Activation (not deactivation) leaves a lit button lit.
    button->Enable(true);
    under = button;
    Move(false);
    wxActivateEvent on(wxEVT_ACTIVATE, true);
    on.SetEventObject(dialog);
    dialog->ProcessWindowEvent(on);
    EXPECT_TRUE(button->m_hover);
}

// ---------------------------------------------------------------- disabling and colours

// The keyboard focus of the shared display is used: the test runs alone.
TEST_F(ButtonBehaviour, DisablingMovesTheFocusOnEvenWithoutHavingItOnScreen)
{
    dialog->Show();
    testing_support::PumpEvents(200);
    before->SetFocus();
    testing_support::PumpEvents(100);
    if (wxWindow::FindFocus() != before) GTEST_SKIP() << "the display gives this window no keyboard focus";
    button->Enable(false);
    testing_support::PumpEvents(100);
    EXPECT_EQ(wxWindow::FindFocus(), after) << "the label takes no focus: the edit field after it";

    // The last control of the tab order comes round to the first.
    button->Enable(true);
    button->MoveAfterInTabOrder(after);
    before->SetFocus();
    testing_support::PumpEvents(100);
    button->Enable(false);
    testing_support::PumpEvents(100);
    EXPECT_EQ(wxWindow::FindFocus(), before);
    dialog->Hide();
}

TEST_F(ButtonBehaviour, SystemColourChangeResetsTheColoursAndDropsTheBackgroundCopy)
{
    button->SetStateColor(CButtonNX::HotBack, RGB(1, 2, 3), FALSE);
    button->SetStateColor(CButtonNX::IdleText, RGB(200, 0, 0), FALSE);
    button->SetStateColor(CButtonNX::FocusText, RGB(0, 200, 0), FALSE);
    button->m_bgBitmap = wxBitmap(4, 4);
    platform::SetFixedSysColor(COLOR_BTNFACE, RGB(10, 20, 30));
    platform::SetFixedSysColor(COLOR_BTNTEXT, RGB(40, 50, 60));
    wxSysColourChangedEvent changed;
    changed.SetEventObject(button);
    button->ProcessWindowEvent(changed);
    platform::RestoreFixedSystemColors();
    for (BYTE i : {CButtonNX::HotBack, CButtonNX::IdleBack, CButtonNX::FocusBack})
        EXPECT_EQ(button->m_colors[i], RGB(10, 20, 30)) << int(i);
    for (BYTE i : {CButtonNX::HotText, CButtonNX::IdleText, CButtonNX::FocusText})
        EXPECT_EQ(button->m_colors[i], RGB(40, 50, 60)) << int(i);
    EXPECT_FALSE(button->m_bgBitmap.IsOk());
}

// ---------------------------------------------------------------- tooltip

TEST_F(ButtonBehaviour, TooltipHasOneToolInactiveUntilActivated)
{
    EXPECT_FALSE(button->TipHasTool());
    button->ActivateTip(TRUE);  // no tool yet: nothing
    EXPECT_FALSE(button->IsTipActive());

    // Any event of the button makes the tooltip.
    wxMouseEvent move(wxEVT_MOTION);
    move.SetEventObject(button);
    button->ProcessWindowEvent(move);
    EXPECT_NE(button->m_toolTip, nullptr);
    EXPECT_FALSE(button->TipHasTool());
    EXPECT_TRUE(button->GetToolTipText().empty());

    button->SetTipText(static_cast<const char*>(nullptr), TRUE);
    EXPECT_FALSE(button->TipHasTool()) << "a null text does nothing";

    button->SetTipText("Upload the records", FALSE);
    EXPECT_TRUE(button->TipHasTool());
    EXPECT_EQ(button->GetTipText(), "Upload the records");
    EXPECT_FALSE(button->IsTipActive());
    EXPECT_TRUE(button->GetToolTipText().empty()) << "inactive: the window shows no tip";

    button->ActivateTip(TRUE);
    EXPECT_EQ(button->GetToolTipText(), "Upload the records");
    button->SetTipText("Upload again", TRUE);
    EXPECT_EQ(button->GetToolTipText(), "Upload again") << "the one tool's text is replaced";
    button->ActivateTip(FALSE);
    EXPECT_TRUE(button->GetToolTipText().empty());
    EXPECT_EQ(button->GetTipText(), "Upload again");

    // 8-bit text of the system code page.
    button->SetTipText("\xC9\xCF\xB4\xAB", TRUE);  // GBK
    EXPECT_EQ(button->GetToolTipText().utf8_string(), core::FromCodePage("\xC9\xCF\xB4\xAB"));
}

TEST_F(ButtonBehaviour, TooltipTextFromTheStringTable)
{
    static const char kTip[] = "Tip from the table";
    static const char kEmpty[] = "";
    static const platform::ResourceEntry strings[] = {
        {platform::ResType::String, 9301, nullptr, reinterpret_cast<const unsigned char*>(kTip), sizeof kTip - 1},
        {platform::ResType::String, 9302, nullptr, reinterpret_cast<const unsigned char*>(kEmpty), 0},
    };
    platform::RegisterResources(strings, 2);
    button->SetTipText(9399, TRUE);
    EXPECT_FALSE(button->TipHasTool()) << "missing string";
    button->SetTipText(9302, TRUE);
    EXPECT_FALSE(button->TipHasTool()) << "empty string";
    button->SetTipText(9301, TRUE);
    EXPECT_EQ(button->GetToolTipText(), kTip);
}

TEST_F(ButtonBehaviour, BalloonStyleCountsOnlyBeforeTheTooltipIsMade)
{
    // Asked for before the tooltip is made.
    CButtonNX windowless;
    EXPECT_EQ(windowless.UseBalloonTip(), 0u);
    windowless.SetTipText("tip", FALSE);
    EXPECT_EQ(windowless.GetTipCreationStyle() & TTS_BALLOON, TTS_BALLOON);

    // Asked for after.
    auto* early = new CButtonNX(dialog, 701, "early", wxPoint(10, 200), wxSize(60, 25));
    early->SetTipText("tip", TRUE);
    const DWORD made = early->GetTipCreationStyle();
    early->UseBalloonTip();
    EXPECT_EQ(early->m_toolTipStyle & TTS_BALLOON, TTS_BALLOON);
    EXPECT_EQ(early->GetTipCreationStyle(), made) << "the tooltip that exists is left as it is";
    EXPECT_EQ(made & TTS_BALLOON, 0u);
}

// ---------------------------------------------------------------- cursor

// A 16 by 16 cursor file made with the toolkit's own writer.
const std::vector<unsigned char>& CursorBytes()
{
    static const std::vector<unsigned char> bytes = [] {
        wxImage image(16, 16);
        image.SetRGB(wxRect(0, 0, 16, 16), 0, 0, 0);
        image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_X, 3);
        image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_Y, 4);
        wxMemoryOutputStream out;
        image.SaveFile(out, wxBITMAP_TYPE_CUR);
        std::vector<unsigned char> data(out.GetSize());
        out.CopyTo(data.data(), data.size());
        return data;
    }();
    return bytes;
}

TEST_F(ButtonBehaviour, HoverCursorFromAResourceOrTheSystemHand)
{
    static platform::ResourceEntry cursors[1];
    cursors[0] = {platform::ResType::Cursor, 9401, nullptr, CursorBytes().data(), CursorBytes().size()};
    platform::RegisterResources(cursors, 1);
    ASSERT_FALSE(CursorBytes().empty());

    auto setCursorEvent = [&] {
        wxSetCursorEvent e(5, 5);
        e.SetEventObject(button);
        button->ProcessWindowEvent(e);
        return e;
    };
    EXPECT_FALSE(setCursorEvent().HasCursor()) << "no cursor of its own: the window's";

    EXPECT_EQ(button->SetHoverCursor(9401, TRUE), 0u);
    EXPECT_TRUE(button->m_hoverCursor.IsOk());
    EXPECT_EQ(button->OnSetCursor(), TRUE);
    EXPECT_TRUE(setCursorEvent().HasCursor());

    EXPECT_EQ(button->SetHoverCursor(IDC_HAND, TRUE), 0u) << "the system hand";
    EXPECT_TRUE(button->m_hoverCursor.IsOk());

    EXPECT_EQ(button->SetHoverCursor(9499, TRUE), 1u) << "no such cursor";
    EXPECT_FALSE(button->m_hoverCursor.IsOk()) << "the old one is gone too";
    EXPECT_FALSE(setCursorEvent().HasCursor());

    button->SetHoverCursor(9401, FALSE);
    EXPECT_EQ(button->SetHoverCursor(0, TRUE), 0u);
    EXPECT_FALSE(button->m_hoverCursor.IsOk());
    EXPECT_EQ(button->OnSetCursor(), FALSE);
}

// ---------------------------------------------------------------- sounds and link

TEST_F(ButtonBehaviour, SoundRecordsAndTheirFlags)
{
    static const char kResourceName[] = "CLICK";
    char name[300] = "/usr/share/sounds/click.wav";
    const std::string longest(259, 'a'), tooLong(260, 'b');
    const struct {
        const char* what;
        const char* sound;
        platform::HMODULE module;
        BOOL click, async;
        DWORD result;
        DWORD flags;  // 0: no sound
    } cases[] = {
        {"file, hover, async", name, nullptr, FALSE, TRUE, 0, kFileFlags | platform::SND_ASYNC},
        {"file, click, sync", name, nullptr, TRUE, FALSE, 0, kFileFlags},
        {"resource by name", kResourceName, platform::AppResourceModule(), TRUE, TRUE, 0,
         kResourceFlags | platform::SND_ASYNC},
        {"resource by id", platform::MakeIntResource(9501), platform::AppResourceModule(), FALSE, FALSE, 0,
         kResourceFlags},
        {"259 bytes fit", longest.c_str(), nullptr, FALSE, FALSE, 0, kFileFlags},
        {"260 bytes do not", tooLong.c_str(), nullptr, FALSE, FALSE, 5, 0},
        {"an id is no file name", platform::MakeIntResource(7), nullptr, TRUE, FALSE, 5, 0},
        {"null removes", nullptr, nullptr, TRUE, TRUE, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CButtonNX::ButtonSound& slot = button->m_sounds[c.click ? 1 : 0];
        button->SetSounds("old.wav", nullptr, c.click, TRUE);
        EXPECT_EQ(button->SetSounds(c.sound, c.module, c.click, c.async), c.result);
        EXPECT_EQ(slot.flags, c.flags);
        EXPECT_EQ(slot.hModule, c.flags ? c.module : nullptr);
        if (c.flags == 0) {
            EXPECT_EQ(slot.sound, nullptr);
            EXPECT_EQ(slot.fileName[0], '\0');
        } else if (c.module != nullptr) {
            EXPECT_EQ(slot.sound, c.sound) << "the caller's name, not copied";
        } else {
            EXPECT_EQ(slot.sound, slot.fileName);
            EXPECT_STREQ(slot.fileName, c.sound);
        }
    }
    // A file name is a copy: the caller's buffer may change.
    button->SetSounds(name, nullptr, TRUE, FALSE);
    std::strcpy(name, "changed");
    EXPECT_STREQ(button->m_sounds[1].sound, "/usr/share/sounds/click.wav");

    // Played with the record as it is.
    testing_support::RecordingSoundPlayer player;
    button->SetSounds(platform::MakeIntResource(9501), platform::AppResourceModule(), TRUE, TRUE);
    Click(button);
    ASSERT_EQ(player.calls.size(), 1u);
    EXPECT_EQ(player.calls[0].resourceId, 9501);
    EXPECT_EQ(player.calls[0].module, platform::AppResourceModule());
    EXPECT_EQ(player.calls[0].flags, kResourceFlags | platform::SND_ASYNC);
    button->SetSounds(nullptr, nullptr, TRUE, FALSE);
    Click(button);
    EXPECT_EQ(player.calls.size(), 1u) << "no click sound";
}

TEST_F(ButtonBehaviour, LinkTargetIsCutOnACharacterBoundary)
{
    const std::string ascii(300, 'a');
    std::string wide;
    for (int i = 0; i < 100; ++i) wide += "\xE9\x93\xBE";  // 3-byte UTF-8 characters, 300 bytes
    const struct {
        const char* url;
        std::size_t kept;
    } cases[] = {{"file:///tmp/a.pdf", 17}, {ascii.c_str(), 259}, {wide.c_str(), 258}, {"", 0}, {nullptr, 0}};
    for (const auto& c : cases) {
        std::memset(button->m_linkTarget, 'x', sizeof button->m_linkTarget);
        EXPECT_EQ(button->SetLinkTarget(c.url), 0u);
        EXPECT_EQ(std::strlen(button->m_linkTarget), c.kept);
        if (c.url != nullptr) {
            EXPECT_EQ(std::string(button->m_linkTarget), std::string(c.url).substr(0, c.kept));
        }
        for (std::size_t i = c.kept; i < sizeof button->m_linkTarget; ++i)
            ASSERT_EQ(button->m_linkTarget[i], '\0') << "all the rest is zero";
    }
}

// ---------------------------------------------------------------- drop-down menu

constexpr UINT kDropMenu = 9801, kNoPopupMenu = 9802, kMissingMenu = 9899, kToolbar = 9810, kNoBitmapToolbar = 9811;
constexpr UINT kFirst = 9821, kSecond = 9822, kDeep = 9824, kAdded = 9825;
constexpr UINT kNotifyMessage = WM_USER + 40;

void RegisterMenus()
{
    static bool done = false;
    if (done) return;
    done = true;
    using menu_resources::Register;
    using platform::ResType;
    // Drop: First, Second, More > Deep.
    Register(ResType::Menu, kDropMenu,
             menu_resources::MenuTemplate({
                 {MF_POPUP | MF_END, 0, u"Drop"},
                 {MF_STRING, kFirst, u"&First"},
                 {MF_STRING, kSecond, u"&Second"},
                 {MF_POPUP | MF_END, 0, u"&More"},
                 {MF_END, kDeep, u"Deep"},
             }));
    Register(ResType::Menu, kNoPopupMenu, menu_resources::MenuTemplate({{MF_END, kFirst, u"Plain"}}));
    Register(ResType::Toolbar, kToolbar, menu_resources::Toolbar(16, 15, {kFirst, 0, kSecond}));
    Register(ResType::Bitmap, kToolbar, menu_resources::ToolbarStrip(16, 15, {RGB(255, 0, 0), RGB(0, 0, 255)}));
    Register(ResType::Toolbar, kNoBitmapToolbar, menu_resources::Toolbar(16, 15, {kFirst}));
}

class ButtonDropDown : public ButtonBehaviour {
public:
    void SetUp() override
    {
        xp = KiroMenu::s_drawModeXp;
        other = KiroMenu::s_drawModeOther;
        ButtonBehaviour::SetUp();
        if (dialog == nullptr) return;
        RegisterMenus();
        dialog->Bind(wxEVT_MENU, [this](wxCommandEvent& e) { posted.push_back(e.GetId()); });
    }
    void TearDown() override
    {
        platform::SetMenuTrackingHook({});
        ButtonBehaviour::TearDown();
        KiroMenu::s_images.DeleteImageList();
        KiroMenu::s_imageCommandIds.clear();
        KiroMenu::s_drawModeXp = xp;
        KiroMenu::s_drawModeOther = other;
    }
    int xp = 0, other = 0;
    std::vector<int> posted;
};

TEST_F(ButtonDropDown, AttachMenuLoadsReplacesAndRemoves)
{
    const struct {
        const char* what;
        UINT menu, toolbar;
        DWORD result;
        bool hasMenu;
    } cases[] = {
        {"menu", kDropMenu, 0, 0, true},
        {"missing menu", kMissingMenu, 0, 1, false},
        {"menu with toolbar images", kDropMenu, kToolbar, 0, true},
        {"toolbar without its bitmap", kDropMenu, kNoBitmapToolbar, 1, false},
        {"missing toolbar", kDropMenu, 9898, 1, false},
        {"0 removes the menu", 0, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(button->AttachMenu(kDropMenu, before, 0, 0, 16, 15, RGB(192, 192, 192), FALSE), 0u);
        button->m_menuShown = TRUE;
        EXPECT_EQ(button->AttachMenu(c.menu, dialog, 1, c.toolbar, 16, 15, RGB(192, 192, 192), TRUE), c.result);
        EXPECT_EQ(button->m_menu.GetSafeHmenu() != nullptr, c.hasMenu);
        EXPECT_EQ(button->m_menuOwner, c.hasMenu ? static_cast<wxWindow*>(dialog) : nullptr);
        EXPECT_FALSE(button->m_menuShown);
    }
    // The toolbar's images went to the items of its commands.
    ASSERT_EQ(button->AttachMenu(kDropMenu, dialog, 0, kToolbar, 16, 15, RGB(192, 192, 192), TRUE), 0u);
    EXPECT_GE(button->m_menu.FindGlobalImage(kFirst), 0);
    EXPECT_GE(button->m_menu.FindGlobalImage(kSecond), 0);
}

TEST_F(ButtonDropDown, ClickDropsTheMenuDownUnderTheButtonAndPostsTheChoice)
{
    testing_support::RecordingOpener opener;
    ASSERT_EQ(button->AttachMenu(kDropMenu, dialog, 0, 0, 16, 15, RGB(192, 192, 192), TRUE), 0u);
    button->SetLinkTarget("https://example.invalid/");  // the menu wins over the link
    button->SetMenuNotify(dialog, kNotifyMessage, 77);
    dialog->Show();
    testing_support::PumpEvents(200);

    struct Case {
        const char* what;
        std::function<void(platform::MenuPopup&)> act;
        std::vector<int> posted;
    };
    const Case cases[] = {
        {"an item chosen", [](platform::MenuPopup& p) { p.Choose(1); }, {int(kSecond)}},
        {"the item the notify added", [](platform::MenuPopup& p) { p.Choose(3); }, {int(kAdded)}},
        {"an item of the sub-popup",
         [](platform::MenuPopup& p) {
             p.Choose(2);
             if (p.GetSubPopup() != nullptr) p.GetSubPopup()->Choose(0);
         },
         {int(kDeep)}},
        {"nothing chosen", [](platform::MenuPopup& p) { p.Dismiss(); }, {}},
    };
    std::vector<std::string> order;
    dialog->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { order.push_back("dialog"); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        posted.clear();
        order.clear();
        CMenu* notified = nullptr;
        LPARAM notifiedParam = 0;
        auto notify = [&](wxCommandEvent& e) {
            order.push_back("notify");
            notified = static_cast<CMenu*>(e.GetClientData());
            notifiedParam = e.GetExtraLong();
            auto* family = dynamic_cast<KiroMenu*>(notified);
            ASSERT_NE(family, nullptr);
            if (family->GetMenuItemCount() == 3) family->AppendItem("&Added", MF_STRING, kAdded, -1);
        };
        dialog->Bind(wxEVT_BUTTONNX_MENU_NOTIFY, notify, kNotifyMessage);
        wxPoint shownAt;
        BOOL shownFlag = FALSE, pressed = FALSE;
        platform::SetMenuTrackingHook([&](platform::MenuPopup& p) {
            order.push_back("tracking");
            shownAt = p.GetScreenPosition();
            shownFlag = button->m_menuShown;
            testing_support::PixelCanvas canvas(80, 30);
            DRAWITEMSTRUCT dis;
            dis.hDC = &canvas.dc();
            dis.rcItem = wxRect(0, 0, 80, 30);
            button->DrawItem(dis);
            pressed = button->m_pressed;
            c.act(p);
        });
        Click(button);
        dialog->Unbind(wxEVT_BUTTONNX_MENU_NOTIFY, notify, kNotifyMessage);
        EXPECT_EQ(order, (std::vector<std::string>{"notify", "tracking", "dialog"}));
        EXPECT_EQ(notified, button->m_menu.GetSubMenu(0));
        EXPECT_EQ(notifiedParam, 77);
        const wxRect r = button->GetScreenRect();
        EXPECT_EQ(shownAt, wxPoint(r.GetLeft(), r.GetBottom() + 1)) << "under the lower-left corner";
        EXPECT_TRUE(shownFlag);
        EXPECT_TRUE(pressed) << "drawn pressed while the menu is open";
        EXPECT_FALSE(button->m_menuShown);
        EXPECT_TRUE(posted.empty()) << "posted, not sent";
        testing_support::PumpEvents(50);
        EXPECT_EQ(posted, c.posted);
    }
    EXPECT_TRUE(opener.paths.empty());
    dialog->Hide();
}

TEST_F(ButtonDropDown, ACheckBoxWithAMenuOnlyToggles)
{
    ASSERT_EQ(button->AttachMenu(kDropMenu, dialog, 0, 0, 16, 15, RGB(192, 192, 192), TRUE), 0u);
    button->PreSubclassWindow(BS_AUTOCHECKBOX);
    bool tracked = false;
    platform::SetMenuTrackingHook([&](platform::MenuPopup& p) {
        tracked = true;
        p.Dismiss();
    });
    Click(button);
    EXPECT_FALSE(tracked);
    EXPECT_EQ(button->GetCheckState(), 1);
}

TEST_F(ButtonDropDown, AMenuWithoutAPopupHasNothingToDropDown)
{
    ASSERT_EQ(button->AttachMenu(kNoPopupMenu, dialog, 0, 0, 16, 15, RGB(192, 192, 192), TRUE), 0u);
    bool tracked = false, clicked = false;
    platform::SetMenuTrackingHook([&](platform::MenuPopup& p) {
        tracked = true;
        p.Dismiss();
    });
    dialog->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { clicked = true; });
    Click(button);
    EXPECT_FALSE(tracked);
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(button->m_menuShown);
}

TEST_F(ButtonDropDown, MeasuringAndMenuCharactersOfTheFamilysPopups)
{
    ASSERT_EQ(button->AttachMenu(kDropMenu, dialog, 0, 0, 16, 15, RGB(192, 192, 192), TRUE), 0u);
    CMenu* drop = button->m_menu.GetSubMenu(0);
    ASSERT_NE(drop, nullptr);

    // The popup entry "More" of the drop-down: an item whose id is a family popup's handle.
    MENUITEMINFOW info;
    info.fMask = MIIM_SUBMENU | MIIM_DATA;
    ASSERT_TRUE(drop->GetMenuItemInfo(2, &info, TRUE));
    ASSERT_NE(info.hSubMenu, nullptr);
    MEASUREITEMSTRUCT popupEntry;
    popupEntry.CtlType = ODT_MENU;
    popupEntry.itemID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(info.hSubMenu));
    popupEntry.itemData = info.dwItemData;
    EXPECT_TRUE(button->OnMenuMeasureItem(&popupEntry, drop->GetSafeHmenu()));
    EXPECT_GT(popupEntry.itemWidth, 0u);
    EXPECT_GT(popupEntry.itemHeight, 0u);

    MEASUREITEMSTRUCT command;  // a command item: the default handling
    command.CtlType = ODT_MENU;
    command.itemID = kFirst;
    EXPECT_FALSE(button->OnMeasureItem(&command));
    MEASUREITEMSTRUCT control = popupEntry;  // not a menu request
    control.CtlType = ODT_BUTTON;
    control.itemWidth = control.itemHeight = 0;
    EXPECT_FALSE(button->OnMeasureItem(&control));
    EXPECT_EQ(control.itemWidth, 0u);

    // Menu characters: the family finds "&Second" for 's'; a menu of no family takes the default.
    EXPECT_EQ(button->OnMenuChar('s', MF_POPUP, drop->GetSafeHmenu()), (MNC_EXECUTE << 16) | 1);
    EXPECT_EQ(button->OnMenuChar('z', MF_POPUP, drop->GetSafeHmenu()), 0);
    CMenu plain;
    plain.CreatePopupMenu();
    plain.AppendMenu(MF_STRING, 1, u"&Second");
    EXPECT_EQ(button->OnMenuChar('s', MF_POPUP, plain.GetSafeHmenu()), 0);
}

}  // namespace
