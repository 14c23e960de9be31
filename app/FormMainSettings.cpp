// Settings of the main window: loading at first showing, saving at close, and
// the advanced dialog.
//
// Minimal bodies: the port values are read so the window starts on the stored
// port; the full settings code replaces this file.
#include "app/FormCfgAdv.h"
#include "app/FormMain.h"
#include "appinfo/VOxaAppInfo.h"
#include "comm/VOXComm32.h"

void TfrmMain::LoadSettings() {
    const QString port = QStringLiteral("Port");
    commMain->SetCommPort(
        VOxaAppInfo1->ReadLayeredString(port, QStringLiteral("ComPort"), QStringLiteral("COM1")));
    const int baud =
        VOxaAppInfo1->ReadLayeredInteger(port, QStringLiteral("Baudrate"), int(TBaudRate::_115200));
    if (baud >= 0 && baud < kBaudRateCount)
        commMain->SetBaudRate(TBaudRate(baud));
    commMain->SetConfigAsString(VOxaAppInfo1->ReadLayeredString(
        port, QStringLiteral("ConfigString"), commMain->GetConfigAsString()));
}

void TfrmMain::SaveSettings() {}

void TfrmMain::btnAdvancedCfgClick() {
    if (frmCfgAdv)
        frmCfgAdv->exec();
    ApplyAdvancedSettings();
}

void TfrmMain::ApplyAdvancedSettings() {}
