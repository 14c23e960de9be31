#pragma once
// The main window's receive path without widgets: received chunks become lines
// at carriage returns, and two filter strings pick out lines of interest.
// Data are bytes throughout; filters are compared byte by byte.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

#include "comm/VOXComm32ReadTimes.h"
#include "terminal/LineTypes.h"

// A filter as typed in its box, without the leading and trailing characters of
// code 0 to 32. Characters outside Latin-1 cannot occur in received data.
QByteArray FilterFromText(const QString& text);

// Upper-case form where only the letters a to z change.
QByteArray UpperAscii(QByteArrayView text);

// Whether line matches filter: an empty filter never matches; the filter taken
// whole is tried as a prefix first, then, for a filter beginning with "%", the
// rest is looked for anywhere in the line ("%" alone matches nothing). Letter
// case of a to z is ignored.
bool FilterMatches(QByteArrayView line, QByteArrayView filter);

// What the terminal gets for a line: filter 1 wins over filter 2; an unmatched
// line is ordinary received text, or nothing under Strict.
struct LineFilters {
    QByteArray filter1;
    QByteArray filter2;
    bool strict = false;
};
enum class LineVerdict { Filter1, Filter2, Plain, Dropped };
LineVerdict ClassifyLine(QByteArrayView line, const LineFilters& filters);
// The terminal line type for a verdict other than Dropped.
VOxaTerminal_LineType LineTypeOf(LineVerdict verdict);

// Splits one received chunk: line feeds are dropped wherever they stand, a
// carriage return ends a line (which may be empty), and the rest after the last
// carriage return comes back as the partial text. Each line comes with the
// offset of its first byte in the chunk (its carriage return for an empty
// line), and so does the rest (restFirst). Nothing is carried over from one
// chunk to the next. Linear in the chunk's size.
void SplitChunk(QByteArrayView chunk,
                const std::function<void(QByteArrayView line, qsizetype first)>& onLine,
                QByteArray& rest, qsizetype* restFirst = nullptr);

// What ends a received line (the advanced setting "line ends", stored by its
// ordinal).
enum class LineEnd : int {
    CR = 0,   // a carriage return; line feeds are dropped (SplitChunk)
    LF = 1,   // a line feed; carriage returns are dropped
    CRLF = 2, // a carriage return right before a line feed; either alone is data
};
constexpr int kLineEndCount = 3;

// Splits chunks by one of the line ends, as SplitChunk does. With CR LF a
// carriage return that ends a chunk is held back until the next chunk shows
// whether a line feed follows; nothing else is carried over.
class LineSplitter {
public:
    explicit LineSplitter(LineEnd end = LineEnd::CR) : m_end(end) {}
    LineEnd lineEnd() const { return m_end; }
    void setLineEnd(LineEnd end);
    void split(QByteArrayView chunk,
               const std::function<void(QByteArrayView line, qsizetype first)>& onLine,
               QByteArray& rest, qsizetype* restFirst = nullptr);

private:
    LineEnd m_end;
    bool m_heldCR = false;
};

// Where the pipeline's output goes (the terminal in the program, a recorder in
// tests). stampMs: when the first byte of the text was read from the port, in
// milliseconds since 1970-01-01 UTC; comm::ReadTimes::Unknown when not known.
struct ReceiveSink {
    using Add =
        std::function<void(QByteArrayView text, VOxaTerminal_LineType type, int64_t stampMs)>;
    Add addLine;
    Add addText;
    // A line Strict kept out (optional).
    std::function<void(QByteArrayView line)> dropLine;
};

// The whole chunk: every line filtered and handed to addLine, then a non-empty
// rest handed unfiltered to addText as received text (also under Strict), each
// stamped with the read time of its first byte.
void ProcessReceivedChunk(QByteArrayView chunk, const LineFilters& filters, const ReceiveSink& sink,
                          const comm::ReadTimes& times = {});
// The same with the lines ended as splitter says.
void ProcessReceivedChunk(QByteArrayView chunk, const LineFilters& filters, const ReceiveSink& sink,
                          const comm::ReadTimes& times, LineSplitter& splitter);
