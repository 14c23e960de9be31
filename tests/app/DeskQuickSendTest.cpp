// Quick-send buttons, sequences and reactions in the window, against a
// pseudo-terminal that plays the module; the desk's clock is the test's.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "DeskTest.h"
#include "app/Desk.h"
#include "app/FormQuickSend.h"
#include "terminal/QuickSendBar.h"
#include "terminal/TerminalFindBar.h"

namespace {

class DeskQuickSend : public DeskTest {
protected:
    void open() {
        create();
        frm->desk->Clock = [this] { return m_steadyMs; };
        connectToPty();
        term = frm->termData->Form();
        term->show();
        QApplication::setActiveWindow(term);
        ASSERT_TRUE(QTest::qWaitForWindowActive(term));
        QTest::mouseClick(term->ManualLine()->lineEdit(), Qt::LeftButton);
        sendLine = QApplication::focusWidget();
    }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, mods);
    }
    QString status() { return term->QuickSend()->status(); }
    // Steady time passes; the desk's poll timer sees it.
    void later(int64_t ms) {
        m_steadyMs += ms;
        ASSERT_TRUE(WaitForTimersDue(2 * app::Desk::PollMs));
    }

    int64_t m_steadyMs = 1000;
    TerminalWindow* term = nullptr;
    QWidget* sendLine = nullptr;
};

} // namespace

TEST_F(DeskQuickSend, FunctionKeysPressTheButtonsWithTheFocusInTheSendLine) {
    open();
    ASSERT_GE(term->QuickSend()->buttonCount(), 12);
    EXPECT_EQ(term->QuickSend()->button(2)->text(), "Signal");
    key(Qt::Key_F1);
    EXPECT_EQ(m_pty->read(3), QByteArray("AT\r"));
    key(Qt::Key_F3);
    EXPECT_EQ(m_pty->read(7), QByteArray("AT+CSQ\r"));
    EXPECT_EQ(QApplication::focusWidget(), sendLine);
    // With the find bar open F3 finds the next match and sends nothing: the
    // next bytes the module gets are F2's.
    key(Qt::Key_F, Qt::ControlModifier);
    ASSERT_FALSE(term->FindBar()->isHidden());
    key(Qt::Key_F3);
    key(Qt::Key_Escape);
    key(Qt::Key_F2);
    EXPECT_EQ(m_pty->read(4), QByteArray("ATI\r"));
    // Shift+F1 is no quick-send key; the main window has F1 to F12 too.
    key(Qt::Key_F1, Qt::ShiftModifier);
    QApplication::setActiveWindow(frm.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    QTest::keyClick(frm.get(), Qt::Key_F10);
    EXPECT_EQ(m_pty->read(1), QByteArray("\x1b"));
    EXPECT_TRUE(terminalText().contains("AT+CSQ<#0D>ATI<#0D><#1B>"));
}

TEST_F(DeskQuickSend, SequencesWaitExpectTimeOutAndStopWithoutBlocking) {
    open();
    // Button 8 (Reset): AT+CFUN=1,1, wait 5000, AT, expect OK 3000.
    QTest::mouseClick(term->QuickSend()->button(7), Qt::LeftButton);
    EXPECT_EQ(m_pty->read(12), QByteArray("AT+CFUN=1,1\r"));
    EXPECT_EQ(status(), "Reset: step 2 of 4: wait 5000 ms");
    EXPECT_TRUE(term->QuickSend()->stopButton()->isEnabled());
    later(4990);
    EXPECT_TRUE(m_pty->readNow().isEmpty());
    later(10);
    EXPECT_EQ(m_pty->read(3), QByteArray("AT\r"));
    EXPECT_EQ(status(), "Reset: step 4 of 4: expect OK (3000 ms)");
    ASSERT_TRUE(m_pty->write("AT\r\nOK\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return status() == "Reset: done"; }));
    EXPECT_FALSE(term->QuickSend()->stopButton()->isEnabled());

    // The module stays silent: the expect gives up and says why.
    key(Qt::Key_F8);
    later(5000);
    EXPECT_EQ(m_pty->read(15), QByteArray("AT+CFUN=1,1\rAT\r"));
    later(3000);
    EXPECT_EQ(status(), "Reset: step 4 (line 5): no line with OK within 3000 ms");

    // Stopped during its wait: nothing more goes out.
    key(Qt::Key_F8);
    EXPECT_EQ(m_pty->read(12), QByteArray("AT+CFUN=1,1\r"));
    QTest::mouseClick(term->QuickSend()->stopButton(), Qt::LeftButton);
    EXPECT_EQ(status(), "Reset: stopped at step 2 of 4");
    later(6000);
    key(Qt::Key_F1); // the next bytes are F1's
    EXPECT_EQ(m_pty->read(3), QByteArray("AT\r"));

    const QByteArray log = closeAndReadLog();
    EXPECT_EQ(log.count(": - AT+CFUN=1,1"), 3) << log.toStdString();
    EXPECT_TRUE(log.contains(": A -- Sequence \"Reset\" step 4 (line 5): no line with OK "
                             "within 3000 ms --"));
    EXPECT_TRUE(log.contains(": A -- Sequence \"Reset\" stopped at step 2 of 4 --"));
}

TEST_F(DeskQuickSend, AReactionThatFeedsItselfFiresOnceASecond) {
    open();
    QString error;
    ASSERT_TRUE(frm->desk->SetReactions("ERROR => send AT\n/Exc(eption)?/ => mark java", &error))
        << error.toStdString();
    // The module answers every AT with ERROR, which asks for AT again; and
    // it floods ERROR lines besides.
    QByteArray flood;
    for (int i = 0; i < 200; ++i)
        flood += "ERROR\r\n";
    ASSERT_TRUE(m_pty->write(flood));
    ASSERT_TRUE(
        WaitUntil([&] { return frm->termData->LineCounter(VOxaTerminal_ltInText) >= 200; }));
    EXPECT_EQ(m_pty->read(3), QByteArray("AT\r"));
    ASSERT_TRUE(m_pty->write("AT\r\nERROR\r\nException in thread\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return terminalText().contains("-- MARK -- java"); }));
    m_steadyMs += 1000; // a second on: the rule may fire once more
    ASSERT_TRUE(m_pty->write("ERROR\r\n"));
    ASSERT_TRUE(
        WaitUntil([&] { return frm->termData->LineCounter(VOxaTerminal_ltInText) >= 204; }));
    EXPECT_EQ(m_pty->read(3), QByteArray("AT\r"));
    ASSERT_TRUE(m_pty->write("ERROR\r\nERROR\r\n"));
    ASSERT_TRUE(
        WaitUntil([&] { return frm->termData->LineCounter(VOxaTerminal_ltInText) >= 206; }));
    key(Qt::Key_F2); // what the module gets next is F2's, not a third AT
    EXPECT_EQ(m_pty->read(4), QByteArray("ATI\r"));

    const QByteArray log = closeAndReadLog();
    EXPECT_TRUE(log.contains(": A -- Reaction rule 1: ERROR => send AT --"));
    EXPECT_EQ(log.count(": A -- Reaction 1 (ERROR => send AT)"), 2) << log.toStdString();
    EXPECT_TRUE(log.contains("(ERROR => send AT), 200 more matches held back since its last hit"));
    EXPECT_EQ(log.count(": - AT\r\n"), 2);
    EXPECT_TRUE(log.contains(": A -- MARK -- java"));
}

TEST(DeskQuickSendEditor, BadTextsAndFilesAreRefusedNamingTheLineAndNothingIsLost) {
    TfrmQuickSend editor;
    const macros::QuickSendButtons defaults = macros::DefaultQuickSendButtons();
    editor.SetButtons(defaults);
    editor.show();
    QApplication::setActiveWindow(&editor);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));

    // Button 2's text becomes a wait of -5 ms: OK refuses and stays open.
    QTest::mouseClick(editor.lstButtons->viewport(), Qt::LeftButton, {},
                      editor.lstButtons->visualItemRect(editor.lstButtons->item(1)).center());
    editor.edtText->setFocus();
    QTest::keyClick(editor.edtText, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor.edtText, "AT");
    QTest::keyClick(editor.edtText, Qt::Key_Return);
    QTest::keyClicks(editor.edtText, "wait -5");
    QTest::mouseClick(editor.btnOK, Qt::LeftButton);
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.ShownProblem(), "Button 2 (ATI), line 2: -5 ms is outside 0 to 600000 ms");
    EXPECT_NE(editor.result(), QDialog::Accepted);

    // A label of 10 KB, a rule that does not compile: each named.
    editor.edtText->setFocus();
    QTest::keyClick(editor.edtText, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(editor.edtText, Qt::Key_Backspace);
    QTest::keyClick(editor.edtText, Qt::Key_Backspace);
    QTest::keyClicks(editor.edtText, "50");
    editor.edtLabel->setFocus();
    QTest::keyClicks(editor.edtLabel, QString(10240, u'x'));
    QTest::mouseClick(editor.btnOK, Qt::LeftButton);
    EXPECT_TRUE(editor.ShownProblem().contains("the label has 10243 characters, at most 32"))
        << editor.ShownProblem().toStdString();
    QTest::keyClick(editor.edtLabel, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor.edtLabel, "Wait");
    editor.edtReactions->setPlainText("/a(b/ => alarm");
    QTest::mouseClick(editor.btnOK, Qt::LeftButton);
    EXPECT_TRUE(editor.ShownProblem().startsWith("Reactions, line 1: the regular expression "
                                                 "/a(b/ does not compile"))
        << editor.ShownProblem().toStdString();
    editor.edtReactions->clear();

    // Files that are not macro files leave the list as it is.
    const macros::QuickSendButtons edited = editor.Buttons();
    QTemporaryDir dir;
    auto file = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    const QByteArray good = macros::FormatMacroFile(defaults);
    struct Bad {
        QString path;
        const char* says;
    };
    const Bad bad[] = {
        {file("binary.txt", QByteArray("@button A\n\x7f"
                                       "ELF\x02\x01\x01\x00",
                                       17)),
         "binary.txt: Line 2: the file is not text (byte 0x02)"},
        {file("cut.txt", good.left(good.size() / 2)), "cut.txt: Line "},
        {file("huge.txt", QByteArray(2000000, 'A')), "has 2000000 bytes; a macro file has at most"},
    };
    for (const Bad& b : bad) {
        EXPECT_FALSE(editor.ImportFrom(b.path));
        EXPECT_TRUE(editor.ShownProblem().startsWith("Nothing imported. "));
        EXPECT_TRUE(editor.ShownProblem().contains(b.says)) << editor.ShownProblem().toStdString();
        EXPECT_EQ(editor.Buttons(), edited);
    }
    // Export and import again: the same buttons, and OK takes them.
    ASSERT_TRUE(editor.ExportTo(dir.filePath("mine.txt")));
    editor.SetButtons(defaults);
    ASSERT_TRUE(editor.ImportFrom(dir.filePath("mine.txt")));
    EXPECT_EQ(editor.Buttons(), edited);
    EXPECT_EQ(editor.Buttons()[1].label, "Wait");
    EXPECT_EQ(editor.Buttons()[1].text, "AT\nwait 50");
    QTest::mouseClick(editor.btnOK, Qt::LeftButton);
    EXPECT_EQ(editor.result(), QDialog::Accepted);
}
