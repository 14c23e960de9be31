#include "history/WorkerPool.h"

#include <memory>

#include "platform/ThisProcess.h"

namespace history {

namespace {
// Workers give way a little to the window and the receive path, without
// being starved by other programs on a busy machine.
constexpr int WorkerNice = 2;

// Taken by a worker around posting a call and by the call before anything
// else (it reads nothing of its own first, not even which pool posted it).
std::mutex g_handOver;
} // namespace

WorkerPool::WorkerPool(int threads) {
    for (int i = 0; i < std::max(1, threads); ++i)
        m_threads.emplace_back([this] {
            platform::setThreadNice(platform::currentThreadId(), WorkerNice);
            work();
        });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void WorkerPool::start(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void WorkerPool::work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

void WorkerPool::post(QObject* receiver, std::function<void()> fn) {
    auto call = std::make_shared<std::function<void()>>(std::move(fn));
    std::lock_guard<std::mutex> lock(g_handOver);
    QMetaObject::invokeMethod(
        receiver,
        [call] {
            { std::lock_guard<std::mutex> seen(g_handOver); }
            (*call)();
        },
        Qt::QueuedConnection);
}

} // namespace history
