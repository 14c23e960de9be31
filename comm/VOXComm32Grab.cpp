#include "comm/VOXComm32Grab.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>

#include "comm/VOXComm32.h"
#include "comm/VOXComm32Notify.h"

namespace comm {

QString GrabBlockName(const QString& commPort) {
    return QStringLiteral("Experimental ") + commPort + QStringLiteral(" grabber / MEM");
}

std::vector<uint32_t> ReadGrabList(const void* block) {
    const auto* words = static_cast<const uchar*>(block);
    const size_t count = std::min<size_t>(qFromLittleEndian<uint32_t>(words), kGrabMaxEntries);
    std::vector<uint32_t> list;
    list.reserve(count);
    for (size_t i = 1; i <= count; ++i)
        list.push_back(qFromLittleEndian<uint32_t>(words + 4 * i));
    return list;
}

void WriteGrabList(void* block, const std::vector<uint32_t>& list) {
    auto* words = static_cast<uchar*>(block);
    const size_t count = std::min(list.size(), kGrabMaxEntries);
    for (size_t i = 0; i < count; ++i)
        qToLittleEndian<uint32_t>(list[i], words + 4 * (i + 1));
    // The count last, so a reader never counts an entry not yet written.
    qToLittleEndian<uint32_t>(uint32_t(count), words);
}

} // namespace comm

namespace {

void RemoveAll(std::vector<uint32_t>& list, uint32_t id) {
    list.erase(std::remove(list.begin(), list.end(), id), list.end());
}

} // namespace

uint32_t TVOXComm32::GrabInstanceId() const {
    return m_grabState ? m_grabState->messenger.id() : 0;
}

void TVOXComm32::PerformGrabCommand(VOxaCommGrabCommand command) {
    const bool mapped = m_grabState && m_grabState->memory.isOpen();
    // Without a sharing list only the stored command changes; with the default
    // vocgcNone no shared memory is ever touched.
    if (command == vocgcNone && !mapped) {
        m_grab = vocgcNone;
        return;
    }
    if (command == vocgcNoneOnce && !mapped)
        return;
    switch (command) {
    case vocgcNone:
    case vocgcSoft:
    case vocgcHard:
        m_grab = command;
        break;
    case vocgcOnce:
    case vocgcNoneOnce:
        break;
    default:
        TraceText(QStringLiteral("Unknown VOxaCommGrabCommand"));
        return;
    }

    if (!m_grabState) {
        m_grabState = std::make_shared<comm::GrabState>();
        m_grabState->retryTimer.setInterval(comm::kGrabRetryInterval);
        QObject::connect(&m_grabState->retryTimer, &QTimer::timeout, this,
                         [this] { RetryGrabOpen(); });
        m_grabState->messenger.onMessage = [this](uint32_t message) {
            if (message == PWM_GrabChanged && m_notifyWindow)
                m_notifyWindow->Post(PWM_GrabChanged, 0, 0);
        };
    }
    comm::GrabState& state = *m_grabState;
    if (!state.messenger.open())
        return; // unreachable for others: cannot take part
    if (!state.memory.isOpen()) {
        bool created = false;
        if (state.memory.open(comm::GrabBlockName(m_commPort).toLocal8Bit().toStdString(),
                              comm::kGrabBlockSize, created) != 0)
            return;
        state.blockIsNew = created;
    }
    void* block = state.memory.data();
    if (state.blockIsNew) {
        comm::WriteGrabList(block, {});
        state.blockIsNew = false;
    }

    const uint32_t self = state.messenger.id();
    std::vector<uint32_t> list = comm::ReadGrabList(block);

    if (command == vocgcHard || command == vocgcOnce) {
        const uint32_t holder = list.empty() ? 0 : list.front();
        const bool hadHolder = !list.empty();
        RemoveAll(list, self);
        list.insert(list.begin(), self);
        comm::WriteGrabList(block, list);
        if (!hadHolder || holder == self)
            return;
        state.previousHolder = holder;
        if (holder != 0 && !platform::GrabMessenger::post(holder, PWM_GrabChanged)) {
            // The holder ended without leaving the list: drop it; the port is
            // free already.
            TraceText(QStringLiteral("Grab: holder gone"));
            RemoveAll(list, holder);
            comm::WriteGrabList(block, list);
            state.previousHolder = 0;
        }
        if (IsCommOpen())
            return; // the port is ours already
        state.attempts = 0;
        state.retryTimer.stop();
        RetryGrabOpen();
        return;
    }

    // vocgcNone, vocgcNoneOnce, vocgcSoft: leave, or go to the back.
    state.retryTimer.stop();
    const auto first = std::find(list.begin(), list.end(), self);
    const bool wasHolder = first == list.begin() && first != list.end();
    RemoveAll(list, self);
    if (command == vocgcSoft)
        list.push_back(self);
    comm::WriteGrabList(block, list);
    if (list.empty() || list.front() == self || !wasHolder)
        return;
    CloseComm(false, false, QStringLiteral("Grab2"));
    // Hand the port on to the first waiting instance that still lives.
    while (!list.empty() && list.front() != self) {
        if (platform::GrabMessenger::post(list.front(), PWM_GrabChanged))
            return;
        list.erase(list.begin());
        comm::WriteGrabList(block, list);
    }
    // Everybody before us had ended: the port is ours again.
    if (!list.empty())
        m_notifyWindow->Post(PWM_GrabChanged, 0, 0);
}

void TVOXComm32::RetryGrabOpen() {
    if (!m_grabState)
        return;
    comm::GrabState& state = *m_grabState;
    // The owner hears the outcome of the whole take, not every refused
    // attempt: a "failed" in between would make it give up the port.
    bool opened = false;
    m_suppressStateNotify = true;
    try {
        opened = StartCommInternal(true);
    } catch (const ECommsError& error) {
        TraceText(error.Message());
    }
    m_suppressStateNotify = false;
    if (opened || IsCommOpen()) {
        state.retryTimer.stop();
        PostState(CommStateFirst);
        return;
    }
    if (++state.attempts >= comm::kGrabOpenAttempts) {
        state.retryTimer.stop();
        PostState(CommStateFirst);
        // Ask the holder once more. A blocking send to another process could
        // hang this thread on a peer that waits for us, so it is a post too.
        platform::GrabMessenger::post(state.previousHolder, PWM_GrabChanged);
        return;
    }
    if (!state.retryTimer.isActive())
        state.retryTimer.start();
}

void TVOXComm32::ReleaseGrabMapping() {
    if (!m_grabState)
        return;
    comm::GrabState& state = *m_grabState;
    state.retryTimer.stop();
    if (!state.memory.isOpen())
        return;
    // Nobody left in the list: remove the name too, so no object lingers in
    // /dev/shm after the last instance is done with the port.
    if (comm::ReadGrabList(state.memory.data()).empty())
        state.memory.unlink();
    state.memory.close();
}

void TVOXComm32::HandleGrabChanged() {
    if (!m_grabState || !m_grabState->memory.isOpen())
        return;
    comm::GrabState& state = *m_grabState;
    const std::vector<uint32_t> list = comm::ReadGrabList(state.memory.data());
    if (list.empty())
        return;
    if (list.front() != state.messenger.id()) {
        state.retryTimer.stop();
        CloseComm(false, false, QStringLiteral("Grab1"));
    } else if (!IsCommOpen()) {
        try {
            StartCommInternal(true);
        } catch (const ECommsError& error) {
            TraceText(error.Message());
        }
    }
}
