// The off-screen surface of the owner-drawn menu's flat look: a picture of one rectangle of a
// target device context, drawn in the target's own logical coordinates and put onto the target
// in one copy when the object is destroyed. On a printing target there is nothing to compose:
// drawing goes straight onto the target and nothing is copied.
#pragma once
#include <memory>

#include <wx/dc.h>
#include <wx/dcgraph.h>
#include <wx/defs.h>
#include <wx/image.h>

#include "platform/gdi.h"

class KiroMenuMemDC {
public:
    // target is not owned and must outlive the object; area is the covered rectangle in the
    // target's logical coordinates.
    KiroMenuMemDC(wxDC* target, const CRect* area);
    virtual ~KiroMenuMemDC();
    KiroMenuMemDC(const KiroMenuMemDC&) = delete;
    KiroMenuMemDC& operator=(const KiroMenuMemDC&) = delete;

    // The surface to draw on: the off-screen picture, or the target itself when it prints.
    wxDC& GetDC() { return m_offScreen ? *m_surface : *m_target; }
    operator wxDC&() { return GetDC(); }
    BOOL IsOffScreen() const { return m_offScreen; }

    // True for a printer's device context (the only targets that are not composed off screen).
    static bool IsPrinting(const wxDC& dc);

private:
    wxImage m_bitmap;                   // the picture, the size of the area
    wxDC* m_target = nullptr;           // receives the picture; not owned
    CRect m_area;                       // in the target's logical coordinates
    BOOL m_offScreen = FALSE;           // FALSE: drawing goes to the target
    std::unique_ptr<wxGCDC> m_surface;  // draws into m_bitmap
};
