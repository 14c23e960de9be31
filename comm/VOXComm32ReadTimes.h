#pragma once
// When the bytes of a received block were read from the port. The read worker
// takes what the port holds piece by piece as it comes; each piece that is
// read at a new millisecond starts a mark: the offset of its first byte in the
// block and the moment of the read (milliseconds since 1970-01-01 UTC). A byte
// was read at the time of the last mark at or before it.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace comm {

struct ReadMark {
    uint32_t offset;
    int64_t ms;
};

// A list of marks, for as long as the block it belongs to.
class ReadTimes {
public:
    // What At gives when no read times are known (data from elsewhere).
    static constexpr int64_t Unknown = INT64_MIN;

    ReadTimes() = default;
    explicit ReadTimes(const std::vector<ReadMark>& marks)
        : m_marks(marks.data()), m_count(marks.size()) {}

    bool empty() const { return m_count == 0; }
    size_t size() const { return m_count; }
    const ReadMark* begin() const { return m_marks; }
    const ReadMark* end() const { return m_marks + m_count; }
    // When the byte at offset was read; Unknown without marks.
    int64_t At(size_t offset) const;

private:
    const ReadMark* m_marks = nullptr;
    size_t m_count = 0;
};

// Notes bytes read at ms from offset on (offsets rise from mark to mark): a
// new mark unless the last one has the same time.
void AddReadMark(std::vector<ReadMark>& marks, uint32_t offset, int64_t ms);

} // namespace comm
