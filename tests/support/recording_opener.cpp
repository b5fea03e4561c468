#include "tests/support/recording_opener.h"

namespace testing_support {

RecordingOpener::RecordingOpener() : m_previous(core::SetOpener(this)) {}

RecordingOpener::~RecordingOpener() { core::SetOpener(m_previous); }

bool RecordingOpener::Open(const std::string& target, std::string* why)
{
    paths.push_back(target);
    if (result) return true;
    if (why != nullptr) *why = reason;
    return false;
}

}  // namespace testing_support
