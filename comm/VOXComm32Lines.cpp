#include "comm/VOXComm32Lines.h"

#include <algorithm>

namespace comm {

void LineControls::Choose(const Wanted& wanted, const Trace& trace) {
    m_pollMs.store(std::clamp<uint32_t>(wanted.pollMs, 1, 1000));
    ChooseRtsToggle(wanted.rtsToggle, trace);
    ChooseDsrHandshake(wanted.dsrHandshake, trace);
    ChooseDtrHandshake(wanted, trace);
}

void LineControls::ChooseRtsToggle(bool wanted, const Trace& trace) {
    const Provided chosen = m_rtsToggle.load();
    if (!wanted) {
        if (chosen == Provided::ByDriver)
            m_line.setRtsOnSend(false);
        m_rtsToggle.store(Provided::No);
        return;
    }
    if (chosen != Provided::No)
        return;
    // The kernel's RS-485 mode switches RTS at the moment the last bit has
    // left; the worker can only come close to it, so the driver is asked first.
    if (m_line.setRtsOnSend(true) == 0) {
        m_rtsToggle.store(Provided::ByDriver);
        trace(QStringLiteral("RTS toggle: the driver's RS-485 mode raises RTS while sending"));
    } else if (m_line.setRts(false) == 0) {
        m_rtsToggle.store(Provided::ByWorker);
        trace(QStringLiteral("RTS toggle: the write worker raises RTS while sending"));
    } else {
        m_rtsToggle.store(Provided::Unavailable);
        trace(QStringLiteral("RTS toggle unavailable: the device has no modem lines"));
    }
}

void LineControls::ChooseDsrHandshake(bool wanted, const Trace& trace) {
    if (!wanted) {
        m_dsrHandshake.store(Provided::No);
        return;
    }
    if (m_dsrHandshake.load() != Provided::No)
        return;
    uint32_t status = 0;
    if (m_line.modemStatus(status) == 0) {
        m_dsrHandshake.store(Provided::ByWorker);
        trace(QStringLiteral("DSR handshake: output waits while DSR is off"));
    } else {
        m_dsrHandshake.store(Provided::Unavailable);
        trace(QStringLiteral("DSR handshake unavailable: the device has no modem lines"));
    }
}

void LineControls::ChooseDtrHandshake(const Wanted& wanted, const Trace& trace) {
    std::lock_guard<std::mutex> lock(m_dtrMutex);
    if (!wanted.dtrHandshake) {
        m_dtrHandshake = Provided::No;
        return;
    }
    if (m_dtrHandshake != Provided::No)
        return;
    if (wanted.dtrNeverDropped) {
        // The handshake would leave the line to the receive side; on this
        // driver it is held up instead.
        m_line.setDtr(true);
        m_dtrHandshake = Provided::Unavailable;
        trace(QStringLiteral("DTR handshake unavailable: DTR is never dropped on this driver"));
    } else if (m_line.setDtr(!m_receiveOver) == 0) {
        m_dtrHandshake = Provided::ByWorker;
        trace(QStringLiteral("DTR handshake: DTR drops while the receive side is over its bound"));
    } else {
        m_dtrHandshake = Provided::Unavailable;
        trace(QStringLiteral("DTR handshake unavailable: the device has no modem lines"));
    }
}

void LineControls::Release() {
    if (m_rtsToggle.load() == Provided::ByDriver)
        m_line.setRtsOnSend(false);
    m_rtsToggle.store(Provided::No);
}

void ApplyLineRequest(const LineRequest& request, platform::SerialLine& line,
                      LineControls* controls, const LineControls::Trace& trace) {
    if (request.choose && controls)
        controls->Choose(request.wanted, trace);
    // A driver without modem lines refuses these; nothing depends on them.
    if (request.dtr >= 0)
        (void)line.setDtr(request.dtr != 0);
    if (request.rts >= 0)
        (void)line.setRts(request.rts != 0);
}

platform::OutputHold LineControls::Hold() const {
    if (m_dsrHandshake.load() != Provided::ByWorker)
        return {};
    return platform::OutputHold{platform::kModemDsrOn, int(m_pollMs.load())};
}

void LineControls::ReceiveOverBound(bool over) {
    std::lock_guard<std::mutex> lock(m_dtrMutex);
    m_receiveOver = over;
    if (m_dtrHandshake == Provided::ByWorker)
        m_line.setDtr(!over);
}

} // namespace comm
