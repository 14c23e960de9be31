#pragma once
#include <QString>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include <vector>

#include "comm/OxaThread.h"
#include "comm/VOXComm32Chunk.h"
#include "comm/VOXComm32Lines.h"
#include "comm/VOXComm32ReadTimes.h"
#include "comm/VOXComm32Types.h"
#include "platform/SerialLine.h"

namespace comm {
class ReceiveFlow;
class ModemPoll;
class WorkerHost;
} // namespace comm

// Receives from the open port: reads chunks of up to 2048 bytes, posts each as
// a received-data message with the times its bytes were read (or joins it to
// the last one the window has not started on), watches line changes and
// errors where the driver reports them, polls the modem status for the
// component and asks for a hang-up when the port fails. While the window has
// the flow's bound of data still to handle, it stops reading. Told to close,
// it first takes what the port still holds and hands its chunk over.
class TReadThread : public VOxaThread {
public:
    static constexpr int kBufferSize = 2048;

    TReadThread();
    ~TReadThread() override;

    // Wiring, before Resume.
    comm::WorkerHost* Host = nullptr; // traces, poll requests, posts
    platform::SerialLine* PortHandle = nullptr;
    platform::Event* CloseEvent = nullptr;
    comm::ReceiveFlow* Flow = nullptr;
    // The line controls that follow the receive side (DTR handshake); none
    // when null.
    comm::LineControls* Lines = nullptr;
    // The component's modem poll; no polls when null. ModemStatus is the
    // status the component knows, which a poll reports changes against.
    comm::ModemPoll* Poll = nullptr;
    uint32_t ModemStatus = 0;
    QString DriverName;
    VOXComm32SkipEvents SkipEvents;
    char EvtChar = 0;

    // The event mask for a driver and the events to skip.
    static uint32_t EventMask(const QString& driverName, VOXComm32SkipEvents skipEvents);
    // Comm events (EV_ bits) between two looks at the line counters (null
    // when the driver has none), the modem status and the output queue (-1
    // when unknown); errors receives the CE_ bits.
    static uint32_t CommEvents(const platform::SerialCounters* before,
                               const platform::SerialCounters* now, uint32_t statusBefore,
                               uint32_t statusNow, int outQueueBefore, int outQueueNow,
                               uint32_t& errors);

protected:
    void Execute() override;

private:
    // One pass of Execute's loop after its wait.
    int WaitTimeout(bool modemPolling) const;
    // unasked: no wait reported the port readable (an empty read is no hang-up).
    bool HandleReadable(bool hangup, bool unasked = false);
    void CompleteChunk();
    void CheckCommEvents();
    void PollModemStatus();
    // Takes what the port still holds and hands the chunk over (closing).
    void DrainForClose();
    // Hands the chunk in hand over (with its read times) and starts a new one.
    int HandleReadData();
    int SetupCommEvent();
    int HandleCommEvent();
    int ReadAvailable(int& got, bool draining, bool unasked = false);
    // Whether reading pauses because the window is behind; reports changes.
    bool ReceiveHeld();
    // The receive side went over its bound (over) or has caught up: reading
    // pauses or resumes, and the line's own flow control follows.
    void ReceiveBoundChanged(bool over);
    void PostHangupCall(int error, const char* why, intptr_t extra);
    void TraceText(const QString& text);
    void TraceError(int error, const QString& text);

    uint32_t m_eventMask = 0;
    bool m_commEvents = false;   // the driver reports line changes
    bool m_haveCounters = false; // TIOCGICOUNT works
    bool m_haveModem = false;    // TIOCMGET works
    bool m_portDead = false;     // hang-up requested; wait for the close only
    char m_evtChar = 0;
    platform::SerialCounters m_counters;
    uint32_t m_modemStatus = 0;
    int m_lastOutQueue = 0;
    uint32_t m_pendingEvents = 0;      // RXCHAR/RXFLAG seen in data since the last look
    comm::ReadChunkTimer m_chunkTimer; // when the chunk in m_buffer is complete
    int64_t m_lastCommCheck = 0;       // on m_chunkTimer's clock
    char m_buffer[kBufferSize];
    int m_count = 0;
    std::vector<comm::ReadMark> m_marks; // when the bytes in m_buffer were read
    uint32_t m_polledStatus = 0;         // the modem status as last reported
    bool m_streaming = false;            // the last read brought a whole chunk
    int64_t m_nextReadUs = 0;            // no read before this, steady microseconds
    bool m_dense = false;                // the last read found bytes waiting for it
};

// Sends to the open port: writes the queued blocks in order, each freed once,
// and carries out among them what the component asks of the device (line
// requests, settings), which may each wait for a slow or vanishing device.
class TWriteThread : public VOxaThread {
public:
    TWriteThread();
    ~TWriteThread() override;

    // Wiring, before Resume.
    comm::WorkerHost* Host = nullptr; // traces and hang-up requests
    platform::SerialLine* PortHandle = nullptr;
    platform::Event* CloseEvent = nullptr;
    // The line controls the worker provides while it sends (RTS toggle, DSR
    // handshake); none when null.
    comm::LineControls* Lines = nullptr;

    // Queues PWM_WriteData / PWM_WriteDataSlowly with a block made by
    // comm::AllocBlock. True when queued: the worker then owns the block. False
    // once the worker has ended; the caller keeps the block.
    bool PostThreadMessage(int message, uint32_t count, char* block);
    // Queues PWM_SetLines: the request is carried out after the blocks queued
    // before it. False once the worker has ended.
    bool PostLines(const comm::LineRequest& request);
    // Queues PWM_SetDcb: the block is written to the port after the blocks and
    // requests queued before it and ahead of those queued after it. A driver
    // that refuses it is traced; a device that has gone asks for a hang-up,
    // as a failed write does. False once the worker has ended.
    bool PostDcb(const platform::SerialDcb& dcb);
    // The worker is ready to take messages (its queue and write signal exist).
    bool Ready() const { return m_ready.load(); }

    // Writes one block: all of it, or false when the worker must end.
    bool HandleWriteData(const char* block, uint32_t count, bool slow);

protected:
    void Execute() override;

private:
    struct Message {
        int message;
        uint32_t count;
        char* block;
        comm::LineRequest lines; // PWM_SetLines
        platform::SerialDcb dcb; // PWM_SetDcb
    };
    bool Queue(const Message& message);
    bool TakeMessage(Message& message);
    bool WriteBlock(const char* block, uint32_t count, bool slow);
    // Writes a settings block: false when the device has gone (the worker ends).
    bool ApplyDcb(const platform::SerialDcb& dcb);
    void PostHangupCall(int error, const char* why, intptr_t extra);
    void TraceText(const QString& text);
    void TraceError(int error, const QString& text);
    void FreeQueue();

    std::mutex m_mutex;
    std::deque<Message> m_queue;
    bool m_closed = false; // no more messages accepted
    platform::WakeSignal m_wake;
    std::atomic<bool> m_ready{false};
};
