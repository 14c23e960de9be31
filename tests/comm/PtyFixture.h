#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <pty.h>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "tests/support/WaitUntil.h"

// A pseudo-terminal pair: the component opens the slave by its path, the test
// plays the module on the master.
struct Pty {
    int master = -1;
    int slave = -1; // kept open so the node stays while the component reopens
    std::string path;

    Pty() {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
            path = name;
            fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
            termios t{};
            tcgetattr(slave, &t);
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
        }
    }
    ~Pty() {
        closeMaster();
        if (slave >= 0)
            ::close(slave);
    }
    bool ok() const { return master >= 0; }
    void closeMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    void write(const std::string& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += size_t(n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Reads what the master has now.
    std::string readNow() const {
        std::string out;
        char buf[4096];
        for (;;) {
            ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, size_t(n));
        }
        return out;
    }
};

using testsupport::Pump;
using testsupport::WaitUntil;

// Waits until cond holds or ms pass without running the event loop, so the
// component's window stays behind meanwhile; returns whether it held.
inline bool WaitStalled(const std::function<bool()>& cond, int ms = 10000) {
    return testsupport::WaitUntil(cond, ms, 1, testsupport::Events::Hold);
}
