// What the desk sends and keeps out by itself: the Strict record, and the
// start command of "Connect & Start" with each answer the module can give.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "DeskTest.h"

TEST_F(DeskTest, StrictSwitchedOffLeavesOneRecordOfWhatItKeptOut) {
    create();
    frm->cmbFilter1->setEditText("keep");
    QTest::mouseClick(frm->chkStrict, Qt::LeftButton);
    ASSERT_TRUE(frm->chkStrict->isChecked());
    receive("keep 1\r\nnoise one\r\nnoise two\r\n\r\n");
    m_clockMs += 6000;
    QTest::mouseClick(frm->chkStrict, Qt::LeftButton);
    ASSERT_FALSE(frm->chkStrict->isChecked());
    receive("after\r\n");

    // Three lines (one of them empty), 18 bytes, between the two clicks.
    const QRegularExpression record(
        R"(-- Strict from (\d{4}-\d\d-\d\d \d\d:\d\d:(\d\d)\.042) to \d{4}-\d\d-\d\d )"
        R"(\d\d:\d\d:(\d\d)\.042: 3 lines, 18 bytes matched no filter and were neither shown )"
        R"(nor logged --)");
    const QString text = terminalText();
    const QRegularExpressionMatch shown = record.match(text);
    ASSERT_TRUE(shown.hasMatch()) << text.toStdString();
    EXPECT_EQ((shown.captured(3).toInt() - shown.captured(2).toInt() + 60) % 60, 6);
    EXPECT_EQ(text.count("-- Strict from"), 1);
    EXPECT_FALSE(text.contains("noise"));
    EXPECT_LT(text.indexOf("keep 1"), text.indexOf("-- Strict from"));
    EXPECT_LT(text.indexOf("-- Strict from"), text.indexOf("after"));

    // Switched on and off again with nothing kept out: no second record.
    QTest::mouseClick(frm->chkStrict, Qt::LeftButton);
    receive("keep 2\r\n");
    QTest::mouseClick(frm->chkStrict, Qt::LeftButton);
    // Strict on at the end of the run with lines kept out: the record is
    // written as the window closes.
    QTest::mouseClick(frm->chkStrict, Qt::LeftButton);
    receive("noise three\r\n");

    const QByteArray log = closeAndReadLog();
    EXPECT_EQ(log.count("! -- Strict from"), 2) << log.toStdString();
    EXPECT_TRUE(log.contains(": 1 line, 11 bytes matched no filter")) << log.toStdString();
    EXPECT_FALSE(log.contains("noise"));
    EXPECT_TRUE(QString::fromLatin1(log).contains(record));
}

TEST_F(DeskTest, ConnectAndStartSendsTheStartCommandAndWaitsForItsAnswer) {
    create();
    ASSERT_TRUE(m_pty->plug());
    frm->commMain->SetCommPort(m_pty->path());
    frm->session->StartCommandTimeoutMs = 3000;

    // "Connect" sends nothing: the first bytes the module gets are the line
    // typed afterwards.
    frm->btnConnect->click();
    ASSERT_TRUE(tickUntil(MachineStateReady));
    frm->termData->Form()->setManualText("AT");
    frm->termData->SendLine();
    EXPECT_EQ(m_pty->read(3), QByteArray("AT\r"));
    frm->btnDisconnect->click();

    struct Case {
        QByteArray answer; // what the module says after its echo
        QString notice;
    };
    const Case cases[] = {
        {"OK\r\n", "at^sjra=a:/appmain2.jad answered OK"},
        {"+CME ERROR: 100\r\n", "at^sjra=a:/appmain2.jad answered ERROR"},
        {"ERROR\r\n", "at^sjra=a:/appmain2.jad answered ERROR"},
        {"", "No answer to at^sjra=a:/appmain2.jad within 3 s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notice.toStdString());
        frm->btnStart->click();
        ASSERT_TRUE(tickUntil(MachineStateSendCommand));
        EXPECT_EQ(frm->StatusText(), "Sending command ...");
        EXPECT_EQ(m_pty->read(24), QByteArray("at^sjra=a:/appmain2.jad\r"));
        EXPECT_TRUE(terminalText().contains(" - at^sjra=a:/appmain2.jad<#0D>"));
        // The echo and start-up output are no answer.
        ASSERT_TRUE(m_pty->write("at^sjra=a:/appmain2.jad\r\r\nstarting\r\n"));
        ASSERT_TRUE(WaitUntil([&] { return terminalText().contains("+ starting"); }));
        tick(2);
        EXPECT_EQ(frm->StatusText(), "Sending command ...");
        EXPECT_EQ(frm->session->MachineState, MachineStateSendCommand);
        if (!c.answer.isEmpty()) {
            ASSERT_TRUE(m_pty->write(c.answer));
            ASSERT_TRUE(WaitUntil([&] { return frm->StatusText() == "Ready."; }));
        } else {
            m_now += 2800; // 2,900 ms after the command: still waiting
            tick();
            EXPECT_EQ(frm->StatusText(), "Sending command ...");
            tick(2);
            EXPECT_EQ(frm->StatusText(), "Ready.");
        }
        EXPECT_EQ(frm->session->MachineState, MachineStateReady);
        EXPECT_EQ(frm->NoticeText(), c.notice);
        EXPECT_EQ(frm->StatusBar1Notice->text(), c.notice);
        frm->btnDisconnect->click();
        frm->termData->Clear();
    }

    // An empty start command sends nothing and passes the step in one tick.
    frm->edtStartCmd->clear();
    frm->btnStart->click();
    ASSERT_TRUE(tickUntil(MachineStateSendCommand));
    tick();
    EXPECT_EQ(frm->session->MachineState, MachineStateReady);
    frm->termData->Form()->setManualText("AT");
    frm->termData->SendLine();
    EXPECT_EQ(m_pty->read(3), QByteArray("AT\r"));
}
