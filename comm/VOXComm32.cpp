#include "comm/VOXComm32.h"

#include <QCoreApplication>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

#include "comm/VOXComm32Blocks.h"
#include "comm/VOXComm32Flow.h"
#include "comm/VOXComm32Host.h"
#include "comm/VOXComm32Lines.h"
#include "comm/VOXComm32Notify.h"
#include "comm/VOXComm32Opener.h"
#include "comm/VOXComm32Threads.h"
#include "platform/File.h"
#include "platform/SerialDevice.h"
#include "platform/Ticks.h"
#include "util/Ticks.h"

namespace {

const QString kEnhancedPrefix = QStringLiteral("\\\\?\\");

// Byte size of each TDataBits: the 4-bit setting is sent as 8 data bits.
constexpr uint8_t kByteSizes[5] = {8, 5, 6, 7, 8};

// An open run on the opener thread, back on the window's thread.
class TPortOpenedMessage final : public TNotifyMessage {
public:
    explicit TPortOpenedMessage(std::shared_ptr<void> job)
        : TNotifyMessage(PWM_PortOpened, 0, 0), Job(std::move(job)) {}
    std::shared_ptr<void> Job;
};

// Queues a request for the device with the write worker.
bool PostRequest(TWriteThread& worker,
                 const std::variant<comm::LineRequest, platform::SerialDcb>& request) {
    if (const auto* lines = std::get_if<comm::LineRequest>(&request))
        return worker.PostLines(*lines);
    return worker.PostDcb(std::get<platform::SerialDcb>(request));
}

template <class Handler, class... Args> void Raise(const Handler& handler, Args... args) {
    if (handler) {
        Handler copy = handler; // the handler may replace itself
        copy(args...);
    }
}

} // namespace

// ---- sub-objects --------------------------------------------------------------

void VOXComm32Signals::Assign(const VOXComm32Signals& source) {
    m_ctsHandshake = source.m_ctsHandshake;
    m_dsrHandshake = source.m_dsrHandshake;
    m_dtrControl = source.m_dtrControl;
    m_dtr = source.m_dtr;
    m_rtsControl = source.m_rtsControl;
    m_rts = source.m_rts;
    m_owner->UpdateDCB2();
}

void VOXComm32Signals::SetDTR(bool value) {
    m_dtr = value;
    if (m_owner->IsCommOpen())
        m_owner->ApplyDTR();
}

void VOXComm32Signals::SetDTRControl(VOxaSignalControl_DTR value) {
    if (value == m_dtrControl)
        return;
    m_dtrControl = value;
    m_owner->UpdateDCB2();
}

void VOXComm32Signals::SetRTS(bool value) {
    m_rts = value;
    if (m_owner->IsCommOpen())
        m_owner->ApplyRTS();
}

void VOXComm32Signals::SetRTSControl(VOxaSignalControl_RTS value) {
    if (value == m_rtsControl)
        return;
    m_rtsControl = value;
    m_owner->UpdateDCB2();
}

void VOXComm32Signals::SetCTSHandshake(bool value) {
    if (value == m_ctsHandshake)
        return;
    m_ctsHandshake = value;
    m_owner->UpdateDCB2();
}

void VOXComm32Signals::SetDSRHandshake(bool value) {
    if (value == m_dsrHandshake)
        return;
    m_dsrHandshake = value;
    m_owner->UpdateDCB2();
}

void VOXComm32Signals::SetXOnOffTransmit(bool value) {
    if (value == m_xOnOffTransmit)
        return;
    m_xOnOffTransmit = value;
    m_owner->UpdateDCB();
}

void VOXComm32Signals::SetXOnOffReceive(bool value) {
    if (value == m_xOnOffReceive)
        return;
    m_xOnOffReceive = value;
    m_owner->UpdateDCB();
}

void VOXComm32Chars::Assign(const VOXComm32Chars& source) {
    m_xOn = source.m_xOn;
    m_xOff = source.m_xOff;
    m_evt = source.m_evt;
    m_owner->UpdateDCB();
}

void VOXComm32Options::Assign(const VOXComm32Options& source) {
    m_enhancedName = source.m_enhancedName;
    m_skipEvents = source.m_skipEvents;
}

void VOXComm32Timeouts::Assign(const VOXComm32Timeouts& source) {
    for (int i = 0; i < 5; ++i)
        m_values[i] = source.m_values[i];
    m_owner->UpdateDCB2();
}

uint32_t VOXComm32Timeouts::GetTimeout(int index) const {
    if (index < 0 || index > 4)
        throw std::out_of_range("VOXComm32Timeouts index out of range");
    return m_values[index];
}

void VOXComm32Timeouts::SetTimeout(int index, uint32_t value) {
    if (index < 0 || index > 4)
        throw std::out_of_range("VOXComm32Timeouts index out of range");
    if (m_values[index] == value)
        return;
    m_values[index] = value;
    m_owner->UpdateDCB2();
}

uint32_t VOXComm32Timeouts::ModemPollPeriod() const {
    return m_owner->ModemPollPeriod();
}

void VOXComm32Timeouts::SetModemPollPeriod(uint32_t value) {
    m_owner->SetModemPollPeriod(value);
}

// ---- the workers' side of the component ---------------------------------------

struct TVOXComm32::OpenJob {
    // Given by the window's thread.
    uint64_t generation = 0;
    QString device;   // the name opened
    QString portName; // CommPort, for the traces
    std::unique_ptr<platform::SerialLine> line;
    DcbSettings settings;
    platform::SerialTimeouts timeouts;
    // Filled on the opener thread.
    bool dropped = false; // dropped before it opened
    int error = 0;
    QString driverName;
    platform::SerialDcb dcb; // the block written
};

// Called on the workers' threads: the trace operations are safe for that, and
// the window's queue takes posts from any thread.
class TVOXComm32::WorkerLink final : public comm::WorkerHost {
public:
    explicit WorkerLink(TVOXComm32& owner) : m_owner(owner) {}
    void TraceText(const QString& text) override { m_owner.TraceText(text); }
    void TraceError(int error, const QString& text) override { m_owner.TraceError(error, text); }
    void TraceDebugOutput(const QString& text) override { m_owner.TraceDebugOutput(text); }
    void Post(TNotifyMessage* message) override { m_owner.m_notifyWindow->Post(message); }

private:
    TVOXComm32& m_owner;
};

// ---- construction -------------------------------------------------------------

TVOXComm32::TVOXComm32(QObject* owner)
    : VOxaCommunicationComponent(owner), m_modemPoll(platform::GetTickCount()) {
    m_signals = std::make_unique<VOXComm32Signals>(this);
    m_chars = std::make_unique<VOXComm32Chars>(this);
    m_options = std::make_unique<VOXComm32Options>();
    m_timeouts = std::make_unique<VOXComm32Timeouts>(this);
    m_notifyWindow =
        std::make_unique<TNotifyWindow>([this](TNotifyMessage* m) { HandleNotifyMessage(m); });
    m_workerLink = std::make_unique<WorkerLink>(*this);
    m_opener = std::make_unique<comm::PortOpener>();
    // Through the setter while CommPort has no name yet, so nothing opens.
    SetAutoReconnect(true);
    m_commPort = QStringLiteral("COM1");
}

TVOXComm32::~TVOXComm32() {
    StopComm();
    // An open that came back after it was dropped has its line closed on the
    // opener thread, which ends once that and what it still runs are done.
    m_notifyWindow->DispatchPosted(PWM_PortOpened);
    m_opener.reset();
    // Deliver what is still queued for the notify window, so a state handler
    // learns of the close made above while the component is still whole.
    m_notifyWindow->DispatchPending();
    m_notifyWindow.reset();
    m_timeouts.reset();
    m_options.reset();
    m_chars.reset();
    m_signals.reset();
}

QObject* TVOXComm32::NotifyWindow() const {
    return m_notifyWindow.get();
}

// ---- properties ------------------------------------------------------------------

void TVOXComm32::SetAutoReconnect(bool value) {
    const bool openNow = value && !m_commPort.isEmpty() && !IsCommOpen();
    if (value == m_autoReconnect && !openNow)
        return;
    m_autoReconnect = value;
    if (openNow && !IsLoading())
        StartComm();
}

void TVOXComm32::SetCommPort(const QString& value) {
    if (value == m_commPort && IsCommOpen())
        return;
    if (!IsLoading() && (IsCommOpen() || m_autoReconnect)) {
        StopComm();
        m_commPort = value;
        StartComm();
    } else if (value != m_commPort) {
        StopComm();
        m_commPort = value;
    }
}

// Rule for the line parameters: store; reconfigure an open port, or open a
// closed one when AutoReconnect is on.
#define VOX_LINE_SETTER(Name, Type, field)                                                         \
    void TVOXComm32::Set##Name(Type value) {                                                       \
        if (value == field)                                                                        \
            return;                                                                                \
        field = value;                                                                             \
        if (IsLoading())                                                                           \
            return;                                                                                \
        if (IsCommOpen())                                                                          \
            UpdateDCB2();                                                                          \
        else if (m_autoReconnect)                                                                  \
            StartComm();                                                                           \
        else                                                                                       \
            DropPendingOpen(); /* it would open with the old settings */                           \
    }

VOX_LINE_SETTER(BaudRate, TBaudRate, m_baudRate)
VOX_LINE_SETTER(Parity, TParity, m_parity)
VOX_LINE_SETTER(DataBits, TDataBits, m_dataBits)
VOX_LINE_SETTER(StopBits, TStopBits, m_stopBits)
#undef VOX_LINE_SETTER

void TVOXComm32::SetGrab(VOxaCommGrabCommand value) {
    PerformGrabCommand(value);
}

void TVOXComm32::SetOnStateChange(TEventChangeState handler) {
    m_onStateChange = std::move(handler);
    PostState(CommStateFirst);
}

void TVOXComm32::SetOnAdvancedStateChange(TAdvancedEventChangeState handler) {
    m_onAdvancedStateChange = std::move(handler);
    PostState(CommStateFirst);
}

void TVOXComm32::Assign(const TVOXComm32& source) {
    SetAutoReconnect(source.m_autoReconnect);
    SetBaudRate(source.m_baudRate);
    SetDataBits(source.m_dataBits);
    m_options->Assign(*source.m_options);
    SetParity(source.m_parity);
    m_signals->Assign(*source.m_signals);
    m_chars->Assign(*source.m_chars);
    SetStopBits(source.m_stopBits);
    m_timeouts->Assign(*source.m_timeouts);
    SetTreatMainChannelAsNil(source.TreatMainChannelAsNil());
    SetOnReceiveData(source.GetOnReceiveData());
    SetOnStateChange(source.GetOnStateChange());
    SetOnAdvancedReceiveData(source.GetOnAdvancedReceiveData());
    SetOnAdvancedStateChange(source.GetOnAdvancedStateChange());
    OnRequestHangup = source.OnRequestHangup;
    OnBreak = source.OnBreak;
    OnChangedCTS = source.OnChangedCTS;
    OnChangedDSR = source.OnChangedDSR;
    OnErrorFrame = source.OnErrorFrame;
    OnErrorOverrun = source.OnErrorOverrun;
    OnErrorParity = source.OnErrorParity;
    OnErrorBreak = source.OnErrorBreak;
    OnErrorOther = source.OnErrorOther;
    OnRing = source.OnRing;
    OnChangedRLSD = source.OnChangedRLSD;
    OnRxChar = source.OnRxChar;
    OnRxFlag = source.OnRxFlag;
    OnTxEmpty = source.OnTxEmpty;
}

void TVOXComm32::Loaded() {
    VOxaCommunicationComponent::Loaded();
    if (m_autoReconnect)
        StartComm();
    PostState(CommStateFirst);
}

TCommState TVOXComm32::GetConnectionState() const {
    switch (m_portState) {
    case PortNone:
        return CommStateDisconnected;
    case PortInvalid:
        return CommStateFailed;
    default:
        return CommStateConnected;
    }
}

// ---- device control block --------------------------------------------------------

TVOXComm32::DcbSettings TVOXComm32::TakeDcbSettings() const {
    DcbSettings s;
    s.dtrControl = m_signals->DTRControl();
    s.rtsControl = m_signals->RTSControl();
    s.ctsHandshake = m_signals->CTSHandshake();
    s.dsrHandshake = m_signals->DSRHandshake();
    s.xOnOffTransmit = m_signals->XOnOffTransmit();
    s.xOnOffReceive = m_signals->XOnOffReceive();
    s.xOn = m_chars->XOn();
    s.xOff = m_chars->XOff();
    s.evt = m_chars->Evt();
    s.baudRate = BaudRateValue(m_baudRate);
    s.parity = static_cast<uint8_t>(m_parity);
    s.byteSize = kByteSizes[static_cast<int>(m_dataBits)];
    s.stopBits = static_cast<uint8_t>(m_stopBits);
    return s;
}

platform::SerialTimeouts TVOXComm32::TakeTimeouts() const {
    platform::SerialTimeouts timeouts;
    timeouts.ReadIntervalTimeout = m_timeouts->ReadInterval();
    timeouts.ReadTotalTimeoutConstant = m_timeouts->ReadTotalConst();
    timeouts.ReadTotalTimeoutMultiplier = m_timeouts->ReadTotalMult();
    timeouts.WriteTotalTimeoutConstant = m_timeouts->WriteTotalConst();
    timeouts.WriteTotalTimeoutMultiplier = m_timeouts->WriteTotalMult();
    return timeouts;
}

void TVOXComm32::FillDcb(const DcbSettings& s, platform::SerialDcb& dcb) {
    dcb.setFlags(0x81); // fBinary | fTXContinueOnXoff
    dcb.fDtrControl = s.dtrControl;
    dcb.fRtsControl = s.rtsControl;
    dcb.fOutxCtsFlow = s.ctsHandshake;
    dcb.fOutxDsrFlow = s.dsrHandshake;
    dcb.fOutX = s.xOnOffTransmit;
    dcb.fInX = s.xOnOffReceive;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.XonChar = s.xOn;
    dcb.XoffChar = s.xOff;
    dcb.EvtChar = s.evt;
    dcb.BaudRate = s.baudRate;
    dcb.Parity = s.parity;
    dcb.ByteSize = s.byteSize;
    dcb.StopBits = s.stopBits;
}

void TVOXComm32::BuildDCB(platform::SerialDcb& dcb) const {
    dcb = platform::SerialDcb{};
    dcb.DCBlength = sizeof(platform::SerialDcb);
    if (m_port && m_port->isOpen())
        (void)m_port->readDcb(dcb);
    FillDcb(TakeDcbSettings(), dcb);
}

bool TVOXComm32::ConfigureLine(platform::SerialLine& line, const DcbSettings& settings,
                               const platform::SerialTimeouts& timeouts,
                               platform::SerialDcb& applied) {
    line.setTimeouts(timeouts);
    applied = platform::SerialDcb{};
    applied.DCBlength = sizeof(platform::SerialDcb);
    (void)line.readDcb(applied);
    FillDcb(settings, applied);
    return line.applyDcb(applied) == 0;
}

bool TVOXComm32::ApplyDCB(const platform::SerialDcb& dcb, bool keepRtsControl) {
    for (int i = 0; i < kBaudRateCount; ++i)
        if (kBaudRateValues[i] == dcb.BaudRate)
            m_baudRate = static_cast<TBaudRate>(i);
    if (dcb.Parity <= 4)
        m_parity = static_cast<TParity>(dcb.Parity);
    if (dcb.ByteSize >= 4 && dcb.ByteSize <= 8)
        m_dataBits = static_cast<TDataBits>(dcb.ByteSize - 4);
    if (dcb.StopBits <= 2)
        m_stopBits = static_cast<TStopBits>(dcb.StopBits);
    if (dcb.fDtrControl <= 2)
        m_signals->m_dtrControl = static_cast<VOxaSignalControl_DTR>(dcb.fDtrControl);
    m_signals->m_xOnOffTransmit = dcb.fOutX;
    m_signals->m_xOnOffReceive = dcb.fInX;
    if (!keepRtsControl)
        m_signals->m_rtsControl = static_cast<VOxaSignalControl_RTS>(dcb.fRtsControl & 3);
    return UpdateDCB();
}

bool TVOXComm32::UpdateDCB() {
    if (!IsCommOpen()) {
        DropPendingOpen(); // it would open with the old settings
        return false;
    }
    TraceProgress(QStringLiteral("UpdateDCB(") + m_commPort + QStringLiteral(") pred"));
    // Reading the settings back asks only the kernel; writing them can wait
    // for the device, which the write worker does (the lines the block fixes
    // follow it there).
    m_port->setTimeouts(TakeTimeouts());
    platform::SerialDcb dcb;
    BuildDCB(dcb);
    const bool ok = RequestOfWorker(dcb);
    RequestBlockLines(dcb);
    TraceProgress(QStringLiteral("UpdateDCB(") + m_commPort + QStringLiteral(") po"));
    return ok;
}

void TVOXComm32::RequestBlockLines(const platform::SerialDcb& dcb) {
    // What the tty has no flag for, the component provides itself.
    comm::LineControls::Wanted wanted;
    wanted.rtsToggle = dcb.fRtsControl == platform::kRtsControlToggle;
    wanted.dsrHandshake = dcb.fOutxDsrFlow;
    wanted.dtrHandshake = dcb.fDtrControl == platform::kDtrControlHandshake;
    wanted.dtrNeverDropped = platform::driverNameMatches(m_driverName.toStdString(), "USBSER00");
    wanted.pollMs = m_modemPoll.Period();
    comm::LineRequest lines;
    lines.choose = true;
    lines.wanted = wanted;
    // Writing the block sets the lines its control fields fix, as the
    // classic driver does; DTR is never dropped on a USB modem driver.
    if (dcb.fDtrControl == platform::kDtrControlEnable)
        lines.dtr = 1;
    else if (dcb.fDtrControl == platform::kDtrControlDisable &&
             !platform::driverNameMatches(m_driverName.toStdString(), "USBSER00"))
        lines.dtr = 0;
    if (dcb.fRtsControl == platform::kRtsControlEnable)
        lines.rts = 1;
    else if (dcb.fRtsControl == platform::kRtsControlDisable)
        lines.rts = 0;
    RequestLines(lines);
}

bool TVOXComm32::UpdateDCB2() {
    TraceProgress(QStringLiteral("UpdateDCB2(") + m_commPort + QStringLiteral(") pred"));
    const bool ok = UpdateDCB();
    TraceProgress(QStringLiteral("UpdateDCB2(") + m_commPort + QStringLiteral(") mezi"));
    if (IsCommOpen()) {
        ApplyDTR();
        ApplyRTS();
    }
    TraceProgress(QStringLiteral("UpdateDCB2(") + m_commPort + QStringLiteral(") po"));
    return ok;
}

bool TVOXComm32::ApplyDTR() {
    // Under the handshake the receive side drives DTR (comm/VOXComm32Lines.h).
    if (m_signals->DTRControl() == VOxaSignalControl_DTRHandshake)
        return true;
    // USB modem firmwares often stop sending when DTR drops: never clear it there.
    const bool on =
        m_signals->DTR() || platform::driverNameMatches(m_driverName.toStdString(), "USBSER00");
    comm::LineRequest lines;
    lines.dtr = on ? 1 : 0;
    RequestLines(lines);
    return true;
}

bool TVOXComm32::ApplyRTS() {
    // Toggled RTS belongs to the sending (comm/VOXComm32Lines.h).
    if (m_signals->RTSControl() == VOxaSignalControl_RTSToggle)
        return true;
    comm::LineRequest lines;
    lines.rts = m_signals->RTS() ? 1 : 0;
    RequestLines(lines);
    return true;
}

bool TVOXComm32::RequestOfWorker(const WorkerRequest& request) {
    if (!IsCommOpen())
        return false;
    if (!m_writeThread) {
        m_pendingRequests.push_back(request);
        return true;
    }
    // A worker that ended after a failed write takes nothing more; the port
    // closes as failed then anyway.
    return PostRequest(*m_writeThread, request);
}

std::unique_ptr<platform::SerialLine> TVOXComm32::CreateSerialLine() {
    return std::make_unique<platform::SerialDevice>();
}

bool TVOXComm32::RunCommConfigDialog(platform::SerialDcb& dcb, bool& cancelled) {
    // Linux has no system dialog: the component's own port dialog stands in,
    // and the block then carries the settings it applied.
    cancelled = !ShowPortDialog(QString());
    if (cancelled)
        return false;
    BuildDCB(dcb);
    return true;
}

bool TVOXComm32::ShowCommConfigDialog() {
    platform::SerialDcb dcb;
    BuildDCB(dcb);
    bool readOk = false;
    if (IsCommOpen())
        readOk = m_port->readDcb(dcb) == 0;
    bool cancelled = false;
    if (RunCommConfigDialog(dcb, cancelled))
        return ApplyDCB(dcb, false);
    if (cancelled)
        return true;
    return readOk;
}

// ---- state delivery ------------------------------------------------------------

void TVOXComm32::PostState(TCommState state) {
    if (m_suppressStateNotify || !m_notifyWindow)
        return;
    m_notifyWindow->Post(PWM_StateChanged, state, 0);
}

void TVOXComm32::HandleStateChanged(TCommState state) {
    if (!m_onStateChange && !m_onAdvancedStateChange)
        return;
    if (state == CommStateFirst)
        state = GetConnectionState();
    // A port that fails before its open was reported (a cable pulled as the
    // port opened: the worker's hang-up is handled ahead of the open's
    // report) did connect: when the state reported last was a failure, the
    // owner hears "connected" and then the new failure, which it reconnects
    // on, instead of nothing.
    const bool openUnheard = std::exchange(m_openUnheard, false);
    if (openUnheard && state == CommStateFailed && m_lastState == CommStateFailed) {
        m_lastState = CommStateConnected;
        Raise(m_onStateChange, static_cast<QObject*>(this), CommStateConnected);
        Raise(m_onAdvancedStateChange, static_cast<QObject*>(this), static_cast<QObject*>(this),
              CommStateConnected);
    }
    if (state == m_lastState)
        return;
    m_lastState = state;
    Raise(m_onStateChange, static_cast<QObject*>(this), state);
    Raise(m_onAdvancedStateChange, static_cast<QObject*>(this), static_cast<QObject*>(this), state);
}

void TVOXComm32::HandleNotifyMessage(QEvent* event) {
    auto* message = static_cast<TNotifyMessage*>(event);
    switch (message->Message) {
    case PWM_ReceivedData: {
        // The block goes with the event once the handler has returned.
        auto* data = static_cast<TReceivedDataMessage*>(message);
        // From here on the worker adds nothing to this block.
        const uint16_t count = m_receiveFlow ? m_receiveFlow->Take(data) : data->Count();
        DoReceiveData(data->Data(), count, data->Times());
        break;
    }
    case PWM_RequestHangup:
        if (message->WParam != 0)
            CloseComm(true, true, QStringLiteral("PWM_RequestHangup"));
        else
            DoRequestHangup();
        break;
    case PWM_StateChanged:
        HandleStateChanged(static_cast<TCommState>(message->WParam));
        break;
    case PWM_CommEvent:
        HandleCommEvent(uint32_t(message->WParam), uint32_t(message->LParam));
        break;
    case PWM_PollModemStatus:
        // The read worker could not read the modem status any more.
        if (message->WParam != 0)
            CloseComm(true, true, QStringLiteral("Fail GetCommModemStatus"));
        break;
    case PWM_GrabChanged:
        HandleGrabChanged();
        break;
    case PWM_PortOpened:
        HandlePortOpened(
            std::static_pointer_cast<OpenJob>(static_cast<TPortOpenedMessage*>(message)->Job));
        break;
    default:
        break;
    }
}

void TVOXComm32::DoRequestHangup() {
    Raise(OnRequestHangup, static_cast<QObject*>(this));
}

void TVOXComm32::HandleCommEvent(uint32_t mask, uint32_t value) {
    QObject* self = this;
    uint32_t errors = value >> 16;
    const uint32_t status = value & 0xFFFF;
    if (mask & EV_BREAK)
        Raise(OnBreak, self);
    if (errors != 0 && (mask & EV_ERR)) {
        if (errors & CE_FRAME) {
            Raise(OnErrorFrame, self);
            errors &= ~CE_FRAME;
        }
        if (errors & CE_OVERRUN) {
            Raise(OnErrorOverrun, self);
            errors &= ~CE_OVERRUN;
        }
        if (errors & CE_RXPARITY) {
            Raise(OnErrorParity, self);
            errors &= ~CE_RXPARITY;
        }
        if (errors & CE_BREAK) {
            Raise(OnErrorBreak, self);
            errors &= ~CE_BREAK;
        }
        if (errors)
            Raise(OnErrorOther, self, errors);
    }
    ModemStatusChanged(status);
    if (mask & EV_RXCHAR)
        Raise(OnRxChar, self);
    if (mask & EV_RXFLAG)
        Raise(OnRxFlag, self);
    if (mask & EV_TXEMPTY)
        Raise(OnTxEmpty, self);
}

void TVOXComm32::ModemStatusChanged(uint32_t status) {
    if (status == m_modemStatus)
        return;
    const uint32_t old = m_modemStatus;
    m_modemStatus = status;
    const uint32_t changed = old ^ status;
    QObject* self = this;
    if (changed & MS_CTS_ON)
        Raise(OnChangedCTS, self, (status & MS_CTS_ON) != 0);
    if (changed & MS_DSR_ON)
        Raise(OnChangedDSR, self, (status & MS_DSR_ON) != 0);
    if (changed & MS_RING_ON)
        Raise(OnRing, self, (status & MS_RING_ON) != 0);
    if (changed & MS_RLSD_ON)
        Raise(OnChangedRLSD, self, (status & MS_RLSD_ON) != 0);
}

bool TVOXComm32::ReceiveOverBound() const {
    return m_receiveFlow && m_receiveFlow->OverBound();
}

int TVOXComm32::ReceiveUnhandled() const {
    return m_receiveFlow ? m_receiveFlow->Unhandled() : 0;
}

// ---- driver name ---------------------------------------------------------------

std::vector<platform::SerialPortEntry> TVOXComm32::ReadPortMap() const {
    return platform::serialPortMap();
}

QString TVOXComm32::LookupDriverName(const QString& portName) const {
    QString name = portName;
    if (name.startsWith(kEnhancedPrefix))
        name = name.mid(4);
    QString result = QStringLiteral("?");
    try {
        const std::string target = name.toLocal8Bit().toStdString();
        // A name given as a path (or a link to the port) finds its entry
        // through the device node it resolves to.
        const std::string targetPath =
            platform::resolvedPath(platform::SerialDevice::devicePath(target));
        const std::vector<platform::SerialPortEntry> entries = ReadPortMap();
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            bool match = it->portName == target;
            if (!match && !targetPath.empty())
                match = targetPath == platform::resolvedPath("/dev/" + it->portName);
            if (match) {
                result = QString::fromLocal8Bit(it->deviceName.c_str());
                break;
            }
        }
    } catch (...) {
        return QStringLiteral("__INVALID__");
    }
    result = result.toUpper();
    if (result.startsWith(QStringLiteral("\\DEVICE\\")))
        result = result.mid(8);
    return result;
}

// ---- open / close --------------------------------------------------------------

bool TVOXComm32::StartComm() {
    return StartCommInternal(false);
}

void TVOXComm32::StartCommAsync(std::function<void(bool opened)> done) {
    std::shared_ptr<OpenJob> job = PrepareOpen(false);
    m_openPending = true;
    m_openDone = std::move(done);
    m_opener->Post([this, job] {
        RunOpen(*job);
        if (job->dropped)
            return;
        if (job->generation != m_openGeneration.load()) {
            // Dropped while it opened: the line is given up here, never used.
            if (job->line->isOpen())
                job->line->close();
            return;
        }
        m_notifyWindow->Post(new TPortOpenedMessage(job));
    });
}

void TVOXComm32::CancelStartComm() {
    DropPendingOpen();
}

void TVOXComm32::DropPendingOpen() {
    if (!m_openPending)
        return;
    ++m_openGeneration;
    m_openPending = false;
    m_openDone = nullptr;
}

void TVOXComm32::StopComm() {
    CloseComm(false, true, QStringLiteral("StopComm"));
}

void TVOXComm32::FailOpen(bool closeDevice) {
    if (closeDevice && m_port)
        m_port->close();
    m_lineControls.reset();
    m_port.reset();
    m_portState = PortInvalid;
    PostState(CommStateFirst);
}

bool TVOXComm32::StartCommInternal(bool fromGrab) {
    std::shared_ptr<OpenJob> job = PrepareOpen(fromGrab);
    // Behind an open that was dropped and may still be under way: the port is
    // never opened twice at once.
    m_opener->Run([this, &job] { RunOpen(*job); });
    return FinishOpen(*job, fromGrab);
}

std::shared_ptr<TVOXComm32::OpenJob> TVOXComm32::PrepareOpen(bool fromGrab) {
    SetLastError(0);
    DropPendingOpen();
    if (IsCommOpen()) {
        // Reopening reports no intermediate "disconnected".
        m_suppressStateNotify = true;
        CloseComm(false, !fromGrab, QStringLiteral("StartComm2"));
        m_suppressStateNotify = false;
    }
    auto job = std::make_shared<OpenJob>();
    job->generation = ++m_openGeneration;
    job->portName = m_commPort;
    job->device = m_commPort;
    const bool enhanced =
        m_options->EnhancedName() == TristateTrue || m_options->EnhancedName() == TristateUnkn;
    if (enhanced && !job->device.startsWith(kEnhancedPrefix))
        job->device = kEnhancedPrefix + job->device;
    job->line = CreateSerialLine();
    job->settings = TakeDcbSettings();
    job->timeouts = TakeTimeouts();
    return job;
}

void TVOXComm32::RunOpen(OpenJob& job) {
    // Runs on the opener thread: it reads nothing of the component but the
    // job, the port map and the open count, and traces.
    if (job.generation != m_openGeneration.load()) {
        job.dropped = true;
        return;
    }
    // Opening also checks that the node is a tty and locks it exclusively.
    job.error = job.line->open(job.device.toLocal8Bit().toStdString());
    if (job.error != 0)
        return;
    // The driver only once the port is there: the retries while a cable is
    // out would each walk every tty of the machine.
    job.driverName = LookupDriverName(job.device);
    if (job.generation != m_openGeneration.load())
        return; // dropped meanwhile: no settings for a line nobody uses
    // The first settings, as UpdateDCB2 writes them; the lines they fix are
    // asked for once the port is the component's.
    TraceProgress(QStringLiteral("UpdateDCB2(") + job.portName + QStringLiteral(") pred"));
    TraceProgress(QStringLiteral("UpdateDCB(") + job.portName + QStringLiteral(") pred"));
    (void)ConfigureLine(*job.line, job.settings, job.timeouts, job.dcb);
}

void TVOXComm32::HandlePortOpened(const std::shared_ptr<OpenJob>& job) {
    if (job->generation != m_openGeneration.load()) {
        DiscardOpen(job);
        return;
    }
    m_openPending = false;
    const std::function<void(bool)> done = std::exchange(m_openDone, nullptr);
    bool opened = false;
    try {
        opened = FinishOpen(*job, false);
    } catch (const ECommsError&) {
        // The workers could not be started: the open failed.
        opened = false;
    }
    if (done)
        done(opened);
}

void TVOXComm32::DiscardOpen(const std::shared_ptr<OpenJob>& job) {
    if (!job->line || !job->line->isOpen())
        return;
    if (m_opener)
        m_opener->Post([job] { job->line->close(); });
    else
        job->line->close();
}

bool TVOXComm32::FinishOpen(OpenJob& job, bool fromGrab) {
    if (job.error != 0) {
        TraceError(job.error,
                   QStringLiteral("Cannot open ") + job.device + QStringLiteral(", error "));
        SetLastError(job.error);
        m_driverName.clear();
        FailOpen(false);
        return false;
    }
    m_driverName = job.driverName;
    m_port = std::move(job.line);
    m_lineControls = std::make_unique<comm::LineControls>(*m_port);
    m_portState = PortOpen;
    m_modemPoll.Restart();
    m_pendingRequests.clear();

    // The rest of UpdateDCB2 for the block the opener thread wrote.
    RequestBlockLines(job.dcb);
    TraceProgress(QStringLiteral("UpdateDCB(") + m_commPort + QStringLiteral(") po"));
    TraceProgress(QStringLiteral("UpdateDCB2(") + m_commPort + QStringLiteral(") mezi"));
    ApplyDTR();
    ApplyRTS();
    TraceProgress(QStringLiteral("UpdateDCB2(") + m_commPort + QStringLiteral(") po"));

    m_closeEvent = std::make_unique<platform::Event>();
    if (!m_closeEvent->valid()) {
        StopComm();
        return false;
    }

    TraceProgress(QStringLiteral("Creating ReadThread for ") + m_commPort);
    m_receiveFlow = std::make_unique<comm::ReceiveFlow>(m_maxReceiveUnhandled);
    try {
        m_readThread = std::make_unique<TReadThread>();
        m_readThread->Flow = m_receiveFlow.get();
        m_readThread->Lines = m_lineControls.get();
        m_readThread->Poll = &m_modemPoll;
        m_readThread->ModemStatus = m_modemStatus;
        m_readThread->Host = m_workerLink.get();
        m_readThread->PortHandle = m_port.get();
        m_readThread->CloseEvent = m_closeEvent.get();
        m_readThread->DriverName = m_driverName;
        m_readThread->SkipEvents = m_options->SkipEvents();
        m_readThread->EvtChar = m_chars->Evt();
        m_readThread->SetPriority(5);
        m_readThread->Resume();
    } catch (...) {
        StopComm();
        throw ECommsError(QStringLiteral("Unable to create Read thread"));
    }
    TraceProgress(QStringLiteral("ReadThread go for ") + m_commPort);

    try {
        m_writeThread = std::make_unique<TWriteThread>();
        m_writeThread->Host = m_workerLink.get();
        m_writeThread->PortHandle = m_port.get();
        m_writeThread->Lines = m_lineControls.get();
        m_writeThread->CloseEvent = m_closeEvent.get();
        // What was asked of the device while the port opened (the lines the
        // settings fix) goes first, before anything is written.
        for (const WorkerRequest& request : m_pendingRequests)
            (void)PostRequest(*m_writeThread, request);
        m_pendingRequests.clear();
        m_writeThread->SetPriority(4);
        m_writeThread->Resume();
    } catch (...) {
        StopComm();
        throw ECommsError(QStringLiteral("Unable to create Write thread"));
    }

    if (!fromGrab)
        PerformGrabCommand(m_grab);

    m_openUnheard = true;
    PostState(CommStateFirst);
    return true;
}

void TVOXComm32::CloseComm(bool failed, bool releaseGrab, const QString& reason) {
    DropPendingOpen();
    TraceProgress(QStringLiteral("Stopping the Comm at ") + m_commPort +
                  QStringLiteral(" because ") + reason);
    if (releaseGrab) {
        PerformGrabCommand(vocgcNoneOnce);
        ReleaseGrabMapping();
    }
    if (m_portState == PortInvalid)
        m_portState = PortNone;
    if (m_closeEvent) {
        m_closeEvent->set();
        TraceProgress(QStringLiteral("Close event set"));
    }
    CloseReadThread();
    CloseWriteThread();
    m_closeEvent.reset();
    m_pendingRequests.clear();

    // Everything read from the port reaches the owner before the close: the
    // read worker has handed its last chunk over, and the blocks still
    // queued are delivered now. Not so when a receive handler asked for the
    // close: it wants nothing more. A handler that closes the port while the
    // rest is handed over has closed it already.
    const uint64_t closes = m_closes;
    if (!InReceiveHandler())
        m_notifyWindow->DispatchPosted(PWM_ReceivedData);
    if (closes != m_closes)
        return;
    // Nothing else of the closed port is delivered after the close: the
    // workers' requests would otherwise act on a port opened later.
    m_notifyWindow->RemovePosted(PWM_ReceivedData);
    m_notifyWindow->RemovePosted(PWM_RequestHangup);
    m_notifyWindow->RemovePosted(PWM_CommEvent);
    m_notifyWindow->RemovePosted(PWM_PollModemStatus);
    m_receiveFlow.reset();
    ++m_closes;

    m_driverName.clear();
    m_lineControls.reset();
    if (m_port) {
        m_port->close();
        m_port.reset();
    }
    if (failed) {
        m_portState = PortInvalid;
        PostState(CommStateFailed);
    } else {
        m_portState = PortNone;
        PostState(CommStateDisconnected);
    }
}

void TVOXComm32::CloseReadThread() {
    if (!m_readThread)
        return;
    TraceProgress(QStringLiteral("Closing ReadThread ") +
                  QString::number(m_readThread->ThreadID()));
    // The close event ends the worker's wait; its input is not purged: what
    // it has read it hands over, and takes what the driver holds besides.
    TraceProgress(QStringLiteral("Closing Read Thread "));
    if (!m_readThread->WaitFor(10000)) {
        TraceProgress(QStringLiteral("Read thread not exiting.  Terminating it."));
        m_readThread->Terminate();
    }
    m_readThread.reset(); // waits until the thread has ended
}

void TVOXComm32::CloseWriteThread() {
    if (m_writeThread) {
        TraceProgress(QStringLiteral("Closing Write Thread"));
        if (m_port)
            m_port->purge(platform::kPurgeTxAbort | platform::kPurgeTxClear);
        m_writeThread->PostThreadMessage(PWM_WriteData, 0, nullptr);
        if (!m_writeThread->WaitFor(10000)) {
            TraceProgress(QStringLiteral("Write thread not exiting.  Terminating it."));
            m_writeThread->Terminate();
        }
        m_writeThread.reset(); // waits, then frees whatever is still queued
    }
    TraceProgress(QStringLiteral("Threads closed"));
}

bool TVOXComm32::WriteCommData(const char* data, int count) {
    if (!m_writeThread) {
        TraceProgress(QStringLiteral("Write thread not created"));
        return false;
    }
    if (count < 0 || (count > 0 && !data))
        return false;
    char* block = comm::AllocBlock(size_t(count) + 1);
    if (!block)
        return false;
    if (count > 0)
        std::memcpy(block, data, size_t(count));
    block[count] = 0;
    // A worker started a moment ago may not have its queue yet.
    while (!m_writeThread->Ready() && !m_writeThread->Terminated())
        std::this_thread::yield();
    if (m_writeThread->PostThreadMessage(PWM_WriteData, uint32_t(count), block))
        return true;
    TraceProgress(QStringLiteral("Failed to Post to Write thread. "));
    comm::FreeBlock(block);
    return false;
}

// The port-sharing hooks (PerformGrabCommand, ReleaseGrabMapping,
// HandleGrabChanged) are in VOXComm32Grab.cpp.
