#include "comm/VOXComm32Flow.h"

#include <algorithm>

#include "comm/VOXComm32Notify.h"

namespace comm {

namespace {
// A block is never larger: the received-data message carries a 16-bit count.
constexpr int kBlockCapacity = 65535;
// A window this far behind gets blocks with room for what comes next; one that
// keeps up gets each chunk as it was read.
constexpr int kJoinAfter = 16 * 1024;
} // namespace

TReceivedDataMessage* ReceiveFlow::Add(const char* data, int count,
                                       const std::vector<ReadMark>& marks, bool& failed) {
    failed = false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_last && m_last->Count() + count <= m_last->Capacity()) {
        m_last->Append(data, uint16_t(count), marks);
        m_unhandled += count;
        return nullptr;
    }
    const uint16_t capacity =
        m_unhandled >= kJoinAfter ? uint16_t(kBlockCapacity) : uint16_t(count);
    TReceivedDataMessage* block =
        TReceivedDataMessage::Create(data, uint16_t(count), capacity, marks);
    if (!block) {
        failed = true;
        return nullptr;
    }
    m_last = block;
    m_unhandled += count;
    if (m_unhandled >= m_max)
        m_held = true;
    return block;
}

bool ReceiveFlow::Hold(bool& changed) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unhandled >= m_max)
        m_held = true;
    else if (m_unhandled <= m_max / 2)
        m_held = false;
    changed = m_held != m_reported;
    m_reported = m_held;
    return m_held;
}

uint16_t ReceiveFlow::Take(TReceivedDataMessage* block) {
    bool wake = false;
    uint16_t count = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (block == m_last)
            m_last = nullptr;
        count = block->Count();
        m_unhandled = std::max(0, m_unhandled - count);
        wake = m_held && m_unhandled <= m_max / 2;
    }
    if (wake)
        m_wake.post();
    return count;
}

int ReceiveFlow::Unhandled() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unhandled;
}

bool ReceiveFlow::OverBound() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_held;
}

} // namespace comm
