#include "platform/SerialPortMap.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace platform {

namespace fs = std::filesystem;

namespace {

struct Quirk {
    const char* windowsPrefix;
    const char* linuxDriver;
};

// Classic driver device-name prefixes and the Linux drivers that need the same
// special handling.
constexpr Quirk kQuirks[] = {
    {"USBSER00", "cdc_acm"},
    {"SILABSER", "cp210x"},
    {"BTPORT", "rfcomm"},
};

std::string readFirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Trailing decimal number of a tty name ("ttyACM12" -> "12").
std::string portIndex(const std::string& name) {
    size_t i = name.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(name[i - 1])))
        --i;
    return name.substr(i);
}

// Driver of the device: walk up from the device link, skip serial-base
// parents, take the first driver link.
std::string deviceDriver(const fs::path& ttyDir) {
    std::error_code ec;
    fs::path dev = fs::canonical(ttyDir / "device", ec);
    if (ec)
        return {};
    for (int depth = 0; depth < 8 && !dev.empty() && dev != dev.root_path(); ++depth) {
        fs::path subsystem = fs::read_symlink(dev / "subsystem", ec);
        const bool serialBase = !ec && subsystem.filename() == "serial-base";
        if (!serialBase) {
            fs::path driver = fs::read_symlink(dev / "driver", ec);
            if (!ec)
                return driver.filename().string();
        }
        dev = dev.parent_path();
    }
    return {};
}

// USB facts of the first device above the port that has a vendor id (the USB
// device itself; the port sits in one of its interfaces).
void readUsbFacts(const fs::path& ttyDir, SerialPortEntry& entry) {
    std::error_code ec;
    fs::path dev = fs::canonical(ttyDir / "device", ec);
    for (int depth = 0; !ec && depth < 8 && !dev.empty() && dev != dev.root_path(); ++depth) {
        if (fs::exists(dev / "idVendor", ec)) {
            entry.vendorId = readFirstLine(dev / "idVendor");
            entry.productId = readFirstLine(dev / "idProduct");
            entry.manufacturer = readFirstLine(dev / "manufacturer");
            entry.product = readFirstLine(dev / "product");
            entry.serial = readFirstLine(dev / "serial");
            return;
        }
        dev = dev.parent_path();
    }
}

// The by-id links and the port names they lead to.
std::vector<std::pair<std::string, std::string>> byIdLinks(const std::string& devRoot) {
    std::vector<std::pair<std::string, std::string>> links;
    std::error_code ec;
    const fs::path dir = fs::path(devRoot) / "serial" / "by-id";
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkEc;
        const fs::path target = fs::canonical(it->path(), linkEc);
        if (!linkEc)
            links.emplace_back(target.filename().string(), it->path().string());
    }
    std::sort(links.begin(), links.end());
    return links;
}

// tty driver name from /proc/tty/drivers by the major number in "dev".
std::string ttyDriverByMajor(const fs::path& ttyDir, const std::string& procRoot) {
    std::string dev = readFirstLine(ttyDir / "dev");
    size_t colon = dev.find(':');
    if (colon == std::string::npos)
        return {};
    const std::string major = dev.substr(0, colon);
    std::ifstream in(fs::path(procRoot) / "tty" / "drivers");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, node, maj;
        fields >> name >> node >> maj;
        if (maj == major)
            return name;
    }
    return {};
}

// Natural order: ttyS2 before ttyS10.
bool naturalLess(const std::string& a, const std::string& b) {
    size_t ia = a.size(), ib = b.size();
    while (ia > 0 && std::isdigit(static_cast<unsigned char>(a[ia - 1])))
        --ia;
    while (ib > 0 && std::isdigit(static_cast<unsigned char>(b[ib - 1])))
        --ib;
    const std::string pa = a.substr(0, ia), pb = b.substr(0, ib);
    if (pa != pb)
        return pa < pb;
    const std::string na = a.substr(ia), nb = b.substr(ib);
    if (na.size() != nb.size())
        return na.size() < nb.size();
    return na < nb;
}

// Whether the tty at ttyDir is a serial port; hasDevice tells whether it has
// a device link.
bool isSerialPort(const fs::path& ttyDir, const std::string& name, bool& hasDevice) {
    std::error_code linkEc;
    hasDevice = fs::exists(ttyDir / "device", linkEc);
    const bool byName =
        startsWith(name, "rfcomm") || startsWith(name, "ttyGS") || startsWith(name, "tnt");
    if (!hasDevice && !byName)
        return false;
    // A ttyS entry whose UART type is unknown has no port behind it.
    return !(startsWith(name, "ttyS") && readFirstLine(ttyDir / "type") == "0");
}

} // namespace

std::vector<std::string> serialPortNames(const std::string& sysRoot) {
    std::vector<std::string> names;
    std::error_code ec;
    const fs::path classDir = fs::path(sysRoot) / "class" / "tty";
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        bool hasDevice = false;
        if (isSerialPort(it->path(), name, hasDevice))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

std::vector<SerialPortEntry> serialPortMap(const std::string& sysRoot, const std::string& procRoot,
                                           const std::string& devRoot) {
    std::vector<SerialPortEntry> entries;
    const auto links = byIdLinks(devRoot);
    std::error_code ec;
    const fs::path classDir = fs::path(sysRoot) / "class" / "tty";
    for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path ttyDir = it->path();
        const std::string name = ttyDir.filename().string();
        bool hasDevice = false;
        if (!isSerialPort(ttyDir, name, hasDevice))
            continue;
        SerialPortEntry entry;
        entry.portName = name;
        entry.driver = hasDevice ? deviceDriver(ttyDir) : std::string();
        if (entry.driver.empty())
            entry.driver = ttyDriverByMajor(ttyDir, procRoot);
        entry.deviceName = "\\Device\\" + (entry.driver.empty() ? name : entry.driver) +
                           (entry.driver.empty() ? std::string() : portIndex(name));
        if (hasDevice)
            readUsbFacts(ttyDir, entry);
        for (const auto& [port, link] : links)
            if (port == name) {
                entry.byIdPath = link;
                break;
            }
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const SerialPortEntry& a, const SerialPortEntry& b) {
                  return naturalLess(a.portName, b.portName);
              });
    return entries;
}

std::string linuxDriverFor(std::string_view windowsPrefix) {
    for (const Quirk& q : kQuirks)
        if (windowsPrefix == q.windowsPrefix)
            return q.linuxDriver;
    return {};
}

bool driverNameMatches(std::string_view driverName, std::string_view windowsPrefix) {
    if (startsWith(driverName, windowsPrefix))
        return true;
    const std::string linuxDriver = linuxDriverFor(windowsPrefix);
    return !linuxDriver.empty() && startsWith(driverName, upper(linuxDriver));
}

} // namespace platform
