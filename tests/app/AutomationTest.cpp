// Timed automation: auto-connect after start, mark lines, the periodic command
// and the no-data alarm with its sound.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

#include "SettingsFixture.h"
#include "comm/VOXComm32.h"
#include "platform/ProcessStart.h"
#include "tests/support/Pty.h"
#include "util/Timer.h"

namespace {

// One start of the alarm sound as the program asked for it.
struct SoundStart {
    QString program;
    QStringList args;
    QString workingDir;
    qint64 at; // ms since the test began
};

class Automation : public SettingsFixture {
protected:
    void SetUp() override {
        SettingsFixture::SetUp();
        m_clock.start();
        platform::setProcessStarter(
            [this](const QString& program, const QStringList& args, const QString& dir) {
                m_sounds.push_back({program, args, dir, m_clock.elapsed()});
                return true;
            });
        ASSERT_TRUE(m_dir.isValid());
        m_pty = std::make_unique<testsupport::Pty>(m_dir.path() + "/ttyMODULE",
                                                   testsupport::PtyOptions{});
    }
    void TearDown() override {
        SettingsFixture::TearDown();
        platform::setProcessStarter({});
    }

    // The window on the pseudo-terminal, connected.
    void createConnected() {
        ASSERT_TRUE(m_pty->plug());
        setUserString("Port", "ComPort", m_pty->path());
        create();
        frm->btnConnectClick();
        ASSERT_TRUE(WaitUntil([&] { return frm->session->MachineState == MachineStateReady; }));
        ASSERT_TRUE(frm->commMain->IsCommOpen());
    }

    void enableAlarm(const QString& delay) {
        dlg->chkAlarm->setChecked(true);
        dlg->edtAlarmDelay->setText(delay);
        frm->ApplyAdvancedSettings();
    }
    int warnings() { return countInTerminal("-- WARNING: NO DATA -- (sound)"); }
    int sounds() const { return int(m_sounds.size()); }

    QElapsedTimer m_clock;
    std::vector<SoundStart> m_sounds;
    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::Pty> m_pty;
};

TEST_F(Automation, AutoConnectIsArmedAtShowAndFiresOnceInConnectOnlyMode) {
    setUserDword("Advanced", "AutoStart", 1);
    setUserDword("Advanced", "AutoStartDelay", 2000);
    create();
    EXPECT_TRUE(frm->tmrAutoStartDelayed->IsRunning());
    EXPECT_EQ(frm->tmrAutoStartDelayed->Interval(), 2000u);
    EXPECT_EQ(frm->StatusText(), "");
    EXPECT_EQ(frm->session->MachineState, MachineStateIdle);

    frm->tmrAutoStartDelayedTimer();
    EXPECT_FALSE(frm->tmrAutoStartDelayed->Enabled());
    EXPECT_EQ(frm->StatusText(), "Trying to open COM port ...");
    EXPECT_EQ(frm->session->MachineState, MachineStateOpenPort);
    EXPECT_TRUE(frm->session->connectOnly);
}

TEST_F(Automation, AutoConnectOpensThePortShortlyAfterStart) {
    ASSERT_TRUE(m_pty->plug());
    setUserString("Port", "ComPort", m_pty->path());
    setUserDword("Advanced", "AutoStart", 1);
    setUserDword("Advanced", "AutoStartDelay", 150);
    create();
    EXPECT_FALSE(frm->commMain->IsCommOpen());
    ASSERT_TRUE(WaitUntil([&] { return frm->StatusText() == "Ready."; }));
    EXPECT_TRUE(frm->commMain->IsCommOpen());
    EXPECT_TRUE(frm->session->connectOnly);
    EXPECT_FALSE(frm->tmrAutoStartDelayed->Enabled());
}

TEST_F(Automation, AutoConnectOffLeavesThePortAlone) {
    ASSERT_TRUE(m_pty->plug());
    setUserString("Port", "ComPort", m_pty->path());
    setUserDword("Advanced", "AutoStart", 2); // only 1 switches it on
    setUserDword("Advanced", "AutoStartDelay", 50);
    create();
    EXPECT_FALSE(frm->tmrAutoStartDelayed->Enabled());
    // Were it armed at show all the same, it would have fired by now.
    ASSERT_TRUE(WaitForTimersDue(50));
    EXPECT_EQ(frm->session->MachineState, MachineStateIdle);
    EXPECT_FALSE(frm->commMain->IsCommOpen());
}

TEST_F(Automation, MarkLinesGoToDisplayAndLogWhileDisconnected) {
    create();
    dlg->chkAutoMark->setChecked(true);
    dlg->edtMarkDelay->setText("100");
    frm->ApplyAdvancedSettings();
    ASSERT_TRUE(WaitUntil([&] { return countInTerminal("-- MARK --") >= 3; }));
    EXPECT_FALSE(frm->commMain->IsCommOpen());
    EXPECT_GE(logText().count("-- MARK --"), 3);

    dlg->chkAutoMark->setChecked(false);
    frm->ApplyAdvancedSettings();
    const int marks = countInTerminal("-- MARK --");
    // A period still running would have ended by now.
    ASSERT_TRUE(WaitForTimersDue(100));
    EXPECT_EQ(countInTerminal("-- MARK --"), marks);
}

TEST_F(Automation, ApplyingUnchangedValuesKeepsThePeriodRunning) {
    create();
    dlg->chkAutoMark->setChecked(true);
    dlg->edtMarkDelay->setText("400");
    frm->ApplyAdvancedSettings();
    // Applied again every 100 ms: were each apply to restart the period, no
    // mark would ever come.
    QElapsedTimer timer;
    timer.start();
    while (countInTerminal("-- MARK --") == 0 && timer.elapsed() < 4000) {
        Pump(100);
        frm->ApplyAdvancedSettings();
    }
    EXPECT_EQ(countInTerminal("-- MARK --"), 1);
}

TEST_F(Automation, DelaysOfZeroOrNoNumberAreTakenAsTheRulesSay) {
    create();
    dlg->chkAutoMark->setChecked(true);
    dlg->edtMarkDelay->setText("0");
    dlg->chkAutoCmd->setChecked(true);
    dlg->edtAutoCmdDelay->setText("soon");
    dlg->chkAlarm->setChecked(true);
    dlg->edtAlarmDelay->setText("");
    frm->ApplyAdvancedSettings();
    // An interval of 0 never fires.
    EXPECT_TRUE(frm->tmrAutoMark->Enabled());
    EXPECT_FALSE(frm->tmrAutoMark->IsRunning());
    EXPECT_EQ(frm->tmrAutoCmd->Interval(), 30000u);
    EXPECT_TRUE(frm->tmrAutoCmd->IsRunning());
    EXPECT_EQ(frm->tmrAlarm->Interval(), 30000u);
    EXPECT_TRUE(frm->tmrAlarm->IsRunning());
    EXPECT_FALSE(frm->tmrAlarmRepeat->IsRunning());
}

TEST_F(Automation, CommandIsSentWithCarriageReturnEveryPeriod) {
    createConnected();
    dlg->edtAutoCmd->setText("at+cgmr");
    dlg->edtAutoCmdDelay->setText("100");
    dlg->chkAutoCmd->setChecked(true);
    frm->ApplyAdvancedSettings();
    // The reads below run while the window's event loop is not pumped, so the
    // timer's ticks are pumped in between.
    QByteArray got;
    ASSERT_TRUE(WaitUntil([&] {
        got += m_pty->read(1, 10);
        return got.size() >= 3 * 8;
    }));
    EXPECT_TRUE(got.startsWith("at+cgmr\rat+cgmr\rat+cgmr\r")) << got.constData();
    EXPECT_GE(countInTerminal("at+cgmr"), 3);

    dlg->chkAutoCmd->setChecked(false);
    frm->ApplyAdvancedSettings();
    ASSERT_TRUE(WaitForTimersDue(100)); // a period still running would have ended
    m_pty->read(1000, 100);
    // An empty command is a carriage return alone.
    dlg->edtAutoCmd->setText("");
    frm->tmrAutoCmdTimer();
    EXPECT_EQ(m_pty->read(1, 2000), QByteArray("\r"));
}

TEST_F(Automation, CommandWhilePortClosedStillShowsAsSent) {
    create();
    dlg->edtAutoCmd->setText("ati");
    frm->tmrAutoCmdTimer();
    EXPECT_EQ(countInTerminal("ati"), 1);
}

TEST_F(Automation, AlarmStatesFollowTheHandlers) {
    create();
    enableAlarm("5000");
    EXPECT_TRUE(frm->tmrAlarm->IsRunning());
    EXPECT_EQ(frm->tmrAlarm->Interval(), 5000u);
    EXPECT_FALSE(frm->tmrAlarmRepeat->IsRunning());

    // The period elapses: one warning, the first sound at once, then repeats.
    frm->tmrAlarmTimer();
    EXPECT_EQ(warnings(), 1);
    EXPECT_EQ(sounds(), 1);
    EXPECT_FALSE(frm->tmrAlarm->Enabled());
    EXPECT_TRUE(frm->tmrAlarmRepeat->IsRunning());
    EXPECT_EQ(frm->tmrAlarmRepeat->Interval(), 500u);
    frm->tmrAlarmRepeatTimer();
    EXPECT_EQ(sounds(), 2);
    EXPECT_EQ(warnings(), 1);

    // Data stop the sound and start a full period.
    frm->commMainReceiveData(frm->commMain, "x", 1);
    EXPECT_FALSE(frm->tmrAlarmRepeat->Enabled());
    EXPECT_TRUE(frm->tmrAlarm->IsRunning());

    // A new period while sounding: the sound stops, the alarm watches again.
    frm->tmrAlarmTimer();
    dlg->edtAlarmDelay->setText("7000");
    frm->ApplyAdvancedSettings();
    EXPECT_FALSE(frm->tmrAlarmRepeat->Enabled());
    EXPECT_TRUE(frm->tmrAlarm->IsRunning());
    EXPECT_EQ(frm->tmrAlarm->Interval(), 7000u);

    // Switched off: both stopped.
    frm->tmrAlarmTimer();
    dlg->chkAlarm->setChecked(false);
    frm->ApplyAdvancedSettings();
    EXPECT_FALSE(frm->tmrAlarm->Enabled());
    EXPECT_FALSE(frm->tmrAlarmRepeat->Enabled());
}

TEST_F(Automation, SoundPlaysBeepWavOfTheCurrentFolderOrBesideTheProgram) {
    create();
    QFile::remove("beep.wav");
    frm->tmrAlarmRepeatTimer();
    ASSERT_EQ(sounds(), 1);
    EXPECT_EQ(m_sounds[0].program, "aplay");
    EXPECT_EQ(m_sounds[0].args,
              QStringList({"-q", QCoreApplication::applicationDirPath() + "/beep.wav"}));
    EXPECT_EQ(m_sounds[0].workingDir, "");

    QFile local("beep.wav");
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.close();
    frm->tmrAlarmRepeatTimer();
    QFile::remove("beep.wav");
    ASSERT_EQ(sounds(), 2);
    EXPECT_EQ(m_sounds[1].args, QStringList({"-q", "beep.wav"}));
}

// The sound the build puts beside the program: a PCM wave short enough for
// the half-second rhythm.
TEST(AlarmSound, GeneratedBeepIsAShortPcmWave) {
    QFile file(QStringLiteral(DRALVO_BINARY_DIR) + "/beep.wav");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QByteArray wav = file.readAll();
    ASSERT_GE(wav.size(), 44);
    auto u16 = [&](int at) {
        return uint32_t(uint8_t(wav[at])) | uint32_t(uint8_t(wav[at + 1])) << 8;
    };
    auto u32 = [&](int at) { return u16(at) | u16(at + 2) << 16; };
    EXPECT_EQ(wav.mid(0, 4), "RIFF");
    EXPECT_EQ(u32(4), uint32_t(wav.size() - 8));
    EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(u16(20), 1u); // PCM
    const uint32_t channels = u16(22), rate = u32(24), bits = u16(34);
    EXPECT_EQ(u32(28), rate * channels * bits / 8);
    EXPECT_EQ(wav.mid(36, 4), "data");
    const uint32_t dataBytes = u32(40);
    EXPECT_EQ(dataBytes, uint32_t(wav.size() - 44));
    const double seconds = double(dataBytes) / (rate * channels * bits / 8);
    EXPECT_GT(seconds, 0.05);
    EXPECT_LT(seconds, 0.5);
    // Not silence.
    int loud = 0;
    for (int at = 44; at + 1 < wav.size(); at += 2)
        loud += std::abs(int16_t(u16(at))) > 8000;
    EXPECT_GT(loud, 100);
}

TEST_F(Automation, SilentModuleGivesOneWarningAndASoundEveryHalfSecond) {
    createConnected();
    enableAlarm("300");
    ASSERT_TRUE(WaitUntil([&] { return sounds() >= 3; }));
    EXPECT_EQ(warnings(), 1);
    // A late tick shortens the gap after it (the timer keeps its rhythm), so
    // the rhythm is checked over all of them; no gap may be a double start.
    for (size_t i = 1; i < m_sounds.size(); ++i)
        EXPECT_GE(m_sounds[i].at - m_sounds[i - 1].at, 100) << "sound " << i;
    const qint64 span = m_sounds.back().at - m_sounds.front().at;
    EXPECT_GE(span / qint64(m_sounds.size() - 1), 450);

    // The module speaks: the sound stops ...
    ASSERT_TRUE(m_pty->write("+CREG: 1\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return countInTerminal("+CREG: 1") == 1; }));
    const qint64 dataAt = m_clock.elapsed();
    const int soundsAtData = sounds();
    EXPECT_FALSE(frm->tmrAlarmRepeat->Enabled());
    // ... and after a further silent period the warning comes again, with its sound.
    ASSERT_TRUE(WaitUntil([&] { return warnings() == 2; }));
    EXPECT_GE(m_clock.elapsed() - dataAt, 150);
    EXPECT_EQ(sounds(), soundsAtData + 1);
}

TEST_F(Automation, NewPeriodWhileSoundingStartsAFreshPeriod) {
    create();
    enableAlarm("200");
    ASSERT_TRUE(WaitUntil([&] { return sounds() >= 1; }));
    ASSERT_EQ(warnings(), 1);
    dlg->edtAlarmDelay->setText("700");
    frm->ApplyAdvancedSettings();
    const qint64 appliedAt = m_clock.elapsed();
    const int soundsAtApply = sounds();
    ASSERT_TRUE(WaitUntil([&] { return warnings() == 2; }));
    // No sound in between, and the whole new period passed first.
    EXPECT_EQ(sounds(), soundsAtApply + 1);
    EXPECT_GE(m_sounds.back().at - appliedAt, 650);
}

} // namespace
