// Test fake of the sound player: records every call, plays nothing.
#pragma once
#include <string>
#include <vector>

#include "platform/sound.h"

namespace testing_support {

// Installs itself; restores the previous player on destruction.
class RecordingSoundPlayer : public platform::ISoundPlayer {
public:
    struct Call {
        std::string sound;   // the file or resource name; empty for a resource id
        int resourceId = 0;  // the id of a MakeIntResource sound, else 0
        platform::HMODULE module = nullptr;
        DWORD flags = 0;
    };
    RecordingSoundPlayer();
    ~RecordingSoundPlayer() override;
    bool PlaySound(const char* sound, platform::HMODULE module, DWORD flags) override;
    std::vector<Call> calls;
    bool result = true;

private:
    platform::ISoundPlayer* m_previous;
};

}  // namespace testing_support
