// Timed automation of the main window: the session runs the timers; the values
// live in the advanced dialog's controls and are read from there whenever the
// session needs them.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "app/FormCfgAdv.h"
#include "app/FormMain.h"
#include "util/Timer.h"

namespace {

constexpr int DefaultDelayMs = 30000;

// A delay text as a timer interval. Intervals are unsigned, so a negative
// number becomes a very long period, as it always has.
uint32_t delayOf(const QLineEdit* edit, int defaultValue = DefaultDelayMs) {
    return uint32_t(TfrmMain::StrToIntDef(edit->text(), defaultValue));
}

} // namespace

app::AutomationSettings TfrmMain::AutomationFromDialog() const {
    app::AutomationSettings settings;
    if (!frmCfgAdv)
        return settings;
    const TfrmCfgAdv* adv = frmCfgAdv;
    settings.autoStart = adv->chkAutostart->isChecked();
    settings.autoStartDelay = delayOf(adv->edtAutostartDelay, 500);
    settings.autoMark = adv->chkAutoMark->isChecked();
    settings.markDelay = delayOf(adv->edtMarkDelay);
    settings.autoCmd = adv->chkAutoCmd->isChecked();
    settings.autoCmdDelay = delayOf(adv->edtAutoCmdDelay);
    settings.autoCmdText = adv->edtAutoCmd->text().toLatin1();
    settings.alarm = adv->chkAlarm->isChecked();
    settings.alarmDelay = delayOf(adv->edtAlarmDelay);
    const int lineEnd = adv->cmbLineEnds->currentIndex();
    settings.lineEnd = lineEnd > 0 && lineEnd < kLineEndCount ? LineEnd(lineEnd) : LineEnd::CR;
    return settings;
}

void TfrmMain::ApplyAdvancedSettings() {
    if (frmCfgAdv) {
        session->ApplyAdvancedSettings(AutomationFromDialog());
        return;
    }
    session->tmrAlarmRepeat->SetEnabled(false);
}

void TfrmMain::tmrAutoStartDelayedTimer() {
    session->tmrAutoStartDelayedTimer();
}

void TfrmMain::tmrAutoMarkTimer() {
    session->tmrAutoMarkTimer();
}

void TfrmMain::tmrAutoCmdTimer() {
    if (frmCfgAdv)
        session->tmrAutoCmdTimer();
}

void TfrmMain::tmrAlarmTimer() {
    session->tmrAlarmTimer();
}

void TfrmMain::tmrAlarmRepeatTimer() {
    session->tmrAlarmRepeatTimer();
}
