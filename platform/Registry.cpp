#include "platform/Registry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include "platform/File.h"

namespace platform {

namespace {

using DocumentPtr = std::shared_ptr<const RegDocument>;

// ---- reading, once per version of a file -----------------------------------------

void reportOnce(const QString& fileName, const QString& problem) {
    static std::mutex mutex;
    static std::set<std::pair<QString, QString>> reported;
    std::lock_guard<std::mutex> lock(mutex);
    if (!reported.insert({fileName, problem}).second)
        return;
    std::fprintf(stderr, "Registry file %s: %s\n", qPrintable(fileName), qPrintable(problem));
}

struct CacheEntry {
    FileIdentity identity;
    QByteArray bytes;
    DocumentPtr doc;
};

std::mutex cacheMutex;

QHash<QString, CacheEntry>& cache() {
    static QHash<QString, CacheEntry> entries;
    return entries;
}

DocumentPtr emptyDocument() {
    static const DocumentPtr empty = std::make_shared<const RegDocument>();
    return empty;
}

DocumentPtr unreadable(const QString& fileName, const QString& why) {
    reportOnce(fileName, why);
    return std::make_shared<const RegDocument>(RegDocument::unreadable(why));
}

// The document of a file's bytes: the one parsed before when the bytes are the
// same, otherwise a new parse, kept for the next time.
DocumentPtr remember(const QString& fileName, const FileIdentity& identity,
                     const QByteArray& bytes) {
    {
        std::lock_guard<std::mutex> lock(cacheMutex);
        auto it = cache().find(fileName);
        if (it != cache().end() && it->bytes == bytes) {
            it->identity = identity;
            return it->doc;
        }
    }
    auto doc = std::make_shared<const RegDocument>(RegDocument::parse(bytes));
    if (!doc->problem().isEmpty())
        reportOnce(fileName, doc->problem());
    std::lock_guard<std::mutex> lock(cacheMutex);
    cache().insert(fileName, CacheEntry{identity, bytes, doc});
    return doc;
}

void forget(const QString& fileName) {
    std::lock_guard<std::mutex> lock(cacheMutex);
    cache().remove(fileName);
}

// Takes the file's entry out of the cache when it holds doc, so that whoever
// drops doc afterwards is its last owner.
std::optional<CacheEntry> takeCached(const QString& fileName, const DocumentPtr& doc) {
    std::lock_guard<std::mutex> lock(cacheMutex);
    const auto it = cache().find(fileName);
    if (it == cache().end() || it->doc != doc)
        return std::nullopt;
    CacheEntry entry = std::move(*it);
    cache().erase(it);
    return entry;
}

// Reads the file; a missing one is an empty document. With trustIdentity a
// file that looks as it did last time is not read again.
DocumentPtr load(const QString& fileName, bool trustIdentity) {
    if (fileName.isEmpty())
        return emptyDocument();
    const PathStatus status = pathStatus(fileName);
    if (!status.exists)
        return status.error == ENOENT || status.error == ENOTDIR
                   ? emptyDocument()
                   : unreadable(
                         fileName,
                         QStringLiteral("cannot be read (%1)").arg(fileErrorText(status.error)));
    if (trustIdentity && status.regular) {
        std::lock_guard<std::mutex> lock(cacheMutex);
        const auto it = cache().constFind(fileName);
        if (it != cache().constEnd() && it->identity == status.identity)
            return it->doc;
    }
    File file;
    if (const int error =
            file.open(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING))
        return error == ENOENT
                   ? emptyDocument()
                   : unreadable(fileName,
                                QStringLiteral("cannot be read (%1)").arg(fileErrorText(error)));
    QByteArray bytes;
    const std::optional<FileIdentity> identity = file.identity();
    if (!file.readAll(bytes) || !identity)
        return unreadable(fileName,
                          QStringLiteral("cannot be read (%1)").arg(fileErrorText(errno)));
    return remember(fileName, *identity, bytes);
}

// ---- writing ------------------------------------------------------------------------

std::function<bool()>& beforeRenameHook() {
    static std::function<bool()> hook;
    return hook;
}

// Replaces the file's content atomically: a temporary file beside it, flushed,
// then renamed over it. A hive that is a symbolic link keeps being one: the
// file it points to is replaced. Returns 0 or the errno.
int replaceFile(const QString& fileName, const QByteArray& content) {
    QFileInfo info(fileName);
    if (info.isSymLink())
        info = QFileInfo(info.symLinkTarget());
    const QString path = info.absoluteFilePath();
    const QString tmpPath = path + QStringLiteral(".tmp");
    // The new file keeps the rights of the one it replaces; a first file gets
    // the usual ones (umask applied).
    const PathStatus existing = pathStatus(path);
    QFile::remove(tmpPath); // left over by an interrupted writer
    File tmp;
    if (const int error =
            tmp.open(tmpPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_NEW))
        return error;
    int error = 0;
    if ((existing.exists && !tmp.setMode(existing.mode)) ||
        tmp.write(content.constData(), content.size()) != content.size() || !tmp.sync())
        error = errno != 0 ? errno : EIO;
    tmp.close();
    if (error == 0 && beforeRenameHook() && !beforeRenameHook()())
        error = EIO;
    if (error == 0 && std::rename(QFile::encodeName(tmpPath).constData(),
                                  QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error != 0) {
        QFile::remove(tmpPath);
        return error;
    }
    syncDirectory(info.absolutePath()); // the rename itself reaches the disk
    return 0;
}

// ---- key paths ----------------------------------------------------------------------

QString fullPath(const QString& root, const QString& key) {
    const QString k = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts).join(QLatin1Char('\\'));
    return k.isEmpty() ? root : root + QLatin1Char('\\') + k;
}

QString timeStamp() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
}

} // namespace

// ---- Registry -----------------------------------------------------------------------

Registry::Registry(RegHive hive)
    : m_fileName(hive == RegHive::CurrentUser ? userHiveFile() : machineHiveFile()),
      m_rootName(hive == RegHive::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER")
                                              : QStringLiteral("HKEY_LOCAL_MACHINE")),
      m_readOnly(hive == RegHive::LocalMachine) {}

Registry::Registry(const QString& fileName, const QString& rootName, bool readOnly)
    : m_fileName(fileName), m_rootName(rootName), m_readOnly(readOnly) {}

namespace {
QString& userHiveOverride() {
    static QString fileName;
    return fileName;
}
} // namespace

void Registry::setUserHiveFile(const QString& fileName) {
    userHiveOverride() = fileName;
}

QString Registry::userHiveFile() {
    if (!userHiveOverride().isEmpty())
        return userHiveOverride();
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

bool Registry::change(const std::function<bool(RegDocument&)>& edit) {
    m_error.clear();
    auto fail = [this](const QString& reason) {
        m_error = QStringLiteral("%1: %2").arg(m_fileName, reason);
        return false;
    };
    if (m_readOnly)
        return fail(QStringLiteral("this hive is read-only"));
    if (m_fileName.isEmpty())
        return fail(QStringLiteral("no place for the settings (HOME is not set)"));
    const QString dir = QFileInfo(m_fileName).absolutePath();
    if (!QDir().mkpath(dir))
        return fail(QStringLiteral("the folder %1 cannot be created").arg(dir));

    File lock;
    // Read access is enough for flock, and takes no lock of its own.
    if (const int error = lock.open(m_fileName + QStringLiteral(".lock"), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS))
        return fail(
            QStringLiteral("its lock file cannot be opened (%1)").arg(fileErrorText(error)));
    if (!lock.lock(File::LockMode::Exclusive, true))
        return fail(QStringLiteral("it cannot be locked (%1)").arg(fileErrorText(errno)));

    // What is on disk now counts, not what was read before.
    const PathStatus status = pathStatus(m_fileName);
    if (status.exists && status.regular && !status.writable)
        return fail(QStringLiteral("the file is read-only"));
    DocumentPtr current = load(m_fileName, false);
    if (!current->usable())
        return fail(current->problem());
    // The copy is edited in place once nothing else holds the document: with
    // the cache and this pointer still holding it, the first change would copy
    // a large hive whole.
    std::optional<CacheEntry> cached = takeCached(m_fileName, current);
    RegDocument changed = *current;
    current.reset();
    if (cached)
        cached->doc.reset();
    if (!edit(changed)) {
        if (cached) {
            cached->doc = std::make_shared<const RegDocument>(std::move(changed));
            std::lock_guard<std::mutex> guard(cacheMutex);
            cache().insert(m_fileName, std::move(*cached));
        }
        return true;
    }
    const QByteArray text = changed.text();
    if (const int error = replaceFile(m_fileName, text)) {
        forget(m_fileName);
        return fail(error == EACCES || error == EROFS || error == EPERM
                        ? QStringLiteral("the folder is read-only (%1)").arg(fileErrorText(error))
                        : fileErrorText(error));
    }
    const PathStatus written = pathStatus(m_fileName);
    std::lock_guard<std::mutex> guard(cacheMutex);
    if (written.regular)
        cache().insert(m_fileName,
                       CacheEntry{written.identity, text,
                                  std::make_shared<const RegDocument>(std::move(changed))});
    return true;
}

Registry::Check Registry::setAsideUnreadable() {
    Check check;
    if (m_fileName.isEmpty())
        return check;
    const DocumentPtr doc = load(m_fileName, true);
    check.readable = doc->usable();
    check.problem = doc->problem();
    const PathStatus status = pathStatus(m_fileName);
    const PathStatus folder = pathStatus(QFileInfo(m_fileName).absolutePath());
    check.writable = !m_readOnly && (!folder.exists || folder.writable) &&
                     (!status.exists || !status.regular || status.writable);
    if (check.readable || m_readOnly || !folder.writable)
        return check;

    File lock;
    if (lock.open(m_fileName + QStringLiteral(".lock"), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS) == 0)
        lock.lock(File::LockMode::Exclusive, true);
    // Looked at again under the lock: another instance may have done it already.
    if (load(m_fileName, false)->usable())
        return Check{};
    QString target = m_fileName + QStringLiteral(".bad-") + timeStamp();
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = m_fileName + QStringLiteral(".bad-") + timeStamp() + QLatin1Char('-') +
                 QString::number(n);
    if (std::rename(QFile::encodeName(m_fileName).constData(),
                    QFile::encodeName(target).constData()) != 0) {
        check.writable = false;
        return check;
    }
    forget(m_fileName);
    check.setAsidePath = target;
    return check;
}

bool Registry::keyExists(const QString& key) const {
    const DocumentPtr doc = load(m_fileName, true);
    return doc->usable() && doc->hasKey(fullPath(m_rootName, key));
}

bool Registry::openKey(const QString& key, bool create) {
    if (keyExists(key))
        return true;
    if (!create || m_readOnly)
        return false;
    const QString path = fullPath(m_rootName, key);
    return change(
        [&](RegDocument& doc) { return !doc.hasKey(path) && doc.addKey(m_rootName, path); });
}

bool Registry::deleteKey(const QString& key) {
    if (m_readOnly)
        return false;
    const QString path = fullPath(m_rootName, key);
    if (path.compare(m_rootName, Qt::CaseInsensitive) == 0)
        return false; // the root itself stays
    bool existed = false;
    const bool ok = change([&](RegDocument& doc) { return existed = doc.removeKey(path); });
    return ok && existed;
}

std::optional<RegValue> Registry::value(const QString& key, const QString& name) const {
    const DocumentPtr doc = load(m_fileName, true);
    if (!doc->usable())
        return std::nullopt;
    return doc->value(fullPath(m_rootName, key), name);
}

QList<RegValue> Registry::values(const QString& key) const {
    const DocumentPtr doc = load(m_fileName, true);
    return doc->usable() ? doc->values(fullPath(m_rootName, key)) : QList<RegValue>();
}

QStringList Registry::subKeys(const QString& key) const {
    const DocumentPtr doc = load(m_fileName, true);
    return doc->usable() ? doc->subKeys(fullPath(m_rootName, key)) : QStringList();
}

bool Registry::setValue(const QString& key, const RegValue& value) {
    return setValues(key, {value});
}

bool Registry::setValues(const QString& key, const QList<RegValue>& values) {
    if (m_readOnly)
        return false;
    const QString path = fullPath(m_rootName, key);
    return change([&](RegDocument& doc) {
        bool changed = doc.addKey(m_rootName, path);
        for (const RegValue& v : values)
            changed = doc.setValue(m_rootName, path, v) || changed;
        return changed;
    });
}

bool Registry::deleteValue(const QString& key, const QString& name) {
    if (m_readOnly)
        return false;
    const QString path = fullPath(m_rootName, key);
    bool existed = false;
    const bool ok = change([&](RegDocument& doc) { return existed = doc.removeValue(path, name); });
    return ok && existed;
}

void Registry::setBeforeRenameHook(std::function<bool()> hook) {
    beforeRenameHook() = std::move(hook);
}

} // namespace platform
