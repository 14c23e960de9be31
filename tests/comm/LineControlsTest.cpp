#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "PtyFixture.h"
#include "TracingComm.h"
#include "comm/VOXComm32Blocks.h"
#include "platform/FakeSerialLine.h"

namespace {

using platform::FakeSerialLine;

// A component whose port is a fake line the test plays the device on.
class FakeLineComm : public TracingComm {
public:
    using TracingComm::TracingComm;
    FakeSerialLine::Behaviour behaviour;
    FakeSerialLine* line = nullptr; // the line of the open port
    std::vector<platform::SerialPortEntry> map;

    std::unique_ptr<platform::SerialLine> CreateSerialLine() override {
        auto fake = std::make_unique<FakeSerialLine>(behaviour);
        line = fake.get();
        return fake;
    }
    std::vector<platform::SerialPortEntry> ReadPortMap() const override { return map; }
    int TraceCount(const QString& text) {
        std::lock_guard<std::mutex> lock(mutex);
        return int(std::count(texts.begin(), texts.end(), text));
    }
};

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
    EXPECT_TRUE(comm.Traced("RTS toggle: the write worker raises RTS while sending"));
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
    EXPECT_TRUE(comm.Traced("RTS toggle: the driver's RS-485 mode raises RTS while sending"));
    ASSERT_TRUE(comm.WriteCommString("abc"));
    ASSERT_TRUE(written("abc"));
    EXPECT_EQ(sendingCalls(), (std::vector<std::string>{"RS-485 on", "write abc"}));
    // Back to a plain RTS line on the open port: the mode is switched off.
    comm.Signals()->SetRTSControl(VOxaSignalControl_RTSEnable);
    EXPECT_EQ(sendingCalls(), (std::vector<std::string>{"RS-485 on", "write abc", "RS-485 off",
                                                        "RTS on", "RTS on"}));
}

TEST_F(LineControls, DsrOffHoldsWritesInOrderAndATimedOutWriteIsReported) {
    comm.Signals()->SetDSRHandshake(true);
    comm.Timeouts()->SetWriteTotalConst(20);
    ASSERT_TRUE(comm.StartComm());
    EXPECT_TRUE(comm.Traced("DSR handshake: output waits while DSR is off"));
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
    EXPECT_TRUE(comm.Traced("DTR handshake: DTR drops while the receive side is over its bound"));
    EXPECT_TRUE(comm.line->dtr());

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
    EXPECT_TRUE(comm.Traced("DTR handshake unavailable: DTR is never dropped on this driver"));
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
    EXPECT_TRUE(comm.Traced("RTS toggle unavailable: the device has no modem lines"));
    EXPECT_TRUE(comm.Traced("DSR handshake unavailable: the device has no modem lines"));
    EXPECT_TRUE(comm.Traced("DTR handshake unavailable: the device has no modem lines"));
    ASSERT_TRUE(comm.WriteCommString("free"));
    EXPECT_TRUE(written("free"));
    EXPECT_EQ(sendingCalls(), std::vector<std::string>{"write free"});
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
    EXPECT_TRUE(comm.Traced("RTS toggle unavailable: the device has no modem lines"));
    EXPECT_TRUE(comm.Traced("DSR handshake unavailable: the device has no modem lines"));
    EXPECT_TRUE(comm.Traced("DTR handshake unavailable: the device has no modem lines"));
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
