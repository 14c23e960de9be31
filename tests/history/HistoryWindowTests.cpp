// The history window as an operator uses it: real key and mouse events to
// whatever widget has the focus, on a shown window.
#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include "HistoryTestSupport.h"
#include "history/HistoryView.h"
#include "history/HistoryWindow.h"
#include "history/RowGlyphs.h"
#include "terminal/VOxaLogger.h"

using namespace historytest;
using history::HistoryModel;
using history::HistoryWindow;

namespace {

void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key, mods);
}

} // namespace

TEST(HistoryWindow, FilterCountJumpContextAndFollowByKeys) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Dralvo_2026-12-07.log");
    QByteArray log = sessionLog(2000);
    writeFile(path, log);
    const std::vector<QByteArray> lines = referenceLines(log);
    std::vector<int64_t> exceptions;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].contains("NullPointerException"))
            exceptions.push_back(int64_t(i));
    ASSERT_GT(exceptions.size(), 3u);

    auto* w = new HistoryWindow;
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    std::unique_ptr<HistoryWindow> owner(w);
    ASSERT_TRUE(w->openFiles({path}));
    w->show();
    QApplication::setActiveWindow(w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    HistoryModel* model = w->model();
    history::HistoryView* view = w->view();
    ASSERT_TRUE(settle(*model));
    // It opens at the end.
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return view->topRow() + view->visibleRows() >= model->rowCount(); }));

    // Typing filters at once, the count says how many lines match.
    w->FilterText()->setFocus();
    QTest::keyClicks(QApplication::focusWidget(), "nullpointer");
    ASSERT_TRUE(settle(*model));
    const QString count = QString("%L1 matching lines").arg(exceptions.size());
    ASSERT_TRUE(testsupport::WaitUntil([&] { return w->Count()->text() == count; }))
        << w->Count()->text().toStdString();

    // Enter, F3 and Shift+Enter go from match to match.
    const auto currentLine = [&] { return model->allRowOf(view->currentRow()); };
    press(Qt::Key_Return);
    EXPECT_EQ(currentLine(), exceptions[0]);
    press(Qt::Key_F3);
    EXPECT_EQ(currentLine(), exceptions[1]);
    press(Qt::Key_Return);
    EXPECT_EQ(currentLine(), exceptions[2]);
    press(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(currentLine(), exceptions[1]);

    // Only the matching lines, then Return on one shows it among all lines,
    // selected and centred.
    QTest::mouseClick(w->OnlyMatching(), Qt::LeftButton);
    ASSERT_TRUE(w->OnlyMatching()->isChecked());
    EXPECT_EQ(model->rowCount(), int64_t(exceptions.size()));
    view->setFocus();
    press(Qt::Key_Down);
    EXPECT_EQ(currentLine(), exceptions[2]);
    press(Qt::Key_Return);
    EXPECT_FALSE(w->OnlyMatching()->isChecked());
    EXPECT_EQ(model->rowCount(), int64_t(lines.size()));
    EXPECT_EQ(view->currentRow(), exceptions[2]);
    EXPECT_NEAR(double(view->topRow()), double(exceptions[2] - view->visibleRows() / 2), 1.0);
    EXPECT_TRUE(view->selectedText().contains("NullPointerException"));

    // Without a filter, back at the end, the view follows new lines; scrolled
    // up it holds still.
    w->FilterText()->setFocus();
    press(Qt::Key_A, Qt::ControlModifier);
    press(Qt::Key_Backspace);
    ASSERT_FALSE(model->filtering());
    view->setFocus();
    press(Qt::Key_End);
    const QByteArray more = sessionLog(2100).mid(log.size());
    writeFile(path, more, true);
    ASSERT_TRUE(settle(*model));
    ASSERT_EQ(model->rowCount(), 2100);
    EXPECT_TRUE(testsupport::WaitUntil(
        [&] { return view->topRow() + view->visibleRows() == model->rowCount(); }));
    press(Qt::Key_PageUp);
    const int64_t top = view->topRow();
    writeFile(path, sessionLog(2200).mid(log.size() + more.size()), true);
    ASSERT_TRUE(settle(*model));
    ASSERT_EQ(model->rowCount(), 2200);
    // The new rows reach the screen within a repaint; the view stays.
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return view->verticalScrollBar()->maximum() >= 2200 - view->visibleRows(); }));
    EXPECT_EQ(view->topRow(), top);

    // A bad regular expression is told, and the last good filter stays.
    QTest::mouseClick(w->Regex(), Qt::LeftButton);
    w->FilterText()->setFocus();
    press(Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(QApplication::focusWidget(), "Null[Pointer");
    EXPECT_TRUE(w->Message()->isVisible());
    EXPECT_TRUE(w->Message()->text().contains("position 5")) << w->Message()->text().toStdString();
    EXPECT_EQ(model->filter().text, QString("Null"));
}

TEST(HistoryWindow, ARecordOfTheProgramsLogIsShownWithoutWaitingForTheNextLookAtTheFiles) {
    QTemporaryDir dir;
    VOxaLogger logger;
    logger.SetLogPath(dir.filePath("Dralvo_*.log"));
    logger.SetNewFileStyle(volnfOnOpen);
    std::unique_ptr<HistoryWindow> w(history::ShowLogHistory(nullptr, &logger, {}));
    HistoryModel* model = w->model();
    const auto lastRow = [&] {
        const int64_t rows = model->rowCount();
        return rows > 0 ? model->rowText(rows - 1, 200) : QByteArray();
    };
    const auto log = [&](const QByteArray& text) {
        logger.logData(VOxaTerminal_ltInText, text, false);
        logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
        logger.Flush();
    };
    // The first record opens the file, which the history then shows.
    log("first record");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return lastRow().endsWith("first record"); }, 10000))
        << lastRow().toStdString();

    // Just after a look the next one by the timer is RefreshMs away; a record
    // handed over is there once the look it asks for is due.
    model->refresh();
    log("second record");
    ASSERT_TRUE(testsupport::WaitForTimersDue(HistoryModel::LookGapMs));
    EXPECT_TRUE(lastRow().endsWith("second record")) << lastRow().toStdString();
}

TEST(HistoryWindow, RowsDrawnAsGlyphRunsLookAsTheFontsOwnTextDrawing) {
    // The view draws rows without shaping them; what it draws must be what
    // the painter's own text drawing gives for the same characters: every
    // glyph the right one, at the right place.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    const qreal advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('M'));
    const QString text = QStringLiteral("12:00:01.250: R +CSQ: 17,99 \u00e9\u00fc\u00ff\u00a7 {x}~ "
                                        "\ufffd<#0D>");
    int asGlyphs = 0;
    const auto render = [&](bool glyphs) {
        QImage image(int(advance * (text.size() + 2)), 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(QColor(0x20, 0x40, 0x80));
        history::RowGlyphs rows;
        rows.setFont(font, advance);
        // In two runs, as a row with an escape is drawn.
        const int split = int(text.indexOf(QLatin1Char('<')));
        for (const auto& [from, to] : {std::pair{0, split}, std::pair{split, int(text.size())}}) {
            const QPointF at(2 + from * advance, 28);
            if (glyphs && rows.draw(painter, text, from, to, at.x(), at.y()))
                ++asGlyphs;
            else
                painter.drawText(at, text.mid(from, to - from));
        }
        return image;
    };
    const QImage drawn = render(true);
    const QImage reference = render(false);
    EXPECT_GE(asGlyphs, 1) << "the Latin-1 run is in every fixed-pitch font";
    EXPECT_EQ(drawn, reference);
}
