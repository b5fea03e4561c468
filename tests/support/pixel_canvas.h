// A canvas for pixel tests of drawing code: a wxGCDC over a wxImage with antialiasing off (the
// cairo path a window's paint DC takes on GTK 3). Read pixels after Finish().
#pragma once
#include <memory>

#include <wx/app.h>
#include <wx/dcgraph.h>
#include <wx/graphics.h>
#include <wx/image.h>

#include "platform/gdi.h"
#include "platform/gui_app.h"

namespace testing_support {

class PixelCanvas {
public:
    PixelCanvas(int width, int height, COLORREF background = RGB(255, 255, 255)) : m_image(width, height)
    {
        m_image.SetRGB(wxRect(0, 0, width, height), GetRValue(background), GetGValue(background),
                       GetBValue(background));
        wxGraphicsContext* gc = wxGraphicsContext::Create(m_image);
        gc->SetAntialiasMode(wxANTIALIAS_NONE);
        gc->SetInterpolationQuality(wxINTERPOLATION_NONE);
        m_dc = std::make_unique<wxGCDC>(gc);
        if (platform::HaveGuiApp()) m_dc->SetFont(*wxNORMAL_FONT);  // fonts need GTK
        m_dc->SetTextForeground(*wxBLACK);
    }

    wxDC& dc() { return *m_dc; }

    // Ends the drawing: the pixels are in image() from now on.
    const wxImage& Finish()
    {
        m_dc.reset();
        return m_image;
    }
    const wxImage& image() const { return m_image; }

    COLORREF At(int x, int y) const { return RGB(m_image.GetRed(x, y), m_image.GetGreen(x, y), m_image.GetBlue(x, y)); }

    // The bounding box of the pixels that differ from `background` (empty when there are none).
    wxRect InkBox(COLORREF background = RGB(255, 255, 255)) const
    {
        int l = m_image.GetWidth(), t = m_image.GetHeight(), r = -1, b = -1;
        for (int y = 0; y < m_image.GetHeight(); ++y)
            for (int x = 0; x < m_image.GetWidth(); ++x)
                if (At(x, y) != background) {
                    l = std::min(l, x);
                    t = std::min(t, y);
                    r = std::max(r, x);
                    b = std::max(b, y);
                }
        if (r < 0) return wxRect();
        return wxRect(l, t, r - l + 1, b - t + 1);
    }

    // How many pixels of `rect` have colour c.
    int Count(const wxRect& rect, COLORREF c) const
    {
        int n = 0;
        for (int y = rect.y; y < rect.y + rect.height; ++y)
            for (int x = rect.x; x < rect.x + rect.width; ++x)
                if (At(x, y) == c) ++n;
        return n;
    }

private:
    wxImage m_image;
    std::unique_ptr<wxGCDC> m_dc;
};

}  // namespace testing_support
