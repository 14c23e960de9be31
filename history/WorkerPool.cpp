#include "history/WorkerPool.h"

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/ThisProcess.h"

namespace history {

namespace {
// Workers give way a little to the window and the receive path, without
// being starved by other programs on a busy machine.
constexpr int WorkerNice = 2;

// Counted up (release) by a worker before it posts a call, read (acquire) by
// the call before anything else (it reads nothing of its own first, not even
// which pool posted it): what the worker did before is seen to come before
// the call. Nobody waits on it: a lock held across the post made the window
// wait whenever a worker lost its core inside it, before every result.
std::atomic<uint64_t> g_handOver{0};
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
    g_handOver.fetch_add(1, std::memory_order_release);
    QMetaObject::invokeMethod(
        receiver,
        [call] {
            (void)g_handOver.load(std::memory_order_acquire);
            (*call)();
        },
        Qt::QueuedConnection);
}

} // namespace history
