#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <functional>

// The private folder every test of this program works in.
QString TestWorkDir();

// Runs the event loop until done() holds or timeoutMs of real time pass.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
