#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FakeLineComm.h"
#include "PtyFixture.h"
#include "TracingComm.h"
#include "comm/VOXComm32Blocks.h"
#include "platform/FakeSerialLine.h"

namespace {

using platform::FakeSerialLine;

// The line controls are chosen by the write worker: wait for its trace.
bool traced(TracingComm& comm, const char* text) {
    return WaitUntil([&] { return comm.Traced(QString::fromUtf8(text)); });
}

struct LineControls : ::testing::Test {
    FakeLineComm comm;
    void SetUp() override {
        comm.SetAutoReconnect(false);
        comm.SetCommPort("fake0");
    }
    void TearDown() override { comm.StopComm(); }
    // The calls that move RTS, switch the RS-485 mode, write or drain.
    std::vector<std::string> sendingCalls() const {
        std::vector<std::string> out;
        for (const std::string& call : comm.line->calls())
            if (call.rfind("DTR", 0) != 0)
                out.push_back(call);
        return out;
    }
    bool written(const std::string& bytes) {
        return WaitUntil([&] { return comm.line->written() == bytes; });
    }
};

TEST_F(LineControls, RtsToggleRaisesRtsBeforeEachBlockAndDropsItAfterTheDrain) {
    comm.Signals()->SetRTSControl(VOxaSignalControl_RTSToggle);
    ASSERT_TRUE(comm.StartComm());
    EXPECT_TRUE(traced(comm, "RTS toggle: the write worker raises RTS while sending"));
    ASSERT_TRUE(comm.WriteCommString("abc"));
    ASSERT_TRUE(comm.WriteCommString("de"));
    ASSERT_TRUE(written("abcde"));
    ASSERT_TRUE(WaitUntil([&] { return sendingCalls().size() >= 9; }));
    EXPECT_EQ(sendingCalls(),
              (std::vector<std::string>{"RTS off", "RTS on", "write abc", "drain", "RTS off",
                                        "RTS on", "write de", "drain", "RTS off"}))
        << "RTS rests off; the RTS property does not raise it";
    comm.Signals()->SetRTS(true);
    EXPECT_FALSE(comm.line->rts());
}

TEST_F(LineControls, RtsToggleUsesTheDriversRs485ModeWhereItHasOne) {
    comm.behaviour.rtsOnSend = true;
    comm.Signals()->SetRTSControl(VOxaSignalControl_RTSToggle);
    ASSERT_TRUE(comm.StartComm());
    EXPECT_TRUE(traced(comm, "RTS toggle: the driver's RS-485 mode raises RTS while sending"));
    ASSERT_TRUE(comm.WriteCommString("abc"));
    ASSERT_TRUE(written("abc"));
    EXPECT_EQ(sendingCalls(), (std::vector<std::string>{"RS-485 on", "write abc"}));
    // Back to a plain RTS line on the open port: the mode is switched off.
    comm.Signals()->SetRTSControl(VOxaSignalControl_RTSEnable);
    const std::vector<std::string> expected = {"RS-485 on", "write abc", "RS-485 off", "RTS on",
                                               "RTS on"};
    EXPECT_TRUE(WaitUntil([&] { return sendingCalls() == expected; }));
    EXPECT_EQ(sendingCalls(), expected);
}

TEST_F(LineControls, DsrOffHoldsWritesInOrderAndATimedOutWriteIsReported) {
    comm.Signals()->SetDSRHandshake(true);
    comm.Timeouts()->SetWriteTotalConst(20);
    ASSERT_TRUE(comm.StartComm());
    EXPECT_TRUE(traced(comm, "DSR handshake: output waits while DSR is off"));
    ASSERT_TRUE(comm.WriteCommString("one"));
    ASSERT_TRUE(comm.WriteCommString("two"));
    const QString timedOut = QStringLiteral("Write timed out, writing the rest again");
    ASSERT_TRUE(WaitUntil([&] { return comm.Traced(timedOut); }));
    EXPECT_EQ(comm.line->written(), "") << "held past its time-out, nothing went out";
    comm.line->setLine(platform::kModemDsrOn, true);
    ASSERT_TRUE(written("onetwo"));

    // DSR drops between two writes: the next one waits again.
    comm.line->setLine(platform::kModemDsrOn, false);
    const int before = comm.TraceCount(timedOut);
    ASSERT_TRUE(comm.WriteCommString("three"));
    ASSERT_TRUE(WaitUntil([&] { return comm.TraceCount(timedOut) > before; }));
    EXPECT_EQ(comm.line->written(), "onetwo");
    comm.line->setLine(platform::kModemDsrOn, true);
    EXPECT_TRUE(written("onetwothree"));
    EXPECT_TRUE(comm.IsCommOpen()) << "a held write is no failure of the port";
}

TEST_F(LineControls, StopEndsAWriteHeldWithoutTimeout) {
    comm.Signals()->SetDSRHandshake(true);
    ASSERT_TRUE(comm.StartComm());
    ASSERT_TRUE(comm.WriteCommString("held"));
    ASSERT_TRUE(WaitUntil([&] { return comm.Traced("Writing to comm port"); }));
    comm.StopComm();
    EXPECT_FALSE(comm.IsCommOpen());
    EXPECT_EQ(comm::LiveBlocks(), 0);
}

TEST_F(LineControls, DtrHandshakeDropsDtrWhileTheReceiveSideIsOverItsBound) {
    comm.Signals()->SetDTRControl(VOxaSignalControl_DTRHandshake);
    comm.SetMaxReceiveUnhandled(16 * 1024);
    std::string received;
    comm.SetOnReceiveData(
        [&](QObject*, const char* data, uint16_t count) { received.append(data, count); });
    ASSERT_TRUE(comm.StartComm());
    EXPECT_TRUE(traced(comm, "DTR handshake: DTR drops while the receive side is over its bound"));
    EXPECT_TRUE(WaitUntil([&] { return comm.line->dtr(); }));

    std::string data;
    for (int i = 0; i < 64 * 1024; ++i)
        data += char('a' + i % 23);
    comm.line->deviceSends(data);
    // The window handles nothing: the worker stops at its bound and drops DTR.
    ASSERT_TRUE(WaitStalled([&] { return !comm.line->dtr(); }));
    EXPECT_TRUE(comm.ReceiveOverBound());
    EXPECT_GT(comm.line->unread(), 0u) << "the rest waits on the line";

    // The window catches up: DTR returns and every byte arrives in order.
    ASSERT_TRUE(WaitUntil([&] { return received.size() >= data.size() && comm.line->dtr(); }));
    EXPECT_TRUE(received == data);
    const std::vector<std::string> calls = comm.line->calls();
    const auto off = std::find(calls.begin(), calls.end(), "DTR off");
    ASSERT_NE(off, calls.end());
    EXPECT_NE(std::find(off, calls.end(), "DTR on"), calls.end()) << "raised again after the drop";
    EXPECT_EQ(calls.back(), "DTR on");
}

TEST_F(LineControls, DtrHandshakeLeavesDtrUpOnAUsbModemDriver) {
    comm.map = {{"\\Device\\cdc_acm0", "fake0", "cdc_acm"}};
    comm.Signals()->SetDTRControl(VOxaSignalControl_DTRHandshake);
    comm.SetMaxReceiveUnhandled(4096);
    ASSERT_TRUE(comm.StartComm());
    EXPECT_EQ(comm.DriverName(), "CDC_ACM0");
    EXPECT_TRUE(traced(comm, "DTR handshake unavailable: DTR is never dropped on this driver"));
    comm.line->deviceSends(std::string(16 * 1024, 'u'));
    // The bound is traced once the line controls have followed it.
    ASSERT_TRUE(
        WaitStalled([&] { return comm.Traced("Receive side over its bound: reading pauses"); }));
    EXPECT_TRUE(comm.line->dtr());
    const std::vector<std::string> calls = comm.line->calls();
    EXPECT_EQ(std::find(calls.begin(), calls.end(), "DTR off"), calls.end());
}

TEST_F(LineControls, LinelessDeviceOpensWithEveryControlAndTracesThemUnavailable) {
    comm.behaviour.modemLines = false;
    comm.Signals()->SetRTSControl(VOxaSignalControl_RTSToggle);
    comm.Signals()->SetDSRHandshake(true);
    comm.Signals()->SetDTRControl(VOxaSignalControl_DTRHandshake);
    ASSERT_TRUE(comm.StartComm());
    EXPECT_TRUE(traced(comm, "RTS toggle unavailable: the device has no modem lines"));
    EXPECT_TRUE(traced(comm, "DSR handshake unavailable: the device has no modem lines"));
    EXPECT_TRUE(traced(comm, "DTR handshake unavailable: the device has no modem lines"));
    ASSERT_TRUE(comm.WriteCommString("free"));
    EXPECT_TRUE(written("free"));
    EXPECT_EQ(sendingCalls(), std::vector<std::string>{"write free"});
}

TEST_F(LineControls, NoModemCallRunsOnTheWindowsThreadAndAHangingOneHoldsOnlyItsWorker) {
    // A USB adapter being pulled answers modem requests only after the
    // driver's time-out: the window must go on meanwhile.
    const std::thread::id window = std::this_thread::get_id();
    comm.Signals()->SetDSRHandshake(true); // chosen by reading DSR
    ASSERT_TRUE(comm.StartComm());
    ASSERT_TRUE(WaitUntil([&] { return comm.line->dtr() && comm.line->rts(); }));
    comm.line->holdModemCalls(true, 20000);
    comm.Signals()->SetDTR(false);
    comm.Signals()->SetRTS(false);
    comm.SetBaudRate(TBaudRate::__38400);
    ASSERT_TRUE(WaitUntil([&] { return comm.line->heldModemCalls() >= 2; }))
        << "the write worker (lines) and the read worker (status) both wait";
    // The window still answers: a state notification goes through.
    int states = 0;
    comm.SetOnStateChange([&](QObject*, TCommState) { ++states; });
    EXPECT_TRUE(WaitUntil([&] { return states > 0; }));
    comm.line->holdModemCalls(false);
    EXPECT_TRUE(WaitUntil([&] { return !comm.line->dtr() && !comm.line->rts(); }))
        << "carried out once the device answers";
    platform::SerialDcb applied;
    EXPECT_TRUE(WaitUntil([&] {
        return comm.line->readDcb(applied) == 0 && applied.BaudRate == 38400;
    })) << "the new rate is written once the device answers: "
        << applied.BaudRate;
    EXPECT_TRUE(comm.IsCommOpen());
    EXPECT_EQ(comm.line->modemCallsOn(window), 0);
    comm.SetOnStateChange(nullptr);
}

TEST_F(LineControls, ModemPollReportsChangesAndAStatusThatCannotBeReadClosesThePort) {
    // Without comm events only the modem poll reads the lines.
    VOXComm32SkipEvents all;
    for (int e = 0; e < kSkipEventCount; ++e)
        all.Include(VOXComm32SkipEvent(e));
    comm.Options()->SetSkipEvents(all);
    std::vector<bool> cts;
    comm.OnChangedCTS = [&](QObject*, bool on) { cts.push_back(on); };
    std::vector<TCommState> states;
    comm.SetOnStateChange([&](QObject*, TCommState s) { states.push_back(s); });
    ASSERT_TRUE(comm.StartComm());
    comm.line->setLine(platform::kModemCtsOn, true);
    ASSERT_TRUE(WaitUntil([&] { return !cts.empty(); }));
    comm.line->setLine(platform::kModemCtsOn, false);
    ASSERT_TRUE(WaitUntil([&] { return cts.size() == 2; }));
    EXPECT_EQ(cts, (std::vector<bool>{true, false}));
    EXPECT_EQ(comm.ModemStatus(), 0u);
    EXPECT_LT(comm.ModemPollCost(), 10000u);

    comm.line->failModemCalls(EIO);
    ASSERT_TRUE(WaitUntil([&] { return !states.empty() && states.back() == CommStateFailed; }));
    EXPECT_FALSE(comm.IsCommOpen());
    EXPECT_FALSE(comm.Traced("ReadThread.PostHangupCall because failed HandleReadEvent"))
        << "the data side never failed";
    comm.SetOnStateChange(nullptr);
    comm.OnChangedCTS = nullptr;
}

} // namespace

namespace {

// The same choices on a real pseudo-terminal, whose modem calls all fail.
TEST(LineControlsOnPty, OpenSucceedsWithEveryControlChosen) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    TracingComm comm;
    comm.SetAutoReconnect(false);
    comm.SetCommPort(pty.path());
    comm.Signals()->SetRTSControl(VOxaSignalControl_RTSToggle);
    comm.Signals()->SetDTRControl(VOxaSignalControl_DTRHandshake);
    comm.Signals()->SetDSRHandshake(true);
    comm.Signals()->SetCTSHandshake(true);
    std::string received;
    comm.SetOnReceiveData(
        [&](QObject*, const char* data, uint16_t count) { received.append(data, count); });
    ASSERT_TRUE(comm.StartComm());
    EXPECT_TRUE(traced(comm, "RTS toggle unavailable: the device has no modem lines"));
    EXPECT_TRUE(traced(comm, "DSR handshake unavailable: the device has no modem lines"));
    EXPECT_TRUE(traced(comm, "DTR handshake unavailable: the device has no modem lines"));
    ASSERT_TRUE(comm.WriteCommString("ping"));
    std::string got;
    EXPECT_TRUE(WaitUntil([&] {
        got += pty.readNow().toStdString();
        return got == "ping";
    }));
    pty.writeAll("pong");
    EXPECT_TRUE(WaitUntil([&] { return received == "pong"; }));
    EXPECT_TRUE(comm.IsCommOpen());
    comm.StopComm();
}

} // namespace
