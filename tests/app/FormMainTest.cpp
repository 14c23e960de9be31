#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <memory>
#include <sys/stat.h>
#include <thread>

#include "TestEnv.h"
#include "app/FormCfgAdv.h"
#include "app/FormMain.h"
#include "comm/VOXComm32.h"
#include "platform/ControlChannel.h"
#include "platform/SerialOpenFailure.h"
#include "platform/Ticks.h"
#include "terminal/SendLineText.h"
#include "terminal/TerminalWindow.h"
#include "terminal/VOxaTerminal.h"
#include "tests/support/ClippedTexts.h"
#include "tests/support/Pty.h"
#include "util/Timer.h"
#include "widgets/ComboBoxes.h"

namespace {

// The main window with its ticks under the test's control: tmrMachine keeps its
// Enabled state, but its ticks come from tick(), each 50 ms of injected time.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Every test starts from an empty registry.
        QDir(TestWorkDir() + "/config").removeRecursively();
        QDir().mkpath(TestWorkDir() + "/config");
        m_now = 0x10000000u;
        platform::setTickSource([this] { return m_now.load(); });
        m_pty = std::make_unique<testsupport::Pty>(m_dir.path() + "/ttyLINK",
                                                   testsupport::PtyOptions{});
    }
    void TearDown() override {
        frm.reset();
        platform::setTickSource({});
    }

    void create() {
        frm = std::make_unique<TfrmMain>();
        dlg = new TfrmCfgAdv(frm.get());
        frm->SetCfgAdv(dlg);
        frm->tmrMachine->OnTimer = nullptr;
        // The window opens with the focus on "Connect & Start".
        initialFocus = frm->focusWidget();
        frm->show();
        // The component's first state report arrives through the event loop.
        ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() != "?"; }));
    }

    // One 50 ms step of the connection timer (only while it runs, as the real one).
    void tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            m_now += 50;
            if (frm->tmrMachine->Enabled())
                frm->tmrMachineTimer();
            // An open the step started comes back within the step, as a
            // port at hand does.
            ASSERT_TRUE(WaitUntil([&] { return !frm->commMain->OpenPending(); }));
            QCoreApplication::processEvents();
        }
    }

    QString terminalText() {
        frm->termData->FlushDisplay();
        return frm->termData->RichEdit()->toPlainText();
    }
    int countInTerminal(const QString& what) { return int(terminalText().count(what)); }
    QStringList terminalLines() { return terminalText().split('\n', Qt::SkipEmptyParts); }

    // Ticks until the sequence has settled in Ready (at most n ticks).
    bool tickUntilReady(int n = 40) {
        for (int i = 0; i < n && frm->session->MachineState != MachineStateReady; ++i)
            tick();
        return frm->session->MachineState == MachineStateReady;
    }

    void receive(const QByteArray& chunk) {
        frm->commMainReceiveData(frm->commMain, chunk.constData(), uint16_t(chunk.size()));
    }

    std::atomic<uint32_t> m_now{0};
    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::Pty> m_pty;
    std::unique_ptr<TfrmMain> frm;
    TfrmCfgAdv* dlg = nullptr;
    QWidget* initialFocus = nullptr;
};

const QColor Red(255, 0, 0), Black(0, 0, 0), Blue(0, 0, 255);

} // namespace

TEST_F(MainWindowTest, LayoutHoldsEveryControlWithItsCaption) {
    create();
    EXPECT_EQ(frm->windowTitle(), "Dralvo, v1.10");
    EXPECT_EQ(frm->grpComPort->title(), " COM port parameters ");
    EXPECT_EQ(frm->grpFilters->title(), " Filters ");
    EXPECT_EQ(frm->grpSendFile->title(), " Send file ");
    EXPECT_EQ(frm->btnStart->text(), "Connect && &Start");
    EXPECT_EQ(frm->btnConnect->text(), "C&onnect");
    EXPECT_EQ(frm->btnDisconnect->text(), "&Disconnect");
    EXPECT_TRUE(frm->btnStart->isDefault());
    EXPECT_TRUE(frm->btnConnect->isDefault());
    EXPECT_EQ(initialFocus, frm->btnStart);
    EXPECT_EQ(frm->btnConfig->text(), "&Config");
    EXPECT_EQ(frm->btnAdvancedCfg->text(), "&Advanced ...");
    EXPECT_EQ(frm->btAutostartOn->text(), "Set autostart on");
    EXPECT_EQ(frm->lblStartCmd->text(), "Start command: (without CR at the end)");
    EXPECT_EQ(frm->lblAtSjra->text(), "at^sjra=");
    EXPECT_EQ(frm->edtStartCmd->text(), "a:/appmain2.jad");
    EXPECT_EQ(frm->btnFreezeRun->text(), "Freeze");
    EXPECT_EQ(frm->chkStrict->text(), "Strict");
    EXPECT_FALSE(frm->chkStrict->isChecked());
    EXPECT_EQ(frm->cmbFilter1->maxVisibleItems(), 10);
    EXPECT_EQ(frm->cmbFilter2->maxVisibleItems(), 10);
    EXPECT_TRUE(frm->cmbFilter1->isEditable());
    EXPECT_EQ(frm->edtSFFilename->text(), "-");
    EXPECT_EQ(frm->btnSFBrowse->text(), "&Browse");
    EXPECT_EQ(frm->btnSFSend->text(), "S&end");
    EXPECT_TRUE(frm->lblOutState->font().bold());
    EXPECT_TRUE(frm->lblOutCheck->wordWrap());
    EXPECT_EQ(frm->lblProgress->alignment() & Qt::AlignRight, Qt::AlignRight);
    EXPECT_EQ(frm->lblProgress->font().family(), "Courier New");
    EXPECT_EQ(dlg->windowTitle(), "Advanced configuration");
    EXPECT_EQ(frm->tmrMachine->Interval(), 50u);
    EXPECT_EQ(frm->termData->MaxLines(), 500000);
    EXPECT_TRUE(frm->termData->ShowHexEdit());
    EXPECT_EQ(frm->termData->LoggerNamingStyle(), volnfDaily);
    EXPECT_EQ(frm->termData->LoggerFilename(), "logs\\Dralvo_*.log");
    EXPECT_FALSE(frm->commMain->AutoReconnect());
    EXPECT_TRUE(frm->commMain->Options()->SkipEvents().Contains(voceTXEMPTY));
}

TEST_F(MainWindowTest, StartsIdleWithTheStoredPortAndNoConnection) {
    create();
    EXPECT_EQ(frm->StatusText(), "");
    EXPECT_EQ(frm->lblProgress->text(), "");
    EXPECT_FALSE(frm->commMain->IsCommOpen());
    EXPECT_EQ(frm->lblOutState->text(), "Disconnected");
    EXPECT_EQ(frm->lblOutCheck->text(), " (Port: COM1, Speed: 115200)");
    EXPECT_EQ(ComboFontColor(frm->cmbPort), Black);
    // The component's second initial report is equal and dropped: one line only.
    Pump(100);
    EXPECT_EQ(countInTerminal("COM port \"COM1\": Disconnected"), 1);
    EXPECT_EQ(terminalLines().size(), 1);
    EXPECT_EQ(frm->session->MachineState, MachineStateIdle);
    EXPECT_FALSE(frm->tmrMachine->Enabled());
}

TEST_F(MainWindowTest, ConnectOnAMissingPortRetriesAndShowsOneFailure) {
    create();
    const QString missing = m_dir.path() + "/ttyMISSING";
    frm->commMain->SetCommPort(missing);
    frm->btnConnect->click();
    EXPECT_EQ(frm->StatusText(), "Trying to open COM port ...");
    EXPECT_FALSE(frm->btnStart->isEnabled());
    EXPECT_TRUE(frm->btnDisconnect->isEnabled());
    EXPECT_TRUE(frm->session->connectOnly);

    // The first attempt comes with the second tick.
    tick();
    EXPECT_EQ(frm->session->openAttempts, 0);
    tick();
    EXPECT_EQ(frm->session->openAttempts, 1);
    EXPECT_EQ(frm->lblProgress->text(), "(.*..)");

    // Attempts more than 500 ms apart; the star walks right with each failure.
    const QStringList expected = {"(..*.)", "(...*)", "(*...)", "(.*..)", "(..*.)"};
    for (const QString& pattern : expected) {
        const int before = frm->session->openAttempts;
        const uint32_t start = m_now;
        while (frm->session->openAttempts == before && m_now - start < 2000)
            tick();
        const uint32_t gap = m_now - start;
        EXPECT_GT(gap, 500u);
        EXPECT_LE(gap, 600u);
        EXPECT_EQ(frm->lblProgress->text(), pattern);
    }
    Pump(50);
    EXPECT_EQ(frm->StatusText(), "Trying to open COM port ...");
    EXPECT_EQ(frm->lblOutState->text(), "Failed");
    EXPECT_EQ(countInTerminal(QString("COM port \"%1\": Failed").arg(missing)), 1);
    EXPECT_EQ(ComboFontColor(frm->cmbPort), Red);

    // Disconnect ends the retries.
    frm->btnDisconnect->click();
    EXPECT_EQ(frm->StatusText(), "Idle.");
    EXPECT_TRUE(frm->btnStart->isEnabled());
    EXPECT_FALSE(frm->btnDisconnect->isEnabled());
    EXPECT_EQ(frm->focusWidget(), frm->btnStart);
    const int attempts = frm->session->openAttempts;
    tick(30);
    EXPECT_EQ(frm->session->openAttempts, attempts);
    EXPECT_FALSE(frm->tmrMachine->Enabled());
    EXPECT_FALSE(frm->commMain->IsCommOpen());
}

// Each failed attempt says why in the status bar's notice, while the state
// line, the progress star and the terminal's single "Failed" line stay as they
// are; an open port takes the reason away.
TEST_F(MainWindowTest, AFailedOpenSaysWhyAndAnOpenPortClearsIt) {
    create();
    const auto attempt = [&](const QString& port) {
        frm->commMain->SetCommPort(port);
        frm->btnConnect->click();
        tick(2);
        return frm->NoticeText();
    };
    const QString missing = m_dir.path() + "/ttyMISSING";
    EXPECT_TRUE(
        attempt(missing).startsWith(QString("COM port \"%1\": no such device.").arg(missing)))
        << frm->NoticeText().toStdString();
    EXPECT_EQ(frm->StatusText(), "Trying to open COM port ...");
    EXPECT_EQ(frm->lblProgress->text(), "(.*..)");

    QFile plain(m_dir.path() + "/plain");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_EQ(attempt(plain.fileName()),
              QString("COM port \"%1\": %1 is not a serial device.").arg(plain.fileName()));

    // Another program holds the port locked: it is named.
    ASSERT_TRUE(m_pty->plug());
    QProcess holder;
    holder.start("flock", {m_pty->path(), "cat"}); // holds it until its input ends
    ASSERT_TRUE(holder.waitForStarted());
    const std::string device = m_pty->path().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return platform::processesHolding(device).size() == 2; }));
    EXPECT_TRUE(attempt(m_pty->path()).contains(QString("flock (pid %1)").arg(holder.processId())))
        << frm->NoticeText().toStdString();
    EXPECT_TRUE(frm->NoticeText().startsWith(
        QString("COM port \"%1\": busy, another program has %1 open: ").arg(m_pty->path())));
    EXPECT_EQ(frm->lblOutState->text(), "Failed");
    // One "Failed" line for the whole series: the state never changed.
    EXPECT_EQ(countInTerminal("\": Failed"), 1);

    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished());
    ASSERT_TRUE(tickUntilReady());
    EXPECT_EQ(frm->NoticeText(), "");
}

// With the fonts of this machine every caption shows whole, in the main window
// and in the advanced dialog; a long notice wraps and makes the window taller,
// never wider.
TEST_F(MainWindowTest, EveryTextShowsWholeAndALongNoticeWraps) {
    create();
    EXPECT_EQ(testsupport::ClippedTexts(frm.get()).join('\n').toStdString(), "");
    dlg->show();
    EXPECT_EQ(testsupport::ClippedTexts(dlg).join('\n').toStdString(), "");
    dlg->hide();

    const int width = frm->width();
    frm->ShowNotice(QString("COM port \"COM1\": permission denied on /dev/ttyS0. ").repeated(4));
    ASSERT_TRUE(WaitUntil([&] {
        return frm->StatusBar1Notice->height() >=
               frm->StatusBar1Notice->heightForWidth(frm->StatusBar1Notice->width());
    }));
    EXPECT_EQ(frm->width(), width);
    EXPECT_GE(frm->StatusBar1Notice->height(), 3 * frm->StatusBar1Notice->fontMetrics().height());
    EXPECT_EQ(testsupport::ClippedTexts(frm.get()).join('\n').toStdString(), "");
    // The groups above keep their room.
    EXPECT_GE(frm->grpComPort->height(), frm->grpComPort->minimumSizeHint().height());
}

TEST_F(MainWindowTest, ConnectGoesStraightToReadyAndStartPassesTheSendStep) {
    ASSERT_TRUE(m_pty->plug());
    create();
    frm->commMain->SetCommPort(m_pty->path());
    frm->btnConnect->click();
    tick(2);
    EXPECT_EQ(frm->StatusText(), "Ready.");
    EXPECT_EQ(frm->session->MachineState, MachineStateReady);
    EXPECT_EQ(frm->lblProgress->text(), "");
    EXPECT_TRUE(frm->commMain->IsCommOpen());
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Connected"; }));
    EXPECT_EQ(ComboFontColor(frm->cmbPort), Blue);
    EXPECT_EQ(countInTerminal(QString("COM port \"%1\": Connected").arg(m_pty->path())), 1);
    EXPECT_EQ(frm->lblOutCheck->text(), QString(" (Port: %1, Speed: 115200)").arg(m_pty->path()));
    tick();
    EXPECT_FALSE(frm->tmrMachine->Enabled());

    frm->btnDisconnect->click();
    EXPECT_EQ(frm->StatusText(), "Idle.");
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Disconnected"; }));
    EXPECT_EQ(ComboFontColor(frm->cmbPort), Black);
    EXPECT_EQ(countInTerminal(QString("COM port \"%1\": Disconnected").arg(m_pty->path())), 1);

    // "Connect & Start" without a start command: one tick of "Sending
    // command ...", then ready (with one, see DeskTest).
    frm->edtStartCmd->clear();
    frm->btnStart->click();
    EXPECT_EQ(frm->focusWidget(), frm->btnDisconnect);
    EXPECT_FALSE(frm->session->connectOnly);
    tick(2);
    EXPECT_EQ(frm->StatusText(), "Sending command ...");
    EXPECT_EQ(frm->session->MachineState, MachineStateSendCommand);
    EXPECT_FALSE(frm->btnStart->isEnabled());
    tick();
    EXPECT_EQ(frm->StatusText(), "Ready.");
    EXPECT_EQ(frm->session->MachineState, MachineStateReady);
}

TEST_F(MainWindowTest, PullingTheAdapterReconnectsWithoutHelp) {
    ASSERT_TRUE(m_pty->plug());
    create();
    frm->commMain->SetCommPort(m_pty->path());
    frm->edtStartCmd->clear(); // the module here answers no start command
    frm->btnStart->click();
    ASSERT_TRUE(tickUntilReady());
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Connected"; }));

    m_pty->unplug();
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Failed"; }));
    EXPECT_EQ(frm->StatusText(), "Trying to open COM port ...");
    EXPECT_EQ(frm->session->MachineState, MachineStateOpenPort);
    EXPECT_TRUE(frm->session->connectOnly);
    EXPECT_EQ(ComboFontColor(frm->cmbPort), Red);

    // Nothing to open yet: a few failed attempts.
    tick(30);
    EXPECT_GE(frm->session->openAttempts, 2);
    EXPECT_NE(frm->lblProgress->text(), "");
    EXPECT_EQ(frm->session->MachineState, MachineStateOpenPort);

    // The adapter is back under the same name.
    ASSERT_TRUE(m_pty->plug());
    ASSERT_TRUE(tickUntilReady());
    EXPECT_EQ(frm->StatusText(), "Ready.");
    EXPECT_EQ(frm->lblProgress->text(), "");
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Connected"; }));
    EXPECT_EQ(ComboFontColor(frm->cmbPort), Blue);
    const QString port = m_pty->path();
    EXPECT_EQ(countInTerminal(QString("COM port \"%1\": Failed").arg(port)), 1);
    EXPECT_EQ(countInTerminal(QString("COM port \"%1\": Connected").arg(port)), 2);

    // And data flows again.
    ASSERT_TRUE(m_pty->write("back\r\n"));
    EXPECT_TRUE(WaitUntil([&] { return terminalText().contains("+ back"); }));
}

TEST_F(MainWindowTest, APulledCableLosesNoLineThatWasReadBeforeIt) {
    ASSERT_TRUE(m_pty->plug());
    create();
    frm->commMain->SetCommPort(m_pty->path());
    frm->btnConnect->click();
    ASSERT_TRUE(tickUntilReady());
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Connected"; }));

    // The window is busy (runs no events) while the module prints and the
    // cable is pulled: what the port had read must still come before "Failed".
    QByteArray data;
    for (int i = 0; i < 300; ++i)
        data += "line " + QByteArray::number(i).rightJustified(5, '0') + "\r\n";
    ASSERT_TRUE(m_pty->writeAll(data));
    QElapsedTimer stalled;
    stalled.start();
    while (frm->commMain->ReceiveUnhandled() < data.size() && stalled.elapsed() < 10000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(frm->commMain->ReceiveUnhandled(), data.size());
    m_pty->unplug();
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Failed"; }));

    VOxaLogger* logger = frm->termData->Logger();
    logger->Flush();
    QFile file(logger->FileName());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> log = file.readAll().split('\n');
    int next = 0;
    bool failedAfterAll = false;
    for (const QByteArray& record : log) {
        if (record.contains("+ line ") && next < 300 &&
            record.endsWith("+ line " + QByteArray::number(next).rightJustified(5, '0') + "\r"))
            ++next;
        if (record.contains("\": Failed"))
            failedAfterAll = next == 300;
    }
    EXPECT_EQ(next, 300) << "every line logged, in order";
    EXPECT_TRUE(failedAfterAll) << "the Failed line comes after them";
    const QStringList shown = terminalLines();
    const qsizetype failedAt = shown.indexOf(QRegularExpression(".*\": Failed$"));
    ASSERT_GE(failedAt, 1);
    EXPECT_TRUE(shown[failedAt - 1].endsWith("+ line 00299")) << shown[failedAt - 1].toStdString();
}

TEST_F(MainWindowTest, ADeviceThatComesBackIsOpenedAtOnce) {
    ASSERT_TRUE(m_pty->plug());
    create();
    frm->commMain->SetCommPort(m_pty->path());
    frm->btnConnect->click();
    ASSERT_TRUE(tickUntilReady());
    m_pty->unplug();
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Failed"; }));
    tick(3); // the first attempt fails; the next one would be 500 ms later
    ASSERT_EQ(frm->session->machineStep, 2);
    const int attempts = frm->session->openAttempts;

    // No more ticks: only the device's return can make the next attempt.
    ASSERT_TRUE(m_pty->plug());
    ASSERT_TRUE(WaitUntil([&] { return frm->session->MachineState == MachineStateReady; }));
    EXPECT_EQ(frm->session->openAttempts, attempts);
    EXPECT_EQ(frm->StatusText(), "Ready.");
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Connected"; }));
}

TEST_F(MainWindowTest, SummaryShowsOnlyStandardRateConstants) {
    ASSERT_TRUE(m_pty->plug());
    create();
    frm->commMain->SetCommPort(m_pty->path());
    frm->commMain->SetBaudRate(TBaudRate::_230400);
    frm->btnConnect->click();
    ASSERT_TRUE(tickUntilReady());
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Connected"; }));
    EXPECT_EQ(frm->lblOutCheck->text(), QString(" (Port: %1, Speed: ?)").arg(m_pty->path()));
    frm->btnDisconnect->click();
    frm->commMain->SetBaudRate(TBaudRate::_256000);
    frm->btnConnect->click();
    ASSERT_TRUE(tickUntilReady());
    ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() == "Connected"; }));
    EXPECT_EQ(frm->lblOutCheck->text(), QString(" (Port: %1, Speed: 256000)").arg(m_pty->path()));

    const char* expected[kBaudRateCount] = {
        "110",   "300",   "600",   "1200",   "2400",   "4800", "9600",   "14400", "19200", "?",
        "38400", "56000", "57600", "115200", "128000", "?",    "256000", "?",     "?",     "?"};
    for (int i = 0; i < kBaudRateCount; ++i)
        EXPECT_EQ(TfrmMain::BaudRateText(TBaudRate(i)), expected[i]) << i;
}

TEST_F(MainWindowTest, AReportEqualToTheLastChangesNothing) {
    create();
    const QString summary = frm->lblOutCheck->text();
    const int lines = int(terminalLines().size());
    frm->commMain->SetCommPort("COM9");
    frm->commMainStateChange(frm->commMain, CommStateDisconnected);
    EXPECT_EQ(frm->lblOutCheck->text(), summary);
    EXPECT_EQ(terminalLines().size(), lines);
    // A different one does change them.
    frm->commMainStateChange(frm->commMain, CommStateConnected);
    EXPECT_EQ(frm->lblOutCheck->text(), " (Port: COM9, Speed: 115200)");
    EXPECT_EQ(countInTerminal("COM port \"COM9\": Connected"), 1);
    // A Disconnected report while opening reads as a failure.
    frm->session->MachineState = MachineStateOpenPort;
    frm->commMainStateChange(frm->commMain, CommStateDisconnected);
    EXPECT_EQ(frm->lblOutState->text(), "Failed");
    EXPECT_EQ(frm->session->lastCommState, CommStateFailed);
    EXPECT_EQ(ComboFontColor(frm->cmbPort), Red);
    EXPECT_EQ(countInTerminal("COM port \"COM9\": Failed"), 1);
    // "First" is only a word: the port keeps its colour.
    frm->commMainStateChange(frm->commMain, CommStateFirst);
    EXPECT_EQ(frm->lblOutState->text(), "First");
    EXPECT_EQ(ComboFontColor(frm->cmbPort), Red);
    EXPECT_EQ(frm->session->lastCommState, CommStateFirst);
}

TEST_F(MainWindowTest, ControlMessagesPressStartAndDisconnect) {
    ASSERT_TRUE(m_pty->plug());
    create();
    QTemporaryDir runtime;
    ASSERT_TRUE(frm->ListenForControlMessages(runtime.path()));
    const QString path = frm->ControlSocketPath();
    EXPECT_EQ(path, runtime.path() + "/Dralvo_v1-7.ctl");
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    auto send = [&](const char* line) {
        std::atomic<bool> done{false};
        long long result = -1;
        std::thread client([&] {
            result = platform::sendControlMessage(path, line, nullptr, 3000);
            done = true;
        });
        WaitUntil([&] { return done.load(); });
        client.join();
        return result;
    };

    frm->commMain->SetCommPort(m_pty->path());
    frm->edtStartCmd->clear(); // the module here answers no start command
    frm->btnConnect->click();
    ASSERT_TRUE(tickUntilReady());
    // Start while ready restarts the sequence (also with the button disabled).
    EXPECT_FALSE(frm->btnStart->isEnabled());
    EXPECT_EQ(send("1025"), 1);
    EXPECT_EQ(frm->session->MachineState, MachineStateOpenPort);
    EXPECT_FALSE(frm->session->connectOnly);
    EXPECT_EQ(frm->StatusText(), "Trying to open COM port ...");
    ASSERT_TRUE(tickUntilReady());
    EXPECT_TRUE(frm->commMain->IsCommOpen());
    EXPECT_EQ(send("0x400"), 2);
    EXPECT_EQ(frm->StatusText(), "Idle.");
    EXPECT_FALSE(frm->commMain->IsCommOpen());
    EXPECT_EQ(send("0x402"), 0);
    EXPECT_EQ(frm->StatusText(), "Idle.");
}

// Something else where the socket goes: the window listens under its pid's
// name and says so, with the reason and how to reach it.
TEST_F(MainWindowTest, ControlSocketUnderItsPidNameIsToldInTheStatusBar) {
    create();
    QTemporaryDir runtime;
    ASSERT_TRUE(QDir(runtime.path()).mkdir("Dralvo_v1-7.ctl"));
    ASSERT_TRUE(frm->ListenForControlMessages(runtime.path()));
    const QString path = frm->ControlSocketPath();
    EXPECT_EQ(path, runtime.path() + QString("/Dralvo_v1-7-%1.ctl").arg(::getpid()));
    EXPECT_TRUE(frm->NoticeText().contains(path)) << frm->NoticeText().toStdString();
    EXPECT_TRUE(frm->NoticeText().contains("a directory is in its place"))
        << frm->NoticeText().toStdString();
}

TEST_F(MainWindowTest, TerminationSignalClosesLikeTheCloseBox) {
    create();
    int closedCount = 0;
    QObject::connect(frm.get(), &TfrmMain::closed, [&] { ++closedCount; });
    frm->CloseOnTerminationSignals();
    ::raise(SIGTERM);
    ASSERT_TRUE(WaitUntil([&] { return closedCount > 0; }));
    EXPECT_FALSE(frm->isVisible());
    // The placement was saved on the way out.
    QFile hive(TestWorkDir() + "/config/Oxatek/user.reg");
    ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
    EXPECT_TRUE(hive.readAll().contains("Options\\Forms\\frmMain]"));
    // Later signals change nothing.
    ::raise(SIGINT);
    ::raise(SIGHUP);
    Pump(100);
    EXPECT_EQ(closedCount, 1);
}

// The session ends the program right after the operator sent a line from
// the terminal window (the window still active): the line is in the hive.
TEST_F(MainWindowTest, TerminationSignalKeepsTheNewestSentLineInTheHistory) {
    create();
    // As the program's main does: the closed window ends the event loop.
    QObject::connect(frm.get(), &TfrmMain::closed, [] { QApplication::exit(0); });
    frm->CloseOnTerminationSignals();
    TerminalWindow* w = frm->termData->Form();
    w->activateWindow();
    QApplication::setActiveWindow(w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    w->ManualLine()->setFocus();
    QTest::keyClicks(QApplication::focusWidget(), "at+cgmr");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(frm->termData->History().value(0), "at+cgmr");

    ::raise(SIGTERM);
    // A loop that never ends fails the test; the guard goes with the test, so
    // its exit cannot reach a later test (an exit outside a running loop
    // makes every later dialog's loop return at once).
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QApplication::exit(1); });
    guard.start(10000);
    ASSERT_EQ(QApplication::exec(), 0);
    QFile hive(TestWorkDir() + "/config/Oxatek/user.reg");
    ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
    const QByteArray text = hive.readAll();
    EXPECT_TRUE(text.contains("\\OxaTerminalHistory\\termData]\r\n\"0\"=\"at+cgmr\""))
        << text.constData();
}

// ---- receive pipeline, filters, Freeze/Run, sending ----------------------------------------

TEST_F(MainWindowTest, ReceivedChunksBecomeFilteredTerminalLines) {
    create();
    const int before = int(terminalLines().size());
    receive("OK\r\n");
    QStringList lines = terminalLines();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_TRUE(lines.last().endsWith(": + OK")) << lines.last().toStdString();

    // A partial rest is joined by the terminal with the next chunk's first line.
    receive("AB");
    receive("C\r\n");
    EXPECT_TRUE(terminalLines().last().endsWith("+ ABC"));

    // With filter 1 "C" the line C is shown highlighted on its own line.
    auto counter = [&](int type) { return frm->termData->LineCounter(type); };
    const int g = counter(VOxaTerminal_ltExtraG);
    frm->cmbFilter1->setEditText("  c ");
    receive("AB");
    receive("C\r\n");
    lines = terminalLines();
    EXPECT_TRUE(lines[lines.size() - 2].endsWith("+ AB"));
    EXPECT_TRUE(lines.last().endsWith("E C"));
    EXPECT_EQ(counter(VOxaTerminal_ltExtraG), g + 1);

    // Filter 1 "ABC" sees only "C": nothing highlighted.
    frm->cmbFilter1->setEditText("ABC");
    receive("AB");
    receive("C\r\n");
    EXPECT_TRUE(terminalLines().last().endsWith("+ ABC"));
    EXPECT_EQ(counter(VOxaTerminal_ltExtraG), g + 1);

    // Filter 2 and Strict.
    frm->cmbFilter1->setEditText("%err");
    frm->cmbFilter2->setEditText("warn");
    frm->chkStrict->setChecked(true);
    const int a = counter(VOxaTerminal_ltExtraA);
    const int count = int(terminalLines().size());
    receive("xx ERROR\r\nWARNING\r\nwarn error\r\nplain\r\n\r\ntail");
    lines = terminalLines();
    ASSERT_EQ(lines.size(), count + 4);
    EXPECT_TRUE(lines[count].endsWith("E xx ERROR"));
    EXPECT_TRUE(lines[count + 1].endsWith("E WARNING"));
    EXPECT_TRUE(lines[count + 2].endsWith("E warn error"));
    EXPECT_TRUE(lines[count + 3].endsWith("+ tail"));
    // A line matching both filters shows once, as a filter-1 line.
    EXPECT_EQ(counter(VOxaTerminal_ltExtraG), g + 3);
    EXPECT_EQ(counter(VOxaTerminal_ltExtraA), a + 1);
}

TEST_F(MainWindowTest, FreezeDropsWhatArrivesMeanwhileFromDisplayAndLog) {
    create();
    EXPECT_EQ(frm->btnFreezeRun->text(), "Freeze");
    frm->btnFreezeRun->click();
    EXPECT_EQ(frm->btnFreezeRun->text(), "&Run");
    EXPECT_TRUE(frm->termData->IgnoreAddChars());
    receive("hidden line\r\n");
    frm->btnFreezeRun->click();
    EXPECT_EQ(frm->btnFreezeRun->text(), "&Freeze");
    EXPECT_FALSE(frm->termData->IgnoreAddChars());
    receive("shown line\r\n");
    EXPECT_FALSE(terminalText().contains("hidden"));
    EXPECT_TRUE(terminalText().contains("+ shown line"));
    Pump(50);
    frm.reset(); // closes the log
    QDir logs(TestWorkDir() + "/logs");
    const QStringList files = logs.entryList({"Dralvo_*.log"}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    QByteArray log;
    for (const QString& f : files) {
        QFile file(logs.filePath(f));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        log += file.readAll();
    }
    EXPECT_TRUE(log.contains("shown line"));
    EXPECT_FALSE(log.contains("hidden line"));
}

TEST_F(MainWindowTest, ALogThatCannotBeWrittenIsNoticedAndLaterSaysWhatItMissed) {
    // Started in a folder where a file stands in the place of logs/, and the
    // state folder, where the log goes then, cannot be made either.
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    const QByteArray savedState = qgetenv("XDG_STATE_HOME");
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    QFile blocker(folder.filePath("logs"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QFile stateBlocker(folder.filePath("state"));
    ASSERT_TRUE(stateBlocker.open(QIODevice::WriteOnly));
    stateBlocker.close();
    qputenv("XDG_STATE_HOME", stateBlocker.fileName().toLocal8Bit());
    const QString stateLogs = stateBlocker.fileName() + "/Dralvo/logs";

    create(); // its first state line cannot be logged
    const QString notice = frm->NoticeText();
    EXPECT_TRUE(notice.startsWith("Cannot write the log " + stateLogs + "/Dralvo_"))
        << notice.toStdString();
    EXPECT_TRUE(notice.contains("folder")) << notice.toStdString();
    receive("lost too\r\n");

    ASSERT_TRUE(stateBlocker.remove());
    receive("kept\r\n");
    const QString fileName = frm->termData->Logger()->FileName();
    EXPECT_TRUE(fileName.startsWith(stateLogs)) << fileName.toStdString();
    EXPECT_EQ(frm->NoticeText(), "Logging again to " + fileName);
    QFile log(fileName);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].contains(": A -- WARNING: 2 record(s) not logged since "))
        << lines[0].constData();
    EXPECT_TRUE(lines[1].endsWith(": + kept\r")) << lines[1].constData();
    frm.reset();

    // With a state folder to go to, the window says where the log went.
    create();
    EXPECT_EQ(frm->NoticeText(), "logs is not a folder: the log goes to state/Dralvo/logs");
    frm.reset();
    qputenv("XDG_STATE_HOME", savedState);
    QDir::setCurrent(previous);
}

// Started in the home folder, as from a desktop menu: the log goes to the state
// folder, and the status bar names the file. Started in a folder of one's own
// it stays under logs/ there.
TEST_F(MainWindowTest, AMenuStartLogsUnderTheStateFolderAndTheStatusBarSaysWhere) {
    QTemporaryDir folder;
    const QString home = folder.path() + "/home";
    ASSERT_TRUE(QDir().mkpath(home + "/work"));
    const QString previous = QDir::currentPath();
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.toLocal8Bit());
    qunsetenv("XDG_STATE_HOME");
    ASSERT_TRUE(QDir::setCurrent(home));
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");

    create(); // its first state line opens the day's log
    const QString logFile = home + "/.local/state/Dralvo/logs/Dralvo_" + today + ".log";
    ASSERT_TRUE(WaitUntil([&] { return !frm->LogFileText().isEmpty(); }));
    EXPECT_EQ(frm->LogFileText(), "Log: ~/.local/state/Dralvo/logs/Dralvo_" + today + ".log");
    EXPECT_EQ(frm->StatusBar1Log->toolTip(), logFile);
    EXPECT_EQ(frm->termData->Logger()->FileName(), logFile);
    EXPECT_FALSE(QFileInfo::exists(home + "/logs"));
    frm.reset();

    ASSERT_TRUE(QDir::setCurrent(home + "/work"));
    create();
    ASSERT_TRUE(WaitUntil([&] { return !frm->LogFileText().isEmpty(); }));
    EXPECT_EQ(frm->LogFileText(), "Log: logs/Dralvo_" + today + ".log");
    EXPECT_TRUE(QFileInfo::exists(home + "/work/logs/Dralvo_" + today + ".log"));
    frm.reset();

    // A state folder that cannot be made is told in the window.
    QFile blocker(folder.path() + "/state");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_STATE_HOME", blocker.fileName().toLocal8Bit());
    ASSERT_TRUE(QDir::setCurrent(home));
    create();
    ASSERT_TRUE(WaitUntil([&] { return !frm->NoticeText().isEmpty(); }));
    EXPECT_TRUE(frm->NoticeText().startsWith("Cannot write the log " + blocker.fileName() +
                                             "/Dralvo/logs/Dralvo_" + today + ".log: "))
        << frm->NoticeText().toStdString();
    frm.reset();

    qunsetenv("XDG_STATE_HOME");
    QDir::setCurrent(previous);
    qputenv("HOME", savedHome);
}

TEST_F(MainWindowTest, ReceivedDataRestartsTheAlarmOnlyWhenItIsOn) {
    create();
    frm->tmrAlarm->SetInterval(30000);
    frm->tmrAlarm->SetEnabled(false);
    frm->tmrAlarmRepeat->SetEnabled(true);
    receive("x\r");
    EXPECT_FALSE(frm->tmrAlarm->Enabled());
    EXPECT_TRUE(frm->tmrAlarmRepeat->Enabled());
    dlg->chkAlarm->setChecked(true);
    receive("x\r");
    EXPECT_TRUE(frm->tmrAlarm->Enabled());
    EXPECT_TRUE(frm->tmrAlarm->IsRunning());
    EXPECT_FALSE(frm->tmrAlarmRepeat->Enabled());
}

TEST_F(MainWindowTest, LeavingAFilterBoxKeepsATenEntryHistory) {
    create();
    QComboBox* box = frm->cmbFilter1;
    auto items = [&] {
        QStringList l;
        for (int i = 0; i < box->count(); ++i)
            l << box->itemText(i);
        return l;
    };
    box->setEditText(" jsr ");
    frm->cmbFilter1Exit();
    EXPECT_EQ(items(), QStringList{" jsr "});
    EXPECT_EQ(box->currentText(), " jsr ");
    box->setEditText(" JSR ");
    frm->cmbFilter1Exit();
    EXPECT_EQ(items().size(), 1);
    for (int i = 0; i < 10; ++i) {
        box->setEditText(QString("f%1").arg(i));
        frm->cmbFilter1Exit();
    }
    EXPECT_EQ(items().size(), 10);
    EXPECT_EQ(items().first(), "f0");
    EXPECT_EQ(items().last(), "f9");
    EXPECT_EQ(box->currentText(), "f9");
    box->setEditText(" \t ");
    frm->cmbFilter1Exit();
    EXPECT_EQ(items().size(), 10);
    EXPECT_EQ(items().first(), "f0");
    // The second box has its own list.
    EXPECT_EQ(frm->cmbFilter2->count(), 0);
}

TEST_F(MainWindowTest, SentBytesGoToThePortAndShowAsSent) {
    ASSERT_TRUE(m_pty->plug());
    create();
    frm->commMain->SetCommPort(m_pty->path());
    frm->btnConnect->click();
    ASSERT_TRUE(tickUntilReady());
    // A line typed into the terminal's send line.
    ASSERT_NE(frm->termData->Form(), nullptr);
    frm->termData->Form()->setManualText("AT+CSQ");
    frm->termData->SendLine();
    EXPECT_EQ(m_pty->read(7), QByteArray("AT+CSQ\r"));
    EXPECT_EQ(frm->termData->LastLineType(), VOxaTerminal_ltOutText);
    EXPECT_TRUE(terminalText().contains(" - AT+CSQ"));
    // The module's answer arrives line by line.
    ASSERT_TRUE(m_pty->write("+CSQ: 17,99\r\n\r\nOK\r\n"));
    EXPECT_TRUE(WaitUntil([&] { return terminalText().contains("+ OK"); }));
    EXPECT_TRUE(terminalText().contains("+ +CSQ: 17,99"));
    // Bytes go out unchanged, zero bytes included.
    const uint8_t plain[] = {'a', 'b'};
    frm->termDataTermSendData(frm->termData, plain, 2, false);
    EXPECT_EQ(m_pty->read(2), QByteArray("ab"));
    const uint8_t raw[] = {0x00, 0x80, 0xff, 0x0d};
    frm->termDataTermSendData(frm->termData, raw, 4, true);
    EXPECT_EQ(m_pty->read(4), QByteArray(reinterpret_cast<const char*>(raw), 4));
}

TEST_F(MainWindowTest, LongSendLinesGoOutByteForByteOrNotAtAll) {
    ASSERT_TRUE(m_pty->plug());
    create();
    frm->commMain->SetCommPort(m_pty->path());
    frm->btnConnect->click();
    ASSERT_TRUE(tickUntilReady());
    QLineEdit* line = frm->termData->Form()->ManualLine()->lineEdit();
    auto pasteAndSend = [&](const QString& text) {
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(line, Qt::Key_Return);
    };
    // A pattern that shows any cut, shift or stray byte, at every length up to
    // the limit (10,922 characters filled the old hex line exactly).
    auto pattern = [](int length) {
        QByteArray text(length, Qt::Uninitialized);
        for (int i = 0; i < length; ++i)
            text[i] = char('!' + i % 90);
        return text;
    };
    for (const int length : {10922, 11000, 20000, 100000, int(terminal::kMaxSendChars)}) {
        const QByteArray text = pattern(length);
        pasteAndSend(QString::fromLatin1(text));
        EXPECT_EQ(m_pty->read(length + 1, 30000), text + '\r') << length;
        EXPECT_EQ(line->text(), QString());
    }
    // One character more is refused: nothing goes out, the line keeps the text
    // and says why; the next line goes out alone.
    const QString tooLong = QString::fromLatin1(pattern(int(terminal::kMaxSendChars) + 1));
    pasteAndSend(tooLong);
    EXPECT_EQ(line->text(), tooLong);
    EXPECT_TRUE(frm->termData->Form()->notice().contains(QRegularExpression("262.?144")))
        << frm->termData->Form()->notice().toStdString();
    line->clear();
    pasteAndSend(QStringLiteral("AT"));
    EXPECT_EQ(m_pty->read(3), QByteArray("AT\r"));
    EXPECT_EQ(m_pty->readNow(), QByteArray());
}

// ---- helpers without the window ----------------------------------------------------------------

TEST(MainWindowHelpers, FilterHistory) {
    QStringList items{"a", "B"};
    EXPECT_FALSE(AddFilterHistory(items, "b"));
    EXPECT_FALSE(AddFilterHistory(items, " \t"));
    EXPECT_FALSE(AddFilterHistory(items, ""));
    EXPECT_TRUE(AddFilterHistory(items, " c "));
    EXPECT_EQ(items, (QStringList{"a", "B", " c "}));
    QStringList full;
    for (int i = 0; i < 10; ++i)
        full << QString::number(i);
    EXPECT_TRUE(AddFilterHistory(full, "x"));
    EXPECT_EQ(full.size(), 10);
    EXPECT_EQ(full.first(), "1");
    EXPECT_EQ(full.last(), "x");
}

TEST(MainWindowHelpers, StrToIntDefAcceptsSignedDecimal32BitOnly) {
    EXPECT_EQ(TfrmMain::StrToIntDef("2000", 500), 2000);
    EXPECT_EQ(TfrmMain::StrToIntDef("-7", 500), -7);
    EXPECT_EQ(TfrmMain::StrToIntDef("+7", 500), 7);
    EXPECT_EQ(TfrmMain::StrToIntDef("2147483647", 1), 2147483647);
    for (const char* bad : {"", "abc", "12x", " 5", "2147483648", "-", "0x10"})
        EXPECT_EQ(TfrmMain::StrToIntDef(bad, 500), 500) << bad;
}

TEST(MainWindowHelpers, ComboColourChangeKeepsTextAndSelection) {
    QComboBox box;
    box.setEditable(true);
    box.setEditText("ttyUSB0");
    box.lineEdit()->setSelection(3, 3);
    int changes = 0;
    QObject::connect(&box, &QComboBox::editTextChanged, [&] { ++changes; });
    SetComboFontColor(&box, QColor(255, 0, 0));
    EXPECT_EQ(ComboFontColor(&box), QColor(255, 0, 0));
    EXPECT_EQ(box.currentText(), "ttyUSB0");
    EXPECT_EQ(box.lineEdit()->selectionStart(), 3);
    EXPECT_EQ(box.lineEdit()->selectedText(), "USB");
    EXPECT_EQ(changes, 0);
}

TEST_F(MainWindowTest, TalksToTheSimulatedModuleLineByLine) {
    const QString simulator = QStringLiteral(DRALVO_BINARY_DIR "/gsmsim");
    ASSERT_TRUE(QFile::exists(simulator)) << "build the gsmsim target first";
    const QString link = m_dir.path() + "/ttyGSM";
    QProcess sim;
    sim.start(simulator, {"--link", link, "--period", "50"});
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(link).isSymLink(); }));

    create();
    frm->commMain->SetCommPort(link);
    frm->btnConnect->click();
    // The connection timer's steps, each after the real time it stands for,
    // until the window is Ready: an attempt the loaded machine refused is
    // tried again once the retry time has really passed, not at once.
    ASSERT_TRUE(WaitUntil(
        [&] {
            tick();
            return frm->session->MachineState == MachineStateReady;
        },
        10000, 50));
    ASSERT_TRUE(WaitUntil([&] { return countInTerminal("heartbeat") >= 3; }, 10000));

    // Each received line is one display line of its own: time stamp, "+ ", text.
    const QRegularExpression received(
        R"(^\d{1,2}:\d\d:\d\d\.\d{3}: \+ \[\w+\] \w+ +demo\.\w+ - .+$)");
    int checked = 0;
    for (const QString& line : terminalLines())
        if (line.contains("demo.")) {
            EXPECT_TRUE(received.match(line).hasMatch()) << line.toStdString();
            ++checked;
        }
    EXPECT_GE(checked, 3);

    // A line typed in the terminal's send line reaches the module, shows as
    // sent, and the module's echo and answer come back as received lines.
    frm->termData->Form()->setManualText("AT");
    frm->termData->SendLine();
    EXPECT_TRUE(terminalText().contains(QRegularExpression(R"(: +- AT<#0D>)")))
        << terminalText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return terminalText().contains(": + OK"); }, 5000));
    EXPECT_TRUE(terminalText().contains(": + AT\n") || terminalText().contains(": + AT\r"));

    frm->btnDisconnect->click();
    sim.terminate();
    sim.waitForFinished(5000);
}
