// The toolbar reader of the owner-drawn menu family: a toolbar that loads an RT_TOOLBAR resource
// and its bitmap and remembers the resource's image size. Made on the stack for one call only.
#pragma once
#include "platform/toolbar.h"

class KiroMenuToolBar : public CToolBar {
public:
    KiroMenuToolBar() = default;
    ~KiroMenuToolBar() override;

    // CToolBar::LoadToolBar loads the resource; the image size is kept from the moment the
    // buttons were set, also when the bitmap then fails.
    void GetImageSize(int& width, int& height) const
    {
        width = m_buttonImageWidth;
        height = m_buttonImageHeight;
    }

    int m_buttonImageWidth = 0;
    int m_buttonImageHeight = 0;

protected:
    void OnToolbarImageSize(int width, int height) override
    {
        m_buttonImageWidth = width;
        m_buttonImageHeight = height;
    }
};
