// The terminal window as an operator uses it: real key and mouse events sent
// to whatever widget has the focus, the history list included.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QWheelEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

#include "terminal/TerminalFindBar.h"
#include "terminal/TerminalWindow.h"
#include "terminal/VOxaTerminal.h"

namespace {

// A loaded terminal whose window is shown and active.
struct Operator {
    QWidget owner;
    VOxaTerminal* term;
    TerminalWindow* w;
    std::vector<QByteArray> sent;
    Operator() {
        term = new VOxaTerminal(&owner);
        term->SetName(QStringLiteral("termData"));
        term->BeginLoading();
        term->SetShowHexEdit(true);
        term->SetVisible(true);
        term->Loaded();
        term->OnTermSendData = [this](VOxaTerminal*, const uint8_t* data, int count, bool) {
            sent.emplace_back(reinterpret_cast<const char*>(data), count);
        };
        w = term->Form();
        w->show();
        w->activateWindow();
        QApplication::setActiveWindow(w);
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
    }
    static QWidget* focus() { return QApplication::focusWidget(); }
    void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = focus();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, key, mods);
    }
    void type(const QString& text) {
        for (QChar c : text) {
            QWidget* target = focus();
            ASSERT_NE(target, nullptr);
            QTest::keyClick(target, c.toLatin1() ? c.toLatin1() : ' ');
        }
    }
    // Characters outside ASCII, sent with their text as a keyboard layout would.
    void typeText(const QString& text) {
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, focus(), Qt::Key_unknown, c, Qt::NoModifier);
    }
    QAbstractItemView* list() const { return w->ManualLine()->view(); }
    QString traffic() {
        term->FlushDisplay();
        return w->RichEdit()->toPlainText();
    }
};

} // namespace

TEST(TerminalKeyboard, TheDisplayIsReadAndCopiedButNeverEdited) {
    Operator op;
    for (int i = 0; i < 40; ++i)
        op.term->AddLine(QByteArray("line ") + QByteArray::number(i), VOxaTerminal_ltInText);
    const QString shown = op.traffic();
    QPlainTextEdit* edit = op.w->RichEdit();
    QTest::mouseClick(edit->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    ASSERT_EQ(op.focus(), edit);

    // Select with the keyboard, then the editing keys and paste: the traffic stays.
    op.press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(edit->textCursor().selectedText().size(), edit->document()->characterCount() - 1);
    op.press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), shown.toStdString());
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    op.press(Qt::Key_V, Qt::ControlModifier);
    op.press(Qt::Key_X, Qt::ControlModifier);
    op.press(Qt::Key_Delete);
    op.press(Qt::Key_Backspace);
    EXPECT_EQ(op.traffic(), shown);
    // Tab moves on to the manual line as in a dialog, Shift+Tab comes back.
    op.press(Qt::Key_Tab);
    EXPECT_EQ(op.traffic(), shown);
    EXPECT_EQ(op.focus(), op.w->ManualLine()) << op.focus()->metaObject()->className();
    op.press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(op.focus(), edit);

    // Typing in the display goes to the manual line.
    op.type(QStringLiteral("at"));
    EXPECT_EQ(op.w->manualText(), QStringLiteral("at"));
    EXPECT_EQ(op.traffic(), shown);
    op.press(Qt::Key_Return);
    ASSERT_EQ(op.sent.size(), 1u);
    EXPECT_EQ(op.sent[0], QByteArray("at\r"));

    // Ctrl+wheel zooms the text.
    const qreal before = edit->font().pointSizeF();
    QWheelEvent wheel(QPointF(20, 20), edit->viewport()->mapToGlobal(QPointF(20, 20)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(edit->viewport(), &wheel);
    EXPECT_GT(edit->font().pointSizeF(), before);
    EXPECT_EQ(op.traffic(), shown);
}

TEST(TerminalKeyboard, HistoryListBehavesAsAComboBox) {
    Operator op;
    op.w->ManualLine()->setFocus();
    op.type(QStringLiteral("at+one"));
    op.press(Qt::Key_Return);
    op.type(QStringLiteral("at+two"));
    op.press(Qt::Key_Return);
    ASSERT_EQ(op.sent.size(), 2u);

    // Arrow Down opens the list and leaves the line alone; the next one
    // chooses the newest entry, Enter sends it.
    op.press(Qt::Key_Down);
    ASSERT_TRUE(op.w->historyShown());
    EXPECT_EQ(op.focus(), op.list()); // the keys now go to the open list
    EXPECT_EQ(op.w->manualText(), QString());
    op.press(Qt::Key_Down);
    op.press(Qt::Key_Return);
    EXPECT_FALSE(op.w->historyShown());
    ASSERT_EQ(op.sent.size(), 3u);
    EXPECT_EQ(op.sent[2], QByteArray("at+two\r"));

    // Down moves down the list, Up moves up again.
    op.press(Qt::Key_Down);
    op.press(Qt::Key_Down);
    op.press(Qt::Key_Down);
    op.press(Qt::Key_Down);
    op.press(Qt::Key_Up);
    op.press(Qt::Key_Return);
    ASSERT_EQ(op.sent.size(), 4u);
    EXPECT_EQ(op.sent[3], QByteArray("at+two\r"));
    op.press(Qt::Key_Up);
    op.press(Qt::Key_Down);
    op.press(Qt::Key_Down);
    op.press(Qt::Key_Return);
    ASSERT_EQ(op.sent.size(), 5u);
    EXPECT_EQ(op.sent[4], QByteArray("at+one\r"));
    EXPECT_EQ(op.term->History(),
              (QStringList{QStringLiteral("at+one"), QStringLiteral("at+two")}));

    // Typing drops the list down without completing; the typed text is sent.
    op.type(QStringLiteral("at"));
    EXPECT_TRUE(op.w->historyShown());
    EXPECT_EQ(op.w->manualText(), QStringLiteral("at"));
    EXPECT_EQ(op.w->HexManualLine()->text(), QStringLiteral("61 74 "));
    op.press(Qt::Key_Backspace);
    op.type(QStringLiteral("T"));
    EXPECT_EQ(op.w->manualText(), QStringLiteral("aT"));
    // Esc only closes the open list; with the list closed it sends.
    op.press(Qt::Key_Escape);
    EXPECT_FALSE(op.w->historyShown());
    EXPECT_EQ(op.sent.size(), 5u);
    EXPECT_EQ(op.w->manualText(), QStringLiteral("aT"));
    op.press(Qt::Key_Escape);
    ASSERT_EQ(op.sent.size(), 6u);
    EXPECT_EQ(op.sent[5], QByteArray("aT\x1B"));
    op.type(QStringLiteral("x"));
    EXPECT_TRUE(op.w->historyShown());
    op.press(Qt::Key_Return);
    ASSERT_EQ(op.sent.size(), 7u);
    EXPECT_EQ(op.sent[6], QByteArray("x\r"));

    // Choosing with the mouse puts the entry into the line; nothing is sent.
    op.press(Qt::Key_Up);
    ASSERT_TRUE(op.w->historyShown());
    const QRect second = op.list()->visualRect(op.list()->model()->index(1, 0));
    QTest::mouseMove(op.list()->viewport(), second.center());
    QTest::mouseClick(op.list()->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_FALSE(op.w->historyShown());
    EXPECT_EQ(op.w->manualText(), op.term->History().value(1));
    EXPECT_EQ(op.sent.size(), 7u);
}

TEST(TerminalKeyboard, OneCodePageBothWaysAndNoSubstitutes) {
    Operator op;
    // A received byte 0xE9 shows as the character that typing it sends.
    op.term->AddLine(QByteArray("\xE9"), VOxaTerminal_ltExtra);
    EXPECT_EQ(op.traffic(), QStringLiteral("E é\n"));
    op.w->ManualLine()->setFocus();
    op.typeText(QStringLiteral("é"));
    op.press(Qt::Key_Return);
    ASSERT_EQ(op.sent.size(), 1u);
    EXPECT_EQ(op.sent[0], QByteArray("\xE9\r"));

    // A character the code page cannot carry: nothing is sent, the text stays
    // and the window names the character.
    op.typeText(QStringLiteral("aČb"));
    EXPECT_EQ(op.w->HexManualLine()->text(), QStringLiteral("61 Č 62 "));
    op.press(Qt::Key_Escape); // closes the list that typing opened
    op.press(Qt::Key_Return);
    EXPECT_EQ(op.sent.size(), 1u);
    EXPECT_EQ(op.w->manualText(), QStringLiteral("aČb"));
    EXPECT_TRUE(op.w->notice().contains(QStringLiteral("“Č” (U+010C)")))
        << op.w->notice().toStdString();
    EXPECT_EQ(op.term->History(), QStringList{QStringLiteral("é")});
    op.w->HexManualLine()->setFocus();
    op.press(Qt::Key_Return); // "Direct" refuses it as well
    EXPECT_EQ(op.sent.size(), 1u);
    // Mending the text takes the message away and the line goes out.
    op.w->ManualLine()->setFocus();
    op.press(Qt::Key_End);
    op.press(Qt::Key_Left);
    op.press(Qt::Key_Backspace);
    EXPECT_EQ(op.w->notice(), QString());
    op.press(Qt::Key_Return);
    ASSERT_EQ(op.sent.size(), 2u);
    EXPECT_EQ(op.sent[1], QByteArray("ab\r"));
}

TEST(TerminalKeyboard, ArrowsOnTheModeButtonsScrollTheDisplay) {
    Operator op;
    op.term->SetModeItems({QStringLiteral("a"), QStringLiteral("b")});
    for (int i = 0; i < 300; ++i)
        op.term->AddLine(QByteArray::number(i), VOxaTerminal_ltInText);
    op.traffic();
    QApplication::processEvents();
    QScrollBar* bar = op.w->RichEdit()->verticalScrollBar();
    bar->setValue(100);
    auto* first = op.w->RGroupMode()->findChildren<QAbstractButton*>().value(0);
    ASSERT_NE(first, nullptr);
    first->setFocus();
    ASSERT_EQ(op.focus(), first);
    op.press(Qt::Key_Down);
    EXPECT_EQ(bar->value(), 101);
    op.press(Qt::Key_Up);
    op.press(Qt::Key_Up);
    EXPECT_EQ(bar->value(), 99);
    EXPECT_EQ(op.term->ModeIndex(), 0); // the selection stays
}

TEST(TerminalKeyboard, FindBarFindsHighlightsAndHoldsTheView) {
    Operator op;
    for (int i = 0; i < 200; ++i) {
        const QByteArray text = i == 50    ? QByteArray("Error one")
                                : i == 120 ? QByteArray("ERROR two")
                                : i == 180 ? QByteArray("an error three")
                                           : QByteArray("line ") + QByteArray::number(i);
        op.term->AddLine(text, VOxaTerminal_ltInText);
    }
    QString shown = op.traffic();
    QPlainTextEdit* edit = op.w->RichEdit();
    TerminalFindBar* bar = op.w->FindBar();
    op.w->ManualLine()->setFocus();
    op.press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_FALSE(bar->isHidden());
    EXPECT_EQ(op.focus(), bar->FindText());
    EXPECT_LT(edit->geometry().bottom(), bar->geometry().top()); // under the display

    // Typing finds at once; Enter, Shift+Enter and F3 go round the matches.
    op.type(QStringLiteral("error"));
    EXPECT_EQ(edit->textCursor().selectedText().toLower(), QStringLiteral("error"));
    EXPECT_EQ(edit->extraSelections().size(), 3);
    const QString first = bar->status();
    op.press(Qt::Key_Return);
    const QString second = bar->status();
    EXPECT_NE(second, first);
    op.press(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(bar->status(), first);
    op.press(Qt::Key_F3);
    EXPECT_EQ(bar->status(), second);
    op.press(Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(bar->status(), first);
    EXPECT_TRUE(bar->status().endsWith(QStringLiteral("/3"))) << bar->status().toStdString();

    // With match case only the upper-case line is found.
    QTest::mouseClick(bar->MatchCase(), Qt::LeftButton);
    bar->FindText()->setFocus();
    op.press(Qt::Key_A, Qt::ControlModifier);
    op.type(QStringLiteral("ERROR"));
    EXPECT_EQ(bar->status(), QStringLiteral("1/1"));
    EXPECT_EQ(edit->textCursor().block().text(), QStringLiteral("+ ERROR two"));

    // New traffic while a match is shown leaves the view and the match alone.
    const int top = edit->verticalScrollBar()->value();
    for (int i = 0; i < 30; ++i)
        op.term->AddLine("more", VOxaTerminal_ltInText);
    shown += QStringLiteral("+ more\n").repeated(30);
    EXPECT_EQ(op.traffic(), shown);
    EXPECT_EQ(edit->verticalScrollBar()->value(), top);
    EXPECT_EQ(edit->textCursor().selectedText(), QStringLiteral("ERROR"));

    // Esc closes the bar, takes the marks away and gives the focus back.
    op.press(Qt::Key_Escape);
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(op.focus(), op.w->ManualLine());
    EXPECT_TRUE(edit->extraSelections().isEmpty());
    EXPECT_EQ(op.w->manualText(), QString()); // nothing was typed into the send line
    EXPECT_TRUE(op.sent.empty());
    // The view stays at the match until the operator goes back to the end;
    // from there it follows again.
    op.term->AddLine("newer", VOxaTerminal_ltInText);
    op.traffic();
    EXPECT_EQ(edit->verticalScrollBar()->value(), top);
    edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
    op.term->AddLine("newest", VOxaTerminal_ltInText);
    op.traffic();
    EXPECT_GT(edit->verticalScrollBar()->value(), top); // following again
}

TEST(TerminalKeyboard, CtrlHAndTheHistoryButtonAskForTheHistory) {
    Operator op;
    int asked = 0;
    op.term->OnHistoryRequest = [&](VOxaTerminal* sender) {
        EXPECT_EQ(sender, op.term);
        ++asked;
    };
    // From the manual line (where Ctrl+H is no character to send) and from the display.
    op.w->ManualLine()->setFocus();
    op.press(Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(op.w->manualText(), QString());
    op.w->RichEdit()->setFocus();
    op.press(Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(asked, 2);
    QTest::mouseClick(op.w->HistoryButton(), Qt::LeftButton);
    EXPECT_EQ(asked, 3);
    // The button keeps to the bottom right as the window grows.
    const QRect before = op.w->HistoryButton()->geometry();
    op.w->resize(op.w->width() + 100, op.w->height() + 50);
    EXPECT_EQ(op.w->HistoryButton()->geometry(), before.translated(100, 50));
}
