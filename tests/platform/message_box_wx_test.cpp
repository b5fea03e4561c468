// The wx message boxes: the wx styles of the box styles, and the wx dialogs as the default service.
#include <gtest/gtest.h>
#include <wx/defs.h>

#include "core/message_box.h"
#include "platform/message_box_wx.h"
#include "tests/support/recording_message_boxes.h"

namespace {

TEST(WxMessageBoxes, BecomeTheDefaultServiceUntilTheDefaultIsReset)
{
    core::SetMessageBoxService(nullptr);
    platform::UseWxMessageBoxes();
    EXPECT_NE(dynamic_cast<platform::WxMessageBoxService*>(&core::MessageBoxService()), nullptr);
    {
        testing_support::RecordingMessageBoxes fake;
        EXPECT_EQ(&core::MessageBoxService(), &fake);
    }
    EXPECT_NE(dynamic_cast<platform::WxMessageBoxService*>(&core::MessageBoxService()), nullptr);
    core::SetMessageBoxService(nullptr);
    core::SetDefaultMessageBoxService(nullptr);
    EXPECT_NE(dynamic_cast<core::StderrMessageBoxService*>(&core::MessageBoxService()), nullptr);
}

struct StyleCase {
    UINT style;
    long buttons;
    long icon;
};

class WxStyle : public ::testing::TestWithParam<StyleCase> {};

TEST_P(WxStyle, ButtonsAndIcon)
{
    const StyleCase c = GetParam();
    const long style = platform::WxMessageStyle(c.style);
    const long iconBits = wxICON_ERROR | wxICON_QUESTION | wxICON_EXCLAMATION | wxICON_INFORMATION | wxICON_NONE;
    EXPECT_EQ(style & (wxOK | wxCANCEL), c.buttons);
    EXPECT_EQ(style & iconBits, c.icon);
}

INSTANTIATE_TEST_SUITE_P(All, WxStyle,
                         ::testing::Values(StyleCase{MB_OK, wxOK, wxICON_NONE},
                                           StyleCase{MB_OKCANCEL, wxOK | wxCANCEL, wxICON_NONE},
                                           StyleCase{MB_OK | MB_ICONSTOP, wxOK, wxICON_ERROR},
                                           StyleCase{MB_OKCANCEL | MB_ICONQUESTION, wxOK | wxCANCEL, wxICON_QUESTION},
                                           StyleCase{MB_OK | MB_ICONEXCLAMATION, wxOK, wxICON_EXCLAMATION},
                                           StyleCase{MB_OK | MB_ICONINFORMATION, wxOK, wxICON_INFORMATION}));

}  // namespace
