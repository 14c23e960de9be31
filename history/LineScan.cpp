#include "history/LineScan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/File.h"

namespace history {

ScanResult findLineFeeds(const platform::File& file, int64_t from, int64_t to,
                         std::vector<uint32_t>& feeds, const std::atomic<bool>& cancel,
                         int64_t blockSize) {
    ScanResult result;
    blockSize = std::max<int64_t>(blockSize, 1);
    std::unique_ptr<char[]> block(new char[size_t(blockSize)]);
    int64_t at = from;
    while (at < to && !cancel.load(std::memory_order_relaxed)) {
        const int64_t n = file.readAt(at, block.get(), std::min(blockSize, to - at));
        if (n < 0) {
            result.error = errno ? errno : EIO;
            break;
        }
        if (n == 0)
            break; // the file is shorter than it was
        const char* p = block.get();
        const char* end = p + n;
        while (const void* feed = std::memchr(p, '\n', size_t(end - p))) {
            const char* f = static_cast<const char*>(feed);
            feeds.push_back(uint32_t(at - from + (f - block.get())));
            p = f + 1;
        }
        at += n;
    }
    result.scanned = at - from;
    return result;
}

} // namespace history
