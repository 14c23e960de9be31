#pragma once
// The registry: one text file per hive in the registry-export format (see
// platform/RegText.h), so settings can be read, edited and copied by hand.
//
//   user hive    ${XDG_CONFIG_HOME:-$HOME/.config}/Oxatek/user.reg
//   machine hive Oxatek/machine.reg in the first folder of
//                ${XDG_CONFIG_DIRS:-/etc/xdg} that holds one (read-only)
//
// A hive is parsed once and its document reused for as long as the file stays
// the same (device, inode, size, change times), so a second running instance
// or a hand edit is seen at the next access. Every change rewrites the whole
// file atomically (temporary file in the same folder, flushed, renamed over)
// while holding an exclusive flock on "<hive file>.lock", and reads the file
// again under that lock first (a copy in memory counts only when the bytes on
// disk are still the same), so a write never loses another writer's change.
// Parts of a file that cannot be parsed are reported once on stderr, read as
// absent, and written back unchanged on the next change. A file that is no
// registry export at all, or no regular file (a directory, FIFO or device at
// the hive's path, never opened in a way that could block), reads as empty and
// is never written over; setAsideUnreadable() moves it out of the way. A
// read-only hive (no write permission, or no write bit at all) or folder, or a
// missing one that cannot be made, gives failing writes (false, with the reason
// in errorString()).
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/RegText.h"

namespace platform {

enum class RegHive { CurrentUser, LocalMachine };

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
    // Makes fileName the user hive of this process (a program's --settings);
    // empty goes back to the usual one.
    static void setUserHiveFile(const QString& fileName);
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

    // Why the last change failed ("<file>: <reason>"); empty after a success.
    QString errorString() const { return m_error; }

    // What a look at the hive found. problem is empty when all is well: the
    // file is missing or fully readable.
    struct Check {
        bool readable = true; // false: no registry export, or no regular file
        bool writable = true; // false: changes would fail (read-only hive or folder)
        QString problem;      // in words: what is wrong with the file
        QString setAsidePath; // where an unreadable file was moved, if it was
    };
    // Looks at the hive; an unreadable one (of the user's own hive, not a
    // read-only one) is renamed to "<file>.bad-YYYYMMDD-hhmmss" beside it, so
    // that the next change starts a fresh file and the old one stays for the
    // user to look at.
    Check setAsideUnreadable();

    // Test seam: called after the temporary file has been written and flushed
    // and before it is renamed over the hive; returning false fails the write
    // as a failed rename would.
    static void setBeforeRenameHook(std::function<bool()> hook);

private:
    bool change(const std::function<bool(RegDocument&)>& edit);

    QString m_fileName;
    QString m_rootName;
    bool m_readOnly;
    QString m_error;
};

} // namespace platform
