#include "comm/VOXComm32Notify.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>
#include <new>

#include "comm/VOXComm32Blocks.h"
#include "comm/VOXComm32Host.h"
#include "comm/VOXComm32Types.h"

namespace comm {

namespace {
std::atomic<int> g_liveBlocks{0};
}

char* AllocBlock(size_t size) {
    char* block = static_cast<char*>(::operator new(size, std::nothrow));
    if (block)
        NoteBlockAllocated();
    return block;
}

void FreeBlock(char* block) {
    if (!block)
        return;
    NoteBlockFreed();
    ::operator delete(block);
}

void NoteBlockAllocated() {
    g_liveBlocks.fetch_add(1, std::memory_order_relaxed);
}
void NoteBlockFreed() {
    g_liveBlocks.fetch_sub(1, std::memory_order_relaxed);
}
int LiveBlocks() {
    return g_liveBlocks.load();
}

} // namespace comm

bool TNotifyMessage::IsNotifyType(QEvent::Type type) {
    return type > QEvent::User && type <= QEvent::User + PWM_PortOpened;
}

TReceivedDataMessage::TReceivedDataMessage(uint16_t count, uint16_t capacity)
    : TNotifyMessage(PWM_ReceivedData, count, 0), m_capacity(capacity) {
    comm::NoteBlockAllocated();
}

TReceivedDataMessage::~TReceivedDataMessage() {
    comm::NoteBlockFreed();
}

TReceivedDataMessage* TReceivedDataMessage::Create(const char* data, uint16_t count,
                                                   uint16_t capacity,
                                                   const std::vector<comm::ReadMark>& marks) {
    capacity = std::max(capacity, count);
    // One allocation holds the event, the bytes and the trailing zero byte.
    void* memory =
        ::operator new(sizeof(TReceivedDataMessage) + size_t(capacity) + 1, std::nothrow);
    if (!memory)
        return nullptr;
    auto* message = new (memory) TReceivedDataMessage(count, capacity);
    std::memcpy(message->data(), data, count);
    message->data()[count] = 0;
    message->LParam = reinterpret_cast<intptr_t>(message->Data());
    message->m_marks = marks;
    return message;
}

void TReceivedDataMessage::Append(const char* bytes, uint16_t count,
                                  const std::vector<comm::ReadMark>& marks) {
    const uint16_t at = Count();
    std::memcpy(data() + at, bytes, count);
    data()[at + count] = 0;
    WParam = at + count;
    for (const comm::ReadMark& mark : marks)
        comm::AddReadMark(m_marks, at + mark.offset, mark.ms);
}

void comm::WorkerHost::Post(int message, uintptr_t wParam, intptr_t lParam) {
    Post(new TNotifyMessage(message, wParam, lParam));
}

void TNotifyWindow::Post(TNotifyMessage* message) {
    m_posted.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(this, message);
}

void TNotifyWindow::RemovePosted(int message) {
    (void)m_posted.load(std::memory_order_acquire);
    QCoreApplication::removePostedEvents(this, TNotifyMessage::TypeOf(message));
}

void TNotifyWindow::DispatchPosted(int message) {
    QCoreApplication::sendPostedEvents(this, TNotifyMessage::TypeOf(message));
}

void TNotifyWindow::DispatchPending() {
    QCoreApplication::sendPostedEvents(this);
}

bool TNotifyWindow::event(QEvent* event) {
    (void)m_posted.load(std::memory_order_acquire); // before the event is touched
    if (TNotifyMessage::IsNotifyType(event->type())) {
        m_handler(static_cast<TNotifyMessage*>(event));
        return true;
    }
    return QObject::event(event);
}
