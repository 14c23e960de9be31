#pragma once
// The requests a script can make on the control socket, one row each: the
// program answers them and dralvo-msg lists them in its help from this table.
#include <cstdint>

namespace platform {

struct ControlVerbRow {
    const char* name;
    const char* arguments; // as the help shows them
    const char* help;      // one line
    uint32_t message;      // sent as this message number (0: a verb request of its own)
};

inline constexpr ControlVerbRow ControlVerbTable[] = {
    {"start", "", "press \"Connect & Start\" (message 1025); prints 1", 0x0401},
    {"disconnect", "", "press \"Disconnect\" (message 1024); prints 2", 0x0400},
    {"state", "", "print the connection state, the port, its speed and the log file", 0},
    {"send", "TEXT", "send TEXT and a carriage return, as the send line does", 0},
    {"send-hex", "HEX", "send the bytes HEX describes (\"41 54 0D\"), as the hex line does", 0},
    {"mark", "[TEXT]", "write a \"-- MARK --\" line, TEXT after it, into the display and the log",
     0},
    {"expect", "REGEX [TIMEOUT]",
     "wait up to TIMEOUT seconds (default 10) for the next received line matching REGEX; print it",
     0},
    {"tail", "", "print every received and sent line as it is logged, until interrupted", 0},
};

// The seconds expect waits when no time-out is given.
inline constexpr double ExpectDefaultTimeoutS = 10.0;

} // namespace platform
