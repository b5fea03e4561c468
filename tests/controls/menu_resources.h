// Resources for the menu family's tests, built as bytes and put into the resource registry:
// BMP bitmaps (palette or 24-bit), RT_TOOLBAR resources and menu templates. Every registration
// is kept for the rest of the run (the registry holds its tables by pointer); later ones win on
// equal keys, so a test that re-registers an id replaces what an earlier one put there.
#pragma once
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "platform/gdi.h"
#include "platform/menu_model.h"
#include "platform/resources.h"

namespace menu_resources {

using Bytes = std::vector<unsigned char>;

inline void Put16(Bytes& b, unsigned v)
{
    b.push_back(static_cast<unsigned char>(v & 0xFF));
    b.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}
inline void Put32(Bytes& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

inline void Register(platform::ResType type, int id, Bytes bytes, const char* name = nullptr)
{
    // The registry refers to the entry, its bytes and its name until the process ends: they are
    // kept here (a list never moves its elements), owned and reachable.
    static std::list<Bytes> kept;
    static std::list<std::string> names;
    static std::list<platform::ResourceEntry> entries;
    const Bytes& data = kept.emplace_back(std::move(bytes));
    const char* keptName = name ? names.emplace_back(name).c_str() : nullptr;
    platform::RegisterResources(&entries.emplace_back(type, id, keptName, data.data(), data.size()), 1);
}

// The 16 colours of a classic 4-bit palette.
inline std::vector<COLORREF> SixteenColours()
{
    return {RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
            RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(128, 128, 128),
            RGB(192, 192, 192), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
            RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};
}

// A BMP file of width by height pixels. bits 4 or 8 use the palette (each pixel must be one of
// its colours; an 8-bit palette is padded to 256 entries), 24 stores the colours themselves.
inline Bytes Bmp(int width, int height, int bits, const std::function<COLORREF(int, int)>& pixel,
                 std::vector<COLORREF> palette = SixteenColours())
{
    if (bits == 8)
        while (palette.size() < 256) palette.push_back(RGB(1, 2, 3));
    const std::size_t colours = bits <= 8 ? palette.size() : 0;
    const std::size_t rowBytes = ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
    const std::size_t offset = 14 + 40 + 4 * colours;
    const std::size_t total = offset + rowBytes * static_cast<std::size_t>(height);
    Bytes b;
    b.push_back('B');
    b.push_back('M');
    Put32(b, static_cast<std::uint32_t>(total));
    Put32(b, 0);
    Put32(b, static_cast<std::uint32_t>(offset));
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(width));
    Put32(b, static_cast<std::uint32_t>(height));
    Put16(b, 1);
    Put16(b, static_cast<unsigned>(bits));
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, 0);  // all colours of the bit depth
    Put32(b, 0);
    for (std::size_t i = 0; i < colours; ++i) {
        b.push_back(GetBValue(palette[i]));
        b.push_back(GetGValue(palette[i]));
        b.push_back(GetRValue(palette[i]));
        b.push_back(0);
    }
    auto indexOf = [&palette](COLORREF c) {
        for (std::size_t i = 0; i < palette.size(); ++i)
            if (palette[i] == c) return static_cast<unsigned>(i);
        return 0u;
    };
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(rowBytes, 0);
        for (int x = 0; x < width; ++x) {
            const COLORREF c = pixel(x, y);
            if (bits == 24) {
                row[static_cast<std::size_t>(x) * 3] = GetBValue(c);
                row[static_cast<std::size_t>(x) * 3 + 1] = GetGValue(c);
                row[static_cast<std::size_t>(x) * 3 + 2] = GetRValue(c);
            } else if (bits == 8) {
                row[static_cast<std::size_t>(x)] = static_cast<unsigned char>(indexOf(c));
            } else {
                const unsigned v = indexOf(c) & 0x0F;
                row[static_cast<std::size_t>(x) / 2] |= static_cast<unsigned char>(x % 2 == 0 ? v << 4 : v);
            }
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

// An RT_TOOLBAR resource: version 1, the image size and the command ids (0: a separator).
inline Bytes Toolbar(int width, int height, const std::vector<unsigned>& ids)
{
    Bytes b;
    Put16(b, 1);
    Put16(b, static_cast<unsigned>(width));
    Put16(b, static_cast<unsigned>(height));
    Put16(b, static_cast<unsigned>(ids.size()));
    for (unsigned id : ids) Put16(b, id);
    return b;
}

// A toolbar strip: image k of width w filled with colours[k] on a light grey (192) ground, with
// a one-pixel light grey border around each image.
inline Bytes ToolbarStrip(int w, int h, const std::vector<COLORREF>& colours, int bits = 4)
{
    const int count = static_cast<int>(colours.size());
    return Bmp(w * count, h, bits, [=](int x, int y) {
        const int k = x / w, u = x % w;
        if (u == 0 || u == w - 1 || y == 0 || y == h - 1) return RGB(192, 192, 192);
        return colours[static_cast<std::size_t>(k)];
    });
}

// A menu template item: options (MF_POPUP, MF_END, state flags), id (left out for a popup), caption.
struct TemplateItem {
    unsigned options;
    unsigned id;
    std::u16string caption;
};

// A standard menu template: version 0, offset 0, then the items in order.
inline Bytes MenuTemplate(const std::vector<TemplateItem>& items)
{
    Bytes b;
    Put16(b, 0);
    Put16(b, 0);
    for (const TemplateItem& item : items) {
        Put16(b, item.options);
        if (!(item.options & MF_POPUP)) Put16(b, item.id);
        for (char16_t c : item.caption) Put16(b, c);
        Put16(b, 0);
    }
    return b;
}

}  // namespace menu_resources
