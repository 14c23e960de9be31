// Log files: names, directories, opening, fallback names, day change, failures.
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "LoggerTestSupport.h"
#include "tests/support/WaitUntil.h"

namespace {
const QString day1 = QStringLiteral("2026-12-07");
const QString day2 = QStringLiteral("2026-12-08");

// While it lives, no file of the process may grow past bytes (a write past it
// fails with EFBIG instead of raising SIGXFSZ).
class FileSizeLimit {
public:
    explicit FileSizeLimit(int64_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_old;
        small.rlim_cur = rlim_t(bytes);
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
} // namespace

TEST_F(LoggerTest, FirstRecordCreatesLogsDirectoryAndDayFile) {
    ASSERT_FALSE(QDir("logs").exists());
    auto logger = makeLogger();
    logger->logData(VOxaTerminal_ltInText, "OK", 2, false);
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);

    EXPECT_TRUE(logger->IsOpen());
    EXPECT_EQ(logger->FileName(), dayFile(day1));
    EXPECT_EQ(logger->currentDate(), day1);
    // A new file starts directly with the time stamp.
    EXPECT_EQ(readAll(dayFile(day1)), stamp() + "+ OK\r\n");
    // Write-through by default; the flag is honoured when cleared.
    EXPECT_TRUE(fcntl(logger->FileHandle(), F_GETFL) & O_DSYNC);
    logger->SetLogPath("logs\\plain_*.log");
    logger->SetNewFileOpenFlags(0);
    logger->logData(VOxaTerminal_ltInText, "x", 1, false);
    EXPECT_FALSE(fcntl(logger->FileHandle(), F_GETFL) & O_DSYNC);
}

TEST_F(LoggerTest, ExistingFileIsContinuedOnANewLine) {
    writeFile(dayFile(day1), "earlier");
    {
        auto logger = makeLogger();
        logger->logData(VOxaTerminal_ltExtraA, "-- MARK --", 10, false);
        logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    }
    EXPECT_EQ(readAll(dayFile(day1)), "earlier\r\n" + stamp() + "A -- MARK --\r\n");

    // Smooth append: no line break in front of the first record.
    writeFile(dayFile(day2), "earlier\r\n");
    setNow(2026, 12, 8, 1, 0, 0, 0);
    auto logger = makeLogger();
    logger->SetOptions(volofDate | volofLinetype | voloSmoothAppend);
    logger->logData(VOxaTerminal_ltExtraA, "x", 1, false);
    logger->Close();
    EXPECT_EQ(readAll(dayFile(day2)), "earlier\r\n" + stamp() + "A x\r\n");
    EXPECT_FALSE(logger->IsOpen());
    EXPECT_EQ(logger->currentDate(), QString());
}

TEST_F(LoggerTest, EndOfLineAloneCreatesNoFile) {
    auto logger = makeLogger();
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    logger->logData(VOxaTerminal_lt_NoType, "", 0, false);
    EXPECT_FALSE(logger->IsOpen());
    EXPECT_FALSE(QDir("logs").exists());
    EXPECT_EQ(logger->pendingRN(), 2);
}

TEST_F(LoggerTest, DisabledStyleLogsNothingButKeepsAnOpenFile) {
    auto logger = makeLogger();
    logger->SetNewFileStyle(volnfDisabled);
    logger->logData(VOxaTerminal_ltInText, "a", 1, false);
    EXPECT_FALSE(QDir("logs").exists());

    logger->SetNewFileStyle(volnfOnOpen);
    logger->logData(VOxaTerminal_ltInText, "a", 1, false);
    logger->SetNewFileStyle(volnfDisabled); // the open file stays in use
    logger->logData(VOxaTerminal_ltInText, "b", 1, false);
    logger->Close();
    EXPECT_EQ(readAll(dayFile(day1)), stamp() + "+ ab\r\n");
}

TEST_F(LoggerTest, FileNamesFollowTheStyle) {
    VOxaLogger logger;
    const QString cwd = QDir::currentPath();
    logger.SetLogPath("logs\\Dralvo_*.log");
    EXPECT_EQ(logger.MakeFileName(day1),
              cwd + "/logs/Dralvo_2026-12-07.log"); // default volnfOnOpen
    logger.SetLogPath("a*b*.log");
    EXPECT_EQ(logger.MakeFileName(day1), cwd + "/a2026-12-07b2026-12-07.log");
    logger.SetLogPath("sub\\..\\day_");
    EXPECT_EQ(logger.MakeFileName(day1), cwd + "/day_2026-12-07");
    logger.SetLogPath("/var/tmp/x*.log");
    EXPECT_EQ(logger.MakeFileName(day1), "/var/tmp/x2026-12-07.log");

    logger.SetNewFileStyle(volnfExact);
    logger.SetLogPath("logs\\fixed*.log");
    EXPECT_EQ(logger.MakeFileName(day1), cwd + "/logs/fixed*.log");
    logger.SetLogPath("logs\\");
    EXPECT_EQ(logger.MakeFileName(day1), cwd + "/logs/2026-12-07");
}

TEST_F(LoggerTest, SecondWriterFallsBackToProgramNames) {
    const QString program = VOxaLogger::ProgramName();
    ASSERT_FALSE(program.isEmpty());
    ASSERT_FALSE(program.contains('.'));
    auto first = makeLogger();
    auto second = makeLogger();
    auto third = makeLogger();
    first->logData(VOxaTerminal_ltInText, "1", 1, false);
    second->logData(VOxaTerminal_ltInText, "2", 1, false);
    third->logData(VOxaTerminal_ltInText, "3", 1, false);
    EXPECT_EQ(first->FileName(), dayFile(day1));
    EXPECT_EQ(second->FileName(), dayFile(day1 + " " + program));
    EXPECT_EQ(third->FileName(), dayFile(day1 + " " + program + "-1"));
    first.reset();
    second.reset();
    third.reset();
    EXPECT_EQ(readAll(dayFile(day1)), stamp() + "+ 1\r\n");
    EXPECT_EQ(readAll(dayFile(day1 + " " + program)), stamp() + "+ 2\r\n");
    EXPECT_EQ(readAll(dayFile(day1 + " " + program + "-1")), stamp() + "+ 3\r\n");
}

TEST_F(LoggerTest, DisableAppendUsesNumberedNamesAndAppendsToTheNinth) {
    const QString base = day1 + " " + VOxaLogger::ProgramName();
    writeFile(dayFile(day1), "day\r\n");
    writeFile(dayFile(base), "program\r\n");
    for (int i = 1; i <= 3; ++i)
        writeFile(dayFile(base + "-" + QString::number(i)), "n\r\n");
    {
        auto logger = makeLogger();
        logger->SetOptions(volofDate | volofLinetype | voloDisableAppend);
        logger->logData(VOxaTerminal_ltInText, "A", 1, false);
        EXPECT_EQ(logger->FileName(), dayFile(base + "-4"));
    }
    EXPECT_EQ(readAll(dayFile(base + "-4")), stamp() + "+ A\r\n");
    EXPECT_EQ(readAll(dayFile(day1)), "day\r\n");

    for (int i = 5; i <= 9; ++i)
        writeFile(dayFile(base + "-" + QString::number(i)), "n\r\n");
    auto logger = makeLogger();
    logger->SetOptions(volofDate | volofLinetype | voloDisableAppend);
    logger->logData(VOxaTerminal_ltInText, "B", 1, false);
    logger->Close();
    EXPECT_EQ(readAll(dayFile(base + "-9")), "n\r\n\r\n" + stamp() + "+ B\r\n");
}

TEST_F(LoggerTest, ExactNameThatCannotBeOpenedIsNotRetriedUntilReconfigured) {
    auto holder = makeLogger("logs\\exact.log");
    holder->SetNewFileStyle(volnfExact);
    holder->logData(VOxaTerminal_ltInText, "h", 1, false);
    ASSERT_TRUE(holder->IsOpen());

    auto logger = makeLogger("logs\\exact.log");
    logger->SetNewFileStyle(volnfExact);
    const QByteArray lostAt = stamp();
    logger->logData(VOxaTerminal_ltInText, "lost", 4, false);
    EXPECT_FALSE(logger->IsOpen());
    EXPECT_TRUE(logger->openFailed());
    holder.reset();
    logger->logData(VOxaTerminal_ltInText, "lost", 4, false);
    EXPECT_FALSE(logger->IsOpen());
    EXPECT_EQ(readAll("logs/exact.log"), stamp() + "+ h\r\n");

    logger->SetNewFileStyle(volnfExact); // allows a new attempt
    logger->logData(VOxaTerminal_ltInText, "ok", 2, false);
    EXPECT_TRUE(logger->IsOpen());
    EXPECT_FALSE(logger->openFailed());
    logger->Close();
    // The two pieces of the line that could not be logged are one record.
    EXPECT_EQ(readAll("logs/exact.log"),
              stamp() + "+ h\r\n\r\n" + notLogged(1, lostAt) + stamp() + "+ ok\r\n");
}

TEST_F(LoggerTest, UncreatableDirectoryDropsTheRecordAndRetriesLater) {
    writeFile("blocker", "a file where the directory should be");
    auto logger = makeLogger("blocker\\sub\\x_*.log");
    logger->logData(VOxaTerminal_ltInText, "lost", 4, false);
    EXPECT_FALSE(logger->IsOpen());
    EXPECT_FALSE(logger->openFailed());
    ASSERT_TRUE(QFile::remove("blocker"));
    logger->logData(VOxaTerminal_ltInText, "kept", 4, false);
    logger->Close();
    EXPECT_EQ(readAll("blocker/sub/x_2026-12-07.log"),
              notLogged(1, stamp()) + stamp() + "+ kept\r\n");
}

TEST_F(LoggerTest, DayChangeSwitchesFilesWithDailyStyleOnlyAndALineStaysWithItsFirstPiece) {
    // A line whose first piece comes before midnight stays whole in the file
    // of that day; the next record starts the new day's file.
    setNow(2026, 12, 7, 23, 59, 59, 900);
    auto logger = makeLogger();
    logger->logData(VOxaTerminal_ltInText, "a", 1, false); // line left open
    const QByteArray before = stamp();
    setNow(2026, 12, 8, 0, 0, 0, 100);
    logger->logData(VOxaTerminal_ltInText, "b", 1, false);
    EXPECT_EQ(logger->currentDate(), day1);
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    logger->logData(VOxaTerminal_ltInText, "c", 1, false);
    EXPECT_EQ(logger->currentDate(), day2);
    EXPECT_EQ(readAll(dayFile(day1)), before + "+ ab\r\n");
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    EXPECT_EQ(readAll(dayFile(day2)), stamp() + "+ c\r\n");

    // volnfOnOpen keeps its file across midnight.
    setNow(2026, 12, 8, 23, 59, 59, 999);
    auto onOpen = makeLogger("logs\\OnOpen_*.log");
    onOpen->SetNewFileStyle(volnfOnOpen);
    onOpen->logData(VOxaTerminal_ltInText, "c", 1, false);
    setNow(2026, 12, 9, 0, 0, 1, 0);
    onOpen->logData(VOxaTerminal_ltExtraA, "d", 1, false);
    onOpen->Close();
    EXPECT_FALSE(QFile::exists("logs/OnOpen_2026-12-09.log"));
    EXPECT_TRUE(readAll("logs/OnOpen_2026-12-08.log").endsWith("\r\n" + stamp() + "A d\r\n"));
}

TEST_F(LoggerTest, FailedWriteClosesTheFileAndTheNextRecordReopensIt) {
    auto logger = makeLogger();
    logger->logData(VOxaTerminal_ltInText, "one", 3, false);
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    const QByteArray first = stamp();

    // The file may not grow: every further write fails.
    setNow(2026, 12, 7, 15, 4, 6, 0);
    const QByteArray lostAt = stamp();
    {
        FileSizeLimit limit(QFileInfo(dayFile(day1)).size());
        logger->logData(VOxaTerminal_ltInText, "two", 3, false);
    }
    EXPECT_FALSE(logger->IsOpen());
    EXPECT_EQ(logger->prevLineType(), VOxaTerminal_lt_NoType);
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);

    setNow(2026, 12, 7, 15, 4, 7, 0);
    logger->logData(VOxaTerminal_ltInText, "three", 5, false);
    EXPECT_TRUE(logger->IsOpen());
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    EXPECT_EQ(readAll(dayFile(day1)),
              first + "+ one\r\n\r\n" + notLogged(1, lostAt) + stamp() + "+ three\r\n");
}

TEST_F(LoggerTest, FullDiskLeavesNoTornRecordAndLoggingGoesOnOnANewLine) {
    auto logger = makeLogger();
    logger->logData(VOxaTerminal_ltInText, "one", 3, false);
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    const QByteArray first = stamp() + "+ one\r\n";
    ASSERT_EQ(readAll(dayFile(day1)), first);

    // The file may grow by 10 more bytes only: the next write is cut short
    // and its retry fails; the part that went in is cut off again.
    setNow(2026, 12, 7, 15, 4, 6, 0);
    const QByteArray lostAt = stamp();
    bool openAfterFailure = true;
    {
        FileSizeLimit limit(first.size() + 10);
        logger->logData(VOxaTerminal_ltInText, "two that does not fit", 21, false);
        openAfterFailure = logger->IsOpen();
        logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    }
    EXPECT_FALSE(openAfterFailure);
    EXPECT_EQ(readAll(dayFile(day1)), first);

    setNow(2026, 12, 7, 15, 4, 7, 0);
    logger->logData(VOxaTerminal_ltInText, "three", 5, false);
    logger->Close();
    EXPECT_EQ(readAll(dayFile(day1)),
              first + "\r\n" + notLogged(1, lostAt) + stamp() + "+ three\r\n");
}

TEST_F(LoggerTest, ALogFileThatLosesItsNameIsFollowedAndWhatWentToItIsWrittenAgain) {
    // A clock the writer's thread may read too: every record its own stamp.
    std::atomic<int> tick{0};
    const QDateTime base(QDate(2026, 12, 7), QTime(15, 0));
    auto logger = makeLogger();
    logger->SetClock([&] { return base.addMSecs(tick.load()); });
    std::vector<QString> opened;
    std::vector<std::pair<bool, QString>> notes;
    logger->OnFileOpened = [&](VOxaLogger*, const QString& fileName) {
        opened.push_back(fileName);
    };
    logger->OnLogFault = [&](VOxaLogger*, bool failing, const QString&, const QString& reason) {
        notes.push_back({failing, reason});
    };
    std::vector<QByteArray> lines; // every record as it must read
    const auto log = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const QByteArray text = "line " + QByteArray::number(int(lines.size()));
            logger->logData(VOxaTerminal_ltInText, text, false);
            logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            lines.push_back(stampOf(base.addMSecs(tick)) + "+ " + text);
            ++tick;
        }
    };
    const QString name = dayFile(day1);
    // After head, the file holds the record saying what happened, then the
    // records from one written before the change (from) on: none is missing.
    const auto follows = [&](const QByteArray& head, const char* what, size_t from) {
        const QByteArray file = readAll(name);
        ASSERT_TRUE(file.startsWith(head)) << file.left(80).constData();
        QList<QByteArray> rest = file.mid(head.size()).split('\n');
        ASSERT_GE(rest.size(), 2);
        ASSERT_TRUE(rest.takeLast().isEmpty());
        const QByteArray record = rest.takeFirst();
        const QByteArray warning = QByteArray(": A -- WARNING: ") + what + "; ";
        ASSERT_EQ(record.mid(23, warning.size()), warning) << record.constData();
        const QByteArray said = record.mid(23 + warning.size());
        ASSERT_LE(size_t(rest.size()), lines.size());
        const size_t first = lines.size() - size_t(rest.size());
        if (said == "no record went to it since --\r")
            EXPECT_EQ(first, from);
        else
            EXPECT_EQ(said, "the records written to it since " + lines[first].left(23) +
                                " follow again --\r");
        EXPECT_LE(first, from);
        for (size_t i = first; i < lines.size(); ++i)
            ASSERT_EQ(rest[int(i - first)], lines[i] + '\r') << i;
    };
    // The new file has more than head in it; then its reports are handled.
    const auto waitForNewFile = [&](qint64 head) {
        const bool moved = testsupport::WaitUntil([&] { return QFileInfo(name).size() > head; },
                                                  20000, 5, testsupport::Events::Hold);
        logger->WaitWritten();
        return moved;
    };

    log(5);
    // Deleted while records come: they go on in a new file of the same name.
    ASSERT_TRUE(QFile::remove(name));
    size_t from = lines.size();
    log(5);
    ASSERT_TRUE(waitForNewFile(0));
    log(5);
    follows("", "the log file was deleted or moved away", from);

    // Another file moved over it: that one is appended to, on a new line.
    writeFile("logs/other", "replacement\r\n");
    ASSERT_EQ(std::rename("logs/other", QFile::encodeName(name).constData()), 0);
    from = lines.size();
    log(5);
    ASSERT_TRUE(waitForNewFile(13));
    log(5);
    follows("replacement\r\n\r\n", "another file took the name of the log file", from);

    // The whole folder removed: it is made again.
    ASSERT_TRUE(QDir("logs").removeRecursively());
    from = lines.size();
    log(5);
    ASSERT_TRUE(waitForNewFile(0));
    log(5);
    follows("", "the log file was deleted or moved away", from);

    // Said once each time, and the status bar names the file anew.
    ASSERT_EQ(notes.size(), 3u);
    for (const auto& [failing, reason] : notes)
        EXPECT_FALSE(failing);
    EXPECT_EQ(notes[0].second, "the log file was deleted or moved away");
    EXPECT_EQ(notes[1].second, "another file took the name of the log file");
    EXPECT_EQ(opened, std::vector<QString>(4, name));
}
