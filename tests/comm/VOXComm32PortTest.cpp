#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <future>
#include <mutex>
#include <sys/resource.h>
#include <vector>

#include "FakeLineComm.h"
#include "PtyFixture.h"
#include "PtySpeed.h"
#include "TracingComm.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Blocks.h"
#include "comm/VOXComm32Threads.h"
#include "platform/Ticks.h"

namespace {

// One component on one pseudo-terminal, recording what it reports.
struct PortTest : ::testing::Test {
    std::vector<TCommState> states;
    std::vector<std::string> blocks;
    bool zeroTerminated = true;
    Pty pty;
    TracingComm comm;

    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        comm.SetAutoReconnect(false);
        comm.SetCommPort(pty.path());
        comm.SetOnStateChange([this](QObject*, TCommState s) { states.push_back(s); });
        comm.SetOnReceiveData([this](QObject* sender, const char* data, uint16_t count) {
            EXPECT_EQ(sender, &comm);
            zeroTerminated = zeroTerminated && data[count] == 0;
            blocks.emplace_back(data, count);
        });
        Pump(20); // the initial "disconnected"
        states.clear();
    }
    void TearDown() override {
        comm.StopComm();
        Pump(10);
        EXPECT_EQ(comm::LiveBlocks(), 0) << "every block freed";
    }
    std::string received() const {
        std::string all;
        for (const std::string& b : blocks)
            all += b;
        return all;
    }
    std::string readMaster(size_t size, int ms = 5000) {
        std::string got;
        WaitUntil(
            [&] {
                got += pty.readNow().toStdString();
                return got.size() >= size;
            },
            ms);
        return got;
    }
};

std::string pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = char('A' + (i * 7 + i / 26) % 26);
    return s;
}

TEST_F(PortTest, OpenFailuresReportFailedOnce) {
    comm.SetCommPort("/nonexistent/ttyX");
    EXPECT_FALSE(comm.StartComm());
    EXPECT_EQ(comm.LastError(), ENOENT);
    EXPECT_EQ(comm.GetConnectionState(), CommStateFailed);
    EXPECT_FALSE(comm.StartComm());
    Pump(50);
    ASSERT_EQ(states.size(), 1u) << "a second failure delivers nothing";
    EXPECT_EQ(states[0], CommStateFailed);
    // (Changing the name of a closed port stops it, which reports
    // "disconnected"; only the open results are checked from here on.)

    // Held by another open.
    ASSERT_EQ(flock(pty.slave(), LOCK_EX | LOCK_NB), 0);
    comm.SetCommPort(pty.path());
    EXPECT_FALSE(comm.StartComm());
    EXPECT_EQ(comm.LastError(), EWOULDBLOCK);
    flock(pty.slave(), LOCK_UN);

    // Not a tty.
    QTemporaryDir dir;
    QFile file(dir.filePath("plain"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    comm.SetCommPort(file.fileName());
    EXPECT_FALSE(comm.StartComm());
    EXPECT_EQ(comm.LastError(), ENOTTY);
    EXPECT_FALSE(comm.WriteCommData("x", 1)) << "closed port";

    // StopComm after a failure reports "disconnected"; then a good open.
    comm.StopComm();
    comm.SetCommPort(pty.path());
    EXPECT_TRUE(comm.StartComm());
    EXPECT_EQ(comm.LastError(), 0);
    ASSERT_TRUE(WaitUntil([&] { return states.back() == CommStateConnected; }));
}

TEST_F(PortTest, BurstArrivesInOrderInBlocksOfAtMost2048) {
    ASSERT_TRUE(comm.StartComm());
    const std::string data = pattern(5000);
    pty.writeAll(data);
    ASSERT_TRUE(WaitUntil([&] { return received().size() >= data.size(); }));
    EXPECT_EQ(received(), data);
    EXPECT_GE(blocks.size(), 3u);
    for (const std::string& b : blocks)
        EXPECT_LE(b.size(), 2048u);
    EXPECT_TRUE(zeroTerminated);
}

TEST_F(PortTest, WritesArriveInOrderAndNoneIsLostAtStart) {
    ASSERT_TRUE(comm.StartComm());
    // Right after the open, before the worker has run.
    EXPECT_TRUE(comm.WriteCommData("first,", 6));
    EXPECT_TRUE(comm.WriteCommString(QByteArray("second,")));
    EXPECT_TRUE(comm.WriteCommString("third"));
    EXPECT_EQ(readMaster(18), "first,second,third");
    EXPECT_TRUE(comm.WriteCommData("", 0)) << "an empty block is accepted and writes nothing";
    Pump(20);
    EXPECT_EQ(pty.readNow().toStdString(), "");
}

TEST_F(PortTest, PulledCableClosesAsFailedAndReopens) {
    ASSERT_TRUE(comm.StartComm());
    ASSERT_TRUE(WaitUntil([&] { return !states.empty() && states.back() == CommStateConnected; }));
    pty.writeAll("tail");
    ASSERT_TRUE(WaitUntil([&] { return received() == "tail"; }));
    pty.unplug();
    ASSERT_TRUE(WaitUntil([&] { return !states.empty() && states.back() == CommStateFailed; }));
    EXPECT_FALSE(comm.IsCommOpen());
    EXPECT_EQ(comm.GetConnectionState(), CommStateFailed);
    EXPECT_TRUE(comm.Traced("ReadThread.PostHangupCall because failed HandleReadEvent"));
    EXPECT_FALSE(comm.WriteCommData("x", 1));
    comm.StopComm();
    ASSERT_TRUE(WaitUntil([&] { return states.back() == CommStateDisconnected; }));

    // A new device at another path: the component opens it again.
    Pty second;
    ASSERT_TRUE(second.ok());
    comm.SetCommPort(second.path());
    ASSERT_TRUE(comm.StartComm());
    second.writeAll("again");
    ASSERT_TRUE(WaitUntil([&] { return received() == "tailagain"; }));
    EXPECT_TRUE(comm.WriteCommData("back", 4));
    std::string got;
    ASSERT_TRUE(WaitUntil([&] {
        got += second.readNow().toStdString();
        return got == "back";
    }));
    comm.StopComm();
}

TEST_F(PortTest, AWindowThatIsBehindHoldsTheWorkerAtItsBoundAndLosesNothing) {
    ASSERT_TRUE(comm.StartComm());
    const int bound = comm.MaxReceiveUnhandled();
    const std::string data = pattern(2 * 1024 * 1024);
    std::atomic<size_t> written{0};
    std::thread writer([&] {
        for (size_t at = 0; at < data.size(); at += 4096) {
            pty.writeAll(data.substr(at, 4096));
            written += 4096;
        }
    });
    // The window handles nothing: the worker reads up to its bound and stops,
    // the rest waits in the kernel and holds up the sender.
    ASSERT_TRUE(WaitStalled([&] { return comm.ReceiveOverBound(); }));
    EXPECT_GE(comm.ReceiveUnhandled(), bound);
    EXPECT_LE(comm.ReceiveUnhandled(), bound + TReadThread::kBufferSize);
    EXPECT_LT(written.load(), data.size());
    EXPECT_TRUE(comm.Traced("Receive side over its bound: reading pauses"));

    // The window runs again: every byte, in order, never more than the bound
    // behind; what waited came in a few large blocks (the first chunks as
    // they were read, then blocks that took what came after them).
    int most = 0;
    comm.SetOnReceiveData([&](QObject*, const char* bytes, uint16_t count) {
        blocks.emplace_back(bytes, count);
        most = std::max(most, comm.ReceiveUnhandled());
    });
    ASSERT_TRUE(WaitUntil([&] { return received().size() >= data.size(); }, 30000));
    writer.join();
    EXPECT_TRUE(received() == data) << "bytes arrive unchanged and in order";
    size_t firstBlocks = 0;
    for (size_t bytes = 0; bytes < size_t(bound); bytes += blocks[firstBlocks++].size()) {
    }
    EXPECT_LE(firstBlocks, size_t(16 * 1024 / TReadThread::kBufferSize + bound / 65535 + 2));
    EXPECT_LE(most, bound + TReadThread::kBufferSize);
    EXPECT_FALSE(comm.ReceiveOverBound());
    EXPECT_TRUE(comm.Traced("Receive side caught up: reading again"));
}

TEST_F(PortTest, EverythingReadBeforeAHangUpIsDeliveredBeforeTheFailure) {
    ASSERT_TRUE(comm.StartComm());
    ASSERT_TRUE(WaitUntil([&] { return !states.empty() && states.back() == CommStateConnected; }));
    std::vector<std::string> order;
    comm.SetOnReceiveData(
        [&](QObject*, const char* bytes, uint16_t count) { order.emplace_back(bytes, count); });
    comm.SetOnStateChange([&](QObject*, TCommState s) {
        if (s == CommStateFailed)
            order.emplace_back("<failed>");
    });
    // While the window is busy, the worker reads a burst and then the cable is pulled.
    const std::string data = pattern(100 * 1024);
    std::thread writer([&] { pty.writeAll(data); });
    ASSERT_TRUE(WaitStalled([&] { return comm.ReceiveUnhandled() == int(data.size()); }));
    writer.join();
    pty.unplug();
    ASSERT_TRUE(WaitStalled(
        [&] { return comm.Traced("ReadThread.PostHangupCall because failed HandleReadEvent"); }));

    ASSERT_TRUE(WaitUntil([&] { return !order.empty() && order.back() == "<failed>"; }));
    std::string all;
    for (size_t i = 0; i + 1 < order.size(); ++i)
        all += order[i];
    EXPECT_TRUE(all == data) << all.size() << " of " << data.size() << " bytes before the failure";
}

// A component whose port's hang-up request can be handled at a moment the test chooses.
struct HangingUpComm : TracingComm {
    using TracingComm::TracingComm;
    void HandleHangUpRequest() { CloseComm(true, true, QStringLiteral("PWM_RequestHangup")); }
};

TEST(PortFailure, APortThatFailsBeforeItsOpenIsReportedStillReportsTheFailure) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    std::vector<TCommState> states; // outlives the component, which reports as it goes
    HangingUpComm comm;
    comm.SetAutoReconnect(false);
    comm.SetCommPort(pty.path());
    comm.SetOnStateChange([&](QObject*, TCommState s) { states.push_back(s); });
    // The last failure the owner heard: the port was held by another open.
    ASSERT_EQ(flock(pty.slave(), LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(comm.StartComm());
    flock(pty.slave(), LOCK_UN);
    ASSERT_TRUE(WaitUntil([&] { return !states.empty() && states.back() == CommStateFailed; }));
    const size_t heard = states.size();

    // The cable goes as the port opens: the worker's hang-up request is
    // handled before the open is reported. The owner, which reconnects on a
    // failure, must hear that the port connected and failed again.
    ASSERT_TRUE(comm.StartComm());
    comm.HandleHangUpRequest();
    ASSERT_TRUE(WaitUntil([&] { return states.size() >= heard + 2; }));
    EXPECT_EQ(std::vector<TCommState>(states.begin() + ptrdiff_t(heard), states.end()),
              (std::vector<TCommState>{CommStateConnected, CommStateFailed}));
}

// A device that holds its open (a USB adapter pulled as it opens answers at
// the driver's time-out) holds neither the window's thread nor the port: the
// window runs on meanwhile, and an open dropped before the device answers
// leaves nothing open and reports nothing.
TEST(PortOpenOffTheWindow, AHeldOpenLeavesTheWindowRunningAndADroppedOneLeavesNothingOpen) {
    FakeLineComm comm;
    comm.SetAutoReconnect(false);
    comm.SetCommPort(QStringLiteral("ttyHELD"));
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    std::atomic<bool> opening{false};
    comm.behaviour.openLines = std::make_shared<std::atomic<int>>(0);
    comm.behaviour.onOpen = [&opening, answered] {
        opening = true;
        answered.wait();
    };
    std::vector<bool> outcomes;
    comm.StartCommAsync([&](bool opened) { outcomes.push_back(opened); });
    ASSERT_TRUE(WaitUntil([&] { return opening.load(); }));
    QTimer beat;
    int beats = 0;
    QObject::connect(&beat, &QTimer::timeout, [&] { ++beats; });
    beat.start(1);
    EXPECT_TRUE(WaitUntil([&] { return beats >= 3; })) << "the window stood still";
    EXPECT_TRUE(comm.OpenPending());
    EXPECT_FALSE(comm.IsCommOpen());

    comm.StopComm(); // Disconnect while the device holds the open
    EXPECT_FALSE(comm.OpenPending());
    answer.set_value();
    // The next open queues behind the dropped one, so once it is done the
    // dropped one has opened and given its line up again.
    comm.behaviour.onOpen = nullptr;
    ASSERT_TRUE(comm.StartComm());
    EXPECT_EQ(comm.behaviour.openLines->load(), 1) << "only the new open's line is open";
    Pump(20);
    EXPECT_TRUE(outcomes.empty()) << "a dropped open reports nothing";
    comm.StopComm();
    EXPECT_EQ(comm.behaviour.openLines->load(), 0);
}

TEST_F(PortTest, ReopenReportsNoDisconnect) {
    ASSERT_TRUE(comm.StartComm());
    ASSERT_TRUE(WaitUntil([&] { return !states.empty(); }));
    ASSERT_TRUE(comm.StartComm());
    EXPECT_TRUE(comm.IsCommOpen());
    Pump(50);
    EXPECT_EQ(states, std::vector<TCommState>{CommStateConnected});
    pty.writeAll("still");
    ASSERT_TRUE(WaitUntil([&] { return received() == "still"; }));
}

TEST_F(PortTest, StopDeliversEverythingReadBeforeItCloses) {
    ASSERT_TRUE(comm.StartComm());
    ASSERT_TRUE(WaitUntil([&] { return !states.empty(); }));
    pty.writeAll("posted");
    // The worker posts the block while the window does not run.
    ASSERT_TRUE(WaitStalled([&] { return comm::LiveBlocks() > 0; }));
    // More is on the line as the close comes, and the worker has its chunk in hand.
    pty.writeAll(" then more");
    comm.StopComm();
    EXPECT_EQ(received(), "posted then more") << "handed over before the close returned";
    EXPECT_EQ(comm::LiveBlocks(), 0);
    Pump(50);
    EXPECT_EQ(received(), "posted then more") << "and nothing twice";
    EXPECT_EQ(states, (std::vector<TCommState>{CommStateConnected, CommStateDisconnected}));
}

TEST_F(PortTest, StopWhileWriteIsBlockedReturnsPromptly) {
    ASSERT_TRUE(comm.StartComm());
    const std::string chunk(64 * 1024, 'w');
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(comm.WriteCommData(chunk.data(), int(chunk.size())));
    // Nobody reads the master: the writer blocks once the pty buffer is full.
    Pump(100);
    EXPECT_GT(comm::LiveBlocks(), 0);
    QElapsedTimer timer;
    timer.start();
    comm.StopComm();
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(comm::LiveBlocks(), 0);
}

TEST_F(PortTest, BaudChangeKeepsThePortOpen) {
    ASSERT_TRUE(comm.StartComm());
    ASSERT_TRUE(WaitUntil([&] { return !states.empty(); }));
    // The write worker writes the settings: the rate arrives once it has.
    comm.SetBaudRate(TBaudRate::_1000000);
    EXPECT_TRUE(comm.IsCommOpen());
    EXPECT_TRUE(WaitUntil([&] { return ReadPtySpeed(pty.slave()).ospeed == 1000000u; }))
        << ReadPtySpeed(pty.slave()).ospeed;
    comm.SetBaudRate(TBaudRate::__56000);
    EXPECT_TRUE(WaitUntil([&] { return ReadPtySpeed(pty.slave()).ospeed == 56000u; }))
        << "rates without a B constant work too: " << ReadPtySpeed(pty.slave()).ospeed;
    pty.writeAll("ok");
    ASSERT_TRUE(WaitUntil([&] { return received() == "ok"; }));
    Pump(30);
    EXPECT_EQ(states, std::vector<TCommState>{CommStateConnected});
}

TEST_F(PortTest, PtyWithoutModemLinesKeepsWorking) {
    ASSERT_TRUE(comm.StartComm());
    for (int i = 0; i < 5; ++i) {
        pty.writeAll("ping");
        Pump(40);
    }
    EXPECT_TRUE(WaitUntil([&] { return received() == "pingpingpingpingping"; }));
    comm.PollModemStatus();
    EXPECT_GE(comm.ModemPollCost(), 10000u) << "no modem lines: polling switched off";
    EXPECT_TRUE(comm.IsCommOpen());
    EXPECT_FALSE(comm.Traced("ReadThread.PostHangupCall because failed SetupCommEvent"));
    EXPECT_EQ(states, std::vector<TCommState>{CommStateConnected});
}

TEST_F(PortTest, IdlePortUsesNoCpu) {
    ASSERT_TRUE(comm.StartComm());
    Pump(50);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    getrusage(RUSAGE_SELF, &after);
    auto us = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec +
               r.ru_stime.tv_usec;
    };
    EXPECT_LT(us(after) - us(before), 20000L) << "workers must sleep while idle";
}

TEST_F(PortTest, CarriesSeveralMegabytesPerSecond) {
    ASSERT_TRUE(comm.StartComm());
    const std::string data = pattern(4 * 1024 * 1024);
    size_t total = 0;
    bool same = true;
    comm.SetOnReceiveData([&](QObject*, const char* bytes, uint16_t count) {
        same = same && total + count <= data.size() &&
               std::memcmp(bytes, data.data() + total, count) == 0;
        total += count;
    });
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    QElapsedTimer timer;
    timer.start();
    std::thread writer([&] { pty.writeAll(data); });
    const bool all = WaitUntil([&] { return total >= data.size(); }, 30000);
    const qint64 ms = timer.elapsed();
    writer.join();
    getrusage(RUSAGE_SELF, &after);
    auto us = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec +
               r.ru_stime.tv_usec;
    };
    const long cpuMs = (us(after) - us(before)) / 1000;
    ASSERT_TRUE(all) << total;
    EXPECT_TRUE(same) << "bytes arrive unchanged and in order";
    // Wall time depends on the machine's load; the CPU spent (both ends of the
    // pty and the event loop included) shows whether the path is lean.
    EXPECT_LT(cpuMs, 1000) << "4 MB took " << ms << " ms, " << cpuMs << " ms CPU";
    std::printf("4 MB over the pty: %lld ms, %ld ms CPU\n", static_cast<long long>(ms), cpuMs);
}

TEST(VOXComm32Lifetime, DestroyingAnOpenComponentReportsDisconnected) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    std::vector<TCommState> states;
    {
        TVOXComm32 comm;
        comm.SetAutoReconnect(false);
        comm.SetCommPort(pty.path());
        comm.SetOnStateChange([&](QObject*, TCommState s) { states.push_back(s); });
        ASSERT_TRUE(comm.StartComm());
        ASSERT_TRUE(WaitUntil([&] { return !states.empty(); }));
        EXPECT_EQ(states.back(), CommStateConnected);
        pty.writeAll("unread");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(states.back(), CommStateDisconnected);
    EXPECT_EQ(comm::LiveBlocks(), 0);
}

} // namespace

namespace {

TEST_F(PortTest, AllEventsSkippedStillReceives) {
    comm.Options()->SetSkipEvents(VOXComm32SkipEvents(uint16_t(0x1FF)));
    ASSERT_TRUE(comm.StartComm());
    pty.writeAll("plain data");
    ASSERT_TRUE(WaitUntil([&] { return received() == "plain data"; }));
}

} // namespace

namespace {

TEST(ReceiveStamps, EachByteCarriesTheMomentItWasReadWhateverTheChunking) {
    // The writer's clock is the wall clock the worker reads: a slow line that
    // never falls quiet, 8 bytes every 8 ms, in lines that take many pieces.
    std::atomic<int64_t> now{1'000'000};
    std::atomic<int> clockReads{0};
    platform::setRealTimeSource([&] {
        const int64_t value = now.load();
        clockReads.fetch_add(1); // after the value is taken
        return value;
    });
    std::string stream;
    for (int i = 0; i < 12; ++i)
        stream += "line " + std::to_string(i) + " of a slow steady stream\r\n";
    {
        FakeLineComm comm;
        comm.SetAutoReconnect(false);
        comm.SetCommPort("fake0");
        std::string received;
        std::vector<int64_t> stamps; // per byte
        comm.SetOnReceiveData([&](QObject*, const char* data, uint16_t count) {
            const comm::ReadTimes& times = comm.ReceivedTimes();
            for (uint16_t i = 0; i < count; ++i)
                stamps.push_back(times.At(i));
            received.append(data, count);
        });
        ASSERT_TRUE(comm.StartComm());
        for (size_t at = 0; at < stream.size(); at += 8) {
            now = 1'000'000 + int64_t(at); // the piece's first byte at "at" ms
            const int reads = clockReads.load();
            comm.line->deviceSends(stream.substr(at, 8));
            // Read, and its time taken, before the clock moves on.
            ASSERT_TRUE(WaitUntil([&] { return clockReads.load() > reads; }));
        }
        ASSERT_TRUE(WaitUntil([&] { return received.size() == stream.size(); }));
        ASSERT_EQ(stamps.size(), stream.size());
        for (size_t i = 0; i < stamps.size(); ++i)
            ASSERT_EQ(stamps[i], 1'000'000 + int64_t(i / 8 * 8)) << "byte " << i;
        comm.StopComm();
    }
    platform::setRealTimeSource({});
}

TEST_F(PortTest, HandlersMayCloseThePort) {
    // The owner answers "failed" with StopComm from inside its state handler.
    comm.SetOnStateChange([this](QObject*, TCommState s) {
        states.push_back(s);
        if (s == CommStateFailed)
            comm.StopComm();
    });
    ASSERT_TRUE(comm.StartComm());
    ASSERT_TRUE(WaitUntil([&] { return !states.empty(); }));
    pty.unplug();
    ASSERT_TRUE(WaitUntil([&] { return states.back() == CommStateDisconnected; }));
    EXPECT_EQ(states, (std::vector<TCommState>{CommStateConnected, CommStateFailed,
                                               CommStateDisconnected}));

    // A receive handler that stops the port: nothing more is delivered.
    Pty second;
    comm.SetCommPort(second.path());
    int calls = 0;
    comm.SetOnReceiveData([&](QObject*, const char*, uint16_t) {
        ++calls;
        comm.StopComm();
    });
    ASSERT_TRUE(comm.StartComm());
    second.writeAll("one");
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    second.writeAll("two");
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    ASSERT_TRUE(WaitUntil([&] { return calls > 0; }));
    Pump(50);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(comm.IsCommOpen());
}

} // namespace
