#include "history/WorkerPool.h"

#include <QCoreApplication>
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/ThisProcess.h"

namespace history {

namespace {
// Workers give way a little to the window and the receive path, without
// being starved by other programs on a busy machine.
constexpr int WorkerNice = 2;

// Counted up (release) by a worker once its call is built and before it is
// posted, read (acquire) on the receiver's thread before the call is run or
// dropped: what the worker did before, the call's own state included, is
// seen to come before. Nobody waits on it: a lock held across the post made
// the window wait whenever a worker lost its core inside it.
std::atomic<uint64_t> g_handOver{0};

const QEvent::Type CallEventType = QEvent::Type(QEvent::registerEventType());

// The call travels as an event of our own, built before the count goes up:
// Qt's queued functor would be built inside the post, after it.
class CallEvent : public QEvent {
public:
    explicit CallEvent(std::function<void()> fn) : QEvent(CallEventType), m_fn(std::move(fn)) {}
    ~CallEvent() override { (void)g_handOver.load(std::memory_order_acquire); }
    void run() { m_fn(); }

private:
    std::function<void()> m_fn;
};
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
    auto* event = new CallEvent(std::move(fn));
    g_handOver.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(receiver, event);
}

bool WorkerPool::deliver(QEvent* event) {
    // Before anything of the event is read, even its type.
    (void)g_handOver.load(std::memory_order_acquire);
    if (event->type() != CallEventType)
        return false;
    static_cast<CallEvent*>(event)->run();
    return true;
}

} // namespace history
