// The owner-drawn menu family's look: the system's version class, the desktop theme, the draw
// mode in force, the colour functions and the tick and radio glyphs.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controls/KiroMenu.h"
#include "platform/os_version.h"
#include "tests/support/pixel_canvas.h"

using platform::OsVersion;

namespace {

OsVersion Nt(DWORD major, DWORD minor) { return {platform::PackNtVersion(major, minor), std::make_pair(major, minor)}; }
OsVersion Win9x(DWORD major, DWORD minor)
{
    return {platform::Pack9xVersion(major, minor), std::make_pair(major, minor)};
}

// Puts the process-wide look back as it was, and the system's own providers.
class MenuLook : public ::testing::Test {
protected:
    void SetUp() override
    {
        shell_ = KiroMenu::s_shellType;
        xp_ = KiroMenu::s_drawModeXp;
        other_ = KiroMenu::s_drawModeOther;
        themeRead_ = KiroMenu::s_themeRead;
        classic_ = KiroMenu::s_classicTheme;
        ResetTheme();
    }
    void TearDown() override
    {
        platform::SetOsVersionProvider({});
        platform::SetDesktopThemeProvider({});
        KiroMenu::s_shellType = shell_;
        KiroMenu::s_drawModeXp = xp_;
        KiroMenu::s_drawModeOther = other_;
        KiroMenu::s_themeRead = themeRead_;
        KiroMenu::s_classicTheme = classic_;
    }
    static void ResetTheme()
    {
        KiroMenu::s_themeRead = FALSE;
        KiroMenu::s_classicTheme = FALSE;
    }
    // A theme provider that counts its reads.
    void Theme(std::optional<std::string> value)
    {
        themeReads_ = 0;
        platform::SetDesktopThemeProvider([this, value] {
            ++themeReads_;
            return value;
        });
    }
    void Shell(const OsVersion& version)
    {
        platform::SetOsVersionProvider([version] { return version; });
        KiroMenu::s_shellType = KiroMenu::DetectShellType();
    }
    int themeReads_ = 0;

private:
    int shell_ = 0, xp_ = 0, other_ = 0;
    BOOL themeRead_ = FALSE, classic_ = FALSE;
};

}  // namespace

TEST_F(MenuLook, VersionClassOfEachSystem)
{
    struct Case {
        const char* name;
        OsVersion version;
        int want;
    };
    const std::vector<Case> cases = {
        {"NT 4.0", Nt(4, 0), 5},
        {"NT 4.1", Nt(4, 1), 5},
        {"NT 5.0", Nt(5, 0), 6},
        {"NT 5.1", Nt(5, 1), 7},
        {"NT 5.2", Nt(5, 2), 1},
        {"NT 6.1", Nt(6, 1), 1},
        {"NT 10.0", Nt(10, 0), 1},
        {"NT 3.51", Nt(3, 51), 1},
        {"NT without a detailed record", {platform::PackNtVersion(5, 1), std::nullopt}, 1},
        {"9x 3.10", Win9x(3, 10), 0},
        {"9x 3.x, no detailed record asked", {platform::Pack9xVersion(3, 95), std::nullopt}, 0},
        {"9x 4.0", Win9x(4, 0), 2},
        {"9x 4.10", Win9x(4, 10), 3},
        {"9x 4.90", Win9x(4, 90), 4},
        {"9x 4.10 without a detailed record", {platform::Pack9xVersion(4, 10), std::nullopt}, 2},
    };
    for (const Case& c : cases) {
        platform::SetOsVersionProvider([v = c.version] { return v; });
        EXPECT_EQ(KiroMenu::DetectShellType(), c.want) << c.name;
    }
    platform::SetOsVersionProvider({});
    EXPECT_EQ(KiroMenu::DetectShellType(), 1) << "this system";
}

TEST_F(MenuLook, ALaterSystemHasNoFlatLookAndTheOtherDrawModeDecides)
{
    Theme(std::nullopt);
    Shell(Nt(6, 1));
    EXPECT_EQ(KiroMenu::s_shellType, 1);
    EXPECT_FALSE(KiroMenu::IsRecognisedShell());
    EXPECT_FALSE(KiroMenu::IsXpThemed());
    EXPECT_EQ(themeReads_, 0);
    KiroMenu::s_drawModeXp = 1;
    KiroMenu::s_drawModeOther = 0;
    EXPECT_EQ(KiroMenu::GetActiveDrawMode(), 0);
    EXPECT_FALSE(KiroMenu::IsFlatDrawMode());
    EXPECT_TRUE(KiroMenu::GetActiveSelectDisabled());  // the classic painter's flag
    KiroMenu::s_drawModeOther = 1;
    EXPECT_TRUE(KiroMenu::IsFlatDrawMode());
    EXPECT_FALSE(KiroMenu::GetActiveSelectDisabled());  // the flat painter's flag
}

TEST_F(MenuLook, NtFourIsRecognisedButNeverReadsTheTheme)
{
    Theme(std::string("Windows Classic.theme"));
    Shell(Nt(4, 0));
    KiroMenu::s_drawModeXp = 1;
    KiroMenu::s_drawModeOther = 0;
    EXPECT_TRUE(KiroMenu::IsRecognisedShell());
    EXPECT_FALSE(KiroMenu::IsXpThemed());
    EXPECT_EQ(KiroMenu::GetActiveDrawMode(), 0);
    EXPECT_EQ(themeReads_, 0);
    EXPECT_FALSE(KiroMenu::s_themeRead);
}

TEST_F(MenuLook, RecognisedShells)
{
    const std::vector<std::pair<int, BOOL>> cases = {{0, FALSE}, {1, FALSE}, {2, TRUE}, {3, TRUE},
                                                     {4, TRUE},  {5, TRUE},  {6, TRUE}, {7, TRUE}};
    for (auto [shell, want] : cases) {
        KiroMenu::s_shellType = shell;
        EXPECT_EQ(KiroMenu::IsRecognisedShell(), want) << shell;
    }
}

TEST_F(MenuLook, ClassicThemeOnTheFlatLookSystem)
{
    struct Case {
        std::optional<std::string> theme;
        bool classic;
    };
    const std::vector<Case> cases = {
        {std::string("C:\\WINDOWS\\Resources\\Themes\\Windows Classic.theme"), true},
        {std::string("windows classic.THEME"), true},
        {std::string("Windows Classic.theme"), true},
        {std::string("C:\\Themes\\Luna.theme"), false},
        {std::string("Windows Classic.theme.bak"), false},
        {std::string("Classic.theme"), false},  // shorter than the name
        {std::string(""), false},
        {std::nullopt, false},  // no key, or a read that fails
        // Longer than the value buffer: the read fails.
        {std::string(300, 'x') + "Windows Classic.theme", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.theme ? *c.theme : std::string("(none)"));
        ResetTheme();
        Theme(c.theme);
        Shell(Nt(5, 1));
        KiroMenu::s_drawModeXp = 1;
        KiroMenu::s_drawModeOther = 0;
        EXPECT_EQ(KiroMenu::IsClassicTheme() != FALSE, c.classic);
        EXPECT_EQ(KiroMenu::IsXpThemed() != FALSE, !c.classic);
        EXPECT_EQ(KiroMenu::GetActiveDrawMode(), c.classic ? 0 : 1);
        EXPECT_EQ(KiroMenu::IsFlatDrawMode() != FALSE, !c.classic);
        EXPECT_EQ(themeReads_, 1);
    }
}

TEST_F(MenuLook, TheThemeIsReadOncePerProcess)
{
    Theme(std::string("Windows Classic.theme"));
    Shell(Nt(5, 1));
    EXPECT_TRUE(KiroMenu::IsClassicTheme());
    // The user changes the theme: the answer stays.
    Theme(std::string("Luna.theme"));
    EXPECT_TRUE(KiroMenu::IsClassicTheme());
    EXPECT_FALSE(KiroMenu::IsXpThemed());
    EXPECT_EQ(themeReads_, 0);
}

TEST_F(MenuLook, SetDrawModeChoosesOnePainterForEverySystem)
{
    Theme(std::nullopt);
    const std::vector<OsVersion> systems = {Nt(5, 1), Nt(4, 0), Nt(6, 1), Win9x(4, 10), Win9x(3, 0)};
    for (int mode : {0, 1, 2}) {
        KiroMenu::SetDrawMode(mode);
        EXPECT_EQ(KiroMenu::s_drawModeXp, mode);
        EXPECT_EQ(KiroMenu::s_drawModeOther, mode);
        for (const OsVersion& system : systems) {
            ResetTheme();
            Shell(system);
            EXPECT_EQ(KiroMenu::GetActiveDrawMode(), mode) << KiroMenu::s_shellType;
            EXPECT_EQ(KiroMenu::IsFlatDrawMode() != FALSE, mode == 1) << KiroMenu::s_shellType;
        }
    }
}

TEST(MenuColours, BlendTowardWhite)
{
    struct Case {
        COLORREF colour;
        double factor;
        COLORREF want;
    };
    const std::vector<Case> cases = {
        {RGB(49, 106, 197), 0.85, RGB(224, 232, 246)},
        {RGB(49, 106, 197), 1.0, RGB(255, 255, 255)},
        {RGB(0, 0, 0), 0.5, RGB(127, 127, 127)},  // truncated
        {RGB(49, 106, 197), 0.0, RGB(49, 106, 197)},
        {RGB(49, 106, 197), -0.2, RGB(49, 106, 197)},
        {RGB(49, 106, 197), 1.5, RGB(49, 106, 197)},
        {0xFF000000u | RGB(10, 20, 30), 0.0, 0xFF000000u | RGB(10, 20, 30)},  // unchanged, top byte too
        {0xFF000000u | RGB(0, 0, 0), 1.0, RGB(255, 255, 255)},                // top byte cleared
    };
    for (const Case& c : cases)
        EXPECT_EQ(KiroMenu::BlendTowardWhite(c.colour, c.factor), c.want) << std::hex << c.colour << " " << c.factor;
}

TEST(MenuColours, ScaleTowardBlack)
{
    struct Case {
        COLORREF colour;
        double factor;
        COLORREF want;
    };
    const std::vector<Case> cases = {
        {RGB(200, 100, 51), 0.5, RGB(100, 50, 25)},  // 25.5 truncated
        {RGB(200, 100, 51), 1.0, RGB(0, 0, 0)},
        {RGB(255, 255, 255), 0.1, RGB(229, 229, 229)},
        {RGB(200, 100, 51), 0.0, RGB(200, 100, 51)},
        {RGB(200, 100, 51), 2.0, RGB(200, 100, 51)},
        {0x12000000u | RGB(200, 100, 51), -1.0, 0x12000000u | RGB(200, 100, 51)},
        {0x12000000u | RGB(200, 100, 51), 0.5, RGB(100, 50, 25)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KiroMenu::ScaleTowardBlack(c.colour, c.factor), c.want) << std::hex << c.colour << " " << c.factor;
}

TEST(MenuGlyphs, TickIsSevenStrokesOfThreePixels)
{
    testing_support::PixelCanvas canvas(20, 20);
    const wxPen pen(*wxGREEN, 3);
    const wxBrush brush(*wxBLUE);
    canvas.dc().SetPen(pen);
    canvas.dc().SetBrush(brush);
    KiroMenu menu;
    const COLORREF ink = RGB(200, 0, 0);
    menu.DrawCheckGlyph(canvas.dc(), 5, 6, ink);
    // The DC's own pen and brush are back.
    EXPECT_EQ(canvas.dc().GetPen().GetColour(), *wxGREEN);
    EXPECT_EQ(canvas.dc().GetBrush().GetColour(), *wxBLUE);
    canvas.Finish();
    const int top[7] = {2, 3, 4, 3, 2, 1, 0};
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            const int k = x - 5;
            const bool inked = k >= 0 && k < 7 && y >= 6 + top[k] && y < 6 + top[k] + 3;
            EXPECT_EQ(canvas.At(x, y), inked ? ink : RGB(255, 255, 255)) << x << "," << y;
        }
    }
    EXPECT_EQ(canvas.InkBox(), wxRect(5, 6, 7, 7));
}

TEST(MenuGlyphs, RadioDotFillsItsBox)
{
    testing_support::PixelCanvas canvas(20, 20);
    KiroMenu menu;
    const COLORREF ink = RGB(0, 0, 160);
    menu.DrawRadioGlyph(canvas.dc(), 4, 5, ink);
    canvas.Finish();
    const wxRect box = canvas.InkBox();
    // Inside the box (4, 5) .. (10, 11), round and filled in the colour.
    EXPECT_TRUE(wxRect(4, 5, 7, 7).Contains(box)) << box.x << "," << box.y << " " << box.width << "x" << box.height;
    EXPECT_GE(box.width, 5);
    EXPECT_GE(box.height, 5);
    EXPECT_EQ(canvas.At(7, 8), ink);                 // the centre
    EXPECT_EQ(canvas.At(4, 5), RGB(255, 255, 255));  // a corner stays clear
    EXPECT_EQ(canvas.Count(wxRect(0, 0, 20, 20), ink), canvas.Count(box, ink));
}
