// The advanced configuration dialog: its controls, and that whatever closes
// it keeps the typed values, which then take effect.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "SettingsFixture.h"
#include "util/Timer.h"

namespace {

using AdvancedDialog = SettingsFixture;

// A key press as the keyboard delivers it: ignored keys travel on to the parents.
void pressKey(QWidget* widget, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &release);
}

QStringList labelTexts(const QWidget* form) {
    QStringList texts;
    for (const QLabel* label : form->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

TEST(AdvancedDialogForm, ControlsCaptionsAndInitialTexts) {
    TfrmCfgAdv dialog;
    EXPECT_EQ(dialog.objectName(), "frmCfgAdv");
    EXPECT_EQ(dialog.windowTitle(), "Advanced configuration");
    // A fixed border: the size cannot be changed.
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);

    EXPECT_EQ(dialog.chkAutostart->text(), "Auto connect after start in ");
    EXPECT_EQ(dialog.edtAutostartDelay->text(), "500");
    EXPECT_EQ(dialog.chkAutoMark->text(), "Make \"-- MARK --\" to log file every");
    EXPECT_EQ(dialog.edtMarkDelay->text(), "30000");
    EXPECT_EQ(dialog.chkAutoCmd->text(), "Automatic send of command");
    EXPECT_EQ(dialog.edtAutoCmdDelay->text(), "30000");
    EXPECT_EQ(dialog.edtAutoCmd->text(), "AT");
    EXPECT_EQ(dialog.chkBinaryLogEnable->text(), "Create binary log");
    EXPECT_FALSE(dialog.chkBinaryLogEnable->isEnabled());
    EXPECT_EQ(dialog.chkAlarm->text(), "Make alarm sound if no data are received for");
    EXPECT_EQ(dialog.edtAlarmDelay->text(), "30000");
    EXPECT_EQ(dialog.btnClose->text(), "Close");
    EXPECT_TRUE(dialog.btnClose->isDefault());
    for (QCheckBox* box : {dialog.chkAutostart, dialog.chkAutoMark, dialog.chkAutoCmd,
                           dialog.chkBinaryLogEnable, dialog.chkAlarm})
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();

    const QStringList labels = labelTexts(&dialog);
    EXPECT_EQ(labels.count("ms"), 4);
    for (const char* text : {"Delay:", "Command:", "(CR will be added at the end)"})
        EXPECT_TRUE(labels.contains(text)) << text;
}

// Each way of closing the dialog, run while it is shown modally.
enum class CloseBy { Button, Enter, Escape, CloseBox };

class AdvancedDialogClosing : public SettingsFixture,
                              public ::testing::WithParamInterface<CloseBy> {};

TEST_P(AdvancedDialogClosing, KeepsTypedValuesAndAppliesThem) {
    create();
    bool wasShown = false;
    QTimer::singleShot(0, dlg, [&] {
        wasShown = dlg->isVisible() && dlg->isModal();
        dlg->chkAutoMark->setChecked(true);
        dlg->edtMarkDelay->setText("1234");
        dlg->chkAlarm->setChecked(true);
        dlg->edtAlarmDelay->setText("4321");
        dlg->edtAutoCmd->setFocus();
        dlg->edtAutoCmd->setText("ati");
        switch (GetParam()) {
        case CloseBy::Button:
            dlg->btnClose->click();
            break;
        case CloseBy::Enter:
            pressKey(dlg->edtAutoCmd, Qt::Key_Return);
            break;
        case CloseBy::Escape:
            pressKey(dlg->edtAutoCmd, Qt::Key_Escape);
            break;
        case CloseBy::CloseBox:
            dlg->close();
            break;
        }
        // A dialog that did not close would block the test: close it anyway.
        QTimer::singleShot(2000, dlg, [&] { dlg->done(QDialog::Accepted); });
    });
    QElapsedTimer elapsed;
    elapsed.start();
    frm->btnAdvancedCfgClick();
    EXPECT_TRUE(wasShown);
    EXPECT_LT(elapsed.elapsed(), 1500) << "the dialog did not close by itself";
    EXPECT_FALSE(dlg->isVisible());

    EXPECT_TRUE(dlg->chkAutoMark->isChecked());
    EXPECT_EQ(dlg->edtMarkDelay->text(), "1234");
    EXPECT_EQ(dlg->edtAutoCmd->text(), "ati");
    // The new values take effect as the dialog closes.
    EXPECT_TRUE(frm->tmrAutoMark->IsRunning());
    EXPECT_EQ(frm->tmrAutoMark->Interval(), 1234u);
    EXPECT_TRUE(frm->tmrAlarm->IsRunning());
    EXPECT_EQ(frm->tmrAlarm->Interval(), 4321u);
    // ... but reach the registry only when the main window closes.
    EXPECT_FALSE(userValue("Advanced", "AutoMarkDelay").has_value());
    closeWindow();
    EXPECT_EQ(userValue("Advanced", "AutoMarkDelay")->dword(), 1234u);
    EXPECT_EQ(userValue("Advanced", "AutoCmdText")->text(), "ati");
}

INSTANTIATE_TEST_SUITE_P(AnyWay, AdvancedDialogClosing,
                         ::testing::Values(CloseBy::Button, CloseBy::Enter, CloseBy::Escape,
                                           CloseBy::CloseBox),
                         [](const ::testing::TestParamInfo<CloseBy>& info) {
                             switch (info.param) {
                             case CloseBy::Button:
                                 return "Button";
                             case CloseBy::Enter:
                                 return "Enter";
                             case CloseBy::Escape:
                                 return "Escape";
                             case CloseBy::CloseBox:
                                 return "CloseBox";
                             }
                             return "Unknown";
                         });

} // namespace
