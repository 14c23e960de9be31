// The main window's commands to the module against a pseudo-terminal standing
// in for the module: the autostart line, sending files, their errors, and the
// port box with its dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <thread>

#include "TestEnv.h"
#include "app/FormCfgAdv.h"
#include "app/FormMain.h"
#include "app/ModuleCommands.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Blocks.h"
#include "terminal/VOxaTerminal.h"
#include "tests/support/Pty.h"

namespace {

const QByteArray DefaultAutostart = "at^scfg=\"Userware/Autostart\",\"\",1;"
                                    "^scfg=\"Userware/Autostart/AppName\",\"\","
                                    "\"a:/appmain2.jad\"\r";

// Runs check on the modal widget that opens next, then lets the caller's
// modal call return; gives up (closing whatever is modal) after 5 s.
void OnNextModal(std::function<void(QWidget*)> check) {
    auto* poll = new QTimer;
    auto* started = new QElapsedTimer;
    started->start();
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, started, check] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) {
            check(modal);
            if (modal->isVisible())
                modal->close();
        }
        if (modal || started->elapsed() > 5000) {
            poll->stop();
            poll->deleteLater();
            delete started;
        }
    });
    poll->start();
}

class CommandsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(TestWorkDir() + "/config").removeRecursively();
        QDir().mkpath(TestWorkDir() + "/config");
        m_pty = std::make_unique<testsupport::Pty>(m_dir.path() + "/ttyMODULE",
                                                   testsupport::PtyOptions{});
        ASSERT_TRUE(m_pty->plug());
        frm = std::make_unique<TfrmMain>();
        frm->SetCfgAdv(new TfrmCfgAdv(frm.get()));
        frm->show();
        ASSERT_TRUE(WaitUntil([&] { return frm->lblOutState->text() != "?"; }));
        app::setIoErrorReporter([this](QWidget*, const QString& message) { m_errors << message; });
    }
    void TearDown() override {
        app::setIoErrorReporter({});
        frm.reset();
    }

    // Chooses the pseudo-terminal in the port box and connects through the
    // window's own sequence.
    void connectModule() {
        frm->cmbPort->setEditText(m_pty->path());
        ASSERT_EQ(frm->commMain->CommPort(), m_pty->path());
        frm->btnConnect->click();
        ASSERT_TRUE(WaitUntil([&] { return frm->session->MachineState == MachineStateReady; }));
        ASSERT_TRUE(frm->commMain->IsCommOpen());
    }

    QString terminalText() {
        frm->termData->FlushDisplay();
        return frm->termData->RichEdit()->toPlainText();
    }
    QByteArray logText() {
        frm->termData->FlushDisplay();
        QByteArray all;
        const QDir logs(TestWorkDir() + "/logs");
        for (const QString& name : logs.entryList({"Dralvo_*.log"}, QDir::Files)) {
            QFile file(logs.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                all += file.readAll();
        }
        return all;
    }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    void sendFile(const QString& path) {
        frm->edtSFFilename->setText(path);
        frm->btnSFSend->click();
    }
    app::FileSender* sender() { return frm->findChild<app::FileSender*>(); }
    // Until the window has handed the whole file on.
    bool allHandedOn(int timeoutMs = 60000) {
        return WaitUntil([&] { return !sender() || !sender()->busy(); }, timeoutMs);
    }
    // Stops the write worker: a large block fills the pseudo-terminal, which
    // nobody drains, so everything queued later stays queued.
    QByteArray blockWriter() {
        QByteArray filler(256 * 1024, 'F');
        EXPECT_TRUE(frm->commMain->WriteCommData(filler.constData(), int(filler.size())));
        return filler;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::Pty> m_pty;
    std::unique_ptr<TfrmMain> frm;
    QStringList m_errors;
};

// Bytes with every value, in an order that does not repeat every 256 bytes.
QByteArray BinaryBytes(int size) {
    QByteArray bytes(size, '\0');
    uint32_t x = 12345;
    for (int i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(i < 256 ? i : int(x >> 24));
    }
    return bytes;
}

} // namespace

TEST_F(CommandsWindow, AutostartSendsExactlyOneLineAndShowsItAsSent) {
    connectModule();
    frm->btAutostartOn->click();
    // Everything that arrives within a generous time: the line and nothing else.
    EXPECT_EQ(m_pty->read(DefaultAutostart.size() + 1, 1000), DefaultAutostart);

    const QByteArray shown = DefaultAutostart.left(DefaultAutostart.size() - 1);
    EXPECT_TRUE(terminalText().contains(QString::fromLatin1(shown)));
    EXPECT_TRUE(logText().contains("- " + shown));
}

TEST_F(CommandsWindow, AutostartTakesTheStartCommandAsTyped) {
    connectModule();
    frm->edtStartCmd->setText("");
    frm->btAutostartOn->click();
    EXPECT_EQ(m_pty->read(200, 1000), "at^scfg=\"Userware/Autostart\",\"\",1;"
                                      "^scfg=\"Userware/Autostart/AppName\",\"\",\"\"\r");

    frm->edtStartCmd->setText(" b:/my app.jad ");
    frm->btAutostartOn->click();
    EXPECT_TRUE(m_pty->read(200, 1000).endsWith("AppName\",\"\",\" b:/my app.jad \"\r"));
}

TEST_F(CommandsWindow, AutostartWithThePortClosedIsStillShown) {
    frm->btAutostartOn->click();
    EXPECT_TRUE(terminalText().contains("AppName\",\"\",\"a:/appmain2.jad\""));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(CommandsWindow, FileGoesOutAsQueuedBlocksOfUpTo513Bytes) {
    connectModule();
    const QByteArray filler = blockWriter();
    QByteArray expected = filler;
    // Both files are two blocks each: 513 + 513 and 513 + 1 (their sizes are
    // checked where the file is read); here they must all be queued behind
    // the busy port, one heap block each, and shown as sent.
    for (const int size : {1026, 514}) {
        SCOPED_TRACE(size);
        const QByteArray bytes = BinaryBytes(size);
        const int before = comm::LiveBlocks();
        sendFile(writeFile(QStringLiteral("f%1.bin").arg(size), bytes));
        ASSERT_TRUE(allHandedOn());
        EXPECT_EQ(comm::LiveBlocks() - before, 2);
        expected += bytes;
    }
    // An empty file queues nothing.
    const int before = comm::LiveBlocks();
    sendFile(writeFile("empty.bin", ""));
    EXPECT_EQ(comm::LiveBlocks(), before);
    EXPECT_TRUE(m_errors.isEmpty());

    // Once the module reads, every byte arrives unchanged and in order.
    const QByteArray got = m_pty->read(int(expected.size()) + 1, 5000);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
}

TEST_F(CommandsWindow, TenMegabyteBinaryFileArrivesUnchanged) {
    connectModule();
    // Frozen, the terminal discards the echo, so the port alone sets the pace.
    frm->btnFreezeRun->click();
    ASSERT_TRUE(frm->termData->IgnoreAddChars());
    const QByteArray bytes = BinaryBytes(10 * 1024 * 1024);
    const QString path = writeFile("big.bin", bytes);
    const int blocksBefore = comm::LiveBlocks();

    QByteArray got;
    std::thread module([&] { got = m_pty->read(int(bytes.size()), 60000); });
    QElapsedTimer clicked;
    clicked.start();
    sendFile(path);
    const qint64 clickMs = clicked.elapsed();
    EXPECT_TRUE(allHandedOn());
    const qint64 queuedMs = clicked.elapsed();
    module.join();
    std::fprintf(stderr, "10 MB: click %lld ms, queued in %lld ms, received in %lld ms\n",
                 static_cast<long long>(clickMs), static_cast<long long>(queuedMs),
                 static_cast<long long>(clicked.elapsed()));
    EXPECT_LT(clickMs, 2000); // one slice; generous for a loaded machine
    EXPECT_EQ(got.size(), bytes.size());
    EXPECT_EQ(QCryptographicHash::hash(got, QCryptographicHash::Sha256),
              QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
    EXPECT_TRUE(WaitUntil([&] { return comm::LiveBlocks() == blocksBefore; }, 2000));
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(CommandsWindow, WindowKeepsRunningWhileALargeFileIsShownAndLogged) {
    connectModule();
    const QByteArray bytes = BinaryBytes(256 * 1024);
    const qsizetype logBefore = logText().size();
    QByteArray got;
    std::thread module([&] { got = m_pty->read(int(bytes.size()), 60000); });
    // The longest pause of the event loop while the file is sent and echoed.
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestPause = std::max(longestPause, sinceTick.restart()); });
    QElapsedTimer clicked;
    clicked.start();
    sendFile(writeFile("quarter.bin", bytes));
    const qint64 clickMs = clicked.elapsed();
    sinceTick.start();
    ticker.start();
    EXPECT_TRUE(allHandedOn());
    ticker.stop();
    module.join();
    std::fprintf(stderr, "256 KB shown: click %lld ms, longest pause %lld ms, all in %lld ms\n",
                 static_cast<long long>(clickMs), static_cast<long long>(longestPause),
                 static_cast<long long>(clicked.elapsed()));
    EXPECT_LT(clickMs, 2000);
    EXPECT_LT(longestPause, 3000); // one slice plus at most one log write
    EXPECT_TRUE(got == bytes);
    // Every byte went into the log (rendered, so at least one character each).
    EXPECT_GE(logText().size() - logBefore, bytes.size());
}

TEST_F(CommandsWindow, StopDuringTheTransferEndsItAndFreesTheQueue) {
    connectModule();
    const int blocksBefore = comm::LiveBlocks();
    blockWriter();
    const QByteArray bytes = BinaryBytes(4 * 1024 * 1024);
    sendFile(writeFile("big.bin", bytes));
    // Part of the file is queued behind the busy port, part still to come.
    ASSERT_TRUE(WaitUntil([&] { return comm::LiveBlocks() - blocksBefore > 40; }));
    ASSERT_TRUE(sender()->busy());

    QElapsedTimer stopping;
    stopping.start();
    frm->btnDisconnect->click();
    EXPECT_LT(stopping.elapsed(), 2000);
    EXPECT_FALSE(frm->commMain->IsCommOpen());
    EXPECT_EQ(comm::LiveBlocks(), blocksBefore);
    // The transfer ends with the port: the rest is neither queued nor shown,
    // also when the port opens again.
    EXPECT_TRUE(allHandedOn(2000));
    frm->btnConnect->click();
    ASSERT_TRUE(WaitUntil([&] { return frm->session->MachineState == MachineStateReady; }));
    EXPECT_EQ(comm::LiveBlocks(), blocksBefore);
    // What the module may still read is at most what filled the terminal's buffers.
    EXPECT_LT(m_pty->read(8 * 1024 * 1024, 300).size(), 1024 * 1024);
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(CommandsWindow, FilesThatCannotBeReadShowTheirMessageAndSendNothing) {
    connectModule();
    QDir(m_dir.path()).mkdir("folder");
    const int blocksBefore = comm::LiveBlocks();

    sendFile("-"); // the box's initial text
    sendFile(m_dir.filePath("missing.bin"));
    sendFile(m_dir.filePath("folder"));
    sendFile(writeFile("plain.txt", "x") + "/below");
    EXPECT_EQ(m_errors, QStringList({"File not found", "File not found", "File access denied",
                                     "Invalid filename"}));
    // A write-only attribute of the kernel cannot be read even by root (it is
    // only opened for reading here, never written).
    const QString writeOnly = "/sys/bus/pci/rescan";
    if (QFileInfo(writeOnly).isFile()) {
        m_errors.clear();
        sendFile(writeOnly);
        EXPECT_EQ(m_errors, QStringList({"File access denied"}));
    }
    EXPECT_EQ(comm::LiveBlocks(), blocksBefore);
    EXPECT_TRUE(m_pty->read(1, 300).isEmpty());
}

TEST_F(CommandsWindow, BrowsePutsTheChosenFileIntoTheNameBox) {
    const QString path = writeFile("chosen.bin", "abc");
    QString title;
    QStringList filters;
    OnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        dialog->setDirectory(m_dir.path());
        // As the operator types the name into the dialog.
        auto* nameEdit = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(nameEdit, nullptr);
        nameEdit->setText("chosen.bin");
        static_cast<QDialog*>(dialog)->accept();
    });
    frm->btnSFBrowse->click();
    EXPECT_EQ(title, "Select file to send");
    EXPECT_EQ(filters, QStringList({"All files (*)"}));
    EXPECT_EQ(frm->edtSFFilename->text(), path);

    // Cancelling keeps the name.
    OnNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    frm->btnSFBrowse->click();
    EXPECT_EQ(frm->edtSFFilename->text(), path);
}

TEST_F(CommandsWindow, PortBoxNamesThePortOnEveryChangeAndRefreshesItsList) {
    frm->cmbPort->setEditText("ttyX");
    EXPECT_EQ(frm->commMain->CommPort(), "ttyX");
    frm->cmbPort->setEditText("ttyX9");
    EXPECT_EQ(frm->commMain->CommPort(), "ttyX9");

    // Dropping the list down offers the port in use; twice changes nothing more.
    frm->cmbPortDropDown();
    EXPECT_GE(frm->cmbPort->findText("ttyX9"), 0);
    QStringList items;
    for (int i = 0; i < frm->cmbPort->count(); ++i)
        items << frm->cmbPort->itemText(i);
    const QString text = frm->cmbPort->currentText();
    frm->cmbPortDropDown();
    QStringList again;
    for (int i = 0; i < frm->cmbPort->count(); ++i)
        again << frm->cmbPort->itemText(i);
    EXPECT_EQ(again, items);
    EXPECT_EQ(frm->cmbPort->currentText(), text);
    EXPECT_EQ(frm->commMain->CommPort(), "ttyX9");
}

TEST_F(CommandsWindow, ConfigShowsThePortDialogWithItsCaption) {
    frm->cmbPort->setEditText("ttyX");
    QString title;
    OnNextModal([&](QWidget* modal) {
        title = modal->windowTitle();
        static_cast<QDialog*>(modal)->reject();
    });
    frm->btnConfig->click();
    EXPECT_EQ(title, "COM port parameters");
    EXPECT_EQ(frm->cmbPort->currentText(), "ttyX");
}
