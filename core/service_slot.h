// One replaceable service of the program (opening files, sounds, message boxes): calls go to the
// installed service, or to the default one while none is installed. Installing is atomic, so
// another thread may ask for the service meanwhile.
#pragma once
#include <atomic>

namespace core {

template <typename Service>
class ServiceSlot {
public:
    // `fallback` gives the default service.
    constexpr explicit ServiceSlot(Service& (*fallback)()) : m_fallback(fallback) {}

    // Installs `service` (not owned; nullptr: the default again); returns the service used until
    // now.
    Service* Set(Service* service)
    {
        Service* previous = m_installed.exchange(service);
        return previous ? previous : &m_fallback();
    }
    Service& Get() const
    {
        Service* installed = m_installed.load();
        return installed ? *installed : m_fallback();
    }

private:
    Service& (*m_fallback)();
    std::atomic<Service*> m_installed{nullptr};
};

}  // namespace core
