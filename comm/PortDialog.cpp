#include "comm/PortDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "comm/VOXComm32.h"
#include "comm/VOXComm32Tables.h"
#include "util/OxaUtils.h"
#include "widgets/ComboBoxes.h"
#include "widgets/FormPlacement.h"

const char* const kPortDialogLineNames[kPortDialogLineCount] = {"Off", "On", "HighZ", "Handshake",
                                                                "Toggle"};

const char* const kPortDialogPresetNames[kPortDialogPresetCount] = {
    "---", "115k 8N1 On", "115k 8N1 Sleep", "PSP-405", "Metex M-4640A", "Fatek"};

namespace {

// Settings of one device preset, applied through the setters in this order.
struct Preset {
    TBaudRate baudRate;
    TDataBits dataBits;
    TParity parity;
    TStopBits stopBits;
    VOxaSignalControl_DTR dtrControl;
    bool dtr;
    VOxaSignalControl_RTS rtsControl;
    bool rts;
    bool ctsHandshake;
    bool dsrHandshake;
};

// Index i belongs to kPortDialogPresetNames[i + 1].
constexpr Preset kPresets[kPortDialogPresetCount - 1] = {
    {TBaudRate::_115200, TDataBits::_8, TParity::None, TStopBits::_1, VOxaSignalControl_DTREnable,
     true, VOxaSignalControl_RTSHandshake, true, true, false},
    {TBaudRate::_115200, TDataBits::_8, TParity::None, TStopBits::_1, VOxaSignalControl_DTREnable,
     false, VOxaSignalControl_RTSEnable, false, true, false},
    {TBaudRate::___2400, TDataBits::_8, TParity::None, TStopBits::_1, VOxaSignalControl_DTREnable,
     true, VOxaSignalControl_RTSEnable, true, false, false},
    {TBaudRate::___9600, TDataBits::_7, TParity::None, TStopBits::_2, VOxaSignalControl_DTREnable,
     true, VOxaSignalControl_RTSEnable, false, false, false},
    {TBaudRate::___9600, TDataBits::_7, TParity::Even, TStopBits::_1, VOxaSignalControl_DTREnable,
     true, VOxaSignalControl_RTSEnable, true, false, false},
};

// Skip boxes: caption "SE<n>" for event n, at these x positions; the
// error-event box stands at the right end of the row.
constexpr int kSkipEventX[kSkipEventCount] = {138, 154, 170, 266, 186, 202, 218, 234, 250};
constexpr const char* kSkipEventNames[kSkipEventCount] = {
    "voceBreak", "voceCTS",    "voceDSR",    "voceERR",    "voceRING",
    "voceRLSD",  "voceRXCHAR", "voceRXFLAG", "voceTXEMPTY"};

constexpr const char* kTimeoutCaptions[6] = {
    "Time-Poll:",       "Time-ReadInt:",     "Time-ReadTotCns:",
    "Time-ReadTotMul:", "Time-WriteTotCns:", "Time-WriteTotMul:"};

// What each field does, in plain words (the captions are short and keep the
// names the settings are known by).
constexpr const char* kTimeoutHints[6] = {
    QT_TRANSLATE_NOOP("TPortDialog",
                      "How often the modem lines (CTS, DSR, RING, DCD) are read, in milliseconds"),
    QT_TRANSLATE_NOOP("TPortDialog", "A burst of received bytes is handed on once the line has "
                                     "been quiet this many milliseconds"),
    QT_TRANSLATE_NOOP("TPortDialog",
                      "Read time-out: fixed part in milliseconds (0 with the next: no limit)"),
    QT_TRANSLATE_NOOP("TPortDialog", "Read time-out: milliseconds added per byte asked for"),
    QT_TRANSLATE_NOOP("TPortDialog", "Write time-out: fixed part in milliseconds; a write that "
                                     "takes longer is given up (0 with the next: no limit)"),
    QT_TRANSLATE_NOOP("TPortDialog", "Write time-out: milliseconds added per byte written")};

constexpr const char* kSkipEventHints[kSkipEventCount] = {
    QT_TRANSLATE_NOOP("TPortDialog", "Do not watch for line breaks (the line held low)"),
    QT_TRANSLATE_NOOP("TPortDialog", "Do not watch the CTS line for changes"),
    QT_TRANSLATE_NOOP("TPortDialog", "Do not watch the DSR line for changes"),
    QT_TRANSLATE_NOOP("TPortDialog", "Do not watch for line errors (framing, parity, overrun)"),
    QT_TRANSLATE_NOOP("TPortDialog", "Do not watch the RING line"),
    QT_TRANSLATE_NOOP("TPortDialog", "Do not watch the carrier detect line (DCD)"),
    QT_TRANSLATE_NOOP("TPortDialog", "Do not report each received character as an event"),
    QT_TRANSLATE_NOOP("TPortDialog", "Do not watch for the event character"),
    QT_TRANSLATE_NOOP("TPortDialog", "Do not report when the last byte has left the wire")};

QString trDialog(const char* text) {
    return QCoreApplication::translate("TPortDialog", text);
}

constexpr int kRowTop = 8;
constexpr int kRowStep = 29;
constexpr int kClientWidth = 280;
constexpr int kClientHeight = 269;
constexpr int kButtonRow = 240;
constexpr int kSkipRowWidth = kClientWidth - 2 * kRowTop; // the skip row's own row, fitted

TPortDialogLine dtrLineOf(VOxaSignalControl_DTR control, bool line) {
    switch (control) {
    case VOxaSignalControl_DTROff:
        return pdlHighZ;
    case VOxaSignalControl_DTRHandshake:
        return pdlHandshake;
    default:
        return line ? pdlOn : pdlOff;
    }
}

TPortDialogLine rtsLineOf(VOxaSignalControl_RTS control, bool line) {
    switch (control) {
    case VOxaSignalControl_RTSOff:
        return pdlHighZ;
    case VOxaSignalControl_RTSHandshake:
        return pdlHandshake;
    case VOxaSignalControl_RTSToggle:
        return pdlToggle;
    default:
        return line ? pdlOn : pdlOff;
    }
}

void applyDTRLine(VOXComm32Signals& lineSignals, TPortDialogLine line) {
    switch (line) {
    case pdlOff:
    case pdlOn:
        lineSignals.SetDTRControl(VOxaSignalControl_DTREnable);
        lineSignals.SetDTR(line == pdlOn);
        break;
    case pdlHighZ:
        lineSignals.SetDTRControl(VOxaSignalControl_DTROff);
        break;
    case pdlHandshake:
        lineSignals.SetDTRControl(VOxaSignalControl_DTRHandshake);
        break;
    default: // the DTR box has no "Toggle"
        break;
    }
}

void applyRTSLine(VOXComm32Signals& lineSignals, TPortDialogLine line) {
    switch (line) {
    case pdlOff:
    case pdlOn:
        lineSignals.SetRTSControl(VOxaSignalControl_RTSEnable);
        lineSignals.SetRTS(line == pdlOn);
        break;
    case pdlHighZ:
        lineSignals.SetRTSControl(VOxaSignalControl_RTSOff);
        break;
    case pdlHandshake:
        lineSignals.SetRTSControl(VOxaSignalControl_RTSHandshake);
        break;
    case pdlToggle:
        lineSignals.SetRTSControl(VOxaSignalControl_RTSToggle);
        break;
    }
}

uint32_t timeoutOf(const TVOXComm32& comm, int box) {
    return box == 0 ? comm.Timeouts()->ModemPollPeriod() : comm.Timeouts()->GetTimeout(box - 1);
}

void setTimeout(TVOXComm32& comm, int box, uint32_t value) {
    if (box == 0)
        comm.Timeouts()->SetModemPollPeriod(value);
    else
        comm.Timeouts()->SetTimeout(box - 1, value);
}

QLabel* makeLabel(QWidget* parent, const char* caption, int x, int y, int width) {
    auto* label = new QLabel(trDialog(caption), parent);
    label->setGeometry(x, y, width, 20);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setWordWrap(false);
    return label;
}

QComboBox* makeCombo(QWidget* parent, const char* name, bool editable, int x, int y, int width) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setEditable(editable);
    if (editable)
        combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setGeometry(x, y, width, 21);
    return combo;
}

QCheckBox* makeCheck(QWidget* parent, const QString& caption, int x, int y, int width) {
    auto* check = new QCheckBox(caption, parent);
    check->setObjectName(caption);
    check->setGeometry(x, y, width, 17);
    return check;
}

void selectText(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        combo->setCurrentIndex(index);
}

} // namespace

TPortDialogValues PortDialogValuesOf(const TVOXComm32& comm) {
    TPortDialogValues values;
    values.Port = comm.CommPort();
    values.BaudRate = QString::number(BaudRateValue(comm.BaudRate()));
    values.DataBits = QString::number(kDataBitsValues[int(comm.DataBits())]);
    values.Parity = QLatin1String(kParityNames[int(comm.Parity())]);
    values.StopBits = QLatin1String(kStopBitsNames[int(comm.StopBits())]);
    const VOXComm32Signals& lineSignals = *comm.Signals();
    values.DTRLine = dtrLineOf(lineSignals.DTRControl(), lineSignals.DTR());
    values.RTSLine = rtsLineOf(lineSignals.RTSControl(), lineSignals.RTS());
    for (int box = 0; box < 6; ++box)
        values.Timeouts[box] = QString::number(timeoutOf(comm, box));
    values.CTSHandshake = lineSignals.CTSHandshake();
    values.DSRHandshake = lineSignals.DSRHandshake();
    values.SkipEvents = comm.Options()->SkipEvents();
    values.Preset = 0;
    return values;
}

void ApplyPortDialogValues(TVOXComm32& comm, const TPortDialogValues& values) {
    comm.SetCommPort(values.Port);

    for (int i = 0; i < kBaudRateCount; ++i)
        if (values.BaudRate == QString::number(kBaudRateValues[i]))
            comm.SetBaudRate(TBaudRate(i));
    for (int i = 0; i < kDataBitsCount; ++i)
        if (values.DataBits == QString::number(kDataBitsValues[i]))
            comm.SetDataBits(TDataBits(i));
    if (const int parity = ParityIndexOf(values.Parity); parity >= 0)
        comm.SetParity(TParity(parity));
    if (const int stopBits = StopBitsIndexOf(values.StopBits); stopBits >= 0)
        comm.SetStopBits(TStopBits(stopBits));

    VOXComm32Signals& lineSignals = *comm.Signals();
    applyDTRLine(lineSignals, values.DTRLine);
    applyRTSLine(lineSignals, values.RTSLine);

    // A number is stored as unsigned 32 bits (-1 becomes 4294967295); other
    // text keeps the value, also one above the signed range shown in full.
    for (int box = 0; box < 6; ++box) {
        int32_t value = 0;
        if (TextToInt32(values.Timeouts[box], value))
            setTimeout(comm, box, uint32_t(value));
    }

    lineSignals.SetCTSHandshake(values.CTSHandshake);
    lineSignals.SetDSRHandshake(values.DSRHandshake);
    comm.Options()->SetSkipEvents(values.SkipEvents);

    if (values.Preset > 0 && values.Preset < kPortDialogPresetCount) {
        const Preset& preset = kPresets[values.Preset - 1];
        comm.SetBaudRate(preset.baudRate);
        comm.SetDataBits(preset.dataBits);
        comm.SetParity(preset.parity);
        comm.SetStopBits(preset.stopBits);
        lineSignals.SetDTRControl(preset.dtrControl);
        lineSignals.SetDTR(preset.dtr);
        lineSignals.SetRTSControl(preset.rtsControl);
        lineSignals.SetRTS(preset.rts);
        lineSignals.SetCTSHandshake(preset.ctsHandshake);
        lineSignals.SetDSRHandshake(preset.dsrHandshake);
    }
}

TPortDialog::TPortDialog(TVOXComm32& comm, const QString& caption, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(caption);
    setFixedSize(kClientWidth, kClientHeight);
    // The pixel layout was drawn for a classic 8-point dialog font (11 pixels).
    QFont dialogFont = font();
    dialogFont.setPixelSize(11);
    dialogFont.setStretch(86);
    setFont(dialogFont);

    // Left column: a label and a combo box per row.
    int y = kRowTop;
    makeLabel(this, QT_TRANSLATE_NOOP("TPortDialog", "COM port:"), 8, y, 56);
    cmbPort = makeCombo(this, "cmbPort", true, 72, y, 64);
    y += kRowStep;
    makeLabel(this, QT_TRANSLATE_NOOP("TPortDialog", "Baud rate:"), 8, y, 56);
    cmbBaudRate = makeCombo(this, "cmbBaudRate", false, 72, y, 64);
    for (uint32_t baud : kBaudRateValues)
        cmbBaudRate->addItem(QString::number(baud));
    y += kRowStep;
    makeLabel(this, QT_TRANSLATE_NOOP("TPortDialog", "Data bits:"), 8, y, 56);
    cmbDataBits = makeCombo(this, "cmbDataBits", false, 72, y, 64);
    for (int bits : kDataBitsValues)
        cmbDataBits->addItem(QString::number(bits));
    y += kRowStep;
    makeLabel(this, QT_TRANSLATE_NOOP("TPortDialog", "Parity:"), 8, y, 56);
    cmbParity = makeCombo(this, "cmbParity", false, 72, y, 64);
    for (const char* name : kParityNames)
        cmbParity->addItem(QLatin1String(name));
    y += kRowStep;
    makeLabel(this, QT_TRANSLATE_NOOP("TPortDialog", "Stop bits:"), 8, y, 56);
    cmbStopBits = makeCombo(this, "cmbStopBits", false, 72, y, 64);
    for (const char* name : kStopBitsNames)
        cmbStopBits->addItem(QLatin1String(name));
    y += kRowStep;
    makeLabel(this, QT_TRANSLATE_NOOP("TPortDialog", "DTR:"), 8, y, 56);
    cmbDTR = makeCombo(this, "cmbDTR", false, 72, y, 64);
    for (int i = pdlOff; i <= pdlHandshake; ++i)
        cmbDTR->addItem(QLatin1String(kPortDialogLineNames[i]));
    y += kRowStep;
    makeLabel(this, QT_TRANSLATE_NOOP("TPortDialog", "RTS:"), 8, y, 56);
    cmbRTS = makeCombo(this, "cmbRTS", false, 72, y, 64);
    for (const char* name : kPortDialogLineNames)
        cmbRTS->addItem(QLatin1String(name));
    y += kRowStep;
    makeLabel(this, QT_TRANSLATE_NOOP("TPortDialog", "Preset:"), 8, y, 36);
    cmbPreset = makeCombo(this, "cmbPreset", false, 52, y, 84);
    for (const char* name : kPortDialogPresetNames)
        cmbPreset->addItem(QLatin1String(name));

    // Right column: the poll period and the five timeouts; each label's hint
    // and its box's say what the value does.
    y = kRowTop;
    for (int box = 0; box < 6; ++box, y += kRowStep) {
        QLabel* label = makeLabel(this, kTimeoutCaptions[box], 144, y, 56);
        // The label is too narrow for its caption: the hint shows it whole.
        label->setToolTip(label->text() + u' ' + trDialog(kTimeoutHints[box]));
        auto* edit = new QLineEdit(this);
        edit->setToolTip(label->toolTip());
        edit->setObjectName(QStringLiteral("edtTimeout%1").arg(box));
        edit->setGeometry(208, y, 64, 21);
        edtTimeouts[box] = edit;
    }

    chkCTSHandshake = makeCheck(this, QStringLiteral("CTShand"), 144, 184, 60);
    chkDSRHandshake = makeCheck(this, QStringLiteral("DSRhand"), 212, 184, 60);
    // A narrower gap after the box lets the captions fit their 60 pixels.
    chkCTSHandshake->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
    chkDSRHandshake->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));

    for (int event = 0; event < kSkipEventCount; ++event) {
        QCheckBox* box =
            makeCheck(this, QStringLiteral("SE%1").arg(event), kSkipEventX[event], 213, 15);
        box->setToolTip(trDialog(kSkipEventHints[event]) + QStringLiteral(" (") +
                        QLatin1String(kSkipEventNames[event]) + u')');
        chkSkipEvents[event] = box;
    }

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(168, kButtonRow, 48, 21);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(222, kButtonRow, 48, 21);
    btnCancel->setAutoDefault(false);
    // Esc rejects the dialog as the cancel button would.
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    TPortDialogValues values = PortDialogValuesOf(comm);
    SetValues(values);
    comm.FillPortList(cmbPort);
    comm.SelectPortInList(cmbPort);
    // A long device path does not fit the box: its hint shows it whole.
    const QString portHint =
        tr("The serial device: a path (/dev/ttyUSB0), a name in /dev (ttyUSB0) or COMn "
           "(/dev/ttyS0 for COM1); the list shows the ports the system has.");
    const auto showPortHint = [this, portHint](const QString& port) {
        cmbPort->setToolTip(port.isEmpty() ? portHint : port + u'\n' + portHint);
    };
    showPortHint(cmbPort->currentText());
    connect(cmbPort, &QComboBox::editTextChanged, this, showPortHint);
    cmbBaudRate->setToolTip(tr("Line speed in bits per second; the module must use the same"));
    cmbDataBits->setToolTip(tr("Data bits of each character (8 for a GSM module)"));
    cmbParity->setToolTip(tr("The parity bit after the data bits: none, odd, even, always 1 "
                             "(Mark) or always 0 (Space)"));
    cmbStopBits->setToolTip(tr("Stop bits after each character"));
    cmbDTR->setToolTip(tr("The DTR output: Off or On; HighZ leaves it to the driver; Handshake "
                          "drops it while the program is far behind with received data"));
    cmbRTS->setToolTip(tr("The RTS output: Off or On; HighZ leaves it to the driver; Handshake "
                          "is hardware flow control (with CTS); Toggle raises it only while "
                          "sending (RS-485)"));
    cmbPreset->setToolTip(tr("Fills the fields with the settings of a known device"));
    chkCTSHandshake->setToolTip(tr("Output waits while the module holds CTS off"));
    chkDSRHandshake->setToolTip(tr("Output waits while DSR is off"));
}

void TPortDialog::FitTexts() {
    if (m_fitted)
        return;
    m_fitted = true;
    // How much wider (fx) and taller (fy) than drawn each control must be
    // for its text; the largest need sets the scale for all of them.
    double fx = 1.0, fy = 1.0;
    const auto need = [](double& scale, int wanted, int drawn) {
        if (drawn > 0)
            scale = std::max(scale, double(wanted) / drawn);
    };
    const QFontMetrics metrics(font());
    const int editFrame = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 6;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect r = child->geometry();
        if (auto* label = qobject_cast<QLabel*>(child)) {
            need(fx, metrics.horizontalAdvance(label->text()) + 2, r.width());
        } else if (auto* edit = qobject_cast<QLineEdit*>(child)) {
            need(fx, metrics.horizontalAdvance(QStringLiteral("4294967295")) + editFrame,
                 r.width());
            need(fy, edit->sizeHint().height(), r.height());
        } else if (auto* combo = qobject_cast<QComboBox*>(child)) {
            if (!combo->isEditable()) // the port box takes any text; its list is wide
                need(fx, combo->sizeHint().width(), r.width());
            need(fy, combo->sizeHint().height(), r.height());
        } else if (auto* check = qobject_cast<QCheckBox*>(child)) {
            const bool skipBox =
                std::find(chkSkipEvents.begin(), chkSkipEvents.end(), check) != chkSkipEvents.end();
            // The skip boxes share the dialog's width in their own row.
            need(fx, check->sizeHint().width() * (skipBox ? kSkipEventCount : 1),
                 skipBox ? kSkipRowWidth : r.width());
            need(fy, check->sizeHint().height(), r.height());
        } else if (auto* button = qobject_cast<QPushButton*>(child)) {
            need(fx, button->sizeHint().width(), r.width());
            need(fy, button->sizeHint().height(), r.height());
        }
    }
    // Whole pixels per row step keep the rows evenly spaced.
    fy = std::ceil(kRowStep * fy) / kRowStep;
    const auto scaled = [&](int x, int y, int w, int h) {
        return QRect(int(std::lround(x * fx)), int(std::lround(y * fy)), int(std::lround(w * fx)),
                     int(std::lround(h * fy)));
    };
    const int skipRow = kButtonRow;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QRect r = child->geometry();
        if (child == btnOK || child == btnCancel)
            r.moveTop(kButtonRow + kRowStep);
        child->setGeometry(scaled(r.x(), r.y(), r.width(), r.height()));
    }
    // Left to right in the order the row has always had: SE0 .. SE2, SE4 .. SE8, SE3.
    QList<QCheckBox*> row(chkSkipEvents.begin(), chkSkipEvents.end());
    std::sort(row.begin(), row.end(), [](QCheckBox* a, QCheckBox* b) { return a->x() < b->x(); });
    for (int slot = 0; slot < row.size(); ++slot) {
        const int left = kRowTop + slot * kSkipRowWidth / kSkipEventCount;
        const int right = kRowTop + (slot + 1) * kSkipRowWidth / kSkipEventCount;
        const QRect r = scaled(left, skipRow, right - left, 17);
        row[slot]->setGeometry(r);
    }
    setFixedSize(int(std::lround(kClientWidth * fx)),
                 int(std::lround((kClientHeight + kRowStep) * fy)));
}

TPortDialogValues TPortDialog::Values() const {
    TPortDialogValues values;
    values.Port = cmbPort->currentText();
    values.BaudRate = cmbBaudRate->currentText();
    values.DataBits = cmbDataBits->currentText();
    values.Parity = cmbParity->currentText();
    values.StopBits = cmbStopBits->currentText();
    values.DTRLine = TPortDialogLine(qBound(0, cmbDTR->currentIndex(), int(pdlHandshake)));
    values.RTSLine = TPortDialogLine(qBound(0, cmbRTS->currentIndex(), int(pdlToggle)));
    for (int box = 0; box < 6; ++box)
        values.Timeouts[box] = edtTimeouts[box]->text();
    values.CTSHandshake = chkCTSHandshake->isChecked();
    values.DSRHandshake = chkDSRHandshake->isChecked();
    VOXComm32SkipEvents skip;
    for (int event = 0; event < kSkipEventCount; ++event)
        if (chkSkipEvents[event]->isChecked())
            skip.Include(VOXComm32SkipEvent(event));
    values.SkipEvents = skip;
    values.Preset = qMax(0, cmbPreset->currentIndex());
    return values;
}

void TPortDialog::SetValues(const TPortDialogValues& values) {
    SelectComboItem(cmbPort, values.Port);
    selectText(cmbBaudRate, values.BaudRate);
    selectText(cmbDataBits, values.DataBits);
    selectText(cmbParity, values.Parity);
    selectText(cmbStopBits, values.StopBits);
    if (values.DTRLine <= pdlHandshake)
        cmbDTR->setCurrentIndex(values.DTRLine);
    cmbRTS->setCurrentIndex(values.RTSLine);
    for (int box = 0; box < 6; ++box)
        edtTimeouts[box]->setText(values.Timeouts[box]);
    chkCTSHandshake->setChecked(values.CTSHandshake);
    chkDSRHandshake->setChecked(values.DSRHandshake);
    for (int event = 0; event < kSkipEventCount; ++event)
        chkSkipEvents[event]->setChecked(values.SkipEvents.Contains(VOXComm32SkipEvent(event)));
    cmbPreset->setCurrentIndex(qBound(0, values.Preset, kPortDialogPresetCount - 1));
}

bool TVOXComm32::ShowPortDialog(const QString& caption) {
    const QString title =
        caption.isEmpty() ? QStringLiteral("Settings for ") + m_commPort : caption;
    TPortDialog dialog(*this, title, QApplication::activeWindow());
    dialog.FitTexts();
    CenterForm(&dialog, nullptr, true);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    ApplyPortDialogValues(*this, dialog.Values());
    return true;
}
