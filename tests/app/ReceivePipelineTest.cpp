#include <gtest/gtest.h>

#include <vector>

#include "app/ReceivePipeline.h"

namespace {

struct Added {
    QByteArray text;
    int type;
    bool line; // AddLine (true) or AddText (false)
    bool operator==(const Added&) const = default;
};

std::vector<Added> run(QByteArrayView chunk, LineFilters filters = {}) {
    std::vector<Added> out;
    ReceiveSink sink;
    sink.addLine = [&](QByteArrayView t, VOxaTerminal_LineType type, int64_t) {
        out.push_back({t.toByteArray(), type, true});
    };
    sink.addText = [&](QByteArrayView t, VOxaTerminal_LineType type, int64_t) {
        out.push_back({t.toByteArray(), type, false});
    };
    ProcessReceivedChunk(chunk, filters, sink);
    return out;
}

LineFilters filters(const char* f1, const char* f2 = "", bool strict = false) {
    return {FilterFromText(QString::fromLatin1(f1)), FilterFromText(QString::fromLatin1(f2)),
            strict};
}

constexpr int In = VOxaTerminal_ltInText;
constexpr int G = VOxaTerminal_ltExtraG;
constexpr int A = VOxaTerminal_ltExtraA;

} // namespace

TEST(ReceivePipeline, SplitsAtCarriageReturnsAndDropsLineFeeds) {
    EXPECT_EQ(run("OK\r\n"), (std::vector<Added>{{"OK", In, true}}));
    // Line feeds vanish wherever they stand, also inside a line.
    EXPECT_EQ(run("\nA\nB\r\n\nC"), (std::vector<Added>{{"AB", In, true}, {"C", In, false}}));
    EXPECT_EQ(run("\r\r"), (std::vector<Added>{{"", In, true}, {"", In, true}}));
    EXPECT_TRUE(run("\n\n\n").empty());
    EXPECT_TRUE(run("").empty());
    // A chunk without carriage return is partial text at once.
    EXPECT_EQ(run("AB"), (std::vector<Added>{{"AB", In, false}}));
}

TEST(ReceivePipeline, NothingIsCarriedOverBetweenChunks) {
    // "AB" then "C\r\n": the filter sees only C.
    EXPECT_EQ(run("AB", filters("ABC")), (std::vector<Added>{{"AB", In, false}}));
    EXPECT_EQ(run("C\r\n", filters("ABC")), (std::vector<Added>{{"C", In, true}}));
    EXPECT_EQ(run("C\r\n", filters("C")), (std::vector<Added>{{"C", G, true}}));
}

TEST(ReceivePipeline, BytesPassThroughUnchanged) {
    const QByteArray chunk("a\0b\x80\xff\r", 6);
    const auto out = run(chunk);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].text, QByteArray("a\0b\x80\xff", 5));
    // Filters compare bytes: case folding touches a-z only.
    EXPECT_TRUE(FilterMatches("\xe9t\xe9", "\xe9T"));
    EXPECT_FALSE(FilterMatches("\xe9t\xe9", "\xc9T"));
}

TEST(ReceivePipeline, PrefixAndContainsFilters) {
    EXPECT_TRUE(FilterMatches("JSR stuff", "jsr"));
    EXPECT_FALSE(FilterMatches("call jsr", "jsr"));
    EXPECT_TRUE(FilterMatches("some ERROR here", "%err"));
    EXPECT_TRUE(FilterMatches("eRr", "%err"));
    EXPECT_FALSE(FilterMatches("er r", "%err"));
    // A lone "%" finds nothing inside lines; only the prefix test, which comes
    // first and takes the filter whole, can still see a line starting with "%".
    EXPECT_FALSE(FilterMatches("anything", "%"));
    EXPECT_FALSE(FilterMatches("a % b", "%"));
    EXPECT_FALSE(FilterMatches("", "%"));
    EXPECT_TRUE(FilterMatches("%", "%"));
    // The prefix test takes the filter whole, "%" included.
    EXPECT_TRUE(FilterMatches("%ABCdef", "%abc"));
    EXPECT_TRUE(FilterMatches("xxabcxx", "%abc"));
    EXPECT_FALSE(FilterMatches("anything", ""));
    EXPECT_FALSE(FilterMatches("", "a"));
    // Only a-z fold: "[" and "{" differ by the same bit yet stay different.
    EXPECT_FALSE(FilterMatches("[x", "{"));
}

TEST(ReceivePipeline, FilterTextIsTrimmedOfControlCharactersAndBlanks) {
    EXPECT_EQ(FilterFromText(QStringLiteral(" \t jsr \r\n")), QByteArray("jsr"));
    EXPECT_EQ(FilterFromText(QString(QChar(0)) + "a b" + QChar(31)), QByteArray("a b"));
    EXPECT_TRUE(FilterFromText(QStringLiteral("  \t ")).isEmpty());
    EXPECT_EQ(run("jsr x\r", filters("  jsr  ")), (std::vector<Added>{{"jsr x", G, true}}));
}

TEST(ReceivePipeline, FilterOneWinsAndEachLineShowsOnce) {
    EXPECT_EQ(run("ERR 1\r", filters("ERR", "%1")), (std::vector<Added>{{"ERR 1", G, true}}));
    EXPECT_EQ(run("x 1\r", filters("ERR", "%1")), (std::vector<Added>{{"x 1", A, true}}));
    EXPECT_EQ(run("x 2\r", filters("ERR", "%1")), (std::vector<Added>{{"x 2", In, true}}));
}

TEST(ReceivePipeline, StrictDropsUnmatchedLinesButNotTheRest) {
    EXPECT_TRUE(run("\r\r", filters("", "", true)).empty());
    EXPECT_EQ(run("a\rERR\rtail", filters("err", "", true)),
              (std::vector<Added>{{"ERR", G, true}, {"tail", In, false}}));
}

TEST(ReceivePipeline, EachLineIsStampedWithTheReadTimeOfItsFirstByte) {
    // "AB\r\n" read at 100, "CD" at 107, "\r\nE" at 130: the second line began at 107.
    const std::vector<comm::ReadMark> marks = {{0, 100}, {4, 107}, {6, 130}};
    std::vector<std::pair<QByteArray, int64_t>> stamps;
    ReceiveSink sink;
    sink.addLine = [&](QByteArrayView t, VOxaTerminal_LineType, int64_t stamp) {
        stamps.emplace_back(t.toByteArray(), stamp);
    };
    sink.addText = sink.addLine;
    ProcessReceivedChunk("AB\r\nCD\r\n\r\nE", {}, sink, comm::ReadTimes(marks));
    EXPECT_EQ(stamps, (std::vector<std::pair<QByteArray, int64_t>>{
                          {"AB", 100}, {"CD", 107}, {"", 130}, {"E", 130}}))
        << "an empty line takes its carriage return's time; line feeds start no line";
    stamps.clear();
    ProcessReceivedChunk("x\r", {}, sink);
    EXPECT_EQ(stamps,
              (std::vector<std::pair<QByteArray, int64_t>>{{"x", comm::ReadTimes::Unknown}}))
        << "without read times the terminal's clock decides";
}

TEST(ReceivePipeline, LargeChunkIsSplitCompletely) {
    QByteArray chunk;
    for (int i = 0; i < 20000; ++i)
        chunk += "L\r\n";
    chunk += "end";
    const auto out = run(chunk);
    ASSERT_EQ(out.size(), 20001u);
    EXPECT_EQ(out.back(), (Added{"end", In, false}));
}
