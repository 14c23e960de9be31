#include "app/FormMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "DralvoVersion.h"
#include "app/FormCfgAdv.h"
#include "app/LogLocation.h"
#include "app/ModuleCommands.h"
#include "app/PortOpenReason.h"
#include "app/ReceivePipeline.h"
#include "appinfo/VOxaAppInfo.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Trace.h"
#include "platform/ControlChannel.h"
#include "platform/PathWatcher.h"
#include "platform/SerialDevice.h"
#include "platform/Ticks.h"
#include "terminal/VOxaTerminal.h"
#include "util/Ticks.h"
#include "util/Timer.h"
#include "util/Tokens.h"
#include "widgets/ComboBoxes.h"

namespace {

// A combo box that tells its owner when its list is about to drop down.
class DropDownComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> OnDropDown;
    void showPopup() override {
        if (OnDropDown)
            OnDropDown();
        QComboBox::showPopup();
    }
};

template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* label(const QString& caption, const char* name = "") {
    auto* l = new QLabel(caption);
    if (*name)
        l->setObjectName(QLatin1String(name));
    return l;
}

QPushButton* button(const QString& caption, const char* name) {
    return named(new QPushButton(caption), name);
}

// A label that wraps its text and asks for the height the wrapped text needs
// at its current width: a long notice makes the window taller, never wider.
class WrappingLabel : public QLabel {
public:
    WrappingLabel() {
        setWordWrap(true);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    }
    void fitHeight() {
        const int height = text().isEmpty() ? 0 : heightForWidth(width());
        if (height != minimumHeight())
            setMinimumHeight(height);
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        fitHeight();
    }
};

struct StepRow {
    const char* text;
    bool startEnabled;
    bool disconnectEnabled;
};
// Indexed by TStatusStep; the first row is never applied (StatusStepNone is
// only the initial value).
constexpr StepRow StepTable[] = {
    {"", true, true},
    {"Idle.", true, false},
    {"Trying to open COM port ...", false, true},
    {"Sending command ...", false, true},
    {"Ready.", false, true},
    {"Disconnecting ...", false, false},
};

const char* const ProgressPatterns[4] = {"(*...)", "(.*..)", "(..*.)", "(...*)"};

} // namespace

// ---- construction ----------------------------------------------------------------------

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Dralvo, v" DRALVO_VERSION));
    createControls();
    createComponents();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    // The port closes with the serial component; nothing it reports on the way
    // out may reach this half-destroyed window.
    if (commMain) {
        commMain->SetOnReceiveData(nullptr);
        commMain->SetOnStateChange(nullptr);
    }
    if (termData) {
        termData->OnTermSendData = nullptr;
        termData->OnFormCreate = nullptr;
    }
}

void TfrmMain::createControls() {
    auto* central = named(new QWidget(this), "pnlMain");
    setCentralWidget(central);
    auto* main = new QVBoxLayout(central);
    main->setContentsMargins(8, 6, 8, 4);

    // " COM port parameters "
    grpComPort = named(new QGroupBox(QStringLiteral(" COM port parameters ")), "grpComPort");
    lblParameters = label(QStringLiteral("Parameters:"), "lblParameters");
    lblOutCheck = label(QStringLiteral("?"), "lblOutCheck");
    lblOutCheck->setWordWrap(true);
    lblOutCheck->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblOutCheck->setMinimumHeight(2 * lblOutCheck->fontMetrics().height());
    lblState = label(QStringLiteral("State:"), "lblState");
    lblOutState = label(QStringLiteral("?"), "lblOutState");
    QFont bold = lblOutState->font();
    bold.setBold(true);
    lblOutState->setFont(bold);
    lblProgress = label(QString(), "lblProgress");
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    lblProgress->setFont(fixed);
    lblProgress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    btnConfig = button(QStringLiteral("&Config"), "btnConfig");
    auto* port = named(new DropDownComboBox, "cmbPort");
    port->OnDropDown = [this] { cmbPortDropDown(); };
    cmbPort = port;
    cmbPort->setEditable(true);
    cmbPort->setInsertPolicy(QComboBox::NoInsert);
    cmbPort->setEditText(QStringLiteral("-"));
    btnAdvancedCfg = button(QStringLiteral("&Advanced ..."), "btnAdvancedCfg");

    auto* portGrid = new QGridLayout(grpComPort);
    portGrid->addWidget(lblParameters, 0, 0, Qt::AlignTop);
    portGrid->addWidget(lblOutCheck, 0, 1, 1, 2);
    portGrid->addWidget(btnAdvancedCfg, 0, 3, Qt::AlignTop);
    portGrid->addWidget(lblState, 1, 0);
    portGrid->addWidget(lblOutState, 1, 1);
    portGrid->addWidget(lblProgress, 1, 2, 1, 2);
    portGrid->addWidget(btnConfig, 2, 0);
    portGrid->addWidget(cmbPort, 2, 1, 1, 3);
    portGrid->setColumnStretch(1, 1);
    main->addWidget(grpComPort);

    // The connection buttons and the start command.
    btnStart = button(QStringLiteral("Connect && &Start"), "btnStart");
    btnConnect = button(QStringLiteral("C&onnect"), "btnConnect");
    btnDisconnect = button(QStringLiteral("&Disconnect"), "btnDisconnect");
    for (QPushButton* b : {btnStart, btnConnect}) {
        b->setDefault(true);
        b->setAutoDefault(true);
    }
    lblStartCmd = label(QStringLiteral("Start command: (without CR at the end)"), "lblStartCmd");
    lblAtSjra = label(QStringLiteral("at^sjra="), "lblAtSjra");
    edtStartCmd = named(new QLineEdit(QStringLiteral("a:/appmain2.jad")), "edtStartCmd");
    btAutostartOn = button(QStringLiteral("Set autostart on"), "btAutostartOn");

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnStart);
    buttons->addWidget(btnConnect);
    buttons->addWidget(btnDisconnect);
    auto* command = new QGridLayout;
    command->addWidget(lblStartCmd, 0, 0, 1, 2);
    command->addWidget(lblAtSjra, 1, 0);
    command->addWidget(edtStartCmd, 1, 1);
    command->addWidget(btAutostartOn, 2, 1, Qt::AlignRight);
    command->setColumnStretch(1, 1);
    command->setRowStretch(3, 1);
    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(2, 4, 2, 4);
    middle->addLayout(buttons);
    middle->addSpacing(10);
    middle->addLayout(command, 1);
    main->addLayout(middle);

    // " Filters "
    grpFilters = named(new QGroupBox(QStringLiteral(" Filters ")), "grpFilters");
    lblFilter1 = label(QStringLiteral("String 1:"), "lblFilter1");
    lblFilter2 = label(QStringLiteral("String 2:"), "lblFilter2");
    cmbFilter1 = named(new QComboBox, "cmbFilter1");
    cmbFilter2 = named(new QComboBox, "cmbFilter2");
    for (QComboBox* c : {cmbFilter1, cmbFilter2}) {
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setMaxVisibleItems(10);
        c->setEditText(QString());
        c->installEventFilter(this);
    }
    btnFreezeRun = button(QStringLiteral("Freeze"), "btnFreezeRun");
    chkStrict = named(new QCheckBox(QStringLiteral("Strict")), "chkStrict");
    auto* filterGrid = new QGridLayout(grpFilters);
    filterGrid->addWidget(lblFilter1, 0, 0);
    filterGrid->addWidget(cmbFilter1, 0, 1);
    filterGrid->addWidget(btnFreezeRun, 0, 2);
    filterGrid->addWidget(lblFilter2, 1, 0);
    filterGrid->addWidget(cmbFilter2, 1, 1);
    filterGrid->addWidget(chkStrict, 1, 2);
    filterGrid->setColumnStretch(1, 1);
    main->addWidget(grpFilters);

    // " Send file "
    grpSendFile = named(new QGroupBox(QStringLiteral(" Send file ")), "grpSendFile");
    lblSFFilename = label(QStringLiteral("Filename:"), "lblSFFilename");
    edtSFFilename = named(new QLineEdit(QStringLiteral("-")), "edtSFFilename");
    btnSFBrowse = button(QStringLiteral("&Browse"), "btnSFBrowse");
    btnSFSend = button(QStringLiteral("S&end"), "btnSFSend");
    auto* fileGrid = new QGridLayout(grpSendFile);
    fileGrid->addWidget(lblSFFilename, 0, 0);
    fileGrid->addWidget(edtSFFilename, 0, 1, 1, 3);
    fileGrid->addWidget(btnSFBrowse, 1, 2);
    fileGrid->addWidget(btnSFSend, 1, 3);
    fileGrid->setColumnStretch(1, 1);
    main->addWidget(grpSendFile);
    main->addStretch(1);

    // The status bar: the connection step and the newest notice side by side,
    // the current log file on a line of its own below them.
    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(true);
    StatusBar1Panel = label(QString(), "StatusBar1Panel");
    StatusBar1Panel->setAlignment(Qt::AlignLeft | Qt::AlignTop); // beside a notice's first line
    StatusBar1Notice = named(new WrappingLabel, "StatusBar1Notice");
    StatusBar1Notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    StatusBar1Log = named(new WrappingLabel, "StatusBar1Log");
    StatusBar1Log->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* status = named(new QWidget, "pnlStatus");
    auto* statusGrid = new QGridLayout(status);
    statusGrid->setContentsMargins(0, 0, 0, 0);
    statusGrid->setVerticalSpacing(0);
    statusGrid->addWidget(StatusBar1Panel, 0, 0);
    statusGrid->addWidget(StatusBar1Notice, 0, 1);
    statusGrid->addWidget(StatusBar1Log, 1, 0, 1, 2);
    statusGrid->setColumnStretch(0, 1);
    statusGrid->setColumnStretch(1, 3);
    StatusBar1->addWidget(status, 1);
    setStatusBar(StatusBar1);

    setTabOrder(btnStart, btnConnect);
    setTabOrder(btnConnect, btnDisconnect);
    btnStart->setFocus(); // the focus when the window opens
    resize(450, 460);
}

void TfrmMain::createComponents() {
    commMain = named(new TVOXComm32(this), "commMain");
    termData = named(new VOxaTerminal(this), "termData");
    VOxaAppInfo1 = named(new VOxaAppInfo(this), "VOxaAppInfo1");
    tmrMachine = named(new Timer(this), "tmrMachine");
    tmrAutoStartDelayed = named(new Timer(this), "tmrAutoStartDelayed");
    tmrAutoMark = named(new Timer(this), "tmrAutoMark");
    tmrAutoCmd = named(new Timer(this), "tmrAutoCmd");
    tmrAlarm = named(new Timer(this), "tmrAlarm");
    tmrAlarmRepeat = named(new Timer(this), "tmrAlarmRepeat");
    OpenDialogSendFile = named(new QFileDialog(this), "OpenDialogSendFile");
    OpenDialogSendFile->setWindowTitle(QStringLiteral("Select file to send"));
    OpenDialogSendFile->setFileMode(QFileDialog::ExistingFile);
    // "*.*" would hide files without an extension here.
    OpenDialogSendFile->setNameFilter(QStringLiteral("All files (*)"));

    // The stored property values, set while the components only store them.
    TComponent::BeginLoadingAll(this);
    termData->SetCaption(QStringLiteral("Terminal"));
    termData->SetMaxLines(500000);
    termData->SetShowOptions({votsoShowTimes});
    termData->SetShowHexEdit(true);
    termData->SetModeIndex(-1);
    termData->SetLogFileMaxLen(-1);
    termData->SetLoggerOpenFlags(0x80000000u);
    termData->SetOxaAppInfo(VOxaAppInfo1);
    termData->SetVisible(true);
    commMain->SetCommPort(QStringLiteral("COM2"));
    commMain->SetBaudRate(TBaudRate::_115200);
    commMain->SetAutoReconnect(false);
    commMain->Options()->SetSkipEvents({voceTXEMPTY});
    VOxaAppInfo1->SetAppName(QStringLiteral(DRALVO_APP_KEY));
    VOxaAppInfo1->SetRegistryPath(QStringLiteral("Software\\Oxatek\\"));
    tmrMachine->SetInterval(50);
    tmrMachine->SetEnabled(false);
    tmrAutoStartDelayed->SetInterval(500);
    tmrAutoStartDelayed->SetEnabled(false);
    for (Timer* t : {tmrAutoMark, tmrAutoCmd, tmrAlarm}) {
        t->SetInterval(30000);
        t->SetEnabled(false);
    }
    tmrAlarmRepeat->SetInterval(500);
    tmrAlarmRepeat->SetEnabled(false);
    connectHandlers();
    TComponent::LoadedAll(this);

    // While connecting, the port's path is watched, so a device that comes
    // back is opened at once rather than at the next retry.
    m_portWatcher = new platform::PathWatcher(this);
    m_portWatcher->OnChanged = [this] { portPathChanged(); };
    m_quickRetryTimer = new QTimer(this);
    m_quickRetryTimer->setInterval(QuickRetryInterval);
    connect(m_quickRetryTimer, &QTimer::timeout, this, [this] {
        if (--m_quickRetries <= 0)
            m_quickRetryTimer->stop();
        quickRetry();
    });
}

void TfrmMain::connectHandlers() {
    commMain->SetOnStateChange(
        [this](QObject* sender, TCommState state) { commMainStateChange(sender, state); });
    commMain->SetOnReceiveData([this](QObject* sender, const char* buffer, uint16_t length) {
        commMainReceiveData(sender, buffer, length);
    });
    termData->OnTermSendData = [this](VOxaTerminal* sender, const uint8_t* data, int count,
                                      bool includesCR) {
        termDataTermSendData(sender, data, count, includesCR);
    };
    termData->OnFormCreate = [this](VOxaTerminal* sender, QWidget* form, QPlainTextEdit* richedit) {
        termDataFormCreate(sender, form, richedit);
    };
    tmrMachine->OnTimer = [this](Timer*) { tmrMachineTimer(); };
    tmrAutoStartDelayed->OnTimer = [this](Timer*) { tmrAutoStartDelayedTimer(); };
    tmrAutoMark->OnTimer = [this](Timer*) { tmrAutoMarkTimer(); };
    tmrAutoCmd->OnTimer = [this](Timer*) { tmrAutoCmdTimer(); };
    tmrAlarm->OnTimer = [this](Timer*) { tmrAlarmTimer(); };
    tmrAlarmRepeat->OnTimer = [this](Timer*) { tmrAlarmRepeatTimer(); };

    connect(btnStart, &QPushButton::clicked, this, [this] { btnStartClick(); });
    connect(btnConnect, &QPushButton::clicked, this, [this] { btnConnectClick(); });
    connect(btnDisconnect, &QPushButton::clicked, this, [this] { btnDisconnectClick(); });
    connect(btnFreezeRun, &QPushButton::clicked, this, [this] { btnFreezeRunClick(); });
    connect(btnAdvancedCfg, &QPushButton::clicked, this, [this] { btnAdvancedCfgClick(); });
    connect(btAutostartOn, &QPushButton::clicked, this, [this] { btAutostartOnClick(); });
    connect(btnSFBrowse, &QPushButton::clicked, this, [this] { btnSFBrowseClick(); });
    connect(btnSFSend, &QPushButton::clicked, this, [this] { btnSFSendClick(); });
    connect(btnConfig, &QPushButton::clicked, this, [this] { btnConfigClick(); });
    connect(cmbPort, &QComboBox::editTextChanged, this, [this] { cmbPortChange(); });
}

bool TfrmMain::ListenForControlMessages(const QString& dir) {
    if (!m_controlChannel) {
        m_controlChannel = new platform::ControlChannel(this);
        m_controlChannel->OnMessage = [this](uint32_t message) {
            return HandleControlMessage(message);
        };
        m_controlChannel->OnTrace = [](const QString& text) { comm::TraceLine("error", text); };
    }
    if (m_controlChannel->listen(dir, QStringLiteral(DRALVO_APP_KEY))) {
        // Scripts look for the first name; say where this instance is instead.
        if (!m_controlChannel->fallbackReason().isEmpty())
            ShowNotice(tr("Control socket: %1, since %2 at %3; dralvo-msg --socket %1 reaches it")
                           .arg(m_controlChannel->path(), m_controlChannel->fallbackReason(),
                                m_controlChannel->firstPath()));
        return true;
    }
    ShowNotice(QStringLiteral("Other programs cannot press Start and Disconnect: %1")
                   .arg(m_controlChannel->errorString()));
    return false;
}

QString TfrmMain::ControlSocketPath() const {
    return m_controlChannel ? m_controlChannel->path() : QString();
}

void TfrmMain::CloseOnTerminationSignals() {
    if (m_terminationSignals)
        return;
    m_terminationSignals = new platform::TerminationSignals(this);
    m_terminationSignals->OnSignal = [this](int) {
        // A signal during closing is ignored: the settings are being saved.
        if (!m_closing) {
            m_closingForSignal = true;
            close();
        }
    };
}

// ---- creation, showing, closing ------------------------------------------------------------

void TfrmMain::FormCreate() {
    StatusStep = StatusStepNone;
    lastCommState = CommStateFirst;
    VOxaAppInfo1->RestoreFormPlacement();
    // "logs\Dralvo_*.log" when started from a shell; the user's state folder
    // when started from the desktop menu (see app/LogLocation.h).
    const QString home = QDir::homePath();
    termData->SetLoggerFilename(LogFilePattern(QDir::currentPath(), home, StateHome(home)));
    termData->SetLoggerNamingStyle(volnfDaily);
    termData->Logger()->OnLogFault = [this](VOxaLogger* sender, bool failing,
                                            const QString& fileName, const QString& reason) {
        termDataLogFault(sender, failing, fileName, reason);
    };
    termData->Logger()->OnFileOpened = [this](VOxaLogger*, const QString& fileName) {
        ShowLogFile(fileName);
    };
}

void TfrmMain::ShowLogFile(const QString& fileName) {
    StatusBar1Log->setText(QStringLiteral("Log: ") +
                           DisplayedLogPath(fileName, QDir::currentPath(), QDir::homePath()));
    StatusBar1Log->setToolTip(fileName);
    static_cast<WrappingLabel*>(StatusBar1Log)->fitHeight();
}

QString TfrmMain::LogFileText() const {
    return StatusBar1Log->text();
}

void TfrmMain::termDataLogFault(VOxaLogger*, bool failing, const QString& fileName,
                                const QString& reason) {
    // The log itself says how many records it missed; the user learns that
    // it is missing them.
    if (failing)
        ShowNotice(QStringLiteral("Cannot write the log ") + fileName + QStringLiteral(": ") +
                   reason);
    else
        ShowNotice(QStringLiteral("Logging again to ") + fileName);
}

void TfrmMain::FormShow() {
    const QString settingsNotice = VOxaAppInfo1->CheckSettingsFiles();
    LoadSettings();
    if (!settingsNotice.isEmpty())
        ShowNotice(settingsNotice);
    commMain->FillPortList(cmbPort);
    commMain->SelectPortInList(cmbPort);
    if (frmCfgAdv) {
        tmrAutoStartDelayed->SetInterval(
            uint32_t(StrToIntDef(frmCfgAdv->edtAutostartDelay->text(), 500)));
        tmrAutoStartDelayed->SetEnabled(frmCfgAdv->chkAutostart->isChecked());
    }
    ApplyAdvancedSettings();
}

void TfrmMain::FormClose() {
    VOxaAppInfo1->SaveFormPlacement();
    SaveSettings();
    const QString failure = VOxaAppInfo1->TakeWriteError();
    if (failure.isEmpty())
        return;
    const QString message = QStringLiteral("The settings could not be saved. %1").arg(failure);
    // Ended by a signal (the session ends), nobody could answer a message box.
    if (m_closingForSignal)
        std::fprintf(stderr, "Dralvo: %s\n", message.toLocal8Bit().constData());
    else
        app::reportIoFailure(this, message);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    m_closing = true;
    FormClose();
    event->accept();
    emit closed();
}

// ---- connection sequence -------------------------------------------------------------------

void TfrmMain::SetStatusStep(TStatusStep step) {
    if (step == StatusStep)
        return;
    StatusStep = step;
    const StepRow& row = StepTable[step];
    StatusBar1Panel->setText(QString::fromLatin1(row.text));
    btnStart->setEnabled(row.startEnabled);
    btnDisconnect->setEnabled(row.disconnectEnabled);
    // Paint now: the caller goes on to open or close the port, which can take
    // a while. repaint() paints synchronously without running the event loop,
    // so no timer tick can sneak in here.
    StatusBar1->repaint();
    btnStart->repaint();
    btnDisconnect->repaint();
}

void TfrmMain::SetMachineState(TMachineState state) {
    tmrMachine->SetEnabled(false);
    MachineState = state;
    machineStep = 0;
    if (state == MachineStateOpenPort || state == MachineStateSendCommand)
        tmrMachine->SetEnabled(true); // a fresh period: the first tick comes 50 ms later
    watchPort();
}

void TfrmMain::watchPort() {
    // Kept while the port is open too: the link to a device goes with it, and
    // its target is remembered only while it is there.
    if (MachineState == MachineStateIdle) {
        m_portWatcher->watch(QString());
        return;
    }
    const std::string device =
        platform::SerialDevice::devicePath(commMain->CommPort().toLocal8Bit().toStdString());
    m_portWatcher->watch(QString::fromLocal8Bit(device.c_str()));
}

void TfrmMain::portPathChanged() {
    // Output the module prints while the port is closed is lost, so the next
    // attempt comes at once; and a few more over the next 100 ms, since a new
    // device node may still be getting its group and mode.
    m_quickRetries = QuickRetries;
    m_quickRetryTimer->start();
    quickRetry();
}

void TfrmMain::quickRetry() {
    // Only instead of waiting out a failed attempt's 500 ms; the retry timer
    // runs on as it always does.
    if (MachineState != MachineStateOpenPort || machineStep != 2 || m_inMachineTick)
        return;
    machineStep = 1;
    tmrMachineTimer();
}

void TfrmMain::tmrMachineTimer() {
    // One tick at a time, whatever the handlers below end up doing.
    if (m_inMachineTick)
        return;
    m_inMachineTick = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_inMachineTick};

    switch (MachineState) {
    case MachineStateIdle:
    case MachineStateReady:
        tmrMachine->SetEnabled(false);
        break;
    case MachineStateOpenPort:
        switch (machineStep) {
        case 0:
            openAttempts = 0;
            machineStep = 1;
            break;
        case 1: {
            watchPort(); // the port's name may have changed since
            bool opened = false;
            try {
                opened = commMain->StartComm();
            } catch (const ECommsError&) {
                // The workers could not be started: an attempt that failed like any other.
                opened = false;
            }
            ShowPortOpenOutcome(opened);
            if (opened) {
                ShowProgress(-1);
                if (connectOnly) {
                    SetStatusStep(StatusStepReady);
                    SetMachineState(MachineStateReady);
                } else {
                    SetStatusStep(StatusStepSending);
                    SetMachineState(MachineStateSendCommand);
                }
            } else {
                openFailTick = platform::GetTickCount();
                ++openAttempts;
                ShowProgress(openAttempts);
                machineStep = 2;
            }
            break;
        }
        case 2:
            if (TickElapsed(openFailTick, 500))
                machineStep = 1;
            break;
        default:
            machineStep = 0;
            break;
        }
        break;
    case MachineStateSendCommand:
        SetStatusStep(StatusStepReady);
        SetMachineState(MachineStateReady);
        break;
    }
}

void TfrmMain::ShowPortOpenOutcome(bool opened) {
    if (opened) {
        // The reason of an earlier failure no longer holds.
        if (!m_portNotice.isEmpty() && NoticeText() == m_portNotice)
            ShowNotice(QString());
        m_portNotice.clear();
        return;
    }
    const QString reason =
        PortOpenReasonText(GatherPortOpenFacts(commMain->CommPort(), commMain->LastError()));
    if (reason.isEmpty())
        return;
    m_portNotice = reason;
    ShowNotice(reason);
}

void TfrmMain::ShowProgress(int32_t count) {
    if (count < 0) {
        lblProgress->setText(QString());
        return;
    }
    lblProgress->setText(QString::fromLatin1(ProgressPatterns[count % 4]));
}

QString TfrmMain::BaudRateText(TBaudRate rate) {
    switch (rate) {
    case TBaudRate::__28800:
    case TBaudRate::_230400:
    case TBaudRate::_460800:
    case TBaudRate::_921600:
    case TBaudRate::_1000000:
        return QStringLiteral("?"); // no standard Win32 rate constant
    default:
        break;
    }
    const int ordinal = int(rate);
    if (ordinal < 0 || ordinal >= kBaudRateCount)
        return QStringLiteral("?");
    return QString::number(BaudRateValue(rate));
}

void TfrmMain::btnStartClick() {
    connectOnly = false;
    SetStatusStep(StatusStepOpening);
    SetMachineState(MachineStateOpenPort);
    btnDisconnect->setFocus();
}

void TfrmMain::btnConnectClick() {
    connectOnly = true;
    SetStatusStep(StatusStepOpening);
    SetMachineState(MachineStateOpenPort);
}

void TfrmMain::btnDisconnectClick() {
    SetMachineState(MachineStateIdle);
    SetStatusStep(StatusStepDisconnecting);
    commMain->StopComm();
    SetStatusStep(StatusStepIdle);
    btnStart->setFocus();
}

void TfrmMain::commMainStateChange(QObject*, TCommState State) {
    TCommState effective = State;
    switch (State) {
    case CommStateFailed:
        lblOutState->setText(QStringLiteral("Failed"));
        if (MachineState != MachineStateOpenPort) {
            // The port failed under us (an adapter pulled): reconnect on our own.
            SetStatusStep(StatusStepDisconnecting);
            commMain->StopComm();
            SetStatusStep(StatusStepIdle);
            connectOnly = true;
            SetStatusStep(StatusStepOpening);
            SetMachineState(MachineStateOpenPort);
        }
        break;
    case CommStateDisconnected:
        if (MachineState == MachineStateOpenPort) {
            lblOutState->setText(QStringLiteral("Failed"));
            effective = CommStateFailed;
        } else {
            lblOutState->setText(QStringLiteral("Disconnected"));
        }
        break;
    case CommStateConnected:
        lblOutState->setText(QStringLiteral("Connected"));
        break;
    case CommStateFirst:
        lblOutState->setText(QStringLiteral("First"));
        break;
    }
    if (effective != lastCommState) {
        const QString port = commMain->CommPort();
        lblOutCheck->setText(QStringLiteral(" (Port: ") + port + QStringLiteral(", Speed: ") +
                             BaudRateText(commMain->BaudRate()) + QStringLiteral(")"));
        termData->AddLine(QStringLiteral("COM port \"") + port + QStringLiteral("\": ") +
                              lblOutState->text(),
                          VOxaTerminal_ltExtraA);
    }
    lastCommState = effective;
    switch (effective) {
    case CommStateFailed:
        SetComboFontColor(cmbPort, QColor(255, 0, 0));
        break;
    case CommStateDisconnected:
        SetComboFontColor(cmbPort, QColor(0, 0, 0));
        break;
    case CommStateConnected:
        SetComboFontColor(cmbPort, QColor(0, 0, 255));
        break;
    case CommStateFirst:
        break;
    }
}

int TfrmMain::HandleControlMessage(uint32_t message) {
    if (message == uint32_t(WM_USER + 1)) {
        btnStartClick();
        return 1;
    }
    if (message == uint32_t(WM_USER)) {
        btnDisconnectClick();
        return 2;
    }
    return 0;
}

QString TfrmMain::StatusText() const {
    return StatusBar1Panel->text();
}

void TfrmMain::ShowNotice(const QString& text) {
    if (text == StatusBar1Notice->text())
        return;
    StatusBar1Notice->setText(text);
    StatusBar1Notice->setToolTip(text);
    static_cast<WrappingLabel*>(StatusBar1Notice)->fitHeight();
}

QString TfrmMain::NoticeText() const {
    return StatusBar1Notice->text();
}

int TfrmMain::StrToIntDef(const QString& text, int defaultValue) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    // toInt also takes blanks around the number; a delay typed so is no number.
    return ok && !text.front().isSpace() && !text.back().isSpace() ? value : defaultValue;
}

// ---- receive pipeline, sending, filters -------------------------------------------------------

void TfrmMain::commMainReceiveData(QObject*, const char* Buffer, uint16_t BufferLength) {
    if (frmCfgAdv && frmCfgAdv->chkAlarm->isChecked()) {
        // Data arrived: a full silence period starts again, and the sound stops.
        tmrAlarm->SetEnabled(false);
        tmrAlarm->SetEnabled(true);
        tmrAlarmRepeat->SetEnabled(false);
    }
    LineFilters filters;
    filters.filter1 = FilterFromText(cmbFilter1->currentText());
    filters.filter2 = FilterFromText(cmbFilter2->currentText());
    filters.strict = chkStrict->isChecked();
    ReceiveSink sink;
    sink.addLine = [this](QByteArrayView text, VOxaTerminal_LineType type) {
        termData->AddLine(text.toByteArray(), type);
    };
    sink.addText = [this](QByteArrayView text, VOxaTerminal_LineType type) {
        termData->AddText(text.toByteArray(), type);
    };
    ProcessReceivedChunk(QByteArrayView(Buffer, BufferLength), filters, sink);
}

void TfrmMain::termDataTermSendData(VOxaTerminal*, const uint8_t* data, int count, bool) {
    if (data == nullptr || count <= 0)
        return;
    commMain->WriteCommData(reinterpret_cast<const char*>(data), count);
    termData->AddData(data, count, VOxaTerminal_ltOutText);
}

void TfrmMain::termDataFormCreate(VOxaTerminal*, QWidget*, QPlainTextEdit* richedit) {
    if (!richedit)
        return;
    QFont font = richedit->font();
    font.setFamily(QStringLiteral("Consolas"));
    font.setStyleHint(QFont::TypeWriter); // a fixed-pitch stand-in where Consolas is missing
    richedit->setFont(font);
}

void TfrmMain::btnFreezeRunClick() {
    if (termData->IgnoreAddChars()) {
        termData->SetIgnoreAddChars(false);
        btnFreezeRun->setText(QStringLiteral("&Freeze"));
    } else {
        termData->SetIgnoreAddChars(true);
        btnFreezeRun->setText(QStringLiteral("Run &f"));
    }
}

namespace {
void filterExit(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    const QString text = combo->currentText();
    if (!AddFilterHistory(items, text))
        return;
    const QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}
} // namespace

void TfrmMain::cmbFilter1Exit() {
    filterExit(cmbFilter1);
}
void TfrmMain::cmbFilter2Exit() {
    filterExit(cmbFilter2);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        // Opening the box's own list is no exit.
        const auto* focus = static_cast<QFocusEvent*>(event);
        if (focus->reason() != Qt::PopupFocusReason) {
            if (watched == cmbFilter1)
                cmbFilter1Exit();
            else if (watched == cmbFilter2)
                cmbFilter2Exit();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- helpers ------------------------------------------------------------------------------------

bool AddFilterHistory(QStringList& items, const QString& text, int maxItems) {
    for (const QString& item : items)
        if (item.compare(text, Qt::CaseInsensitive) == 0)
            return false;
    if (TrimControls(text).isEmpty())
        return false;
    while (items.size() >= maxItems && !items.isEmpty())
        items.removeFirst();
    items.append(text);
    return true;
}
