#include "macros/SequenceRunner.h"

#include <QCoreApplication>

namespace macros {

void SequenceRunner::start(const Sequence& sequence, int64_t nowMs) {
    if (m_running)
        stop();
    m_sequence = sequence;
    m_running = true;
    m_index = 0;
    ++m_generation;
    advance(nowMs);
}

void SequenceRunner::stop() {
    if (!m_running)
        return;
    finish(false, QCoreApplication::translate("macros", "stopped at step %1 of %2")
                      .arg(m_index + 1)
                      .arg(stepCount()));
}

void SequenceRunner::advance(int64_t nowMs) {
    const int generation = m_generation;
    while (m_running && generation == m_generation && m_index < stepCount()) {
        const Step& step = m_sequence.steps[size_t(m_index)];
        if (onStep)
            onStep(m_index, step);
        if (generation != m_generation || !m_running)
            return; // stopped or replaced from the callback
        switch (step.kind) {
        case Step::Send:
            if (send)
                send(step.bytes);
            if (generation != m_generation)
                return;
            ++m_index;
            continue;
        case Step::Wait:
            if (step.ms == 0) {
                ++m_index;
                continue;
            }
            m_dueMs = nowMs + step.ms;
            return;
        case Step::Expect:
            m_dueMs = nowMs + step.ms;
            return;
        }
    }
    if (m_running && generation == m_generation)
        finish(true, QString());
}

void SequenceRunner::lineReceived(QByteArrayView line, int64_t nowMs) {
    if (!m_running || m_index >= stepCount())
        return;
    const Step& step = m_sequence.steps[size_t(m_index)];
    if (step.kind != Step::Expect)
        return;
    const QString text = QString::fromLatin1(line.data(), line.size());
    const bool hit = step.regex ? step.pattern.match(text).hasMatch() : text.contains(step.text);
    if (!hit)
        return;
    ++m_index;
    m_dueMs = Never;
    advance(nowMs);
}

void SequenceRunner::poll(int64_t nowMs) {
    if (!m_running || nowMs < m_dueMs || m_index >= stepCount())
        return;
    const Step& step = m_sequence.steps[size_t(m_index)];
    m_dueMs = Never;
    if (step.kind == Step::Wait) {
        ++m_index;
        advance(nowMs);
        return;
    }
    finish(false,
           QCoreApplication::translate("macros", "step %1 (line %2): no line with %3 within %4 ms")
               .arg(m_index + 1)
               .arg(step.line)
               .arg(step.regex ? u'/' + step.text + u'/' : step.text)
               .arg(step.ms));
}

void SequenceRunner::finish(bool completed, const QString& reason) {
    m_running = false;
    m_dueMs = Never;
    ++m_generation;
    if (onFinished)
        onFinished(completed, reason);
}

} // namespace macros
