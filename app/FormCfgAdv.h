#pragma once
// The advanced configuration dialog: a plain holder of the timed-automation
// values. Its controls are where those values live while the program runs; the
// main window reads them whenever it needs them.
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmCfgAdv : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCfgAdv(QWidget* parent = nullptr);

    QCheckBox* chkAutostart = nullptr;
    QLineEdit* edtAutostartDelay = nullptr;
    QCheckBox* chkAutoMark = nullptr;
    QLineEdit* edtMarkDelay = nullptr;
    QCheckBox* chkAutoCmd = nullptr;
    QLineEdit* edtAutoCmdDelay = nullptr;
    QLineEdit* edtAutoCmd = nullptr;
    QCheckBox* chkBinaryLogEnable = nullptr;
    QCheckBox* chkAlarm = nullptr;
    QLineEdit* edtAlarmDelay = nullptr;
    // What ends a received line: the items in the order of LineEnd.
    QComboBox* cmbLineEnds = nullptr;
    QPushButton* btnClose = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
