#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/SerialPortMap.h"

namespace fs = std::filesystem;

namespace {

// A made-up /sys and /proc with a few kinds of ports.
struct FakeSys {
    fs::path root;
    FakeSys() {
        root = fs::temp_directory_path() / ("serialmap-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "sys/class/tty");
        fs::create_directories(root / "proc/tty");
        std::ofstream(root / "proc/tty/drivers") << "/dev/tty /dev/tty 5 0 system:/dev/tty\n"
                                                    "rfcomm /dev/rfcomm 216 0-255 serial\n";
        // Drivers.
        mkdir("sys/bus/usb/drivers/cdc_acm");
        mkdir("sys/bus/usb-serial/drivers/cp210x");
        mkdir("sys/bus/platform/drivers/serial8250");
        mkdir("sys/bus/serial-base");
        // ttyACM0: device is the USB interface, with its driver.
        port("ttyACM0", "sys/devices/usb1/1-1/1-1:1.0", "sys/bus/usb/drivers/cdc_acm");
        // ttyUSB3: cp210x.
        port("ttyUSB3", "sys/devices/usb1/1-2/1-2:1.0/ttyUSB3",
             "sys/bus/usb-serial/drivers/cp210x");
        // ttyS1 and ttyS10: serial-base port devices whose parent has the driver.
        for (const char* name : {"ttyS1", "ttyS10"}) {
            std::string dev =
                std::string("sys/devices/platform/serial8250/serial0/serial0:0.") + name;
            mkdir(dev);
            fs::create_directory_symlink(root / "sys/bus/serial-base", root / dev / "subsystem");
            fs::create_directory_symlink(root / "sys/bus/serial-base", root / dev / "driver");
            if (!fs::exists(root / "sys/devices/platform/serial8250/driver"))
                fs::create_directory_symlink(root / "sys/bus/platform/drivers/serial8250",
                                             root / "sys/devices/platform/serial8250/driver");
            tty(name, dev);
            std::ofstream(root / "sys/class/tty" / name / "type") << "4\n";
        }
        // ttyS0: phantom UART.
        port("ttyS0", "sys/devices/platform/phantom", "sys/bus/platform/drivers/serial8250");
        std::ofstream(root / "sys/class/tty/ttyS0/type") << "0\n";
        // rfcomm0: no device link, driver by major number.
        mkdir("sys/class/tty/rfcomm0");
        std::ofstream(root / "sys/class/tty/rfcomm0/dev") << "216:0\n";
        // tty1: a console, no device: not a serial port.
        mkdir("sys/class/tty/tty1");
        // The USB devices above ttyACM0 and ttyUSB3, and udev's by-id names.
        usb("sys/devices/usb1/1-1", "1e2d", "0058", "Cinterion", "EHS6", "0123456789");
        usb("sys/devices/usb1/1-2", "10c4", "ea60", "Silicon Labs",
            "CP2102 USB to UART Bridge Controller", "0001");
        mkdir("dev/serial/by-id");
        for (const char* name : {"ttyACM0", "ttyUSB3"})
            std::ofstream(root / "dev" / name) << "";
        fs::create_symlink("../../ttyACM0", root / "dev/serial/by-id/usb-Cinterion_EHS6-if00");
        fs::create_symlink("../../ttyUSB3",
                           root / "dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0");
    }
    void usb(const std::string& device, const char* vendor, const char* product,
             const char* manufacturer, const char* name, const char* serial) {
        const std::pair<const char*, const char*> attributes[] = {{"idVendor", vendor},
                                                                  {"idProduct", product},
                                                                  {"manufacturer", manufacturer},
                                                                  {"product", name},
                                                                  {"serial", serial}};
        for (const auto& [file, value] : attributes)
            std::ofstream(root / device / file) << value << "\n";
    }
    ~FakeSys() { fs::remove_all(root); }
    void mkdir(const std::string& p) { fs::create_directories(root / p); }
    void tty(const std::string& name, const std::string& device) {
        mkdir("sys/class/tty/" + name);
        fs::create_directory_symlink(root / device, root / "sys/class/tty" / name / "device");
    }
    void port(const std::string& name, const std::string& device, const std::string& driver) {
        mkdir(device);
        fs::create_directory_symlink(root / driver, root / device / "driver");
        tty(name, device);
    }
};

TEST(SerialPortMap, WalksSysfsWithDriverNames) {
    FakeSys sys;
    auto entries =
        platform::serialPortMap((sys.root / "sys").string(), (sys.root / "proc").string());
    std::vector<std::string> names, devices;
    for (const auto& e : entries) {
        names.push_back(e.portName);
        devices.push_back(e.deviceName);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"rfcomm0", "ttyACM0", "ttyS1", "ttyS10", "ttyUSB3"}));
    EXPECT_EQ(platform::serialPortNames((sys.root / "sys").string()), names)
        << "the names alone, as a failed open lists them";
    EXPECT_EQ(devices, (std::vector<std::string>{"\\Device\\rfcomm0", "\\Device\\cdc_acm0",
                                                 "\\Device\\serial82501", "\\Device\\serial825010",
                                                 "\\Device\\cp210x3"}));
}

TEST(SerialPortMap, UsbPortsCarryWhatTheSystemKnowsOfTheDevice) {
    FakeSys sys;
    auto entries = platform::serialPortMap(
        (sys.root / "sys").string(), (sys.root / "proc").string(), (sys.root / "dev").string());
    ASSERT_EQ(entries.size(), 5u);
    const platform::SerialPortEntry& acm = entries[1];
    ASSERT_EQ(acm.portName, "ttyACM0");
    EXPECT_EQ(acm.manufacturer, "Cinterion");
    EXPECT_EQ(acm.product, "EHS6");
    EXPECT_EQ(acm.serial, "0123456789");
    EXPECT_EQ(acm.vendorId, "1e2d");
    EXPECT_EQ(acm.productId, "0058");
    EXPECT_EQ(acm.byIdPath, (sys.root / "dev/serial/by-id/usb-Cinterion_EHS6-if00").string());
    // A USB serial converter: the port is one level further down.
    const platform::SerialPortEntry& usb = entries[4];
    ASSERT_EQ(usb.portName, "ttyUSB3");
    EXPECT_EQ(usb.product, "CP2102 USB to UART Bridge Controller");
    EXPECT_EQ(usb.vendorId, "10c4");
    EXPECT_EQ(usb.byIdPath,
              (sys.root / "dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0").string());
    // A built-in UART has nothing of the kind.
    EXPECT_EQ(entries[2].portName, "ttyS1");
    EXPECT_EQ(entries[2].vendorId, "");
    EXPECT_EQ(entries[2].byIdPath, "");
}

TEST(SerialPortMap, MissingSysfsGivesEmptyMap) {
    EXPECT_TRUE(platform::serialPortMap("/nonexistent", "/nonexistent").empty());
}

TEST(SerialPortMap, QuirkTable) {
    EXPECT_EQ(platform::linuxDriverFor("USBSER00"), "cdc_acm");
    EXPECT_EQ(platform::linuxDriverFor("SILABSER"), "cp210x");
    EXPECT_EQ(platform::linuxDriverFor("BTPORT"), "rfcomm");
    EXPECT_EQ(platform::linuxDriverFor("SERIAL"), "");
    EXPECT_TRUE(platform::driverNameMatches("USBSER000", "USBSER00"));
    EXPECT_TRUE(platform::driverNameMatches("CDC_ACM0", "USBSER00"));
    EXPECT_TRUE(platform::driverNameMatches("CP210X3", "SILABSER"));
    EXPECT_TRUE(platform::driverNameMatches("RFCOMM0", "BTPORT"));
    EXPECT_FALSE(platform::driverNameMatches("SERIAL82501", "USBSER00"));
    EXPECT_FALSE(platform::driverNameMatches("cdc_acm0", "USBSER00")) << "upper-case names only";
    EXPECT_FALSE(platform::driverNameMatches("?", "BTPORT"));
}

} // namespace
