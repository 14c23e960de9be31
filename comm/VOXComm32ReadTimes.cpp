#include "comm/VOXComm32ReadTimes.h"

#include <algorithm>

namespace comm {

int64_t ReadTimes::At(size_t offset) const {
    if (m_count == 0)
        return Unknown;
    const ReadMark* after = std::upper_bound(
        begin(), end(), offset, [](size_t at, const ReadMark& mark) { return at < mark.offset; });
    return after == begin() ? m_marks[0].ms : (after - 1)->ms;
}

void AddReadMark(std::vector<ReadMark>& marks, uint32_t offset, int64_t ms) {
    if (marks.empty() || marks.back().ms != ms)
        marks.push_back(ReadMark{offset, ms});
}

} // namespace comm
