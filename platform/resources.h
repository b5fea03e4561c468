// The resource registry: (type, id) -> bytes, embedded into the program at build time
// (resources/), plus a string table. Images are decoded with wx.
#pragma once
#include <cstddef>
#include <string>

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>

namespace platform {

enum class ResType { Icon, Bitmap, Cursor, Sound, Menu, Toolbar, String };

struct ResourceEntry {
    ResType type;
    int id;
    const char* name;  // nullptr for resources known by id
    const unsigned char* data;
    std::size_t size;
};

// Adds a table of entries (kept by pointer: static storage). Later tables win on equal keys.
void RegisterResources(const ResourceEntry* entries, std::size_t count);
const ResourceEntry* FindResource(ResType type, int id);
const ResourceEntry* FindResource(ResType type, const std::string& name);

// Decoded images; an invalid image/icon/bitmap when the resource is missing or undecodable.
wxImage LoadImageResource(ResType type, int id);
wxIcon LoadIconResource(int id);
wxBitmap LoadBitmapResource(int id);
// A string of the string table, UTF-8; empty when missing.
std::string LoadStringResource(int id);

}  // namespace platform
