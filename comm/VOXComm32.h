#pragma once
#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "comm/OxaCommunicationComponent.h"
#include "comm/VOXComm32Flow.h"
#include "comm/VOXComm32Lines.h"
#include "comm/VOXComm32ModemPoll.h"
#include "comm/VOXComm32Types.h"
#include "platform/SerialLine.h"
#include "platform/SerialPortMap.h"

class TVOXComm32;
class TReadThread;
class TWriteThread;
class TNotifyWindow;
namespace comm {
struct GrabState;
class PortOpener;
} // namespace comm
class QEvent;
class QComboBox;
#include <QStringList>

// Raised when a worker thread cannot be created.
class ECommsError : public std::exception {
public:
    explicit ECommsError(const QString& message)
        : m_message(message), m_utf8(message.toUtf8().toStdString()) {}
    const QString& Message() const { return m_message; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_message;
    std::string m_utf8;
};

// Line settings of the port. Changes reconfigure an open port at once.
class VOXComm32Signals {
public:
    explicit VOXComm32Signals(TVOXComm32* owner) : m_owner(owner) {}

    // Copies everything except the two XOn/XOff flags, then reconfigures once.
    void Assign(const VOXComm32Signals& source);

    bool DTR() const { return m_dtr; }
    void SetDTR(bool value);
    VOxaSignalControl_DTR DTRControl() const { return m_dtrControl; }
    void SetDTRControl(VOxaSignalControl_DTR value);
    bool RTS() const { return m_rts; }
    void SetRTS(bool value);
    VOxaSignalControl_RTS RTSControl() const { return m_rtsControl; }
    void SetRTSControl(VOxaSignalControl_RTS value);
    bool CTSHandshake() const { return m_ctsHandshake; }
    void SetCTSHandshake(bool value);
    bool DSRHandshake() const { return m_dsrHandshake; }
    void SetDSRHandshake(bool value);
    bool XOnOffTransmit() const { return m_xOnOffTransmit; }
    void SetXOnOffTransmit(bool value);
    bool XOnOffReceive() const { return m_xOnOffReceive; }
    void SetXOnOffReceive(bool value);

private:
    friend class TVOXComm32;
    TVOXComm32* m_owner;
    bool m_dtr = true;
    VOxaSignalControl_DTR m_dtrControl = VOxaSignalControl_DTREnable;
    bool m_rts = true;
    VOxaSignalControl_RTS m_rtsControl = VOxaSignalControl_RTSEnable;
    bool m_ctsHandshake = false;
    bool m_dsrHandshake = false;
    bool m_xOnOffTransmit = false;
    bool m_xOnOffReceive = false;
};

// Flow-control and event characters.
class VOXComm32Chars {
public:
    explicit VOXComm32Chars(TVOXComm32* owner) : m_owner(owner) {}

    void Assign(const VOXComm32Chars& source);

    char XOn() const { return m_xOn; }
    void SetXOn(char value) { m_xOn = value; }
    char XOff() const { return m_xOff; }
    void SetXOff(char value) { m_xOff = value; }
    char Evt() const { return m_evt; }
    void SetEvt(char value) { m_evt = value; }

private:
    TVOXComm32* m_owner;
    char m_xOn = 17;
    char m_xOff = 19;
    char m_evt = 0;
};

// Options read at the next open.
class VOXComm32Options {
public:
    void Assign(const VOXComm32Options& source);

    // Whether the port is opened through the \\?\ device-name prefix.
    Tristate EnhancedName() const { return m_enhancedName; }
    void SetEnhancedName(Tristate value) { m_enhancedName = value; }
    // Comm events the read worker leaves out of its event mask.
    VOXComm32SkipEvents SkipEvents() const { return m_skipEvents; }
    void SetSkipEvents(VOXComm32SkipEvents value) { m_skipEvents = value; }

private:
    Tristate m_enhancedName = TristateTrue;
    VOXComm32SkipEvents m_skipEvents;
};

// Read and write time-outs in milliseconds.
class VOXComm32Timeouts {
public:
    enum Index {
        ReadIntervalIndex,
        ReadTotalConstIndex,
        ReadTotalMultIndex,
        WriteTotalConstIndex,
        WriteTotalMultIndex
    };

    explicit VOXComm32Timeouts(TVOXComm32* owner) : m_owner(owner) {}

    void Assign(const VOXComm32Timeouts& source);

    // Shared accessors by index 0..4; another index throws std::out_of_range.
    uint32_t GetTimeout(int index) const;
    void SetTimeout(int index, uint32_t value);

    uint32_t ReadInterval() const { return GetTimeout(ReadIntervalIndex); }
    void SetReadInterval(uint32_t value) { SetTimeout(ReadIntervalIndex, value); }
    uint32_t ReadTotalConst() const { return GetTimeout(ReadTotalConstIndex); }
    void SetReadTotalConst(uint32_t value) { SetTimeout(ReadTotalConstIndex, value); }
    uint32_t ReadTotalMult() const { return GetTimeout(ReadTotalMultIndex); }
    void SetReadTotalMult(uint32_t value) { SetTimeout(ReadTotalMultIndex, value); }
    uint32_t WriteTotalConst() const { return GetTimeout(WriteTotalConstIndex); }
    void SetWriteTotalConst(uint32_t value) { SetTimeout(WriteTotalConstIndex, value); }
    uint32_t WriteTotalMult() const { return GetTimeout(WriteTotalMultIndex); }
    void SetWriteTotalMult(uint32_t value) { SetTimeout(WriteTotalMultIndex, value); }

    // Minimum pause between modem-status polls; held by the component.
    uint32_t ModemPollPeriod() const;
    void SetModemPollPeriod(uint32_t value);

private:
    friend class TVOXComm32;
    TVOXComm32* m_owner;
    uint32_t m_values[5] = {10, 0, 0, 0, 0};
};

// The serial-port component: owns one port, its read and write workers, and
// reports data and state changes on the user-interface thread.
class TVOXComm32 : public VOxaCommunicationComponent {
    Q_OBJECT
public:
    explicit TVOXComm32(QObject* owner = nullptr);
    ~TVOXComm32() override;

    // ---- published properties -------------------------------------------
    bool AutoReconnect() const { return m_autoReconnect; }
    void SetAutoReconnect(bool value);
    QString CommPort() const { return m_commPort; }
    virtual void SetCommPort(const QString& value);
    TBaudRate BaudRate() const { return m_baudRate; }
    void SetBaudRate(TBaudRate value);
    TParity Parity() const { return m_parity; }
    void SetParity(TParity value);
    TDataBits DataBits() const { return m_dataBits; }
    void SetDataBits(TDataBits value);
    TStopBits StopBits() const { return m_stopBits; }
    void SetStopBits(TStopBits value);
    VOXComm32Signals* Signals() const { return m_signals.get(); }
    void SetSignals(const VOXComm32Signals& value) { m_signals->Assign(value); }
    VOXComm32Chars* Chars() const { return m_chars.get(); }
    void SetChars(const VOXComm32Chars& value) { m_chars->Assign(value); }
    VOXComm32Options* Options() const { return m_options.get(); }
    void SetOptions(const VOXComm32Options& value) { m_options->Assign(value); }
    VOXComm32Timeouts* Timeouts() const { return m_timeouts.get(); }
    void SetTimeouts(const VOXComm32Timeouts& value) { m_timeouts->Assign(value); }
    VOxaCommGrabCommand Grab() const { return m_grab; }
    void SetGrab(VOxaCommGrabCommand value);
    uint32_t ModemPollPeriod() const { return m_modemPoll.Period(); }
    void SetModemPollPeriod(uint32_t value) { m_modemPoll.SetPeriod(value); }

    // ---- events of this class (assign directly) ---------------------------
    TNotifyEvent OnRequestHangup;
    TNotifyEvent OnBreak;
    TEventChangeLines OnChangedCTS;
    TEventChangeLines OnChangedDSR;
    TNotifyEvent OnErrorFrame;
    TNotifyEvent OnErrorOverrun;
    TNotifyEvent OnErrorParity;
    TNotifyEvent OnErrorBreak;
    TEventError OnErrorOther;
    TEventChangeLines OnRing;
    TEventChangeLines OnChangedRLSD;
    TNotifyEvent OnRxChar;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnTxEmpty;

    // Assigning a state handler asks for the current state, so the new
    // handler learns it (once) on the user-interface thread.
    void SetOnStateChange(TEventChangeState handler) override;
    void SetOnAdvancedStateChange(TAdvancedEventChangeState handler) override;

    // ---- operations -------------------------------------------------------
    // Opens the port on the component's opener thread and waits for it (the
    // window waits as long as the device takes).
    bool StartComm() override;
    // Opens the port as StartComm does without waiting for the device: the
    // open, its lock, the driver lookup and the first settings run on the
    // opener thread; once they are done the window's thread starts the
    // workers on the open line and calls done with what StartComm would have
    // returned (false too when the workers could not be started). An open
    // under way is dropped by StopComm, StartComm, the next StartCommAsync,
    // CancelStartComm, a change of the port or of its line settings and the
    // component's end: done is not called then, and the line, should it open
    // after all, is closed on the opener thread.
    void StartCommAsync(std::function<void(bool opened)> done);
    // Whether an open of StartCommAsync is under way.
    bool OpenPending() const { return m_openPending; }
    void CancelStartComm();
    void StopComm() override;
    bool WriteCommData(const char* data, int count) override;
    using VOxaCommunicationComponent::WriteCommString;
    bool IsCommOpen() const override { return m_portState == PortOpen; }
    TCommState GetConnectionState() const override;
    bool ShowCommConfigDialog() override;

    // Copies every property and handler of another component.
    void Assign(const TVOXComm32& source);

    // ---- configuration string, port list, settings dialog -----------------
    // The port parameters as one line of seven quoted, comma-joined fields.
    QString GetConfigAsString() override;
    // Takes every valid, changed field of such a line, then restarts the port
    // once when something changed.
    void SetConfigAsString(const QString& config) override;
    // Port names of the machine's serial-port map (plain names, map order).
    static void EnumSerialPorts(QStringList& list);
    // Fills a port combo box with the machine's ports plus CommPort, sorted,
    // disturbing the items and the text the user sees as little as possible.
    // The list shows beside each name what the system knows of its device
    // (PortDescription; also the item's hint); the items stay plain names.
    bool FillPortList(QComboBox* combo);
    // What the system knows of the device behind a port: USB manufacturer and
    // product, vendor and product id, serial number, /dev/serial/by-id name;
    // empty when nothing is known.
    static QString PortDescription(const platform::SerialPortEntry& entry);
    // Selects CommPort in a port combo box.
    bool SelectPortInList(QComboBox* combo);
    // Modal dialog editing every port parameter; true when closed with OK.
    // An empty caption gives "Settings for " + CommPort.
    bool ShowPortDialog(const QString& caption);

    // Gives an open port the time-outs and device control block of the
    // properties; false when the port is closed. The time-outs take effect at once; the block
    // is built here and handed to the write worker, which writes it in order
    // with the blocks and line requests queued before and after it, so the
    // window never waits for the device (a USB adapter answers over the bus,
    // one being pulled only after the driver's time-out). True once handed
    // over: a driver's refusal is then traced, not returned, and a device
    // that has gone fails the port as a failed write does.
    bool UpdateDCB();
    // UpdateDCB, then re-applies the DTR and RTS lines.
    bool UpdateDCB2();
    // Fills a device control block for the current properties (on the
    // settings the open port has, for what the properties leave alone).
    void BuildDCB(platform::SerialDcb& dcb) const;
    // Takes the settings of a block into the properties (without the
    // setters), then UpdateDCB.
    bool ApplyDCB(const platform::SerialDcb& dcb, bool keepRtsControl);

    // Driver device name serving a port ("?" when unknown).
    QString LookupDriverName(const QString& portName) const;
    // The last known modem status. The read worker polls it (throttled by the
    // poll's measured cost, comm/VOXComm32ModemPoll.h) and reports changes as
    // comm events; a status that can no longer be read closes the port as
    // failed. Nothing here waits for the device.
    uint32_t PollModemStatus() const { return m_modemStatus; }

    void Loaded() override;

    // ---- state visible to the workers and to tests ------------------------
    QString DriverName() const { return m_driverName; }
    uint32_t ModemStatus() const { return m_modemStatus; }
    uint32_t LastModemPoll() const { return m_modemPoll.LastPoll(); }
    uint32_t ModemPollCost() const { return m_modemPoll.Cost(); }
    TCommState LastState() const { return m_lastState; }
    QObject* NotifyWindow() const;

    // Trace texts of the component and its workers go to the diagnostic
    // channel (off unless DRALVO_TRACE is set; see comm/VOXComm32Trace.h).
    // Called on the workers' threads as well.
    void TraceError(int error, const QString& text) override;
    void TraceText(const QString& text) override;
    // Progress texts of the open/close sequences, to the same channel.
    virtual void TraceProgress(const QString& text);
    // The read worker's exit notice, to the debug output (DebugNotify).
    virtual void TraceDebugOutput(const QString& text);

    // This instance's id in the port-sharing list (0 until it takes part).
    uint32_t GrabInstanceId() const;

    // ---- receive flow control (comm/VOXComm32Flow.h) -----------------------
    // Received bytes posted to the notify window and not yet handled; at
    // MaxReceiveUnhandled the read worker stops reading until the window has
    // caught up to half of it. OverBound is true in between.
    int MaxReceiveUnhandled() const { return m_maxReceiveUnhandled; }
    void SetMaxReceiveUnhandled(int bytes) { m_maxReceiveUnhandled = bytes; } // from the next open
    int ReceiveUnhandled() const;
    bool ReceiveOverBound() const;

protected:
    // Posts a state notification to the notify window (never calls a handler).
    void PostState(TCommState state);
    void CloseComm(bool failed, bool releaseGrab, const QString& reason);
    bool StartCommInternal(bool fromGrab);
    void DoRequestHangup();
    void ModemStatusChanged(uint32_t status);
    void HandleCommEvent(uint32_t mask, uint32_t value);
    void HandleStateChanged(TCommState state);

    // Port-sharing hooks. They do nothing while Grab is vocgcNone; sharing the
    // port between instances plugs in here.
    virtual void PerformGrabCommand(VOxaCommGrabCommand command);
    virtual void ReleaseGrabMapping();
    virtual void HandleGrabChanged();

    // Shows a port settings dialog for the block; true on OK (block updated).
    // Sets cancelled when the user cancelled. Linux has no system dialog, so
    // by default the component's own port dialog (ShowPortDialog) stands in.
    virtual bool RunCommConfigDialog(platform::SerialDcb& dcb, bool& cancelled);
    // The line StartComm opens: the tty by default; tests hand in a fake.
    virtual std::unique_ptr<platform::SerialLine> CreateSerialLine();
    // The machine's serial-port map used by LookupDriverName.
    virtual std::vector<platform::SerialPortEntry> ReadPortMap() const;

private:
    enum PortState { PortNone, PortInvalid, PortOpen };
    // What the workers see of the component (comm/VOXComm32Host.h).
    class WorkerLink;
    // One open: what the window's thread hands the opener thread and what
    // comes back.
    struct OpenJob;
    // The properties a device control block carries, taken on the window's
    // thread for a line configured on another.
    struct DcbSettings {
        uint8_t dtrControl = 0;
        uint8_t rtsControl = 0;
        bool ctsHandshake = false;
        bool dsrHandshake = false;
        bool xOnOffTransmit = false;
        bool xOnOffReceive = false;
        char xOn = 0;
        char xOff = 0;
        char evt = 0;
        uint32_t baudRate = 0;
        uint8_t parity = 0;
        uint8_t byteSize = 0;
        uint8_t stopBits = 0;
    };
    DcbSettings TakeDcbSettings() const;
    platform::SerialTimeouts TakeTimeouts() const;
    static void FillDcb(const DcbSettings& settings, platform::SerialDcb& dcb);
    // Writes the time-outs and the block to a line (the first settings of
    // an open, on the opener thread); applied is the block written. False
    // when the driver refused it.
    static bool ConfigureLine(platform::SerialLine& line, const DcbSettings& settings,
                              const platform::SerialTimeouts& timeouts,
                              platform::SerialDcb& applied);
    // Asks the write worker for the modem lines and line controls a block
    // written to the port fixes.
    void RequestBlockLines(const platform::SerialDcb& dcb);

    // The open in three parts: prepared on the window's thread, run on the
    // opener thread, finished on the window's thread.
    std::shared_ptr<OpenJob> PrepareOpen(bool fromGrab);
    void RunOpen(OpenJob& job);
    bool FinishOpen(OpenJob& job, bool fromGrab);
    void HandlePortOpened(const std::shared_ptr<OpenJob>& job);
    // Closes the line of a dropped open on the opener thread.
    void DiscardOpen(const std::shared_ptr<OpenJob>& job);
    // Drops the open under way, if any.
    void DropPendingOpen();

    // Handles one message of the notify window (user-interface thread).
    void HandleNotifyMessage(QEvent* event);

    void CloseReadThread();
    void CloseWriteThread();
    bool ApplyDTR();
    bool ApplyRTS();
    // What the write worker carries out on the device for the component:
    // a request for the modem lines or a settings block.
    using WorkerRequest = std::variant<comm::LineRequest, platform::SerialDcb>;
    // Hands a request for the device to the write worker (kept for it while
    // the port is being opened), so the window never waits for the device.
    // False when the port is closed or its worker has ended.
    bool RequestOfWorker(const WorkerRequest& request);
    void RequestLines(const comm::LineRequest& request) { (void)RequestOfWorker(request); }
    void FailOpen(bool closeDevice);

    friend class VOXComm32Signals;
    friend class VOXComm32Chars;
    friend class VOXComm32Timeouts;

    bool m_autoReconnect = false;
    QString m_commPort;
    TBaudRate m_baudRate = TBaudRate::__19200;
    TParity m_parity = TParity::None;
    TDataBits m_dataBits = TDataBits::_8;
    TStopBits m_stopBits = TStopBits::_1;
    std::unique_ptr<VOXComm32Signals> m_signals;
    std::unique_ptr<VOXComm32Chars> m_chars;
    std::unique_ptr<VOXComm32Options> m_options;
    std::unique_ptr<VOXComm32Timeouts> m_timeouts;
    VOxaCommGrabCommand m_grab = vocgcNone;
    // Port-sharing list, messenger and retry timer; made by the first
    // command other than vocgcNone (comm/VOXComm32Grab.cpp).
    std::shared_ptr<comm::GrabState> m_grabState;
    void RetryGrabOpen();

    PortState m_portState = PortNone;
    std::unique_ptr<comm::PortOpener> m_opener;
    // Counts the opens begun and dropped: an open whose number is no longer
    // this one was dropped (read on the opener thread).
    std::atomic<uint64_t> m_openGeneration{0};
    bool m_openPending = false;
    std::function<void(bool)> m_openDone;
    std::unique_ptr<platform::SerialLine> m_port;
    std::unique_ptr<comm::LineControls> m_lineControls; // while the port is open
    std::unique_ptr<platform::Event> m_closeEvent;
    std::unique_ptr<comm::ReceiveFlow> m_receiveFlow; // while the port is open
    int m_maxReceiveUnhandled = comm::ReceiveFlow::kDefaultMaxUnhandled;
    std::unique_ptr<TReadThread> m_readThread;
    std::unique_ptr<TWriteThread> m_writeThread;
    std::unique_ptr<TNotifyWindow> m_notifyWindow;
    std::unique_ptr<WorkerLink> m_workerLink;
    // Requests for the device made while the port opens, before the write
    // worker exists.
    std::vector<WorkerRequest> m_pendingRequests;
    QString m_driverName;
    TCommState m_lastState = CommStateFirst;
    // The port opened, and the owner has not heard of it yet.
    bool m_openUnheard = false;
    bool m_suppressStateNotify = false;
    uint32_t m_modemStatus = 0;
    comm::ModemPoll m_modemPoll;
    // Counts the closes, so a close that hands data over can tell when a
    // handler closed the port meanwhile.
    uint64_t m_closes = 0;
};
