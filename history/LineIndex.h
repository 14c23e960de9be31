#pragma once
// Where each line of a log file starts. Offsets are kept in chunks as 32-bit
// distances from a 64-bit base, about 4 bytes a line, so the index of a 1 GB
// log of 12 million lines takes some 50 MB and no byte of the file itself.
//
// Entry i is the start of line i: 0, then the offset after each line feed.
// Lines ending in a line feed are complete; the bytes after the last one are
// the unterminated rest of the file (a record being written, or a file that
// ends mid-record).
//
// The index only grows at its end, on one thread. A copy shares the chunks
// and may be read on other threads while the original grows: growing writes
// only entries beyond the end of every copy, and never moves a chunk.
#include <cstdint>
#include <memory>
#include <vector>

namespace history {

class LineIndex {
public:
    static constexpr int64_t ChunkLines = 65536;

    LineIndex();

    // Lines that end in a line feed.
    int64_t lines() const { return m_entries - 1; }
    // Start of line i, 0 <= i <= lines(); lines() gives where the unterminated rest begins.
    int64_t start(int64_t line) const;
    // Bytes looked at: none of them after start(lines()) is a line feed.
    int64_t scanned() const { return m_scanned; }

    // Adds the lines ended by line feeds at base + feeds[k] (ascending, after
    // every one added so far) and marks everything up to scannedTo as seen.
    void add(int64_t base, const uint32_t* feeds, size_t count, int64_t scannedTo);
    void clear();

    // Copies the starts of lines first .. first + count - 1 into out.
    void starts(int64_t first, int64_t count, std::vector<int64_t>& out) const;

    // Bytes of memory the offsets take.
    int64_t memoryBytes() const;

private:
    struct Chunk {
        int64_t firstLine;
        int64_t base;
        std::unique_ptr<uint32_t[]> offsets; // ChunkLines entries, filled from the front
    };
    void push(int64_t offset);
    size_t chunkOf(int64_t line) const;

    std::vector<std::shared_ptr<Chunk>> m_chunks;
    int64_t m_entries = 0; // starts held, lines() + 1
    int64_t m_scanned = 0;
};

} // namespace history
