#include "comm/VOXComm32Threads.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "comm/VOXComm32Blocks.h"
#include "comm/VOXComm32Flow.h"
#include "comm/VOXComm32Host.h"
#include "comm/VOXComm32Lines.h"
#include "comm/VOXComm32ModemPoll.h"
#include "comm/VOXComm32Notify.h"
#include "platform/SerialPortMap.h"
#include "platform/Ticks.h"

namespace {

const char* const kInvalidHandleText =
    "ERROR_INVALID_HANDLE, Likely that the Service Provider has closed the port.";

// Milliseconds until deadline, clamped to [0, INT_MAX].
int until(int64_t deadline, int64_t now) {
    return int(std::clamp<int64_t>(deadline - now, 0, INT_MAX));
}

int minTimeout(int a, int b) {
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

constexpr int kCommEventPollMs = 10;
constexpr int kIdleWaitMs = 100;
// The port is looked at no more often than this while bytes keep coming.
constexpr int64_t kReadSpacingUs = 2000;
// A read that comes this soon after the spacing allowed it found bytes
// waiting: the line is dense, and the next read is made when the spacing
// ends, without asking the port first whether it has anything.
constexpr int64_t kDenseLateUs = 500;

int64_t steadyMicros() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

// ---- read worker --------------------------------------------------------------------

TReadThread::TReadThread() = default;

TReadThread::~TReadThread() {
    Finish();
}

uint32_t TReadThread::EventMask(const QString& driverName, VOXComm32SkipEvents skipEvents) {
    VOXComm32SkipEvents events(uint16_t((1u << kSkipEventCount) - 1));
    const std::string driver = driverName.toStdString();
    // Drivers that never report an empty transmitter, or that report breaks
    // they cannot deliver.
    if (platform::driverNameMatches(driver, "BTPORT"))
        events.Exclude(voceTXEMPTY);
    if (driver.rfind("S0016MDM", 0) == 0 || driver.rfind("S0016MGMT", 0) == 0 ||
        driver.rfind("S0016OBEX", 0) == 0)
        events.Exclude(voceTXEMPTY);
    if (platform::driverNameMatches(driver, "SILABSER"))
        events.Exclude(voceBreak);
    events.Mask &= uint16_t(~skipEvents.Mask);
    static const uint32_t kBits[kSkipEventCount] = {
        EV_BREAK, EV_CTS, EV_DSR, EV_ERR, EV_RING, EV_RLSD, EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};
    uint32_t mask = 0;
    for (int i = 0; i < kSkipEventCount; ++i)
        if (events.Contains(VOXComm32SkipEvent(i)))
            mask |= kBits[i];
    return mask;
}

void TReadThread::TraceText(const QString& text) {
    Host->TraceText(text);
}

void TReadThread::TraceError(int error, const QString& text) {
    Host->TraceError(error, text);
}

void TReadThread::PostHangupCall(int error, const char* why, intptr_t extra) {
    TraceText(QStringLiteral("ReadThread.PostHangupCall because ") + QLatin1String(why));
    Host->Post(PWM_RequestHangup, uintptr_t(error ? error : EIO), extra);
    // The port is of no further use: wait only for the close, do not spin on
    // a dead descriptor.
    m_portDead = true;
}

int TReadThread::HandleReadData() {
    const int count = m_count;
    m_count = 0;
    if (count == 0)
        return 0;
    m_chunkTimer.Handed();
    TraceText(QStringLiteral("Got something from Comm port!!!"));
    bool failed = false;
    TReceivedDataMessage* message = Flow->Add(m_buffer, count, m_marks, failed);
    m_marks.clear();
    if (failed) {
        TraceError(ENOMEM, QStringLiteral("LocalAlloc: "));
        return ENOMEM;
    }
    if (message)
        Host->Post(message);
    return 0;
}

bool TReadThread::ReceiveHeld() {
    bool changed = false;
    const bool held = Flow->Hold(changed);
    if (changed)
        ReceiveBoundChanged(held);
    return held;
}

void TReadThread::ReceiveBoundChanged(bool over) {
    // Under the DTR handshake the device stops sending while DTR is down, so
    // what waits in the kernel does not overrun it.
    if (Lines)
        Lines->ReceiveOverBound(over);
    TraceText(over ? QStringLiteral("Receive side over its bound: reading pauses")
                   : QStringLiteral("Receive side caught up: reading again"));
}

// Reads what the port holds into the chunk buffer; a full chunk is posted at
// once. Stops when the window has its bound of data to handle, unless
// draining (the device hung up: take what is left). Returns 0, or the error
// that ends reading (EIO when the device hung up).
int TReadThread::ReadAvailable(int& got, bool draining, bool unasked) {
    got = 0;
    for (;;) {
        const long room = kBufferSize - m_count;
        long n = PortHandle->readSome(m_buffer + m_count, size_t(room));
        if (n > 0) {
            // The time each line is stamped with: when its first byte came.
            comm::AddReadMark(m_marks, uint32_t(m_count), platform::realTimeMs());
            if (m_eventMask & EV_RXCHAR)
                m_pendingEvents |= EV_RXCHAR;
            if ((m_eventMask & EV_RXFLAG) && std::memchr(m_buffer + m_count, m_evtChar, size_t(n)))
                m_pendingEvents |= EV_RXFLAG;
            m_count += int(n);
            got += int(n);
            if (m_count == kBufferSize) {
                int rc = HandleReadData();
                if (rc)
                    return rc;
                if (!draining && ReceiveHeld())
                    return 0; // the rest waits in the kernel
            } else if (n < room && !draining) {
                // The port had no more; asking again would only come back
                // empty (and an empty tty read first waits for the driver's
                // pending input work). The next wait reports what follows.
                return 0;
            }
            continue;
        }
        if (n == -EAGAIN)
            return 0;
        if (n == 0) {
            // With VMIN = VTIME = 0 an empty tty reads 0 bytes; only a read of
            // nothing right after the port was reported ready means the
            // device has gone (unasked, the next wait tells).
            return got == 0 && !unasked ? EIO : 0;
        }
        if (n == -EBADF)
            TraceText(QLatin1String(kInvalidHandleText));
        else
            TraceError(int(-n), QStringLiteral("Unexpected ReadFile error: "));
        return int(-n);
    }
}

// Looks at the line counters and modem lines, posts the events that changed.
uint32_t TReadThread::CommEvents(const platform::SerialCounters* before,
                                 const platform::SerialCounters* now, uint32_t statusBefore,
                                 uint32_t statusNow, int outQueueBefore, int outQueueNow,
                                 uint32_t& errors) {
    uint32_t events = 0;
    errors = 0;
    if (before && now) {
        // Counters also catch edges that came and went between two looks.
        if (now->cts != before->cts)
            events |= EV_CTS;
        if (now->dsr != before->dsr)
            events |= EV_DSR;
        if (now->rng != before->rng)
            events |= EV_RING;
        if (now->dcd != before->dcd)
            events |= EV_RLSD;
        if (now->rx != before->rx)
            events |= EV_RXCHAR;
        if (now->brk != before->brk) {
            events |= EV_BREAK;
            errors |= CE_BREAK;
        }
        if (now->frame != before->frame)
            errors |= CE_FRAME;
        if (now->overrun != before->overrun)
            errors |= CE_OVERRUN;
        if (now->parity != before->parity)
            errors |= CE_RXPARITY;
        if (now->bufOverrun != before->bufOverrun)
            errors |= CE_RXOVER;
        if (now->tx != before->tx && outQueueNow == 0)
            events |= EV_TXEMPTY;
    }
    if (errors)
        events |= EV_ERR;
    const uint32_t changed = statusBefore ^ statusNow;
    if (changed & MS_CTS_ON)
        events |= EV_CTS;
    if (changed & MS_DSR_ON)
        events |= EV_DSR;
    if (changed & MS_RING_ON)
        events |= EV_RING;
    if (changed & MS_RLSD_ON)
        events |= EV_RLSD;
    // The transmitter ran empty: the output queue drained since the last look.
    if (outQueueNow == 0 && outQueueBefore > 0)
        events |= EV_TXEMPTY;
    return events;
}

// Looks at the line counters and modem lines, posts the events that changed.
int TReadThread::HandleCommEvent() {
    uint32_t status = m_modemStatus;
    if (m_haveModem) {
        if (int rc = PortHandle->modemStatus(status)) {
            if (!platform::SerialLine::isUnsupported(rc))
                return rc;
            m_haveModem = false;
            status = m_modemStatus;
        }
    }
    int outQueue = -1;
    if (PortHandle->outputQueue(outQueue) != 0)
        outQueue = -1;
    platform::SerialCounters counters;
    bool haveCounters = false;
    if (m_haveCounters) {
        if (int rc = PortHandle->counters(counters)) {
            if (!platform::SerialLine::isUnsupported(rc))
                return rc;
            m_haveCounters = false;
        } else {
            haveCounters = true;
        }
    }
    uint32_t errors = 0;
    uint32_t events =
        m_pendingEvents | CommEvents(haveCounters ? &m_counters : nullptr,
                                     haveCounters ? &counters : nullptr, m_modemStatus, status,
                                     m_lastOutQueue, outQueue, errors);
    m_pendingEvents = 0;
    if (haveCounters)
        m_counters = counters;
    m_modemStatus = status;
    if (outQueue >= 0)
        m_lastOutQueue = outQueue;
    m_commEvents = m_haveModem || m_haveCounters;

    events &= m_eventMask;
    if (!(events & EV_ERR))
        errors = 0;
    if (events == 0 || status > 0xFFFF)
        return 0;
    const uint32_t value = ((errors & 0xFFFF) << 16) | status;
    Host->Post(PWM_CommEvent, events, intptr_t(value));
    return 0;
}

// Arms the comm-event watch: takes the current counters and lines as the
// base. ENOTSUP when the driver reports neither.
int TReadThread::SetupCommEvent() {
    int rcCounters = PortHandle->counters(m_counters);
    int rcModem = PortHandle->modemStatus(m_modemStatus);
    m_haveCounters = rcCounters == 0;
    m_haveModem = rcModem == 0;
    if (!m_haveCounters && !platform::SerialLine::isUnsupported(rcCounters))
        return rcCounters;
    if (!m_haveModem && !platform::SerialLine::isUnsupported(rcModem))
        return rcModem;
    (void)PortHandle->outputQueue(m_lastOutQueue);
    if (!m_haveCounters && !m_haveModem)
        return ENOTSUP;
    TraceText(QStringLiteral("Waiting for a CommEvent (Error) to occur."));
    return 0;
}

void TReadThread::Execute() {
    m_eventMask = EventMask(DriverName, SkipEvents);
    m_evtChar = EvtChar;

    // Whether the modem lines can be polled at all; on a driver without them
    // the worker sleeps until something happens.
    m_polledStatus = ModemStatus;
    uint32_t probe = 0;
    const bool modemPolling = Poll && PortHandle->modemStatus(probe) == 0;
    if (Poll && !modemPolling)
        Poll->SwitchOff();

    if (m_eventMask != 0) {
        int rc = SetupCommEvent();
        if (rc == ENOTSUP) {
            // The driver cannot report comm events: data only.
            m_commEvents = false;
        } else if (rc) {
            TraceError(rc, QStringLiteral("Unable to SetupCommEvent1: "));
            PostHangupCall(rc, "failed SetupCommEvent", 0);
        } else {
            m_commEvents = true;
        }
    }
    TraceText(QStringLiteral("Waiting for data from comm connection."));

    m_chunkTimer.Tick();
    m_lastCommCheck = m_chunkTimer.Now();
    for (;;) {
        m_chunkTimer.Start(PortHandle->timeouts());
        const int timeout = WaitTimeout(modemPolling);
        // While the window is behind, the port is watched for a hang-up only.
        const bool held = !m_portDead && ReceiveHeld();
        // Each wake-up costs the worker more than reading what it brings, and
        // a line printed every half millisecond would wake it for every line:
        // a read is followed by the next one kReadSpacingUs later at the
        // earliest, and what comes meanwhile waits in the kernel and is taken
        // together. A slower line is still read piece by piece as it comes.
        // The spacing is kept short because what sits in the kernel when a
        // device is pulled goes with it (a USB adapter holds its own input
        // longer than that). A line that brought a whole chunk in one read is
        // streaming and is read as it comes: waiting would only let the
        // kernel's buffer fill and hold the sender.
        const int64_t nowUs = steadyMicros();
        const bool spacing = !m_portDead && !held && !m_streaming && nowUs < m_nextReadUs;
        const int spacingMs = spacing ? int((m_nextReadUs - nowUs + 999) / 1000) : 0;
        const int waitMs = spacing ? minTimeout(timeout, spacingMs) : timeout;
        platform::WaitResult w = PortHandle->wait(!m_portDead && !held && !spacing, false, waitMs,
                                                  CloseEvent, &Flow->Wake(), !m_portDead);
        if (w.woken)
            Flow->DrainWake();
        if (w.cancelled) {
            Host->TraceDebugOutput(QStringLiteral("Time to Exit"));
            DrainForClose();
            break;
        }
        m_chunkTimer.Tick();
        if (w.error) {
            TraceError(w.error, QStringLiteral("Read WAIT_FAILED: "));
            PostHangupCall(w.error, "failed wait", 0);
            continue;
        }
        // On a dense line the wait that kept the reads apart is followed by
        // the read itself: asking first would only cost a second wake of the
        // poll, since bytes are there.
        const bool unasked =
            spacing && m_dense && waitMs == spacingMs && !w.readable && !w.hangup && !w.woken;
        if (!m_portDead && (w.readable || w.hangup || unasked) &&
            !HandleReadable(w.hangup, unasked))
            continue;
        CompleteChunk();
        CheckCommEvents();
        if (modemPolling && !m_portDead)
            PollModemStatus();
    }

    // The input is left as it is: what arrives after the last read stays with
    // the driver (a port opened again at once finds it there).
    TraceText(QStringLiteral("Read thread shutting down"));
    Terminate();
}

void TReadThread::DrainForClose() {
    // What the driver holds was received before the close and belongs to the
    // last chunk; a port that failed has nothing more to give.
    if (!m_portDead) {
        int got = 0;
        (void)ReadAvailable(got, true);
    }
    if (int rc = HandleReadData())
        TraceError(rc, QStringLiteral("LocalAlloc: "));
}

// Reads the modem status when the poll is due and reports what changed; a
// status that cannot be read any more closes the port as failed.
void TReadThread::PollModemStatus() {
    const uint32_t t0 = platform::GetTickCount();
    if (!Poll->Due(t0))
        return;
    uint32_t status = 0;
    if (int error = PortHandle->modemStatus(status)) {
        Poll->SwitchOff();
        if (!platform::SerialLine::isUnsupported(error))
            Host->Post(PWM_PollModemStatus, uintptr_t(error), 0);
        return;
    }
    Poll->Done(t0, platform::GetTickCount());
    if (status != m_polledStatus) {
        m_polledStatus = status;
        Host->Post(PWM_CommEvent, 0, intptr_t(status));
    }
}

// How long the wait may last: until the chunk in hand is due, the next look at
// the line counters, or the idle bound that keeps the modem polls coming.
int TReadThread::WaitTimeout(bool modemPolling) const {
    if (m_portDead)
        return -1;
    int timeout = m_chunkTimer.WaitMs(m_count);
    if (m_commEvents)
        timeout =
            minTimeout(timeout, until(m_lastCommCheck + kCommEventPollMs, m_chunkTimer.Now()));
    if (modemPolling)
        timeout = minTimeout(timeout, kIdleWaitMs);
    return timeout;
}

// Reads what the port holds. False when reading failed: what arrived before
// the failure has been handed over and a hang-up asked for.
bool TReadThread::HandleReadable(bool hangup, bool unasked) {
    const int before = m_count;
    int got = 0;
    int rc = ReadAvailable(got, hangup, unasked);
    m_streaming = got >= kBufferSize;
    m_dense = false;
    if (got > 0) {
        const int64_t nowUs = steadyMicros();
        m_dense = nowUs - m_nextReadUs < kDenseLateUs;
        m_nextReadUs = nowUs + kReadSpacingUs;
    }
    // A hang-up or error condition that yields no data is a removed device,
    // never a reason to poll again at once.
    if (rc == 0 && got == 0 && hangup)
        rc = EIO;
    if (got > 0)
        m_chunkTimer.Arrived(before, m_count);
    if (m_chunkTimer.Immediate() && m_count > 0)
        HandleReadData();
    if (rc == 0)
        return true;
    HandleReadData();
    PostHangupCall(rc, "failed HandleReadEvent", 0);
    TraceError(rc, QStringLiteral("Unable to HandleReadEvent: "));
    return false;
}

// Hands the chunk in hand over once it is complete.
void TReadThread::CompleteChunk() {
    if (!m_chunkTimer.Due(m_count))
        return;
    if (int rc = HandleReadData())
        PostHangupCall(rc, "failed re-SetupReadEvent", 0);
}

// Looks at the line counters and modem lines every kCommEventPollMs.
void TReadThread::CheckCommEvents() {
    const int64_t now = m_chunkTimer.Now();
    if (!m_commEvents || m_portDead || now - m_lastCommCheck < kCommEventPollMs)
        return;
    m_lastCommCheck = now;
    if (int rc = HandleCommEvent()) {
        if (rc == EACCES)
            PostHangupCall(rc, "failed HandleCommEvent/EAD", 1);
        else
            PostHangupCall(rc, "failed HandleCommEvent/other", 0);
        TraceError(rc, QStringLiteral("Unable HandleCommEvent: "));
    }
}

// ---- write worker ------------------------------------------------------------------

TWriteThread::TWriteThread() = default;

TWriteThread::~TWriteThread() {
    Finish();
    FreeQueue();
}

void TWriteThread::TraceText(const QString& text) {
    Host->TraceText(text);
}

void TWriteThread::TraceError(int error, const QString& text) {
    Host->TraceError(error, text);
}

void TWriteThread::PostHangupCall(int error, const char* why, intptr_t extra) {
    TraceText(QStringLiteral("WriteThread.PostHangupCall because ") + QLatin1String(why));
    Host->Post(PWM_RequestHangup, uintptr_t(error ? error : EIO), extra);
}

bool TWriteThread::PostThreadMessage(int message, uint32_t count, char* block) {
    return Queue(Message{message, count, block, {}, {}});
}

bool TWriteThread::PostLines(const comm::LineRequest& request) {
    return Queue(Message{PWM_SetLines, 0, nullptr, request, {}});
}

bool TWriteThread::PostDcb(const platform::SerialDcb& dcb) {
    return Queue(Message{PWM_SetDcb, 0, nullptr, {}, dcb});
}

bool TWriteThread::Queue(const Message& message) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed)
            return false;
        m_queue.push_back(message);
    }
    m_wake.post();
    return true;
}

bool TWriteThread::TakeMessage(Message& message) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue.empty())
        return false;
    message = m_queue.front();
    m_queue.pop_front();
    return true;
}

void TWriteThread::FreeQueue() {
    std::deque<Message> left;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        left.swap(m_queue);
    }
    for (const Message& m : left)
        comm::FreeBlock(m.block);
}

bool TWriteThread::HandleWriteData(const char* block, uint32_t count, bool slow) {
    const bool toggle = Lines && Lines->WorkerTogglesRts();
    if (!toggle)
        return WriteBlock(block, count, slow);
    // RTS up for the whole block, down once its last byte has left the wire.
    PortHandle->setRts(true);
    bool ok = WriteBlock(block, count, slow);
    if (ok) {
        const int rc = PortHandle->drainOutput(CloseEvent);
        if (rc == ECANCELED) {
            PortHandle->purge(platform::kPurgeTxAbort | platform::kPurgeTxClear);
            ok = false;
        } else if (rc) {
            TraceError(rc, QStringLiteral("Error writing to CommFile while waiting"));
            TraceText(QStringLiteral("Closing TAPI"));
            PostHangupCall(rc, "write thread: failed GetOverlappedResult", 0);
            ok = false;
        }
    }
    PortHandle->setRts(false);
    return ok;
}

bool TWriteThread::WriteBlock(const char* block, uint32_t count, bool slow) {
    const platform::OutputHold hold = Lines ? Lines->Hold() : platform::OutputHold{};
    uint32_t offset = 0;
    uint32_t remaining = count;
    for (;;) {
        if (CloseEvent->isSet())
            return false;
        const size_t chunk = slow ? 1 : remaining;
        const long n = PortHandle->writeAll(block + offset, chunk, CloseEvent, hold);
        if (n == -ECANCELED) {
            // Closing: drop what the driver still holds of this write.
            PortHandle->purge(platform::kPurgeTxAbort | platform::kPurgeTxClear);
            return false;
        }
        if (n < 0) {
            const int error = int(-n);
            if (error == EBADF) {
                TraceText(QLatin1String(kInvalidHandleText));
                return false;
            }
            TraceError(error, QStringLiteral("Error to writing to CommFile"));
            TraceText(QStringLiteral("Closing TAPI"));
            PostHangupCall(error, "write thread: failed WriteFile", 0);
            return false;
        }
        // A write held by CTS or DSR past its time-out ends with what went
        // out; the rest is written again, as the classic driver's callers do.
        if (size_t(n) < chunk)
            TraceText(QStringLiteral("Write timed out, writing the rest again"));
        remaining -= uint32_t(n);
        offset += uint32_t(n);
        if (slow)
            CloseEvent->wait(1); // the 1 ms pause, cut short by a close
        if (remaining == 0)
            return true;
    }
}

bool TWriteThread::ApplyDcb(const platform::SerialDcb& dcb) {
    const int error = PortHandle->applyDcb(dcb);
    if (error == 0)
        return true;
    TraceError(error, QStringLiteral("Unable to SetCommState: "));
    // A refused block leaves the port as it was and usable; a device that
    // has gone fails the port, as a failed write does.
    if (!platform::SerialLine::isRemoved(error))
        return true;
    TraceText(QStringLiteral("Closing TAPI"));
    PostHangupCall(error, "write thread: failed SetCommState", 0);
    return false;
}

void TWriteThread::Execute() {
    if (!m_wake.valid()) {
        TraceError(m_wake.error(), QStringLiteral("Unable to CreateEvent: "));
        PostHangupCall(m_wake.error(), "write thread: failed CreateEvent", 0);
    } else {
        m_ready.store(true);
        for (;;) {
            Message message;
            if (!TakeMessage(message)) {
                platform::WaitResult w = PortHandle->wait(false, false, -1, CloseEvent, &m_wake);
                if (w.cancelled)
                    break;
                if (w.woken) {
                    m_wake.drain();
                    continue;
                }
                if (w.error) {
                    TraceError(w.error, QStringLiteral("Write WAIT_FAILED: "));
                    PostHangupCall(w.error, "write thread: failed wait", 0);
                    // An eventfd poll that fails once fails again: do not spin.
                    CloseEvent->wait(-1);
                }
                continue;
            }
            if (CloseEvent->isSet()) {
                comm::FreeBlock(message.block);
                break;
            }
            bool ok = true;
            switch (message.message) {
            case PWM_WriteData:
                if (message.count > 0) {
                    TraceText(QStringLiteral("Writing to comm port"));
                    ok = HandleWriteData(message.block, message.count, false);
                }
                break;
            case PWM_WriteDataSlowly:
                TraceText(QStringLiteral("Writing to comm port slowly"));
                ok = HandleWriteData(message.block, message.count, true);
                break;
            case PWM_SetLines:
                comm::ApplyLineRequest(message.lines, *PortHandle, Lines,
                                       [this](const QString& text) { TraceText(text); });
                break;
            case PWM_SetDcb:
                ok = ApplyDcb(message.dcb);
                break;
            default:
                TraceText(QStringLiteral("Unexpected message posted to Write thread: ") +
                          QString::number(message.message));
                break;
            }
            comm::FreeBlock(message.block);
            if (!ok)
                break;
        }
    }
    TraceText(QStringLiteral("Write thread shutting down"));
    PortHandle->purge(platform::kPurgeTxAbort | platform::kPurgeTxClear);
    if (Lines)
        Lines->Release();
    Terminate();
    m_ready.store(false);
    FreeQueue();
}
