// Feeds arbitrary bytes, in arbitrary chunks, through the main window's receive
// pipeline (line splitting, filters, Strict) into the terminal's rendering and
// display trimming, as the program does, and checks what each stage promises.
//
// Input: byte 0 flags (Strict, raw copy line ends, header options), byte 1
// characters per line, byte 2 and 3 the lengths of the two filters, byte 4 the
// seed of the chunk sizes, then the filters, then the received stream.
#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "app/ReceivePipeline.h"
#include "terminal/LineTypes.h"
#include "terminal/TerminalRender.h"

namespace {

struct Display {
    terminal::DisplayModel model;
    terminal::LineCounters counters;
    VOxaTerminal_ShowOptions options;
    int lastType = VOxaTerminal_lt_NoType;
    int maxChars = 500;
    bool crlf = false;

    void add(QByteArrayView text, int type, bool endLine) {
        terminal::RenderRequest r;
        r.row = &LineTypeInfo(type);
        r.data = reinterpret_cast<const unsigned char*>(text.data());
        r.count = int(text.size());
        r.maxCharsPerLine = maxChars;
        r.crlf = crlf;
        if (type != lastType) {
            r.newLine = true;
            r.closePrevious = lastType != VOxaTerminal_lt_NoType;
            r.header = terminal::FormatLineHeader(options, counters.next(type),
                                                  QStringLiteral("9:05:07.042"));
        } else {
            r.startColumn = model.lastLineLength();
        }
        const terminal::RenderedChunk chunk = terminal::RenderChunk(r);
        int previousEnd = 0;
        for (const terminal::ColorRun& run : chunk.runs) {
            FUZZ_CHECK(run.start >= previousEnd && run.length > 0 && run.length % 5 == 0);
            FUZZ_CHECK(run.start + run.length <= chunk.text.size());
            previousEnd = run.start + run.length;
        }
        // A display line passes its limit by at most one byte's rendering.
        if (!crlf) {
            const int opening =
                r.newLine ? int(r.header.size() + qstrlen(r.row->displayPrefix)) : 0;
            const int limit = std::max(std::max(maxChars, 0) + 5, opening);
            for (const QString& line : chunk.text.split(QLatin1Char('\n')))
                FUZZ_CHECK(line.size() <= limit);
        }
        const terminal::TrimDecision d = model.decideTrim(int(chunk.text.size()), 200, 4000);
        FUZZ_CHECK(d.lines >= 0 && d.chars >= 0 && d.chars <= model.textLength());
        FUZZ_CHECK(model.removeTopLines(d.lines) == d.chars);
        const int before = model.textLength();
        model.append(crlf ? QString(chunk.text).remove(QLatin1Char('\r')) : chunk.text);
        FUZZ_CHECK(model.textLength() >= before);
        lastType = endLine ? VOxaTerminal_lt_NoType : type;
        if (endLine)
            model.append(QStringLiteral("\n"));
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    LineFilters filters;
    filters.strict = data[0] & 1;
    Display display;
    display.crlf = data[0] & 2;
    if (data[0] & 4)
        display.options.include(votsoShowLineCounts);
    if (data[0] & 8)
        display.options.include(votsoShowTimes);
    display.maxChars = int(data[1]) - 8; // down to below zero
    const size_t length1 = data[2] % 16, length2 = data[3] % 16;
    uint32_t seed = data[4] | 1u;
    size_t at = 5;
    auto take = [&](size_t n) {
        n = std::min(n, size - at);
        const QByteArray bytes(reinterpret_cast<const char*>(data + at), qsizetype(n));
        at += n;
        return bytes;
    };
    filters.filter1 = FilterFromText(QString::fromLatin1(take(length1)));
    filters.filter2 = FilterFromText(QString::fromLatin1(take(length2)));

    while (at < size) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        const QByteArray chunk = take(1 + seed % 300);
        QByteArray joined; // the lines as the sink got them, each ended by CR
        QByteArray rest;
        // Bytes read 16 at a time, each read at the millisecond of its offset:
        // a stamp names a byte of the chunk, and stamps never go back.
        std::vector<comm::ReadMark> marks;
        for (qsizetype at = 0; at < chunk.size(); at += 16)
            comm::AddReadMark(marks, uint32_t(at), int64_t(at));
        int64_t lastStamp = -1;
        const auto stamped = [&](int64_t stamp) {
            FUZZ_CHECK(stamp >= lastStamp && stamp < chunk.size() && stamp % 16 == 0);
            lastStamp = stamp;
        };
        ReceiveSink sink;
        sink.addLine = [&](QByteArrayView line, VOxaTerminal_LineType type, int64_t stamp) {
            stamped(stamp);
            FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
            const LineVerdict verdict = ClassifyLine(line, filters);
            FUZZ_CHECK(verdict != LineVerdict::Dropped && LineTypeOf(verdict) == type);
            joined += line.toByteArray() + '\r';
            display.add(line, type, true);
        };
        sink.addText = [&](QByteArrayView text, VOxaTerminal_LineType type, int64_t stamp) {
            stamped(stamp);
            FUZZ_CHECK(type == VOxaTerminal_ltInText && !text.isEmpty());
            rest = text.toByteArray();
            display.add(text, type, false);
        };
        ProcessReceivedChunk(chunk, filters, sink, comm::ReadTimes(marks));
        QByteArray expected = chunk;
        expected.replace('\n', QByteArray());
        FUZZ_CHECK(expected.endsWith(rest));
        if (!filters.strict)
            FUZZ_CHECK(joined + rest == expected);
    }
    return 0;
}
