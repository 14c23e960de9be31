#pragma once
// The registry: one text file per hive in the registry-export format
// ("REGEDIT4"), so settings can be read, edited and copied by hand.
//
//   user hive    ${XDG_CONFIG_HOME:-$HOME/.config}/Oxatek/user.reg
//   machine hive Oxatek/machine.reg in the first folder of
//                ${XDG_CONFIG_DIRS:-/etc/xdg} that holds one (read-only)
//
// Every call reads the file anew; nothing is cached, so a second running
// instance or a hand edit is seen at once. Every change rewrites the whole file
// atomically (temporary file in the same folder, flushed, renamed over) while
// holding an exclusive flock on "<hive file>.lock". Parts of a file that cannot
// be parsed are reported once on stderr, read as absent, and written back
// unchanged on the next change, so a write never loses what it does not touch.
// A missing or read-only folder gives empty reads and failing writes (false).
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

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

enum class RegHive { CurrentUser, LocalMachine };

// One typed value. String data is kept as stored: UTF-8 bytes followed by
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
};

class Registry {
public:
    // The hive file the environment names for that branch (see above).
    explicit Registry(RegHive hive);
    // Any hive file; rootName is the first component of its key lines, such as
    // "HKEY_CURRENT_USER".
    Registry(const QString& fileName, const QString& rootName, bool readOnly);

    // Paths from the environment; empty when there is none (no HOME, or no
    // machine hive in any configuration folder).
    static QString userHiveFile();
    static QString machineHiveFile();

    QString fileName() const { return m_fileName; }
    QString rootName() const { return m_rootName; }
    bool isReadOnly() const { return m_readOnly; }

    // Key paths are relative to the hive's root, with backslashes:
    // "Software\Oxatek\Dralvo_v1-7\Settings" (a leading backslash is allowed).

    // True when the key exists afterwards; with create set a missing key (and
    // its missing parents) is added.
    bool openKey(const QString& key, bool create);
    bool keyExists(const QString& key) const;
    // Removes the key with all its subkeys and values. True when it existed
    // and is gone.
    bool deleteKey(const QString& key);

    std::optional<RegValue> value(const QString& key, const QString& name) const;
    // All values of the key in their stored order (empty when the key is missing).
    QList<RegValue> values(const QString& key) const;
    // Names of the direct subkeys in their stored order.
    QStringList subKeys(const QString& key) const;

    // Writes the value (creating the key when missing). A value that exists
    // under another spelling keeps its first spelling and its place.
    bool setValue(const QString& key, const RegValue& value);
    bool setString(const QString& key, const QString& name, const QString& text) {
        return setValue(key, RegValue::fromString(name, text));
    }
    bool setDword(const QString& key, const QString& name, uint32_t value) {
        return setValue(key, RegValue::fromDword(name, value));
    }
    // Writes several values of one key in a single change.
    bool setValues(const QString& key, const QList<RegValue>& values);
    // True when the value existed and is gone.
    bool deleteValue(const QString& key, const QString& name);

    // Test seam: called after the temporary file has been written and flushed
    // and before it is renamed over the hive; returning false fails the write
    // as a failed rename would.
    static void setBeforeRenameHook(std::function<bool()> hook);

private:
    QString m_fileName;
    QString m_rootName;
    bool m_readOnly;
};

} // namespace platform
