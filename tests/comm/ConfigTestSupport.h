#pragma once
// Helpers shared by the configuration-string, port-list and port-dialog tests.
#include <QCoreApplication>
#include <QString>
#include <array>
#include <cstdio>
#include <fcntl.h>
#include <ostream>
#include <pty.h>
#include <unistd.h>

#include "comm/VOXComm32.h"

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

// A pseudo-terminal whose slave stands in for a serial port.
class Pty {
public:
    Pty() {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) == 0) {
            ::close(slave);
            m_path = QString::fromLocal8Bit(name);
        }
    }
    ~Pty() {
        if (m_master >= 0)
            ::close(m_master);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return m_master >= 0; }
    const QString& path() const { return m_path; }

private:
    int m_master = -1;
    QString m_path;
};

} // namespace configtest
