// The terminal component's display path through the real text view.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

#include "platform/Ticks.h"
#include "terminal/TerminalWindow.h"
#include "terminal/VOxaTerminal.h"
#include "util/TimeText.h"

namespace {

const int64_t kClock = QDateTime(QDate(2026, 12, 8), QTime(15, 5, 7, 42)).toMSecsSinceEpoch();

struct Fixture {
    QWidget owner;
    VOxaTerminal* term;
    Fixture() {
        term = new VOxaTerminal(&owner);
        term->SetName(QStringLiteral("termData"));
        term->SetClock([] { return kClock; });
    }
    QString text() {
        term->FlushDisplay();
        return term->RichEdit()->toPlainText();
    }
    QStringList lines() {
        QStringList l = text().split(u'\n');
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }
    QRgb colorAt(int position) {
        term->FlushDisplay();
        QTextCursor c(term->RichEdit()->document());
        c.setPosition(position + 1); // the format of the character before the cursor
        return c.charFormat().foreground().color().rgb();
    }
};

} // namespace

TEST(TerminalDisplay, TimedLinesHaveHeaderPrefixAndColour) {
    Fixture f;
    f.term->SetShowOptions({votsoShowTimes});
    f.term->AddLine("abc", VOxaTerminal_ltInText);
    f.term->AddLine("abc", VOxaTerminal_ltInText);
    const QStringList lines = f.lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("15:05:07.042: + abc"));
    EXPECT_EQ(lines[1], QStringLiteral("15:05:07.042: + abc"));
    EXPECT_EQ(f.colorAt(0), qRgb(0, 0, 0xFF));
    EXPECT_EQ(f.colorAt(int(lines[0].size()) + 5), qRgb(0, 0, 0xFF));
    EXPECT_EQ(f.term->LastLineType(), VOxaTerminal_lt_NoType);
}

TEST(TerminalDisplay, PiecesJoinUntilTheTypeChanges) {
    Fixture f;
    f.term->SetShowOptions({votsoShowTimes});
    f.term->AddText("ab", VOxaTerminal_ltInText);
    f.term->AddLine("cd", VOxaTerminal_ltInText);
    EXPECT_EQ(f.lines(), QStringList{QStringLiteral("15:05:07.042: + abcd")});

    f.term->Clear();
    f.term->SetShowOptions({});
    f.term->AddText("ab", VOxaTerminal_ltInText);
    f.term->AddLine("x", VOxaTerminal_ltExtraA);
    EXPECT_EQ(f.lines(), (QStringList{QStringLiteral("+ ab"), QStringLiteral("E x")}));
    EXPECT_EQ(f.colorAt(5), qRgb(0, 0x80, 0xFF));
}

TEST(TerminalDisplay, CountersAdvanceOnlyWhenALineOfTheirTypeBegins) {
    Fixture f;
    f.term->SetShowOptions({votsoShowLineCounts, votsoShowTimes});
    f.term->AddLine("a", VOxaTerminal_ltInText);
    f.term->AddText("b", VOxaTerminal_ltInText);
    f.term->AddText("c", VOxaTerminal_ltInText);
    f.term->EndLine();
    f.term->AddLine("m", VOxaTerminal_ltExtraA);
    f.term->AddLine("d", VOxaTerminal_ltInText);
    EXPECT_EQ(f.lines(), (QStringList{QStringLiteral("   1 @ 15:05:07.042: + a"),
                                      QStringLiteral("   2 @ 15:05:07.042: + bc"),
                                      QStringLiteral("   1 @ 15:05:07.042: E m"),
                                      QStringLiteral("   3 @ 15:05:07.042: + d")}));
    f.term->Clear();
    EXPECT_EQ(f.text(), QString());
    f.term->AddLine("a", VOxaTerminal_ltInText);
    EXPECT_EQ(f.lines().value(0), QStringLiteral("   1 @ 15:05:07.042: + a"));
}

TEST(TerminalDisplay, CarriageReturnPerMode) {
    Fixture f;
    f.term->AddLine(QByteArray("a\rb"), VOxaTerminal_ltInText);
    EXPECT_EQ(f.lines().value(0), QStringLiteral("+ a<#0D>b"));
    EXPECT_EQ(f.colorAt(2), qRgb(0, 0, 0xFF));
    EXPECT_EQ(f.colorAt(3), qRgb(0, 0, 0));
    EXPECT_EQ(f.colorAt(7), qRgb(0, 0, 0));
    EXPECT_EQ(f.colorAt(8), qRgb(0, 0, 0xFF));

    f.term->Clear();
    f.term->AddLine(QByteArray("a\rb"), VOxaTerminal_ltExtraA);
    EXPECT_EQ(f.lines(), (QStringList{QStringLiteral("E a"), QStringLiteral("b")}));

    f.term->Clear();
    f.term->AddLine(QByteArray("\r"), VOxaTerminal_ltInBin);
    EXPECT_EQ(f.lines(), QStringList{QStringLiteral("+ # 0D")});
}

TEST(TerminalDisplay, LongLinesAreBroken) {
    Fixture f;
    f.term->SetShowOptions({votsoShowTimes});
    f.term->AddLine(QByteArray(1000, 'x'), VOxaTerminal_ltInText);
    const QStringList lines = f.lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].size(), 501);
    EXPECT_EQ(lines[1].size(), 501);
    EXPECT_EQ(lines[2].size(), 14);
}

TEST(TerminalDisplay, LineLimitRemovesTheOldestTenth) {
    Fixture f;
    f.term->SetShowOptions({votsoShowLineCounts});
    for (int i = 0; i < 1100; ++i)
        f.term->AddLine("x", VOxaTerminal_ltInText);
    EXPECT_EQ(f.lines().size(), 1100);
    f.term->AddLine("x", VOxaTerminal_ltInText); // finds 1101 lines: 111 go
    const QStringList lines = f.lines();
    EXPECT_EQ(lines.size(), 990);
    EXPECT_EQ(lines.first(), QStringLiteral(" 112: + x"));
    EXPECT_EQ(lines.last(), QStringLiteral("1101: + x"));
}

TEST(TerminalDisplay, CharLimitKeepsWholeNewestLines) {
    Fixture f;
    f.term->SetMaxLines(500000);
    const QByteArray line(60, 'y');
    for (int i = 0; i < 2000; ++i)
        f.term->AddLine(QByteArray::number(i) + line, VOxaTerminal_ltInText);
    const QString text = f.text();
    EXPECT_LE(text.size(), 65535);
    EXPECT_GT(text.size(), 65535 - 70);
    EXPECT_TRUE(text.endsWith(QStringLiteral("+ 1999") + QString(line) + u'\n'));
    EXPECT_TRUE(text.startsWith(QStringLiteral("+ "))); // whole lines only
    // A chunk longer than the limit empties the display and is inserted whole.
    f.term->SetMaxChars(1000);
    f.term->AddText(QByteArray(400, 'a') + QByteArray(400, 'b') + QByteArray(400, 'c'),
                    VOxaTerminal_ltExtraA);
    const QString big = f.text();
    EXPECT_TRUE(big.startsWith(QStringLiteral("E aaa")));
    EXPECT_EQ(big.count(u'c'), 400);
    EXPECT_EQ(big.size(), 2 + 1200 + 2); // prefix, data and two inserted breaks
}

TEST(TerminalDisplay, GatheredAddsEqualAddsOneByOne) {
    Fixture gathered, single;
    for (Fixture* f : {&gathered, &single}) {
        f->term->SetShowOptions({votsoShowLineCounts});
        f->term->SetMaxLines(50);
        f->term->SetMaxChars(900);
    }
    auto feed = [](VOxaTerminal* t, int i) {
        switch (i % 4) {
        case 0:
            t->AddLine(QByteArray("line ") + QByteArray::number(i), VOxaTerminal_ltInText);
            break;
        case 1:
            t->AddText(QByteArray("part\r") + QByteArray::number(i), VOxaTerminal_ltInText);
            break;
        case 2:
            t->AddData("\x01\x02", 2, VOxaTerminal_ltOutBin);
            break;
        default:
            t->AddLine(QByteArray(i % 90, 'z') + "\r\nq", VOxaTerminal_ltExtraG);
        }
    };
    for (int i = 0; i < 400; ++i) {
        feed(gathered.term, i);
        feed(single.term, i);
        single.term->FlushDisplay();
    }
    EXPECT_EQ(gathered.text(), single.text());
    QTextDocument* a = gathered.term->RichEdit()->document();
    QTextDocument* b = single.term->RichEdit()->document();
    ASSERT_EQ(a->characterCount(), b->characterCount());
    for (int p = 1; p < a->characterCount(); p += 7) {
        QTextCursor ca(a), cb(b);
        ca.setPosition(p);
        cb.setPosition(p);
        ASSERT_EQ(ca.charFormat().foreground().color(), cb.charFormat().foreground().color())
            << "at " << p;
    }
}

TEST(TerminalDisplay, FocusedViewAndSelectionStaySteady) {
    Fixture f;
    f.owner.show();
    TerminalWindow* w = f.term->Form();
    w->show();
    QApplication::setActiveWindow(w);
    QPlainTextEdit* edit = f.term->RichEdit();
    f.term->SetMaxLines(200);
    for (int i = 0; i < 150; ++i)
        f.term->AddLine(QByteArray("line ") + QByteArray::number(i), VOxaTerminal_ltInText);
    f.term->FlushDisplay();
    edit->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(edit->hasFocus());

    // The operator scrolls up and selects a word in line 120.
    edit->verticalScrollBar()->setValue(115);
    QTextBlock block = edit->document()->findBlockByNumber(120);
    QTextCursor sel(block);
    sel.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    edit->setTextCursor(sel);
    edit->verticalScrollBar()->setValue(115);
    const QString selected = edit->textCursor().selectedText();
    const QString topText = edit->document()->findBlockByNumber(115).text();
    ASSERT_EQ(selected, QStringLiteral("+ line 120"));

    // 60 more lines: trimming removes 30 lines above the view.
    for (int i = 150; i < 210; ++i)
        f.term->AddLine(QByteArray("line ") + QByteArray::number(i), VOxaTerminal_ltInText);
    f.term->FlushDisplay();
    EXPECT_LT(edit->document()->blockCount(), 200);
    EXPECT_EQ(edit->textCursor().selectedText(), selected);
    const int top = edit->verticalScrollBar()->value();
    EXPECT_EQ(edit->document()->findBlockByNumber(top).text(), topText);

    // Without the focus the view scrolled up stays too.
    f.owner.setFocus();
    w->ClearButton()->setFocus();
    QApplication::processEvents();
    f.term->AddLine("newer", VOxaTerminal_ltInText);
    f.term->FlushDisplay();
    EXPECT_EQ(edit->verticalScrollBar()->value(), top);
    EXPECT_EQ(edit->textCursor().selectedText(), selected);

    // Back at the end, it follows the newest line again.
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
    f.term->AddLine("newest", VOxaTerminal_ltInText);
    f.term->FlushDisplay();
    EXPECT_FALSE(edit->textCursor().hasSelection());
    EXPECT_EQ(edit->textCursor().position(), edit->document()->characterCount() - 1);
    // The caret's line is the last one in view, at the bottom of the view.
    const QRect caret = edit->cursorRect();
    const QRect view = edit->viewport()->rect();
    EXPECT_TRUE(view.contains(caret.center()));
    EXPECT_GT(caret.bottom(), view.height() - 2 * caret.height());
}

TEST(TerminalDisplay, FrozenAddsChangeNothingButTheLineIsStillEnded) {
    Fixture f;
    f.term->AddText("open", VOxaTerminal_ltInText);
    f.term->SetIgnoreAddChars(true);
    f.term->AddLine("hidden", VOxaTerminal_ltExtraA);
    EXPECT_EQ(f.text(), QStringLiteral("+ open\n"));
    EXPECT_EQ(f.term->LineCounter(VOxaTerminal_ltExtraA), 0);
    f.term->SetIgnoreAddChars(false);
    f.term->AddData("", 0, VOxaTerminal_ltExtraA); // a count of 0 does nothing
    EXPECT_EQ(f.term->LastLineType(), VOxaTerminal_lt_NoType);
    f.term->AddLine("", VOxaTerminal_ltExtraA); // nothing open: nothing to end
    EXPECT_EQ(f.text(), QStringLiteral("+ open\n"));
}

TEST(TerminalDisplay, TimingFieldsShowMillisecondsBetweenAdds) {
    uint32_t now = 100000;
    platform::setTickSource([&] { return now; });
    Fixture f;
    f.term->Loaded();
    f.term->AddLine("in", VOxaTerminal_ltInText);
    now += 250;
    f.term->AddLine("out", VOxaTerminal_ltOutText);
    now += 40;
    f.term->AddLine("status", VOxaTerminal_ltExtraA); // changes neither field
    f.term->FlushDisplay();
    EXPECT_EQ(f.term->Form()->DebugInTime()->text(), QStringLiteral("2000"));
    EXPECT_EQ(f.term->Form()->DebugOutTime()->text(), QStringLiteral("250"));
    EXPECT_EQ(f.term->LastAddTick(), 100250u);
    platform::setTickSource({});
}

TEST(TerminalDisplay, WithoutAWindowOnlyTheLoggerWorks) {
    QTemporaryDir dir;
    VOxaTerminal term(nullptr);
    EXPECT_EQ(term.RichEdit(), nullptr);
    // Logger properties at their "no logger" values create nothing.
    term.SetLoggerNamingStyle(volnfOnOpen);
    term.SetLoggerOpenFlags(0x80000000u);
    term.SetLoggerFilename(QString());
    EXPECT_EQ(term.Logger(), nullptr);
    EXPECT_EQ(term.LoggerOpenFlags(), 0x80000000u);
    const QString file = dir.filePath(QStringLiteral("t.log"));
    term.SetLoggerFilename(file);
    ASSERT_NE(term.Logger(), nullptr);
    EXPECT_EQ(term.LoggerNamingStyle(), volnfOnOpen);
    term.SetLoggerNamingStyle(volnfExact);
    term.SetLoggerOpenFlags(0);
    term.AddLine(QByteArray("a\rb"), VOxaTerminal_ltInText);
    term.AddLine("x", VOxaTerminal_ltExtraA);
    term.FlushDisplay();
    QFile log(file);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray content = log.readAll();
    // The logger gets the bytes, not the display's rendering.
    EXPECT_TRUE(content.contains(": + a<#0D>b\r\n")) << content.constData();
    EXPECT_TRUE(content.contains(": A x\r\n")) << content.constData();
    EXPECT_FALSE(content.contains("E x"));
}

TEST(TerminalDisplay, StampedLinesShowAndLogTheTimeOfTheirFirstPiece) {
    // Data stamped when they were read, handed over later: the header and the
    // record carry the stamp, and a stamp of the next day files its record there.
    QTemporaryDir dir;
    Fixture f; // its own clock says 15:05:07.042 of another day
    f.term->SetShowOptions({votsoShowTimes});
    f.term->SetLoggerFilename(dir.filePath(QStringLiteral("Dralvo_*.log")));
    f.term->SetLoggerNamingStyle(volnfDaily);
    const auto at = [](int day, int h, int m, int s, int ms) {
        return QDateTime(QDate(2026, 12, day), QTime(h, m, s, ms)).toMSecsSinceEpoch();
    };
    f.term->AddText("ab", VOxaTerminal_ltInText, at(9, 23, 59, 59, 904));
    f.term->AddLine("cd", VOxaTerminal_ltInText, at(9, 23, 59, 59, 990));
    f.term->AddLine("next", VOxaTerminal_ltInText, at(10, 0, 0, 0, 12));
    f.term->AddLine("own", VOxaTerminal_ltExtraA);
    const QStringList lines = f.lines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("23:59:59.904: + abcd"));
    EXPECT_EQ(lines[1], QStringLiteral("0:00:00.012: + next"));
    EXPECT_EQ(lines[2], QStringLiteral("15:05:07.042: E own")) << "unstamped: the clock";
    f.term->Logger()->Close();
    const QByteArray sep = LocaleTimeSeparator().toLatin1();
    const auto stamp = [&](const char* date, const char* h, const char* m, const char* s) {
        return QByteArray(date) + ' ' + h + sep + m + sep + s;
    };
    QFile first(dir.filePath(QStringLiteral("Dralvo_2026-12-09.log")));
    QFile second(dir.filePath(QStringLiteral("Dralvo_2026-12-10.log")));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), stamp("2026-12-09", "23", "59", "59") + ".904: + abcd\r\n");
    const QByteArray next = second.readAll();
    EXPECT_TRUE(next.startsWith(stamp("2026-12-10", "00", "00", "00") + ".012: + next\r\n"))
        << next.constData();
}

TEST(TerminalDisplay, RawCopyFileFollowsTheDisplayWithinItsLimit) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("raw.txt"));
    Fixture f;
    f.term->SetLogFileName(name);
    f.term->AddText("ab", VOxaTerminal_ltInText);
    f.term->AddLine("\r", VOxaTerminal_ltExtraA);
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("\r\n\r\n+ ab\r\nE \r\r\n"));
    file.close();

    f.term->SetLogFileMaxLen(100);
    for (int i = 0; i < 20; ++i)
        f.term->AddLine(QByteArray("line ") + QByteArray::number(i), VOxaTerminal_ltExtraA);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray kept = file.readAll();
    EXPECT_LE(kept.size(), 100);
    EXPECT_TRUE(kept.endsWith("E line 19\r\n")) << kept.constData();
}

namespace {
QByteArray readLog(const QString& path) {
    QFile log(path);
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}
} // namespace

TEST(TerminalDisplay, NoTypeAndUnknownTypesEndTheOpenLineInDisplayAndLog) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("t.log"));
    Fixture f;
    f.term->SetLoggerFilename(file);
    f.term->SetLoggerNamingStyle(volnfExact);
    f.term->AddText("abc", VOxaTerminal_ltInText);
    f.term->AddText("x", VOxaTerminal_lt_NoType);
    f.term->AddText("def", VOxaTerminal_ltInText);
    f.term->AddText("y", 99);
    f.term->AddLine("ghi", VOxaTerminal_ltInText);
    EXPECT_EQ(f.lines(), (QStringList{QStringLiteral("+ abc"), QStringLiteral("+ def"),
                                      QStringLiteral("+ ghi")}));
    const QList<QByteArray> records = readLog(file).split('\n');
    ASSERT_EQ(records.size(), 4) << readLog(file).constData();
    EXPECT_TRUE(records[0].endsWith(": + abc\r"));
    EXPECT_TRUE(records[1].endsWith(": + def\r"));
    EXPECT_TRUE(records[2].endsWith(": + ghi\r"));
    EXPECT_FALSE(readLog(file).contains('x'));
}

TEST(TerminalDisplay, FreezeLeavesOneRecordOfWhatItDropped) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("t.log"));
    int64_t now = kClock;
    {
        Fixture f;
        f.term->SetClock([&] { return now; });
        f.term->SetLoggerFilename(file);
        f.term->SetLoggerNamingStyle(volnfExact);
        f.term->AddText("open", VOxaTerminal_ltInText);
        f.term->SetIgnoreAddChars(true);
        f.term->AddText("AB", VOxaTerminal_ltInText);
        f.term->AddLine("C", VOxaTerminal_ltInText);
        f.term->AddLine("second", VOxaTerminal_ltExtraA);
        now += 6000;
        f.term->SetIgnoreAddChars(false);
        f.term->AddLine("after", VOxaTerminal_ltInText);
        const QString record = QStringLiteral(
            "-- Frozen from 2026-12-08 15:05:07.042 to 2026-12-08 15:05:13.042: 2 lines, 9 bytes "
            "neither shown nor logged --");
        EXPECT_EQ(f.lines(), (QStringList{QStringLiteral("+ open"), QStringLiteral("E ") + record,
                                          QStringLiteral("+ after")}));
        const QByteArray log = readLog(file);
        EXPECT_TRUE(log.contains(": ! " + record.toLatin1() + "\r\n")) << log.constData();
        EXPECT_FALSE(log.contains("second"));

        // Frozen until the program ends: the log still gets the record.
        f.term->SetIgnoreAddChars(true);
        f.term->AddLine("lost", VOxaTerminal_ltInText);
        now += 1000;
    }
    const QByteArray log = readLog(file);
    EXPECT_TRUE(
        log.contains("to 2026-12-08 15:05:14.042: 1 line, 4 bytes neither shown nor logged"))
        << log.constData();
    EXPECT_FALSE(log.contains("lost"));
}

TEST(TerminalDisplay, ViewFollowsAtTheEndKeepsItsColumnsAndItsLightPaper) {
    const QPalette saved = QApplication::palette();
    QPalette dark(QColor(40, 40, 40));
    dark.setColor(QPalette::Base, QColor(25, 25, 25));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    {
        Fixture f;
        f.owner.show();
        TerminalWindow* w = f.term->Form();
        w->show();
        QApplication::setActiveWindow(w);
        QPlainTextEdit* edit = f.term->RichEdit();
        EXPECT_EQ(edit->palette().color(QPalette::Base), QColor(Qt::white));
        EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(Qt::black));
        f.term->FlushDisplay();
        QApplication::processEvents();
        const QImage empty = edit->viewport()->grab().toImage();
        EXPECT_GT(empty.pixelColor(empty.width() / 2, empty.height() / 2).lightness(), 240);

        for (int i = 0; i < 100; ++i)
            f.term->AddLine(QByteArray(300, 'w') + QByteArray::number(i), VOxaTerminal_ltInText);
        f.term->FlushDisplay();
        // Without the focus: the operator scrolled sideways, new lines keep it.
        // (Painting lays out the lines in view, which sizes the scroll bar.)
        w->ClearButton()->setFocus();
        QApplication::processEvents();
        edit->viewport()->grab();
        ASSERT_FALSE(edit->hasFocus());
        QScrollBar* columns = edit->horizontalScrollBar();
        ASSERT_GT(columns->maximum(), 50);
        columns->setValue(50);
        f.term->AddLine("next", VOxaTerminal_ltInText);
        f.term->FlushDisplay();
        EXPECT_EQ(columns->value(), 50);

        // With the focus and the view at the end, the view goes on following.
        edit->setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(edit->hasFocus());
        for (int i = 0; i < 50; ++i)
            f.term->AddLine("more", VOxaTerminal_ltInText);
        f.term->AddLine("last", VOxaTerminal_ltInText);
        f.term->FlushDisplay();
        QApplication::processEvents();
        const QTextBlock lastLine = edit->document()->lastBlock().previous();
        ASSERT_EQ(lastLine.text(), QStringLiteral("+ last"));
        const int inView =
            edit->viewport()->height() / QFontMetrics(edit->document()->defaultFont()).height();
        EXPECT_GT(edit->verticalScrollBar()->value() + inView, lastLine.blockNumber());
    }
    QApplication::setPalette(saved);
}
