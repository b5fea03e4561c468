// Test fake of the opener: records the targets, opens nothing.
#pragma once
#include <string>
#include <vector>

#include "core/opener.h"

namespace testing_support {

// Installs itself; restores the previous opener on destruction. When `result` is false, Open
// fails with `reason`.
class RecordingOpener : public core::IOpener {
public:
    RecordingOpener();
    ~RecordingOpener() override;
    bool Open(const std::string& target, std::string* why = nullptr) override;
    std::vector<std::string> paths;
    bool result = true;
    std::string reason = "the test opener refused it";

private:
    core::IOpener* m_previous;
};

}  // namespace testing_support
