#pragma once
// The console's work without a window: the connection sequence with its
// retries and reconnection, the receive pipeline with the two filters and
// Strict, the timed automation, the commands sent to the module, and the
// terminal component that time-stamps, shows and logs every line. The main
// window adapts it (its controls show what the session reports and pass on
// what the user does); the headless run writes its reports to standard error.
// Everything runs on the user-interface thread.
#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

#include "app/ReceivePipeline.h"
#include "comm/VOXComm32Types.h"
#include "terminal/FreezeGap.h"

class TVOXComm32;
class Timer;
class QTimer;
class VOxaLogger;
class VOxaTerminal;
namespace platform {
class PathWatcher;
}

// State of the connection sequence. tmrMachine runs only in OpenPort and SendCommand.
enum TMachineState : uint8_t {
    MachineStateIdle = 0,        // nothing to do
    MachineStateOpenPort = 1,    // opening the port, with retries
    MachineStateSendCommand = 2, // start step
    MachineStateReady = 3,       // port open
};

// What the status bar and the Start/Disconnect buttons show.
enum TStatusStep : uint8_t {
    StatusStepNone = 0, // nothing shown yet
    StatusStepIdle = 1,
    StatusStepOpening = 2,
    StatusStepSending = 3,
    StatusStepReady = 4,
    StatusStepDisconnecting = 5,
};

namespace app {

enum class CommandAnswer; // app/ModuleCommands.h

// The status bar's text for a step and whether Start and Disconnect are enabled.
struct StatusStepRow {
    const char* text;
    bool startEnabled;
    bool disconnectEnabled;
};
const StatusStepRow& StatusStepInfo(TStatusStep step);

// The values of the advanced dialog the automation runs with.
struct AutomationSettings {
    bool autoStart = false;
    uint32_t autoStartDelay = 500;
    bool autoMark = false;
    uint32_t markDelay = 30000;
    bool autoCmd = false;
    uint32_t autoCmdDelay = 30000;
    QByteArray autoCmdText = QByteArrayLiteral("at");
    bool alarm = false;
    uint32_t alarmDelay = 30000;
    // What ends a received line.
    LineEnd lineEnd = LineEnd::CR;
};

// A text as an integer: an optionally signed decimal number within the 32-bit
// range, otherwise defaultValue.
int StrToIntDef(const QString& text, int defaultValue);

class Session : public QObject {
    Q_OBJECT
public:
    // terminal shows and logs the traffic: the window's own (with its
    // terminal window) or one without a window, owned by the session.
    // The components are created and loaded here; the logger is pointed at
    // logPattern (see app/LogLocation.h) with daily files.
    Session(QObject* owner, VOxaTerminal* terminal, const QString& logPattern);
    ~Session() override;

    // ---- components ----
    TVOXComm32* commMain = nullptr;
    VOxaTerminal* termData = nullptr;
    Timer* tmrMachine = nullptr;
    Timer* tmrAutoStartDelayed = nullptr;
    Timer* tmrAutoMark = nullptr;
    Timer* tmrAutoCmd = nullptr;
    Timer* tmrAlarm = nullptr;
    Timer* tmrAlarmRepeat = nullptr;

    // ---- fields of the connection sequence ----
    TMachineState MachineState = MachineStateIdle;
    int32_t machineStep = 0;
    int32_t openAttempts = 0;
    uint32_t openFailTick = 0;
    bool connectOnly = false;
    TStatusStep StatusStep = StatusStepNone;
    TCommState lastCommState = CommStateFirst;

    // ---- what the user (or another program) does ----
    void Start();      // "Connect & Start"
    void Connect();    // "Connect", and the auto-connect timer
    void Disconnect(); // "Disconnect"
    // Bytes to the module, echoed into the terminal and the log as sent data
    // (the send line, the hex line, the periodic command).
    void SendData(const char* data, int count);
    // Shows and logs bytes already handed to the port as sent data.
    void EchoSent(const char* data, int count);
    // Received text shown in hexadecimal (the terminal's hex rows); the log
    // keeps its records as they are. Lines a filter marks stay text.
    void SetShowHex(bool on) { m_showHex = on; }
    bool ShowHex() const { return m_showHex; }
    // UTF-8 in received lines shown as text (the log keeps its escapes).
    void SetShowUtf8(bool on);
    bool ShowUtf8() const;
    // One line of the program's own, shown and logged like the state line.
    void StatusLine(const QByteArray& text);
    // One "-- MARK --" line; text, when given, follows the mark.
    void Mark(const QByteArray& text = QByteArray());
    // The autostart command for the application named appName.
    void SendAutostartCommand(const QByteArray& appName);
    // The filters each received line is tried against from now on.
    void SetFilters(const LineFilters& filters);
    const LineFilters& Filters() const { return m_filters; }
    // Strict on or off from now on. Switched off (or at the end of the
    // session), one record says from when to when and how many lines it kept
    // out, when it kept out any.
    void SetStrict(bool on);
    // The application "Connect & Start" starts: after the port opens,
    // "at^sjra=" and this text and CR go out when the text is not empty, and
    // the sequence waits for the module's OK or ERROR, at most
    // StartCommandTimeoutMs.
    void SetStartCommand(const QByteArray& appName) { m_startCommand = appName; }
    uint32_t StartCommandTimeoutMs = 10000;
    // The automation timers take these values (ApplyAdvancedSettings).
    void ApplyAdvancedSettings(const AutomationSettings& settings);
    const AutomationSettings& Automation() const { return m_automation; }
    // Arms the auto-connect timer as the first showing of the window does.
    void ArmAutoConnect(const AutomationSettings& settings);
    // Tells the user something the program cannot do or had to change; the
    // same text again changes nothing. Empty takes the notice away.
    void ShowNotice(const QString& text);
    QString NoticeText() const { return m_notice; }

    // ---- handlers (public so tests can drive them) ----
    void tmrMachineTimer();
    void commMainStateChange(QObject* Sender, TCommState State);
    void commMainReceiveData(QObject* Sender, const char* Buffer, uint16_t BufferLength);
    void tmrAutoStartDelayedTimer();
    void tmrAutoMarkTimer();
    void tmrAutoCmdTimer();
    void tmrAlarmTimer();
    void tmrAlarmRepeatTimer();

    // ---- internal operations ----
    void SetStatusStep(TStatusStep step);
    void SetMachineState(TMachineState state);
    void ShowProgress(int32_t count);
    static QString BaudRateText(TBaudRate rate);
    // The state word last shown ("Failed", "Disconnected", ...).
    QString StateWord() const { return m_stateWord; }
    // The log file being written; empty before the first is opened.
    QString LogFileName() const { return m_logFile; }

    // ---- what the session asks its adapter (optional) ----
    // The filters and the automation values as they stand now: the window
    // reads them from its controls whenever they are needed. Without a
    // reader, those given to SetFilters and ApplyAdvancedSettings hold.
    std::function<LineFilters()> ReadFilters;
    std::function<AutomationSettings()> ReadAutomation;
    std::function<QByteArray()> ReadStartCommand;

    // The local clock for the records' times, milliseconds since the epoch
    // (UTC); the system clock when not set.
    std::function<int64_t()> Clock;

    // ---- what the session reports (set by the adapter) ----
    std::function<void(TStatusStep step)> OnStatusStep;
    std::function<void(const QString& word)> OnStateWord;
    // The effective state changed: the port summary and the state line
    // (already added to the terminal).
    std::function<void(const QString& summary, const QString& stateLine)> OnStateLine;
    std::function<void(TCommState effective)> OnEffectiveState;
    std::function<void(int32_t count)> OnProgress;
    std::function<void(const QString& text)> OnNotice;
    std::function<void(const QString& fileName)> OnLogFile;
    // A log fault begins or is over, in words (also shown as a notice).
    std::function<void(const QString& text)> OnLogFault;
    // Before each open attempt: the port's name may have changed since.
    std::function<void()> OnBeforeOpen;

signals:
    // Every line received from the module, whole (joined across chunks; line
    // feeds dropped), whatever the filters and Strict make of it.
    void lineReceived(const QByteArray& line);
    // Every line as the log records it ("yyyy-mm-dd hh:mm:ss.zzz: " and the
    // line type's prefix before the data), once the line is complete.
    void recorded(const QByteArray& record);

private:
    void createComponents();
    void connectHandlers();
    void setStateWord(const QString& word);
    const AutomationSettings& automation();
    void showPortOpenOutcome(bool opened);
    // The outcome of the open the open step started as its attempt-th.
    void portOpened(uint64_t attempt, bool opened);
    void watchPort();
    void portPathChanged();
    void quickRetry();
    // The terminal gets a piece of a line (finished when ended); the record
    // tap follows the log's rules for joining pieces.
    void addToTerminal(QByteArrayView text, int lineType, bool ended,
                       int64_t stampMs = comm::ReadTimes::Unknown);
    void tapPiece(QByteArrayView text, int lineType, bool ended, int64_t stampMs);
    void tapEnd();
    void receivedBytes(QByteArrayView chunk);
    // Whether anyone needs the received lines whole.
    bool wantsLines() const;
    void lineComplete(const QByteArray& line);
    int64_t nowMs() const;
    void noteStrict(bool on);
    void writeStrictGap();
    void sendStartCommand();
    void finishStartCommand(CommandAnswer answer);

    static constexpr int QuickRetries = 4;        // after the first, at once
    static constexpr int QuickRetryInterval = 25; // ms

    bool m_showHex = false;
    LineFilters m_filters;
    LineSplitter m_splitter;         // the lines the terminal gets
    LineSplitter m_joiner;           // the lines whole, for those who wait for them
    terminal::FreezeGap m_strictGap; // what Strict keeps out while it is on
    AutomationSettings m_automation;
    QByteArray m_startCommand = QByteArrayLiteral("a:/appmain2.jad");
    QByteArray m_startSent; // the start command waiting for its answer
    uint32_t m_startSentTick = 0;
    bool m_inMachineTick = false;
    uint64_t m_openAttempt = 0; // the open step's last open
    bool m_retryAtOnce = false; // the device came back while an open was under way
    platform::PathWatcher* m_portWatcher = nullptr;
    QTimer* m_quickRetryTimer = nullptr;
    int m_quickRetries = 0;
    QString m_notice;
    QString m_portNotice; // the notice of the last failed open, empty after an open
    QString m_stateWord;
    QString m_logFile;
    // The record being tapped: its type and bytes so far.
    int m_tapType = -1;
    QByteArray m_tapRecord;
    // A received line not yet ended by its carriage return.
    QByteArray m_receivedPartial;
};

} // namespace app
