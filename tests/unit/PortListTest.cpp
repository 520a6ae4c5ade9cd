#include "modbus/PortList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

using namespace vantrel;
namespace fs = std::filesystem;

namespace {

// A fake /dev and /sys: by-id links, a UART with and without hardware, a USB adapter.
struct FakeSystem {
    std::string root = testing::TempDir() + "/ports-" + std::to_string(::getpid()) + "-" +
                       std::to_string(counter++);
    std::string dev = root + "/dev";
    std::string sys = root + "/sys";
    static inline int counter = 0;

    FakeSystem() {
        fs::remove_all(root);
        fs::create_directories(dev + "/serial/by-id");
        fs::create_directories(sys + "/class/tty");
    }
    ~FakeSystem() { fs::remove_all(root); }

    void Touch(const std::string& path) { std::ofstream(path) << ""; }
    void Write(const std::string& path, const std::string& text) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << text << "\n";
    }
    // The kernel's tty class entry of a port: a device behind it, as every serial driver
    // registers one (sysfs links it; a folder does as well here).
    void Tty(const std::string& name) {
        Touch(dev + "/" + name);
        fs::create_directories(sys + "/class/tty/" + name + "/device");
    }
    void Uart(const std::string& name, const std::string& type) {
        Tty(name);
        Write(sys + "/class/tty/" + name + "/type", type);
    }
    void Usb(const std::string& tty, const std::string& byId) {
        Tty(tty);
        fs::create_symlink("../../" + tty, dev + "/serial/by-id/" + byId);
    }
    void Unplug(const std::string& tty, const std::string& byId) {
        fs::remove(dev + "/" + tty);
        fs::remove(dev + "/serial/by-id/" + byId);
        fs::remove_all(sys + "/class/tty/" + tty);
    }
};

std::vector<std::string> Names(const std::vector<host::PortEntry>& ports) {
    std::vector<std::string> names;
    for (const auto& p : ports)
        names.push_back(p.name + (p.present ? "" : "(absent)") + "=" + p.path);
    return names;
}

} // namespace

TEST(PortList, NumbersAreGivenOnceAndKeptAcrossReplugs) {
    FakeSystem system;
    system.Uart("ttyS0", "4");
    system.Uart("ttyS1", "0"); // no UART behind it
    system.Usb("ttyUSB0", "usb-FTDI_FT232R_USB_UART_A10K-if00-port0");
    IniFile settings;
    int saves = 0;
    modbus::SystemPortList list(
        settings, [&] { ++saves; }, system.dev, system.sys);

    auto ports = list.Ports(false);
    const std::string usbPath =
        system.dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0";
    EXPECT_EQ(Names(ports),
              (std::vector<std::string>{"COM1=" + usbPath, "COM2=" + system.dev + "/ttyS0"}));
    EXPECT_EQ(ports[0].description, "FTDI FT232R USB UART A10K");
    EXPECT_EQ(ports[1].description, "Serial port ttyS0");
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(settings.ReadString("Ports", "COM1", ""), usbPath);

    // Unplugged: it keeps its number and shows only in the full list.
    system.Unplug("ttyUSB0", "usb-FTDI_FT232R_USB_UART_A10K-if00-port0");
    EXPECT_EQ(Names(list.Ports(false)),
              (std::vector<std::string>{"COM2=" + system.dev + "/ttyS0"}));
    EXPECT_EQ(Names(list.Ports(true)), (std::vector<std::string>{"COM1(absent)=" + usbPath,
                                                                 "COM2=" + system.dev + "/ttyS0"}));
    EXPECT_EQ(list.PathOf(1), "");

    // A second adapter takes the lowest free number; the first comes back as COM1.
    system.Usb("ttyUSB1", "usb-Other_Adapter-if00-port0");
    system.Usb("ttyUSB0", "usb-FTDI_FT232R_USB_UART_A10K-if00-port0");
    auto again = list.Ports(false);
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[0].path, usbPath);
    EXPECT_EQ(again[2].name, "COM3");
    EXPECT_EQ(list.PathOf(1), usbPath);
    EXPECT_EQ(saves, 2);
}

// Ports are what the kernel says are serial devices, whatever their driver calls them; the
// consoles and pseudo-terminals in the same class are not.
TEST(PortList, EveryTtyWithADeviceIsAPort) {
    FakeSystem system;
    for (const char* name : {"ttyCH343USB0", "ttyXRUSB0", "ttyMXUSB1", "ttymxc0", "ttyTHS2",
                             "ttyUSB0", "ttyACM0", "ttyAMA0"})
        system.Tty(name);
    // A USB adapter names itself.
    system.Write(system.sys + "/class/tty/ttyXRUSB0/device/../product", "XR21V1410");
    system.Write(system.sys + "/class/tty/ttyXRUSB0/device/../manufacturer", "Exar");
    system.Uart("ttyS0", "4");
    system.Uart("ttyS3", "0"); // a UART node with nothing behind it
    // A Bluetooth link bound before its device is connected has no device yet.
    system.Touch(system.dev + "/rfcomm0");
    fs::create_directories(system.sys + "/class/tty/rfcomm0");
    // No device behind them: virtual consoles, the console, a pseudo-terminal.
    for (const char* name : {"tty1", "console", "ptmx", "ttyp0"}) {
        system.Touch(system.dev + "/" + name);
        fs::create_directories(system.sys + "/class/tty/" + name);
    }
    // In the class but without its /dev node: nothing the user could open.
    fs::create_directories(system.sys + "/class/tty/ttyGS0/device");
    IniFile settings;
    modbus::SystemPortList list(settings, nullptr, system.dev, system.sys);
    std::vector<std::string> paths;
    std::map<std::string, std::string> descriptions;
    for (const auto& port : list.Ports(false)) {
        const std::string name = fs::path(port.path).filename().string();
        paths.push_back(name);
        descriptions[name] = port.description;
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{"rfcomm0", "ttyACM0", "ttyAMA0", "ttyCH343USB0",
                                               "ttyMXUSB1", "ttyS0", "ttyTHS2", "ttyUSB0",
                                               "ttyXRUSB0", "ttymxc0"}));
    EXPECT_EQ(descriptions["ttyXRUSB0"], "Exar XR21V1410");
    EXPECT_EQ(descriptions["ttymxc0"], "Serial port ttymxc0");
    EXPECT_EQ(descriptions["rfcomm0"], "Bluetooth serial port rfcomm0");
}

TEST(PortList, LinesAddedByHandMakeAnyTtyUsable) {
    FakeSystem system;
    system.Touch(system.root + "/pty7");
    IniFile settings = IniFile::FromText("[Ports]\nCOM12=" + system.root +
                                         "/pty7\n"
                                         "COM256=/dev/null\nFOO=/dev/null\nCOM5=" +
                                         system.root + "/gone\n");
    modbus::SystemPortList list(settings, nullptr, system.dev, system.sys);
    EXPECT_EQ(Names(list.Ports(false)),
              (std::vector<std::string>{"COM12=" + system.root + "/pty7"}));
    EXPECT_EQ(list.Ports(true).size(), 2u);
    EXPECT_EQ(list.NumberForPath(system.root + "/pty7"), 12);
    EXPECT_EQ(list.NumberForPath(system.root + "/other"), 1);
    EXPECT_EQ(list.PathOf(1), ""); // not present
}

// Two programs share the settings file, each with its own copy in memory. What one numbers
// the other neither loses nor renumbers: a save reads the file again under a lock and writes
// only its own keys; a number once given to a device stays with it.
TEST(PortList, TwoProgramsNumberPortsWithoutOverwritingEachOther) {
    FakeSystem system;
    const std::string file = system.root + "/vantrel.ini";
    {
        std::ofstream(file) << "[Modbus]\r\nPort=COM1\r\n[Ports]\r\nCOM1=" << system.dev
                            << "/ttyS0\r\n";
    }
    system.Uart("ttyS0", "4");
    IniFile windowSettings, cliSettings;
    ASSERT_TRUE(windowSettings.Load(file));
    ASSERT_TRUE(cliSettings.Load(file));
    auto saver = [&file](IniFile& settings) {
        return [&settings, &file] {
            std::string error;
            EXPECT_TRUE(settings.SaveOwnKeys(file, &error, modbus::MergePortChange)) << error;
        };
    };
    modbus::SystemPortList window(windowSettings, saver(windowSettings), system.dev, system.sys);
    modbus::SystemPortList cli(cliSettings, saver(cliSettings), system.dev, system.sys);

    // The window sees converter A alone and numbers it COM2.
    system.Usb("ttyUSB0", "usb-A-if00-port0");
    const std::string a = system.dev + "/serial/by-id/usb-A-if00-port0";
    EXPECT_EQ(window.PathOf(2), a);
    // The command-line tool still holds the file as it was; it sees A and B appear. A keeps the
    // window's number; B, which this copy would also have called COM2 or COM3, gets a free one.
    system.Usb("ttyUSB1", "usb-B-if00-port0");
    const std::string b = system.dev + "/serial/by-id/usb-B-if00-port0";
    const auto seen = cli.Ports(false);
    EXPECT_EQ(cli.PathOf(2), a);
    EXPECT_EQ(cli.PathOf(3), b);
    // The window's own bus setting, saved after that, keeps the tool's [Ports] line.
    windowSettings.WriteString("Modbus", "Port", "COM2");
    ASSERT_TRUE(windowSettings.SaveOwnKeys(file, nullptr, modbus::MergePortChange));
    IniFile onDisk;
    ASSERT_TRUE(onDisk.Load(file));
    EXPECT_EQ(onDisk.ReadString("Modbus", "Port", ""), "COM2");
    EXPECT_EQ(onDisk.ReadString("Ports", "COM1", ""), system.dev + "/ttyS0");
    EXPECT_EQ(onDisk.ReadString("Ports", "COM2", ""), a);
    EXPECT_EQ(onDisk.ReadString("Ports", "COM3", ""), b);
    EXPECT_EQ(onDisk.Keys("Ports").size(), 3u);
    EXPECT_EQ(window.PathOf(3), b);

    // Both number the same new device at once: the first save's number stands for both.
    system.Usb("ttyUSB2", "usb-C-if00-port0");
    const std::string c = system.dev + "/serial/by-id/usb-C-if00-port0";
    IniFile lateSettings;
    ASSERT_TRUE(lateSettings.Load(file));
    lateSettings.WriteString("Ports", "COM9", c); // as a copy that had COM4..8 in use would
    EXPECT_EQ(window.PathOf(4), c);
    ASSERT_TRUE(lateSettings.SaveOwnKeys(file, nullptr, modbus::MergePortChange));
    EXPECT_EQ(lateSettings.ReadString("Ports", "COM4", ""), c);
    EXPECT_FALSE(lateSettings.Get("Ports", "COM9"));
}

TEST(PortList, PortNames) {
    EXPECT_EQ(modbus::PortNumberOfName("COM1"), 1);
    EXPECT_EQ(modbus::PortNumberOfName("com255"), 255);
    for (const char* bad : {"COM0", "COM256", "COM", "COM01", "LPT1", "COM1a", ""})
        EXPECT_EQ(modbus::PortNumberOfName(bad), 0) << bad;
}

TEST(PortList, ComparePortListsReportsTheHighestChange) {
    using V = std::vector<std::string>;
    EXPECT_FALSE(modbus::ComparePortLists({"COM1"}, {"COM1"}));
    auto change = modbus::ComparePortLists({"COM1"}, {"COM1", "COM2"});
    ASSERT_TRUE(change);
    EXPECT_EQ(change->message, " New port found: COM2");
    EXPECT_EQ(change->colour, modbus::PortChangeColour::NewPort);
    change = modbus::ComparePortLists(V{"COM3", "COM10"}, V{"COM2"});
    ASSERT_TRUE(change);
    EXPECT_EQ(change->message, " Port removed: COM10");
    EXPECT_EQ(change->colour, modbus::PortChangeColour::Removed);
    change = modbus::ComparePortLists(V{"COM9"}, V{"COM4"});
    EXPECT_EQ(change->message, " Port removed: COM9");
}
