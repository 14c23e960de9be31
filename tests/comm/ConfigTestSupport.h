#pragma once
// Helpers shared by the configuration-string, port-list and port-dialog tests.
#include <QString>
#include <array>
#include <ostream>

#include "comm/VOXComm32.h"
#include "tests/support/Pty.h"

namespace configtest {

// Every property the configuration string or the port dialog can touch.
struct Snapshot {
    QString port;
    TBaudRate baud;
    TDataBits dataBits;
    TStopBits stopBits;
    TParity parity;
    VOxaSignalControl_DTR dtrControl;
    bool dtr;
    VOxaSignalControl_RTS rtsControl;
    bool rts;
    bool cts, dsr, xOnOffTransmit, xOnOffReceive;
    std::array<uint32_t, 5> timeouts;
    uint32_t pollPeriod;
    uint16_t skipEvents;
    bool autoReconnect;
    bool open;

    bool operator==(const Snapshot&) const = default;
};

inline Snapshot snapshot(const TVOXComm32& c) {
    const VOXComm32Signals& s = *c.Signals();
    Snapshot r{c.CommPort(),
               c.BaudRate(),
               c.DataBits(),
               c.StopBits(),
               c.Parity(),
               s.DTRControl(),
               s.DTR(),
               s.RTSControl(),
               s.RTS(),
               s.CTSHandshake(),
               s.DSRHandshake(),
               s.XOnOffTransmit(),
               s.XOnOffReceive(),
               {},
               c.Timeouts()->ModemPollPeriod(),
               c.Options()->SkipEvents().Mask,
               c.AutoReconnect(),
               c.IsCommOpen()};
    for (int i = 0; i < 5; ++i)
        r.timeouts[size_t(i)] = c.Timeouts()->GetTimeout(i);
    return r;
}

inline std::ostream& operator<<(std::ostream& os, const Snapshot& s) {
    os << "{port=" << s.port.toStdString() << " baud=" << int(s.baud) << " data=" << int(s.dataBits)
       << " stop=" << int(s.stopBits) << " parity=" << int(s.parity) << " dtr=" << int(s.dtrControl)
       << "/" << s.dtr << " rts=" << int(s.rtsControl) << "/" << s.rts << " cts=" << s.cts
       << " dsr=" << s.dsr << " timeouts=";
    for (uint32_t t : s.timeouts)
        os << t << ",";
    return os << " poll=" << s.pollPeriod << " skip=" << s.skipEvents << " auto=" << s.autoReconnect
              << " open=" << s.open << "}";
}

// The main window's component: AutoReconnect off, 115200 Bd, otherwise the defaults.
inline void makeMainWindowComponent(TVOXComm32& c) {
    c.SetAutoReconnect(false);
    c.SetBaudRate(TBaudRate::_115200);
}

// A pseudo-terminal whose slave stands in for a serial port; only the
// component opens the slave.
using Pty = testsupport::Pty;

} // namespace configtest
