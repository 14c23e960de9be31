// Log records: line joining, per-mode conversion, options, gathered writes.
#include <QList>
#include <sys/stat.h>

#include "LoggerTestSupport.h"

namespace {
const char* const dayPath = "logs/Dralvo_2026-12-07.log";

void eol(VOxaLogger& logger) {
    logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
}

int64_t fileSize(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 ? int64_t(st.st_size) : -1;
}
} // namespace

TEST_F(LoggerTest, TrailingLineBreaksOfTextEndTheLine) {
    auto logger = makeLogger();
    logger->logData(VOxaTerminal_ltOutText, "AT\r", 3, false);
    EXPECT_EQ(logger->pendingRN(), 1);
    const QByteArray first = stamp();
    setNow(2026, 12, 7, 15, 4, 5, 200);
    // Same type, yet a new line: the removed break ended the record.
    logger->logData(VOxaTerminal_ltOutText, "AT\r\r\r\r\r", 7, false);
    const QByteArray second = stamp();
    setNow(2026, 12, 7, 15, 4, 5, 300);
    logger->logData(VOxaTerminal_ltInText, "\r\nOK\r\n", 6, false);
    eol(*logger);
    EXPECT_EQ(readAll(dayPath),
              first + "- AT\r\n" + second + "- AT<#0D>\r\n" + stamp() + "+ <#0D><#0A>OK\r\n");
}

TEST_F(LoggerTest, EachModeConvertsItsBytes) {
    auto logger = makeLogger();
    // text: control bytes and bytes from 0x80 up as <#XX>, 0x7F as it is
    logger->logData(VOxaTerminal_ltInText, "a\xE1\x01\x7F\tb", 6, false);
    eol(*logger);
    // raw: backslash escapes for control bytes, other bytes unchanged
    logger->logData(VOxaTerminal_ltExtra, "\xE1\\\t\n\r\x01\x1F\x7Fz", 9, false);
    eol(*logger);
    // hex: two digits and a blank per byte
    logger->logData(VOxaTerminal_ltInBin, QByteArray("\x00\xFF", 2), false);
    eol(*logger);
    // preformatted: written as given
    logger->logData(VOxaTerminal_ltInText, "<x>\xE1", 4, true);
    eol(*logger);
    // empty data of a new type: the header alone
    logger->logData(VOxaTerminal_ltExtraG, "", 0, false);
    eol(*logger);
    const QByteArray s = stamp();
    EXPECT_EQ(readAll(dayPath), s + "+ a<#E1><#01>\x7F<#09>b\r\n" +                //
                                    s + "E \xE1\\\\\\t\\n\\r\\x01\\x1F\x7Fz\r\n" + //
                                    s + "+ #00 FF \r\n" +                          //
                                    s + "+ <x>\xE1\r\n" +                          //
                                    s + "EG \r\n");
}

TEST_F(LoggerTest, PiecesOfOneTypeJoinUntilTheLineEnds) {
    auto logger = makeLogger();
    logger->logData(VOxaTerminal_ltInText, "ab", 2, false);
    const QByteArray first = stamp();
    setNow(2026, 12, 7, 15, 4, 6, 0);
    logger->logData(VOxaTerminal_ltInText, "cd", 2, false);
    logger->logData(VOxaTerminal_ltInText, "", 0, false); // nothing to add
    eol(*logger);
    eol(*logger); // a second end of line adds nothing

    logger->logData(VOxaTerminal_ltInText, "ef", 2, false);
    const QByteArray third = stamp();
    setNow(2026, 12, 7, 15, 4, 7, 0);
    logger->logData(VOxaTerminal_ltExtraA, "status", 6, false); // ends the open line
    const QByteArray status = stamp();
    logger->logData(VOxaTerminal_ltInText, "gh", 2, false);
    logger->Close();
    EXPECT_EQ(readAll(dayPath), first + "+ abcd\r\n" + third + "+ ef\r\n" + status +
                                    "A status\r\n" + status + "+ gh\r\n");
}

TEST_F(LoggerTest, OptionsLeaveOutStampOrPrefix) {
    auto logger = makeLogger();
    logger->SetOptions(volofLinetype);
    logger->logData(VOxaTerminal_ltOutText, "x", 1, false);
    eol(*logger);
    logger->SetOptions(volofDate);
    logger->logData(VOxaTerminal_ltOutText, "y", 1, false);
    eol(*logger);
    logger->SetOptions({});
    logger->logData(VOxaTerminal_ltOutText, "z", 1, false);
    logger->logData(VOxaTerminal_ltInText, "w", 1, false);
    eol(*logger);
    EXPECT_EQ(readAll(dayPath), "- x\r\n" + stamp() + "y\r\nz\r\nw\r\n");
}

TEST_F(LoggerTest, RecordsOfOneEventAreWrittenTogetherWhenTheEventEnds) {
    auto logger = makeLogger();
    int64_t sizeInsideEvent = -2;
    int bufferedInsideEvent = -1;
    inEventLoop([&] {
        logger->logData(VOxaTerminal_ltInText, "one", 3, false);
        eol(*logger);
        logger->logData(VOxaTerminal_ltInText, "two", 3, false);
        eol(*logger);
        logger->WaitWritten(); // the writer has opened the file
        sizeInsideEvent = fileSize(dayPath);
        bufferedInsideEvent = logger->BufferedBytes();
    });
    EXPECT_EQ(sizeInsideEvent, 0); // opened, nothing written yet
    EXPECT_GT(bufferedInsideEvent, 0);
    EXPECT_EQ(logger->BufferedBytes(), 0);
    logger->WaitWritten();
    EXPECT_EQ(readAll(dayPath), stamp() + "+ one\r\n" + stamp() + "+ two\r\n");

    // Flush() and Close() hand over at once; a large batch does not wait.
    inEventLoop([&] {
        logger->logData(VOxaTerminal_ltInText, "three", 5, false);
        logger->Flush();
        logger->WaitWritten();
        sizeInsideEvent = fileSize(dayPath);
        const QByteArray big(VOxaLogger::FlushThreshold, 'x');
        logger->logData(VOxaTerminal_ltInText, big, false);
        bufferedInsideEvent = logger->BufferedBytes();
        logger->logData(VOxaTerminal_ltInText, "tail", 4, false);
        logger->Close();
    });
    EXPECT_EQ(sizeInsideEvent, 2 * (stamp().size() + 7) + stamp().size() + 7);
    EXPECT_EQ(bufferedInsideEvent, 0);
    logger->WaitWritten();
    const QByteArray text = readAll(dayPath);
    EXPECT_TRUE(
        text.endsWith("+ three" + QByteArray(VOxaLogger::FlushThreshold, 'x') + "tail\r\n"));

    // Records still gathered when the logger goes away reach the file.
    inEventLoop([&] {
        logger->logData(VOxaTerminal_ltExtraA, "last", 4, false);
        logger.reset();
    });
    EXPECT_TRUE(readAll(dayPath).endsWith("\r\n" + stamp() + "A last\r\n"));
}

TEST_F(LoggerTest, ManyNumberedLinesArriveOnceAndInOrderWhetherGatheredOrNot) {
    // The same records, once written one by one and once gathered per event of
    // a running loop, give the same bytes.
    constexpr int lines = 3000;
    const auto produce = [this](VOxaLogger& logger, int from, int to) {
        for (int i = from; i < to; ++i) {
            m_now = QDateTime(QDate(2026, 12, 7), QTime(10, 0)).addMSecs(i * 7);
            const QByteArray line = "line " + QByteArray::number(i) + "\r";
            logger.logData(i % 5 == 0 ? VOxaTerminal_ltOutText : VOxaTerminal_ltInText, line,
                           false);
            if (i % 3 != 0)
                logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
        }
    };
    {
        auto direct = makeLogger("logs\\direct_*.log");
        direct->SetNewFileOpenFlags(0); // the bytes do not depend on it; saves time
        produce(*direct, 0, lines);
    }
    {
        auto gathered = makeLogger("logs\\gathered_*.log");
        int next = 0;
        int batch = 1;
        while (next < lines) {
            const int to = std::min(lines, next + batch);
            inEventLoop([&] { produce(*gathered, next, to); });
            next = to;
            batch = batch * 3 % 97 + 1;
        }
    }
    const QByteArray direct = readAll("logs/direct_2026-12-07.log");
    EXPECT_EQ(readAll("logs/gathered_2026-12-07.log"), direct);

    const QList<QByteArray> records = direct.split('\n');
    ASSERT_EQ(records.size(), lines + 1);
    EXPECT_TRUE(records.last().isEmpty());
    for (int i = 0; i < lines; ++i) {
        const QByteArray& r = records[i];
        const QByteArray tail =
            (i % 5 == 0 ? "- " : "+ ") + ("line " + QByteArray::number(i)) + '\r';
        ASSERT_TRUE(r.endsWith(tail)) << i << ": " << r.constData();
        ASSERT_EQ(r.size(), 23 + m_sep.size() * 2 + tail.size()) << i;
    }
}

TEST_F(LoggerTest, SystemClockGivesTheLocalTimeOfTheRecord) {
    VOxaLogger logger;
    logger.SetLogPath("logs\\sys_*.log");
    logger.SetNewFileStyle(volnfDaily);
    const QDateTime before = QDateTime::currentDateTime();
    logger.logData(VOxaTerminal_ltInText, "now", 3, false);
    const QDateTime after = QDateTime::currentDateTime();
    const QString fileName = logger.FileName();
    logger.Close();

    const QByteArray text = readAll(fileName);
    ASSERT_TRUE(text.endsWith(": + now\r\n")) << text.constData();
    QByteArray stampText = text.left(text.size() - 9);
    stampText.replace(m_sep, ":");
    const QDateTime logged =
        QDateTime::fromString(QString::fromLatin1(stampText), "yyyy-MM-dd HH:mm:ss.zzz");
    ASSERT_TRUE(logged.isValid()) << text.constData();
    EXPECT_GE(logged, before.addMSecs(-1));
    EXPECT_LE(logged, after.addMSecs(1));
    EXPECT_EQ(QFileInfo(fileName).fileName(),
              "sys_" + logged.date().toString(Qt::ISODate) + ".log");
}
