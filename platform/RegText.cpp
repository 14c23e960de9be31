#include "platform/RegText.h"

#include "platform/HexDigit.h"
#include <QtEndian>
#include <string>

namespace platform {

// ---- values -------------------------------------------------------------------

QString fromRegText(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    auto continuation = [&](qsizetype i) { return i < n && (p[i] & 0xC0) == 0x80; };
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            out.append(QChar(b));
            ++i;
            continue;
        }
        // The length of a well-formed sequence and the range of its second
        // byte (which rules out overlong forms, surrogates and values above
        // U+10FFFF).
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            low = b == 0xE0 ? 0xA0 : 0x80;
            high = b == 0xED ? 0x9F : 0xBF;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            low = b == 0xF0 ? 0x90 : 0x80;
            high = b == 0xF4 ? 0x8F : 0xBF;
        }
        bool valid = length > 0 && i + 1 < n && p[i + 1] >= low && p[i + 1] <= high;
        for (int k = 2; valid && k < length; ++k)
            valid = continuation(i + k);
        if (!valid) {
            out.append(QChar(char16_t(0xDC00 + b))); // kept as the byte it is
            ++i;
            continue;
        }
        char32_t code = b & (0xFF >> (length + 1));
        for (int k = 1; k < length; ++k)
            code = (code << 6) | (p[i + k] & 0x3F);
        out.append(QChar::fromUcs4(code));
        i += length;
    }
    return out;
}

QByteArray toRegText(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    auto put = [&out](char32_t c) {
        if (c < 0x80) {
            out.append(char(c));
        } else if (c < 0x800) {
            out.append(char(0xC0 | (c >> 6)));
            out.append(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.append(char(0xE0 | (c >> 12)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        } else {
            out.append(char(0xF0 | (c >> 18)));
            out.append(char(0x80 | ((c >> 12) & 0x3F)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        }
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            put(QChar::surrogateToUcs4(c, text.at(i + 1).unicode()));
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out.append(char(c - 0xDC00)); // a byte that was no UTF-8
        } else if (QChar::isSurrogate(c)) {
            put(0xFFFD);
        } else {
            put(c);
        }
    }
    return out;
}

QString RegValue::text() const {
    if (!isText())
        return {};
    const qsizetype end = data.indexOf('\0');
    return fromRegText(end < 0 ? data : data.left(end));
}

uint32_t RegValue::dword() const {
    return isDword() ? qFromLittleEndian<uint32_t>(data.constData()) : 0;
}

RegValue RegValue::fromString(const QString& name, const QString& text, uint32_t type) {
    RegValue v;
    v.name = name;
    v.type = type;
    v.data = toRegText(text);
    v.data.append('\0');
    return v;
}

RegValue RegValue::fromDword(const QString& name, uint32_t value) {
    RegValue v;
    v.name = name;
    v.type = RegType::Dword;
    v.data.resize(4);
    qToLittleEndian<uint32_t>(value, v.data.data());
    return v;
}

namespace {

// ---- reading lines ---------------------------------------------------------------

const QByteArray headerV4 = QByteArrayLiteral("REGEDIT4");
const QByteArray headerV5 = QByteArrayLiteral("Windows Registry Editor Version 5.00");

QString normalisePath(const QString& path) {
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
}

// The form under which a path or name is looked up: as it reads back from the
// file, without regard to letter case.
QString folded(const QString& text) {
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    return (ascii ? text : fromRegText(toRegText(text))).toCaseFolded();
}

bool isAscii(const QString& text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

char16_t lowerAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

QString foldedPath(const QString& path) {
    return folded(normalisePath(path));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimRight(const QByteArray& s) {
    qsizetype n = s.size();
    while (n > 0 && (isBlank(s[n - 1]) || s[n - 1] == '\r'))
        --n;
    return s.left(n);
}

// A wrapped hex line goes on in an indented line of hex digits.
bool isContinuation(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    return !t.isEmpty() && hexDigitValue(t[0]) >= 0;
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing
// quote. Inside, \\ is a backslash and \" a quote; any other backslash stays.
bool readQuoted(const QByteArray& s, qsizetype& pos, QByteArray& out) {
    if (pos >= s.size() || s[pos] != '"')
        return false;
    ++pos;
    out.clear();
    while (pos < s.size()) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            out.append(s[pos + 1]);
            pos += 2;
            continue;
        }
        out.append(c);
        ++pos;
    }
    return false; // no closing quote
}

QByteArray escapeQuoted(const QByteArray& s) {
    QByteArray out;
    out.reserve(s.size() + 2);
    for (char c : s) {
        if (c == '\\' || c == '"')
            out.append('\\');
        out.append(c);
    }
    return out;
}

// Hex byte list "01,a2, ff" (possibly empty, a trailing comma allowed).
bool readHexBytes(const QByteArray& s, QByteArray& out) {
    out.clear();
    const QByteArray t = s.trimmed();
    if (t.isEmpty())
        return true;
    const QList<QByteArray> parts = t.split(',');
    out.reserve(parts.size());
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray p = parts[i].trimmed();
        if (p.isEmpty() && i == parts.size() - 1 && i > 0)
            break; // a trailing comma
        if (p.isEmpty() || p.size() > 2)
            return false;
        int v = 0;
        for (char c : p) {
            const int d = hexDigitValue(c);
            if (d < 0)
                return false;
            v = v * 16 + d;
        }
        out.append(char(v));
    }
    return true;
}

// UTF-16LE data of a 5.00 export as 8-bit text; false when it is none.
bool wideToRegText(QByteArray& data) {
    if (data.size() % 2 != 0)
        return false;
    std::u16string units(size_t(data.size() / 2), u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = qFromLittleEndian<char16_t>(data.constData() + 2 * i);
    data = toRegText(QString::fromStdU16String(units));
    return true;
}

struct ParsedValue {
    RegValue value;
    bool converted = false; // the stored form differs from the line (wide text)
};

// Parses one value line (continuations already joined).
bool parseValue(const QByteArray& line, bool wideStrings, ParsedValue& out) {
    qsizetype pos = 0;
    QByteArray name;
    if (line.startsWith('@')) {
        pos = 1;
    } else if (!readQuoted(line, pos, name)) {
        return false;
    }
    while (pos < line.size() && isBlank(line[pos]))
        ++pos;
    if (pos >= line.size() || line[pos] != '=')
        return false;
    ++pos;
    while (pos < line.size() && isBlank(line[pos]))
        ++pos;
    const QByteArray rest = trimRight(line.mid(pos));

    RegValue v;
    if (rest.startsWith('"')) {
        qsizetype p = 0;
        QByteArray text;
        if (!readQuoted(rest, p, text) || p != rest.size())
            return false;
        v.type = RegType::String;
        v.data = text;
        v.data.append('\0');
    } else if (rest.startsWith("dword:")) {
        const QByteArray digits = rest.mid(6).trimmed();
        if (digits.isEmpty() || digits.size() > 8)
            return false;
        uint32_t n = 0;
        for (char c : digits) {
            const int d = hexDigitValue(c);
            if (d < 0)
                return false;
            n = n * 16 + uint32_t(d);
        }
        v = RegValue::fromDword(QString(), n);
    } else if (rest.startsWith("hex:")) {
        v.type = RegType::Binary;
        if (!readHexBytes(rest.mid(4), v.data))
            return false;
    } else if (rest.startsWith("hex(")) {
        const qsizetype close = rest.indexOf(')');
        if (close < 5 || close > 12 || close + 1 >= rest.size() || rest[close + 1] != ':')
            return false;
        uint32_t type = 0;
        for (qsizetype i = 4; i < close; ++i) {
            const int d = hexDigitValue(rest[i]);
            if (d < 0)
                return false;
            type = type * 16 + uint32_t(d);
        }
        v.type = type;
        if (!readHexBytes(rest.mid(close + 2), v.data))
            return false;
        if (wideStrings && (type == RegType::ExpandString || type == RegType::MultiString))
            out.converted = wideToRegText(v.data);
    } else {
        return false;
    }
    v.name = fromRegText(name);
    out.value = v;
    return true;
}

// ---- writing ----------------------------------------------------------------------

QByteArray hexList(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size() * 3);
    static const char digits[] = "0123456789abcdef";
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0)
            out.append(',');
        const auto b = uint8_t(data[i]);
        out.append(digits[b >> 4]);
        out.append(digits[b & 15]);
    }
    return out;
}

QByteArray formatValue(const QByteArray& rawName, const RegValue& v) {
    QByteArray line = rawName.isEmpty() ? QByteArray("@") : '"' + escapeQuoted(rawName) + '"';
    line.append('=');
    const QByteArray& d = v.data;
    const bool plainText = v.type == RegType::String && d.endsWith('\0') &&
                           d.indexOf('\0') == d.size() - 1 && !d.contains('\r') &&
                           !d.contains('\n');
    if (plainText) {
        line += '"' + escapeQuoted(d.left(d.size() - 1)) + '"';
    } else if (v.isDword()) {
        line += "dword:" + QByteArray::number(v.dword(), 16).rightJustified(8, '0');
    } else if (v.type == RegType::Binary) {
        line += "hex:" + hexList(d);
    } else {
        line += "hex(" + QByteArray::number(v.type, 16) + "):" + hexList(d);
    }
    return line;
}

bool isSameOrBelow(const QString& path, const QString& key) {
    return path.compare(key, Qt::CaseInsensitive) == 0 ||
           (path.size() > key.size() && path.at(key.size()) == QLatin1Char('\\') &&
            QStringView(path).left(key.size()).compare(key, Qt::CaseInsensitive) == 0);
}

} // namespace

// ---- sections ------------------------------------------------------------------------

// Most names are ASCII, whose folded form is the lower case of a to z: that
// case is compared and hashed without making the folded text.
bool RegDocument::NameKey::operator==(const NameKey& other) const {
    if (name.size() == other.name.size() && isAscii(name) && isAscii(other.name)) {
        for (qsizetype i = 0; i < name.size(); ++i)
            if (lowerAscii(name[i].unicode()) != lowerAscii(other.name[i].unicode()))
                return false;
        return true;
    }
    return folded(name) == folded(other.name);
}

size_t qHash(const RegDocument::NameKey& key, size_t seed) noexcept {
    size_t h = seed;
    auto add = [&h](char16_t c) { h = (h ^ c) * 0x100000001b3ull; };
    if (isAscii(key.name)) {
        for (QChar c : key.name)
            add(lowerAscii(c.unicode()));
    } else {
        for (QChar c : folded(key.name))
            add(c.unicode());
    }
    return h;
}

void RegDocument::Section::reindex() {
    index.clear();
    for (qsizetype i = 0; i < items.size(); ++i)
        if (items[i].isValue)
            index.insert(NameKey{items[i].value.name}, i);
}

RegDocument::Item* RegDocument::Section::find(const QString& name) {
    const auto it = index.constFind(NameKey{name});
    return it == index.constEnd() ? nullptr : &items[*it];
}

const RegDocument::Item* RegDocument::Section::find(const QString& name) const {
    const auto it = index.constFind(NameKey{name});
    return it == index.constEnd() ? nullptr : &items[*it];
}

RegDocument::Section* RegDocument::section(const QString& path) {
    const auto it = m_index.constFind(foldedPath(path));
    return it == m_index.constEnd() ? nullptr : &m_sections[*it];
}

const RegDocument::Section* RegDocument::section(const QString& path) const {
    const auto it = m_index.constFind(foldedPath(path));
    return it == m_index.constEnd() ? nullptr : &m_sections[*it];
}

RegDocument::Section& RegDocument::appendSection(const QByteArray& rawPath, const QString& path) {
    m_sections.append(Section{rawPath, path, {}, {}});
    m_index.insert(foldedPath(path), m_sections.size() - 1);
    return m_sections.last();
}

void RegDocument::reindex() {
    m_index.clear();
    for (qsizetype i = 0; i < m_sections.size(); ++i)
        m_index.insert(foldedPath(m_sections[i].path), i);
}

// ---- parsing --------------------------------------------------------------------------

RegDocument RegDocument::parse(const QByteArray& input) {
    RegDocument doc;
    QByteArray bytes;
    if (input.startsWith("\xff\xfe") || input.startsWith("\xfe\xff")) {
        const bool little = input.startsWith("\xff\xfe");
        std::u16string units(size_t((input.size() - 2) / 2), u'\0');
        for (size_t i = 0; i < units.size(); ++i) {
            const char* p = input.constData() + 2 + 2 * i;
            units[i] = little ? qFromLittleEndian<char16_t>(p) : qFromBigEndian<char16_t>(p);
        }
        bytes = toRegText(QString::fromStdU16String(units));
    } else if (input.startsWith("\xef\xbb\xbf")) {
        bytes = input.mid(3);
    } else {
        bytes = input;
    }
    auto unusable = [&doc](const QString& why) {
        doc.m_usable = false;
        doc.m_problem = why;
        return doc;
    };
    if (bytes.contains('\0'))
        return unusable(QStringLiteral("not a registry export (binary data)"));

    doc.m_source = bytes;
    // Read only, so the text stays shared with the caller's copy.
    const QByteArray& text = doc.m_source;
    std::vector<Line> lines;
    lines.reserve(size_t(text.count('\n')) + 1);
    for (qsizetype begin = 0;;) {
        qsizetype end = text.indexOf('\n', begin);
        const qsizetype next = end < 0 ? -1 : end + 1;
        if (end < 0)
            end = text.size();
        if (end > begin && text.at(end - 1) == '\r')
            --end;
        lines.push_back({begin, end});
        if (next < 0)
            break;
        begin = next;
    }
    size_t header = 0;
    while (header < lines.size() && doc.lineAt(lines[header]).trimmed().isEmpty())
        ++header;
    if (header == lines.size()) {
        doc.m_source.clear();
        return doc; // an empty file: an empty hive
    }
    const QByteArray first = trimRight(doc.lineAt(lines[header]));
    if (first != headerV4 && first != headerV5)
        return unusable(QStringLiteral("not a registry export (the first line is neither "
                                       "REGEDIT4 nor Windows Registry Editor Version 5.00)"));
    lines[header].end = lines[header].begin; // read, and taken for a blank line from now on
    doc.parseLines(lines, first == headerV5);
    return doc;
}

RegDocument RegDocument::unreadable(const QString& why) {
    RegDocument doc;
    doc.m_usable = false;
    doc.m_problem = why;
    return doc;
}

QByteArray RegDocument::lineAt(const Line& line) const {
    // A view of the source, not a copy: only read while parsing.
    return QByteArray::fromRawData(m_source.constData() + line.begin, line.end - line.begin);
}

void RegDocument::parseLines(const std::vector<Line>& lines, bool wideStrings) {
    int badLines = 0;
    qsizetype firstBadLine = 0;
    qsizetype current = -1; // section being read
    auto keep = [&](const Item& item) {
        if (current >= 0)
            m_sections[current].items.append(item);
        else
            m_preamble.append(item.raw);
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const QByteArray line = lineAt(lines[i]);
        const QByteArray trimmed = trimRight(line);
        if (trimmed.trimmed().isEmpty())
            continue;
        if (trimmed.startsWith(';')) { // a comment stays where it stands
            Item comment;
            comment.raw = {lines[i].begin, lines[i].end};
            keep(comment);
            continue;
        }
        if (trimmed.startsWith('[') && trimmed.endsWith(']') && !trimmed.startsWith("[-")) {
            const QByteArray raw = trimmed.mid(1, trimmed.size() - 2);
            const QString path = normalisePath(fromRegText(raw));
            const auto it = m_index.constFind(foldedPath(path));
            if (it != m_index.constEnd()) {
                current = *it; // a repeated section adds to the first one
            } else {
                appendSection(raw, path);
                current = m_sections.size() - 1;
            }
            // Room for the lines up to the next key at once: a key of many
            // values is not copied over and over as it grows.
            size_t next = i + 1;
            while (next < lines.size() && !lineAt(lines[next]).startsWith('['))
                ++next;
            Section& s = m_sections[current];
            s.items.reserve(s.items.size() + qsizetype(next - i - 1));
            s.index.reserve(s.items.capacity());
            continue;
        }
        Item item;
        item.raw = {lines[i].begin, lines[i].end};
        QByteArray joined = trimmed;
        // Wrapped hex data: a line ending in a backslash goes on in the next
        // one. A blank line or the end of the file ends it all the same, so a
        // cut-off value keeps what it has.
        if ((line.startsWith('"') || line.startsWith('@')) && joined.contains("=hex")) {
            while (joined.endsWith('\\')) {
                joined.chop(1);
                if (i + 1 >= lines.size() || !isContinuation(lineAt(lines[i + 1])))
                    break;
                ++i;
                item.raw.end = lines[i].end;
                joined.append(trimRight(lineAt(lines[i])).trimmed());
            }
        }
        ParsedValue parsed;
        if (current >= 0 && parseValue(joined, wideStrings, parsed)) {
            Section& s = m_sections[current];
            if (Item* existing = s.find(parsed.value.name)) {
                // A later line for the same name wins, as on import; the first
                // spelling and place stay.
                existing->value.type = parsed.value.type;
                existing->value.data = parsed.value.data;
                existing->raw = {};
                continue;
            }
            item.isValue = true;
            item.value = parsed.value;
            if (parsed.converted)
                item.raw = {};
            s.items.append(item);
            s.index.insert(NameKey{item.value.name}, s.items.size() - 1);
            continue;
        }
        if (badLines++ == 0)
            firstBadLine = i + 1;
        keep(item);
    }
    if (badLines > 0)
        m_problem = QStringLiteral("%1 line(s) could not be read, first at line %2; they are "
                                   "ignored and kept unchanged")
                        .arg(badLines)
                        .arg(firstBadLine);
}

// Lines kept as they were read. One that ends in a backslash was cut off from
// its continuation (by a blank line or the end of the file): a blank line after
// it keeps the next line from being taken for one.
void RegDocument::putRaw(QByteArray& out, const Span& span) const {
    const QByteArrayView text(m_source.constData() + span.begin, span.end - span.begin);
    QByteArrayView last;
    for (qsizetype begin = 0;;) {
        const qsizetype end = text.indexOf('\n', begin);
        QByteArrayView line = end < 0 ? text.sliced(begin) : text.sliced(begin, end - begin);
        if (line.endsWith('\r'))
            line.chop(1);
        out += line;
        out += "\r\n";
        last = line;
        if (end < 0)
            break;
        begin = end + 1;
    }
    while (!last.isEmpty() && (isBlank(last.back()) || last.back() == '\r'))
        last.chop(1);
    if (last.endsWith('\\'))
        out += "\r\n";
}

QByteArray RegDocument::text() const {
    const QByteArray eol = "\r\n";
    qsizetype estimate = 64 + m_source.size();
    for (const Section& s : m_sections)
        estimate += s.rawPath.size() + 8;
    QByteArray out;
    out.reserve(estimate);
    out += headerV4 + eol + eol;
    if (!m_preamble.isEmpty()) {
        for (const Span& span : m_preamble)
            putRaw(out, span);
        out += eol;
    }
    for (const Section& s : m_sections) {
        out += '[' + s.rawPath + ']' + eol;
        for (const Item& item : s.items) {
            if (!item.raw.empty())
                putRaw(out, item.raw);
            else
                out += formatValue(toRegText(item.value.name), item.value) + eol;
        }
        out += eol;
    }
    return out;
}

// ---- lookups and changes --------------------------------------------------------------

bool RegDocument::hasKey(const QString& path) const {
    if (section(path))
        return true;
    const QString p = fromRegText(toRegText(normalisePath(path)));
    for (const Section& s : m_sections)
        if (isSameOrBelow(s.path, p))
            return true;
    return false;
}

std::optional<RegValue> RegDocument::value(const QString& path, const QString& name) const {
    if (const Section* s = section(path))
        if (const Item* item = s->find(name))
            return item->value;
    return std::nullopt;
}

QList<RegValue> RegDocument::values(const QString& path) const {
    QList<RegValue> result;
    if (const Section* s = section(path))
        for (const Item& item : s->items)
            if (item.isValue)
                result.append(item.value);
    return result;
}

QStringList RegDocument::subKeys(const QString& path) const {
    QStringList result;
    QList<QString> seen;
    const QString p = fromRegText(toRegText(normalisePath(path)));
    for (const Section& s : m_sections) {
        if (s.path.size() <= p.size() || !isSameOrBelow(s.path, p))
            continue;
        const QString child = s.path.mid(p.size() + 1).section(QLatin1Char('\\'), 0, 0);
        const QString key = child.toCaseFolded();
        if (!seen.contains(key)) {
            seen.append(key);
            result.append(child);
        }
    }
    return result;
}

QStringList RegDocument::keys() const {
    QStringList result;
    for (const Section& s : m_sections)
        result.append(s.path);
    return result;
}

bool RegDocument::addKey(const QString& root, const QString& path) {
    if (section(path))
        return false;
    const QString r = normalisePath(root);
    const QString full = normalisePath(path);
    auto add = [this](const QString& p) {
        const QByteArray raw = toRegText(p);
        appendSection(raw, fromRegText(raw));
    };
    if (full.size() <= r.size()) {
        add(full);
        return true;
    }
    const QStringList parts = full.mid(r.size() + 1).split(QLatin1Char('\\'));
    QString p = r;
    for (const QString& part : parts) {
        p += QLatin1Char('\\') + part;
        if (!section(p) && (p.size() == full.size() || !hasKey(p)))
            add(p);
    }
    return true;
}

bool RegDocument::removeKey(const QString& path) {
    const QString p = fromRegText(toRegText(normalisePath(path)));
    const auto before = m_sections.size();
    m_sections.removeIf([&](const Section& s) { return isSameOrBelow(s.path, p); });
    if (m_sections.size() == before)
        return false;
    reindex();
    return true;
}

bool RegDocument::setValue(const QString& root, const QString& path, const RegValue& value) {
    const bool changed = addKey(root, path);
    Section* s = section(path);
    if (Item* item = s->find(value.name)) {
        if (item->value.type == value.type && item->value.data == value.data)
            return changed;
        item->value.type = value.type;
        item->value.data = value.data;
        item->raw = {};
        return true;
    }
    Item added;
    added.isValue = true;
    added.value = value;
    added.value.name = fromRegText(toRegText(value.name));
    s->items.append(added);
    s->index.insert(NameKey{added.value.name}, s->items.size() - 1);
    return true;
}

bool RegDocument::removeValue(const QString& path, const QString& name) {
    Section* s = section(path);
    if (!s || !s->find(name))
        return false;
    const QString key = folded(name);
    s->items.removeIf(
        [&](const Item& item) { return item.isValue && folded(item.value.name) == key; });
    s->reindex();
    return true;
}

} // namespace platform
