#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "ConfigTestSupport.h"
#include "comm/PortDialog.h"
#include "comm/VOXComm32.h"
#include "tests/support/ClippedTexts.h"

using configtest::Pty;
using configtest::snapshot;
using configtest::Snapshot;

namespace {

// A component that lists no machine ports and never opens one by itself.
class QuietComm : public TVOXComm32 {
public:
    QuietComm() { SetAutoReconnect(false); }
    std::vector<platform::SerialPortEntry> ReadPortMap() const override {
        return {{"\\Device\\t0", "COM1", "t"}, {"\\Device\\t1", "COM2", "t"}};
    }
};

// Runs act on the dialog once it shows modally; act must close it.
template <class Act> bool runDialog(const std::function<bool()>& open, Act act) {
    bool seen = false;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<TPortDialog*>(QApplication::activeModalWidget());
        if (!dialog || seen)
            return;
        seen = true;
        timer.stop();
        act(*dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the dialog was left open";
            dialog->reject();
        }
    });
    timer.start();
    const bool result = open();
    EXPECT_TRUE(seen);
    return result;
}

void pressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

} // namespace

TEST(PortDialogValues, LinesShowAndApplyByTheirMapping) {
    struct Case {
        int dtrControl;
        bool dtr;
        TPortDialogLine dtrShown;
        int rtsControl;
        bool rts;
        TPortDialogLine rtsShown;
    };
    const Case cases[] = {
        {VOxaSignalControl_DTREnable, true, pdlOn, VOxaSignalControl_RTSToggle, true, pdlToggle},
        {VOxaSignalControl_DTREnable, false, pdlOff, VOxaSignalControl_RTSEnable, true, pdlOn},
        {VOxaSignalControl_DTROff, true, pdlHighZ, VOxaSignalControl_RTSOff, false, pdlHighZ},
        {VOxaSignalControl_DTRHandshake, false, pdlHandshake, VOxaSignalControl_RTSHandshake, true,
         pdlHandshake},
    };
    for (const Case& c : cases) {
        QuietComm comm;
        comm.Signals()->SetDTRControl(VOxaSignalControl_DTR(c.dtrControl));
        comm.Signals()->SetDTR(c.dtr);
        comm.Signals()->SetRTSControl(VOxaSignalControl_RTS(c.rtsControl));
        comm.Signals()->SetRTS(c.rts);
        const TPortDialogValues values = PortDialogValuesOf(comm);
        EXPECT_EQ(values.DTRLine, c.dtrShown);
        EXPECT_EQ(values.RTSLine, c.rtsShown);

        // Unchanged values applied change nothing.
        const Snapshot before = snapshot(comm);
        ApplyPortDialogValues(comm, values);
        EXPECT_EQ(snapshot(comm), before);
    }

    // "HighZ" switches the control off and leaves the line as it was.
    QuietComm comm;
    comm.Signals()->SetDTR(false);
    TPortDialogValues values = PortDialogValuesOf(comm);
    values.DTRLine = pdlHighZ;
    values.RTSLine = pdlOff;
    ApplyPortDialogValues(comm, values);
    EXPECT_EQ(comm.Signals()->DTRControl(), VOxaSignalControl_DTROff);
    EXPECT_FALSE(comm.Signals()->DTR());
    EXPECT_EQ(comm.Signals()->RTSControl(), VOxaSignalControl_RTSEnable);
    EXPECT_FALSE(comm.Signals()->RTS());
    EXPECT_EQ(PortDialogValuesOf(comm).DTRLine, pdlHighZ);

    // "On" and "Off" bring the control back to Enable.
    values.DTRLine = pdlOn;
    ApplyPortDialogValues(comm, values);
    EXPECT_EQ(comm.Signals()->DTRControl(), VOxaSignalControl_DTREnable);
    EXPECT_TRUE(comm.Signals()->DTR());
}

TEST(PortDialogValues, TimeoutBoxesAreUnsigned32BitDecimals) {
    QuietComm comm;
    TPortDialogValues values = PortDialogValuesOf(comm);
    EXPECT_EQ(values.Timeouts[0], QStringLiteral("10")); // poll period
    EXPECT_EQ(values.Timeouts[1], QStringLiteral("10")); // read interval

    values.Timeouts = {QStringLiteral("25"),         QStringLiteral("-1"), QStringLiteral("abc"),
                       QStringLiteral("2147483648"), QStringLiteral(""),   QStringLiteral("-7")};
    comm.Timeouts()->SetReadTotalMult(3000000000u);
    ApplyPortDialogValues(comm, values);
    EXPECT_EQ(comm.Timeouts()->ModemPollPeriod(), 25u);
    EXPECT_EQ(comm.Timeouts()->ReadInterval(), 4294967295u);
    EXPECT_EQ(comm.Timeouts()->ReadTotalConst(), 0u);
    EXPECT_EQ(comm.Timeouts()->ReadTotalMult(), 3000000000u) << "out of range: kept";
    EXPECT_EQ(comm.Timeouts()->WriteTotalConst(), 0u);
    EXPECT_EQ(comm.Timeouts()->WriteTotalMult(), 4294967289u);

    // Reopened, the big values show in full and come back unchanged.
    const TPortDialogValues again = PortDialogValuesOf(comm);
    EXPECT_EQ(again.Timeouts[1], QStringLiteral("4294967295"));
    EXPECT_EQ(again.Timeouts[3], QStringLiteral("3000000000"));
    const Snapshot before = snapshot(comm);
    ApplyPortDialogValues(comm, again);
    EXPECT_EQ(snapshot(comm), before);
}

TEST(PortDialogValues, PresetIsAppliedLastAndOverridesTheChoices) {
    QuietComm comm;
    TPortDialogValues values = PortDialogValuesOf(comm);
    values.BaudRate = QStringLiteral("9600");
    values.DataBits = QStringLiteral("5");
    values.Parity = QStringLiteral("Odd");
    values.DTRLine = pdlHighZ;
    values.RTSLine = pdlToggle;
    values.CTSHandshake = true;
    values.DSRHandshake = true;
    values.Timeouts[2] = QStringLiteral("33");
    values.Preset = 3; // PSP-405
    ASSERT_STREQ(kPortDialogPresetNames[values.Preset], "PSP-405");
    ApplyPortDialogValues(comm, values);
    EXPECT_EQ(comm.BaudRate(), TBaudRate::___2400);
    EXPECT_EQ(comm.DataBits(), TDataBits::_8);
    EXPECT_EQ(comm.Parity(), TParity::None);
    EXPECT_EQ(comm.Signals()->DTRControl(), VOxaSignalControl_DTREnable);
    EXPECT_EQ(comm.Signals()->RTSControl(), VOxaSignalControl_RTSEnable);
    EXPECT_FALSE(comm.Signals()->CTSHandshake());
    EXPECT_FALSE(comm.Signals()->DSRHandshake());
    EXPECT_EQ(comm.Timeouts()->ReadTotalConst(), 33u) << "presets leave the timeouts";

    values.Preset = 2; // 115k 8N1 Sleep: both lines dropped, CTS handshake
    ApplyPortDialogValues(comm, values);
    EXPECT_EQ(comm.BaudRate(), TBaudRate::_115200);
    EXPECT_FALSE(comm.Signals()->DTR());
    EXPECT_FALSE(comm.Signals()->RTS());
    EXPECT_TRUE(comm.Signals()->CTSHandshake());
}

TEST(PortDialog, LayoutFitsTheClientAreaWithTheErrorBoxAtTheRightEnd) {
    QuietComm comm;
    TPortDialog dialog(comm, QStringLiteral("x"));
    EXPECT_EQ(dialog.size(), QSize(280, 269));
    const QRect client(0, 0, 280, 269);
    const auto children = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    EXPECT_EQ(children.size(), 8 * 2 + 6 * 2 + 2 + 9 + 2);
    // The error-event box runs one pixel past the right edge; its box still shows.
    for (QWidget* child : children) {
        const QRect visible = client.intersected(child->geometry());
        EXPECT_GE(visible.width(), qMin(child->width(), 14)) << child->objectName().toStdString();
        EXPECT_EQ(visible.height(), child->height()) << child->objectName().toStdString();
    }

    // Read from left to right, the skip row ends with the error event.
    auto skipBoxes = dialog.chkSkipEvents;
    std::sort(skipBoxes.begin(), skipBoxes.end(),
              [](QCheckBox* a, QCheckBox* b) { return a->x() < b->x(); });
    QStringList order;
    for (QCheckBox* box : skipBoxes) {
        order << box->text();
        EXPECT_EQ(box->y(), 213);
    }
    EXPECT_EQ(order.join(' '), QStringLiteral("SE0 SE1 SE2 SE4 SE5 SE6 SE7 SE8 SE3"));
    EXPECT_EQ(dialog.chkSkipEvents[voceERR]->toolTip(),
              QStringLiteral("Do not watch for line errors (framing, parity, overrun) (voceERR)"));

    // Labels of the timeouts are too narrow for their captions: the hint
    // shows it, and says what the value does.
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->x() == 144) {
            EXPECT_TRUE(label->toolTip().startsWith(label->text() + ' '));
            EXPECT_GT(label->toolTip().size(), label->text().size() + 20);
        }
    }
    // Every field says in words what it is for.
    for (QWidget* field : std::initializer_list<QWidget*>{
             dialog.cmbPort, dialog.cmbBaudRate, dialog.cmbDataBits, dialog.cmbParity,
             dialog.cmbStopBits, dialog.cmbDTR, dialog.cmbRTS, dialog.cmbPreset,
             dialog.edtTimeouts[0], dialog.edtTimeouts[5], dialog.chkCTSHandshake,
             dialog.chkDSRHandshake})
        EXPECT_GT(field->toolTip().size(), 20) << field->objectName().toStdString();
    EXPECT_TRUE(dialog.btnOK->isDefault());
    EXPECT_EQ(dialog.cmbPreset->currentText(), QStringLiteral("---"));
}

TEST(PortDialog, OkAppliesWhatWasTypedAndChosen) {
    QuietComm comm;
    comm.SetCommPort(QStringLiteral("COM2"));
    comm.Signals()->SetDTR(false);
    QString title;
    const bool ok = runDialog([&] { return comm.ShowPortDialog(QString()); },
                              [&](TPortDialog& dialog) {
                                  title = dialog.windowTitle();
                                  EXPECT_EQ(dialog.cmbPort->currentText(), QStringLiteral("COM2"));
                                  EXPECT_EQ(dialog.cmbPort->count(), 2);
                                  dialog.cmbPort->setEditText(QStringLiteral("COM42"));
                                  dialog.cmbBaudRate->setCurrentText(QStringLiteral("9600"));
                                  dialog.cmbStopBits->setCurrentText(QStringLiteral("1.5"));
                                  dialog.cmbDTR->setCurrentText(QStringLiteral("HighZ"));
                                  dialog.cmbRTS->setCurrentText(QStringLiteral("Toggle"));
                                  dialog.edtTimeouts[1]->setText(QStringLiteral("-1"));
                                  dialog.chkDSRHandshake->setChecked(true);
                                  dialog.chkSkipEvents[voceERR]->setChecked(true);
                                  dialog.chkSkipEvents[voceTXEMPTY]->setChecked(true);
                                  pressKey(&dialog, Qt::Key_Return); // the default button
                              });
    EXPECT_TRUE(ok);
    EXPECT_EQ(title, QStringLiteral("Settings for COM2"));
    EXPECT_EQ(comm.CommPort(), QStringLiteral("COM42"));
    EXPECT_EQ(comm.BaudRate(), TBaudRate::___9600);
    EXPECT_EQ(comm.StopBits(), TStopBits::_1_5);
    EXPECT_EQ(comm.Signals()->DTRControl(), VOxaSignalControl_DTROff);
    EXPECT_FALSE(comm.Signals()->DTR());
    EXPECT_EQ(comm.Signals()->RTSControl(), VOxaSignalControl_RTSToggle);
    EXPECT_EQ(comm.Timeouts()->ReadInterval(), 4294967295u);
    EXPECT_TRUE(comm.Signals()->DSRHandshake());
    EXPECT_EQ(comm.Options()->SkipEvents(), (VOXComm32SkipEvents{voceERR, voceTXEMPTY}));

    // Reopened, the dialog shows what was stored; OK keeps all of it.
    const Snapshot before = snapshot(comm);
    EXPECT_TRUE(
        runDialog([&] { return comm.ShowPortDialog(QStringLiteral("COM port parameters")); },
                  [&](TPortDialog& dialog) {
                      EXPECT_EQ(dialog.windowTitle(), QStringLiteral("COM port parameters"));
                      EXPECT_EQ(dialog.cmbPort->currentText(), QStringLiteral("COM42"));
                      EXPECT_EQ(dialog.cmbDTR->currentText(), QStringLiteral("HighZ"));
                      EXPECT_EQ(dialog.cmbRTS->currentText(), QStringLiteral("Toggle"));
                      EXPECT_EQ(dialog.edtTimeouts[1]->text(), QStringLiteral("4294967295"));
                      EXPECT_EQ(dialog.cmbPreset->currentText(), QStringLiteral("---"));
                      EXPECT_TRUE(dialog.chkSkipEvents[voceERR]->isChecked());
                      dialog.btnOK->click();
                  }));
    EXPECT_EQ(snapshot(comm), before);
}

TEST(PortDialog, CancelAndEscapeChangeNothing) {
    QuietComm comm;
    const Snapshot before = snapshot(comm);
    auto edit = [](TPortDialog& dialog) {
        dialog.cmbPort->setEditText(QStringLiteral("COM9"));
        dialog.cmbParity->setCurrentText(QStringLiteral("Mark"));
        dialog.cmbPreset->setCurrentText(QStringLiteral("Fatek"));
        dialog.edtTimeouts[0]->setText(QStringLiteral("500"));
        dialog.chkCTSHandshake->setChecked(true);
        dialog.chkSkipEvents[voceBreak]->setChecked(true);
    };
    EXPECT_FALSE(runDialog([&] { return comm.ShowPortDialog(QString()); },
                           [&](TPortDialog& dialog) {
                               edit(dialog);
                               dialog.btnCancel->click();
                           }));
    EXPECT_EQ(snapshot(comm), before);
    EXPECT_FALSE(runDialog([&] { return comm.ShowPortDialog(QString()); },
                           [&](TPortDialog& dialog) {
                               edit(dialog);
                               pressKey(&dialog, Qt::Key_Escape);
                           }));
    EXPECT_EQ(snapshot(comm), before);
}

TEST(PortDialog, ChangesReachAnOpenPortWithoutClosingIt) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    TVOXComm32 comm;
    comm.SetAutoReconnect(false);
    comm.SetCommPort(pty.path());
    ASSERT_TRUE(comm.StartComm());
    EXPECT_TRUE(runDialog([&] { return comm.ShowPortDialog(QString()); },
                          [&](TPortDialog& dialog) {
                              dialog.cmbBaudRate->setCurrentText(QStringLiteral("57600"));
                              dialog.btnOK->click();
                          }));
    EXPECT_EQ(comm.BaudRate(), TBaudRate::__57600);
    EXPECT_TRUE(comm.IsCommOpen());
    EXPECT_EQ(comm.CommPort(), pty.path());
    comm.StopComm();
}

TEST(PortDialog, StandsInForTheSystemConfigurationDialog) {
    QuietComm comm;
    const Snapshot before = snapshot(comm);
    // Cancel counts as success and changes nothing.
    EXPECT_TRUE(runDialog([&] { return comm.ShowCommConfigDialog(); },
                          [](TPortDialog& dialog) { dialog.btnCancel->click(); }));
    EXPECT_EQ(snapshot(comm), before);
    // OK applies; with the port closed the block cannot be written.
    EXPECT_FALSE(runDialog([&] { return comm.ShowCommConfigDialog(); },
                           [](TPortDialog& dialog) {
                               dialog.cmbDataBits->setCurrentText(QStringLiteral("7"));
                               dialog.btnOK->click();
                           }));
    EXPECT_EQ(comm.DataBits(), TDataBits::_7);
}

// Shown, the dialog fits its texts to the font in use: every caption and list
// item whole, nothing overlapping, the layout's rows and columns kept, the
// skip boxes in a row of their own with their captions.
TEST(PortDialog, FittedToTheFontEveryTextShowsWhole) {
    QuietComm comm;
    TPortDialog dialog(comm, QStringLiteral("x"));
    dialog.edtTimeouts[3]->setText(QStringLiteral("4294967295"));
    dialog.FitTexts();
    dialog.show();
    EXPECT_EQ(testsupport::ClippedTexts(&dialog).join('\n').toStdString(), "");
    const QFontMetrics metrics(dialog.font());
    for (QLineEdit* edit : dialog.edtTimeouts)
        EXPECT_LE(metrics.horizontalAdvance(edit->text()), edit->contentsRect().width() -
                                                               edit->textMargins().left() -
                                                               edit->textMargins().right());

    const QRect client(QPoint(0, 0), dialog.size());
    const auto children = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* a : children) {
        EXPECT_TRUE(client.contains(a->geometry())) << a->objectName().toStdString();
        for (QWidget* b : children) {
            if (a != b) {
                EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                    << a->objectName().toStdString() << " / " << b->objectName().toStdString();
            }
        }
    }
    // Still two columns in the rows they had, and the skip row reads as before.
    EXPECT_EQ(dialog.cmbBaudRate->y(), dialog.edtTimeouts[1]->y());
    EXPECT_LT(dialog.cmbPort->geometry().right(), dialog.edtTimeouts[0]->x());
    auto skipBoxes = dialog.chkSkipEvents;
    std::sort(skipBoxes.begin(), skipBoxes.end(),
              [](QCheckBox* a, QCheckBox* b) { return a->x() < b->x(); });
    QStringList order;
    for (QCheckBox* box : skipBoxes) {
        order << box->text();
        EXPECT_GT(box->y(), dialog.cmbPreset->geometry().bottom());
        EXPECT_LT(box->geometry().bottom(), dialog.btnOK->y());
    }
    EXPECT_EQ(order.join(' '), QStringLiteral("SE0 SE1 SE2 SE4 SE5 SE6 SE7 SE8 SE3"));
}
