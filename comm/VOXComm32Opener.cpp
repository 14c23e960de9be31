#include "comm/VOXComm32Opener.h"

#include <utility>

namespace comm {

PortOpener::~PortOpener() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void PortOpener::Post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(work));
        if (!m_thread.joinable())
            m_thread = std::thread([this] { Loop(); });
    }
    m_wake.notify_all();
}

void PortOpener::Run(std::function<void()> work) {
    std::mutex doneMutex;
    std::condition_variable doneWake;
    bool done = false;
    Post([&] {
        work();
        std::lock_guard<std::mutex> lock(doneMutex);
        done = true;
        doneWake.notify_all();
    });
    std::unique_lock<std::mutex> lock(doneMutex);
    doneWake.wait(lock, [&] { return done; });
}

void PortOpener::Loop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_ending || !m_queue.empty(); });
        // What was posted before the end still runs: a dropped open's line
        // is closed here, not left open.
        if (m_queue.empty())
            return;
        std::function<void()> work = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
    }
}

} // namespace comm
