#include "core/serial_ports.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace core {
namespace {

namespace fs = std::filesystem;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Natural order: runs of digits compare by their value, everything else byte by byte.
bool NaturalLess(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && IsDigit(a[ei])) ++ei;
            while (ej < b.size() && IsDigit(b[ej])) ++ej;
            // Leading zeros do not change the value.
            std::size_t zi = i;
            std::size_t zj = j;
            while (zi + 1 < ei && a[zi] == '0') ++zi;
            while (zj + 1 < ej && b[zj] == '0') ++zj;
            const std::string_view da = a.substr(zi, ei - zi);
            const std::string_view db = b.substr(zj, ej - zj);
            if (da.size() != db.size()) return da.size() < db.size();
            if (da != db) return da < db;
            if (ei - i != ej - j) return ei - i < ej - j;  // "01" after "1": still a strict order
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool Exists(const fs::path& p)
{
    std::error_code ec;
    return fs::exists(p, ec);
}

// The name of the driver bound to a device ("serial8250", "ftdi_sio", ...).
std::string DriverName(const fs::path& driverLink)
{
    std::error_code ec;
    fs::path target = fs::read_symlink(driverLink, ec);
    if (ec) target = fs::weakly_canonical(driverLink, ec);
    if (ec) target = driverLink;
    return target.filename().string();
}

// The UART type of an 8250 port; 0 (no hardware) when it cannot be read.
long UartType(const fs::path& typeFile)
{
    std::ifstream in(typeFile);
    long type = 0;
    if (!(in >> type)) return 0;
    return type;
}

bool IsRealPort(const fs::path& entry, const std::string& name)
{
    const fs::path device = entry / "device";
    const fs::path driver = device / "driver";
    if (!Exists(device) || !Exists(driver)) return false;
    if (name.rfind("ttyS", 0) == 0 && DriverName(driver) == "serial8250") {
        return UartType(entry / "type") != 0;
    }
    return true;
}

}  // namespace

SerialPortRoots& SerialPortScanRoots()
{
    static SerialPortRoots roots;
    return roots;
}

std::vector<std::string> EnumerateSerialPorts(const SerialPortRoots& roots)
{
    std::vector<std::string> scanned;
    std::error_code ec;
    fs::directory_iterator it(roots.sysClassTty, ec);
    if (!ec) {
        for (const fs::directory_iterator end; it != end; it.increment(ec)) {
            if (ec) break;
            const std::string name = it->path().filename().string();
            if (name.empty() || name.front() == '.') continue;
            if (IsRealPort(it->path(), name)) scanned.push_back(roots.dev + "/" + name);
        }
    }
    std::sort(scanned.begin(), scanned.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });

    std::vector<std::string> ports;
    for (const std::string& p : roots.extra) {
        if (!p.empty() && std::find(ports.begin(), ports.end(), p) == ports.end()) ports.push_back(p);
    }
    for (std::string& p : scanned) {
        if (std::find(ports.begin(), ports.end(), p) == ports.end()) ports.push_back(std::move(p));
    }
    return ports;
}

}  // namespace core
