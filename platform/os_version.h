// What the operating system says about itself, as the owner-drawn menu family asks it: the
// packed version word, the detailed version record and the current desktop theme. On Linux
// the system reports itself as a later member of the NT family (10.0) and has no desktop theme;
// tests set other answers.
#pragma once
#include <functional>
#include <optional>
#include <string>

#include "core/winapi.h"

namespace platform {

struct OsVersion {
    // The packed version word: low byte the major version, next byte the minor version, top
    // bit set for the 9x family.
    DWORD packed = 0;
    // The detailed record (major, minor); absent when it cannot be had.
    std::optional<std::pair<DWORD, DWORD>> detailed;
};

// The version the system reports (the provider's answer).
OsVersion CurrentOsVersion();
// The current desktop theme's name; absent when no theme is set or it cannot be read.
std::optional<std::string> CurrentDesktopTheme();

// Test hooks: replace the providers; an empty function restores the system's own.
void SetOsVersionProvider(std::function<OsVersion()> provider);
void SetDesktopThemeProvider(std::function<std::optional<std::string>()> provider);

// Packed version words.
constexpr DWORD PackNtVersion(DWORD major, DWORD minor) { return (major & 0xFF) | ((minor & 0xFF) << 8); }
constexpr DWORD Pack9xVersion(DWORD major, DWORD minor) { return (major & 0xFF) | ((minor & 0xFF) << 8) | 0x80000000u; }

}  // namespace platform
