#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "tests/support/Pty.h"
#include "tests/support/WaitUntil.h"

// The component opens the slave by its path, the test plays the module on the
// master. The test holds the slave too, so the node stays while the component
// reopens (and the test can lock it or read its speed), and the line is raw
// as a serial port's.
struct Pty : testsupport::Pty {
    Pty() : testsupport::Pty(testsupport::PtyOptions{.raw = true, .keepSlave = true}) {}
};

using testsupport::Pump;
using testsupport::WaitForTimersDue;
using testsupport::WaitUntil;

// Waits until cond holds or ms pass without running the event loop, so the
// component's window stays behind meanwhile; returns whether it held.
inline bool WaitStalled(const std::function<bool()>& cond, int ms = 10000) {
    return testsupport::WaitUntil(cond, ms, 1, testsupport::Events::Hold);
}
