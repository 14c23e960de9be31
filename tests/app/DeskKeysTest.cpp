// The terminal window driven as the operator does, with the focus in the
// send line: scrolling with the wheel and Page Up holds the view while new
// lines arrive, and at the end it follows again.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QWheelEvent>

#include "DeskTest.h"

namespace {

// One notch of the wheel over the widget, as the window system delivers it.
void wheel(QWidget* widget, int notches) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace

TEST_F(DeskTest, ScrollingWithTheFocusInTheSendLineHoldsTheViewUntilTheEnd) {
    create();
    TerminalWindow* term = frm->termData->Form();
    term->show();
    QApplication::setActiveWindow(term);
    ASSERT_TRUE(QTest::qWaitForWindowActive(term));
    QTest::mouseClick(term->ManualLine()->lineEdit(), Qt::LeftButton);
    QWidget* line = QApplication::focusWidget();
    ASSERT_TRUE(line == term->ManualLine() || line == term->ManualLine()->lineEdit());
    QByteArray lines;
    for (int i = 0; i < 300; ++i)
        lines += "line " + QByteArray::number(i) + "\r\n";
    receive(lines);
    QScrollBar* bar = term->RichEdit()->verticalScrollBar();
    QPlainTextEdit* view = term->RichEdit();
    // The last line of text in view (below it may be the empty line that
    // the next line begins).
    auto bottomLine = [&] {
        terminalText();
        for (int y = view->viewport()->height() - 2; y > 0; y -= 4) {
            const QString text = view->cursorForPosition(QPoint(4, y)).block().text();
            if (!text.isEmpty())
                return text;
        }
        return QString();
    };
    ASSERT_TRUE(bottomLine().endsWith("+ line 299"));

    // The wheel over the traffic, then Page Up typed into the send line.
    wheel(term->RichEdit()->viewport(), 3);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp);
    EXPECT_EQ(QApplication::focusWidget(), line);
    const int held = bar->value();
    ASSERT_FALSE(bottomLine().endsWith("+ line 299"));
    const QString top = term->RichEdit()->cursorForPosition(QPoint(4, 4)).block().text();
    receive("new 1\r\nnew 2\r\n");
    terminalText();
    EXPECT_EQ(bar->value(), held);
    EXPECT_EQ(term->RichEdit()->cursorForPosition(QPoint(4, 4)).block().text(), top);

    // Page Down back to the end: from there the view follows again.
    for (int i = 0; i < 50 && !bottomLine().endsWith("+ new 2"); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
    ASSERT_TRUE(bottomLine().endsWith("+ new 2"));
    receive("new 3\r\nnew 4\r\n");
    EXPECT_TRUE(bottomLine().endsWith("+ new 4"));
    EXPECT_EQ(QApplication::focusWidget(), line);
}
