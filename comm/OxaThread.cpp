#include "comm/OxaThread.h"

#include <chrono>

#include "platform/ThisProcess.h"

VOxaThread::VOxaThread() = default;

VOxaThread::~VOxaThread() {
    Finish();
}

void VOxaThread::Resume() {
    if (!m_suspended)
        return;
    m_suspended = false;
    m_thread = std::thread([this] { run(); });
}

void VOxaThread::run() {
    m_threadId.store(platform::currentThreadId());
    if (m_pendingPriority != 3)
        SetPriority(m_pendingPriority);
    try {
        Execute();
    } catch (...) {
        // A worker never raises into its owner; the owner learns of the end
        // when it closes the port.
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
    m_finishedCv.notify_all();
}

void VOxaThread::SetPriority(int index) {
    static const int kNice[7] = {19, 2, 1, 0, -1, -2, -15};
    if (index < 0 || index > 6)
        return;
    const int tid = m_threadId.load();
    if (tid == 0) {
        m_pendingPriority = index;
        return;
    }
    // Raising the priority needs privileges; without them the default stays.
    (void)platform::setThreadNice(tid, kNice[index]);
}

bool VOxaThread::Finished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_finished;
}

bool VOxaThread::WaitFor(uint32_t ms) {
    if (m_suspended)
        return true;
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_finishedCv.wait_for(lock, std::chrono::milliseconds(ms),
                                 [this] { return m_finished; });
}

uint32_t VOxaThread::WaitFor() {
    if (m_thread.joinable())
        m_thread.join();
    return 0;
}

void VOxaThread::Finish() {
    Terminate();
    WaitFor();
}
