// CImageList: a list of images of one size. Images are kept as wxImage pixels (with their mask
// or alpha), so a list works without a display. The list's handle is an opaque value that is
// never reused; a list without a handle holds nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include <wx/image.h>

#include "core/winapi.h"

using HIMAGELIST = std::uintptr_t;

constexpr UINT ILC_MASK = 0x0001;
constexpr UINT ILC_COLOR = 0x0000;
constexpr UINT ILC_COLORDDB = 0x00FE;
constexpr UINT ILC_COLOR4 = 0x0004;
constexpr UINT ILC_COLOR8 = 0x0008;
constexpr UINT ILC_COLOR16 = 0x0010;
constexpr UINT ILC_COLOR24 = 0x0018;
constexpr UINT ILC_COLOR32 = 0x0020;

class CImageList {
public:
    CImageList() = default;
    virtual ~CImageList();
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    // A new empty list for images of cx by cy pixels; FALSE when this object holds one already
    // or the size is not positive.
    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    BOOL DeleteImageList();
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }
    HIMAGELIST m_hImageList = 0;

    int GetImageCount() const;
    BOOL GetImageSize(int* cx, int* cy) const;
    UINT GetFlags() const { return m_flags; }
    // Adds the image (scaled to the list's size when it differs); returns its index, -1 on
    // failure.
    int Add(const wxImage& image);
    // Adds the image with pixels of `transparent` made transparent when the list has ILC_MASK.
    int Add(const wxImage& image, std::uint32_t transparentRgb);
    BOOL Replace(int index, const wxImage& image);
    BOOL Remove(int index);  // -1 removes all
    // The image at the index; an invalid wxImage for a bad index.
    wxImage GetImage(int index) const;

    // Lists alive in the process (for tests of leaks).
    static std::size_t LiveCount();

private:
    UINT m_flags = 0;
    int m_cx = 0;
    int m_cy = 0;
    std::vector<wxImage> m_images;
};
