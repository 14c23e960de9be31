#pragma once
// The history's worker threads: jobs run in the order given, on as many
// threads as the machine has cores, at a slightly lower priority than the
// window. Plain standard threads, locks and conditions, so that the thread
// sanitizer sees every hand-over between the model's thread and the workers
// (Qt's own thread pool synchronises in ways it cannot see).
#include <QEvent>
#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace history {

class WorkerPool {
public:
    explicit WorkerPool(int threads);
    // Waits for the job that runs on each thread; those not begun are dropped.
    ~WorkerPool();
    int threads() const { return int(m_threads.size()); }
    void start(std::function<void()> job);
    // Calls fn on receiver's thread (from a worker: what the worker did
    // before is seen to come before fn, also by the thread sanitizer, which
    // does not see Qt's own hand-over of the call). Calls posted by one
    // thread run in the order posted. The receiver hands its custom events
    // to deliver(); a call still queued when the receiver goes is dropped.
    static void post(QObject* receiver, std::function<void()> fn);
    // Runs the call of a posted event; false for any other event.
    static bool deliver(QEvent* event);

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

} // namespace history
