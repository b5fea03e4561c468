#include "platform/resources.h"

#include <cstring>
#include <mutex>
#include <vector>

#include <wx/mstream.h>

namespace platform {
namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::pair<const ResourceEntry*, std::size_t>> tables;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

template <typename Match>
const ResourceEntry* Find(Match match)
{
    Registry& reg = TheRegistry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    for (auto t = reg.tables.rbegin(); t != reg.tables.rend(); ++t) {
        for (std::size_t i = 0; i < t->second; ++i) {
            if (match(t->first[i])) return &t->first[i];
        }
    }
    return nullptr;
}

}  // namespace

void RegisterResources(const ResourceEntry* entries, std::size_t count)
{
    Registry& reg = TheRegistry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    for (const auto& t : reg.tables) {
        if (t.first == entries) return;  // already registered
    }
    reg.tables.emplace_back(entries, count);
}

const ResourceEntry* FindResource(ResType type, int id)
{
    return Find([&](const ResourceEntry& e) { return e.type == type && e.name == nullptr && e.id == id; });
}

const ResourceEntry* FindResource(ResType type, const std::string& name)
{
    return Find([&](const ResourceEntry& e) { return e.type == type && e.name != nullptr && name == e.name; });
}

wxImage LoadImageResource(ResType type, int id)
{
    const ResourceEntry* e = FindResource(type, id);
    if (e == nullptr || e->size == 0) return wxImage();
    if (wxImage::GetHandlers().GetCount() < 2) wxInitAllImageHandlers();
    wxMemoryInputStream in(e->data, e->size);
    wxImage image;
    if (!image.LoadFile(in, wxBITMAP_TYPE_ANY)) return wxImage();
    return image;
}

wxIcon LoadIconResource(int id)
{
    wxImage image = LoadImageResource(ResType::Icon, id);
    wxIcon icon;
    if (image.IsOk()) icon.CopyFromBitmap(wxBitmap(image));
    return icon;
}

wxBitmap LoadBitmapResource(int id)
{
    wxImage image = LoadImageResource(ResType::Bitmap, id);
    return image.IsOk() ? wxBitmap(image) : wxBitmap();
}

std::string LoadStringResource(int id)
{
    const ResourceEntry* e = FindResource(ResType::String, id);
    if (e == nullptr) return std::string();
    return std::string(reinterpret_cast<const char*>(e->data), e->size);
}

}  // namespace platform
