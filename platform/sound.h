// Plays short sounds: a sound file by name, or a sound resource of the program's registry by id
// or by name. The calls and flags are those the controls have always used (PlaySound with
// SND_FILENAME / SND_RESOURCE, SND_ASYNC ...); the desktop's sound service (libcanberra) plays
// them. Tests install a recording player instead.
#pragma once
#include <cstdint>
#include <string>

#include "core/winapi.h"
#include "platform/resource_name.h"

namespace platform {

using HMODULE = void*;

// Sound flags.
constexpr DWORD SND_SYNC = 0x0000;       // return when the sound has played
constexpr DWORD SND_ASYNC = 0x0001;      // return at once
constexpr DWORD SND_NODEFAULT = 0x0002;  // no default sound when this one cannot be played
constexpr DWORD SND_MEMORY = 0x0004;
constexpr DWORD SND_NOWAIT = 0x00002000;    // do not wait for a busy device
constexpr DWORD SND_FILENAME = 0x00020000;  // the sound is a file name
constexpr DWORD SND_RESOURCE = 0x00040004;  // the sound is a resource (name or id) of the module

// The module handle of the program's own resources (the registry of platform/resources.h).
HMODULE AppResourceModule();

class ISoundPlayer {
public:
    virtual ~ISoundPlayer() = default;
    // sound: a file name with SND_FILENAME; with SND_RESOURCE a resource name or a
    // MakeIntResource id of module. Returns false when nothing was played (also: nothing is
    // played for a null sound). Without SND_ASYNC it returns when the sound has ended.
    virtual bool PlaySound(const char* sound, HMODULE module, DWORD flags) = 0;
};

// Installs the player (not owned; nullptr restores the desktop's). Returns the previous one.
ISoundPlayer* SetSoundPlayer(ISoundPlayer* player);
ISoundPlayer& SoundPlayer();
// PlaySound through the installed player.
bool PlaySound(const char* sound, HMODULE module, DWORD flags);

// The desktop's sound service. A missing or unreadable file, an unknown resource and a service
// that cannot play are failures; no default sound is ever played in their place. A resource is
// played from a file in a per-user temporary folder (the service plays files only).
class CanberraSoundPlayer : public ISoundPlayer {
public:
    CanberraSoundPlayer();
    ~CanberraSoundPlayer() override;
    bool PlaySound(const char* sound, HMODULE module, DWORD flags) override;
    // Longest wait of a synchronous sound, so a service that never reports the end cannot
    // hold the caller for ever.
    static constexpr int kMaxSyncWaitSeconds = 60;

private:
    struct Context;
    Context* m_context;
};

// The file a sound resource is played from: the resource's bytes, written once into a folder of
// the user's own in the temporary directory. Empty when the registry has no such sound or the
// file cannot be written. name: a resource name or a MakeIntResource id.
std::string SoundResourceFile(const char* name);

}  // namespace platform
