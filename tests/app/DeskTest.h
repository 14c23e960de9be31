#pragma once
// The main window at the desk, against a pseudo-terminal that plays the
// module: its connection ticks come from the test (each 50 ms of injected
// time), its clock for records too, and the log is read back after the window
// has gone.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <memory>

#include "TestEnv.h"
#include "app/FormCfgAdv.h"
#include "app/FormMain.h"
#include "comm/VOXComm32.h"
#include "platform/Ticks.h"
#include "terminal/TerminalWindow.h"
#include "terminal/VOxaTerminal.h"
#include "tests/support/Pty.h"
#include "util/Timer.h"

class DeskTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(TestWorkDir() + "/config").removeRecursively();
        QDir().mkpath(TestWorkDir() + "/config");
        QDir(TestWorkDir() + "/logs").removeRecursively();
        m_now = 0x10000000u;
        platform::setTickSource([this] { return m_now.load(); });
        m_pty = std::make_unique<testsupport::Pty>(m_dir.path() + "/ttyDESK",
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
        frm->session->Clock = [this] { return m_clockMs; };
        if (beforeShow)
            beforeShow();
        frm->show();
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
    bool tickUntil(TMachineState state, int n = 40) {
        for (int i = 0; i < n && frm->session->MachineState != state; ++i)
            tick();
        return frm->session->MachineState == state;
    }
    void connectToPty() {
        ASSERT_TRUE(m_pty->plug());
        frm->commMain->SetCommPort(m_pty->path());
        frm->btnConnect->click();
        ASSERT_TRUE(tickUntil(MachineStateReady));
    }

    QString terminalText() {
        frm->termData->FlushDisplay();
        return frm->termData->RichEdit()->toPlainText();
    }
    void receive(const QByteArray& chunk) {
        frm->commMainReceiveData(frm->commMain, chunk.constData(), uint16_t(chunk.size()));
    }
    // Every log file's bytes; the window is closed first, so all is written.
    QByteArray closeAndReadLog() {
        frm.reset();
        QDir logs(TestWorkDir() + "/logs");
        QByteArray log;
        for (const QString& f : logs.entryList({"Dralvo_*.log"}, QDir::Files)) {
            QFile file(logs.filePath(f));
            if (file.open(QIODevice::ReadOnly))
                log += file.readAll();
        }
        return log;
    }

    std::atomic<uint32_t> m_now{0};
    int64_t m_clockMs = 1796741107042; // 2026-12-08 15:05:07.042 UTC
    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::Pty> m_pty;
    std::unique_ptr<TfrmMain> frm;
    TfrmCfgAdv* dlg = nullptr;
    std::function<void()> beforeShow; // runs once the window exists
};
