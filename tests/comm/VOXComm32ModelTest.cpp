#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

#include "PtyFixture.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Notify.h"
#include "comm/VOXComm32Threads.h"
#include "platform/FakeSerialLine.h"
#include "platform/SerialDevice.h"
#include "platform/Ticks.h"

namespace {

// Offers a made-up port map; with fake set, its port is an in-memory line.
class TestComm : public TVOXComm32 {
public:
    using TVOXComm32::TVOXComm32;
    std::vector<platform::SerialPortEntry> map;
    bool fake = false;
    platform::FakeSerialLine* line = nullptr;
    std::vector<platform::SerialPortEntry> ReadPortMap() const override { return map; }
    std::unique_ptr<platform::SerialLine> CreateSerialLine() override {
        if (!fake)
            return TVOXComm32::CreateSerialLine();
        auto made = std::make_unique<platform::FakeSerialLine>();
        line = made.get();
        return made;
    }
    // The DTR levels set since the last call; every request made before is
    // carried out first (a write queued behind them marks the end).
    std::vector<bool> dtrCalls() {
        const std::string mark = "write " + std::to_string(++marks);
        WriteCommString(QByteArray::fromStdString(mark.substr(6)));
        std::vector<bool> levels;
        WaitUntil([&] {
            const std::vector<std::string> calls = line->calls();
            return std::find(calls.begin(), calls.end(), mark) != calls.end();
        });
        const std::vector<std::string> calls = line->calls();
        for (size_t i = seen; i < calls.size() && calls[i] != mark; ++i)
            if (calls[i].rfind("DTR ", 0) == 0)
                levels.push_back(calls[i] == "DTR on");
        seen = calls.size();
        return levels;
    }
    size_t seen = 0;
    int marks = 0;
};

struct StateLog {
    std::vector<TCommState> states;
    TEventChangeState handler() {
        return [this](QObject*, TCommState s) { states.push_back(s); };
    }
};

TEST(VOXComm32Model, DefaultsOfComponentAndSubObjects) {
    TVOXComm32 c;
    EXPECT_TRUE(c.AutoReconnect());
    EXPECT_EQ(c.CommPort(), "COM1");
    EXPECT_EQ(c.BaudRate(), TBaudRate::__19200);
    EXPECT_EQ(c.Parity(), TParity::None);
    EXPECT_EQ(c.DataBits(), TDataBits::_8);
    EXPECT_EQ(c.StopBits(), TStopBits::_1);
    EXPECT_EQ(c.Grab(), vocgcNone);
    EXPECT_TRUE(c.TreatMainChannelAsNil());
    EXPECT_FALSE(c.IsCommOpen());
    EXPECT_EQ(c.GetConnectionState(), CommStateDisconnected);
    EXPECT_EQ(c.LastState(), CommStateFirst);
    EXPECT_TRUE(c.Signals()->DTR());
    EXPECT_EQ(c.Signals()->DTRControl(), VOxaSignalControl_DTREnable);
    EXPECT_TRUE(c.Signals()->RTS());
    EXPECT_EQ(c.Signals()->RTSControl(), VOxaSignalControl_RTSEnable);
    EXPECT_FALSE(c.Signals()->CTSHandshake());
    EXPECT_EQ(c.Chars()->XOn(), 17);
    EXPECT_EQ(c.Chars()->XOff(), 19);
    EXPECT_EQ(c.Chars()->Evt(), 0);
    EXPECT_EQ(c.Options()->EnhancedName(), TristateTrue);
    EXPECT_TRUE(c.Options()->SkipEvents().Empty());
    EXPECT_EQ(c.Timeouts()->ReadInterval(), 10u);
    EXPECT_EQ(c.Timeouts()->WriteTotalConst(), 0u);
    EXPECT_EQ(c.Timeouts()->ModemPollPeriod(), 10u);
    EXPECT_THROW(c.Timeouts()->GetTimeout(5), std::out_of_range);
    EXPECT_THROW(c.Timeouts()->SetTimeout(-1, 3), std::out_of_range);
}

TEST(VOXComm32Model, BuildDcbTranslatesProperties) {
    TVOXComm32 c;
    c.SetAutoReconnect(false);
    c.SetBaudRate(TBaudRate::_1000000);
    c.SetParity(TParity::Mark);
    c.SetDataBits(TDataBits::_4);
    c.SetStopBits(TStopBits::_2);
    c.Signals()->SetCTSHandshake(true);
    c.Signals()->SetXOnOffReceive(true);
    c.Signals()->SetRTSControl(VOxaSignalControl_RTSToggle);
    c.Chars()->SetEvt('\n');
    platform::SerialDcb dcb;
    c.BuildDCB(dcb);
    EXPECT_EQ(dcb.BaudRate, 1000000u);
    EXPECT_EQ(dcb.Parity, 3);
    EXPECT_EQ(dcb.ByteSize, 8) << "4 data bits go out as 8";
    EXPECT_EQ(dcb.StopBits, 2);
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_TRUE(dcb.fTXContinueOnXoff);
    EXPECT_FALSE(dcb.fParity);
    EXPECT_TRUE(dcb.fOutxCtsFlow);
    EXPECT_FALSE(dcb.fOutX);
    EXPECT_TRUE(dcb.fInX);
    EXPECT_EQ(dcb.fDtrControl, 1);
    EXPECT_EQ(dcb.fRtsControl, 3);
    EXPECT_EQ(dcb.XonLim, 2048);
    EXPECT_EQ(dcb.XoffLim, 512);
    EXPECT_EQ(dcb.EvtChar, '\n');
    EXPECT_EQ(dcb.XonChar, 17);
    // The translation to the line settings also gives 8 data bits.
    platform::TermiosFields f;
    ASSERT_EQ(platform::dcbToTermios(dcb, f), 0);
    platform::SerialDcb back;
    platform::termiosToDcb(f, back);
    EXPECT_EQ(back.ByteSize, 8);
    EXPECT_EQ(back.Parity, 3);
    EXPECT_EQ(back.BaudRate, 1000000u);

    // Each byte size of the enumeration.
    const uint8_t expected[] = {8, 5, 6, 7, 8};
    for (int i = 0; i < 5; ++i) {
        c.SetDataBits(TDataBits(i));
        c.BuildDCB(dcb);
        EXPECT_EQ(dcb.ByteSize, expected[i]) << i;
    }
}

TEST(VOXComm32Model, ApplyDcbStoresWithoutSetters) {
    TVOXComm32 c;
    c.SetAutoReconnect(false);
    platform::SerialDcb dcb;
    c.BuildDCB(dcb);
    dcb.BaudRate = 115200;
    dcb.Parity = 2;
    dcb.ByteSize = 7;
    dcb.StopBits = 2;
    dcb.fDtrControl = 0;
    dcb.fRtsControl = 2;
    dcb.fOutX = true;
    dcb.fOutxCtsFlow = true;
    EXPECT_FALSE(c.ApplyDCB(dcb, true)) << "closed port: UpdateDCB fails";
    EXPECT_EQ(c.BaudRate(), TBaudRate::_115200);
    EXPECT_EQ(c.Parity(), TParity::Even);
    EXPECT_EQ(c.DataBits(), TDataBits::_7);
    EXPECT_EQ(c.StopBits(), TStopBits::_2);
    EXPECT_EQ(c.Signals()->DTRControl(), VOxaSignalControl_DTROff);
    EXPECT_EQ(c.Signals()->RTSControl(), VOxaSignalControl_RTSEnable) << "RTS control kept";
    EXPECT_TRUE(c.Signals()->XOnOffTransmit());
    EXPECT_FALSE(c.Signals()->CTSHandshake()) << "handshake flags are not taken over";
    dcb.BaudRate = 12345; // not in the table: the rate stays
    c.ApplyDCB(dcb, false);
    EXPECT_EQ(c.BaudRate(), TBaudRate::_115200);
    EXPECT_EQ(c.Signals()->RTSControl(), VOxaSignalControl_RTSHandshake);
}

TEST(VOXComm32Model, SubObjectAssignCopiesTheRightMembers) {
    TVOXComm32 a, b;
    b.Signals()->SetDTR(false);
    b.Signals()->SetRTSControl(VOxaSignalControl_RTSHandshake);
    b.Signals()->SetXOnOffTransmit(true);
    a.SetSignals(*b.Signals());
    EXPECT_FALSE(a.Signals()->DTR());
    EXPECT_EQ(a.Signals()->RTSControl(), VOxaSignalControl_RTSHandshake);
    EXPECT_FALSE(a.Signals()->XOnOffTransmit()) << "XOn/XOff flags are not copied";

    b.Timeouts()->SetReadInterval(50);
    b.Timeouts()->SetModemPollPeriod(99);
    a.SetTimeouts(*b.Timeouts());
    EXPECT_EQ(a.Timeouts()->ReadInterval(), 50u);
    EXPECT_EQ(a.ModemPollPeriod(), 10u) << "the poll period belongs to the component";

    b.Options()->SetSkipEvents({voceTXEMPTY, voceRING});
    b.Options()->SetEnhancedName(TristateFalse);
    a.SetOptions(*b.Options());
    EXPECT_EQ(a.Options()->SkipEvents().Mask, (1u << voceTXEMPTY) | (1u << voceRING));
    EXPECT_EQ(a.Options()->EnhancedName(), TristateFalse);
}

TEST(VOXComm32Model, EventMaskAndDriverQuirks) {
    EXPECT_EQ(TReadThread::EventMask("SERIAL0", {voceTXEMPTY}), 0x1FBu);
    EXPECT_EQ(TReadThread::EventMask("SERIAL0", {}), 0x1FFu);
    VOXComm32SkipEvents all(uint16_t(0x1FF));
    EXPECT_EQ(TReadThread::EventMask("SERIAL0", all), 0u);
    EXPECT_EQ(TReadThread::EventMask("SILABSER0", {}), 0x1FFu & ~EV_BREAK);
    EXPECT_EQ(TReadThread::EventMask("CP210X0", {}), 0x1FFu & ~EV_BREAK);
    EXPECT_EQ(TReadThread::EventMask("BTPORT0000", {}), 0x1FFu & ~EV_TXEMPTY);
    EXPECT_EQ(TReadThread::EventMask("RFCOMM0", {}), 0x1FFu & ~EV_TXEMPTY);
    for (const char* d : {"S0016MDM1", "S0016MGMT1", "S0016OBEX1"})
        EXPECT_EQ(TReadThread::EventMask(d, {}), 0x1FFu & ~EV_TXEMPTY) << d;
    EXPECT_EQ(TReadThread::EventMask("silabser0", {}), 0x1FFu) << "prefix tests are exact";
    EXPECT_EQ(TReadThread::EventMask("CDC_ACM0", {voceTXEMPTY}), 0x1FBu);
}

TEST(VOXComm32Model, LookupDriverNameUsesThePortMap) {
    TestComm c;
    c.map = {{"\\Device\\Serial0", "COM2", "serial"},
             {"\\Device\\cdc_acm0", "ttyACM0", "cdc_acm"},
             {"\\Device\\Other", "COM2", "x"}};
    EXPECT_EQ(c.LookupDriverName("\\\\?\\COM2"), "OTHER") << "last entry wins";
    EXPECT_EQ(c.LookupDriverName("ttyACM0"), "CDC_ACM0");
    EXPECT_EQ(c.LookupDriverName("com2"), "?") << "exact comparison";
    EXPECT_EQ(c.LookupDriverName("COM9"), "?");
}

TEST(VOXComm32Model, StateHandlerAssignmentReportsOnceAndNeverFirst) {
    StateLog log; // outlives the component: its destructor still reports
    TVOXComm32 c;
    auto handler = log.handler();
    c.SetOnStateChange(handler);
    c.SetOnStateChange(handler);
    Pump(50);
    ASSERT_EQ(log.states.size(), 1u);
    EXPECT_EQ(log.states[0], CommStateDisconnected);
    EXPECT_EQ(c.LastState(), CommStateDisconnected);

    // The advanced handler gets the component as channel.
    std::vector<QObject*> channels;
    TVOXComm32 d;
    d.SetOnAdvancedStateChange([&](QObject*, QObject* ch, TCommState s) {
        channels.push_back(ch);
        EXPECT_NE(s, CommStateFirst);
    });
    Pump(50);
    ASSERT_EQ(channels.size(), 1u);
    EXPECT_EQ(channels[0], &d);
}

TEST(VOXComm32Model, LoadingOnlyStoresThenLoadedOpens) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    StateLog log;
    TVOXComm32 c;
    c.BeginLoading();
    c.SetOnStateChange(log.handler());
    c.SetCommPort(pty.path());
    c.SetBaudRate(TBaudRate::_115200);
    EXPECT_FALSE(c.IsCommOpen()) << "setters only store while loading";
    c.Loaded();
    EXPECT_TRUE(c.IsCommOpen()) << "AutoReconnect opens after loading";
    ASSERT_TRUE(
        WaitUntil([&] { return !log.states.empty() && log.states.back() == CommStateConnected; }));
    for (TCommState s : log.states)
        EXPECT_NE(s, CommStateFirst);
    c.StopComm();
}

TEST(VOXComm32Model, LineSettersFollowAutoReconnect) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    TVOXComm32 c;
    c.SetAutoReconnect(false);
    c.SetCommPort(pty.path());
    c.SetBaudRate(TBaudRate::__57600);
    EXPECT_FALSE(c.IsCommOpen()) << "closed port, no AutoReconnect: only stored";
    EXPECT_EQ(c.BaudRate(), TBaudRate::__57600);
    c.SetAutoReconnect(true);
    EXPECT_TRUE(c.IsCommOpen()) << "switching AutoReconnect on opens a named port";
    c.StopComm();
    c.SetParity(TParity::Odd);
    EXPECT_TRUE(c.IsCommOpen()) << "with AutoReconnect a change opens the port";
    // The same name on an open port changes nothing.
    c.SetCommPort(pty.path());
    EXPECT_TRUE(c.IsCommOpen());
    c.SetAutoReconnect(false);
    c.StopComm();
}

TEST(VOXComm32Model, DtrIsNeverDroppedOnUsbModemDriver) {
    for (bool usbModem : {true, false}) {
        TestComm c;
        c.fake = true;
        c.SetAutoReconnect(false);
        c.Options()->SetEnhancedName(TristateFalse);
        c.map = {{usbModem ? "\\Device\\cdc_acm0" : "\\Device\\serial0", "fake0", "x"}};
        c.SetCommPort("fake0");
        ASSERT_TRUE(c.StartComm());
        EXPECT_EQ(c.DriverName(), usbModem ? "CDC_ACM0" : "SERIAL0");
        c.dtrCalls(); // those of the open
        c.Signals()->SetDTR(false);
        EXPECT_EQ(c.dtrCalls(), std::vector<bool>{usbModem}) << "usb modem: DTR stays up";
        c.Signals()->SetDTRControl(VOxaSignalControl_DTROff);
        const std::vector<bool> levels = c.dtrCalls();
        EXPECT_FALSE(levels.empty());
        for (bool on : levels)
            EXPECT_EQ(on, usbModem);
        c.StopComm();
        EXPECT_EQ(c.DriverName(), "");
    }
}

TEST(VOXComm32Model, CommEventsRaiseTheirHandlersInOrder) {
    TVOXComm32 c;
    std::vector<std::string> calls;
    c.OnBreak = [&](QObject*) { calls.push_back("break"); };
    c.OnErrorFrame = [&](QObject*) { calls.push_back("frame"); };
    c.OnErrorOverrun = [&](QObject*) { calls.push_back("overrun"); };
    c.OnErrorOther = [&](QObject*, uint32_t e) { calls.push_back("other" + std::to_string(e)); };
    c.OnChangedCTS = [&](QObject*, bool v) { calls.push_back(v ? "cts1" : "cts0"); };
    c.OnRing = [&](QObject*, bool v) { calls.push_back(v ? "ring1" : "ring0"); };
    c.OnRxChar = [&](QObject*) { calls.push_back("rx"); };
    const uint32_t errors = CE_FRAME | CE_OVERRUN | 0x100;
    QCoreApplication::postEvent(c.NotifyWindow(),
                                new TNotifyMessage(PWM_CommEvent, EV_BREAK | EV_ERR | EV_RXCHAR,
                                                   intptr_t((errors << 16) | MS_CTS_ON)));
    // Same status again: no line event; errors without EV_ERR are ignored.
    QCoreApplication::postEvent(
        c.NotifyWindow(),
        new TNotifyMessage(PWM_CommEvent, 0, intptr_t((CE_FRAME << 16) | MS_CTS_ON)));
    QCoreApplication::postEvent(c.NotifyWindow(),
                                new TNotifyMessage(PWM_CommEvent, 0, intptr_t(MS_RING_ON)));
    Pump(50);
    const std::vector<std::string> expected = {"break", "frame", "overrun", "other256",
                                               "cts1",  "rx",    "cts0",    "ring1"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(c.ModemStatus(), MS_RING_ON);
}

TEST(VOXComm32Model, HangupWithoutErrorOnlyRaisesTheEvent) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    TVOXComm32 c;
    c.SetAutoReconnect(false);
    c.SetCommPort(pty.path());
    ASSERT_TRUE(c.StartComm());
    int raised = 0;
    c.OnRequestHangup = [&](QObject* sender) {
        EXPECT_EQ(sender, &c);
        ++raised;
    };
    QCoreApplication::postEvent(c.NotifyWindow(), new TNotifyMessage(PWM_RequestHangup, 0, 0));
    Pump(50);
    EXPECT_EQ(raised, 1);
    EXPECT_TRUE(c.IsCommOpen());
    QCoreApplication::postEvent(c.NotifyWindow(), new TNotifyMessage(PWM_RequestHangup, 5, 0));
    ASSERT_TRUE(WaitUntil([&] { return !c.IsCommOpen(); }));
    EXPECT_EQ(c.GetConnectionState(), CommStateFailed);
    EXPECT_EQ(raised, 1);
}

TEST(VOXComm32Model, WriteChannelDataFollowsTheMainChannelRule) {
    TVOXComm32 c; // closed: a write that passes the rule still fails
    EXPECT_FALSE(c.WriteChannelData(nullptr, "a", 1));
    Pty pty;
    ASSERT_TRUE(pty.ok());
    c.SetAutoReconnect(false);
    c.SetCommPort(pty.path());
    ASSERT_TRUE(c.StartComm());
    EXPECT_TRUE(c.WriteChannelData(nullptr, "a", 1));
    EXPECT_FALSE(c.WriteChannelData(&c, "b", 1));
    c.SetTreatMainChannelAsNil(false);
    EXPECT_TRUE(c.WriteChannelData(&c, "c", 1));
    EXPECT_FALSE(c.WriteChannelData(nullptr, "d", 1));
    std::string got;
    ASSERT_TRUE(WaitUntil([&] {
        got += pty.readNow().toStdString();
        return got.size() >= 2;
    }));
    EXPECT_EQ(got, "ac");
    c.StopComm();
}

} // namespace

namespace {

TEST(VOXComm32Model, ModemPollIsThrottledByItsMeasuredCost) {
    comm::ModemPoll poll(1000);
    EXPECT_EQ(poll.Period(), 10u);
    EXPECT_FALSE(poll.Due(1005)) << "within the poll period";
    EXPECT_FALSE(poll.Due(1010)) << "strictly more than the period";
    EXPECT_TRUE(poll.Due(1011));
    poll.Done(1011, 1031); // a read that took 20 ms
    EXPECT_EQ(poll.LastPoll(), 1031u);
    EXPECT_EQ(poll.Cost(), 10u) << "rises fast: (0 + 20) / 2";
    EXPECT_FALSE(poll.Due(1051)) << "20 ms later: not more than cost + period";
    EXPECT_TRUE(poll.Due(1052));
    poll.Done(1052, 1052);
    EXPECT_EQ(poll.Cost(), 9u) << "falls slowly: (9 * 10 + 0) / 10";

    // A driver that takes seconds per poll switches polling off.
    poll.Done(1152, 1152 + 30000);
    EXPECT_GE(poll.Cost(), 10000u);
    EXPECT_TRUE(poll.Off());
    EXPECT_FALSE(poll.Due(1152 + 30000 + 100000));
    // A new connection measures again, and the counter may wrap meanwhile.
    poll.Restart();
    EXPECT_EQ(poll.Cost(), 0u);
    comm::ModemPoll wrapped(0xFFFFFFF0u);
    EXPECT_FALSE(wrapped.Due(0xFFFFFFF8u));
    EXPECT_TRUE(wrapped.Due(5)) << "21 ms across the wrap";
    wrapped.SwitchOff();
    EXPECT_FALSE(wrapped.Due(1000));
}

} // namespace
