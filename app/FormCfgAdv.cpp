#include "app/FormCfgAdv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLineEdit* delayEdit(const QString& text, const QString& name) {
    auto* edit = new QLineEdit(text);
    edit->setObjectName(name);
    edit->setFixedWidth(70);
    return edit;
}
} // namespace

TfrmCfgAdv::TfrmCfgAdv(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmCfgAdv"));
    setWindowTitle(tr("Advanced configuration"));
    // A fixed dialog border: no resizing, no minimise/maximise.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    chkAutostart = new QCheckBox(tr("Auto connect after start in "));
    chkAutostart->setObjectName(QStringLiteral("chkAutostart"));
    edtAutostartDelay = delayEdit(QStringLiteral("500"), QStringLiteral("edtAutostartDelay"));
    chkAutoMark = new QCheckBox(tr("Make \"-- MARK --\" to log file every"));
    chkAutoMark->setObjectName(QStringLiteral("chkAutoMark"));
    edtMarkDelay = delayEdit(QStringLiteral("30000"), QStringLiteral("edtMarkDelay"));
    chkAutoCmd = new QCheckBox(tr("Automatic send of command"));
    chkAutoCmd->setObjectName(QStringLiteral("chkAutoCmd"));
    edtAutoCmdDelay = delayEdit(QStringLiteral("30000"), QStringLiteral("edtAutoCmdDelay"));
    edtAutoCmd = new QLineEdit(QStringLiteral("AT"));
    edtAutoCmd->setObjectName(QStringLiteral("edtAutoCmd"));
    chkBinaryLogEnable = new QCheckBox(tr("Create binary log"));
    chkBinaryLogEnable->setObjectName(QStringLiteral("chkBinaryLogEnable"));
    chkBinaryLogEnable->setEnabled(false);
    chkAlarm = new QCheckBox(tr("Make alarm sound if no data are received for"));
    chkAlarm->setObjectName(QStringLiteral("chkAlarm"));
    edtAlarmDelay = delayEdit(QStringLiteral("30000"), QStringLiteral("edtAlarmDelay"));
    cmbLineEnds = new QComboBox;
    cmbLineEnds->setObjectName(QStringLiteral("cmbLineEnds"));
    cmbLineEnds->addItems({tr("CR"), tr("LF"), tr("CR LF")});
    cmbLineEnds->setToolTip(
        tr("What ends a line the module prints. CR: a carriage return (line feeds are "
           "dropped). LF: a line feed (carriage returns are dropped), for modules that end "
           "lines with LF only. CR LF: the pair; a carriage return or a line feed alone is "
           "shown as data. Sent lines always end with CR."));
    btnClose = new QPushButton(tr("Close"));
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    btnClose->setAutoDefault(true);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout;
    int row = 0;
    auto ms = [this] { return new QLabel(tr("ms")); };
    grid->addWidget(chkAutostart, row, 0, 1, 2);
    grid->addWidget(edtAutostartDelay, row, 2);
    grid->addWidget(ms(), row++, 3);
    grid->addWidget(chkAutoMark, row, 0, 1, 2);
    grid->addWidget(edtMarkDelay, row, 2);
    grid->addWidget(ms(), row++, 3);
    grid->addWidget(chkAutoCmd, row, 0);
    grid->addWidget(new QLabel(tr("Delay:")), row, 1, Qt::AlignRight);
    grid->addWidget(edtAutoCmdDelay, row, 2);
    grid->addWidget(ms(), row++, 3);
    auto* commandRow = new QHBoxLayout;
    commandRow->setContentsMargins(20, 0, 0, 0);
    commandRow->addWidget(new QLabel(tr("Command:")));
    commandRow->addWidget(edtAutoCmd, 1);
    commandRow->addWidget(new QLabel(tr("(CR will be added at the end)")));
    grid->addLayout(commandRow, row++, 0, 1, 4);
    grid->addWidget(chkBinaryLogEnable, row++, 0, 1, 4);
    auto* lineEnds = new QLabel(tr("Received lines end with:"));
    lineEnds->setBuddy(cmbLineEnds);
    grid->addWidget(lineEnds, row, 0, 1, 2);
    grid->addWidget(cmbLineEnds, row++, 2, 1, 2);
    grid->addWidget(chkAlarm, row, 0, 1, 2);
    grid->addWidget(edtAlarmDelay, row, 2);
    grid->addWidget(ms(), row++, 3);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);
    // A fixed dialog border: the designed size, or what the captions need
    // when the system's font is larger.
    resize(510, 290);
    setFixedSize(size().expandedTo(minimumSizeHint()));
}

// "Close" is the cancel button too: Esc closes with the OK result, so the
// values typed always stay.
void TfrmCfgAdv::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
