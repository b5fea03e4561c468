#include "platform/toolbar.h"

#include <string>

#include <wx/mstream.h>

#include "platform/gdi.h"

namespace platform {
namespace {

unsigned Word(const unsigned char* p) { return static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8); }
DWORD Dword(const unsigned char* p) { return static_cast<DWORD>(Word(p)) | (static_cast<DWORD>(Word(p + 2)) << 16); }

wxImage Decode(const ResourceEntry& entry)
{
    if (entry.data == nullptr || entry.size == 0) return wxImage();
    if (wxImage::GetHandlers().GetCount() < 2) wxInitAllImageHandlers();
    wxMemoryInputStream in(entry.data, entry.size);
    wxImage image;
    if (!image.LoadFile(in, wxBITMAP_TYPE_ANY)) return wxImage();
    return image;
}

}  // namespace

const ResourceEntry* FindResourceByName(ResType type, const char* name)
{
    if (IsIntResource(name)) return FindResource(type, static_cast<int>(reinterpret_cast<std::uintptr_t>(name)));
    return FindResource(type, std::string(name));
}

std::optional<ToolbarResource> ReadToolbarResource(const ResourceEntry& entry)
{
    if (entry.data == nullptr || entry.size < 8) return std::nullopt;
    const unsigned char* p = entry.data;
    ToolbarResource toolbar;
    toolbar.imageWidth = static_cast<int>(Word(p + 2));
    toolbar.imageHeight = static_cast<int>(Word(p + 4));
    if (toolbar.imageWidth > kMaxToolbarImageSide || toolbar.imageHeight > kMaxToolbarImageSide) return std::nullopt;
    const std::size_t count = Word(p + 6);
    if (entry.size < 8 + 2 * count) return std::nullopt;  // the ids it announces are not all there
    toolbar.commandIds.reserve(count);
    for (std::size_t i = 0; i < count; ++i) toolbar.commandIds.push_back(Word(p + 8 + 2 * i));
    return toolbar;
}

std::optional<BITMAPINFOHEADER> ReadBitmapInfoHeader(const ResourceEntry& entry)
{
    constexpr std::size_t kFileHeader = 14;
    if (entry.data == nullptr || entry.size < kFileHeader + 12) return std::nullopt;
    const unsigned char* p = entry.data;
    if (p[0] != 'B' || p[1] != 'M') return std::nullopt;
    const unsigned char* h = p + kFileHeader;
    BITMAPINFOHEADER header;
    header.biSize = Dword(h);
    if (header.biSize == 12) {  // the older core header: 16-bit sizes, no colour count
        header.biWidth = static_cast<LONG>(Word(h + 4));
        header.biHeight = static_cast<LONG>(Word(h + 6));
        header.biPlanes = static_cast<WORD>(Word(h + 8));
        header.biBitCount = static_cast<WORD>(Word(h + 10));
        return header;
    }
    if (header.biSize < 40 || entry.size < kFileHeader + 40) return std::nullopt;
    header.biWidth = static_cast<LONG>(Dword(h + 4));
    header.biHeight = static_cast<LONG>(Dword(h + 8));
    header.biPlanes = static_cast<WORD>(Word(h + 12));
    header.biBitCount = static_cast<WORD>(Word(h + 14));
    header.biCompression = Dword(h + 16);
    header.biSizeImage = Dword(h + 20);
    header.biXPelsPerMeter = static_cast<LONG>(Dword(h + 24));
    header.biYPelsPerMeter = static_cast<LONG>(Dword(h + 28));
    header.biClrUsed = Dword(h + 32);
    header.biClrImportant = Dword(h + 36);
    return header;
}

wxImage LoadSysColorBitmap(const ResourceEntry& entry)
{
    const std::optional<BITMAPINFOHEADER> header = ReadBitmapInfoHeader(entry);
    if (!header || header->biBitCount == 0 || header->biBitCount > 8) return wxImage();
    wxImage image = Decode(entry);
    if (!image.IsOk()) return image;
    struct Map {
        COLORREF from;
        COLORREF to;
    };
    const Map map[] = {
        {RGB(0, 0, 0), SysColor(COLOR_BTNTEXT)},
        {RGB(128, 128, 128), SysColor(COLOR_BTNSHADOW)},
        {RGB(192, 192, 192), SysColor(COLOR_BTNFACE)},
        {RGB(255, 255, 255), SysColor(COLOR_BTNHIGHLIGHT)},
    };
    unsigned char* px = image.GetData();
    const std::size_t n = static_cast<std::size_t>(image.GetWidth()) * static_cast<std::size_t>(image.GetHeight());
    for (std::size_t i = 0; i < n; ++i, px += 3) {
        const COLORREF c = RGB(px[0], px[1], px[2]);
        for (const Map& m : map) {
            if (c != m.from) continue;
            px[0] = GetRValue(m.to);
            px[1] = GetGValue(m.to);
            px[2] = GetBValue(m.to);
            break;
        }
    }
    return image;
}

}  // namespace platform

// ---------------------------------------------------------------------------------------------

CToolBar::~CToolBar() = default;

BOOL CToolBar::Create(void* /*parent*/, DWORD style, UINT id)
{
    m_style = style;
    m_id = id;
    return TRUE;
}

BOOL CToolBar::LoadToolBar(const char* resourceName)
{
    const platform::ResourceEntry* entry = platform::FindResourceByName(platform::ResType::Toolbar, resourceName);
    if (entry == nullptr) return FALSE;
    const std::optional<platform::ToolbarResource> toolbar = platform::ReadToolbarResource(*entry);
    if (!toolbar) return FALSE;
    if (!SetButtons(toolbar->commandIds.data(), static_cast<int>(toolbar->commandIds.size()))) return FALSE;
    SetSizes(wxSize(toolbar->imageWidth + 7, toolbar->imageHeight + 7),
             wxSize(toolbar->imageWidth, toolbar->imageHeight));
    OnToolbarImageSize(toolbar->imageWidth, toolbar->imageHeight);
    return LoadBitmap(resourceName);
}

BOOL CToolBar::LoadBitmap(const char* resourceName)
{
    const platform::ResourceEntry* entry = platform::FindResourceByName(platform::ResType::Bitmap, resourceName);
    if (entry == nullptr) return FALSE;
    const wxImage bitmap = platform::LoadSysColorBitmap(*entry);
    if (!bitmap.IsOk() || !SetBitmap(bitmap)) return FALSE;
    m_hRsrcImageWell = entry;
    return TRUE;
}

BOOL CToolBar::SetButtons(const UINT* ids, int count)
{
    if (count < 0) return FALSE;
    m_buttons.clear();
    int image = 0;
    for (int i = 0; i < count; ++i) {
        const UINT id = ids ? ids[i] : 0;
        if (id == 0) {
            m_buttons.push_back({0, TBBS_SEPARATOR, 0});
        } else {
            m_buttons.push_back({id, TBBS_BUTTON, image++});
        }
    }
    return TRUE;
}

BOOL CToolBar::SetSizes(wxSize button, wxSize image)
{
    if (button.x <= 0 || button.y <= 0 || image.x < 0 || image.y < 0) return FALSE;
    m_sizeButton = button;
    m_sizeImage = image;
    return TRUE;
}

BOOL CToolBar::SetBitmap(const wxImage& bitmap)
{
    if (!bitmap.IsOk()) return FALSE;
    m_bitmap = bitmap;
    return TRUE;
}

UINT CToolBar::GetItemID(int index) const
{
    if (index < 0 || index >= GetCount()) return 0;
    return m_buttons[static_cast<std::size_t>(index)].id;
}

int CToolBar::CommandToIndex(UINT commandId) const
{
    for (int i = 0; i < GetCount(); ++i)
        if (m_buttons[static_cast<std::size_t>(i)].id == commandId) return i;
    return -1;
}

void CToolBar::GetButtonInfo(int index, UINT& id, UINT& style, int& image) const
{
    if (index < 0 || index >= GetCount()) {
        id = style = 0;
        image = 0;
        return;
    }
    const Button& b = m_buttons[static_cast<std::size_t>(index)];
    id = b.id;
    style = b.style;
    image = b.image;
}
