#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

// ---- values -------------------------------------------------------------------

QString RegValue::text() const {
    if (!isText())
        return {};
    const int end = data.indexOf('\0');
    return QString::fromUtf8(end < 0 ? data : data.left(end));
}

uint32_t RegValue::dword() const {
    return isDword() ? qFromLittleEndian<uint32_t>(data.constData()) : 0;
}

RegValue RegValue::fromString(const QString& name, const QString& text, uint32_t type) {
    RegValue v;
    v.name = name;
    v.type = type;
    v.data = text.toUtf8();
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

// ---- the parsed file ------------------------------------------------------------

// One line (or, for wrapped hex data, several) of a key section: a value, or a
// line we could not read, which is kept verbatim.
struct Item {
    bool isValue = false;
    QByteArray rawName; // value name as it stands in the file (unescaped)
    RegValue value;
    QList<QByteArray> rawLines; // the original text; empty once the value changed
};

struct Section {
    QByteArray rawPath; // text between the brackets
    QString path;       // normalised: no empty components
    QList<Item> items;
};

struct Document {
    bool exists = false;
    bool usable = true;         // false: unreadable, or not a text file we understand
    QList<QByteArray> preamble; // unreadable lines before the first key
    QList<Section> sections;
    int badLines = 0;
    int firstBadLine = 0;
    QString problem;
};

QString normalisePath(const QString& path) {
    const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts.join(QLatin1Char('\\'));
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimRight(const QByteArray& s) {
    int n = int(s.size());
    while (n > 0 && (isBlank(s[n - 1]) || s[n - 1] == '\r'))
        --n;
    return s.left(n);
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing
// quote. Inside, \\ is a backslash and \" a quote; any other backslash stays.
bool readQuoted(const QByteArray& s, int& pos, QByteArray& out) {
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

// Hex byte list "01,a2, ff" (possibly empty).
bool readHexBytes(const QByteArray& s, QByteArray& out) {
    out.clear();
    const QByteArray t = s.trimmed();
    if (t.isEmpty())
        return true;
    const QList<QByteArray> parts = t.split(',');
    for (int i = 0; i < parts.size(); ++i) {
        const QByteArray p = parts[i].trimmed();
        if (p.isEmpty() && i == parts.size() - 1 && i > 0)
            break; // a trailing comma
        if (p.isEmpty() || p.size() > 2)
            return false;
        int v = 0;
        for (char c : p) {
            const int d = hexValue(c);
            if (d < 0)
                return false;
            v = v * 16 + d;
        }
        out.append(char(v));
    }
    return true;
}

// Parses one value line (continuations already joined).
bool parseValue(const QByteArray& line, Item& item) {
    int pos = 0;
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
        int p = 0;
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
            const int d = hexValue(c);
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
        const int close = rest.indexOf(')');
        if (close < 5 || close > 12 || close + 1 >= rest.size() || rest[close + 1] != ':')
            return false;
        uint32_t type = 0;
        for (int i = 4; i < close; ++i) {
            const int d = hexValue(rest[i]);
            if (d < 0)
                return false;
            type = type * 16 + uint32_t(d);
        }
        v.type = type;
        if (!readHexBytes(rest.mid(close + 2), v.data))
            return false;
    } else {
        return false;
    }
    v.name = QString::fromUtf8(name);
    item.isValue = true;
    item.rawName = name;
    item.value = v;
    return true;
}

void noteBad(Document& doc, int lineNo) {
    if (doc.badLines++ == 0)
        doc.firstBadLine = lineNo;
}

Document parse(const QByteArray& bytes) {
    Document doc;
    doc.exists = true;
    if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff") ||
        bytes.left(4096).contains('\0')) {
        doc.usable = false;
        doc.problem = QStringLiteral("not an 8-bit REGEDIT4 text file");
        return doc;
    }
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);

    bool headerSeen = false;
    Section* current = nullptr;
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QByteArray line = lines[i];
        const QByteArray trimmed = trimRight(line);
        if (trimmed.trimmed().isEmpty())
            continue;
        if (!headerSeen) {
            headerSeen = true;
            if (trimmed == "REGEDIT4" || trimmed == "Windows Registry Editor Version 5.00")
                continue;
            noteBad(doc, lineNo);
            doc.preamble.append(line);
            continue;
        }
        if (trimmed.startsWith(';')) { // comment: kept where it stands
            Item item;
            item.rawLines.append(line);
            if (current)
                current->items.append(item);
            else
                doc.preamble.append(line);
            continue;
        }
        if (trimmed.startsWith('[') && trimmed.endsWith(']') && !trimmed.startsWith("[-")) {
            const QByteArray raw = trimmed.mid(1, trimmed.size() - 2);
            const QString path = normalisePath(QString::fromUtf8(raw));
            current = nullptr;
            for (Section& s : doc.sections)
                if (sameName(s.path, path))
                    current = &s; // a repeated section adds to the first one
            if (!current) {
                doc.sections.append(Section{raw, path, {}});
                current = &doc.sections.last();
            }
            continue;
        }
        Item item;
        item.rawLines.append(line);
        QByteArray joined = trimmed;
        // Wrapped hex data: a line ending in a backslash continues on the next.
        if ((line.startsWith('"') || line.startsWith('@')) && joined.contains("=hex")) {
            while (joined.endsWith('\\') && i + 1 < lines.size()) {
                ++i;
                item.rawLines.append(lines[i]);
                joined.chop(1);
                joined.append(trimRight(lines[i]).trimmed());
            }
        }
        if (current && parseValue(joined, item)) {
            bool replaced = false;
            for (Item& existing : current->items) {
                if (existing.isValue && sameName(existing.value.name, item.value.name)) {
                    // A later line for the same name wins, as on import; the
                    // first spelling and place stay.
                    const QByteArray firstName = existing.rawName;
                    existing = item;
                    existing.rawName = firstName;
                    existing.value.name = QString::fromUtf8(firstName);
                    existing.rawLines.clear();
                    replaced = true;
                    break;
                }
            }
            if (!replaced)
                current->items.append(item);
            continue;
        }
        noteBad(doc, lineNo);
        item.isValue = false;
        if (current)
            current->items.append(item);
        else
            doc.preamble.append(item.rawLines);
    }
    if (doc.badLines > 0)
        doc.problem = QStringLiteral("%1 line(s) could not be read, first at line %2; they are "
                                     "ignored and kept unchanged")
                          .arg(doc.badLines)
                          .arg(doc.firstBadLine);
    return doc;
}

void reportOnce(const QString& fileName, const QString& problem) {
    static std::mutex mutex;
    static std::set<QString> reported;
    std::lock_guard<std::mutex> lock(mutex);
    if (!reported.insert(fileName).second)
        return;
    std::fprintf(stderr, "Registry file %s: %s\n", qPrintable(fileName), qPrintable(problem));
}

bool readAll(int fd, QByteArray& out) {
    out.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out.append(buf, n);
    }
}

// Loads the hive; a missing file is an empty, usable document.
Document load(const QString& fileName) {
    Document doc;
    if (fileName.isEmpty())
        return doc;
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            doc.exists = true;
            doc.usable = false;
            doc.problem =
                QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(strerror(errno)));
            reportOnce(fileName, doc.problem);
        }
        return doc;
    }
    QByteArray bytes;
    const bool ok = readAll(fd, bytes);
    ::close(fd);
    if (!ok) {
        doc.exists = true;
        doc.usable = false;
        doc.problem = QStringLiteral("cannot be read");
        reportOnce(fileName, doc.problem);
        return doc;
    }
    doc = parse(bytes);
    if (!doc.problem.isEmpty())
        reportOnce(fileName, doc.problem);
    return doc;
}

QByteArray hexList(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size() * 3);
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < data.size(); ++i) {
        if (i > 0)
            out.append(',');
        const auto b = uint8_t(data[i]);
        out.append(digits[b >> 4]);
        out.append(digits[b & 15]);
    }
    return out;
}

QByteArray formatValue(const Item& item) {
    const RegValue& v = item.value;
    QByteArray line = v.name.isEmpty() && item.rawName.isEmpty()
                          ? QByteArray("@")
                          : '"' + escapeQuoted(item.rawName) + '"';
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

QByteArray serialise(const Document& doc) {
    const QByteArray eol = "\r\n";
    QByteArray out = "REGEDIT4" + eol + eol;
    if (!doc.preamble.isEmpty()) {
        for (const QByteArray& l : doc.preamble)
            out += l + eol;
        out += eol;
    }
    for (const Section& s : doc.sections) {
        out += '[' + s.rawPath + ']' + eol;
        for (const Item& item : s.items) {
            if (!item.rawLines.isEmpty()) {
                for (const QByteArray& l : item.rawLines)
                    out += l + eol;
            } else {
                out += formatValue(item) + eol;
            }
        }
        out += eol;
    }
    return out;
}

std::function<bool()>& beforeRenameHook() {
    static std::function<bool()> hook;
    return hook;
}

bool writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

enum class Change { None, Changed };

// Replaces the file's content atomically: a temporary file beside it, flushed,
// then renamed over it. A hive that is a symbolic link keeps being one: the
// file it points to is replaced.
bool replaceFile(const QString& fileName, const QByteArray& content) {
    QFileInfo info(fileName);
    if (info.isSymLink())
        info = QFileInfo(info.symLinkTarget());
    const QByteArray path = QFile::encodeName(info.absoluteFilePath());
    const QByteArray tmpPath = path + ".tmp";
    // The new file keeps the rights of the one it replaces; a first file gets
    // the usual ones (umask applied).
    struct stat st;
    const bool existing = ::stat(path.constData(), &st) == 0;
    ::unlink(tmpPath.constData()); // left over by an interrupted writer
    const int fd = ::open(tmpPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool written = (!existing || ::fchmod(fd, st.st_mode & 07777) == 0) && writeAll(fd, content) &&
                   ::fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (written && beforeRenameHook())
        written = beforeRenameHook()();
    if (!written || ::rename(tmpPath.constData(), path.constData()) != 0) {
        ::unlink(tmpPath.constData());
        return false;
    }
    const int dirFd = ::open(QFile::encodeName(info.absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd); // the rename itself reaches the disk
        ::close(dirFd);
    }
    return true;
}

// Runs one change under the hive's lock: parse what is there, change it, and
// replace the file.
bool mutate(const QString& fileName, const std::function<Change(Document&)>& change) {
    if (fileName.isEmpty())
        return false;
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        return false;
    const QByteArray lockPath = QFile::encodeName(fileName + QStringLiteral(".lock"));
    const int lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lockFd < 0)
        return false;
    while (::flock(lockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(lockFd);
            return false;
        }
    }
    bool ok = false;
    Document doc = load(fileName);
    if (doc.usable) {
        const Change result = change(doc);
        if (result == Change::None)
            ok = true;
        else if (result == Change::Changed)
            ok = replaceFile(fileName, serialise(doc));
    }
    ::flock(lockFd, LOCK_UN);
    ::close(lockFd);
    return ok;
}

// ---- lookups ----------------------------------------------------------------

QString fullPath(const QString& root, const QString& key) {
    const QString k = normalisePath(key);
    return k.isEmpty() ? root : root + QLatin1Char('\\') + k;
}

bool isSameOrBelow(const QString& path, const QString& key) {
    return sameName(path, key) ||
           (path.size() > key.size() && path.at(key.size()) == QLatin1Char('\\') &&
            sameName(path.left(key.size()), key));
}

Section* findSection(Document& doc, const QString& path) {
    for (Section& s : doc.sections)
        if (sameName(s.path, path))
            return &s;
    return nullptr;
}

// A key exists when it has a section or any key below it has one.
bool keyIn(const Document& doc, const QString& path) {
    for (const Section& s : doc.sections)
        if (isSameOrBelow(s.path, path))
            return true;
    return false;
}

// Adds sections for the key and its missing parents below the root.
Section& ensureSection(Document& doc, const QString& root, const QString& path) {
    if (Section* s = findSection(doc, path))
        return *s;
    if (path.size() <= root.size()) {
        doc.sections.append(Section{root.toUtf8(), root, {}});
        return doc.sections.last();
    }
    const QStringList parts = path.mid(root.size() + 1).split(QLatin1Char('\\'));
    QString p = root;
    for (const QString& part : parts) {
        p += QLatin1Char('\\') + part;
        if (!findSection(doc, p) && (p.size() == path.size() || !keyIn(doc, p)))
            doc.sections.append(Section{p.toUtf8(), p, {}});
    }
    return *findSection(doc, path);
}

Item* findItem(Section& s, const QString& name) {
    for (Item& item : s.items)
        if (item.isValue && sameName(item.value.name, name))
            return &item;
    return nullptr;
}

} // namespace

// ---- Registry ---------------------------------------------------------------

Registry::Registry(RegHive hive)
    : m_fileName(hive == RegHive::CurrentUser ? userHiveFile() : machineHiveFile()),
      m_rootName(hive == RegHive::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER")
                                              : QStringLiteral("HKEY_LOCAL_MACHINE")),
      m_readOnly(hive == RegHive::LocalMachine) {}

Registry::Registry(const QString& fileName, const QString& rootName, bool readOnly)
    : m_fileName(fileName), m_rootName(rootName), m_readOnly(readOnly) {}

QString Registry::userHiveFile() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        const QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty())
            return {};
        base = home + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/Oxatek/user.reg");
}

QString Registry::machineHiveFile() {
    QString dirs = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/etc/xdg");
    for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString candidate = dir + QStringLiteral("/Oxatek/machine.reg");
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return {};
}

bool Registry::keyExists(const QString& key) const {
    const Document doc = load(m_fileName);
    return doc.usable && keyIn(doc, fullPath(m_rootName, key));
}

bool Registry::openKey(const QString& key, bool create) {
    if (keyExists(key))
        return true;
    if (!create || m_readOnly)
        return false;
    const QString path = fullPath(m_rootName, key);
    return mutate(m_fileName, [&](Document& doc) {
        if (keyIn(doc, path))
            return Change::None;
        ensureSection(doc, m_rootName, path);
        return Change::Changed;
    });
}

bool Registry::deleteKey(const QString& key) {
    if (m_readOnly)
        return false;
    const QString path = fullPath(m_rootName, key);
    if (sameName(path, m_rootName))
        return false; // the root itself stays
    bool existed = false;
    const bool ok = mutate(m_fileName, [&](Document& doc) {
        const auto before = doc.sections.size();
        doc.sections.removeIf([&](const Section& s) { return isSameOrBelow(s.path, path); });
        existed = doc.sections.size() != before;
        return existed ? Change::Changed : Change::None;
    });
    return ok && existed;
}

std::optional<RegValue> Registry::value(const QString& key, const QString& name) const {
    Document doc = load(m_fileName);
    if (!doc.usable)
        return std::nullopt;
    Section* s = findSection(doc, fullPath(m_rootName, key));
    if (!s)
        return std::nullopt;
    if (Item* item = findItem(*s, name))
        return item->value;
    return std::nullopt;
}

QList<RegValue> Registry::values(const QString& key) const {
    QList<RegValue> result;
    Document doc = load(m_fileName);
    if (!doc.usable)
        return result;
    if (Section* s = findSection(doc, fullPath(m_rootName, key)))
        for (const Item& item : s->items)
            if (item.isValue)
                result.append(item.value);
    return result;
}

QStringList Registry::subKeys(const QString& key) const {
    QStringList result;
    const Document doc = load(m_fileName);
    if (!doc.usable)
        return result;
    const QString path = fullPath(m_rootName, key);
    for (const Section& s : doc.sections) {
        if (s.path.size() <= path.size() || !isSameOrBelow(s.path, path))
            continue;
        const QString child = s.path.mid(path.size() + 1).section(QLatin1Char('\\'), 0, 0);
        bool seen = false;
        for (const QString& r : result)
            seen = seen || sameName(r, child);
        if (!seen)
            result.append(child);
    }
    return result;
}

namespace {
bool storeValue(Section& s, const RegValue& value) {
    if (Item* item = findItem(s, value.name)) {
        if (item->value.type == value.type && item->value.data == value.data)
            return false;
        item->value.type = value.type;
        item->value.data = value.data;
        item->rawLines.clear();
        return true;
    }
    Item added;
    added.isValue = true;
    added.rawName = value.name.toUtf8();
    added.value = value;
    s.items.append(added);
    return true;
}
} // namespace

bool Registry::setValue(const QString& key, const RegValue& value) {
    return setValues(key, {value});
}

bool Registry::setValues(const QString& key, const QList<RegValue>& values) {
    if (m_readOnly)
        return false;
    const QString path = fullPath(m_rootName, key);
    return mutate(m_fileName, [&](Document& doc) {
        const bool existed = keyIn(doc, path);
        Section& s = ensureSection(doc, m_rootName, path);
        bool changed = !existed;
        for (const RegValue& v : values)
            changed = storeValue(s, v) || changed;
        return changed ? Change::Changed : Change::None;
    });
}

bool Registry::deleteValue(const QString& key, const QString& name) {
    if (m_readOnly)
        return false;
    const QString path = fullPath(m_rootName, key);
    bool existed = false;
    const bool ok = mutate(m_fileName, [&](Document& doc) {
        Section* s = findSection(doc, path);
        if (!s)
            return Change::None;
        const auto before = s->items.size();
        s->items.removeIf(
            [&](const Item& item) { return item.isValue && sameName(item.value.name, name); });
        existed = s->items.size() != before;
        return existed ? Change::Changed : Change::None;
    });
    return ok && existed;
}

void Registry::setBeforeRenameHook(std::function<bool()> hook) {
    beforeRenameHook() = std::move(hook);
}

} // namespace platform
