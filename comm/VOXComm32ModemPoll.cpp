#include "comm/VOXComm32ModemPoll.h"

#include "util/Ticks.h"

namespace comm {

bool ModemPoll::Due(uint32_t now) const {
    const uint32_t cost = m_cost.load();
    return cost < kOffCost && TickElapsedAt(m_last.load(), cost + m_period.load(), now);
}

void ModemPoll::Done(uint32_t t0, uint32_t t1) {
    m_last.store(t1);
    const uint32_t d = TickDiff(t1, t0);
    const uint32_t cost = m_cost.load();
    m_cost.store(cost < d ? (cost + d) / 2 : (9 * cost + d) / 10);
}

} // namespace comm
