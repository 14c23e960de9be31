#include "app/ReceivePipeline.h"

#include "util/Tokens.h"

namespace {
char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool startsWithFolded(QByteArrayView line, QByteArrayView prefix) {
    if (prefix.size() > line.size())
        return false;
    for (qsizetype i = 0; i < prefix.size(); ++i)
        if (upperAscii(line[i]) != upperAscii(prefix[i]))
            return false;
    return true;
}
} // namespace

QByteArray FilterFromText(const QString& text) {
    return TrimControls(text).toLatin1();
}

QByteArray UpperAscii(QByteArrayView text) {
    QByteArray result(text.data(), text.size());
    for (char& c : result)
        c = upperAscii(c);
    return result;
}

bool FilterMatches(QByteArrayView line, QByteArrayView filter) {
    if (filter.isEmpty())
        return false;
    if (startsWithFolded(line, filter))
        return true;
    if (filter[0] != '%' || filter.size() == 1)
        return false;
    return UpperAscii(line).contains(UpperAscii(filter.sliced(1)));
}

LineVerdict ClassifyLine(QByteArrayView line, const LineFilters& filters) {
    if (FilterMatches(line, filters.filter1))
        return LineVerdict::Filter1;
    if (FilterMatches(line, filters.filter2))
        return LineVerdict::Filter2;
    return filters.strict ? LineVerdict::Dropped : LineVerdict::Plain;
}

VOxaTerminal_LineType LineTypeOf(LineVerdict verdict) {
    switch (verdict) {
    case LineVerdict::Filter1:
        return VOxaTerminal_ltExtraG;
    case LineVerdict::Filter2:
        return VOxaTerminal_ltExtraA;
    default:
        return VOxaTerminal_ltInText;
    }
}

void SplitChunk(QByteArrayView chunk,
                const std::function<void(QByteArrayView line, qsizetype first)>& onLine,
                QByteArray& rest, qsizetype* restFirst) {
    rest.clear();
    QByteArray line;
    line.reserve(chunk.size());
    qsizetype first = -1; // of the line being gathered
    for (qsizetype i = 0; i < chunk.size(); ++i) {
        const char c = chunk[i];
        if (c == '\n')
            continue;
        if (c == '\r') {
            onLine(line, first >= 0 ? first : i);
            line.resize(0); // keeps the capacity for the next line
            first = -1;
            continue;
        }
        if (first < 0)
            first = i;
        line.append(c);
    }
    rest = line;
    if (restFirst)
        *restFirst = first;
}

void LineSplitter::setLineEnd(LineEnd end) {
    m_end = end;
    m_heldCR = false;
}

void LineSplitter::split(QByteArrayView chunk,
                         const std::function<void(QByteArrayView line, qsizetype first)>& onLine,
                         QByteArray& rest, qsizetype* restFirst) {
    if (m_end != LineEnd::LF && m_end != LineEnd::CRLF) {
        SplitChunk(chunk, onLine, rest, restFirst);
        return;
    }
    rest.clear();
    QByteArray line;
    line.reserve(chunk.size() + 1);
    qsizetype first = -1; // of the line being gathered
    qsizetype i = 0;
    if (m_heldCR) {
        m_heldCR = false;
        if (!chunk.isEmpty() && chunk[0] == '\n') {
            onLine(line, 0); // ends the line shown so far as partial text
            i = 1;
        } else {
            line.append('\r');
            first = 0;
        }
    }
    for (; i < chunk.size(); ++i) {
        const char c = chunk[i];
        bool ends = false;
        if (m_end == LineEnd::LF) {
            if (c == '\r')
                continue;
            ends = c == '\n';
        } else if (c == '\r') {
            if (i + 1 == chunk.size() && m_end == LineEnd::CRLF) {
                m_heldCR = true; // a line feed may open the next chunk
                continue;
            }
            ends = chunk[i + 1] == '\n';
            if (ends)
                ++i;
        }
        if (ends) {
            onLine(line, first >= 0 ? first : i);
            line.resize(0);
            first = -1;
            continue;
        }
        if (first < 0)
            first = i;
        line.append(c);
    }
    rest = line;
    if (restFirst)
        *restFirst = first;
}

void ProcessReceivedChunk(QByteArrayView chunk, const LineFilters& filters, const ReceiveSink& sink,
                          const comm::ReadTimes& times) {
    LineSplitter splitter;
    ProcessReceivedChunk(chunk, filters, sink, times, splitter);
}

void ProcessReceivedChunk(QByteArrayView chunk, const LineFilters& filters, const ReceiveSink& sink,
                          const comm::ReadTimes& times, LineSplitter& splitter) {
    QByteArray rest;
    qsizetype restFirst = -1;
    splitter.split(
        chunk,
        [&](QByteArrayView line, qsizetype first) {
            const LineVerdict verdict = ClassifyLine(line, filters);
            if (verdict != LineVerdict::Dropped)
                sink.addLine(line, LineTypeOf(verdict), times.At(size_t(first)));
            else if (sink.dropLine)
                sink.dropLine(line);
        },
        rest, &restFirst);
    if (!rest.isEmpty())
        sink.addText(rest, VOxaTerminal_ltInText, times.At(size_t(restFirst)));
}
