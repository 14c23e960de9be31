#pragma once
// Runs a parsed sequence step by step without ever blocking: sends go out at
// once, a wait or an expect leaves the runner waiting until poll() finds the
// time passed or lineReceived() brings the line. Time comes from the caller
// (milliseconds of any steady clock), so a test drives it with its own.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <functional>
#include <limits>

#include "macros/Sequence.h"

namespace macros {

class SequenceRunner {
public:
    // The bytes of a send step, to the module.
    std::function<void(const QByteArray& bytes)> send;
    // The step now running or waited on (index from 0).
    std::function<void(int index, const Step& step)> onStep;
    // The sequence ended: completed, or why not (a time-out, a stop).
    std::function<void(bool completed, const QString& reason)> onFinished;

    // Starts sequence (a running one is stopped first); the steps that need
    // no waiting run before start returns.
    void start(const Sequence& sequence, int64_t nowMs);
    // The operator's stop.
    void stop();
    // A received line, whole: an expect waiting for it goes on.
    void lineReceived(QByteArrayView line, int64_t nowMs);
    // Time passed: a wait that is over goes on, an expect that is over stops
    // the sequence.
    void poll(int64_t nowMs);

    bool running() const { return m_running; }
    int stepIndex() const { return m_index; }
    int stepCount() const { return int(m_sequence.steps.size()); }
    // When poll has something to do; "never" when nothing is waited on.
    static constexpr int64_t Never = std::numeric_limits<int64_t>::max();
    int64_t dueMs() const { return m_running ? m_dueMs : Never; }

private:
    void advance(int64_t nowMs);
    void finish(bool completed, const QString& reason);

    Sequence m_sequence;
    bool m_running = false;
    int m_index = 0;
    int64_t m_dueMs = Never;
    int m_generation = 0; // a sequence started from a callback supersedes this one
};

} // namespace macros
