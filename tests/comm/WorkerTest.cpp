#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <atomic>
#include <cerrno>
#include <mutex>

#include "PtyFixture.h"
#include "TracingComm.h"
#include "comm/OxaThread.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Blocks.h"
#include "comm/VOXComm32Host.h"
#include "comm/VOXComm32Notify.h"
#include "comm/VOXComm32Threads.h"
#include "platform/SerialDevice.h"

namespace {

char* Block(const std::string& bytes) {
    char* block = comm::AllocBlock(bytes.size() + 1);
    std::memcpy(block, bytes.data(), bytes.size());
    block[bytes.size()] = 0;
    return block;
}

// The component's side of a worker wired by hand: traces go to the
// component, posts to its notify window.
struct ComponentHost : comm::WorkerHost {
    explicit ComponentHost(TracingComm& c) : comm(c) {}
    void TraceText(const QString& text) override { comm.TraceText(text); }
    // Kept with the texts, as the component's trace line shows them.
    void TraceError(int error, const QString& text) override {
        comm.TraceText(text + QString::number(error));
    }
    void TraceDebugOutput(const QString& text) override { comm.TraceDebugOutput(text); }
    void Post(TNotifyMessage* message) override {
        static_cast<TNotifyWindow*>(comm.NotifyWindow())->Post(message);
    }
    TracingComm& comm;
};

// A write worker on a pseudo-terminal, wired by hand.
struct WriteWorker : ::testing::Test {
    Pty pty;
    TracingComm comm;
    ComponentHost host{comm};
    platform::SerialDevice device;
    platform::Event close;
    std::unique_ptr<TWriteThread> worker;
    int liveBefore = 0;

    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        ASSERT_EQ(device.open(pty.path().toStdString()), 0);
        platform::SerialDcb dcb;
        comm.BuildDCB(dcb);
        ASSERT_EQ(device.applyDcb(dcb), 0);
        liveBefore = comm::LiveBlocks();
        worker = std::make_unique<TWriteThread>();
        worker->Host = &host;
        worker->PortHandle = &device;
        worker->CloseEvent = &close;
    }
    void TearDown() override {
        close.set();
        worker.reset();
        EXPECT_EQ(comm::LiveBlocks(), liveBefore) << "every block freed exactly once";
    }
    std::string readMaster(size_t size) {
        std::string got;
        WaitUntil([&] {
            got += pty.readNow().toStdString();
            return got.size() >= size;
        });
        return got;
    }
};

TEST_F(WriteWorker, WritesBlocksInPostOrder) {
    // Queued before the worker runs: nothing is lost.
    ASSERT_TRUE(worker->PostThreadMessage(PWM_WriteData, 3, Block("one")));
    ASSERT_TRUE(worker->PostThreadMessage(PWM_WriteData, 0, nullptr));
    ASSERT_TRUE(worker->PostThreadMessage(PWM_WriteData, 0, Block("")));
    ASSERT_TRUE(worker->PostThreadMessage(PWM_WriteData, 3, Block("two")));
    ASSERT_TRUE(worker->PostThreadMessage(0x999, 1, Block("?")));
    ASSERT_TRUE(worker->PostThreadMessage(PWM_WriteData, 5, Block("three")));
    worker->Resume();
    EXPECT_EQ(readMaster(11), "onetwothree");
    ASSERT_TRUE(WaitUntil([&] { return comm::LiveBlocks() == liveBefore; }));
    EXPECT_TRUE(worker->Ready());
    EXPECT_TRUE(comm.Traced("Writing to comm port"));
    EXPECT_TRUE(comm.Traced("Unexpected message posted to Write thread: 2457"));
}

TEST_F(WriteWorker, SlowWriteSendsOneBytePerMillisecond) {
    worker->Resume();
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(worker->PostThreadMessage(PWM_WriteDataSlowly, 5, Block("12345")));
    EXPECT_EQ(readMaster(5), "12345");
    ASSERT_TRUE(WaitUntil([&] { return comm::LiveBlocks() == liveBefore; }));
    EXPECT_GE(timer.elapsed(), 5) << "a pause of 1 ms after each byte";
    EXPECT_TRUE(comm.Traced("Writing to comm port slowly"));
}

TEST_F(WriteWorker, CloseFreesQueueAndRefusesLaterPosts) {
    worker->Resume();
    // Nobody reads: the first big block blocks the worker, the rest queue up.
    const std::string big(256 * 1024, 'b');
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(worker->PostThreadMessage(PWM_WriteData, uint32_t(big.size()), Block(big)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QElapsedTimer timer;
    timer.start();
    close.set();
    EXPECT_TRUE(worker->WaitFor(10000));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(worker->Terminated());
    EXPECT_FALSE(worker->Ready());
    EXPECT_EQ(comm::LiveBlocks(), liveBefore);
    char* late = Block("late");
    EXPECT_FALSE(worker->PostThreadMessage(PWM_WriteData, 4, late));
    comm::FreeBlock(late);
    EXPECT_TRUE(comm.Traced("Write thread shutting down"));
}

TEST_F(WriteWorker, FailedWriteAsksForHangupAndEnds) {
    worker->Resume();
    pty.unplug();
    ASSERT_TRUE(worker->PostThreadMessage(PWM_WriteData, 4, Block("lost")));
    ASSERT_TRUE(worker->WaitFor(5000));
    EXPECT_TRUE(comm.Traced("WriteThread.PostHangupCall because write thread: failed WriteFile"));
    EXPECT_TRUE(comm.Traced("Closing TAPI"));
    char* late = Block("x");
    EXPECT_FALSE(worker->PostThreadMessage(PWM_WriteData, 1, late));
    comm::FreeBlock(late);
}

TEST_F(WriteWorker, SettingsAreWrittenInOrderARefusalIsTracedAndAGoneDeviceEndsIt) {
    platform::SerialDcb refused;
    comm.BuildDCB(refused);
    refused.ByteSize = 9;
    platform::SerialDcb fast;
    comm.BuildDCB(fast);
    fast.BaudRate = 57600;
    ASSERT_TRUE(worker->PostThreadMessage(PWM_WriteData, 3, Block("one")));
    ASSERT_TRUE(worker->PostDcb(refused));
    ASSERT_TRUE(worker->PostDcb(fast));
    ASSERT_TRUE(worker->PostThreadMessage(PWM_WriteData, 3, Block("two")));
    worker->Resume();
    EXPECT_EQ(readMaster(6), "onetwo") << "a refused block leaves the worker writing";
    EXPECT_TRUE(comm.Traced(QStringLiteral("Unable to SetCommState: %1").arg(EINVAL)));
    platform::SerialDcb back;
    ASSERT_EQ(device.readDcb(back), 0);
    EXPECT_EQ(back.BaudRate, 57600u) << "written before the block queued after it";
    EXPECT_TRUE(worker->Ready());

    pty.unplug();
    ASSERT_TRUE(worker->PostDcb(fast));
    ASSERT_TRUE(worker->WaitFor(5000));
    EXPECT_TRUE(
        comm.Traced("WriteThread.PostHangupCall because write thread: failed SetCommState"));
    EXPECT_FALSE(worker->PostDcb(fast));
}

class CountingThread : public VOxaThread {
public:
    ~CountingThread() override { Finish(); }
    std::atomic<bool> release{false};
    std::atomic<int> runs{0};

protected:
    void Execute() override {
        ++runs;
        while (!release.load() && !Terminated())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

TEST(OxaThread, ResumeWaitAndTerminate) {
    CountingThread t;
    EXPECT_TRUE(t.Suspended());
    EXPECT_TRUE(t.WaitFor(0)) << "a thread never started has nothing to wait for";
    t.SetPriority(3);
    t.Resume();
    t.Resume();
    EXPECT_FALSE(t.Suspended());
    EXPECT_FALSE(t.WaitFor(20)) << "still running";
    t.Terminate();
    EXPECT_TRUE(t.WaitFor(5000));
    EXPECT_EQ(t.WaitFor(), 0u);
    EXPECT_EQ(t.runs.load(), 1);
    EXPECT_NE(t.ThreadID(), 0);
}

} // namespace

namespace {

TEST(ReadWorkerEvents, CountersAndLinesBecomeCommEvents) {
    platform::SerialCounters a, b;
    uint32_t errors = 99;
    EXPECT_EQ(TReadThread::CommEvents(&a, &b, 0, 0, 0, 0, errors), 0u);
    EXPECT_EQ(errors, 0u);

    b.cts = 2; // toggled twice between looks: the level is the same, the edge is not lost
    b.rng = 1;
    b.rx = 10;
    EXPECT_EQ(TReadThread::CommEvents(&a, &b, MS_CTS_ON, MS_CTS_ON, 0, 0, errors),
              EV_CTS | EV_RING | EV_RXCHAR);

    b = a;
    b.brk = 1;
    b.frame = 3;
    b.overrun = 1;
    b.bufOverrun = 1;
    EXPECT_EQ(TReadThread::CommEvents(&a, &b, 0, 0, -1, -1, errors), EV_BREAK | EV_ERR);
    EXPECT_EQ(errors, CE_BREAK | CE_FRAME | CE_OVERRUN | CE_RXOVER);

    b = a;
    b.parity = 1;
    TReadThread::CommEvents(&a, &b, 0, 0, -1, -1, errors);
    EXPECT_EQ(errors, CE_RXPARITY);

    // Without counters the modem-status word alone tells the line changes.
    EXPECT_EQ(TReadThread::CommEvents(nullptr, nullptr, MS_CTS_ON | MS_RLSD_ON, MS_DSR_ON, -1, -1,
                                      errors),
              EV_CTS | EV_DSR | EV_RLSD);
    EXPECT_EQ(errors, 0u);

    // The transmitter empty: the queue drained, or bytes went out and it is empty now.
    EXPECT_EQ(TReadThread::CommEvents(nullptr, nullptr, 0, 0, 120, 0, errors), EV_TXEMPTY);
    EXPECT_EQ(TReadThread::CommEvents(nullptr, nullptr, 0, 0, 0, 0, errors), 0u);
    EXPECT_EQ(TReadThread::CommEvents(nullptr, nullptr, 0, 0, 120, 40, errors), 0u);
    b = a;
    b.tx = 5;
    EXPECT_EQ(TReadThread::CommEvents(&a, &b, 0, 0, 0, 0, errors), EV_TXEMPTY);
    EXPECT_EQ(TReadThread::CommEvents(&a, &b, 0, 0, 0, 7, errors), 0u);
}

} // namespace
