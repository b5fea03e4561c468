#include "platform/image_list.h"

namespace {

std::size_t g_live = 0;
HIMAGELIST g_nextHandle = 1;

}  // namespace

CImageList::~CImageList() { DeleteImageList(); }

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int /*grow*/)
{
    if (m_hImageList || cx <= 0 || cy <= 0) return FALSE;
    m_hImageList = g_nextHandle++;
    ++g_live;
    m_flags = flags;
    m_cx = cx;
    m_cy = cy;
    m_images.clear();
    if (initial > 0) m_images.reserve(static_cast<std::size_t>(initial));
    return TRUE;
}

BOOL CImageList::DeleteImageList()
{
    if (!m_hImageList) return FALSE;
    m_hImageList = 0;
    --g_live;
    m_images.clear();
    m_cx = m_cy = 0;
    m_flags = 0;
    return TRUE;
}

int CImageList::GetImageCount() const { return m_hImageList ? static_cast<int>(m_images.size()) : 0; }

BOOL CImageList::GetImageSize(int* cx, int* cy) const
{
    if (!m_hImageList) return FALSE;
    if (cx) *cx = m_cx;
    if (cy) *cy = m_cy;
    return TRUE;
}

int CImageList::Add(const wxImage& image)
{
    if (!m_hImageList || !image.IsOk()) return -1;
    wxImage copy = image.Copy();
    if (copy.GetWidth() != m_cx || copy.GetHeight() != m_cy) copy.Rescale(m_cx, m_cy);
    m_images.push_back(copy);
    return static_cast<int>(m_images.size()) - 1;
}

int CImageList::Add(const wxImage& image, std::uint32_t transparentRgb)
{
    if (!m_hImageList || !image.IsOk()) return -1;
    wxImage copy = image.Copy();
    if (m_flags & ILC_MASK) {
        copy.SetMaskColour(static_cast<unsigned char>(transparentRgb & 0xFF),
                           static_cast<unsigned char>((transparentRgb >> 8) & 0xFF),
                           static_cast<unsigned char>((transparentRgb >> 16) & 0xFF));
    }
    return Add(copy);
}

BOOL CImageList::Replace(int index, const wxImage& image)
{
    if (!m_hImageList || !image.IsOk() || index < 0 || index >= GetImageCount()) return FALSE;
    wxImage copy = image.Copy();
    if (copy.GetWidth() != m_cx || copy.GetHeight() != m_cy) copy.Rescale(m_cx, m_cy);
    m_images[static_cast<std::size_t>(index)] = copy;
    return TRUE;
}

BOOL CImageList::Remove(int index)
{
    if (!m_hImageList) return FALSE;
    if (index == -1) {
        m_images.clear();
        return TRUE;
    }
    if (index < 0 || index >= GetImageCount()) return FALSE;
    m_images.erase(m_images.begin() + index);
    return TRUE;
}

wxImage CImageList::GetImage(int index) const
{
    if (!m_hImageList || index < 0 || index >= GetImageCount()) return wxImage();
    return m_images[static_cast<std::size_t>(index)];
}

std::size_t CImageList::LiveCount() { return g_live; }
