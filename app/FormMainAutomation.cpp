// Timed automation of the main window: auto-connect, mark lines, the periodic
// command and the no-data alarm.
//
// Minimal bodies until the automation code lands.
#include "app/FormMain.h"
#include "util/Timer.h"

void TfrmMain::tmrAutoStartDelayedTimer() {
    // Fires once per run.
    tmrAutoStartDelayed->SetEnabled(false);
    btnConnectClick();
}

void TfrmMain::tmrAutoMarkTimer() {}
void TfrmMain::tmrAutoCmdTimer() {}
void TfrmMain::tmrAlarmTimer() {}
void TfrmMain::tmrAlarmRepeatTimer() {}
