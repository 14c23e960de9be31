#pragma once
// Where the time goes when the window answers late: while a question of the
// stall probe is unanswered, the program's window thread is looked at every
// few milliseconds (its state, the system call it is in and its kernel
// stack), and a watcher on each processor of the machine, at real-time
// priority, notes how late its own wake-ups come. A watcher that is late
// means the machine itself stood still (no process could run); a window
// thread that is late while the watchers are on time is the program's.
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/vm/Lab.h"

namespace vmlab {

class StallProbe;

class StallSampler {
public:
    // Samples thread tid of process pid while probe has a question open
    // longer than sampleAfterMs; writes its findings to path.
    StallSampler(long long pid, StallProbe& probe, Clock::time_point t0, std::string path,
                 double sampleAfterMs = 30);
    ~StallSampler();
    void stop();
    // A line of the check's own timeline (a pull, the node back ...).
    void note(const std::string& text);
    // The longest wake-up delay of any processor's watcher in [from, to]
    // (seconds since t0), milliseconds.
    double machineLateIn(double from, double to);
    // The longest time the window thread slept (neither on a processor nor
    // waiting for one) while an answer was late, milliseconds: a wait for a
    // device shows here, a slow or busy machine does not.
    double longestAsleepMs();

private:
    void sample();
    void watch(int cpu);
    void write(const std::string& line);

    long long m_pid;
    StallProbe& m_probe;
    Clock::time_point m_t0;
    double m_sampleAfterMs;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    int m_fd = -1;
    struct Late {
        double at, ms;
    };
    std::vector<Late> m_late; // watcher wake-ups later than 10 ms
    double m_asleepMaxMs = 0;
    // The stall being sampled: where the thread was seen, how often.
    double m_episodeAt = -1;
    double m_sampledFrom = 0; // when its processor times were first read
    std::map<std::string, int> m_where;
};

} // namespace vmlab
