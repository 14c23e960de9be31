#pragma once
#include <string>
#include <string_view>
#include <vector>

// The machine's serial ports as a map of device names to port names, the way
// the classic serial-port map lists them: "\Device\cdc_acm0" -> "ttyACM0".
//
// Driver names and their rules
// ----------------------------
// The serial component keeps the port's driver name in upper case, as the
// classic driver names were: "\Device\" dropped from the map entry, so
// ttyACM0 served by cdc_acm gives "CDC_ACM0". The driver is the kernel driver
// of the tty's device in sysfs (see serialPortMap). A few of the component's
// rules are tied to classic driver names; they apply to a driver name that
// begins with the classic prefix or with the Linux driver that behaves alike:
//
//   classic prefix  Linux driver  devices            rule
//   USBSER00        cdc_acm       USB modems         DTR is never dropped (the
//                   (ttyACM*)     (CDC-ACM)          firmware stops sending)
//                                                    and so never drives a
//                                                    DTR handshake
//   SILABSER        cp210x        Silicon Labs USB   breaks are left out of the
//                   (ttyUSB*)     bridges            read worker's event mask
//   BTPORT          rfcomm        Bluetooth serial   the empty transmitter is
//                   (rfcomm*)     ports              left out of the event mask
//
// The S0016MDM, S0016MGMT and S0016OBEX prefixes (Bluetooth modem, management
// and object-exchange ports of a classic stack) have no Linux counterpart:
// Bluetooth serial ports are all rfcomm here, which the BTPORT row covers.
// A port whose driver is unknown ("?") gets none of these rules.

namespace platform {

struct SerialPortEntry {
    std::string deviceName; // "\Device\" + kernel driver + port index, e.g. \Device\cdc_acm0
    std::string portName;   // plain tty name, e.g. ttyACM0
    std::string driver;     // kernel driver name, e.g. cdc_acm (empty when unknown)
    // What the system knows of a USB device behind the port (empty otherwise;
    // the initialisers let the first three members be given alone).
    std::string manufacturer{}; // e.g. "Silicon Labs"
    std::string product{};      // e.g. "CP2102 USB to UART Bridge Controller"
    std::string serial{};       // the device's serial number
    std::string vendorId{};     // "10c4"
    std::string productId{};    // "ea60"
    std::string byIdPath{};     // the /dev/serial/by-id link that names the port, if any
};

// Walks <sysRoot>/class/tty: entries with a device link (ttyS* whose UART type
// is unknown left out) plus rfcomm*, ttyGS* and tnt* by name. The driver comes
// from the first driver link above the device (serial-base parents skipped), or
// from <procRoot>/tty/drivers by major number. USB facts come from the first
// device above the port that carries idVendor; the by-id name from the links in
// <devRoot>/serial/by-id. Sorted by port name, numbers in numeric order.
std::vector<SerialPortEntry> serialPortMap(const std::string& sysRoot = "/sys",
                                           const std::string& procRoot = "/proc",
                                           const std::string& devRoot = "/dev");

// The names of the ports serialPortMap lists, in its order, without what it
// reads about each (drivers, USB facts, by-id names): for a reason shown at
// every failed open, where only the names count.
std::vector<std::string> serialPortNames(const std::string& sysRoot = "/sys");

// The Linux driver that behaves like the classic driver whose device names
// begin with windowsPrefix ("USBSER00" -> "cdc_acm", "SILABSER" -> "cp210x",
// "BTPORT" -> "rfcomm"); empty when there is none.
std::string linuxDriverFor(std::string_view windowsPrefix);

// True when an upper-case driver name (as the component keeps it, e.g.
// "CDC_ACM0" or "USBSER000") begins with windowsPrefix or with the upper-cased
// Linux driver that the quirk table maps to it.
bool driverNameMatches(std::string_view driverName, std::string_view windowsPrefix);

} // namespace platform
