#pragma once
// The registry-export text format, from bytes to a document of keys and values
// and back, without any file: what platform::Registry keeps in each hive file.
//
// Read: REGEDIT4 (8-bit text) as this program writes it, and the exports of
// "Windows Registry Editor Version 5.00" as they come: UTF-16LE with a
// byte-order mark (the editor's default), or UTF-8 with or without one. In a
// 5.00 export the expandable and multi-string values (hex(2), hex(7)) hold
// UTF-16LE; they are taken as text like the rest.
// Written: REGEDIT4, lines ended by CR LF, a blank line after each key.
//
// Text is 8-bit and kept byte for byte, whatever its encoding: a string value
// holds the bytes between its quotes. Where text must become a QString (names,
// RegValue::text) it is read as UTF-8, the system's encoding; a byte that is
// no part of valid UTF-8 (a Latin-1 "é", say) becomes one of the characters
// U+DC80 to U+DCFF, which turn back into that very byte when the text is
// stored (fromRegText, toRegText), so nothing changes on the way back.
//
// Lines that cannot be read are kept verbatim where they stand and written
// back unchanged, so a write never loses what it does not understand.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// Value types with the numbers the registry gives them.
namespace RegType {
constexpr uint32_t None = 0;
constexpr uint32_t String = 1;
constexpr uint32_t ExpandString = 2;
constexpr uint32_t Binary = 3;
constexpr uint32_t Dword = 4;
constexpr uint32_t MultiString = 7;
constexpr uint32_t Qword = 11;
} // namespace RegType

// One typed value. String data is kept as stored: the 8-bit bytes followed by
// the terminating NUL.
struct RegValue {
    QString name; // empty: the key's default value ("@")
    uint32_t type = RegType::None;
    QByteArray data;

    bool isText() const { return type == RegType::String || type == RegType::ExpandString; }
    bool isDword() const { return type == RegType::Dword && data.size() == 4; }
    // Text up to the first NUL (string types only; empty otherwise).
    QString text() const;
    uint32_t dword() const; // 0 unless isDword()

    static RegValue fromString(const QString& name, const QString& text,
                               uint32_t type = RegType::String);
    static RegValue fromDword(const QString& name, uint32_t value);
    bool operator==(const RegValue&) const = default;
};

// 8-bit text and its QString, as described above: fromRegText never loses a
// byte, and toRegText(fromRegText(bytes)) == bytes for any bytes.
QString fromRegText(const QByteArray& bytes);
QByteArray toRegText(const QString& text);

// A parsed hive. Key paths are full paths with backslashes and compare without
// regard to letter case ("HKEY_CURRENT_USER\Software\Oxatek"); value names too.
// Keys and values keep the order and the spelling in which they were first
// written.
class RegDocument {
public:
    // Reads the text; never fails. A text that is no registry export at all
    // (no header line, binary data) gives an unusable document: empty, and
    // not to be written over.
    static RegDocument parse(const QByteArray& bytes);
    // An unusable document for a file that could not be read at all.
    static RegDocument unreadable(const QString& why);
    // The text in REGEDIT4 form.
    QByteArray text() const;

    bool usable() const { return m_usable; }
    // What was wrong with the text, in words; empty when nothing was.
    QString problem() const { return m_problem; }

    // A key exists when it has a section or any key below it has one.
    bool hasKey(const QString& path) const;
    std::optional<RegValue> value(const QString& path, const QString& name) const;
    QList<RegValue> values(const QString& path) const;
    QStringList subKeys(const QString& path) const;
    // Every key that has a section, in order.
    QStringList keys() const;

    // Adds the key and the missing keys between it and root (root itself is
    // added only when it is the key). True when something was added.
    bool addKey(const QString& root, const QString& path);
    // Removes the key with everything below it; true when it existed.
    bool removeKey(const QString& path);
    // Stores the value (adding the key when missing); a value that exists under
    // another spelling keeps its first spelling and its place. True when
    // anything changed.
    bool setValue(const QString& root, const QString& path, const RegValue& value);
    bool removeValue(const QString& path, const QString& name);

private:
    // Lines of the text a document was read from, as a range of it: the
    // lines are written back from there, so a large hive is held once, not
    // once more line by line.
    struct Span {
        qsizetype begin = 0;
        qsizetype end = -1; // end < begin: none
        bool empty() const { return end < begin; }
    };
    // A value name as the index holds it: the name itself (shared with the
    // value, not a folded copy of its own), hashed and compared in its folded
    // form.
    struct NameKey {
        QString name;
        bool operator==(const NameKey& other) const;
    };
    friend size_t qHash(const NameKey& key, size_t seed) noexcept;
    struct Item {
        bool isValue = false;
        RegValue value;
        Span raw; // the original lines; none once the value changed
    };
    struct Section {
        QByteArray rawPath; // text between the brackets
        QString path;       // normalised: no empty components
        QList<Item> items;
        QHash<NameKey, qsizetype> index; // value name, without regard to case -> item
        void reindex();
        Item* find(const QString& name);
        const Item* find(const QString& name) const;
    };

    Section* section(const QString& path);
    const Section* section(const QString& path) const;
    Section& appendSection(const QByteArray& rawPath, const QString& path);
    void reindex();
    struct Line {
        qsizetype begin, end; // without the line break
    };
    void parseLines(const std::vector<Line>& lines, bool wideStrings);
    QByteArray lineAt(const Line& line) const;
    void putRaw(QByteArray& out, const Span& span) const;

    bool m_usable = true;
    QString m_problem;
    QByteArray m_source;    // the text read, which the spans refer to
    QList<Span> m_preamble; // lines before the first key that could not be read
    QList<Section> m_sections;
    QHash<QString, qsizetype> m_index; // folded path -> section
};

} // namespace platform
