// The off-screen surface of the owner-drawn menu's flat look.
#include <string>

#include <gtest/gtest.h>
#include <wx/dc.h>
#include <wx/dcps.h>

#include "controls/KiroMenuMemDC.h"
#include "tests/support/pixel_canvas.h"

using testing_support::PixelCanvas;

namespace {

constexpr COLORREF kSentinel = RGB(1, 2, 3);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);

}  // namespace

TEST(KiroMenuMemDCTest, PictureReachesTheTargetWhenDestroyed)
{
    PixelCanvas target(40, 30, kSentinel);
    const CRect area(10, 5, 30, 20);
    {
        KiroMenuMemDC mem(&target.dc(), &area);
        EXPECT_TRUE(mem.IsOffScreen());
        EXPECT_NE(&mem.GetDC(), &target.dc());
        // Drawn in the target's coordinates, partly outside the area.
        platform::FillSolidRect(mem.GetDC(), wxRect(0, 0, 40, 30), kGreen);
        platform::FillSolidRect(mem.GetDC(), wxRect(10, 5, 1, 1), kRed);
    }
    target.Finish();
    EXPECT_EQ(target.At(10, 5), kRed);
    EXPECT_EQ(target.At(11, 5), kGreen);
    EXPECT_EQ(target.At(29, 19), kGreen);
    EXPECT_EQ(target.At(30, 19), kSentinel);
    EXPECT_EQ(target.At(9, 5), kSentinel);
    EXPECT_EQ(target.Count(wxRect(0, 0, 40, 30), kGreen), 20 * 15 - 1);
}

TEST(KiroMenuMemDCTest, AnEmptyAreaCopiesNothing)
{
    PixelCanvas target(10, 10, kSentinel);
    const CRect area(3, 3, 3, 8);
    {
        KiroMenuMemDC mem(&target.dc(), &area);
        platform::FillSolidRect(mem.GetDC(), wxRect(0, 0, 10, 10), kGreen);
    }
    target.Finish();
    EXPECT_EQ(target.Count(wxRect(0, 0, 10, 10), kSentinel), 100);
}

TEST(KiroMenuMemDCTest, APrintingTargetIsDrawnOnDirectly)
{
    wxPrintData print;
    print.SetFilename(wxString::FromUTF8(std::string(QEL_BINARY_DIR) + "/menu_memdc_test.ps"));
    wxPostScriptDC printer(print);
    EXPECT_TRUE(KiroMenuMemDC::IsPrinting(printer));
    const CRect area(0, 0, 10, 10);
    KiroMenuMemDC mem(&printer, &area);
    EXPECT_FALSE(mem.IsOffScreen());
    EXPECT_EQ(&mem.GetDC(), &printer);

    PixelCanvas screen(4, 4);
    EXPECT_FALSE(KiroMenuMemDC::IsPrinting(screen.dc()));
}
