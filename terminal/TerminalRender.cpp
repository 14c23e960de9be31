#include "terminal/TerminalRender.h"

#include <algorithm>

#include "util/OxaUtils.h"

namespace terminal {

int LineCounters::next(int lineType) {
    if (lineType < 0 || lineType >= VOxaTerminal_LineTypeCount)
        return 0;
    int& counter = m_counters[size_t(lineType)];
    counter = (counter + 1) % 1000000;
    return counter;
}

int LineCounters::value(int lineType) const {
    if (lineType < 0 || lineType >= VOxaTerminal_LineTypeCount)
        return 0;
    return m_counters[size_t(lineType)];
}

QString FormatLineHeader(VOxaTerminal_ShowOptions options, int counter, const QString& time) {
    const bool counts = options.contains(votsoShowLineCounts);
    const bool times = options.contains(votsoShowTimes);
    if (counts && times)
        return QStringLiteral("%1 @ %2: ").arg(counter, 4).arg(time);
    if (counts)
        return QStringLiteral("%1: ").arg(counter, 4);
    if (times)
        return time + QStringLiteral(": ");
    return QString();
}

const QString& TimeTextCache::text(int64_t localMsecs) {
    if (localMsecs == m_msecs)
        return m_text;
    m_msecs = localMsecs;
    int64_t ofDay = localMsecs % 86400000;
    if (ofDay < 0)
        ofDay += 86400000;
    // The time text is built once per second; the milliseconds of a whole
    // millisecond value are its last three digits.
    const int64_t second = ofDay / 1000;
    if (second != m_second) {
        m_second = second;
        TimeToText(3, false, 1, m_text, double(second * 1000) / 86400000.0);
    }
    const int ms = int(ofDay % 1000);
    const qsizetype n = m_text.size();
    if (n >= 3) {
        m_text[n - 3] = QChar(u'0' + ms / 100);
        m_text[n - 2] = QChar(u'0' + ms / 10 % 10);
        m_text[n - 1] = QChar(u'0' + ms % 10);
    }
    return m_text;
}

namespace {

constexpr char16_t hexDigits[] = u"0123456789ABCDEF";

// The length of the UTF-8 character at s (2 to 4 bytes, at most n), with its
// code point; 0 when the bytes there are no such character.
int utf8Character(const unsigned char* s, int n, char32_t* code) {
    const unsigned char b = s[0];
    int length = 0;
    char32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        c = b & 0x07;
    } else {
        return 0;
    }
    if (length > n)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (s[i] & 0x3F);
    }
    // Overlong forms, surrogates and values past Unicode are no characters.
    if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *code = c;
    return length;
}

// Upper bound of the characters a chunk can take, so the text is allocated once.
int chunkCapacity(const RenderRequest& r) {
    const int perByte = r.row->mode == LineTypeMode::Text  ? 5
                        : r.row->mode == LineTypeMode::Hex ? 3
                                                           : 1;
    const int breaks = (r.count * perByte) / std::max(1, r.maxCharsPerLine) + 2;
    return 2 + int(r.header.size()) + int(qstrlen(r.row->displayPrefix)) + r.count * perByte +
           breaks * 2;
}

} // namespace

RenderedChunk RenderChunk(const RenderRequest& r) {
    RenderedChunk out;
    const LineTypeRow& row = *r.row;
    out.text.resize(chunkCapacity(r));
    char16_t* const begin = reinterpret_cast<char16_t*>(out.text.data());
    char16_t* p = begin;
    auto lineBreak = [&] {
        if (r.crlf)
            *p++ = u'\r';
        *p++ = u'\n';
    };

    int column = r.startColumn;
    if (r.newLine) {
        if (r.closePrevious)
            lineBreak();
        column = 0;
        for (QChar c : r.header)
            *p++ = c.unicode();
        for (const char* s = row.displayPrefix; *s; ++s)
            *p++ = char16_t(uchar(*s));
        column = int(p - begin) - (r.closePrevious ? (r.crlf ? 2 : 1) : 0);
    }

    const int maxColumn = r.maxCharsPerLine;
    ColorRun* open = nullptr; // the escape run being extended
    for (int i = 0; i < r.count; ++i) {
        if (column > maxColumn) {
            lineBreak();
            column = 0;
            open = nullptr;
        }
        const unsigned char b = r.data[i];
        char32_t code = 0;
        if (r.utf8 && b >= 0xC2 && row.mode != LineTypeMode::Hex) {
            if (const int length = utf8Character(r.data + i, r.count - i, &code)) {
                if (code >= 0x10000) {
                    *p++ = QChar::highSurrogate(code);
                    *p++ = QChar::lowSurrogate(code);
                } else {
                    *p++ = char16_t(code);
                }
                i += length - 1;
                column += 1;
                open = nullptr;
                continue;
            }
        }
        switch (row.mode) {
        case LineTypeMode::Text:
            if (b >= 0x20 && b <= 0x7F) {
                *p++ = char16_t(b);
                column += 1;
                open = nullptr;
            } else {
                const int start = int(p - begin);
                *p++ = u'<';
                *p++ = u'#';
                *p++ = hexDigits[b >> 4];
                *p++ = hexDigits[b & 15];
                *p++ = u'>';
                column += 5;
                if (open && open->start + open->length == start) {
                    open->length += 5;
                } else {
                    out.runs.push_back({start, 5, row.escapeColor});
                    open = &out.runs.back();
                }
            }
            break;
        case LineTypeMode::Hex:
            *p++ = u' ';
            *p++ = hexDigits[b >> 4];
            *p++ = hexDigits[b & 15];
            column += 3;
            break;
        case LineTypeMode::Raw:
            if (!r.crlf && (b == '\r' || b == '\n')) {
                // One break per CR LF pair, lone CR or lone LF, as the display
                // control would make of them.
                if (b == '\r' && i + 1 < r.count && r.data[i + 1] == '\n' &&
                    column + 1 <= maxColumn) {
                    ++i;
                    column += 1;
                }
                *p++ = u'\n';
            } else {
                *p++ = char16_t(b);
            }
            column += 1;
            break;
        }
    }
    out.text.truncate(int(p - begin));
    out.endColumn = column;
    return out;
}

void DisplayModel::clear() {
    m_lines.clear();
    m_lines.push_back(0);
    m_textLength = 0;
}

void DisplayModel::append(const QString& text) {
    const QChar* s = text.constData();
    const qsizetype n = text.size();
    qsizetype from = 0;
    while (from < n) {
        qsizetype i = from;
        while (i < n && s[i] != u'\n')
            ++i;
        m_lines.back() += int(i - from);
        if (i < n)
            m_lines.push_back(0);
        from = i + 1;
    }
    m_textLength += int(n);
}

void DisplayModel::assign(const QString& text) {
    clear();
    append(text);
}

int DisplayModel::lineCount() const {
    const int size = int(m_lines.size());
    return m_lines.back() == 0 ? size - 1 : size;
}

int DisplayModel::lineStart(int n) const {
    if (n >= int(m_lines.size()))
        return m_textLength;
    int position = 0;
    for (int i = 0; i < n; ++i)
        position += m_lines[size_t(i)] + 1;
    return position;
}

TrimDecision DisplayModel::decideTrim(int addLength, int maxLines, int maxChars) const {
    const int lines = lineCount();
    const int64_t needed = int64_t(m_textLength) + addLength - maxChars;
    if (lines <= maxLines && needed <= 0)
        return {};
    int n = std::max(0, lines - (maxLines - maxLines / 10));
    n = std::min(n, lines);
    // Walk the line starts once: cut is the start of line n.
    const int size = int(m_lines.size());
    int cut = 0;
    int i = 0;
    auto startOf = [&](int target) {
        if (target >= size)
            return m_textLength;
        while (i < target)
            cut += m_lines[size_t(i++)] + 1;
        return cut;
    };
    int position = startOf(n);
    while (position < needed && n < lines) {
        ++n;
        position = startOf(n);
    }
    return {n, position};
}

int DisplayModel::removeTopLines(int n) {
    if (n <= 0)
        return 0;
    if (n >= int(m_lines.size())) {
        const int removed = m_textLength;
        clear();
        return removed;
    }
    int removed = 0;
    for (int i = 0; i < n; ++i) {
        removed += m_lines.front() + 1;
        m_lines.pop_front();
    }
    m_textLength -= removed;
    return removed;
}

bool AddToHistory(QStringList& history, const QString& text) {
    if (text.isEmpty())
        return false;
    qsizetype found = -1;
    for (qsizetype i = 0; i < history.size(); ++i) {
        if (history[i].compare(text, Qt::CaseInsensitive) == 0) {
            found = i;
            break;
        }
    }
    // The first entry stays as it is unless the new text differs in letter case,
    // so the latest spelling is the one kept.
    if (found == 0 && history[0] == text)
        return false;
    if (found >= 0)
        history.removeAt(found);
    if (history.size() > 20)
        history.removeAt(20);
    history.prepend(text);
    return true;
}

} // namespace terminal
