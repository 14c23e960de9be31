// The line index and the rows of a log file: whatever the file holds and
// whatever happens to it while it is shown, the rows are its lines.
#include <QDir>
#include <QFile>

#include "HistoryTestSupport.h"
#include "history/LineIndex.h"
#include "history/LineScan.h"
#include "platform/File.h"

using namespace historytest;
using history::HistoryModel;

TEST(HistoryIndex, RowsAreTheLinesWhateverTheFileHolds) {
    QTemporaryDir dir;
    // Records with CR LF, 8-bit and NUL bytes, a megabyte line, an empty
    // line, and an end in the middle of a record.
    QByteArray log = sessionLog(3000);
    log += record(3000, "+ ", QByteArray("nul \0 byte \xFF\x80", 13));
    log += record(3001, "+ ", QByteArray(3 << 20, 'm'));
    log += "\r\n";
    log += record(3002, "+ ", "the last record, cut off").left(40);
    const QString path = dir.filePath("odd.log");
    writeFile(path, log);

    // Line feeds found in blocks of any size, a CR LF split between two
    // blocks included, are the same.
    platform::File file;
    ASSERT_EQ(
        file.open(path, platform::GENERIC_READ, platform::FILE_SHARE_READ, platform::OPEN_EXISTING),
        0);
    std::vector<uint32_t> whole;
    const std::atomic<bool> never{false};
    history::findLineFeeds(file, 0, log.size(), whole, never);
    for (int64_t block : {1, 2, 3, 61, 4096}) {
        std::vector<uint32_t> feeds;
        const auto scan = history::findLineFeeds(file, 0, log.size(), feeds, never, block);
        EXPECT_EQ(scan.scanned, log.size());
        EXPECT_EQ(feeds, whole) << "blocks of " << block;
    }
    history::LineIndex index;
    index.add(0, whole.data(), whole.size(), log.size());
    EXPECT_EQ(index.lines(), int64_t(whole.size()));
    EXPECT_LE(index.memoryBytes(), index.lines() * 8 + (1 << 20));

    // The model's rows: the lines without their line breaks, the cut-off
    // rest as the last row, and a word that the file ends mid-record.
    HistoryModel model;
    QStringList notices;
    QObject::connect(&model, &HistoryModel::notice, [&](const QString& t) { notices << t; });
    ASSERT_TRUE(model.addFile(path));
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(rows(model), referenceLines(log));
    int64_t length = 0;
    const QByteArray big = model.rowText(3001, 100, &length);
    EXPECT_EQ(length, 27 + (3 << 20)); // stamp, prefix, data
    EXPECT_EQ(big.size(), 100);
    ASSERT_FALSE(notices.isEmpty());
    EXPECT_TRUE(notices.last().contains("middle of a record")) << notices.last().toStdString();

    // A folder, a FIFO-like device and a missing file are refused with a reason.
    QString error;
    EXPECT_FALSE(model.addFile(dir.path(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(model.addFile("/dev/null", &error));
    EXPECT_TRUE(error.contains("not a regular file")) << error.toStdString();
    EXPECT_FALSE(model.addFile(dir.filePath("missing.log"), &error));
}

TEST(HistoryIndex, AFileThatGrowsIsTruncatedReplacedAndDeletedWhileShown) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Dralvo_2026-12-07.log");
    QByteArray log = sessionLog(500);
    writeFile(path, log);
    HistoryModel model;
    QStringList notices;
    QObject::connect(&model, &HistoryModel::notice, [&](const QString& t) { notices << t; });
    ASSERT_TRUE(model.addFile(path));
    ASSERT_TRUE(settle(model));
    ASSERT_EQ(model.rowCount(), 500);

    // Appended records, the last one half written, then finished.
    const QByteArray more = sessionLog(800).mid(log.size());
    writeFile(path, more.left(more.size() - 10), true);
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(rows(model), referenceLines(log + more.left(more.size() - 10)));
    writeFile(path, more.right(10), true);
    log += more;
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(rows(model), referenceLines(log));

    // Truncated: read anew from the start.
    log = sessionLog(100, 7);
    writeFile(path, log);
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(rows(model), referenceLines(log));
    EXPECT_TRUE(notices.last().contains("truncated")) << notices.last().toStdString();

    // Replaced (a rotation moves the file away, a new one takes the name).
    ASSERT_TRUE(QFile::rename(path, path + ".1"));
    const QByteArray fresh = sessionLog(40, 9);
    writeFile(path, fresh);
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(rows(model), referenceLines(fresh));
    EXPECT_TRUE(notices.last().contains("replaced")) << notices.last().toStdString();

    // Deleted: what was read stays, and it is said once.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(rows(model), referenceLines(fresh));
    EXPECT_TRUE(notices.last().contains("deleted")) << notices.last().toStdString();
    const int told = int(notices.size());
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(notices.size(), told);
}

TEST(HistoryIndex, TheOwnLogShowsEveryRecordOnceWhileSomeAreStillOnTheirWay) {
    QTemporaryDir dir;
    const QString path = QDir::cleanPath(dir.filePath("Dralvo_2026-12-07.log"));
    const QByteArray all = sessionLog(300);
    // What the logger has: the file holds a part, the rest is pending (the
    // last record without its line break yet, as a line still being written).
    QByteArray inFile = all.left(all.size() / 2);
    writeFile(path, inFile);
    terminal::LogPending pending;
    pending.fileName = path;
    pending.generation = 1;
    const auto setPending = [&](int64_t fileSize, const QByteArray& bytes) {
        pending.fileSize = fileSize;
        pending.bytes.assign(bytes.begin(), bytes.end());
    };
    setPending(inFile.size(), all.mid(inFile.size()).chopped(2));
    HistoryModel model;
    model.setLiveSource([&](int64_t) { return pending; });
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(rows(model), referenceLines(all.chopped(2)));

    // Part of it reaches the disk; the file was looked at after the pending
    // records were taken, so it holds more than their size says.
    inFile = all.left(all.size() * 3 / 4);
    setPending(all.size() * 2 / 3, all.mid(all.size() * 2 / 3));
    writeFile(path, inFile);
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(rows(model), referenceLines(all));

    // Everything written: nothing pending, nothing twice.
    writeFile(path, all);
    setPending(all.size(), QByteArray());
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(rows(model), referenceLines(all));
}

TEST(HistoryIndex, RowsAndLinesBeyondWhatCanBeNumberedAreSaidNotShownWrongly) {
    // The limits lowered: a scroll bar counts rows in an int, the filter
    // numbers lines in 32 bits, which no test log reaches.
    QTemporaryDir dir;
    const QString path = dir.filePath("big.log");
    const QByteArray log = sessionLog(300);
    writeFile(path, log);
    HistoryModel model;
    model.setLimits({100, 200});
    QStringList notices;
    QObject::connect(&model, &HistoryModel::notice, [&](const QString& t) { notices << t; });
    ASSERT_TRUE(model.addFile(path));
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(model.rowCount(), 100);
    EXPECT_EQ(model.allRowCount(), 300);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains("first 100 rows")) << notices[0].toStdString();
    EXPECT_TRUE(notices[0].contains("the 200 after them")) << notices[0].toStdString();

    // Filtered: the lines past the filter's reach are not taken for matches
    // or misses, and that is said.
    ASSERT_TRUE(model.setFilter({history::FilterSpec::Text, "heartbeat", true, {}, {}}));
    ASSERT_TRUE(settle(model));
    ASSERT_EQ(notices.size(), 2);
    EXPECT_TRUE(notices[1].contains("only the first 200 lines are filtered"))
        << notices[1].toStdString();
    const std::vector<QByteArray> lines = referenceLines(log);
    int64_t expected = 0;
    for (int i = 0; i < 200; ++i)
        expected += lines[size_t(i)].contains("heartbeat");
    EXPECT_EQ(model.matchCount(), expected);
    EXPECT_LT(model.nextMatch(199, false), 0);
}
