// The framework's toolbar and bitmap loading, as the owner-drawn menu family reads them: toolbar
// resources (RT_TOOLBAR), device-independent bitmap headers, bitmaps loaded with the system colours
// mapped, and a toolbar object that holds buttons and their image numbers. The toolbar never shows
// a window: the family only reads buttons and images from it.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include <wx/gdicmn.h>
#include <wx/image.h>

#include "core/winapi.h"
#include "platform/resource_name.h"
#include "platform/resources.h"

using WORD = std::uint16_t;
using LONG = std::int32_t;

constexpr UINT AFX_IDW_TOOLBAR = 0xE800;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD CBRS_TOP = 0x2000;

// Button styles of a toolbar.
constexpr UINT TBBS_BUTTON = 0x0000;
constexpr UINT TBBS_SEPARATOR = 0x0001;

// The information header of a device-independent bitmap (the part after a BMP file's 14-byte
// file header).
struct BITMAPINFOHEADER {
    DWORD biSize = 0;
    LONG biWidth = 0;
    LONG biHeight = 0;
    WORD biPlanes = 0;
    WORD biBitCount = 0;
    DWORD biCompression = 0;
    DWORD biSizeImage = 0;
    LONG biXPelsPerMeter = 0;
    LONG biYPelsPerMeter = 0;
    DWORD biClrUsed = 0;
    DWORD biClrImportant = 0;
};

namespace platform {

// The resource of the type with that name or integer id (MakeIntResource); null when there is
// none.
const ResourceEntry* FindResourceByName(ResType type, const char* name);

// The largest image side a toolbar may declare: the largest icon the desktop's formats hold, far
// more than a menu row shows. A menu grows its image size to its toolbars' and every image list
// and bitmap of its items is made at that size, so a side of 65535 would ask for gigabytes.
constexpr int kMaxToolbarImageSide = 256;

// An RT_TOOLBAR resource: 16-bit little-endian words version, width, height, count, then count
// command ids (0 for a separator).
struct ToolbarResource {
    int imageWidth = 0;
    int imageHeight = 0;
    std::vector<UINT> commandIds;
};
// Nothing when the resource is shorter than its header or than the ids its count announces, or
// declares an image side above kMaxToolbarImageSide.
std::optional<ToolbarResource> ReadToolbarResource(const ResourceEntry& entry);

// The bitmap header of a BMP resource; nothing for a resource that is no BMP (a PNG) or is cut
// short.
std::optional<BITMAPINFOHEADER> ReadBitmapInfoHeader(const ResourceEntry& entry);

// The bitmap with its colour table mapped to the current system colours: black becomes
// COLOR_BTNTEXT, dark grey (128, 128, 128) COLOR_BTNSHADOW, light grey (192, 192, 192)
// COLOR_BTNFACE and white COLOR_BTNHIGHLIGHT. Takes bitmaps of at most 8 bits per pixel (a colour
// table); an invalid image for any other resource.
wxImage LoadSysColorBitmap(const ResourceEntry& entry);

}  // namespace platform

// A toolbar: buttons with command ids and image numbers (the k-th button that is no separator has
// image k), the button and image sizes and the bitmap of the images.
class CToolBar {
public:
    CToolBar() = default;
    virtual ~CToolBar();
    CToolBar(const CToolBar&) = delete;
    CToolBar& operator=(const CToolBar&) = delete;

    // Nothing is shown: the toolbar keeps its style and id only.
    BOOL Create(void* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_TOP, UINT id = AFX_IDW_TOOLBAR);

    // The buttons, sizes and bitmap of the RT_TOOLBAR resource and the bitmap of the same id.
    BOOL LoadToolBar(const char* resourceName);
    BOOL LoadToolBar(UINT resourceId) { return LoadToolBar(platform::MakeIntResource(resourceId)); }
    // The RT_BITMAP resource, with the system colours mapped, as the toolbar's bitmap.
    BOOL LoadBitmap(const char* resourceName);

    // One button per id, 0 a separator; a null array gives separators only.
    BOOL SetButtons(const UINT* ids, int count);
    BOOL SetSizes(wxSize button, wxSize image);
    BOOL SetBitmap(const wxImage& bitmap);

protected:
    // Told the resource's image size as LoadToolBar sets the sizes, before the bitmap is loaded.
    virtual void OnToolbarImageSize(int /*width*/, int /*height*/) {}

public:
    int GetCount() const { return static_cast<int>(m_buttons.size()); }
    UINT GetItemID(int index) const;
    // The index of the first button with the command; -1 when none has it.
    int CommandToIndex(UINT commandId) const;
    // id, style and image number of the button; all 0 for an index out of range.
    void GetButtonInfo(int index, UINT& id, UINT& style, int& image) const;

    wxSize m_sizeButton{23, 22};
    wxSize m_sizeImage{16, 15};
    wxImage m_bitmap;
    const platform::ResourceEntry* m_hRsrcImageWell = nullptr;  // where the bitmap was loaded from
    DWORD m_style = 0;
    UINT m_id = 0;

private:
    struct Button {
        UINT id;
        UINT style;
        int image;
    };
    std::vector<Button> m_buttons;
};
