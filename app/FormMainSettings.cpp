// Settings of the main window: read once when the window is first shown,
// written once when it closes, through the application-info component. The
// advanced dialog holds its values in its controls; they are loaded into and
// saved from those controls.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "app/FormCfgAdv.h"
#include "app/FormMain.h"
#include "appinfo/VOxaAppInfo.h"
#include "comm/VOXComm32.h"

namespace {

const QString SectionSettings = QStringLiteral("Settings");
const QString SectionPort = QStringLiteral("Port");
const QString SectionAdvanced = QStringLiteral("Advanced");
const QString SectionFilter1History = QStringLiteral("Filter1History");
const QString SectionFilter2History = QStringLiteral("Filter2History");

constexpr int HistorySlots = 10;

// A stored flag counts as set only when it is exactly 1.
void loadCheck(VOxaAppInfo* info, const QString& section, const QString& name, QCheckBox* box) {
    box->setChecked(info->ReadUserInteger(section, name, 0) == 1);
}

void loadDelay(VOxaAppInfo* info, const QString& name, int defaultValue, QLineEdit* edit) {
    edit->setText(QString::number(info->ReadUserInteger(SectionAdvanced, name, defaultValue)));
}

void saveDelay(VOxaAppInfo* info, const QString& name, int defaultValue, const QLineEdit* edit) {
    info->WriteUserInteger(SectionAdvanced, name,
                           TfrmMain::StrToIntDef(edit->text(), defaultValue));
}

// The history slots "0" to "9" in order; empty or missing slots are skipped.
void loadHistory(VOxaAppInfo* info, const QString& section, QComboBox* combo) {
    for (int i = 0; i < HistorySlots; ++i) {
        const QString item = info->ReadUserString(section, QString::number(i), QString());
        if (!item.isEmpty())
            combo->addItem(item);
    }
}

// Stores exactly the current list, oldest first, and removes the numbers a
// longer list left behind.
void saveHistory(VOxaAppInfo* info, const QString& section, const QComboBox* combo) {
    for (int i = 0; i < HistorySlots; ++i) {
        if (combo->count() > i)
            info->WriteUserString(section, QString::number(i), combo->itemText(i));
        else
            info->DeleteUserValue(section, QString::number(i));
    }
}

// Sets a combo box's edit text without selecting a matching item, so the
// history list stays as loaded.
void setComboText(QComboBox* combo, const QString& text) {
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

} // namespace

void TfrmMain::LoadSettings() {
    VOxaAppInfo* info = VOxaAppInfo1;

    edtStartCmd->setText(info->ReadLayeredString(SectionSettings, QStringLiteral("StartCmd"),
                                                 QStringLiteral("a:/appmain2.jad")));

    // The separate port values only matter until the configuration string
    // exists: they make its default.
    commMain->SetCommPort(
        info->ReadLayeredString(SectionPort, QStringLiteral("ComPort"), QStringLiteral("COM1")));
    const int baud =
        info->ReadLayeredInteger(SectionPort, QStringLiteral("Baudrate"), int(TBaudRate::_115200));
    if (baud >= 0 && baud < kBaudRateCount)
        commMain->SetBaudRate(TBaudRate(baud));
    const int parity =
        info->ReadLayeredInteger(SectionPort, QStringLiteral("Parity"), int(TParity::None));
    if (parity >= int(TParity::None) && parity <= int(TParity::Space))
        commMain->SetParity(TParity(parity));
    const int stopBits =
        info->ReadLayeredInteger(SectionPort, QStringLiteral("StopBits"), int(TStopBits::_1));
    if (stopBits >= int(TStopBits::_1) && stopBits <= int(TStopBits::_2))
        commMain->SetStopBits(TStopBits(stopBits));
    commMain->SetConfigAsString(info->ReadLayeredString(SectionPort, QStringLiteral("ConfigString"),
                                                        commMain->GetConfigAsString()));

    // The histories are filled first and the texts set afterwards: adding the
    // first item to an empty list would otherwise replace the text.
    cmbFilter1->clear();
    cmbFilter2->clear();
    const QString filter1 = info->ReadUserString(SectionSettings, QStringLiteral("Filter1"), {});
    const QString filter2 = info->ReadUserString(SectionSettings, QStringLiteral("Filter2"), {});
    loadCheck(info, SectionSettings, QStringLiteral("FilterStrict"), chkStrict);
    loadHistory(info, SectionFilter1History, cmbFilter1);
    loadHistory(info, SectionFilter2History, cmbFilter2);
    setComboText(cmbFilter1, filter1);
    setComboText(cmbFilter2, filter2);

    if (!frmCfgAdv)
        return;
    TfrmCfgAdv* adv = frmCfgAdv;
    loadCheck(info, SectionAdvanced, QStringLiteral("AutoStart"), adv->chkAutostart);
    loadDelay(info, QStringLiteral("AutoStartDelay"), 500, adv->edtAutostartDelay);
    loadCheck(info, SectionAdvanced, QStringLiteral("AutoMark"), adv->chkAutoMark);
    loadDelay(info, QStringLiteral("AutoMarkDelay"), 30000, adv->edtMarkDelay);
    loadCheck(info, SectionAdvanced, QStringLiteral("AutoCmd"), adv->chkAutoCmd);
    loadDelay(info, QStringLiteral("AutoCmdDelay"), 30000, adv->edtAutoCmdDelay);
    adv->edtAutoCmd->setText(
        info->ReadUserString(SectionAdvanced, QStringLiteral("AutoCmdText"), QStringLiteral("at")));
    loadCheck(info, SectionAdvanced, QStringLiteral("CreateBinLog"), adv->chkBinaryLogEnable);
    loadCheck(info, SectionAdvanced, QStringLiteral("Alarm"), adv->chkAlarm);
    loadDelay(info, QStringLiteral("AlarmDelay"), 30000, adv->edtAlarmDelay);
}

void TfrmMain::SaveSettings() {
    VOxaAppInfo* info = VOxaAppInfo1;

    info->WriteUserString(SectionSettings, QStringLiteral("StartCmd"), edtStartCmd->text());
    info->WriteUserString(SectionPort, QStringLiteral("ConfigString"),
                          commMain->GetConfigAsString());
    info->WriteUserString(SectionSettings, QStringLiteral("Filter1"), cmbFilter1->currentText());
    info->WriteUserString(SectionSettings, QStringLiteral("Filter2"), cmbFilter2->currentText());
    info->WriteUserBool(SectionSettings, QStringLiteral("FilterStrict"), chkStrict->isChecked());
    saveHistory(info, SectionFilter1History, cmbFilter1);
    saveHistory(info, SectionFilter2History, cmbFilter2);

    if (!frmCfgAdv)
        return;
    const TfrmCfgAdv* adv = frmCfgAdv;
    info->WriteUserBool(SectionAdvanced, QStringLiteral("AutoStart"),
                        adv->chkAutostart->isChecked());
    saveDelay(info, QStringLiteral("AutoStartDelay"), 500, adv->edtAutostartDelay);
    info->WriteUserBool(SectionAdvanced, QStringLiteral("AutoMark"), adv->chkAutoMark->isChecked());
    saveDelay(info, QStringLiteral("AutoMarkDelay"), 30000, adv->edtMarkDelay);
    info->WriteUserBool(SectionAdvanced, QStringLiteral("AutoCmd"), adv->chkAutoCmd->isChecked());
    saveDelay(info, QStringLiteral("AutoCmdDelay"), 30000, adv->edtAutoCmdDelay);
    info->WriteUserString(SectionAdvanced, QStringLiteral("AutoCmdText"), adv->edtAutoCmd->text());
    info->WriteUserBool(SectionAdvanced, QStringLiteral("CreateBinLog"),
                        adv->chkBinaryLogEnable->isChecked());
    info->WriteUserBool(SectionAdvanced, QStringLiteral("Alarm"), adv->chkAlarm->isChecked());
    saveDelay(info, QStringLiteral("AlarmDelay"), 30000, adv->edtAlarmDelay);
}

void TfrmMain::btnAdvancedCfgClick() {
    if (!frmCfgAdv)
        return;
    // Whatever closes the dialog, the typed values stay in its controls.
    frmCfgAdv->exec();
    ApplyAdvancedSettings();
}
