#include "terminal/FreezeGap.h"

#include <QDateTime>

namespace terminal {

void FreezeGap::begin(int64_t nowMs) {
    m_frozen = true;
    m_pending = false;
    m_from = nowMs;
    m_lines = 0;
    m_bytes = 0;
    m_openType = -1;
}

void FreezeGap::drop(int lineType, int count) {
    if (!m_frozen)
        return;
    if (lineType != m_openType)
        ++m_lines;
    m_openType = lineType;
    m_bytes += count;
}

void FreezeGap::end(int64_t nowMs) {
    if (!m_frozen)
        return;
    m_frozen = false;
    m_to = nowMs;
    m_pending = m_lines > 0 || m_bytes > 0;
}

QString FreezeGap::takeRecord(Text text) {
    m_pending = false;
    return text(m_from, m_to, m_lines, m_bytes);
}

namespace {

// Records are English whatever the user's language: logs are compared and
// searched across machines.
QString gapText(const char* kind, const char* fate, int64_t fromMs, int64_t toMs, int64_t lines,
                int64_t bytes) {
    const auto stamp = [](int64_t ms) {
        return QDateTime::fromMSecsSinceEpoch(ms).toString(
            QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    };
    const auto counted = [](int64_t n, const char* one, const char* many) {
        return QString::number(n) + u' ' + QLatin1String(n == 1 ? one : many);
    };
    return QStringLiteral("-- %1 from %2 to %3: %4, %5 %6 --")
        .arg(QLatin1String(kind), stamp(fromMs), stamp(toMs), counted(lines, "line", "lines"),
             counted(bytes, "byte", "bytes"), QLatin1String(fate));
}

} // namespace

QString FreezeGapText(int64_t fromMs, int64_t toMs, int64_t lines, int64_t bytes) {
    return gapText("Frozen", "neither shown nor logged", fromMs, toMs, lines, bytes);
}

QString StrictGapText(int64_t fromMs, int64_t toMs, int64_t lines, int64_t bytes) {
    return gapText("Strict", "matched no filter and were neither shown nor logged", fromMs, toMs,
                   lines, bytes);
}

} // namespace terminal
