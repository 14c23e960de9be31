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
#include "comm/VOXComm32Threads.h"
#include "platform/File.h"
#include "platform/SerialDevice.h"
#include "platform/Ticks.h"
#include "util/Ticks.h"

namespace {

const QString kEnhancedPrefix = QStringLiteral("\\\\?\\");

// Byte size of each TDataBits: the 4-bit setting is sent as 8 data bits.
constexpr uint8_t kByteSizes[5] = {8, 5, 6, 7, 8};

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
    // Through the setter while CommPort has no name yet, so nothing opens.
    SetAutoReconnect(true);
    m_commPort = QStringLiteral("COM1");
}

TVOXComm32::~TVOXComm32() {
    StopComm();
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

void TVOXComm32::BuildDCB(platform::SerialDcb& dcb) const {
    dcb = platform::SerialDcb{};
    dcb.DCBlength = sizeof(platform::SerialDcb);
    if (m_port && m_port->isOpen())
        (void)m_port->readDcb(dcb);
    dcb.setFlags(0x81); // fBinary | fTXContinueOnXoff
    dcb.fDtrControl = m_signals->DTRControl();
    dcb.fRtsControl = m_signals->RTSControl();
    dcb.fOutxCtsFlow = m_signals->CTSHandshake();
    dcb.fOutxDsrFlow = m_signals->DSRHandshake();
    dcb.fOutX = m_signals->XOnOffTransmit();
    dcb.fInX = m_signals->XOnOffReceive();
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.XonChar = m_chars->XOn();
    dcb.XoffChar = m_chars->XOff();
    dcb.EvtChar = m_chars->Evt();
    dcb.BaudRate = BaudRateValue(m_baudRate);
    dcb.Parity = static_cast<uint8_t>(m_parity);
    dcb.ByteSize = kByteSizes[static_cast<int>(m_dataBits)];
    dcb.StopBits = static_cast<uint8_t>(m_stopBits);
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
    if (!IsCommOpen())
        return false;
    TraceProgress(QStringLiteral("UpdateDCB(") + m_commPort + QStringLiteral(") pred"));
    platform::SerialTimeouts timeouts = m_port->timeouts();
    timeouts.ReadIntervalTimeout = m_timeouts->ReadInterval();
    timeouts.ReadTotalTimeoutConstant = m_timeouts->ReadTotalConst();
    timeouts.ReadTotalTimeoutMultiplier = m_timeouts->ReadTotalMult();
    timeouts.WriteTotalTimeoutConstant = m_timeouts->WriteTotalConst();
    timeouts.WriteTotalTimeoutMultiplier = m_timeouts->WriteTotalMult();
    m_port->setTimeouts(timeouts);
    platform::SerialDcb dcb;
    BuildDCB(dcb);
    const bool ok = m_port->applyDcb(dcb) == 0;
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
    TraceProgress(QStringLiteral("UpdateDCB(") + m_commPort + QStringLiteral(") po"));
    return ok;
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

void TVOXComm32::RequestLines(const comm::LineRequest& request) {
    if (!IsCommOpen())
        return;
    if (!m_writeThread) {
        m_pendingLines.push_back(request);
        return;
    }
    // A worker that ended after a failed write takes nothing more; the port
    // closes as failed then anyway.
    (void)m_writeThread->PostLines(request);
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
    SetLastError(0);
    if (IsCommOpen()) {
        // Reopening reports no intermediate "disconnected".
        m_suppressStateNotify = true;
        CloseComm(false, !fromGrab, QStringLiteral("StartComm2"));
        m_suppressStateNotify = false;
    }

    QString device = m_commPort;
    const bool enhanced =
        m_options->EnhancedName() == TristateTrue || m_options->EnhancedName() == TristateUnkn;
    if (enhanced && !device.startsWith(kEnhancedPrefix))
        device = kEnhancedPrefix + device;
    std::unique_ptr<platform::SerialLine> port = CreateSerialLine();
    // Opening also checks that the node is a tty and locks it exclusively.
    if (int error = port->open(device.toLocal8Bit().toStdString())) {
        TraceError(error, QStringLiteral("Cannot open ") + device + QStringLiteral(", error "));
        SetLastError(error);
        m_driverName.clear();
        FailOpen(false);
        return false;
    }
    // The driver only once the port is there: the retries while a cable is
    // out would each walk every tty of the machine on the window's thread.
    m_driverName = LookupDriverName(device);
    m_port = std::move(port);
    m_lineControls = std::make_unique<comm::LineControls>(*m_port);
    m_portState = PortOpen;
    m_modemPoll.Restart();
    m_pendingLines.clear();

    UpdateDCB2();

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
        // The lines the settings fix go first, before anything is written.
        for (const comm::LineRequest& lines : m_pendingLines)
            m_writeThread->PostLines(lines);
        m_pendingLines.clear();
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
    m_pendingLines.clear();

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
