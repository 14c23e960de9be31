#include "tests/support/WaitUntil.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <thread>

namespace testsupport {

namespace {

bool onApplicationThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && app->thread() == QThread::currentThread();
}

} // namespace

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs, int pollMs, Events events) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const bool pump = events == Events::Run && onApplicationThread();
    for (;;) {
        if (cond())
            return true;
        if (Clock::now() >= deadline)
            return false;
        if (pump) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents(QEventLoop::AllEvents, pollMs);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
}

bool WaitForTimersDue(int ms, int timeoutMs) {
    bool fired = false;
    QTimer timer;
    // Precise, as the components' own timers: a coarse one may fire early.
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&fired] { fired = true; });
    timer.start(ms);
    return WaitUntil([&fired] { return fired; }, timeoutMs);
}

void Pump(int ms) {
    WaitUntil([] { return false; }, ms);
}

} // namespace testsupport
