// The log writer's thread: the same bytes as writing each record at once, a
// disk that blocks or fails never holds up the adds, and whatever could not be
// logged is counted and reported in the log.
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "LoggerTestSupport.h"
#include "tests/support/WaitUntil.h"

namespace {

// Files in memory on a disk whose writes wait while its gate is closed, fail
// while failWith is set, and stop short once the bytes of its budget are
// written (the next write then fails as on a full disk).
class FakeDisk {
public:
    void setGate(bool open) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_gateOpen = open;
        }
        m_changed.notify_all();
    }
    void setFailure(int error) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failWith = error;
    }
    void setBudget(int64_t bytes) { // -1: no limit
        std::lock_guard<std::mutex> lock(m_mutex);
        m_budget = bytes;
    }
    QByteArray file(const QString& name) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_files[name];
    }
    terminal::LogFileOpener opener() {
        return [this](const QString& name, uint32_t, uint32_t, int&) {
            return std::make_unique<File>(*this, name);
        };
    }

private:
    class File final : public terminal::LogFile {
    public:
        File(FakeDisk& disk, QString name) : m_disk(disk), m_name(std::move(name)) {}
        int64_t write(const char* data, int64_t count, int& error) override {
            std::unique_lock<std::mutex> lock(m_disk.m_mutex);
            m_disk.m_changed.wait(lock, [this] { return m_disk.m_gateOpen; });
            if (m_disk.m_failWith || m_disk.m_budget == 0) {
                error = m_disk.m_failWith ? m_disk.m_failWith : ENOSPC;
                return -1;
            }
            if (m_disk.m_budget > 0) {
                count = std::min(count, m_disk.m_budget);
                m_disk.m_budget -= count;
            }
            m_disk.m_files[m_name].append(data, int(count));
            return count;
        }
        int64_t seekEnd() override {
            std::lock_guard<std::mutex> lock(m_disk.m_mutex);
            return m_disk.m_files[m_name].size();
        }
        bool truncate(int64_t size) override {
            std::lock_guard<std::mutex> lock(m_disk.m_mutex);
            m_disk.m_files[m_name].truncate(int(size));
            return true;
        }
        NameState nameState(const QString&) const override { return NameState::Named; }

    private:
        FakeDisk& m_disk;
        QString m_name;
    };

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_gateOpen = true;
    int m_failWith = 0;
    int64_t m_budget = -1;
    std::map<QString, QByteArray> m_files;
};

struct Fault {
    bool failing;
    QString fileName;
    QString reason;
};

} // namespace

TEST_F(LoggerTest, WriterThreadGivesTheBytesOfDirectWritesAcrossADayChangeAndAFallback) {
    // Steps of a session: mixed line types, pieces joined and cut, line ends,
    // midnight, numbered lines. Run once with each record written at once and
    // once gathered per event of a running loop (the writer's thread works
    // while the next events are made).
    const auto step = [this](VOxaLogger& logger, int i) {
        const QDateTime base(QDate(2026, 12, 7), QTime(23, 59, 59, 500));
        m_now = base.addMSecs(i * 3);
        switch (i % 9) {
        case 0:
            logger.logData(VOxaTerminal_ltOutText, "AT\r", 3, false);
            break;
        case 1:
            logger.logData(VOxaTerminal_ltInText, "pie", 3, false);
            logger.logData(VOxaTerminal_ltInText, "ces\r\n", 5, false);
            break;
        case 2:
            logger.logData(VOxaTerminal_ltInBin, "\x00\xFF", 2, false);
            logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            break;
        case 3:
            logger.logData(VOxaTerminal_ltExtraA, "raw\\\t\x01\xE1", 7, false);
            break;
        case 4:
            logger.logData(VOxaTerminal_ltInText, "open line ", 10, false);
            break;
        case 5:
            logger.logData(VOxaTerminal_ltInText, QByteArray("line ") + QByteArray::number(i),
                           false);
            logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            break;
        case 6:
            logger.logData(VOxaTerminal_ltExtraG, "", 0, false);
            logger.logData(VOxaTerminal_ltInText, "pre\r\n", 5, true);
            break;
        case 7:
            logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            break;
        default:
            logger.logData(VOxaTerminal_ltInText, QByteArray(300, 'z'), false);
            break;
        }
    };
    constexpr int steps = 400; // 1.2 s: midnight comes after step 166
    const QString program = VOxaLogger::ProgramName();
    for (const char* style : {"direct", "gathered"}) {
        // The day's file of the first day is held by another writer: the
        // program's own name is used; the second day's file has contents.
        const QString pattern = QString("logs\\%1_*.log").arg(style);
        setNow(2026, 12, 7, 23, 0, 0, 0);
        auto holder = makeLogger(pattern);
        holder->logData(VOxaTerminal_ltInText, "held", 4, false);
        ASSERT_TRUE(holder->IsOpen());
        writeFile(QString("logs/%1_2026-12-08.log").arg(style), "earlier");

        auto logger = makeLogger(pattern);
        if (QByteArray(style) == "direct") {
            for (int i = 0; i < steps; ++i)
                step(*logger, i);
        } else {
            for (int i = 0; i < steps;) {
                const int to = std::min(steps, i + 1 + i % 7);
                inEventLoop([&] {
                    for (; i < to; ++i)
                        step(*logger, i);
                });
            }
        }
        logger.reset();
    }
    const QByteArray direct1 = readAll("logs/direct_2026-12-07 " + program + ".log");
    const QByteArray direct2 = readAll("logs/direct_2026-12-08.log");
    ASSERT_TRUE(direct1.startsWith("2026-12-07 23")) << direct1.left(40).constData();
    ASSERT_TRUE(direct2.startsWith("earlier\r\n2026-12-08 00")) << direct2.left(40).constData();
    EXPECT_EQ(readAll("logs/gathered_2026-12-07 " + program + ".log"), direct1);
    EXPECT_EQ(readAll("logs/gathered_2026-12-08.log"), direct2);
}

TEST_F(LoggerTest, ABlockedDiskHoldsUpNoAddAndClosingWritesEverythingQueued) {
    FakeDisk disk;
    disk.setGate(false);
    auto logger = makeLogger();
    logger->SetFileOpener(disk.opener());
    QByteArray expected;
    for (int event = 0; event < 50; ++event) {
        inEventLoop([&] {
            for (int i = 0; i < 20; ++i) {
                const QByteArray line = "line " + QByteArray::number(event * 20 + i);
                logger->logData(VOxaTerminal_ltInText, line, false);
                logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
                expected += stamp() + "+ " + line + "\r\n";
            }
        });
    }
    // Every add returned while the disk took nothing.
    const QString name = dayFile("2026-12-07");
    EXPECT_GT(logger->Backlog(), 0);
    EXPECT_EQ(disk.file(name), QByteArray());

    // The logger goes while the loop runs, so nothing waits for the writer
    // but its own end; the disk comes back meanwhile.
    std::thread diskBack([&] { disk.setGate(true); });
    inEventLoop([&] { logger.reset(); });
    diskBack.join();
    EXPECT_EQ(disk.file(name), expected);
}

TEST_F(LoggerTest, PastItsBacklogTheLoggerDropsWholeRecordsAndLaterSaysHowMany) {
    FakeDisk disk;
    disk.setGate(false);
    auto logger = makeLogger();
    logger->SetFileOpener(disk.opener());
    logger->SetMaxBacklog(2000);
    std::vector<Fault> faults;
    logger->OnLogFault = [&](VOxaLogger* sender, bool failing, const QString& fileName,
                             const QString& reason) {
        EXPECT_EQ(sender, logger.get());
        faults.push_back({failing, fileName, reason});
    };
    const QDateTime base(QDate(2026, 12, 7), QTime(10, 0));
    constexpr int lines = 200;
    std::vector<QByteArray> stamps;
    for (int event = 0; event < lines / 5; ++event) {
        inEventLoop([&] {
            for (int i = event * 5; i < event * 5 + 5; ++i) {
                m_now = base.addMSecs(i);
                stamps.push_back(stamp());
                logger->logData(VOxaTerminal_ltInText, "record " + QByteArray::number(i) + "\r",
                                false);
                logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            }
        });
    }
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_TRUE(faults[0].failing);
    EXPECT_EQ(faults[0].fileName, dayFile("2026-12-07"));
    EXPECT_TRUE(faults[0].reason.contains("does not keep up")) << faults[0].reason.toStdString();

    // The disk takes writes again: the next record comes after the count.
    disk.setGate(true);
    logger->WaitWritten();
    m_now = base.addSecs(5);
    inEventLoop([&] {
        logger->logData(VOxaTerminal_ltExtraA, "after", 5, false);
        logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    });
    logger->WaitWritten();
    const QList<QByteArray> file = disk.file(dayFile("2026-12-07")).split('\n');
    ASSERT_GE(file.size(), 3);
    // Records 0 .. kept-1 whole, then the one line about the others, then the new one.
    const int kept = int(file.size()) - 3;
    ASSERT_GT(kept, 0);
    ASSERT_LT(kept, lines);
    for (int i = 0; i < kept; ++i)
        ASSERT_EQ(file[i], stamps[size_t(i)] + "+ record " + QByteArray::number(i) + "\r") << i;
    EXPECT_EQ(file[kept] + '\n', notLogged(lines - kept, stamps[size_t(kept)]));
    EXPECT_EQ(file[kept + 1], stamp() + "A after\r");
    EXPECT_EQ(file[kept + 2], QByteArray());
    ASSERT_EQ(faults.size(), 2u);
    EXPECT_FALSE(faults[1].failing);
}

TEST_F(LoggerTest, AFailingDiskIsReportedOnceAndTheLogSaysWhatItMissed) {
    FakeDisk disk;
    disk.setFailure(ENOSPC);
    auto logger = makeLogger();
    logger->SetFileOpener(disk.opener());
    std::vector<Fault> faults;
    logger->OnLogFault = [&](VOxaLogger*, bool failing, const QString& fileName,
                             const QString& reason) {
        faults.push_back({failing, fileName, reason});
    };
    const auto line = [&](const QByteArray& text) {
        inEventLoop([&] {
            logger->logData(VOxaTerminal_ltInText, text, false);
            logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            logger->Flush();
            logger->WaitWritten(); // the writer's report is handled before the next line
        });
    };
    const QByteArray firstLost = stamp();
    line("one");
    setNow(2026, 12, 7, 15, 4, 6, 0);
    line("two");
    line("three");
    ASSERT_EQ(faults.size(), 1u);
    EXPECT_TRUE(faults[0].failing);
    EXPECT_EQ(faults[0].fileName, dayFile("2026-12-07"));
    EXPECT_EQ(faults[0].reason, qt_error_string(ENOSPC));

    disk.setFailure(0);
    setNow(2026, 12, 7, 15, 4, 7, 0);
    line("four");
    EXPECT_EQ(disk.file(dayFile("2026-12-07")), notLogged(3, firstLost) + stamp() + "+ four\r\n");
    ASSERT_EQ(faults.size(), 2u);
    EXPECT_FALSE(faults[1].failing);
    EXPECT_EQ(faults[1].fileName, dayFile("2026-12-07"));
}

TEST_F(LoggerTest, AWriteThatStopsHalfWayLeavesWholeRecordsAndCountsEachLostLineOnce) {
    FakeDisk disk;
    auto logger = makeLogger();
    logger->SetFileOpener(disk.opener());
    const QString name = dayFile("2026-12-07");
    const auto eol = [&] { logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false); };
    logger->logData(VOxaTerminal_ltInText, "one", false);
    eol();
    const QByteArray one = stamp() + "+ one\r\n";

    // A line received in two chunks: the head is written, the disk takes
    // three bytes of the rest. The file ends with the record before it, and
    // the line is one record not logged, its rest not a record of its own.
    setNow(2026, 12, 7, 15, 4, 6, 0);
    const QByteArray twoAt = stamp();
    logger->logData(VOxaTerminal_ltInText, "two ", false);
    disk.setBudget(3);
    logger->logData(VOxaTerminal_ltInText, "and its rest", false);
    logger->logData(VOxaTerminal_ltInText, "and more", false);
    eol();
    EXPECT_EQ(disk.file(name), one);

    // One write of several records stops inside the second one after the
    // "not logged" record: the file keeps the first whole.
    disk.setBudget(-1);
    setNow(2026, 12, 7, 15, 4, 7, 0);
    const QByteArray three = stamp() + "+ three\r\n";
    const QByteArray expected = one + "\r\n" + notLogged(1, twoAt) + three;
    disk.setBudget(int64_t(expected.size() - one.size()) + 5);
    inEventLoop([&] {
        logger->logData(VOxaTerminal_ltInText, "three", false);
        eol();
        setNow(2026, 12, 7, 15, 4, 8, 0);
        logger->logData(VOxaTerminal_ltInText, "four", false);
        eol();
        logger->logData(VOxaTerminal_ltInText, "five", false);
        eol();
    });
    logger->WaitWritten();
    EXPECT_EQ(disk.file(name), expected);

    disk.setBudget(-1);
    const QByteArray fourAt = stamp();
    setNow(2026, 12, 7, 15, 4, 9, 0);
    logger->logData(VOxaTerminal_ltInText, "six", false);
    eol();
    EXPECT_EQ(disk.file(name), expected + "\r\n" + notLogged(2, fourAt) + stamp() + "+ six\r\n");
}

TEST_F(LoggerTest, PendingRecordsAndTheFileHoldEveryRecordOnceAtAnyMoment) {
    FakeDisk disk;
    const QString name = dayFile("2026-12-07");
    auto logger = makeLogger();
    logger->SetFileOpener(disk.opener());
    QByteArray expected;
    int next = 0;
    const auto logSome = [&](int count) {
        for (int i = 0; i < count; ++i, ++next) {
            const QByteArray line = "line " + QByteArray::number(next);
            logger->logData(VOxaTerminal_ltInText, line, false);
            logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            expected += stamp() + "+ " + line + "\r\n";
        }
    };
    const auto pendingBytes = [](const terminal::LogPending& p) {
        return QByteArray(p.bytes.data(), int(p.bytes.size()));
    };
    inEventLoop([&] {
        logSome(1);
        logger->Close();
    });
    logger->WaitWritten();
    // However a check below fails, the disk lets the logger go at the end.
    const std::shared_ptr<void> openAtEnd(nullptr, [&](void*) { disk.setGate(true); });
    // Reopened with contents already, the writer puts a line break in front
    // of the first record; while the disk holds that record, the pending
    // bytes start with the break.
    disk.setGate(false);
    inEventLoop([&] {
        logSome(1);
        logger->Flush();
    });
    expected.insert(expected.indexOf("\r\n") + 2, "\r\n");
    ASSERT_TRUE(
        testsupport::WaitUntil([&] { return logger->PendingRecords(1 << 20).fileSize >= 0; }));
    terminal::LogPending first = logger->PendingRecords(1 << 20);
    EXPECT_EQ(first.fileName, name);
    EXPECT_EQ(disk.file(name).left(int(first.fileSize)) + pendingBytes(first), expected);

    // The disk stalls and comes back while records are gathered, queued and
    // written: at every moment the file's first fileSize bytes followed by the
    // pending ones are all records so far, each once.
    std::atomic<bool> stop = false;
    std::thread gate([&] {
        for (int i = 0; !stop; ++i) {
            disk.setGate(i % 2 == 0);
            std::this_thread::yield();
        }
        disk.setGate(true);
    });
    for (int event = 0; event < 200; ++event) {
        inEventLoop([&] {
            logSome(3);
            const terminal::LogPending pending = logger->PendingRecords(1 << 20);
            EXPECT_EQ(pending.omitted, 0);
            ASSERT_EQ(pending.fileName, name);
            const QByteArray file = disk.file(name);
            ASSERT_GE(file.size(), pending.fileSize);
            EXPECT_EQ(file.left(int(pending.fileSize)) + pendingBytes(pending), expected);
        });
    }
    stop = true;
    gate.join();
    // Of many waiting bytes only the newest are taken.
    disk.setGate(false);
    inEventLoop([&] {
        logSome(10);
        const terminal::LogPending last = logger->PendingRecords(40);
        EXPECT_EQ(pendingBytes(last), expected.right(40));
        EXPECT_EQ(last.fileSize + last.omitted + 40, expected.size());
    });
    disk.setGate(true);
    logger.reset();
    EXPECT_EQ(disk.file(name), expected);
}
