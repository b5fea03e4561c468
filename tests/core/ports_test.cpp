// The serial-port scan on a fake /sys/class/tty tree: devices with drivers, 8250 placeholders,
// natural order, extra paths, ports coming and going, missing folders.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/serial_ports.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using core::EnumerateSerialPorts;
using core::SerialPortRoots;
using Paths = std::vector<std::string>;

class FakeTtyTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = temp_.Path();
        fs::create_directories(root_ / "sys/class/tty");
        fs::create_directories(root_ / "sys/devices");
        fs::create_directories(root_ / "sys/drivers");
        roots_.sysClassTty = (root_ / "sys/class/tty").string();
        roots_.dev = "/dev";
    }
    // A class entry; it gets device -> ../../../devices/<name> and, with a driver,
    // device/driver -> ../../drivers/<driver>, like sysfs. type < 0 writes no "type" file.
    void AddTty(const std::string& name, const std::string& driver, int type = -1, bool device = true)
    {
        const fs::path entry = root_ / "sys/class/tty" / name;
        fs::create_directories(entry);
        if (device) {
            const fs::path dev = root_ / "sys/devices" / name;
            fs::create_directories(dev);
            fs::create_directory_symlink(fs::path("../../../devices") / name, entry / "device");
            if (!driver.empty()) {
                fs::create_directories(root_ / "sys/drivers" / driver);
                fs::create_directory_symlink(fs::path("../../drivers") / driver, dev / "driver");
            }
        }
        if (type >= 0) std::ofstream(entry / "type") << type << "\n";
    }

    void RemoveTty(const std::string& name)
    {
        fs::remove_all(root_ / "sys/class/tty" / name);
        fs::remove_all(root_ / "sys/devices" / name);
    }

    Paths Scan() const { return EnumerateSerialPorts(roots_); }

    fs::path root_;
    testing_support::TempDir temp_{"qel-tty"};
    SerialPortRoots roots_;
};

TEST_F(FakeTtyTree, ListsDevicesWithDriversAndSkipsPlaceholders)
{
    AddTty("tty0", "", -1, false);     // virtual console: no device
    AddTty("ttyS0", "serial8250", 4);  // 16550A with hardware
    AddTty("ttyS1", "serial8250", 0);  // placeholder
    AddTty("ttyS2", "serial8250");     // placeholder without a type file
    AddTty("ttyS3", "dw-apb-uart");    // another UART driver: no type needed
    AddTty("ttyUSB0", "ftdi_sio");
    AddTty("ttyACM0", "cdc_acm");
    AddTty("ttyX0", "");  // a device without a driver
    EXPECT_EQ(Scan(), (Paths{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS3", "/dev/ttyUSB0"}));
}

TEST_F(FakeTtyTree, UnreadableTypeCountsAsPlaceholder)
{
    AddTty("ttyS0", "serial8250");
    std::ofstream(root_ / "sys/class/tty/ttyS0/type") << "unknown\n";
    AddTty("ttyS1", "serial8250");
    std::ofstream(root_ / "sys/class/tty/ttyS1/type") << "  16\n";
    EXPECT_EQ(Scan(), (Paths{"/dev/ttyS1"}));
}

TEST_F(FakeTtyTree, SortsNaturally)
{
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyUSB1", "ttyS10", "ttyS2", "ttyACM11", "ttyACM3"}) {
        AddTty(name, std::string(name).rfind("ttyS", 0) == 0 ? "serial8250" : "usb-serial", 2);
    }
    EXPECT_EQ(Scan(), (Paths{"/dev/ttyACM3", "/dev/ttyACM11", "/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB1",
                             "/dev/ttyUSB2", "/dev/ttyUSB10"}));
}

TEST_F(FakeTtyTree, FollowsPortsAddedAndRemoved)
{
    AddTty("ttyUSB0", "ftdi_sio");
    EXPECT_EQ(Scan(), (Paths{"/dev/ttyUSB0"}));
    AddTty("ttyUSB1", "pl2303");
    EXPECT_EQ(Scan(), (Paths{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
    RemoveTty("ttyUSB0");
    EXPECT_EQ(Scan(), (Paths{"/dev/ttyUSB1"}));
    // Unplugged but the class entry lingers with a dangling device link.
    fs::remove_all(root_ / "sys/devices/ttyUSB1");
    EXPECT_EQ(Scan(), Paths{});
}

TEST_F(FakeTtyTree, ExtraPathsComeFirstAsGiven)
{
    AddTty("ttyUSB0", "ftdi_sio");
    AddTty("ttyACM0", "cdc_acm");
    roots_.dev = (root_ / "dev").string();
    roots_.extra = {"/dev/pts/7", "", "/dev/pts/3", "/dev/pts/7", roots_.dev + "/ttyUSB0"};
    EXPECT_EQ(Scan(), (Paths{"/dev/pts/7", "/dev/pts/3", roots_.dev + "/ttyUSB0", roots_.dev + "/ttyACM0"}));
}

TEST_F(FakeTtyTree, MissingOrWrongRootGivesOnlyTheExtras)
{
    roots_.sysClassTty = (root_ / "no/such/folder").string();
    EXPECT_EQ(Scan(), Paths{});
    roots_.extra = {"/dev/pts/4"};
    EXPECT_EQ(Scan(), (Paths{"/dev/pts/4"}));
    const fs::path file = root_ / "plain-file";
    std::ofstream(file) << "x";
    roots_.sysClassTty = file.string();
    EXPECT_EQ(Scan(), (Paths{"/dev/pts/4"}));
    roots_.sysClassTty.clear();
    EXPECT_EQ(Scan(), (Paths{"/dev/pts/4"}));
}

TEST(SerialPortScanRoots, IsSharedAndChangeable)
{
    SerialPortRoots& roots = core::SerialPortScanRoots();
    const SerialPortRoots saved = roots;
    roots.extra.push_back("/dev/pts/9");
    EXPECT_EQ(core::SerialPortScanRoots().extra.back(), "/dev/pts/9");
    EXPECT_EQ(&core::SerialPortScanRoots(), &roots);
    roots = saved;
}

}  // namespace
