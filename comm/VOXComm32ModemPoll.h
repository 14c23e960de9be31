#pragma once
// When the read worker reads the modem status for the component (the modem
// poll), by the poll's own measured cost: a poll comes at most once in
// cost + period milliseconds after the last one ended; the cost estimate rises
// fast and falls slowly, and polling stays off for the rest of the connection
// once it reaches 10000 ms or the driver turns out to have no modem lines.
// Ticks are the 32-bit millisecond counter (wrap-safe). The worker polls and
// the component shows the figures, so every member may be used from any thread.
#include <atomic>
#include <cstdint>

namespace comm {

class ModemPoll {
public:
    static constexpr uint32_t kOffCost = 10000;

    explicit ModemPoll(uint32_t now) : m_last(now) {}

    // A new connection measures anew.
    void Restart() { m_cost.store(0); }
    uint32_t Period() const { return m_period.load(); }
    void SetPeriod(uint32_t ms) { m_period.store(ms); }

    // Whether a poll is due at tick now.
    bool Due(uint32_t now) const;
    // A poll ran from tick t0 to tick t1.
    void Done(uint32_t t0, uint32_t t1);
    // No more polls on this connection (no modem lines, or the port failed).
    void SwitchOff() { m_cost.store(kOffCost); }
    bool Off() const { return m_cost.load() >= kOffCost; }

    uint32_t LastPoll() const { return m_last.load(); }
    uint32_t Cost() const { return m_cost.load(); }

private:
    std::atomic<uint32_t> m_last;
    std::atomic<uint32_t> m_cost{0};
    std::atomic<uint32_t> m_period{10};
};

} // namespace comm
