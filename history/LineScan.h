#pragma once
// Reading a log file in blocks: the line feeds of a stretch of it, for the
// line index. The file is read with positioned reads, never mapped: a log
// truncated while it is read then gives short reads, not a fault.
#include <atomic>
#include <cstdint>
#include <vector>

namespace platform {
class File;
}

namespace history {

// Block size of the reads: large enough that the system call is a small part
// of the cost, small enough to stay in the processor's cache.
constexpr int64_t DefaultBlockSize = 1 << 20;

struct ScanResult {
    int64_t scanned =
        0;         // bytes from `from` looked at (less than asked: end of file, cancel, error)
    int error = 0; // errno of a failed read
};

// Appends to feeds the positions, relative to from, of the line feeds in the
// bytes [from, to) of file (to - from below 4 GB). Stops early when cancel
// is set, at the end of the file or on a read error.
ScanResult findLineFeeds(const platform::File& file, int64_t from, int64_t to,
                         std::vector<uint32_t>& feeds, const std::atomic<bool>& cancel,
                         int64_t blockSize = DefaultBlockSize);

} // namespace history
