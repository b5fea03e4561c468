// Hands a file to the desktop: the default application for its type opens it.
#pragma once
#include <string>
#include <vector>

namespace platform {

class IOpener {
public:
    virtual ~IOpener() = default;
    // Returns false when the file could not be handed over.
    virtual bool Open(const std::string& path) = 0;
};

// Installs the opener (not owned; nullptr restores the xdg-open one). Returns the previous one.
IOpener* SetOpener(IOpener* opener);
IOpener& Opener();

// Starts xdg-open detached; never waits for the application.
class XdgOpener : public IOpener {
public:
    bool Open(const std::string& path) override;
};

// Test fake: records the paths, opens nothing. Installs itself; restores the previous on destruction.
class RecordingOpener : public IOpener {
public:
    RecordingOpener();
    ~RecordingOpener() override;
    bool Open(const std::string& path) override;
    std::vector<std::string> paths;
    bool result = true;

private:
    IOpener* m_previous;
};

}  // namespace platform
