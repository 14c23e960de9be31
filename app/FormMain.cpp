#include "app/FormMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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
#include "app/ControlVerbs.h"
#include "app/FormCfgAdv.h"
#include "app/LogLocation.h"
#include "app/ModuleCommands.h"
#include "app/ReceivePipeline.h"
#include "appinfo/VOxaAppInfo.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Trace.h"
#include "history/HistoryWindow.h"
#include "platform/ControlChannel.h"
#include "terminal/VOxaTerminal.h"
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
    // The port closes with the session's serial component; nothing it reports
    // on the way out may reach this half-destroyed window.
    delete session;
    session = nullptr;
    if (termData) {
        termData->OnTermSendData = nullptr;
        termData->OnFormCreate = nullptr;
        termData->OnHistoryRequest = nullptr;
    }
}

void TfrmMain::createControls() {
    auto* central = named(new QWidget(this), "pnlMain");
    setCentralWidget(central);
    auto* main = new QVBoxLayout(central);
    main->setContentsMargins(8, 6, 8, 4);

    // " COM port parameters "
    grpComPort = named(new QGroupBox(tr(" COM port parameters ")), "grpComPort");
    lblParameters = label(tr("Parameters:"), "lblParameters");
    lblOutCheck = label(QStringLiteral("?"), "lblOutCheck");
    lblOutCheck->setWordWrap(true);
    lblOutCheck->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblOutCheck->setMinimumHeight(2 * lblOutCheck->fontMetrics().height());
    lblState = label(tr("State:"), "lblState");
    lblOutState = label(QStringLiteral("?"), "lblOutState");
    QFont bold = lblOutState->font();
    bold.setBold(true);
    lblOutState->setFont(bold);
    lblProgress = label(QString(), "lblProgress");
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    lblProgress->setFont(fixed);
    lblProgress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    btnConfig = button(tr("&Config"), "btnConfig");
    auto* port = named(new DropDownComboBox, "cmbPort");
    port->OnDropDown = [this] { cmbPortDropDown(); };
    cmbPort = port;
    cmbPort->setEditable(true);
    cmbPort->setInsertPolicy(QComboBox::NoInsert);
    cmbPort->setEditText(QStringLiteral("-"));
    btnAdvancedCfg = button(tr("&Advanced ..."), "btnAdvancedCfg");

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
    btnStart = button(tr("Connect && &Start"), "btnStart");
    btnConnect = button(tr("C&onnect"), "btnConnect");
    btnDisconnect = button(tr("&Disconnect"), "btnDisconnect");
    for (QPushButton* b : {btnStart, btnConnect}) {
        b->setDefault(true);
        b->setAutoDefault(true);
    }
    lblStartCmd = label(tr("Start command: (without CR at the end)"), "lblStartCmd");
    lblAtSjra = label(QStringLiteral("at^sjra="), "lblAtSjra");
    edtStartCmd = named(new QLineEdit(QStringLiteral("a:/appmain2.jad")), "edtStartCmd");
    btAutostartOn = button(tr("Set autostart on"), "btAutostartOn");

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
    grpFilters = named(new QGroupBox(tr(" Filters ")), "grpFilters");
    lblFilter1 = label(tr("String 1:"), "lblFilter1");
    lblFilter2 = label(tr("String 2:"), "lblFilter2");
    cmbFilter1 = named(new QComboBox, "cmbFilter1");
    cmbFilter2 = named(new QComboBox, "cmbFilter2");
    for (QComboBox* c : {cmbFilter1, cmbFilter2}) {
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setMaxVisibleItems(10);
        c->setEditText(QString());
        c->installEventFilter(this);
    }
    btnFreezeRun = button(tr("Freeze"), "btnFreezeRun");
    chkStrict = named(new QCheckBox(tr("Strict")), "chkStrict");
    chkShowHex = named(new QCheckBox(tr("Hex")), "chkShowHex");
    chkShowHex->setToolTip(tr("Shows received text in hexadecimal (the log keeps it as text)"));
    chkShowUtf8 = named(new QCheckBox(tr("UTF-8")), "chkShowUtf8");
    chkShowUtf8->setToolTip(tr("Shows UTF-8 characters in received lines as text instead of "
                               "<#C3><#A1> (the log keeps the escapes)"));
    // How a filter matches is not obvious from its box: the hints say it.
    const QString filterRule =
        tr("A received line that begins with this text is shown %1 (letters a to z match "
           "in either case; blanks around the text do not count). Begin the text with % to "
           "find it anywhere in the line: %err marks every line that contains err. An empty "
           "box is off.");
    cmbFilter1->setToolTip(filterRule.arg(tr("in green")));
    cmbFilter2->setToolTip(filterRule.arg(tr("in light blue")) + u' ' +
                           tr("A line that String 1 marks is not tried here."));
    chkStrict->setToolTip(tr("Shows and logs only the lines a filter marks; the others are "
                             "kept out. Switched off, one red line says how many were kept out. "
                             "Text not yet ended by a line end still shows."));
    btnFreezeRun->setToolTip(tr("Stops showing and logging what arrives, until Run; then one "
                                "red line says what was dropped. Sending goes on."));
    edtStartCmd->setToolTip(tr("The application on the module: \"Connect & Start\" sends "
                               "at^sjra= with this text, \"Set autostart on\" makes the module "
                               "start it by itself"));
    auto* filterGrid = new QGridLayout(grpFilters);
    filterGrid->addWidget(lblFilter1, 0, 0);
    filterGrid->addWidget(cmbFilter1, 0, 1);
    filterGrid->addWidget(btnFreezeRun, 0, 2);
    filterGrid->addWidget(lblFilter2, 1, 0);
    filterGrid->addWidget(cmbFilter2, 1, 1);
    filterGrid->addWidget(chkStrict, 1, 2);
    auto* display = new QHBoxLayout;
    display->addWidget(chkShowHex);
    display->addWidget(chkShowUtf8);
    display->addStretch(1);
    filterGrid->addLayout(display, 2, 1, 1, 2);
    filterGrid->setColumnStretch(1, 1);
    main->addWidget(grpFilters);

    // " Send file "
    grpSendFile = named(new QGroupBox(tr(" Send file ")), "grpSendFile");
    lblSFFilename = label(tr("Filename:"), "lblSFFilename");
    edtSFFilename = named(new QLineEdit(QStringLiteral("-")), "edtSFFilename");
    btnSFBrowse = button(tr("&Browse"), "btnSFBrowse");
    btnSFSend = button(tr("S&end"), "btnSFSend");
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
    termData = named(new VOxaTerminal(this), "termData");
    VOxaAppInfo1 = named(new VOxaAppInfo(this), "VOxaAppInfo1");

    // The stored property values, set while the components only store them.
    TComponent::BeginLoadingAll(this);
    termData->SetCaption(tr("Terminal"));
    termData->SetMaxLines(500000);
    termData->SetShowOptions({votsoShowTimes});
    termData->SetShowHexEdit(true);
    termData->SetModeIndex(-1);
    termData->SetLogFileMaxLen(-1);
    termData->SetLoggerOpenFlags(0x80000000u);
    termData->SetOxaAppInfo(VOxaAppInfo1);
    termData->SetVisible(true);
    VOxaAppInfo1->SetAppName(QStringLiteral(DRALVO_APP_KEY));
    VOxaAppInfo1->SetRegistryPath(QStringLiteral("Software\\Oxatek\\"));
    TComponent::LoadedAll(this);

    // The connection, the receive pipeline, the automation and the logging
    // (with its serial component and timers); "logs\Dralvo_*.log" when started
    // from a shell, the user's state folder when started from the desktop menu
    // or when logs/ cannot take the log (see app/LogLocation.h).
    const QString home = QDir::homePath();
    const QString here = QDir::currentPath();
    const LogPlace place = ChooseLogPlace(here, home, StateHome(home));
    session = new app::Session(this, termData, place.pattern);
    session->setObjectName(QStringLiteral("session"));
    commMain = session->commMain;
    tmrMachine = session->tmrMachine;
    tmrAutoStartDelayed = session->tmrAutoStartDelayed;
    tmrAutoMark = session->tmrAutoMark;
    tmrAutoCmd = session->tmrAutoCmd;
    tmrAlarm = session->tmrAlarm;
    tmrAlarmRepeat = session->tmrAlarmRepeat;
    connectHandlers();
    createDesk();
    if (place.reason == LogPlace::NotAFolder || place.reason == LogPlace::NotWritable) {
        const QString folder = DisplayedLogPath(place.folder, here, home);
        const QString instead =
            DisplayedLogPath(QFileInfo(place.pattern).absolutePath(), here, home);
        ShowNotice(place.reason == LogPlace::NotAFolder
                       ? tr("%1 is not a folder: the log goes to %2").arg(folder, instead)
                       : tr("%1 cannot be written: the log goes to %2").arg(folder, instead));
    }
}

void TfrmMain::connectHandlers() {
    session->ReadFilters = [this] { return FiltersFromControls(); };
    session->ReadAutomation = [this] { return AutomationFromDialog(); };
    session->ReadStartCommand = [this] { return edtStartCmd->text().toLatin1(); };
    session->OnStatusStep = [this](TStatusStep step) { showStatusStep(step); };
    session->OnStateWord = [this](const QString& word) {
        lblOutState->setText(
            QCoreApplication::translate("app::Session", word.toUtf8().constData()));
    };
    session->OnStateLine = [this](const QString& summary, const QString&) {
        lblOutCheck->setText(summary);
    };
    session->OnEffectiveState = [this](TCommState effective) { showEffectiveState(effective); };
    session->OnProgress = [this](int32_t count) {
        lblProgress->setText(count < 0 ? QString()
                                       : QString::fromLatin1(ProgressPatterns[count % 4]));
    };
    session->OnNotice = [this](const QString& text) {
        StatusBar1Notice->setText(text);
        StatusBar1Notice->setToolTip(text);
        static_cast<WrappingLabel*>(StatusBar1Notice)->fitHeight();
    };
    session->OnLogFile = [this](const QString& fileName) { ShowLogFile(fileName); };
    termData->OnTermSendData = [this](VOxaTerminal* sender, const uint8_t* data, int count,
                                      bool includesCR) {
        termDataTermSendData(sender, data, count, includesCR);
    };
    termData->OnFormCreate = [this](VOxaTerminal* sender, QWidget* form, QPlainTextEdit* richedit) {
        termDataFormCreate(sender, form, richedit);
    };
    // The whole day's log, with the two filter strings at hand.
    termData->OnHistoryRequest = [this](VOxaTerminal* sender) {
        history::ShowLogHistory(this, sender->Logger(), [this] {
            return std::pair{cmbFilter1->currentText(), cmbFilter2->currentText()};
        });
    };

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
    connect(chkStrict, &QCheckBox::toggled, session, &app::Session::SetStrict);
    connect(chkShowHex, &QCheckBox::toggled, session, &app::Session::SetShowHex);
    connect(chkShowUtf8, &QCheckBox::toggled, session, &app::Session::SetShowUtf8);
}

bool TfrmMain::ListenForControlMessages(const QString& dir) {
    if (!m_controlChannel) {
        m_controlChannel = new platform::ControlChannel(this);
        m_controlChannel->OnMessage = [this](uint32_t message) {
            return HandleControlMessage(message);
        };
        m_controlChannel->OnTrace = [](const QString& text) { comm::TraceLine("error", text); };
    }
    if (!m_controlVerbs) {
        m_controlVerbs = new app::ControlVerbs(session, m_controlChannel, this);
        m_controlVerbs->SetInstanceName(m_options.name);
    }
    if (m_controlChannel->listen(dir, app::ControlSocketBaseName(m_options))) {
        // Scripts look for the first name; say where this instance is instead.
        if (!m_controlChannel->fallbackReason().isEmpty()) {
            const QString pid = QString::number(QCoreApplication::applicationPid());
            const QString name = m_options.name.isEmpty() ? pid : m_options.name + '-' + pid;
            ShowNotice(tr("Control socket: %1, since %2 at %3; dralvo-msg --name %4 reaches it")
                           .arg(m_controlChannel->path(), m_controlChannel->fallbackReason(),
                                m_controlChannel->firstPath(), name));
        }
        return true;
    }
    ShowNotice(tr("Other programs cannot press Start and Disconnect: %1")
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
    session->StatusStep = StatusStepNone;
    session->lastCommState = CommStateFirst;
    VOxaAppInfo1->RestoreFormPlacement();
}

void TfrmMain::ShowLogFile(const QString& fileName) {
    StatusBar1Log->setText(tr("Log: ") +
                           DisplayedLogPath(fileName, QDir::currentPath(), QDir::homePath()));
    StatusBar1Log->setToolTip(fileName);
    static_cast<WrappingLabel*>(StatusBar1Log)->fitHeight();
}

QString TfrmMain::LogFileText() const {
    return StatusBar1Log->text();
}

void TfrmMain::SetStartOptions(const StartOptions& options) {
    m_options = options;
    if (!options.logDir.isEmpty())
        termData->SetLoggerFilename(
            app::LogPatternFor(options, QDir::currentPath(), QDir::homePath()));
    if (!options.name.isEmpty()) {
        setWindowTitle(windowTitle() + QStringLiteral(" [") + options.name + QLatin1Char(']'));
        termData->SetCaption(termData->Caption() + QStringLiteral(" [") + options.name +
                             QLatin1Char(']'));
    }
}

void TfrmMain::FormShow() {
    const QString settingsNotice = VOxaAppInfo1->CheckSettingsFiles();
    LoadSettings();
    LoadDeskSettings();
    if (!settingsNotice.isEmpty())
        ShowNotice(settingsNotice);
    app::ApplyPortOptions(m_options, commMain);
    commMain->FillPortList(cmbPort);
    commMain->SelectPortInList(cmbPort);
    if (frmCfgAdv)
        session->ArmAutoConnect(AutomationFromDialog());
    ApplyAdvancedSettings();
    // A port on the command line is connected at once: after the component's
    // first state report, which is already posted, as a click would be.
    if (m_options.start || !m_options.port.isEmpty())
        QMetaObject::invokeMethod(
            this, [this] { m_options.start ? btnStartClick() : btnConnectClick(); },
            Qt::QueuedConnection);
}

void TfrmMain::FormClose() {
    VOxaAppInfo1->SaveFormPlacement();
    SaveSettings();
    SaveDeskSettings();
    const QString failure = VOxaAppInfo1->TakeWriteError();
    if (failure.isEmpty())
        return;
    const QString message = tr("The settings could not be saved. %1").arg(failure);
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

// ---- connection sequence (the session's; shown here) -------------------------------------------

void TfrmMain::showStatusStep(TStatusStep step) {
    const app::StatusStepRow& row = app::StatusStepInfo(step);
    StatusBar1Panel->setText(QCoreApplication::translate("app::Session", row.text));
    btnStart->setEnabled(row.startEnabled);
    btnDisconnect->setEnabled(row.disconnectEnabled);
    // Paint now: the caller goes on to open or close the port, which can take
    // a while. repaint() paints synchronously without running the event loop,
    // so no timer tick can sneak in here.
    StatusBar1->repaint();
    btnStart->repaint();
    btnDisconnect->repaint();
}

void TfrmMain::showEffectiveState(TCommState effective) {
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

void TfrmMain::tmrMachineTimer() {
    session->tmrMachineTimer();
}

void TfrmMain::btnStartClick() {
    session->Start();
    btnDisconnect->setFocus();
}

void TfrmMain::btnConnectClick() {
    session->Connect();
}

void TfrmMain::btnDisconnectClick() {
    session->Disconnect();
    btnStart->setFocus();
}

void TfrmMain::commMainStateChange(QObject* Sender, TCommState State) {
    session->commMainStateChange(Sender, State);
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
    session->ShowNotice(text);
}

QString TfrmMain::NoticeText() const {
    return session->NoticeText();
}

// ---- receive pipeline, sending, filters -------------------------------------------------------

void TfrmMain::commMainReceiveData(QObject* Sender, const char* Buffer, uint16_t BufferLength) {
    session->commMainReceiveData(Sender, Buffer, BufferLength);
}

LineFilters TfrmMain::FiltersFromControls() const {
    LineFilters filters;
    filters.filter1 = FilterFromText(cmbFilter1->currentText());
    filters.filter2 = FilterFromText(cmbFilter2->currentText());
    filters.strict = chkStrict->isChecked();
    return filters;
}

void TfrmMain::termDataTermSendData(VOxaTerminal*, const uint8_t* data, int count, bool) {
    session->SendData(reinterpret_cast<const char*>(data), count);
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
        btnFreezeRun->setText(tr("&Freeze"));
    } else {
        termData->SetIgnoreAddChars(true);
        btnFreezeRun->setText(tr("&Run"));
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
