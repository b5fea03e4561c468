// The system's serial ports: devices under /sys/class/tty that have a driver (ttyUSB, ttyACM,
// ttyS with real hardware, ...), as device paths under /dev, sorted.
#pragma once
#include <string>
#include <vector>

namespace core {

struct SerialPortRoots {
    std::string sysClassTty = "/sys/class/tty";
    std::string dev = "/dev";
    // Extra device paths listed first, as found (the demo's simulated meter, for example).
    std::vector<std::string> extra;
};

// The roots used by the program; the demo and the tests change them.
SerialPortRoots& SerialPortScanRoots();

// Lists the ports: the extra paths first (empty ones and repeats left out), then every entry of
// sysClassTty with a "device" that has a "driver", as dev + "/" + name. A ttyS device counts only
// when its driver is not the placeholder of the legacy 8250 driver without hardware (its "type"
// file reads 0 or it has no "type" file while the driver is serial8250). The scanned paths are
// sorted naturally (ttyS2 before ttyS10). A missing or unreadable folder gives no scanned paths.
// No length limit is applied here: a caller with a fixed-size table skips what does not fit.
std::vector<std::string> EnumerateSerialPorts(const SerialPortRoots& roots);

}  // namespace core
