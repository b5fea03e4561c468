#include "core/opener.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/service_slot.h"

namespace core {
namespace {

GioOpener& DefaultOpener()
{
    static GioOpener opener;
    return opener;
}

constinit ServiceSlot<IOpener> g_opener{[]() -> IOpener& { return DefaultOpener(); }};

constexpr char kWorkbookType[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GRef = std::unique_ptr<T, GObjectUnref>;

struct GFreeText {
    void operator()(gchar* text) const { g_free(text); }
};
using GText = std::unique_ptr<gchar, GFreeText>;

bool Fail(std::string* why, std::string reason)
{
    if (why) *why = std::move(reason);
    return false;
}

bool EndsWithNoCase(const std::string& text, const char* suffix)
{
    const std::size_t n = std::strlen(suffix);
    return text.size() >= n && ::strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

// The content type of a file, from its name alone (the file is not read). Without a MIME
// database every name gives "application/octet-stream", and a database may call a workbook by
// what it is underneath, a zip package: a workbook's name gives the workbook type either way.
std::string ContentTypeOf(const std::string& path)
{
    gboolean uncertain = FALSE;
    GText guessed(g_content_type_guess(path.c_str(), nullptr, 0, &uncertain));
    std::string type = guessed ? guessed.get() : "";
    if (EndsWithNoCase(path, ".xlsx") && (type.empty() || g_content_type_is_unknown(type.c_str()) ||
                                          g_content_type_equals(type.c_str(), "application/zip")))
        type = kWorkbookType;
    return type;
}

// Runs in the started program's process before it executes: it leaves our session, so a
// hang-up or an interrupt from the terminal we were started from does not reach it.
void Detach(gpointer) { ::setsid(); }

// Starts `app` on the one URI. GLib forks twice and reaps the intermediate child before it
// returns (the program is adopted by init: no zombie of ours), and closes every descriptor from 3
// on in the program's process; the standard streams are put on /dev/null here. GLib starts the
// program through a small launcher of its own: a failure GLib reports (a missing working folder,
// no process to be had) comes from starting that launcher. An application whose program is not
// there is not found in the first place.
bool Launch(GAppInfo* app, const std::string& uri, std::string* why)
{
    GList* uris = g_list_append(nullptr, g_strdup(uri.c_str()));
    GError* error = nullptr;
    bool started;
    if (G_IS_DESKTOP_APP_INFO(app)) {
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        started = g_desktop_app_info_launch_uris_as_manager_with_fds(G_DESKTOP_APP_INFO(app), uris, nullptr,
                                                                     G_SPAWN_SEARCH_PATH, Detach, nullptr, nullptr,
                                                                     nullptr, null, null, null, &error);
        if (null >= 0) ::close(null);
    } else {
        started = g_app_info_launch_uris(app, uris, nullptr, &error);
    }
    g_list_free_full(uris, g_free);
    if (started) return true;

    std::string reason = "the application \"";
    reason += g_app_info_get_name(app) ? g_app_info_get_name(app) : "?";
    reason += '"';
    if (const char* id = g_app_info_get_id(app)) reason += std::string(" (") + id + ")";
    reason += " could not be started: ";
    reason += (error && error->message) ? error->message : "no reason was given";
    if (error) g_error_free(error);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n')) reason.pop_back();
    return Fail(why, std::move(reason));
}

bool OpenLink(const std::string& link, const std::string& scheme, std::string* why)
{
    GRef<GAppInfo> app(g_app_info_get_default_for_uri_scheme(scheme.c_str()));
    if (!app) return Fail(why, "no application is registered for " + scheme + ": links");
    return Launch(app.get(), link, why);
}

bool OpenFile(GFile* file, std::string* why)
{
    GText path(g_file_get_path(file));
    if (!path) return Fail(why, "the link names no file of this computer");
    struct stat st {};
    if (::stat(path.get(), &st) != 0)
        return Fail(why, std::string("the file cannot be reached: ") + std::strerror(errno));
    const std::string type = S_ISDIR(st.st_mode) ? std::string("inode/directory") : ContentTypeOf(path.get());
    GRef<GAppInfo> app(g_app_info_get_default_for_type(type.c_str(), FALSE));
    if (!app) return Fail(why, "no application is registered for files of the type " + type);
    GText uri(g_file_get_uri(file));
    return Launch(app.get(), uri.get(), why);
}

}  // namespace

IOpener* SetOpener(IOpener* opener) { return g_opener.Set(opener); }

IOpener& Opener() { return g_opener.Get(); }

bool GioOpener::Open(const std::string& target, std::string* why)
{
    if (target.empty()) return Fail(why, "nothing was named to open");
    if (target.find('\0') != std::string::npos) return Fail(why, "the name holds a zero byte");
    // A name with a scheme is a link, unless a file of that name exists ("a:b.xlsx" in the
    // current folder).
    const char* scheme = g_uri_peek_scheme(target.c_str());
    struct stat st {};
    if (scheme != nullptr && ::stat(target.c_str(), &st) != 0) {
        if (std::strcmp(scheme, "file") != 0) return OpenLink(target, scheme, why);
        GRef<GFile> file(g_file_new_for_uri(target.c_str()));
        return OpenFile(file.get(), why);
    }
    GRef<GFile> file(g_file_new_for_path(target.c_str()));  // a relative path is taken from the current folder
    return OpenFile(file.get(), why);
}

}  // namespace core
