#include "platform/os_version.h"

#include <utility>

namespace platform {

namespace {

// Function-local, so the menu family's static construction can ask before this file's own
// statics would be built.
std::function<OsVersion()>& VersionProvider()
{
    static std::function<OsVersion()> provider;
    return provider;
}

std::function<std::optional<std::string>()>& ThemeProvider()
{
    static std::function<std::optional<std::string>()> provider;
    return provider;
}

}  // namespace

OsVersion CurrentOsVersion()
{
    if (VersionProvider()) return VersionProvider()();
    // This system counts as a later member of the NT family.
    OsVersion version;
    version.packed = PackNtVersion(10, 0);
    version.detailed = std::make_pair(DWORD{10}, DWORD{0});
    return version;
}

std::optional<std::string> CurrentDesktopTheme()
{
    if (ThemeProvider()) return ThemeProvider()();
    return std::nullopt;  // no desktop theme is read here
}

void SetOsVersionProvider(std::function<OsVersion()> provider) { VersionProvider() = std::move(provider); }

void SetDesktopThemeProvider(std::function<std::optional<std::string>()> provider)
{
    ThemeProvider() = std::move(provider);
}

}  // namespace platform
