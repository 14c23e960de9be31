#pragma once
// The terminal component: renders traffic with line headers, prefixes and
// colours into its own window, keeps the display within its limits, copies it
// into an optional raw file and hands every add to its logger. The window also
// carries the manual send line with its history (see TerminalWindow).
#include <QByteArray>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTabWidget>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

#include "terminal/FreezeGap.h"
#include "terminal/LineTypes.h"
#include "terminal/TerminalRender.h"
#include "terminal/VOxaLogger.h"
#include "util/Component.h"

class QCloseEvent;
class QPlainTextEdit;
class QWidget;
class PageTabDrag;
class TerminalWindow;
class TerminalDisplay;
class VOxaAppInfo;
class VOxaTerminal;
namespace platform {
class File;
}

// What the close button of the floating window does.
enum TTermCloseAction : int {
    trmcaDock = 0,
    trmcaHide = 1,
    trmcaFree = 2,
    trmcaMinimize = 3,
};

// data belongs to the terminal and is released after the call.
using TTermSendData =
    std::function<void(VOxaTerminal* sender, const uint8_t* data, int count, bool includesCR)>;
using TTermWantModeChange = std::function<void(VOxaTerminal* sender, int modeNo)>;
using VOxaTerminalFormCreateEvent =
    std::function<void(VOxaTerminal* sender, QWidget* form, QPlainTextEdit* richedit)>;

class VOxaTerminal : public TComponent {
    Q_OBJECT
public:
    // Builds the window at once when the owner is a widget.
    explicit VOxaTerminal(QObject* owner = nullptr);
    ~VOxaTerminal() override;

    // ---- adding data (user-interface thread) ----
    // stampMs is the time the data stand for, in milliseconds since
    // 1970-01-01 UTC (received data: when their first byte was read from the
    // port). A line that starts with these data shows it in its header and
    // its log record carries it. StampNow: the terminal's clock at the call.
    static constexpr int64_t StampNow = VOxaLogger::StampNow;
    // Adds text as the rest of a line and finishes the line.
    void AddLine(const QByteArray& text, int lineType, int64_t stampMs = StampNow);
    void AddLine(const QString& text, int lineType) { AddLine(text.toLatin1(), lineType); }
    void AddLine(const char* text, int lineType) { AddLine(QByteArray(text), lineType); }
    // Adds text without finishing the line.
    void AddText(const QByteArray& text, int lineType, int64_t stampMs = StampNow);
    void AddText(const QString& text, int lineType) { AddText(text.toLatin1(), lineType); }
    void AddText(const char* text, int lineType) { AddText(QByteArray(text), lineType); }
    // Adds count bytes without finishing the line.
    void AddData(const void* data, int count, int lineType, int64_t stampMs = StampNow);
    // The core: displayType chooses the rendering (VOxaTerminal_lt_NoType: none),
    // logType the log record (VOxaTerminal_lt_NoType: not logged).
    void AddDataEx(const void* data, int count, int displayType, int logType, bool preformatted,
                   int64_t stampMs = StampNow);
    // Finishes the open display line and the open log line.
    void EndLine();
    // Empties the display and resets the line counters.
    void Clear();
    // The display gathers the adds of one event and applies them when control
    // returns to the event loop; this applies them now (the logger is flushed too).
    void FlushDisplay();

    // ---- published properties: display ----
    int MaxLines() const { return m_maxLines; }
    void SetMaxLines(int value);
    int MaxChars() const { return m_maxChars; }
    void SetMaxChars(int value);
    int EffectiveMaxChars() const { return m_effectiveMaxChars; }
    int MaxCharsPerLine() const { return m_maxCharsPerLine; }
    void SetMaxCharsPerLine(int value) { m_maxCharsPerLine = value; }
    VOxaTerminal_ShowOptions ShowOptions() const { return m_showOptions; }
    void SetShowOptions(VOxaTerminal_ShowOptions value) { m_showOptions = value; }
    // The legacy stored Boolean "ShowTimes": read from old forms, never written.
    void SetShowTimes(bool value);
    // While true every add is dropped. When it turns false again, the next add
    // is preceded by one record of what was dropped and when (display and log).
    bool IgnoreAddChars() const { return m_ignoreAddChars; }
    void SetIgnoreAddChars(bool value);
    // UTF-8 in text and raw rows shown as its characters; the log keeps the
    // bytes (and so its escapes).
    bool ShowUtf8() const { return m_showUtf8; }
    void SetShowUtf8(bool value) { m_showUtf8 = value; }
    bool DebugWindowsVisible() const { return m_debugWindowsVisible; }
    void SetDebugWindowsVisible(bool value);
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);

    // ---- raw copy file of the display ----
    QString LogFileName() const { return m_logFileName; }
    void SetLogFileName(const QString& value);
    int LogFileMaxLen() const { return m_logFileMaxLen; }
    void SetLogFileMaxLen(int value) { m_logFileMaxLen = value; }

    // ---- logger (created when one of these is first given a non-default value) ----
    QString LoggerFilename() const;
    void SetLoggerFilename(const QString& value);
    VOxaLoggerNewFileStyle LoggerNamingStyle() const;
    void SetLoggerNamingStyle(VOxaLoggerNewFileStyle value);
    uint32_t LoggerOpenFlags() const;
    void SetLoggerOpenFlags(uint32_t value);
    VOxaLogger* Logger() const { return m_logger.get(); }

    // ---- published properties: window ----
    bool ShowHexEdit() const { return m_showHexEdit; }
    void SetShowHexEdit(bool value);
    QStringList ModeItems() const { return m_modeItems; }
    void SetModeItems(const QStringList& items);
    int ModeIndex();
    void SetModeIndex(int value);
    bool FormOnTop() const { return m_formOnTop; }
    void SetFormOnTop(bool value);
    VOxaAppInfo* OxaAppInfo() const;
    void SetOxaAppInfo(VOxaAppInfo* value);

    // ---- published properties: placement and docking ----
    // Reading reports (and remembers) whether the window sits on a page now.
    bool Docked();
    void SetDocked(bool value);
    QTabWidget* ParentPageControl() const { return m_parentPageControl; }
    void SetParentPageControl(QTabWidget* value);
    int FormLeft();
    void SetFormLeft(int value);
    int FormTop();
    void SetFormTop(int value);
    int FormWidth();
    void SetFormWidth(int value);
    int FormHeight();
    void SetFormHeight(int value);
    bool Visible();
    void SetVisible(bool value);
    bool ShowOnTaskbar() const { return m_showOnTaskbar; }
    void SetShowOnTaskbar(bool value);
    TTermCloseAction TermCloseAction() const { return m_termCloseAction; }
    void SetTermCloseAction(TTermCloseAction value) { m_termCloseAction = value; }

    // ---- events ----
    TTermSendData OnTermSendData;
    TTermWantModeChange OnTermWantModeChange; // declared; never raised
    VOxaTerminalFormCreateEvent OnFormCreate;
    // The window's "History" button or Ctrl+H: the owner opens the log's history.
    std::function<void(VOxaTerminal* sender)> OnHistoryRequest;

    // ---- window operations ----
    void SendLine();
    void SendDirect();
    // The send history lives here, most recent first; the window's list shows it.
    // It is saved when the window is deactivated or destroyed and when the
    // program ends, so a program ended by a signal or a logout keeps it.
    void LoadHistory();
    void SaveHistory();
    QStringList History() const { return m_history; }
    void ApplyHexEditLayout();
    // Brings the window into the state given by Docked and ParentPageControl.
    void ApplyDocking();
    // Applies ShowOnTaskbar to the floating window: with it the window is a
    // top-level window of its own (with a taskbar entry), without it a tool
    // window of the owner's window.
    void ApplyTaskbarStyle(bool reactivate);
    // The "Undock window" button: float the window.
    void UndockClick();

    void Loaded() override;

    // ---- access for the owner and tests ----
    TerminalWindow* Form() const;
    QPlainTextEdit* RichEdit() const;
    int LastLineType() const { return m_lastLineType; }
    int LineCounter(int lineType) const { return m_counters.value(lineType); }
    bool HistorySaved() const { return m_historySaved; }
    uint8_t SendTerminator() const { return m_sendTerminator; }
    void SetSendTerminator(uint8_t value) { m_sendTerminator = value; }
    uint32_t LastAddTick() const { return m_lastAddTick; }

    // The local clock for time stamps, in milliseconds since the epoch (UTC);
    // the system clock when not set.
    using Clock = std::function<int64_t()>;
    void SetClock(Clock clock);

private:
    void buildWindow(QWidget* ownerForm);
    void forgetWindow();
    void renameControls();
    int64_t nowMs() const;
    QString timeOfDayText(int64_t utcMs);
    void endDisplayLine();
    void endLogLine();
    void writeFreezeGap();
    void writeRawCopy(const QByteArray& bytes);
    void limitRawCopy();
    void closeRawCopy();
    VOxaLogger* ensureLogger();
    void updateTiming(int lineType, uint32_t tick);
    void applyTiming();
    QString historyKey() const;
    void connectWindow();
    void showHistory();
    // Refuses a send whose text holds a character the code page cannot carry.
    // Whether the send lines cannot be sent as they stand: a character beyond
    // the code page, a line longer than the limit, a hex line that is not
    // hexadecimal pairs. The operator is told why; the lines keep the text.
    bool refuseSend();

    // docking and placement (TerminalDocking.cpp)
    QWidget* ownerWindow() const;
    QTabWidget* dockSite() const;
    bool isFloating() const;
    void dockInto(QTabWidget* pages);
    void undock();
    void dockingEnded();
    void rememberFloatingBounds();
    void applyFloatingStyle();
    void applyFormVisible();
    void notePlacement();
    void formMoveEnded();
    void tabDropped(QPoint at);
    void fitIntoWorkArea();
    void destroyWindow();
    void watchApplicationState();
    // Reactions to the window's signals.
    void formResized();
    void formActivated();
    void formCloseRequested(QCloseEvent* event);

    // display
    int m_maxLines = 1100;
    int m_maxChars = 65535;
    int m_effectiveMaxChars = 65535;
    int m_maxCharsPerLine = 500;
    VOxaTerminal_ShowOptions m_showOptions;
    bool m_ignoreAddChars = false;
    terminal::FreezeGap m_freezeGap;
    bool m_debugWindowsVisible = false;
    bool m_showUtf8 = false;
    QString m_caption = QStringLiteral("Terminal");
    bool m_captionAssigned = false;

    int m_lastLineType = VOxaTerminal_lt_NoType;
    terminal::LineCounters m_counters;
    uint32_t m_lastAddTick = 0;
    Clock m_clock;
    terminal::TimeTextCache m_timeCache;
    int64_t m_offsetMinute = INT64_MIN; // minute for which m_offsetMs holds
    int64_t m_offsetMs = 0;             // local time minus UTC
    int m_pendingInTime = -1;           // timing field values not shown yet
    int m_pendingOutTime = -1;
    bool m_timingPosted = false;

    // raw copy file
    QString m_logFileName;
    int m_logFileMaxLen = 1000000;
    std::unique_ptr<platform::File> m_rawCopy;

    std::unique_ptr<VOxaLogger> m_logger;

    // window
    QPointer<TerminalWindow> m_form;
    TerminalDisplay* m_display = nullptr;
    bool m_showHexEdit = false;
    QStringList m_modeItems;
    int m_modeIndex = -1;
    bool m_formOnTop = false;
    QPointer<VOxaAppInfo> m_oxaAppInfo;
    uint8_t m_sendTerminator = 0;
    QStringList m_history;
    bool m_historySaved = false;

    // placement and docking
    bool m_docked = true;
    QPointer<QTabWidget> m_parentPageControl;
    int m_formLeft = 500;
    int m_formTop = 300;
    int m_formWidth = 400;
    int m_formHeight = 450;
    bool m_visible = false;
    bool m_showOnTaskbar = false;
    TTermCloseAction m_termCloseAction = trmcaDock;
    bool m_destroying = false;
    QPointer<QWidget> m_lastActiveWindow;   // the application's active window, followed
    QPointer<QWidget> m_activeAtDeactivate; // the active window when the application lost it
    QPoint m_placedAt;                      // where the program last put the floating window
    std::unique_ptr<PageTabDrag> m_tabDrag; // watches the page's tab while docked
};
