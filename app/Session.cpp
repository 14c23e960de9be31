#include "app/Session.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QMetaMethod>
#include <QTimer>
#include <utility>

#include "app/ModuleCommands.h"
#include "app/PortOpenReason.h"
#include "comm/VOXComm32.h"
#include "platform/File.h"
#include "platform/PathWatcher.h"
#include "platform/ProcessStart.h"
#include "platform/SerialDevice.h"
#include "platform/Ticks.h"
#include "terminal/LineTypes.h"
#include "terminal/VOxaTerminal.h"
#include "util/Ticks.h"
#include "util/Timer.h"

namespace app {

namespace {

template <class T> T* named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

// Indexed by TStatusStep; the first row is never applied (StatusStepNone is
// only the initial value).
// The texts are English here and translated where they are shown.
constexpr StatusStepRow StepTable[] = {
    {"", true, true},
    {QT_TRANSLATE_NOOP("app::Session", "Idle."), true, false},
    {QT_TRANSLATE_NOOP("app::Session", "Trying to open COM port ..."), false, true},
    {QT_TRANSLATE_NOOP("app::Session", "Sending command ..."), false, true},
    {QT_TRANSLATE_NOOP("app::Session", "Ready."), false, true},
    {QT_TRANSLATE_NOOP("app::Session", "Disconnecting ..."), false, false},
};

// The state words, English in the state line (it is logged); the window
// shows them translated.
[[maybe_unused]] constexpr const char* StateWords[] = {
    QT_TRANSLATE_NOOP("app::Session", "Failed"),
    QT_TRANSLATE_NOOP("app::Session", "Disconnected"),
    QT_TRANSLATE_NOOP("app::Session", "Connected"),
    QT_TRANSLATE_NOOP("app::Session", "First"),
};

// The record stamp of a moment (milliseconds UTC; unknown: now).
QString stampText(int64_t stampMs) {
    const QDateTime at = stampMs == comm::ReadTimes::Unknown
                             ? QDateTime::currentDateTime()
                             : QDateTime::fromMSecsSinceEpoch(stampMs);
    return at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

// Whether the file opens for reading as a regular file: a FIFO, a folder or a
// device in its place would hold the player up for good.
bool isReadableFile(const QString& path) {
    platform::File probe;
    return probe.open(path, platform::GENERIC_READ,
                      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                      platform::OPEN_EXISTING) == 0;
}

// The alarm sound: beep.wav of the current directory, or else the program's
// own copy: beside it in the build tree, in share/dralvo of the installed tree.
QString alarmSoundFile() {
    const QString local = QStringLiteral("beep.wav");
    if (isReadableFile(local))
        return local;
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString beside = programDir + QStringLiteral("/beep.wav");
    const QString installed = programDir + QStringLiteral("/../share/dralvo/beep.wav");
    if (!isReadableFile(beside) && isReadableFile(installed))
        return QFileInfo(installed).canonicalFilePath();
    return beside;
}

bool isTextMode(int lineType) {
    return lineType >= 0 && lineType < VOxaTerminal_lt_NoType &&
           LineTypeInfo(lineType).mode == LineTypeMode::Text;
}

} // namespace

const StatusStepRow& StatusStepInfo(TStatusStep step) {
    return StepTable[step <= StatusStepDisconnecting ? step : 0];
}

int StrToIntDef(const QString& text, int defaultValue) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    // toInt also takes blanks around the number; a delay typed so is no number.
    return ok && !text.front().isSpace() && !text.back().isSpace() ? value : defaultValue;
}

Session::Session(QObject* owner, VOxaTerminal* terminal, const QString& logPattern)
    : QObject(owner), termData(terminal) {
    createComponents();
    termData->SetLoggerFilename(logPattern);
    termData->SetLoggerNamingStyle(volnfDaily);
    termData->Logger()->OnLogFault = [this](VOxaLogger*, bool failing, const QString& fileName,
                                            const QString& reason) {
        // The log itself says how many records it missed; the user learns
        // that it is missing them.
        QString text;
        if (failing)
            text = QCoreApplication::translate("app::Session", "Cannot write the log %1: %2")
                       .arg(fileName, reason);
        else if (!reason.isEmpty()) // the file lost its name; the log goes on
            text = QCoreApplication::translate("app::Session", "%1; logging goes on in a new %2")
                       .arg(reason.left(1).toUpper() + reason.mid(1), fileName);
        else
            text = QCoreApplication::translate("app::Session", "Logging again to %1").arg(fileName);
        ShowNotice(text);
        if (OnLogFault)
            OnLogFault(text);
    };
    termData->Logger()->OnFileOpened = [this](VOxaLogger*, const QString& fileName) {
        m_logFile = fileName;
        if (OnLogFile)
            OnLogFile(fileName);
    };
}

Session::~Session() {
    // The port closes here, while the terminal is whole, so what was read from
    // it up to now still reaches the log (Strict still counting what it keeps
    // out); nothing the component reports after that may reach the
    // half-destroyed owner.
    if (commMain) {
        commMain->StopComm();
        commMain->SetOnReceiveData(nullptr);
        commMain->SetOnStateChange(nullptr);
    }
    // A Strict that lasts to the end still leaves its mark in the log.
    if (termData && m_strictGap.frozen()) {
        m_strictGap.end(nowMs());
        if (m_strictGap.pending())
            writeStrictGap();
    }
}

void Session::createComponents() {
    commMain = named(new TVOXComm32(this), "commMain");
    tmrMachine = named(new Timer(this), "tmrMachine");
    tmrAutoStartDelayed = named(new Timer(this), "tmrAutoStartDelayed");
    tmrAutoMark = named(new Timer(this), "tmrAutoMark");
    tmrAutoCmd = named(new Timer(this), "tmrAutoCmd");
    tmrAlarm = named(new Timer(this), "tmrAlarm");
    tmrAlarmRepeat = named(new Timer(this), "tmrAlarmRepeat");

    // The stored property values, set while the components only store them.
    TComponent::BeginLoadingAll(this);
    commMain->SetCommPort(QStringLiteral("COM2"));
    commMain->SetBaudRate(TBaudRate::_115200);
    commMain->SetAutoReconnect(false);
    commMain->Options()->SetSkipEvents({voceTXEMPTY});
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

void Session::connectHandlers() {
    commMain->SetOnStateChange(
        [this](QObject* sender, TCommState state) { commMainStateChange(sender, state); });
    commMain->SetOnReceiveData([this](QObject* sender, const char* buffer, uint16_t length) {
        commMainReceiveData(sender, buffer, length);
    });
    tmrMachine->OnTimer = [this](Timer*) { tmrMachineTimer(); };
    tmrAutoStartDelayed->OnTimer = [this](Timer*) { tmrAutoStartDelayedTimer(); };
    tmrAutoMark->OnTimer = [this](Timer*) { tmrAutoMarkTimer(); };
    tmrAutoCmd->OnTimer = [this](Timer*) { tmrAutoCmdTimer(); };
    tmrAlarm->OnTimer = [this](Timer*) { tmrAlarmTimer(); };
    tmrAlarmRepeat->OnTimer = [this](Timer*) { tmrAlarmRepeatTimer(); };
}

// ---- notices ----------------------------------------------------------------------------

void Session::ShowNotice(const QString& text) {
    if (text == m_notice)
        return;
    m_notice = text;
    if (OnNotice)
        OnNotice(text);
}

// ---- connection sequence -------------------------------------------------------------------

void Session::Start() {
    connectOnly = false;
    SetStatusStep(StatusStepOpening);
    SetMachineState(MachineStateOpenPort);
}

void Session::Connect() {
    connectOnly = true;
    SetStatusStep(StatusStepOpening);
    SetMachineState(MachineStateOpenPort);
}

void Session::Disconnect() {
    SetMachineState(MachineStateIdle);
    SetStatusStep(StatusStepDisconnecting);
    commMain->StopComm();
    SetStatusStep(StatusStepIdle);
}

void Session::SetStatusStep(TStatusStep step) {
    if (step == StatusStep)
        return;
    StatusStep = step;
    if (OnStatusStep)
        OnStatusStep(step);
}

void Session::SetMachineState(TMachineState state) {
    // Whatever comes next, it is no longer the open under way that decides
    // it (Disconnect, Start again): the component drops it.
    commMain->CancelStartComm();
    tmrMachine->SetEnabled(false);
    MachineState = state;
    machineStep = 0;
    if (state == MachineStateOpenPort || state == MachineStateSendCommand)
        tmrMachine->SetEnabled(true); // a fresh period: the first tick comes 50 ms later
    watchPort();
}

void Session::watchPort() {
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

void Session::portPathChanged() {
    // Output the module prints while the port is closed is lost, so the next
    // attempt comes at once; and a few more over the next 100 ms, since a new
    // device node may still be getting its group and mode. An attempt under
    // way that fails is followed by the next at once.
    m_retryAtOnce = MachineState == MachineStateOpenPort && machineStep == 3;
    m_quickRetries = QuickRetries;
    m_quickRetryTimer->start();
    quickRetry();
}

void Session::quickRetry() {
    // Only instead of waiting out a failed attempt's 500 ms; the retry timer
    // runs on as it always does.
    if (MachineState != MachineStateOpenPort || machineStep != 2 || m_inMachineTick)
        return;
    machineStep = 1;
    tmrMachineTimer();
}

void Session::tmrMachineTimer() {
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
            if (OnBeforeOpen)
                OnBeforeOpen();
            watchPort(); // the port's name may have changed since
            // The device is opened off the window's thread (a USB adapter
            // pulled meanwhile holds its open for the driver's time-out); the
            // sequence goes on once the outcome is back (portOpened).
            machineStep = 3;
            m_retryAtOnce = false;
            const uint64_t attempt = ++m_openAttempt;
            commMain->StartCommAsync([this, attempt](bool opened) { portOpened(attempt, opened); });
            break;
        }
        case 2:
            if (TickElapsed(openFailTick, 500))
                machineStep = 1;
            break;
        case 3:
            // The open was dropped before it came back (the port or its
            // settings changed meanwhile): the next attempt takes the new ones.
            if (!commMain->OpenPending())
                machineStep = 1;
            break;
        default:
            machineStep = 0;
            break;
        }
        break;
    case MachineStateSendCommand:
        // Without a start command the step lasts one tick; with one, until
        // the module answers or the time-out passes.
        if (machineStep != 1) {
            SetStatusStep(StatusStepReady);
            SetMachineState(MachineStateReady);
        } else if (TickElapsed(m_startSentTick, StartCommandTimeoutMs)) {
            finishStartCommand(CommandAnswer::None);
        }
        break;
    }
}

void Session::portOpened(uint64_t attempt, bool opened) {
    if (attempt != m_openAttempt || MachineState != MachineStateOpenPort || machineStep != 3)
        return;
    // The rest of the open step, one tick at a time as the step itself.
    const bool inTick = std::exchange(m_inMachineTick, true);
    showPortOpenOutcome(opened);
    if (opened) {
        ShowProgress(-1);
        if (connectOnly) {
            SetStatusStep(StatusStepReady);
            SetMachineState(MachineStateReady);
        } else {
            SetStatusStep(StatusStepSending);
            SetMachineState(MachineStateSendCommand);
            sendStartCommand();
        }
    } else {
        openFailTick = platform::GetTickCount();
        ++openAttempts;
        ShowProgress(openAttempts);
        machineStep = 2;
    }
    m_inMachineTick = inTick;
    if (!opened && std::exchange(m_retryAtOnce, false))
        quickRetry(); // the device came back while the attempt was under way
}

void Session::sendStartCommand() {
    const QByteArray appName = ReadStartCommand ? ReadStartCommand() : m_startCommand;
    if (appName.isEmpty())
        return;
    m_startSent = startCommand(appName);
    m_startSentTick = platform::GetTickCount();
    machineStep = 1;
    SendData(m_startSent.constData(), int(m_startSent.size()));
}

void Session::finishStartCommand(CommandAnswer answer) {
    SetStatusStep(StatusStepReady);
    SetMachineState(MachineStateReady);
    const QString command = QString::fromLatin1(m_startSent.chopped(1));
    switch (answer) {
    case CommandAnswer::Ok:
        ShowNotice(QCoreApplication::translate("app::Session", "%1 answered OK").arg(command));
        break;
    case CommandAnswer::Error:
        ShowNotice(QCoreApplication::translate("app::Session", "%1 answered ERROR").arg(command));
        break;
    case CommandAnswer::None:
        ShowNotice(QCoreApplication::translate("app::Session", "No answer to %1 within %2 s")
                       .arg(command, QString::number(StartCommandTimeoutMs / 1000.0)));
        break;
    }
}

void Session::showPortOpenOutcome(bool opened) {
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

void Session::ShowProgress(int32_t count) {
    if (OnProgress)
        OnProgress(count);
}

QString Session::BaudRateText(TBaudRate rate) {
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

void Session::setStateWord(const QString& word) {
    m_stateWord = word;
    if (OnStateWord)
        OnStateWord(word);
}

void Session::commMainStateChange(QObject*, TCommState State) {
    TCommState effective = State;
    switch (State) {
    case CommStateFailed:
        setStateWord(QStringLiteral("Failed"));
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
            setStateWord(QStringLiteral("Failed"));
            effective = CommStateFailed;
        } else {
            setStateWord(QStringLiteral("Disconnected"));
        }
        break;
    case CommStateConnected:
        setStateWord(QStringLiteral("Connected"));
        break;
    case CommStateFirst:
        setStateWord(QStringLiteral("First"));
        break;
    }
    if (effective != lastCommState) {
        const QString port = commMain->CommPort();
        const QString summary =
            QCoreApplication::translate("app::Session", " (Port: %1, Speed: %2)")
                .arg(port, BaudRateText(commMain->BaudRate()));
        const QString line =
            QStringLiteral("COM port \"") + port + QStringLiteral("\": ") + m_stateWord;
        addToTerminal(line.toLatin1(), VOxaTerminal_ltExtraA, true);
        if (OnStateLine)
            OnStateLine(summary, line);
    }
    lastCommState = effective;
    if (OnEffectiveState)
        OnEffectiveState(effective);
}

// ---- receive pipeline and sending -----------------------------------------------------------

void Session::commMainReceiveData(QObject*, const char* Buffer, uint16_t BufferLength) {
    if (automation().alarm) {
        // Data arrived: a full silence period starts again, and the sound stops.
        tmrAlarm->SetEnabled(false);
        tmrAlarm->SetEnabled(true);
        tmrAlarmRepeat->SetEnabled(false);
    }
    const QByteArrayView chunk(Buffer, BufferLength);
    const LineEnd lineEnd = automation().lineEnd;
    if (m_splitter.lineEnd() != lineEnd) {
        m_splitter.setLineEnd(lineEnd);
        m_joiner.setLineEnd(lineEnd);
    }
    const bool whole = wantsLines();
    // Each line is stamped with the moment its first byte was read from the
    // port (unknown: the terminal's clock now).
    static_assert(comm::ReadTimes::Unknown == VOxaTerminal::StampNow);
    ReceiveSink sink;
    sink.addLine = [this](QByteArrayView text, VOxaTerminal_LineType type, int64_t stamp) {
        addToTerminal(text, type, true, stamp);
    };
    sink.addText = [this](QByteArrayView text, VOxaTerminal_LineType type, int64_t stamp) {
        addToTerminal(text, type, false, stamp);
    };
    sink.dropLine = [this](QByteArrayView line) {
        m_strictGap.drop(VOxaTerminal_ltInText, int(line.size()));
        m_strictGap.lineEnded();
    };
    if (ReadFilters) {
        m_filters = ReadFilters();
        noteStrict(m_filters.strict);
    }
    ProcessReceivedChunk(chunk, m_filters, sink, commMain->ReceivedTimes(), m_splitter);
    // Shown first, then acted on: what a line starts comes after it.
    if (whole)
        receivedBytes(chunk);
    else
        m_receivedPartial.clear(); // nobody waits for the line it began
}

void Session::SetFilters(const LineFilters& filters) {
    m_filters = filters;
    noteStrict(filters.strict);
}

void Session::SetStrict(bool on) {
    m_filters.strict = on;
    noteStrict(on);
}

void Session::noteStrict(bool on) {
    if (on == m_strictGap.frozen())
        return;
    if (on) {
        m_strictGap.begin(nowMs());
        return;
    }
    m_strictGap.end(nowMs());
    if (m_strictGap.pending())
        writeStrictGap();
}

void Session::writeStrictGap() {
    addToTerminal(m_strictGap.takeRecord(terminal::StrictGapText).toLatin1(), VOxaTerminal_ltExtraR,
                  true);
}

int64_t Session::nowMs() const {
    return Clock ? Clock() : QDateTime::currentMSecsSinceEpoch();
}

bool Session::wantsLines() const {
    return isSignalConnected(QMetaMethod::fromSignal(&Session::lineReceived)) ||
           (MachineState == MachineStateSendCommand && machineStep == 1);
}

void Session::lineComplete(const QByteArray& line) {
    if (MachineState == MachineStateSendCommand && machineStep == 1) {
        const CommandAnswer answer = commandAnswerOf(line);
        if (answer != CommandAnswer::None)
            finishStartCommand(answer);
    }
    emit lineReceived(line);
}

void Session::receivedBytes(QByteArrayView chunk) {
    // The lines whole: the first joined to what the chunks before began.
    QByteArray rest;
    bool first = true;
    m_joiner.split(
        chunk,
        [&](QByteArrayView line, qsizetype) {
            if (first) {
                first = false;
                m_receivedPartial.append(line);
                const QByteArray whole = std::exchange(m_receivedPartial, QByteArray());
                lineComplete(whole);
            } else {
                lineComplete(line.toByteArray());
            }
        },
        rest);
    m_receivedPartial.append(rest);
}

void Session::SendData(const char* data, int count) {
    if (data == nullptr || count <= 0)
        return;
    commMain->WriteCommData(data, count);
    addToTerminal(QByteArrayView(data, count), VOxaTerminal_ltOutText, false);
}

void Session::EchoSent(const char* data, int count) {
    if (data != nullptr && count > 0)
        addToTerminal(QByteArrayView(data, count), VOxaTerminal_ltOutText, false);
}

void Session::SendAutostartCommand(const QByteArray& appName) {
    // The start command goes out byte for byte as typed.
    const QByteArray command = autostartCommand(appName);
    commMain->WriteCommString(command);
    addToTerminal(command, VOxaTerminal_ltOutText, false);
}

void Session::SetShowUtf8(bool on) {
    termData->SetShowUtf8(on);
}

bool Session::ShowUtf8() const {
    return termData->ShowUtf8();
}

void Session::StatusLine(const QByteArray& text) {
    addToTerminal(text, VOxaTerminal_ltExtraA, true);
}

void Session::Mark(const QByteArray& text) {
    QByteArray line = QByteArrayLiteral("-- MARK --");
    if (!text.isEmpty())
        line += ' ' + text;
    addToTerminal(line, VOxaTerminal_ltExtraA, true);
}

void Session::addToTerminal(QByteArrayView text, int lineType, bool ended, int64_t stampMs) {
    const QByteArray bytes = text.toByteArray();
    // Shown in hexadecimal, logged as received text.
    const int shownAs =
        m_showHex && lineType == VOxaTerminal_ltInText ? int(VOxaTerminal_ltInBin) : lineType;
    termData->AddDataEx(bytes.constData(), int(bytes.size()), shownAs, lineType, false, stampMs);
    if (ended)
        termData->EndLine();
    // What a frozen terminal drops is not logged either.
    if (!termData->IgnoreAddChars() &&
        isSignalConnected(QMetaMethod::fromSignal(&Session::recorded)))
        tapPiece(text, lineType, ended, stampMs);
}

void Session::tapPiece(QByteArrayView text, int lineType, bool ended, int64_t stampMs) {
    // The log's rules: pieces of one type join a record until the line is
    // ended; a text piece ending in a line break ends it (the break is not
    // logged); another type starts a record of its own.
    bool endsLine = ended;
    if (isTextMode(lineType))
        while (!text.isEmpty() && (text.back() == '\r' || text.back() == '\n')) {
            text.chop(1);
            endsLine = true;
        }
    if (m_tapType != lineType)
        tapEnd();
    if (m_tapType < 0) {
        m_tapType = lineType;
        m_tapRecord = stampText(stampMs).toLatin1() + ": " + LineTypeInfo(lineType).logPrefix;
    }
    m_tapRecord.append(text);
    if (endsLine)
        tapEnd();
}

void Session::tapEnd() {
    if (m_tapType < 0)
        return;
    m_tapType = -1;
    const QByteArray record = std::exchange(m_tapRecord, QByteArray());
    emit recorded(record);
}

// ---- timed automation
// ----------------------------------------------------------------------------

const AutomationSettings& Session::automation() {
    if (ReadAutomation)
        m_automation = ReadAutomation();
    return m_automation;
}

void Session::ApplyAdvancedSettings(const AutomationSettings& settings) {
    m_automation = settings;
    // Unchanged values keep the running period (Timer's rules).
    tmrAutoMark->SetInterval(settings.markDelay);
    tmrAutoMark->SetEnabled(settings.autoMark);
    tmrAutoCmd->SetInterval(settings.autoCmdDelay);
    tmrAutoCmd->SetEnabled(settings.autoCmd);
    tmrAlarm->SetInterval(settings.alarmDelay);
    tmrAlarm->SetEnabled(settings.alarm);
    tmrAlarmRepeat->SetEnabled(false);
}

void Session::ArmAutoConnect(const AutomationSettings& settings) {
    tmrAutoStartDelayed->SetInterval(settings.autoStartDelay);
    tmrAutoStartDelayed->SetEnabled(settings.autoStart);
}

void Session::tmrAutoStartDelayedTimer() {
    // Fires once per run.
    tmrAutoStartDelayed->SetEnabled(false);
    Connect();
}

void Session::tmrAutoMarkTimer() {
    Mark();
}

void Session::tmrAutoCmdTimer() {
    QByteArray command = automation().autoCmdText;
    command.append('\r');
    SendData(command.constData(), int(command.size()));
}

void Session::tmrAlarmTimer() {
    addToTerminal(QByteArrayLiteral("-- WARNING: NO DATA -- (sound)"), VOxaTerminal_ltExtraA, true);
    // One warning per silence; the sound repeats until data arrive.
    tmrAlarm->SetEnabled(false);
    tmrAlarmRepeat->SetEnabled(false);
    tmrAlarmRepeat->SetEnabled(true);
    tmrAlarmRepeatTimer();
}

void Session::tmrAlarmRepeatTimer() {
    // Started and forgotten: whether the player runs, or finds a sound
    // device, is not the console's business.
    platform::startDetached(QStringLiteral("aplay"), {QStringLiteral("-q"), alarmSoundFile()});
}

} // namespace app
