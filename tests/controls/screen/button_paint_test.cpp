// The bitmap button's painting: the layers and their order, image placement, the press offset,
// the state colours, the image chosen by state and the focus rectangle, checked pixel by pixel.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/stattext.h>

#include "controls/ButtonNX.h"
#include "tests/support/pixel_canvas.h"
#include "tests/support/real_input.h"
#include "tests/support/screenshot.h"
#include "tests/support/test_support.h"

using testing_support::PixelCanvas;

namespace {

constexpr int kW = 80, kH = 40;

// Records the layers DrawItem calls, then paints them as the button does.
class RecordingButton : public CButtonNX {
public:
    using CButtonNX::CButtonNX;
    std::vector<std::string> calls;
    DWORD PaintBackground(wxDC& dc, CRect& rect) override
    {
        calls.push_back("background");
        return CButtonNX::PaintBackground(dc, rect);
    }
    DWORD PaintBorder(wxDC& dc, CRect& rect) override
    {
        calls.push_back("border " + std::to_string(rect.left));
        return CButtonNX::PaintBorder(dc, rect);
    }
    void PaintIcon(wxDC& dc, BOOL hasCaption, const CRect& item, CRect& caption, BOOL pressed, BOOL disabled) override
    {
        calls.push_back("icon");
        CButtonNX::PaintIcon(dc, hasCaption, item, caption, pressed, disabled);
    }
    void PaintBitmap(wxDC& dc, BOOL hasCaption, const CRect& item, CRect& caption, BOOL pressed, BOOL disabled) override
    {
        calls.push_back("bitmap");
        CButtonNX::PaintBitmap(dc, hasCaption, item, caption, pressed, disabled);
    }
    void PaintCaption(wxDC& dc, const std::string& text, const CRect& item, CRect& caption, BOOL pressed,
                      BOOL disabled) override
    {
        calls.push_back("caption " + text + " from " + std::to_string(caption.left));
        CButtonNX::PaintCaption(dc, text, item, caption, pressed, disabled);
    }
};

class ButtonPaint : public ::testing::Test {
protected:
    void SetUp() override
    {
        QEL_REQUIRE_DISPLAY();
        platform::UseFixedSystemColors(true);
        frame = new wxFrame(nullptr, wxID_ANY, "");
        button = new RecordingButton(frame, 100, "", wxPoint(0, 0), wxSize(kW, kH));
    }
    void TearDown() override
    {
        platform::UseFixedSystemColors(false);
        if (frame != nullptr) frame->Destroy();
    }
    // Paints the button with this owner-draw state onto a fresh canvas.
    std::unique_ptr<PixelCanvas> Paint(UINT state)
    {
        auto c = std::make_unique<PixelCanvas>(kW, kH, RGB(0, 128, 0));
        c->dc().SetFont(button->GetFont());
        DRAWITEMSTRUCT dis;
        dis.CtlType = ODT_BUTTON;
        dis.itemState = state;
        dis.hDC = &c->dc();
        dis.rcItem = wxRect(0, 0, kW, kH);
        button->calls.clear();
        button->DrawItem(dis);
        c->Finish();
        return c;
    }
    static wxImage Solid(int w, int h, COLORREF c)
    {
        wxImage img(w, h);
        img.SetRGB(wxRect(0, 0, w, h), GetRValue(c), GetGValue(c), GetBValue(c));
        return img;
    }
    wxFrame* frame = nullptr;
    RecordingButton* button = nullptr;
};

TEST_F(ButtonPaint, LayersInOrderAndOnlyThoseNeeded)
{
    Paint(0);
    EXPECT_EQ(button->calls, (std::vector<std::string>{"background", "border 0"}));

    button->SetLabel("Go");
    button->SetBitmapPair(Solid(10, 10, RGB(255, 0, 0)), RGB(1, 1, 1), wxImage(), 0);
    button->SetFlatLook(FALSE, FALSE);
    Paint(ODS_FOCUS);
    // The focused 3-D button's black frame shrinks the rectangle the border gets; the bitmap
    // moves the caption's left edge by its width and the margin.
    EXPECT_EQ(button->calls, (std::vector<std::string>{"background", "border 1", "bitmap", "caption Go from 13"}));

    button->EnableTransparency(FALSE);
    Paint(0);
    EXPECT_EQ(button->calls.front(), "border 0") << "a transparent button draws its parent's copy, no background";
}

TEST_F(ButtonPaint, ImagePlacementPerAlignment)
{
    struct Case {
        BYTE align;
        bool caption;
        bool pressed;
        wxPoint image;    // top-left corner of the image
        int captionLeft;  // caption rectangle as the image leaves it
        int captionTop;
        int captionRight;
    } cases[] = {
        {CButtonNX::ImageLeft, false, false, {35, 15}, 0, 0, kW},
        {CButtonNX::ImageLeft, true, false, {3, 15}, 13, 0, kW},
        {CButtonNX::ImageLeft, true, true, {4, 16}, 13, 0, kW},
        {CButtonNX::ImageTop, false, false, {35, 15}, 0, 0, kW},
        {CButtonNX::ImageTop, true, false, {35, 3}, 0, 10, kW},
        {CButtonNX::ImageRight, false, false, {35, 0}, 0, 0, kW},  // not centred vertically
        {CButtonNX::ImageRight, true, false, {67, 15}, 3, 0, 67},
        {CButtonNX::ImageAtOrigin, true, false, {0, 0}, 0, 0, kW},
        {CButtonNX::ImageAtOrigin, true, true, {1, 1}, 0, 0, kW},
    };
    for (const Case& k : cases) {
        ASSERT_EQ(button->SetImageAlign(k.align, FALSE), 0u);
        CRect caption(0, 0, kW, kH);
        CRect image;
        button->PlaceImage(k.caption, CRect(0, 0, kW, kH), caption, k.pressed, 10, 10, image);
        SCOPED_TRACE(testing::Message() << "align " << int(k.align) << " caption " << k.caption << " pressed "
                                        << k.pressed);
        EXPECT_EQ(wxPoint(image.left, image.top), k.image);
        EXPECT_EQ(caption.left, k.captionLeft);
        EXPECT_EQ(caption.top, k.captionTop);
        EXPECT_EQ(caption.right, k.captionRight);
    }
    button->SetPressOffsetStyle(1, FALSE);
    button->SetImageAlign(CButtonNX::ImageAtOrigin, FALSE);
    CRect caption(0, 0, kW, kH), image;
    button->PlaceImage(TRUE, CRect(0, 0, kW, kH), caption, TRUE, 10, 10, image);
    EXPECT_EQ(wxPoint(image.left, image.top), wxPoint(0, 2));
    button->m_checkBox = TRUE;
    button->PlaceImage(TRUE, CRect(0, 0, kW, kH), caption, TRUE, 10, 10, image);
    EXPECT_EQ(wxPoint(image.left, image.top), wxPoint(0, 0)) << "a check box is not offset";
}

TEST_F(ButtonPaint, BackgroundColourByState)
{
    const COLORREF hot = RGB(200, 0, 0), idle = RGB(0, 0, 200), focus = RGB(0, 200, 0);
    button->SetStateColor(CButtonNX::HotBack, hot, FALSE);
    button->SetStateColor(CButtonNX::IdleBack, idle, FALSE);
    button->SetStateColor(CButtonNX::FocusBack, focus, FALSE);
    struct Case {
        UINT state;
        BOOL hover;
        COLORREF want;
    } cases[] = {
        {0, FALSE, idle}, {ODS_FOCUS, FALSE, focus}, {ODS_SELECTED, FALSE, hot}, {ODS_SELECTED | ODS_FOCUS, FALSE, hot},
        {0, TRUE, hot},   {ODS_FOCUS, TRUE, hot},
    };
    for (const Case& k : cases) {
        button->m_hover = k.hover;
        auto c = Paint(k.state);
        EXPECT_EQ(c->At(kW / 2, kH / 2), k.want) << "state " << k.state << " hover " << k.hover;
    }
}

TEST_F(ButtonPaint, ThreeDBorderFrameAndFocusRectangle)
{
    button->SetFlatLook(FALSE, FALSE);
    const COLORREF hi = platform::SysColor(COLOR_BTNHIGHLIGHT), dark = platform::SysColor(COLOR_3DDKSHADOW);
    const COLORREF shadow = platform::SysColor(COLOR_BTNSHADOW), face = platform::SysColor(COLOR_BTNFACE);
    const COLORREF light = platform::SysColor(COLOR_3DLIGHT);
    // Every pen of the border has a colour of its own in the test palette.
    ASSERT_EQ((std::set<COLORREF>{hi, dark, shadow, face, light, RGB(0, 0, 0)}.size()), 6u);
    {
        auto c = Paint(0);
        // The four pens: highlight outside and light inside at the top and left, dark shadow
        // outside and shadow inside at the bottom and right.
        EXPECT_EQ(c->At(0, 0), hi);
        EXPECT_EQ(c->At(0, kH - 2), hi);
        EXPECT_EQ(c->At(kW - 2, 0), hi);
        EXPECT_EQ(c->At(kW - 1, 0), dark) << "the dark shadow runs up to the top";
        EXPECT_EQ(c->At(1, 1), light);
        EXPECT_EQ(c->At(1, 10), light);
        EXPECT_EQ(c->At(10, 1), light);
        EXPECT_EQ(c->At(kW - 3, 1), light);
        EXPECT_EQ(c->At(kW - 1, 10), dark);
        EXPECT_EQ(c->At(10, kH - 1), dark);
        EXPECT_EQ(c->At(kW - 2, 10), shadow);
        EXPECT_EQ(c->At(kW - 2, 1), shadow);
        EXPECT_EQ(c->At(10, kH - 2), shadow);
        EXPECT_EQ(c->At(2, 2), face);
        EXPECT_EQ(c->At(10, 10), face);
    }
    {
        auto c = Paint(ODS_FOCUS);
        EXPECT_EQ(c->At(0, 10), RGB(0, 0, 0)) << "black frame on the outer pixel";
        EXPECT_EQ(c->At(1, 1), hi) << "the border inside it";
        EXPECT_EQ(c->At(2, 10), light);
        EXPECT_EQ(c->At(kW - 2, 10), dark);
        // Focus dots 4 pixels inside the item rectangle: the face under them inverted.
        const COLORREF dot = RGB(255 - GetRValue(face), 255 - GetGValue(face), 255 - GetBValue(face));
        EXPECT_EQ(c->At(4, 4), dot);
        EXPECT_EQ(c->At(5, 4), face);
        EXPECT_EQ(c->At(6, 4), dot);
        const int bottom = kH - 5, bx = (4 + bottom) % 2 == 0 ? 4 : 5;  // a dot where x + y is even
        EXPECT_EQ(c->At(bx, bottom), dot);
        EXPECT_EQ(c->At(bx + 1, bottom), face);
        EXPECT_EQ(c->At(3, 3), face);
    }
    {
        auto c = Paint(ODS_SELECTED);
        EXPECT_EQ(c->At(0, 10), shadow) << "pressed: a one-pixel shadow frame";
        EXPECT_EQ(c->At(1, 10), face);
    }
    button->m_defaultButton = TRUE;
    {
        auto c = Paint(0);
        EXPECT_EQ(c->At(0, 10), RGB(0, 0, 0)) << "the default button has the black frame too";
    }
}

TEST_F(ButtonPaint, FlatLookEdgesAndFocus)
{
    const COLORREF hi = platform::SysColor(COLOR_BTNHIGHLIGHT), shadow = platform::SysColor(COLOR_BTNSHADOW);
    const COLORREF face = platform::SysColor(COLOR_BTNFACE);
    {
        auto c = Paint(ODS_FOCUS);
        EXPECT_EQ(c->At(0, 10), face) << "no frame, no edge at rest";
        EXPECT_EQ(c->At(3, 3), face) << "no focus rectangle without m_flatFocus";
    }
    button->EnableFlatFocus(TRUE, FALSE);
    {
        auto c = Paint(ODS_FOCUS);
        EXPECT_EQ(c->At(3, 3), RGB(255 - GetRValue(face), 255 - GetGValue(face), 255 - GetBValue(face)))
            << "flat focus rectangle 3 pixels inside, inverting";
    }
    button->m_hover = TRUE;
    {
        auto c = Paint(0);
        EXPECT_EQ(c->At(0, 10), hi);
        EXPECT_EQ(c->At(kW - 1, 10), shadow);
    }
    {
        auto c = Paint(ODS_SELECTED);
        EXPECT_EQ(c->At(0, 10), shadow) << "sunken";
        EXPECT_EQ(c->At(kW - 1, 10), hi);
    }
    button->EnableBorder(FALSE, FALSE);
    {
        auto c = Paint(0);
        EXPECT_EQ(c->At(0, 10), face) << "no edges without m_drawBorder";
    }
}

TEST_F(ButtonPaint, SecondImageAtRestFirstWhenHotOrPressed)
{
    const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
    button->SetBitmapPair(Solid(10, 10, red), RGB(1, 1, 1), Solid(10, 10, blue), RGB(1, 1, 1));
    struct Case {
        BOOL checkBox;
        int checked;
        UINT state;
        BOOL hover;
        COLORREF want;
    } cases[] = {
        {FALSE, 0, 0, FALSE, blue},
        {FALSE, 0, 0, TRUE, red},
        {FALSE, 0, ODS_SELECTED, FALSE, red},
        {TRUE, 0, 0, TRUE, blue},  // a check box ignores the hover
        {TRUE, 1, 0, FALSE, red},  // checked
        {TRUE, 0, ODS_SELECTED, FALSE, red},
    };
    for (const Case& k : cases) {
        button->m_checkBox = k.checkBox;
        button->m_checked = k.checked;
        button->m_hover = k.hover;
        auto c = Paint(k.state);
        const bool offset = (k.state & ODS_SELECTED) && !k.checkBox;
        const int x = 35 + (offset ? 1 : 0) + 2, y = 15 + (offset ? 1 : 0) + 2;
        EXPECT_EQ(c->At(x, y), k.want) << "check " << k.checkBox << k.checked << " state " << k.state << " hover "
                                       << k.hover;
    }
    button->SetBitmapPair(Solid(10, 10, red), RGB(1, 1, 1), wxImage(), 0);
    button->m_checkBox = FALSE;
    button->m_hover = FALSE;
    EXPECT_EQ(Paint(0)->At(37, 17), red) << "one image serves every state";
}

TEST_F(ButtonPaint, BitmapTransparentPixelsAndDisabledLook)
{
    const COLORREF key = RGB(255, 0, 255), face = platform::SysColor(COLOR_BTNFACE);
    wxImage img = Solid(10, 10, RGB(255, 0, 0));
    img.SetRGB(wxRect(0, 0, 10, 5), 255, 0, 255);  // upper half transparent
    button->SetBitmapPair(img, key, wxImage(), 0);
    {
        auto c = Paint(0);
        EXPECT_EQ(c->At(37, 16), face) << "transparent pixels show the background";
        EXPECT_EQ(c->At(37, 22), RGB(255, 0, 0));
    }
    {
        auto c = Paint(ODS_DISABLED);
        EXPECT_EQ(c->At(37, 16), face);
        EXPECT_EQ(c->At(37, 22), platform::SysColor(COLOR_BTNSHADOW)) << "embossed";
        EXPECT_EQ(c->At(45, 25), platform::SysColor(COLOR_BTNHIGHLIGHT)) << "highlight shifted by (1, 1)";
    }
}

TEST_F(ButtonPaint, CaptionColoursAndPressOffset)
{
    button->SetLabel("MMM");
    button->SetStateColor(CButtonNX::IdleText, RGB(0, 0, 255), FALSE);
    button->SetStateColor(CButtonNX::HotText, RGB(255, 0, 0), FALSE);
    auto rest = Paint(0);
    auto pressed = Paint(ODS_SELECTED);
    auto disabled = Paint(ODS_DISABLED);
    const wxRect all(2, 2, kW - 4, kH - 4);
    EXPECT_GT(rest->Count(all, RGB(0, 0, 255)), 5);
    EXPECT_EQ(rest->Count(all, RGB(255, 0, 0)), 0);
    EXPECT_GT(pressed->Count(all, RGB(255, 0, 0)), 5);
    const COLORREF face = platform::SysColor(COLOR_BTNFACE);
    const wxRect a = rest->InkBox(face), b = pressed->InkBox(face);
    // The ink boxes include the border; compare the caption's ink inside it.
    auto captionInk = [&](const PixelCanvas& c, COLORREF colour) {
        wxRect box;
        for (int y = 2; y < kH - 2; ++y)
            for (int x = 2; x < kW - 2; ++x)
                if (c.At(x, y) == colour) box.Union(wxRect(x, y, 1, 1)).IsEmpty();
        int l = kW, t = kH;
        for (int y = 2; y < kH - 2; ++y)
            for (int x = 2; x < kW - 2; ++x)
                if (c.At(x, y) == colour) {
                    l = std::min(l, x);
                    t = std::min(t, y);
                }
        return wxPoint(l, t);
    };
    (void)a;
    (void)b;
    EXPECT_EQ(captionInk(*pressed, RGB(255, 0, 0)), captionInk(*rest, RGB(0, 0, 255)) + wxPoint(1, 1));
    EXPECT_GT(disabled->Count(all, platform::SysColor(COLOR_BTNHIGHLIGHT)), 5);
    EXPECT_GT(disabled->Count(all, platform::SysColor(COLOR_BTNSHADOW)), 5);
    EXPECT_EQ(captionInk(*disabled, platform::SysColor(COLOR_BTNHIGHLIGHT)),
              captionInk(*disabled, platform::SysColor(COLOR_BTNSHADOW)) + wxPoint(1, 1));
}

TEST_F(ButtonPaint, TransparentButtonShowsTheCapturedBackground)
{
    button->EnableTransparency(FALSE);
    wxBitmap parent(200, 100);
    {
        wxMemoryDC mem(parent);
        mem.SetBackground(*wxBLUE_BRUSH);
        mem.Clear();
        EXPECT_EQ(button->CaptureBackground(&mem), 0u);
    }
    auto c = Paint(ODS_FOCUS);
    EXPECT_EQ(c->At(kW / 2, kH / 2), RGB(0, 0, 255));
    EXPECT_EQ(c->At(0, 10), RGB(0, 0, 255)) << "no black frame on a transparent button";
}

// The copy is taken from the parent's pixels under the button, wherever the button stands.
TEST_F(ButtonPaint, CapturedBackgroundIsTakenAtTheButtonsPlace)
{
    const wxPoint at(30, 20);
    button->SetPosition(at);
    ASSERT_EQ(button->GetPosition(), at);
    button->EnableTransparency(FALSE);
    wxBitmap parent(200, 100);
    {
        wxMemoryDC mem(parent);
        mem.SetBackground(*wxRED_BRUSH);
        mem.Clear();
        mem.SetPen(*wxTRANSPARENT_PEN);
        mem.SetBrush(*wxBLUE_BRUSH);
        mem.DrawRectangle(at.x, at.y, kW, kH);
        mem.SetBrush(wxBrush(wxColour(0, 255, 0)));
        mem.DrawRectangle(at.x, at.y, 2, 2);  // marks the button's top-left corner
        mem.SetBrush(wxBrush(wxColour(255, 255, 0)));
        mem.DrawRectangle(at.x + kW - 2, at.y + kH - 2, 2, 2);  // and its bottom-right one
        EXPECT_EQ(button->CaptureBackground(&mem), 0u);
    }
    auto c = Paint(0);  // the flat look at rest draws no edge over the copy
    EXPECT_EQ(c->At(0, 0), RGB(0, 255, 0));
    EXPECT_EQ(c->At(kW - 1, kH - 1), RGB(255, 255, 0));
    EXPECT_EQ(c->At(kW / 2, kH / 2), RGB(0, 0, 255));
    EXPECT_EQ(c->Count(wxRect(0, 0, kW, kH), RGB(255, 0, 0)), 0) << "nothing from beside the button";
}

// An opaque button refuses a capture even from a real device context and keeps painting its face.
TEST_F(ButtonPaint, OpaqueButtonRefusesACaptureFromARealDeviceContext)
{
    wxBitmap parent(200, 100);
    {
        wxMemoryDC mem(parent);
        mem.SetBackground(*wxBLUE_BRUSH);
        mem.Clear();
        EXPECT_EQ(button->CaptureBackground(&mem), 5u);
    }
    auto c = Paint(0);
    EXPECT_EQ(c->At(kW / 2, kH / 2), platform::SysColor(COLOR_BTNFACE));
    EXPECT_EQ(c->Count(wxRect(0, 0, kW, kH), RGB(0, 0, 255)), 0);
}

// Pixels of an image that are neither of two colours: the in-between shades of smoothed text.
int Shades(const wxImage& image, const wxRect& area, COLORREF a, COLORREF b)
{
    int n = 0;
    for (int y = area.y; y < area.GetBottom(); ++y)
        for (int x = area.x; x < area.GetRight(); ++x) {
            const COLORREF c = RGB(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
            if (c != a && c != b) ++n;
        }
    return n;
}

// On the shown window: the caption is smoothed like the native label beside it, while the frame
// and the focus rectangle keep their exact pixels, the focus dots inverting the face under them.
TEST_F(ButtonPaint, CaptionSmoothedAndFocusDotsInvertedOnScreen)
{
    const COLORREF face = platform::SysColor(COLOR_BTNFACE), text = platform::SysColor(COLOR_BTNTEXT);
    button->SetFlatLook(FALSE, FALSE);
    button->SetLabel("Upload Wg");
    auto* label = new wxStaticText(frame, wxID_ANY, "Upload Wg", wxPoint(0, kH + 10));
    frame->SetClientSize(kW + 40, kH + 50);
    frame->Show();
    frame->Raise();
    button->SetFocus();
    ASSERT_TRUE(testing_support::WaitFor([&] { return button->IsShownOnScreen() && button->HasFocus(); }, 3000));
    testing_support::PumpEvents(100);
    const wxImage shot = testing_support::CaptureWindow(button);
    ASSERT_TRUE(shot.IsOk());
    ASSERT_EQ(shot.GetSize(), wxSize(kW, kH));
    auto at = [&shot](int x, int y) { return RGB(shot.GetRed(x, y), shot.GetGreen(x, y), shot.GetBlue(x, y)); };
    EXPECT_EQ(at(0, 10), RGB(0, 0, 0)) << "the focused button's black frame";
    EXPECT_EQ(at(1, 1), platform::SysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(at(4, 4), RGB(43, 47, 55)) << "a focus dot: the face (212, 208, 200) inverted";
    EXPECT_EQ(at(5, 4), face);
    EXPECT_EQ(at(6, 4), RGB(43, 47, 55));
    // The caption between the focus dots: smoothed, with shades between the text and the face.
    const wxRect inside(6, 6, kW - 12, kH - 12);
    EXPECT_GT(Shades(shot, inside, face, text), 10) << "smoothed caption";
    const wxImage native = testing_support::CaptureWindow(label);
    ASSERT_TRUE(native.IsOk());
    const wxColour labelBack = label->GetBackgroundColour(), labelText = label->GetForegroundColour();
    EXPECT_GT(
        Shades(native, wxRect(native.GetSize()), platform::FromColour(labelBack), platform::FromColour(labelText)), 10)
        << "the native label is smoothed too";
    testing_support::SaveWindowPng(frame, std::string(QEL_BINARY_DIR) + "/button-caption-focus.png");
    frame->Hide();
}

}  // namespace
