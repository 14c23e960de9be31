#pragma once
// The main window: the port parameters, the connection sequence behind the
// three connection buttons, the receive pipeline with its two filters, the
// timed automation and the commands sent to the module. It owns the serial
// component, the terminal and the application-info component.
#include <QColor>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <cstdint>

#include "app/CommandLine.h"
#include "app/Session.h"
#include "comm/VOXComm32Types.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;
class TVOXComm32;
class TfrmCfgAdv;
class Timer;
class VOxaAppInfo;
class VOxaLogger;
class VOxaTerminal;
namespace app {
class ControlVerbs;
class Desk;
} // namespace app
namespace platform {
class ControlChannel;
class TerminationSignals;
} // namespace platform

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window, creates and loads its components, then runs FormCreate.
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The advanced dialog is created after the main window; it must be set
    // before the window is first shown.
    void SetCfgAdv(TfrmCfgAdv* dialog) { frmCfgAdv = dialog; }

    // What the command line asks of this run (before the window is shown):
    // the instance's name in the titles and its socket, the log folder, and
    // the port, which is connected as soon as the window shows.
    void SetStartOptions(const StartOptions& options);

    // Lets other programs press Start and Disconnect, and make the verb
    // requests, through the control socket in dir. Returns false when no
    // socket could be created.
    bool ListenForControlMessages(const QString& dir);
    QString ControlSocketPath() const;
    // SIGTERM, SIGINT and SIGHUP close the window as its close box does.
    void CloseOnTerminationSignals();

    // ---- the session this window shows (its components are named below too) ----
    app::Session* session = nullptr;
    // The quick-send buttons, their sequences and the reactions (FormMainDesk.cpp).
    app::Desk* desk = nullptr;

    // ---- components ----
    TVOXComm32* commMain = nullptr;
    VOxaTerminal* termData = nullptr;
    VOxaAppInfo* VOxaAppInfo1 = nullptr;
    Timer* tmrMachine = nullptr;
    Timer* tmrAutoStartDelayed = nullptr;
    Timer* tmrAutoMark = nullptr;
    Timer* tmrAutoCmd = nullptr;
    Timer* tmrAlarm = nullptr;
    Timer* tmrAlarmRepeat = nullptr;
    // Made when first needed: a file dialog builds its whole widget tree and
    // watches its folder from the moment it exists, and most sessions never
    // send a file.
    QFileDialog* OpenDialogSendFile = nullptr;
    QFileDialog* sendFileDialog();
    TfrmCfgAdv* frmCfgAdv = nullptr;

    // ---- controls ----
    QGroupBox* grpComPort = nullptr;
    QLabel* lblParameters = nullptr;
    QLabel* lblOutCheck = nullptr;
    QLabel* lblState = nullptr;
    QLabel* lblOutState = nullptr;
    QLabel* lblProgress = nullptr;
    QPushButton* btnConfig = nullptr;
    QComboBox* cmbPort = nullptr;
    QPushButton* btnAdvancedCfg = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnConnect = nullptr;
    QPushButton* btnDisconnect = nullptr;
    QLabel* lblStartCmd = nullptr;
    QLabel* lblAtSjra = nullptr;
    QLineEdit* edtStartCmd = nullptr;
    QPushButton* btAutostartOn = nullptr;
    QGroupBox* grpFilters = nullptr;
    QLabel* lblFilter1 = nullptr;
    QComboBox* cmbFilter1 = nullptr;
    QPushButton* btnFreezeRun = nullptr;
    QLabel* lblFilter2 = nullptr;
    QComboBox* cmbFilter2 = nullptr;
    QCheckBox* chkStrict = nullptr;
    QCheckBox* chkShowHex = nullptr;  // received text in hexadecimal
    QCheckBox* chkShowUtf8 = nullptr; // UTF-8 in received lines as text
    QGroupBox* grpSendFile = nullptr;
    QLabel* lblSFFilename = nullptr;
    QLineEdit* edtSFFilename = nullptr;
    QPushButton* btnSFBrowse = nullptr;
    QPushButton* btnSFSend = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusBar1Panel = nullptr;  // the connection step
    QLabel* StatusBar1Notice = nullptr; // the newest notice (see ShowNotice)
    QLabel* StatusBar1Log = nullptr;    // the current log file (see ShowLogFile)

    // ---- handlers ----
    void FormCreate();
    void FormShow();
    void FormClose();
    void btnStartClick();
    void btnConnectClick();
    void btnDisconnectClick();
    void tmrMachineTimer();
    void commMainStateChange(QObject* Sender, TCommState State);
    void commMainReceiveData(QObject* Sender, const char* Buffer, uint16_t BufferLength);
    void termDataTermSendData(VOxaTerminal* Sender, const uint8_t* data, int count,
                              bool includesCR);
    void termDataFormCreate(VOxaTerminal* Sender, QWidget* form, QPlainTextEdit* richedit);
    void btnFreezeRunClick();
    void cmbFilter1Exit();
    void cmbFilter2Exit();
    // A message number from another program: WM_USER+1 presses Start (result
    // 1), WM_USER presses Disconnect (result 2); anything else gives 0.
    int HandleControlMessage(uint32_t message);

    // Settings (defined with the settings code).
    void LoadSettings();
    void SaveSettings();
    void btnAdvancedCfgClick();
    // Timed automation (defined with the automation code).
    void ApplyAdvancedSettings();
    void tmrAutoStartDelayedTimer();
    void tmrAutoMarkTimer();
    void tmrAutoCmdTimer();
    void tmrAlarmTimer();
    void tmrAlarmRepeatTimer();
    // The desk's features (defined with their code).
    void ShowQuickSendButtons();
    void btnQuickSendEditClick();
    void LoadDeskSettings();
    void SaveDeskSettings();
    // Module commands and file sending (defined with that code).
    void btAutostartOnClick();
    void btnSFBrowseClick();
    void btnSFSendClick();
    void cmbPortChange();
    void cmbPortDropDown();
    void btnConfigClick();

    // ---- internal operations ----
    static QString BaudRateText(TBaudRate rate) { return app::Session::BaudRateText(rate); }
    // The status bar's current text.
    QString StatusText() const;
    // Tells the user something the program cannot do or had to change (a log
    // that cannot be written, an unreadable settings file, a port that would
    // not open and why). Shown in the status bar beside the connection step
    // until the next notice; the same text given again changes nothing, so
    // callers may report a lasting condition each time they meet it.
    void ShowNotice(const QString& text);
    QString NoticeText() const;
    // Names the log file now being written in the status bar ("Log: " and its
    // path, shortened; the full path as the hint).
    void ShowLogFile(const QString& fileName);
    QString LogFileText() const;
    // A text as an integer: an optionally signed decimal number within the
    // 32-bit range, otherwise defaultValue.
    static int StrToIntDef(const QString& text, int defaultValue) {
        return app::StrToIntDef(text, defaultValue);
    }
    // The automation values as the advanced dialog's controls hold them.
    app::AutomationSettings AutomationFromDialog() const;
    // The filters as the filter boxes and Strict hold them.
    LineFilters FiltersFromControls() const;

signals:
    // The window has closed (settings saved); the program ends.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createComponents();
    void createDesk();
    void connectHandlers();
    // The session's reports shown in the controls.
    void showStatusStep(TStatusStep step);
    void showEffectiveState(TCommState effective);

    QString m_reactionsText; // the rules as stored or last edited, saved at close
    bool m_shown = false;
    bool m_closing = false;
    bool m_closingForSignal = false;
    platform::ControlChannel* m_controlChannel = nullptr;
    app::ControlVerbs* m_controlVerbs = nullptr;
    StartOptions m_options;
    platform::TerminationSignals* m_terminationSignals = nullptr;
};

// The history of a filter box when the focus leaves it: a text already in the
// list (any letter case) or a blank text changes nothing; otherwise the text as
// typed is appended, dropping the oldest entry to keep at most maxItems.
// Returns whether the list changed.
bool AddFilterHistory(QStringList& items, const QString& text, int maxItems = 10);
