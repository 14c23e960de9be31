#pragma once
// The real program inside the lab guest, on one port, connecting at start, with
// what the checks read of it: its log (received lines and its state lines)
// and the round trip of its control socket (the stall probe: the answer comes
// from the window's thread, so a long round trip is a window standing still).
#include <QFile>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/E2eFixture.h"
#include "tests/vm/Lab.h"

namespace vmlab {

class Program {
public:
    ~Program();
    // Starts the program on port (the port box's text) with the given baud rate
    // index; false when it did not start.
    bool start(const QString& port, int baudIndex = 19);
    long long pid() const { return m_child.pid(); }
    bool running() const { return m_child.running(); }
    QString logPath() const { return m_world.logFile(); }
    QString socketPath() const { return m_world.socketPath(); }
    QByteArray errors() const { return m_child.stderrText(); }

private:
    e2e::World m_world;
    e2e::Child m_child;
};

// Follows the program's log as it grows: the sequence-numbered lines and the
// state lines, each with the moment it was read.
class LogFollower {
public:
    explicit LogFollower(QString path) : m_file(std::move(path)) {}
    // Reads what is new; calls onSeq for each numbered line in file order.
    // The file stays open between calls: opening it for every look cost the
    // emulated machine a good part of a processor, taken from the program.
    void poll();
    std::function<void(long long seq)> onSeq;
    std::function<void(const QByteArray& state)> onState; // "Connected", "Failed", ...

private:
    QFile m_file;
    long long m_offset = 0;
    QByteArray m_pending;
};

// Asks the control socket for message 0 every 10 ms on its own thread.
class StallProbe {
public:
    explicit StallProbe(std::string socket, Clock::time_point t0);
    ~StallProbe();
    void stop();
    struct Sample {
        double at; // seconds since t0 when the question was sent
        double ms; // round trip; negative when no answer came
    };
    // The longest round trip among the questions sent in [from, to] (seconds
    // since t0), counting a question still unanswered as lasting until now.
    double longestIn(double from, double to);
    double longest();
    // How long the question now open has waited, milliseconds; -1 when none is.
    double pendingMs();

private:
    std::string m_socket;
    Clock::time_point m_t0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Sample> m_samples;
    double m_pendingSince = -1;
};

} // namespace vmlab
