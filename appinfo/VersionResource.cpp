#include "appinfo/VersionResource.h"

#include <QStringList>
#include <algorithm>
#include <cstdint>

namespace appinfo {

namespace {

// Bounds-checked little-endian reads; every read of the parsers goes through
// these, so a truncated or corrupt file can only make a lookup fail. The bytes
// are read as they are asked for, so a file need not be in memory whole.
class Bytes {
public:
    Bytes(qint64 size, const FileReader& read) : m_size(size), m_read(read) {}
    qint64 size() const { return m_size; }
    bool has(qint64 offset, qint64 count) const {
        return offset >= 0 && count >= 0 && offset <= size() && count <= size() - offset;
    }
    uint16_t u16(qint64 offset, bool& ok) const { return uint16_t(value(offset, 2, ok)); }
    uint32_t u32(qint64 offset, bool& ok) const { return uint32_t(value(offset, 4, ok)); }
    uint64_t u64(qint64 offset, bool& ok) const { return value(offset, 8, ok); }
    // count bytes at offset, fewer at the end; empty when out of range or unreadable.
    QByteArray mid(qint64 offset, qint64 count) const {
        if (offset < 0 || offset >= size() || count <= 0)
            return {};
        count = std::min(count, size() - offset);
        QByteArray out(count, Qt::Uninitialized);
        return m_read(offset, count, out.data()) ? out : QByteArray();
    }

private:
    uint64_t value(qint64 offset, int count, bool& ok) const {
        unsigned char bytes[8];
        if (!has(offset, count) || !m_read(offset, count, reinterpret_cast<char*>(bytes))) {
            ok = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = count - 1; i >= 0; --i)
            v = (v << 8) | bytes[i];
        return v;
    }
    qint64 m_size;
    const FileReader& m_read;
};

FileReader memoryReader(const QByteArray& data) {
    return [&data](qint64 offset, qint64 count, char* out) {
        std::copy_n(data.constData() + offset, count, out);
        return true;
    };
}

// A version block is at most 64 KB (its length field has 16 bits): a section
// or resource that claims more is read no further than that.
constexpr qint64 kMaxBlockSize = 0x10000;

// ---- PE: the RT_VERSION resource -----------------------------------------------------

QByteArray peVersionBlock(const Bytes& f) {
    bool ok = true;
    if (!f.has(0, 64) || f.mid(0, 2) != "MZ")
        return {};
    const qint64 pe = f.u32(0x3C, ok);
    if (!ok || !f.has(pe, 24) || f.mid(pe, 4) != QByteArray("PE\0\0", 4))
        return {};
    const int sections = f.u16(pe + 6, ok);
    const int optionalSize = f.u16(pe + 20, ok);
    const qint64 opt = pe + 24;
    const uint16_t magic = f.u16(opt, ok);
    if (!ok || (magic != 0x10B && magic != 0x20B))
        return {};
    const qint64 countAt = opt + (magic == 0x10B ? 92 : 108);
    const qint64 dirs = countAt + 4;
    const uint32_t dirCount = f.u32(countAt, ok);
    if (!ok || dirCount < 3 || dirs + 3 * 8 > opt + optionalSize)
        return {};
    const uint32_t resourceRva = f.u32(dirs + 2 * 8, ok);
    if (!ok || resourceRva == 0)
        return {};

    // Section table: maps addresses to file offsets.
    const qint64 table = opt + optionalSize;
    const auto fileOffset = [&](uint32_t rva, uint32_t length) -> qint64 {
        for (int i = 0; i < sections; ++i) {
            const qint64 s = table + qint64(i) * 40;
            bool sok = true;
            const uint32_t virtualSize = f.u32(s + 8, sok);
            const uint32_t address = f.u32(s + 12, sok);
            const uint32_t rawSize = f.u32(s + 16, sok);
            const uint32_t rawPointer = f.u32(s + 20, sok);
            if (!sok)
                return -1;
            const uint32_t extent = std::max(virtualSize, rawSize);
            if (rva >= address && rva - address < extent) {
                const qint64 offset = qint64(rawPointer) + (rva - address);
                if (uint64_t(rva - address) + length > rawSize || !f.has(offset, length))
                    return -1;
                return offset;
            }
        }
        return -1;
    };
    const qint64 root = fileOffset(resourceRva, 16);
    if (root < 0)
        return {};

    // Three levels: type (RT_VERSION = 16), name, language; the first entry
    // of the second and third levels is the one Windows uses by default.
    qint64 dir = root;
    for (int level = 0; level < 3; ++level) {
        const int named = f.u16(dir + 12, ok);
        const int ids = f.u16(dir + 14, ok);
        if (!ok)
            return {};
        qint64 found = -1;
        for (int i = 0; i < named + ids; ++i) {
            const qint64 e = dir + 16 + qint64(i) * 8;
            const uint32_t name = f.u32(e, ok);
            const uint32_t target = f.u32(e + 4, ok);
            if (!ok)
                return {};
            if (level == 0 && ((name & 0x80000000u) || name != 16))
                continue;
            found = target;
            break;
        }
        if (found < 0)
            return {};
        const bool subdirectory = (found & 0x80000000) != 0;
        const qint64 next = root + (found & 0x7FFFFFFF);
        if (level < 2) {
            if (!subdirectory || !f.has(next, 16))
                return {};
            dir = next;
            continue;
        }
        if (subdirectory || !f.has(next, 16))
            return {};
        const uint32_t dataRva = f.u32(next, ok);
        const uint32_t dataSize = f.u32(next + 4, ok);
        if (!ok || dataSize == 0)
            return {};
        const qint64 data = fileOffset(dataRva, dataSize);
        if (data < 0)
            return {};
        return f.mid(data, std::min<qint64>(dataSize, kMaxBlockSize));
    }
    return {};
}

// ---- ELF: the ".oxaversion" section ----------------------------------------------------

QByteArray elfVersionBlock(const Bytes& f) {
    bool ok = true;
    const QByteArray ident = f.mid(0, 6);
    if (!f.has(0, 64) || !ident.startsWith("\x7f"
                                           "ELF"))
        return {};
    const bool is64 = ident[4] == 2;
    if (ident[5] != 1) // little-endian only
        return {};
    const qint64 shoff = is64 ? qint64(f.u64(0x28, ok)) : f.u32(0x20, ok);
    const int shentsize = f.u16(is64 ? 0x3A : 0x2E, ok);
    const int shnum = f.u16(is64 ? 0x3C : 0x30, ok);
    const int shstrndx = f.u16(is64 ? 0x3E : 0x32, ok);
    // A section table that starts past the end of the file is not read (and
    // its offset, up to 2^63, must not take part in any sum).
    if (!ok || shoff <= 0 || shoff > f.size() || shentsize < (is64 ? 64 : 40) || shstrndx >= shnum)
        return {};
    const auto header = [&](int index, qint64& offset, qint64& size, uint32_t& name) {
        const qint64 h = shoff + qint64(index) * shentsize;
        bool hok = true;
        name = f.u32(h, hok);
        offset = is64 ? qint64(f.u64(h + 0x18, hok)) : f.u32(h + 0x10, hok);
        size = is64 ? qint64(f.u64(h + 0x20, hok)) : f.u32(h + 0x14, hok);
        return hok && f.has(offset, size);
    };
    qint64 strOffset = 0, strSize = 0;
    uint32_t unused = 0;
    if (!header(shstrndx, strOffset, strSize, unused))
        return {};
    const QByteArray wanted(".oxaversion");
    for (int i = 0; i < shnum; ++i) {
        qint64 offset = 0, size = 0;
        uint32_t name = 0;
        if (!header(i, offset, size, name) || name >= strSize)
            continue;
        const QByteArray sectionName = f.mid(strOffset + name, wanted.size() + 1);
        if (sectionName == wanted + '\0')
            return f.mid(offset, std::min(size, kMaxBlockSize));
    }
    return {};
}

// ---- the version block -----------------------------------------------------------------

// One node: wLength, wValueLength, wType, the NUL-terminated UTF-16 key, the
// value on the next 32-bit boundary, then the children, each on a 32-bit
// boundary.
struct Node {
    qint64 start = 0;
    qint64 end = 0; // start + wLength
    QString key;
    qint64 valueStart = 0;
    qint64 valueEnd = 0;
    qint64 childrenStart = 0;
};

qint64 align4(qint64 n) {
    return (n + 3) & ~qint64(3);
}

bool readNode(const Bytes& b, qint64 start, qint64 limit, Node& node) {
    bool ok = true;
    const uint16_t length = b.u16(start, ok);
    const uint16_t valueLength = b.u16(start + 2, ok);
    const uint16_t type = b.u16(start + 4, ok);
    if (!ok || length < 6 || start + length > limit)
        return false;
    node.start = start;
    node.end = start + length;
    node.key.clear();
    qint64 p = start + 6;
    for (;;) {
        const uint16_t c = b.u16(p, ok);
        if (!ok || p + 2 > node.end)
            return false;
        p += 2;
        if (c == 0)
            break;
        node.key.append(QChar(c));
    }
    node.valueStart = std::min(align4(p), node.end);
    const qint64 valueBytes = type == 1 ? qint64(valueLength) * 2 : valueLength;
    node.valueEnd = std::min(node.valueStart + valueBytes, node.end);
    node.childrenStart = align4(node.valueEnd);
    return true;
}

} // namespace

QByteArray versionBlockOf(const QByteArray& data) {
    return versionBlockOf(data.size(), memoryReader(data));
}

QByteArray versionBlockOf(qint64 fileSize, const FileReader& read) {
    const Bytes bytes(fileSize, read);
    QByteArray block = peVersionBlock(bytes);
    if (block.isEmpty())
        block = elfVersionBlock(bytes);
    return block;
}

std::optional<QByteArray> queryVersionValue(const QByteArray& block, const QString& path) {
    const FileReader read = memoryReader(block);
    const Bytes b(block.size(), read);
    Node node;
    if (!readNode(b, 0, b.size(), node))
        return std::nullopt;
    for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        bool found = false;
        for (qint64 p = node.childrenStart; p + 6 <= node.end;) {
            Node child;
            if (!readNode(b, p, node.end, child))
                break;
            if (child.key.compare(part, Qt::CaseInsensitive) == 0) {
                node = child;
                found = true;
                break;
            }
            p = align4(child.end);
        }
        if (!found)
            return std::nullopt;
    }
    return block.mid(node.valueStart, node.valueEnd - node.valueStart);
}

std::optional<QString> queryVersionText(const QByteArray& block, const QString& path) {
    const auto value = queryVersionValue(block, path);
    if (!value)
        return std::nullopt;
    QString text;
    for (qint64 i = 0; i + 1 < value->size(); i += 2) {
        const char16_t c = char16_t(uint8_t((*value)[i]) | (uint8_t((*value)[i + 1]) << 8));
        if (c == 0)
            break;
        text.append(QChar(c));
    }
    return text;
}

} // namespace appinfo
