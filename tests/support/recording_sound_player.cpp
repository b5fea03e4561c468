#include "tests/support/recording_sound_player.h"

#include "platform/resource_name.h"

namespace testing_support {

RecordingSoundPlayer::RecordingSoundPlayer() : m_previous(platform::SetSoundPlayer(this)) {}

RecordingSoundPlayer::~RecordingSoundPlayer() { platform::SetSoundPlayer(m_previous); }

bool RecordingSoundPlayer::PlaySound(const char* sound, platform::HMODULE module, DWORD flags)
{
    Call call;
    if (sound != nullptr && platform::IsIntResource(sound))
        call.resourceId = platform::IntResourceId(sound);
    else if (sound != nullptr)
        call.sound = sound;
    call.module = module;
    call.flags = flags;
    calls.push_back(call);
    return result;
}

}  // namespace testing_support
