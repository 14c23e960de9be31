#pragma once
// Received data on its way from the read worker to the user-interface thread.
// At most MaxUnhandled bytes are posted and not yet taken by the window
// (plus the one chunk being read): while the window is more than a few chunks
// behind, new data joins the last block it has not started on (fewer, larger
// events of up to 65535 bytes, each applied in one pass; a window that keeps
// up gets every chunk as it was read), and at the bound the worker stops reading,
// so the data waits in the kernel and in the line's flow control. Reading
// resumes once the window has taken the blocks down to half the bound.
//
// "Over its bound" and "caught up" are the receive side's flow-control signal:
// the worker learns each change from Hold() and acts on it in one place.
#include <cstdint>
#include <mutex>
#include <vector>

#include "comm/VOXComm32ReadTimes.h"
#include "platform/SerialLine.h"

class TReceivedDataMessage;

namespace comm {

class ReceiveFlow {
public:
    static constexpr int kDefaultMaxUnhandled = 256 * 1024;

    explicit ReceiveFlow(int maxUnhandled = kDefaultMaxUnhandled) : m_max(maxUnhandled) {}
    ReceiveFlow(const ReceiveFlow&) = delete;
    ReceiveFlow& operator=(const ReceiveFlow&) = delete;

    // ---- read worker ----
    // The block to post for count bytes read at the marked times, or null
    // when they joined the last block the window has not started on (or
    // memory ran out: error set).
    TReceivedDataMessage* Add(const char* data, int count, const std::vector<ReadMark>& marks,
                              bool& failed);
    // Whether reading must pause: from reaching the bound until the window has
    // caught up to half of it. changed tells when this differs from the last call.
    bool Hold(bool& changed);
    // Signalled when the window has caught up while reading pauses.
    const platform::WakeSignal& Wake() const { return m_wake; }
    void DrainWake() { m_wake.drain(); }

    // ---- user-interface thread ----
    // The window starts on a block: nothing joins it any more. Returns its
    // byte count.
    uint16_t Take(TReceivedDataMessage* block);

    // ---- any thread ----
    int Unhandled() const;  // bytes posted and not yet taken
    bool OverBound() const; // reading pauses
    int MaxUnhandled() const { return m_max; }

private:
    const int m_max;
    mutable std::mutex m_mutex;
    TReceivedDataMessage* m_last = nullptr; // posted, not yet taken
    int m_unhandled = 0;
    bool m_held = false;
    bool m_reported = false; // m_held as Hold() last told it
    platform::WakeSignal m_wake;
};

} // namespace comm
