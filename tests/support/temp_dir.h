// Temporary folders and small file helpers shared by the tests.
#pragma once
#include <string>
#include <vector>

namespace testing_support {

// A new folder under /tmp named <prefix>-XXXXXX, removed with everything in it on destruction
// (also when a test took the write permission away from it).
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "qel-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
std::vector<std::string> ListFolder(const std::string& path);

}  // namespace testing_support
