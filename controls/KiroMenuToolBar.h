// The toolbar reader of the owner-drawn menu family: a toolbar that loads an RT_TOOLBAR resource
// and its bitmap and remembers the resource's image size. Made on the stack for one call only.
#pragma once
#include "platform/toolbar.h"

class KiroMenuToolBar : public CToolBar {
public:
    KiroMenuToolBar() = default;
    ~KiroMenuToolBar() override;

    // TRUE when the RT_TOOLBAR resource and the RT_BITMAP resource of the same name or id were
    // loaded; the image size is kept from the moment the buttons were set.
    BOOL LoadToolBar(const char* resourceName);
    BOOL LoadToolBar(UINT resourceId) { return LoadToolBar(platform::MakeIntResource(resourceId)); }
    // TRUE when the RT_BITMAP resource (system colours mapped) became the toolbar's bitmap.
    BOOL LoadBitmap(const char* resourceName);
    void GetImageSize(int& width, int& height) const
    {
        width = m_buttonImageWidth;
        height = m_buttonImageHeight;
    }

    int m_buttonImageWidth = 0;
    int m_buttonImageHeight = 0;
};
