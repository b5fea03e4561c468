// Hands a file or a link to the desktop: the default application for the file's type, or for the
// link's scheme, opens it.
#pragma once
#include <string>

namespace core {

class IOpener {
public:
    virtual ~IOpener() = default;
    // Returns false when the target could not be handed over; `why`, when given, then receives
    // the reason as a phrase to put after a colon, e.g. "no application is registered for files
    // of the type application/pdf".
    virtual bool Open(const std::string& target, std::string* why = nullptr) = 0;
};

// Installs the opener (not owned; nullptr restores the desktop one). Returns the previous one.
IOpener* SetOpener(IOpener* opener);
IOpener& Opener();

// The desktop's default applications, found and started through GIO. A target with a scheme
// ("https://...", "mailto:...") goes to the default handler of its scheme, anything else is a
// file path (relative to the current folder) that must exist and goes to the default application
// for its content type. The application is started detached (a session of its own, standard
// streams on /dev/null, none of our other descriptors, no child of ours left behind); Open never
// waits for it.
class GioOpener : public IOpener {
public:
    bool Open(const std::string& target, std::string* why = nullptr) override;
};

}  // namespace core
