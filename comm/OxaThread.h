#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// A minimal worker thread. It is created suspended; Resume starts Execute on
// its own system thread. Terminate only sets a flag the thread's code reads.
// A derived class must call Finish() in its destructor, so the thread has ended
// before the derived part goes away.
class VOxaThread {
public:
    VOxaThread();
    virtual ~VOxaThread();
    VOxaThread(const VOxaThread&) = delete;
    VOxaThread& operator=(const VOxaThread&) = delete;

    // Starts the thread the first time; later calls do nothing.
    void Resume();
    bool Suspended() const { return m_suspended; }
    // Priority index 0..6: idle, lowest, below normal, normal, above normal,
    // highest, time critical. Best effort: an unprivileged process can only
    // lower its priority, and a refusal is not an error.
    void SetPriority(int index);
    void Terminate() { m_terminated.store(true); }
    bool Terminated() const { return m_terminated.load(); }
    // Kernel thread id once running (0 before).
    int ThreadID() const { return m_threadId.load(); }
    // Waits until the thread has ended (or was never started); returns the
    // exit code, always 0.
    uint32_t WaitFor();
    // Waits at most ms milliseconds; true when the thread has ended.
    bool WaitFor(uint32_t ms);
    bool Finished() const;

protected:
    virtual void Execute() = 0;
    // Terminate, WaitFor, release the system thread.
    void Finish();

private:
    void run();

    std::thread m_thread;
    bool m_suspended = true;
    std::atomic<bool> m_terminated{false};
    std::atomic<int> m_threadId{0};
    int m_pendingPriority = 3;
    mutable std::mutex m_mutex;
    std::condition_variable m_finishedCv;
    bool m_finished = false;
};
