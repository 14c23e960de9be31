// Timed automation of the main window: auto-connect after start, mark lines,
// the periodic command and the no-data alarm. The values live in the advanced
// dialog's controls and are taken from there whenever they are applied.
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>

#include "app/FormCfgAdv.h"
#include "app/FormMain.h"
#include "platform/File.h"
#include "platform/ProcessStart.h"
#include "terminal/VOxaTerminal.h"
#include "util/Timer.h"

namespace {

constexpr int DefaultDelayMs = 30000;

// A delay text as a timer interval. Intervals are unsigned, so a negative
// number becomes a very long period, as it always has.
uint32_t delayOf(const QLineEdit* edit) {
    return uint32_t(TfrmMain::StrToIntDef(edit->text(), DefaultDelayMs));
}

void configure(Timer* timer, const QLineEdit* delay, const QCheckBox* enabled) {
    // Unchanged values keep the running period (Timer's rules).
    timer->SetInterval(delayOf(delay));
    timer->SetEnabled(enabled->isChecked());
}

// Whether the file opens for reading as a regular file: a FIFO, a folder or a
// device in its place would hold the player up for good.
bool isReadableFile(const QString& path) {
    platform::File probe;
    return probe.open(path, platform::GENERIC_READ,
                      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                      platform::OPEN_EXISTING) == 0;
}

// The alarm sound: beep.wav of the current directory, or else the program's
// own copy: beside it in the build tree, in share/dralvo of the installed tree.
QString alarmSoundFile() {
    const QString local = QStringLiteral("beep.wav");
    if (isReadableFile(local))
        return local;
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + QStringLiteral("/beep.wav");
    const QString installed = programDir + QStringLiteral("/../share/dralvo/beep.wav");
    if (!isReadableFile(beside) && isReadableFile(installed))
        return QFileInfo(installed).canonicalFilePath();
    return beside;
}

} // namespace

void TfrmMain::ApplyAdvancedSettings() {
    if (frmCfgAdv) {
        configure(tmrAutoMark, frmCfgAdv->edtMarkDelay, frmCfgAdv->chkAutoMark);
        configure(tmrAutoCmd, frmCfgAdv->edtAutoCmdDelay, frmCfgAdv->chkAutoCmd);
        configure(tmrAlarm, frmCfgAdv->edtAlarmDelay, frmCfgAdv->chkAlarm);
    }
    tmrAlarmRepeat->SetEnabled(false);
}

void TfrmMain::tmrAutoStartDelayedTimer() {
    // Fires once per run.
    tmrAutoStartDelayed->SetEnabled(false);
    btnConnectClick();
}

void TfrmMain::tmrAutoMarkTimer() {
    termData->AddLine(QByteArrayLiteral("-- MARK --"), VOxaTerminal_ltExtraA);
}

void TfrmMain::tmrAutoCmdTimer() {
    if (!frmCfgAdv)
        return;
    QByteArray command = frmCfgAdv->edtAutoCmd->text().toLatin1();
    command.append('\r');
    termDataTermSendData(termData, reinterpret_cast<const uint8_t*>(command.constData()),
                         int(command.size()), true);
}

void TfrmMain::tmrAlarmTimer() {
    termData->AddLine(QByteArrayLiteral("-- WARNING: NO DATA -- (sound)"), VOxaTerminal_ltExtraA);
    // One warning per silence; the sound repeats until data arrive.
    tmrAlarm->SetEnabled(false);
    tmrAlarmRepeat->SetEnabled(false);
    tmrAlarmRepeat->SetEnabled(true);
    tmrAlarmRepeatTimer();
}

void TfrmMain::tmrAlarmRepeatTimer() {
    // Started and forgotten: whether the player runs, or finds a sound
    // device, is not the console's business.
    platform::startDetached(QStringLiteral("aplay"), {QStringLiteral("-q"), alarmSoundFile()});
}
