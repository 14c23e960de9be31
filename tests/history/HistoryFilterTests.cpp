// The filter against a plain line-by-line reference on generated logs, and
// patterns that cannot be used or that would take a backtracking engine
// forever.
#include <re2/re2.h>

#include "HistoryTestSupport.h"
#include "history/LineMatcher.h"

using namespace historytest;
using history::FilterSpec;
using history::HistoryModel;

namespace {

// Latin-1 folding for the reference: A-Z and the accented capitals.
char fold(char c) {
    const auto u = uint8_t(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        return char(u | 0x20);
    return c;
}

bool referenceMatch(const FilterSpec& query, const QByteArray& line) {
    const QByteArray text = query.text.toLatin1();
    if (query.kind == FilterSpec::Text) {
        if (query.matchCase)
            return line.contains(text);
        QByteArray a = line, b = text;
        for (char& c : a)
            c = fold(c);
        for (char& c : b)
            c = fold(c);
        return a.contains(b);
    }
    RE2::Options o;
    o.set_encoding(RE2::Options::EncodingLatin1);
    o.set_case_sensitive(query.matchCase);
    RE2 re(text.toStdString(), o);
    return RE2::PartialMatch(re2::StringPiece(line.constData(), size_t(line.size())), re);
}

// The matching rows in the numbering of all lines.
std::vector<int64_t> matchedLines(const HistoryModel& model) {
    std::vector<int64_t> out;
    for (int64_t r = 0; r < model.rowCount(); ++r)
        out.push_back(model.allRowOf(r));
    return out;
}

} // namespace

TEST(HistoryFilter, MatchesEqualALineByLineReference) {
    QTemporaryDir dir;
    // Over 4 MB, so that the work is split and read in several blocks.
    const QByteArray log =
        sessionLog(70000) +
        record(70000, "+ ", "the end? no: the end is here, no line break at the end");
    const QString path = dir.filePath("big.log");
    writeFile(path, log);
    const std::vector<QByteArray> lines = referenceLines(log);
    HistoryModel model;
    ASSERT_TRUE(model.addFile(path));
    model.setOnlyMatching(true);
    const std::vector<FilterSpec> queries = {
        {FilterSpec::Text, "NullPointerException", true, {}, {}},
        {FilterSpec::Text, "nullpointerexception", true, {}, {}}, // no match with match case
        {FilterSpec::Text, "CAFé ÉTÉ", false, {}, {}},            // Latin-1 letters in either case
        {FilterSpec::Text, "heartbeat", false, {}, {}},           // about half of the lines
        {FilterSpec::Text, "end", false, {}, {}},                 // the unterminated last line
        {FilterSpec::Regex, "heartbeat [0-9]{3},", true, {}, {}},
        {FilterSpec::Regex, "bytes$", true, {}, {}},   // the line ends before its CR LF
        {FilterSpec::Regex, "MARK --.", true, {}, {}}, // "." does not take the CR
        {FilterSpec::Regex, "^2026.*ERROR", false, {}, {}},
        {FilterSpec::Regex, "straß[0-9]+$", false, {}, {}},
        // Required texts are looked for first: never a part that may be missing.
        {FilterSpec::Regex, "Null(Pointer)?Exception at", true, {}, {}},
        {FilterSpec::Regex, "heartbeat 1?2\\d, free", true, {}, {}},
        {FilterSpec::Regex, "DEBUG demo\\.App - heart", false, {}, {}},
        {FilterSpec::Regex, "zzz|MARK", true, {}, {}},
        {FilterSpec::Regex, "y 1{1,2}[0-9]", true, {}, {}},
        {FilterSpec::Regex, "\\x4e\\x75llPointer", true, {}, {}},
        // A text that begins every match: each place it occurs is tried, in
        // either case for Latin-1 letters too.
        {FilterSpec::Regex, "the end[ a-z]+here", true, {}, {}},
        {FilterSpec::Regex, "ÉTÉ [a-z]+ß[0-9]*7$", false, {}, {}},
        {FilterSpec::Regex, "NULLPOINTER[a-z]+ at", false, {}, {}},
    };
    for (const FilterSpec& query : queries) {
        ASSERT_TRUE(model.setFilter(query)) << query.text.toStdString();
        ASSERT_TRUE(settle(model));
        std::vector<int64_t> expected;
        for (size_t i = 0; i < lines.size(); ++i)
            if (referenceMatch(query, lines[i]))
                expected.push_back(int64_t(i));
        EXPECT_EQ(matchedLines(model), expected) << query.text.toStdString();
        EXPECT_EQ(model.matchCount(), int64_t(expected.size()));
    }
    // The main window's filters: a prefix of the data, or "%" and a text
    // anywhere in it, a to z without case; either filter.
    FilterSpec main;
    main.kind = FilterSpec::MainFilters;
    main.filter1 = "  [NET] error ";
    main.filter2 = "%-- mark";
    ASSERT_TRUE(model.setFilter(main));
    ASSERT_TRUE(settle(model));
    std::vector<int64_t> expected;
    for (size_t i = 0; i < lines.size(); ++i) {
        const QByteArray data = lines[i].mid(int(lines[i].indexOf(": ")) + 2);
        const QByteArray rest = data.mid(int(data.indexOf(' ')) + 1).toUpper();
        if (rest.startsWith("[NET] ERROR") || rest.contains("-- MARK"))
            expected.push_back(int64_t(i));
    }
    EXPECT_EQ(matchedLines(model), expected);
}

TEST(HistoryFilter, AnInvalidPatternKeepsTheLastGoodFilterAndACatastrophicOneFinishes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.log");
    // Lines of 100 KB of "a" that end in "b": a backtracking engine tries
    // every split of the a's for (a+)+$ on each.
    QByteArray log = sessionLog(200);
    for (int i = 0; i < 20; ++i)
        log += record(200 + i, "+ ", QByteArray(100000, 'a') + "b");
    log += record(220, "+ ", QByteArray(100000, 'a'));
    writeFile(path, log);
    HistoryModel model;
    ASSERT_TRUE(model.addFile(path));
    ASSERT_TRUE(model.setFilter({FilterSpec::Regex, "ERROR", true, {}, {}}));
    ASSERT_TRUE(settle(model));
    const int64_t errors = model.matchCount();
    ASSERT_GT(errors, 0);

    history::FilterError error;
    EXPECT_FALSE(model.setFilter({FilterSpec::Regex, "heart[beat", true, {}, {}}, &error));
    EXPECT_FALSE(error.what.isEmpty());
    EXPECT_EQ(error.position, 5);
    EXPECT_FALSE(model.setFilter({FilterSpec::Text, "čas", false, {}, {}}, &error));
    EXPECT_EQ(error.position, 0);
    EXPECT_EQ(model.filter().text, QString("ERROR"));
    EXPECT_EQ(model.matchCount(), errors);

    model.setOnlyMatching(true);
    ASSERT_TRUE(model.setFilter({FilterSpec::Regex, "(a+)+$", true, {}, {}}));
    ASSERT_TRUE(settle(model));
    ASSERT_EQ(model.matchCount(), 1);
    EXPECT_EQ(model.allRowOf(0), 220);
}

TEST(HistoryFilter, ALiveLogsNewLinesMatchAtOnceWhileALongFilterRuns) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Dralvo_2026-12-07.log");
    // Large enough that the filter is split among the workers and still at
    // work when the new lines come.
    QByteArray log;
    for (int part = 0; part < 8; ++part)
        log += sessionLog(60000, part + 1);
    writeFile(path, log);
    HistoryModel model;
    ASSERT_TRUE(model.addFile(path));
    ASSERT_TRUE(settle(model));
    model.setOnlyMatching(true);
    const FilterSpec query{FilterSpec::Text, "NullPointerException", true, {}, {}};
    ASSERT_TRUE(model.setFilter(query));

    // The logger appends; the next look at the file shows the new matches as
    // the last rows, whether or not the run over the rest is done.
    const QByteArray more = record(1, "EG ", "NullPointerException live one") +
                            record(2, "+ ", "heartbeat") +
                            record(3, "EG ", "NullPointerException live two");
    writeFile(path, more, true);
    model.refresh();
    ASSERT_GE(model.rowCount(), 2);
    EXPECT_TRUE(model.rowText(model.rowCount() - 2, 100).endsWith("live one"));
    EXPECT_TRUE(model.rowText(model.rowCount() - 1, 100).endsWith("live two"));

    // Once all is done: every match once, in the file's order.
    ASSERT_TRUE(settle(model));
    std::vector<int64_t> expected;
    const std::vector<QByteArray> lines = referenceLines(log + more);
    for (size_t i = 0; i < lines.size(); ++i)
        if (referenceMatch(query, lines[i]))
            expected.push_back(int64_t(i));
    EXPECT_EQ(matchedLines(model), expected);
}

TEST(HistoryFilter, AFileCutShortOrReplacedWhileFilteredGivesTheNewFilesMatches) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Dralvo_2026-12-07.log");
    QByteArray log;
    for (int part = 0; part < 8; ++part)
        log += sessionLog(60000, part + 1);
    writeFile(path, log);
    HistoryModel model;
    ASSERT_TRUE(model.addFile(path));
    ASSERT_TRUE(settle(model));
    model.setOnlyMatching(true);
    const auto expectedFor = [](const FilterSpec& query, const QByteArray& bytes) {
        std::vector<int64_t> out;
        const std::vector<QByteArray> lines = referenceLines(bytes);
        for (size_t i = 0; i < lines.size(); ++i)
            if (referenceMatch(query, lines[i]))
                out.push_back(int64_t(i));
        return out;
    };

    // Rewritten shorter while the workers read it: the pages they read go
    // away under them, and what is left is another log.
    const FilterSpec text{FilterSpec::Text, "heartbeat", true, {}, {}};
    const QByteArray shorter = sessionLog(20000, 9);
    ASSERT_TRUE(model.setFilter(text));
    writeFile(path, shorter);
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(matchedLines(model), expectedFor(text, shorter));

    // Grown again, then the name given to another file while a pattern with a
    // required text is matched.
    writeFile(path, log);
    ASSERT_TRUE(settle(model));
    const FilterSpec regex{FilterSpec::Regex, "heartbeat [0-9]+, free memory 1", true, {}, {}};
    const QByteArray other = sessionLog(30000, 10);
    writeFile(dir.filePath("other.log"), other);
    ASSERT_TRUE(model.setFilter(regex));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(dir.filePath("other.log"), path));
    ASSERT_TRUE(settle(model));
    EXPECT_EQ(matchedLines(model), expectedFor(regex, other));
}
