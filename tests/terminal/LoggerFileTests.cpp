// Log files: names, directories, opening, fallback names, day change, failures.
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "LoggerTestSupport.h"

namespace {
const QString day1 = QStringLiteral("2026-12-07");
const QString day2 = QStringLiteral("2026-12-08");
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

TEST_F(LoggerTest, DayChangeSwitchesFilesWithDailyStyleOnly) {
    setNow(2026, 12, 7, 23, 59, 59, 900);
    auto logger = makeLogger();
    logger->logData(VOxaTerminal_ltInText, "a", 1, false); // line left open
    const QByteArray before = stamp();
    setNow(2026, 12, 8, 0, 0, 0, 100);
    logger->logData(VOxaTerminal_ltInText, "b", 1, false);
    EXPECT_EQ(logger->currentDate(), day2);
    EXPECT_EQ(readAll(dayFile(day1)), before + "+ a\r\n");
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    EXPECT_EQ(readAll(dayFile(day2)), stamp() + "+ b\r\n");

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

    // Every further write to the descriptor fails with "no space left".
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    ASSERT_GE(dup2(full, logger->FileHandle()), 0);
    close(full);
    setNow(2026, 12, 7, 15, 4, 6, 0);
    const QByteArray lostAt = stamp();
    logger->logData(VOxaTerminal_ltInText, "two", 3, false);
    EXPECT_FALSE(logger->IsOpen());
    EXPECT_EQ(logger->prevLineType(), VOxaTerminal_lt_NoType);

    setNow(2026, 12, 7, 15, 4, 7, 0);
    logger->logData(VOxaTerminal_ltInText, "three", 5, false);
    EXPECT_TRUE(logger->IsOpen());
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    EXPECT_EQ(readAll(dayFile(day1)),
              first + "+ one\r\n\r\n" + notLogged(1, lostAt) + stamp() + "+ three\r\n");
}

TEST_F(LoggerTest, FullDiskCutsTheRecordAndLoggingGoesOnOnANewLine) {
    auto logger = makeLogger();
    logger->logData(VOxaTerminal_ltInText, "one", 3, false);
    logger->logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    const QByteArray first = stamp() + "+ one\r\n";
    ASSERT_EQ(readAll(dayFile(day1)), first);

    // The file may grow by 10 more bytes only: the next write is cut short
    // and its retry fails.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = rlim_t(first.size() + 10);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    setNow(2026, 12, 7, 15, 4, 6, 0);
    const QByteArray torn = stamp().left(10);
    const QByteArray lostAt = stamp();
    logger->logData(VOxaTerminal_ltInText, "two that does not fit", 21, false);
    const bool openAfterFailure = logger->IsOpen();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(openAfterFailure);

    setNow(2026, 12, 7, 15, 4, 7, 0);
    logger->logData(VOxaTerminal_ltInText, "three", 5, false);
    logger->Close();
    EXPECT_EQ(readAll(dayFile(day1)),
              first + torn + "\r\n" + notLogged(1, lostAt) + stamp() + "+ three\r\n");
}
