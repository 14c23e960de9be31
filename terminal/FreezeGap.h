#pragma once
// What the terminal drops while it is frozen (IgnoreAddChars), so that the
// hole a freeze leaves in the display and in the log is marked by one record
// once the terminal runs again: how many lines and bytes, from when to when.
// The session counts the lines Strict keeps out the same way.
#include <QString>
#include <cstdint>

namespace terminal {

QString FreezeGapText(int64_t fromMs, int64_t toMs, int64_t lines, int64_t bytes);
QString StrictGapText(int64_t fromMs, int64_t toMs, int64_t lines, int64_t bytes);

class FreezeGap {
public:
    // Freezing starts (local clock, milliseconds since the epoch).
    void begin(int64_t nowMs);
    // An add that the freeze dropped; pieces of one line count as one line.
    void drop(int lineType, int count);
    // The terminal ended a line while frozen.
    void lineEnded() { m_openType = -1; }
    // Running again: a record is due when anything was dropped.
    void end(int64_t nowMs);
    bool frozen() const { return m_frozen; }
    bool pending() const { return m_pending; }
    // The due record's text; no record is due afterwards.
    using Text = QString (*)(int64_t fromMs, int64_t toMs, int64_t lines, int64_t bytes);
    QString takeRecord(Text text = FreezeGapText);

private:
    bool m_frozen = false;
    bool m_pending = false;
    int64_t m_from = 0;
    int64_t m_to = 0;
    int64_t m_lines = 0;
    int64_t m_bytes = 0;
    int m_openType = -1;
};

// The records' texts:
//   FreezeGapText: "-- Frozen from 2026-12-08 15:05:07.042 to 2026-12-08
//     15:05:13.042: 3 lines, 57 bytes neither shown nor logged --"
//   StrictGapText: "-- Strict from ... to ...: 3 lines, 57 bytes matched no
//     filter and were neither shown nor logged --"

} // namespace terminal
