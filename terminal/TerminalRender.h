#pragma once
// The terminal's display arithmetic, free of widgets: line headers, rendering
// of a chunk into text and colour runs, line counters, the text model used for
// trimming, and the send history list.
#include <QRgb>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <vector>

#include "terminal/LineTypes.h"

// What the line header shows. Ordinals are stored.
enum VOxaTerminal_ShowOption : int {
    votsoShowLineCounts = 0,
    votsoShowTimes = 1,
};

// A set of VOxaTerminal_ShowOption.
class VOxaTerminal_ShowOptions {
public:
    VOxaTerminal_ShowOptions() = default;
    VOxaTerminal_ShowOptions(std::initializer_list<VOxaTerminal_ShowOption> options) {
        for (auto option : options)
            m_bits |= bit(option);
    }
    bool contains(VOxaTerminal_ShowOption option) const { return (m_bits & bit(option)) != 0; }
    void include(VOxaTerminal_ShowOption option) { m_bits |= bit(option); }
    void exclude(VOxaTerminal_ShowOption option) { m_bits &= ~bit(option); }
    bool isEmpty() const { return m_bits == 0; }
    unsigned bits() const { return m_bits; }
    bool operator==(const VOxaTerminal_ShowOptions&) const = default;

private:
    static unsigned bit(VOxaTerminal_ShowOption option) { return 1u << unsigned(option); }
    unsigned m_bits = 0;
};

namespace terminal {

// One counter per line type, counting display lines modulo 1000000.
class LineCounters {
public:
    // Advances the type's counter and returns the new value.
    int next(int lineType);
    int value(int lineType) const;
    void reset() { m_counters.fill(0); }

private:
    std::array<int, VOxaTerminal_LineTypeCount> m_counters{};
};

// The header of a new display line: counter and/or time of day, then ": ".
QString FormatLineHeader(VOxaTerminal_ShowOptions options, int counter, const QString& time);

// The time of day as the display shows it (9:05:07.042), for a local
// millisecond-of-day value. Repeated calls within the same millisecond reuse
// the previous text.
class TimeTextCache {
public:
    const QString& text(int64_t localMsecs);

private:
    int64_t m_msecs = INT64_MIN;
    int64_t m_second = -1;
    QString m_text;
};

// A run of characters drawn in a colour other than the row's.
struct ColorRun {
    int start;
    int length;
    QRgb color;
};

// A rendered chunk. text is what goes into the display; runs lists the
// stretches (escapes of text mode) whose colour differs from the row colour.
struct RenderedChunk {
    QString text;
    std::vector<ColorRun> runs;
    int endColumn = 0; // the column after the last character
};

struct RenderRequest {
    const LineTypeRow* row = nullptr;
    const unsigned char* data = nullptr;
    int count = 0;
    bool newLine = false;       // a display line begins with this chunk
    bool closePrevious = false; // the open line of another type is finished first
    QString header;             // used only for a new line
    int startColumn = 0;        // the column of a continued line
    int maxCharsPerLine = 500;
    // With crlf, line breaks are CR LF and raw bytes stay as they are (the raw
    // copy file); without it every line break becomes one "\n" (the display:
    // a raw CR LF pair, a lone CR and a lone LF each make one break).
    bool crlf = false;
    // Bytes that form UTF-8 characters are shown as those characters (text
    // and raw rows); any other byte is shown as without it.
    bool utf8 = false;
};

// Builds the chunk of one add: line break, header, prefix, then every byte in
// the row's display mode, with a line break whenever the column has passed
// maxCharsPerLine. Bytes are decoded one to one (Latin-1).
RenderedChunk RenderChunk(const RenderRequest& request);

// How many lines to drop from the top before inserting addLength characters.
struct TrimDecision {
    int lines = 0; // whole lines removed from the top
    int chars = 0; // characters removed (line breaks included)
};

// A model of the display's text as line lengths, enough for the trimming
// arithmetic. Every line break is one character.
class DisplayModel {
public:
    DisplayModel() { m_lines.push_back(0); }
    void clear();
    // Appends display text ("\n" breaks).
    void append(const QString& text);
    // Rebuilds from a complete text.
    void assign(const QString& text);
    int textLength() const { return m_textLength; }
    // Lines, not counting a final empty line after the last break.
    int lineCount() const;
    int lastLineLength() const { return m_lines.back(); }
    // Character position at which line n starts (the text length beyond the end).
    int lineStart(int n) const;
    // The trimming rule: with more than maxLines lines, or when the text plus
    // addLength exceeds maxChars, keep 90% of maxLines and then drop further
    // whole lines until the text plus addLength fits. Only decides.
    TrimDecision decideTrim(int addLength, int maxLines, int maxChars) const;
    // Removes lines from the top; returns the characters removed.
    int removeTopLines(int n);

private:
    std::deque<int> m_lines; // lengths of all lines, the last one possibly empty
    int m_textLength = 0;
};

// The send history: most recent first, at most 21 entries, case-insensitively
// unique. Returns true when the list changed.
bool AddToHistory(QStringList& history, const QString& text);

} // namespace terminal
