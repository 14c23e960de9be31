#pragma once
#include <QEvent>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "comm/VOXComm32ReadTimes.h"

// A message to the component's notify window. The Qt event type is QEvent::User
// plus the message number, so all messages of one kind can be removed at once.
class TNotifyMessage : public QEvent {
public:
    TNotifyMessage(int message, uintptr_t wParam, intptr_t lParam)
        : QEvent(TypeOf(message)), Message(message), WParam(wParam), LParam(lParam) {}

    static QEvent::Type TypeOf(int message) { return QEvent::Type(QEvent::User + message); }
    static bool IsNotifyType(QEvent::Type type);

    int Message;
    uintptr_t WParam;
    intptr_t LParam;
};

// A received chunk. The bytes live in the same allocation as the event,
// followed by a zero byte, and are freed with it, so removing the posted event
// also frees the data. A block made with room to spare can take more bytes
// until the window starts on it (see comm/VOXComm32Flow.h). It carries when
// its bytes were read (comm/VOXComm32ReadTimes.h).
class TReceivedDataMessage final : public TNotifyMessage {
public:
    static TReceivedDataMessage* Create(const char* data, uint16_t count, uint16_t capacity = 0,
                                        const std::vector<comm::ReadMark>& marks = {});
    ~TReceivedDataMessage() override;

    const char* Data() const { return reinterpret_cast<const char*>(this + 1); }
    uint16_t Count() const { return uint16_t(WParam); }
    uint16_t Capacity() const { return m_capacity; }
    comm::ReadTimes Times() const { return comm::ReadTimes(m_marks); }
    // Appends count bytes read at the marked times (offsets within the
    // appended bytes); the caller makes sure they fit.
    void Append(const char* data, uint16_t count, const std::vector<comm::ReadMark>& marks = {});

    static void operator delete(void* p) { ::operator delete(p); }

private:
    TReceivedDataMessage(uint16_t count, uint16_t capacity);
    char* data() { return reinterpret_cast<char*>(this + 1); }
    uint16_t m_capacity;
    std::vector<comm::ReadMark> m_marks;
};

// The hidden window of the component: lives on the user-interface thread and
// hands every message to the handler it was made with (the component's).
class TNotifyWindow : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(TNotifyMessage*)>;
    explicit TNotifyWindow(Handler handler) : m_handler(std::move(handler)) {}

    // Posts a message; may be called from any thread. Takes ownership.
    void Post(TNotifyMessage* message);
    void Post(int message, uintptr_t wParam, intptr_t lParam) {
        Post(new TNotifyMessage(message, wParam, lParam));
    }
    // Removes (and frees) every queued message of this kind.
    void RemovePosted(int message);
    // Delivers every queued message of this kind now, in posting order.
    void DispatchPosted(int message);
    // Delivers everything queued for this window now.
    void DispatchPending();

protected:
    bool event(QEvent* event) override;

private:
    Handler m_handler;
    // Qt's event queue hands the message over under its own lock; this
    // release/acquire pair states the same order in terms race detectors see.
    std::atomic<uint64_t> m_posted{0};
};
