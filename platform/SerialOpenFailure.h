#pragma once
// Why a serial port did not open, told in terms a user can act on: the kind of
// failure behind the system error code of the open, the programs that hold a
// busy device, and the group whose members may open it.
#include <string>
#include <vector>

namespace platform {

enum class OpenFailure {
    None,             // error code 0
    Missing,          // no such device (or a node without a device behind it)
    PermissionDenied, // the user may not read and write the device
    Busy,             // another program has it open (or locked)
    NotSerial,        // opened, but it is no terminal device
    Other,
};

// The kind of an error code that SerialDevice::open returned.
OpenFailure classifyOpenError(int error);
// The system's text for an error code ("Input/output error").
std::string systemErrorText(int error);

struct DeviceHolder {
    int pid = 0;
    std::string name; // the process's command name, e.g. "ModemManager"
};
// Processes other than this one with the device open, found through the open
// files under <procRoot>/<pid>/fd (the same device, also when opened through
// another name). Processes of other users are invisible to an ordinary user,
// so an empty list does not mean nobody holds the device.
std::vector<DeviceHolder> processesHolding(const std::string& devicePath,
                                           const std::string& procRoot = "/proc");

// Name of the group owning the device node; empty when the node or its group
// cannot be looked up.
std::string deviceGroup(const std::string& devicePath);

} // namespace platform
