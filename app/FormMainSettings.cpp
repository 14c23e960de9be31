// Settings of the main window: read once when the window is first shown,
// written once when it closes (app/StoredSettings.h). The advanced dialog
// holds its values in its controls; they are loaded into and saved from
// those controls.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "app/FormCfgAdv.h"
#include "app/FormMain.h"
#include "app/StoredSettings.h"

namespace {

// Sets a combo box's edit text without selecting a matching item, so the
// history list stays as loaded.
void setComboText(QComboBox* combo, const QString& text) {
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

QStringList itemsOf(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

} // namespace

void TfrmMain::LoadSettings() {
    const app::StoredSettings s = app::LoadStoredSettings(VOxaAppInfo1, commMain, frmCfgAdv);
    edtStartCmd->setText(s.startCmd);

    // The histories are filled first and the texts set afterwards: adding the
    // first item to an empty list would otherwise replace the text.
    cmbFilter1->clear();
    cmbFilter2->clear();
    chkStrict->setChecked(s.strict);
    cmbFilter1->addItems(s.history1);
    cmbFilter2->addItems(s.history2);
    setComboText(cmbFilter1, s.filter1);
    setComboText(cmbFilter2, s.filter2);

    if (!frmCfgAdv)
        return;
    TfrmCfgAdv* adv = frmCfgAdv;
    adv->chkAutostart->setChecked(s.autoStart);
    adv->edtAutostartDelay->setText(s.autoStartDelay);
    adv->chkAutoMark->setChecked(s.autoMark);
    adv->edtMarkDelay->setText(s.markDelay);
    adv->chkAutoCmd->setChecked(s.autoCmd);
    adv->edtAutoCmdDelay->setText(s.autoCmdDelay);
    adv->edtAutoCmd->setText(s.autoCmdText);
    adv->chkBinaryLogEnable->setChecked(s.createBinLog);
    adv->chkAlarm->setChecked(s.alarm);
    adv->edtAlarmDelay->setText(s.alarmDelay);
    adv->cmbLineEnds->setCurrentIndex(int(s.lineEnd));
}

void TfrmMain::SaveSettings() {
    app::StoredSettings s;
    s.startCmd = edtStartCmd->text();
    s.filter1 = cmbFilter1->currentText();
    s.filter2 = cmbFilter2->currentText();
    s.strict = chkStrict->isChecked();
    s.history1 = itemsOf(cmbFilter1);
    s.history2 = itemsOf(cmbFilter2);
    if (const TfrmCfgAdv* adv = frmCfgAdv) {
        s.autoStart = adv->chkAutostart->isChecked();
        s.autoStartDelay = adv->edtAutostartDelay->text();
        s.autoMark = adv->chkAutoMark->isChecked();
        s.markDelay = adv->edtMarkDelay->text();
        s.autoCmd = adv->chkAutoCmd->isChecked();
        s.autoCmdDelay = adv->edtAutoCmdDelay->text();
        s.autoCmdText = adv->edtAutoCmd->text();
        s.createBinLog = adv->chkBinaryLogEnable->isChecked();
        s.alarm = adv->chkAlarm->isChecked();
        s.alarmDelay = adv->edtAlarmDelay->text();
        const int lineEnd = adv->cmbLineEnds->currentIndex();
        s.lineEnd = lineEnd > 0 && lineEnd < kLineEndCount ? LineEnd(lineEnd) : LineEnd::CR;
    }
    app::SaveStoredSettings(VOxaAppInfo1, commMain, s, frmCfgAdv);
}

void TfrmMain::btnAdvancedCfgClick() {
    if (!frmCfgAdv)
        return;
    // Whatever closes the dialog, the typed values stay in its controls.
    frmCfgAdv->exec();
    ApplyAdvancedSettings();
}
