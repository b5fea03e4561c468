#include "controls/KiroMenuMemDC.h"

#include <algorithm>

#include <wx/bitmap.h>
#include <wx/dcprint.h>
#include <wx/dcps.h>
#include <wx/graphics.h>

bool KiroMenuMemDC::IsPrinting(const wxDC& dc)
{
    return dynamic_cast<const wxPrinterDC*>(&dc) != nullptr
#if wxUSE_POSTSCRIPT
           || dynamic_cast<const wxPostScriptDC*>(&dc) != nullptr
#endif
        ;
}

KiroMenuMemDC::KiroMenuMemDC(wxDC* target, const CRect* area) : m_target(target)
{
    if (area) m_area = *area;
    m_offScreen = (target && !IsPrinting(*target)) ? TRUE : FALSE;
    if (!m_offScreen) return;
    // A picture of the area's size (at least one pixel, so that an empty area still has a
    // surface to draw on); its first content is of no account, the painter covers the area.
    m_bitmap = wxImage(std::max(1, m_area.Width()), std::max(1, m_area.Height()));
    wxGraphicsContext* gc = wxGraphicsContext::Create(m_bitmap);
    if (gc) {
        gc->SetAntialiasMode(wxANTIALIAS_NONE);
        gc->SetInterpolationQuality(wxINTERPOLATION_NONE);
        m_surface = std::make_unique<wxGCDC>(gc);
    } else {
        m_surface = std::make_unique<wxGCDC>();
    }
    // Drawing in the target's coordinates lands in the picture.
    m_surface->SetLogicalOrigin(m_area.left, m_area.top);
}

KiroMenuMemDC::~KiroMenuMemDC()
{
    if (!m_offScreen) return;  // nothing of the target's is ours
    // Ending the surface puts its pixels into the picture.
    m_surface.reset();
    if (m_area.IsRectEmpty() || !m_bitmap.IsOk()) return;
    m_target->DrawBitmap(wxBitmap(m_bitmap), m_area.left, m_area.top, false);
}
