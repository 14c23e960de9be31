#pragma once
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/GrabMessenger.h"
#include "platform/SharedMemory.h"

namespace comm {

// The sharing block: 128 bytes of 32-bit little-endian words. Word 0 is the
// entry count, words 1..count the instance ids in order; entry 1 holds the
// port, the others wait.
constexpr size_t kGrabBlockSize = 128;
constexpr size_t kGrabMaxEntries = 20;
// Attempts to open the port after asking its holder to let go, 100 ms apart.
constexpr int kGrabOpenAttempts = 100;
constexpr int kGrabRetryInterval = 100;

// Name of the block shared by every instance that uses the port.
QString GrabBlockName(const QString& commPort);
// The list of a block; a count above 20 is read as 20.
std::vector<uint32_t> ReadGrabList(const void* block);
// Writes the list, at most 20 entries (extra waiting entries at the end are
// dropped, so readers never see fewer than were written).
void WriteGrabList(void* block, const std::vector<uint32_t>& list);

// Everything an instance needs while it takes part in port sharing.
struct GrabState {
    platform::SharedMemory memory;
    bool blockIsNew = false;
    platform::GrabMessenger messenger;
    // Retries of the open after a take, run from the event loop so the user
    // interface stays responsive for the up to ten seconds they may last.
    QTimer retryTimer;
    int attempts = 0;
    uint32_t previousHolder = 0;
};

} // namespace comm
