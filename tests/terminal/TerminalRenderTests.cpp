// The display arithmetic without widgets: headers, chunk rendering, counters,
// the trimming rule and the send history list.
#include <gtest/gtest.h>
#include <utility>

#include "terminal/TerminalRender.h"

using namespace terminal;

namespace {

RenderedChunk render(int lineType, const QByteArray& data, bool newLine = true,
                     const QString& header = QString(), int maxCharsPerLine = 500,
                     bool closePrevious = false, bool crlf = false) {
    RenderRequest r;
    r.row = &LineTypeInfo(lineType);
    r.data = reinterpret_cast<const unsigned char*>(data.constData());
    r.count = int(data.size());
    r.newLine = newLine;
    r.closePrevious = closePrevious;
    r.header = header;
    r.maxCharsPerLine = maxCharsPerLine;
    r.crlf = crlf;
    return RenderChunk(r);
}

} // namespace

TEST(TerminalRender, HeaderShapes) {
    const QString t = QStringLiteral("15:05:07.042");
    EXPECT_EQ(FormatLineHeader({votsoShowLineCounts, votsoShowTimes}, 1, t),
              QStringLiteral("   1 @ 15:05:07.042: "));
    EXPECT_EQ(FormatLineHeader({votsoShowLineCounts}, 12345, t), QStringLiteral("12345: "));
    EXPECT_EQ(FormatLineHeader({votsoShowTimes}, 7, t), QStringLiteral("15:05:07.042: "));
    EXPECT_EQ(FormatLineHeader({}, 7, t), QString());
}

TEST(TerminalRender, TimeOfDayTextHasNoLeadingHourZero) {
    TimeTextCache cache;
    const int64_t morning = ((9 * 60 + 5) * 60 + 7) * 1000LL + 42;
    EXPECT_EQ(cache.text(morning), QStringLiteral("9:05:07.042"));
    EXPECT_EQ(cache.text(morning + 6 * 3600000LL), QStringLiteral("15:05:07.042"));
    // A later day gives the same time of day.
    EXPECT_EQ(cache.text(morning + 3 * 86400000LL), QStringLiteral("9:05:07.042"));
}

TEST(TerminalRender, CountersAdvancePerTypeAndWrap) {
    LineCounters c;
    EXPECT_EQ(c.next(4), 1);
    EXPECT_EQ(c.next(4), 2);
    EXPECT_EQ(c.next(11), 1);
    EXPECT_EQ(c.value(4), 2);
    for (int i = 2; i < 999999; ++i)
        c.next(4);
    EXPECT_EQ(c.value(4), 999999);
    EXPECT_EQ(c.next(4), 0);
    EXPECT_EQ(c.next(4), 1);
    c.reset();
    EXPECT_EQ(c.value(11), 0);
}

TEST(TerminalRender, TextModeEscapesInEscapeColour) {
    const RenderedChunk c = render(VOxaTerminal_ltInText, QByteArray("a\r\x01z\x7F\x80", 6), true,
                                   QStringLiteral("H: "));
    EXPECT_EQ(c.text, QStringLiteral("H: + a<#0D><#01>z\x7F<#80>"));
    ASSERT_EQ(c.runs.size(), 2u);
    // Consecutive escapes form one run.
    EXPECT_EQ(c.runs[0].start, 6);
    EXPECT_EQ(c.runs[0].length, 10);
    EXPECT_EQ(c.runs[0].color, qRgb(0, 0, 0));
    EXPECT_EQ(c.runs[1].start, 18);
    EXPECT_EQ(c.runs[1].length, 5);
    // ltInLine draws text black and escapes blue.
    const RenderedChunk line = render(VOxaTerminal_ltInLine, QByteArray("\t"), false);
    ASSERT_EQ(line.runs.size(), 1u);
    EXPECT_EQ(line.runs[0].color, qRgb(0, 0, 0xFF));
}

TEST(TerminalRender, HexAndRawModes) {
    const RenderedChunk hex = render(VOxaTerminal_ltInBin, QByteArray("A\r\xFF", 3));
    EXPECT_EQ(hex.text, QStringLiteral("+ # 41 0D FF"));
    EXPECT_TRUE(hex.runs.empty());
    // Raw: a CR LF pair, a lone CR and a lone LF each make one line break.
    const RenderedChunk raw = render(VOxaTerminal_ltExtraA, QByteArray("a\r\nb\rc\nd"));
    EXPECT_EQ(raw.text, QStringLiteral("E a\nb\nc\nd"));
    EXPECT_TRUE(raw.runs.empty());
    // The raw copy keeps the bytes and writes inserted breaks as CR LF.
    const RenderedChunk copy =
        render(VOxaTerminal_ltExtraA, QByteArray("a\rb"), true, QString(), 500, true, true);
    EXPECT_EQ(copy.text, QStringLiteral("\r\nE a\rb"));
    const RenderedChunk shown =
        render(VOxaTerminal_ltOutText, QByteArray("x"), true, QString(), 500, true, false);
    EXPECT_EQ(shown.text, QStringLiteral("\n - x"));
}

TEST(TerminalRender, LongLineBreaksAfterMaxCharsPerLine) {
    const QByteArray data(1000, 'x');
    const RenderedChunk c =
        render(VOxaTerminal_ltInText, data, true, QStringLiteral("15:05:07.042: "));
    const QStringList lines = c.text.split(u'\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].size(), 501);
    EXPECT_EQ(lines[1].size(), 501);
    EXPECT_EQ(lines[2].size(), 14);
    EXPECT_EQ(c.endColumn, 14);
    // A continued line starts at the column it is given.
    const RenderedChunk more = render(VOxaTerminal_ltInText, QByteArray("abc"), false, {}, 500);
    EXPECT_EQ(more.text, QStringLiteral("abc"));
    RenderRequest r;
    r.row = &LineTypeInfo(VOxaTerminal_ltInText);
    const QByteArray two("ab");
    r.data = reinterpret_cast<const unsigned char*>(two.constData());
    r.count = 2;
    r.startColumn = 501;
    EXPECT_EQ(RenderChunk(r).text, QStringLiteral("\nab"));
}

TEST(TerminalRender, ModelCountsLinesAndStarts) {
    DisplayModel m;
    EXPECT_EQ(m.lineCount(), 0);
    m.append(QStringLiteral("ab\ncde\n"));
    EXPECT_EQ(m.lineCount(), 2); // the final empty line is not counted
    EXPECT_EQ(m.textLength(), 7);
    EXPECT_EQ(m.lineStart(1), 3);
    EXPECT_EQ(m.lineStart(2), 7);
    m.append(QStringLiteral("f"));
    EXPECT_EQ(m.lineCount(), 3);
    EXPECT_EQ(m.lastLineLength(), 1);
    EXPECT_EQ(m.removeTopLines(1), 3);
    EXPECT_EQ(m.textLength(), 5);
    EXPECT_EQ(m.lineStart(1), 4);
}

TEST(TerminalRender, LineLimitKeepsNinetyPercent) {
    DisplayModel m;
    for (int i = 0; i < 1101; ++i)
        m.append(QStringLiteral("line\n"));
    const TrimDecision d = m.decideTrim(5, 1100, 1000000);
    EXPECT_EQ(d.lines, 111);
    EXPECT_EQ(d.chars, 111 * 5);
    // At the limit nothing is trimmed.
    DisplayModel full;
    for (int i = 0; i < 1100; ++i)
        full.append(QStringLiteral("line\n"));
    EXPECT_EQ(full.decideTrim(5, 1100, 1000000).lines, 0);
}

TEST(TerminalRender, CharLimitDropsWholeLinesUntilTheChunkFits) {
    DisplayModel m;
    for (int i = 0; i < 10; ++i)
        m.append(QStringLiteral("123456789\n")); // 10 lines of 10 characters
    // 100 + 25 > 110: two whole lines must go (the 90% rule keeps up to 450000).
    TrimDecision d = m.decideTrim(25, 500000, 110);
    EXPECT_EQ(d.lines, 2);
    EXPECT_EQ(d.chars, 20);
    // A chunk larger than the limit empties everything.
    d = m.decideTrim(500, 500000, 110);
    EXPECT_EQ(d.lines, 10);
    EXPECT_EQ(d.chars, 100);
    EXPECT_EQ(m.removeTopLines(d.lines), 100);
    EXPECT_EQ(m.textLength(), 0);
    // An open last line is removed with the rest when it has to go.
    DisplayModel open;
    open.append(QStringLiteral("aaaa\nbbbb"));
    d = open.decideTrim(200, 500000, 100);
    EXPECT_EQ(d.lines, 2);
    EXPECT_EQ(d.chars, 9);
    EXPECT_EQ(open.removeTopLines(d.lines), 9);
    EXPECT_EQ(open.lineCount(), 0);
}

TEST(TerminalRender, HistoryIsUniqueCaseInsensitiveAndBounded) {
    QStringList h;
    EXPECT_FALSE(AddToHistory(h, QString()));
    EXPECT_TRUE(AddToHistory(h, QStringLiteral("at")));
    EXPECT_TRUE(AddToHistory(h, QStringLiteral("AT")));
    EXPECT_EQ(h, QStringList{QStringLiteral("AT")});
    EXPECT_FALSE(AddToHistory(h, QStringLiteral("AT"))); // already first: unchanged
    EXPECT_EQ(h, QStringList{QStringLiteral("AT")});
    EXPECT_TRUE(AddToHistory(h, QStringLiteral("b")));
    EXPECT_TRUE(AddToHistory(h, QStringLiteral("at")));
    EXPECT_EQ(h, (QStringList{QStringLiteral("at"), QStringLiteral("b")}));

    QStringList twenty;
    for (int i = 0; i < 20; ++i)
        twenty.prepend(QString::number(i));
    EXPECT_TRUE(AddToHistory(twenty, QStringLiteral("new")));
    EXPECT_EQ(twenty.size(), 21);
    EXPECT_TRUE(AddToHistory(twenty, QStringLiteral("newer")));
    EXPECT_EQ(twenty.size(), 21);
    EXPECT_EQ(twenty.first(), QStringLiteral("newer"));
    EXPECT_FALSE(twenty.contains(QStringLiteral("0"))); // the oldest went
    EXPECT_TRUE(twenty.contains(QStringLiteral("1")));
}

TEST(TerminalRender, TableCheckNamesThePositionAndWhatItHolds) {
    EXPECT_TRUE(LineTypeTableErrors(LineTypeTable.data(), VOxaTerminal_LineTypeCount).isEmpty());
    auto rows = LineTypeTable;
    std::swap(rows[4], rows[5]);
    EXPECT_EQ(
        LineTypeTableErrors(rows.data(), VOxaTerminal_LineTypeCount),
        (QStringList{
            QStringLiteral("err in [4 (VOxaTerminal_ltInText)].check=VOxaTerminal_ltOutText"),
            QStringLiteral("err in [5 (VOxaTerminal_ltOutText)].check=VOxaTerminal_ltInText")}));
}
