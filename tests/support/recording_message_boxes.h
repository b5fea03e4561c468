// Test fake of the message-box service: records every box and answers from a script.
#pragma once
#include <deque>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "core/message_box.h"

namespace testing_support {

// Records every box and answers from a script (IDOK when the script is empty). Installs itself;
// restores the previous service on destruction.
class RecordingMessageBoxes : public core::IMessageBoxService {
public:
    RecordingMessageBoxes();
    ~RecordingMessageBoxes() override;
    int Show(const core::MessageBoxRequest& request) override;
    void Script(std::initializer_list<int> answers);
    std::vector<core::MessageBoxRequest> Boxes() const;
    size_t Count() const;
    core::MessageBoxRequest Last() const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<core::MessageBoxRequest> m_boxes;
    std::deque<int> m_answers;
    core::IMessageBoxService* m_previous;
};

}  // namespace testing_support
