#include "platform/sound.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

#include <canberra.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/service_slot.h"
#include "platform/resources.h"

namespace platform {
namespace {

// The registry has no module of its own: any address stands for it.
char g_appModule;

CanberraSoundPlayer& DesktopPlayer()
{
    // Never destroyed: the service's threads may still run while the process ends.
    static CanberraSoundPlayer* player = new CanberraSoundPlayer;
    return *player;
}

constinit core::ServiceSlot<ISoundPlayer> g_player{[]() -> ISoundPlayer& { return DesktopPlayer(); }};

bool ReadableFile(const char* path)
{
    struct stat st {};
    return path != nullptr && *path != '\0' && ::stat(path, &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path, R_OK) == 0;
}

// A folder of this user's alone under the temporary directory; empty when there is none to be had
// (a name taken by another user, a link, a folder that others can write).
std::string PrivateFolder()
{
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    const std::string folder = (base / ("qel-sounds-" + std::to_string(::getuid()))).string();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::string();
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0)
        return std::string();
    return folder;
}

bool SameContent(const std::string& path, const unsigned char* data, std::size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::vector<unsigned char> buf(size + 1);
    const std::size_t got = std::fread(buf.data(), 1, buf.size(), f);
    std::fclose(f);
    return got == size && std::memcmp(buf.data(), data, size) == 0;
}

bool WriteAtomically(const std::string& folder, const std::string& path, const unsigned char* data, std::size_t size)
{
    std::string tmpl = folder + "/.sound-XXXXXX";
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    const bool ok = done == size && ::close(fd) == 0;
    if (!ok || ::rename(tmpl.c_str(), path.c_str()) != 0) {
        ::unlink(tmpl.c_str());
        return false;
    }
    return true;
}

}  // namespace

HMODULE AppResourceModule() { return &g_appModule; }

ISoundPlayer* SetSoundPlayer(ISoundPlayer* player) { return g_player.Set(player); }

ISoundPlayer& SoundPlayer() { return g_player.Get(); }

bool PlaySound(const char* sound, HMODULE module, DWORD flags) { return SoundPlayer().PlaySound(sound, module, flags); }

std::string SoundResourceFile(const char* name)
{
    if (name == nullptr) return std::string();
    const ResourceEntry* e = IsIntResource(name) ? FindResource(ResType::Sound, IntResourceId(name))
                                                 : FindResource(ResType::Sound, std::string(name));
    if (e == nullptr || e->data == nullptr || e->size == 0) return std::string();
    const std::string folder = PrivateFolder();
    if (folder.empty()) return std::string();
    // Names are the user's text: the file takes a hash of it, never the text itself.
    std::string key;
    if (IsIntResource(name)) {
        key = "id-" + std::to_string(IntResourceId(name));
    } else {
        char hex[32];
        std::snprintf(hex, sizeof hex, "%016zx", std::hash<std::string>{}(name));
        key = std::string("name-") + hex;
    }
    const std::string path = folder + "/" + key + "-" + std::to_string(e->size) + ".wav";
    if (SameContent(path, e->data, e->size)) return path;
    return WriteAtomically(folder, path, e->data, e->size) ? path : std::string();
}

// ---------------------------------------------------------------- the desktop's sound service

struct CanberraSoundPlayer::Context {
    std::mutex mutex;
    ca_context* ca = nullptr;
    bool failed = false;
    std::uint32_t nextId = 1;
};

namespace {

struct SyncWait {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

void OnFinished(ca_context*, std::uint32_t, int, void* userdata)
{
    auto* holder = static_cast<std::shared_ptr<SyncWait>*>(userdata);
    {
        std::lock_guard<std::mutex> lock((*holder)->mutex);
        (*holder)->finished = true;
    }
    (*holder)->done.notify_all();
    delete holder;
}

}  // namespace

CanberraSoundPlayer::CanberraSoundPlayer() : m_context(new Context) {}

CanberraSoundPlayer::~CanberraSoundPlayer()
{
    if (m_context->ca != nullptr) ca_context_destroy(m_context->ca);
    delete m_context;
}

bool CanberraSoundPlayer::PlaySound(const char* sound, HMODULE module, DWORD flags)
{
    if (sound == nullptr) return false;
    std::string path;
    if ((flags & SND_RESOURCE) == SND_RESOURCE) {
        if (module == nullptr) return false;
        path = SoundResourceFile(sound);
    } else {
        if (IsIntResource(sound)) return false;
        path = sound;
    }
    if (!ReadableFile(path.c_str())) return false;

    ca_context* ca = nullptr;
    std::uint32_t id = 0;
    {
        std::lock_guard<std::mutex> lock(m_context->mutex);
        if (m_context->ca == nullptr && !m_context->failed) {
            if (ca_context_create(&m_context->ca) != CA_SUCCESS) {
                m_context->ca = nullptr;
                m_context->failed = true;
            } else {
                ca_context_change_props(m_context->ca, CA_PROP_APPLICATION_NAME, "qel", nullptr);
            }
        }
        ca = m_context->ca;
        id = m_context->nextId++;
    }
    if (ca == nullptr) return false;

    ca_proplist* props = nullptr;
    if (ca_proplist_create(&props) != CA_SUCCESS) return false;
    ca_proplist_sets(props, CA_PROP_MEDIA_FILENAME, path.c_str());
    ca_proplist_sets(props, CA_PROP_CANBERRA_CACHE_CONTROL, "never");

    bool played = false;
    if (flags & SND_ASYNC) {
        played = ca_context_play_full(ca, id, props, nullptr, nullptr) == CA_SUCCESS;
    } else {
        auto wait = std::make_shared<SyncWait>();
        auto* holder = new std::shared_ptr<SyncWait>(wait);
        if (ca_context_play_full(ca, id, props, &OnFinished, holder) != CA_SUCCESS) {
            delete holder;  // no callback follows a refused start
        } else {
            std::unique_lock<std::mutex> lock(wait->mutex);
            if (!wait->done.wait_for(lock, std::chrono::seconds(kMaxSyncWaitSeconds), [&] { return wait->finished; })) {
                lock.unlock();
                ca_context_cancel(ca, id);
            }
            played = true;
        }
    }
    ca_proplist_destroy(props);
    return played;
}

}  // namespace platform
