#pragma once
// The line controls a Linux tty has no driver flag for, which the component
// provides itself: RTS raised only while sending (RTS control Toggle), output
// held while DSR is off (DSR handshake), and DTR dropped while the receive side
// is over its bound (DTR control Handshake).
//
// How each control is provided is chosen when the port's settings are
// applied: once per open, the first time the control is wanted, and traced. A
// line without modem lines (a pseudo-terminal) gets the controls that need
// them traced as unavailable; the open never fails for them. The workers then
// ask what was chosen while they run.
//
// Everything that moves or asks the modem lines can wait for the device (a
// USB adapter answers such requests over the bus, and one that is being
// pulled only after the driver's time-out), so none of it runs on the
// user-interface thread: the component sends a LineRequest to the write
// worker, which carries it out in order among the blocks it writes (and the
// settings blocks, which go there for the same reason).
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

#include "platform/SerialLine.h"

namespace comm {

class LineControls {
public:
    // What the port's settings ask for.
    struct Wanted {
        bool rtsToggle = false;
        bool dsrHandshake = false;
        bool dtrHandshake = false;
        bool dtrNeverDropped = false; // a driver on which DTR must stay up
        uint32_t pollMs = 10;         // how often a held write looks at DSR
    };
    using Trace = std::function<void(const QString&)>;

    explicit LineControls(platform::SerialLine& line) : m_line(line) {}
    LineControls(const LineControls&) = delete;
    LineControls& operator=(const LineControls&) = delete;

    // ---- write worker ----
    void Choose(const Wanted& wanted, const Trace& trace);
    // The port closes: a mode switched on for it is switched off again.
    void Release();

    // The worker raises RTS before each block and drops it once the block has
    // left the wire (the driver has no RS-485 mode that would do it).
    bool WorkerTogglesRts() const { return m_rtsToggle.load() == Provided::ByWorker; }
    // The hold a write waits under (DSR handshake), or none.
    platform::OutputHold Hold() const;

    // ---- read worker ----
    // The receive side went over its bound or caught up: under the DTR
    // handshake, DTR drops or rises with it.
    void ReceiveOverBound(bool over);

private:
    enum class Provided { No, ByDriver, ByWorker, Unavailable };
    void ChooseRtsToggle(bool wanted, const Trace& trace);
    void ChooseDsrHandshake(bool wanted, const Trace& trace);
    void ChooseDtrHandshake(const Wanted& wanted, const Trace& trace);

    platform::SerialLine& m_line;
    std::atomic<Provided> m_rtsToggle{Provided::No};
    std::atomic<Provided> m_dsrHandshake{Provided::No};
    std::atomic<uint32_t> m_pollMs{10};
    // The DTR handshake's state and the line it drives change together.
    std::mutex m_dtrMutex;
    Provided m_dtrHandshake = Provided::No;
    bool m_receiveOver = false;
};

// What the component asks of the lines of its open port.
struct LineRequest {
    // Choose how the line controls are provided for these settings.
    bool choose = false;
    LineControls::Wanted wanted;
    // Levels to set: -1 leaves the line, 0 drops it, 1 raises it.
    int dtr = -1;
    int rts = -1;
};

// Carries a request out on the line (controls null: levels only).
void ApplyLineRequest(const LineRequest& request, platform::SerialLine& line,
                      LineControls* controls, const LineControls::Trace& trace);

} // namespace comm
