#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace comm {

// The thread the component opens and configures its port on, so the window
// never waits for the device: a USB adapter answers its open and its first
// settings with requests to the device, which take as long as the driver's
// time-out when it is pulled meanwhile. The work runs one piece at a time in
// the order posted, so two opens of the port never overlap: a new open waits
// for a dropped one that is still under way. The thread starts with the first
// piece of work; the end of the queue waits for the work posted before it.
class PortOpener {
public:
    PortOpener() = default;
    ~PortOpener();
    PortOpener(const PortOpener&) = delete;
    PortOpener& operator=(const PortOpener&) = delete;

    // Queues work for the opener's thread. Callable from any thread but the
    // opener's own.
    void Post(std::function<void()> work);
    // Queues work and waits until it has run (the window's synchronous open).
    void Run(std::function<void()> work);

private:
    void Loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_ending = false;
    std::thread m_thread;
};

} // namespace comm
