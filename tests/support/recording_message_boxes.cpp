#include "tests/support/recording_message_boxes.h"

namespace testing_support {

RecordingMessageBoxes::RecordingMessageBoxes() : m_previous(core::SetMessageBoxService(this)) {}

RecordingMessageBoxes::~RecordingMessageBoxes() { core::SetMessageBoxService(m_previous); }

int RecordingMessageBoxes::Show(const core::MessageBoxRequest& request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_boxes.push_back(request);
    if (m_answers.empty()) return IDOK;
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void RecordingMessageBoxes::Script(std::initializer_list<int> answers)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers.insert(m_answers.end(), answers.begin(), answers.end());
}

std::vector<core::MessageBoxRequest> RecordingMessageBoxes::Boxes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes;
}

size_t RecordingMessageBoxes::Count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes.size();
}

core::MessageBoxRequest RecordingMessageBoxes::Last() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boxes.empty() ? core::MessageBoxRequest{} : m_boxes.back();
}

void RecordingMessageBoxes::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_boxes.clear();
}

}  // namespace testing_support
