#include "platform/PathWatcher.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <climits>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr uint32_t kMask =
    IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool isFolder(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// The target of a symbolic link as an absolute path; empty when path is none.
QByteArray linkTarget(const QByteArray& path) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    QByteArray target(buffer, int(n));
    if (!target.startsWith('/'))
        target = parentOf(path) + '/' + target;
    return QFile::encodeName(QDir::cleanPath(QFile::decodeName(target)));
}

} // namespace

PathWatcher::PathWatcher(QObject* parent) : QObject(parent) {
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { readEvents(); });
    }
}

PathWatcher::~PathWatcher() {
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

void PathWatcher::watch(const QString& path) {
    const QString absolute =
        path.isEmpty() ? QString() : QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (absolute == m_path)
        return;
    m_path = absolute;
    m_linkTarget.clear();
    rearm();
}

void PathWatcher::rearm() {
    if (m_fd < 0)
        return;
    std::vector<QByteArray> targets;
    if (!m_path.isEmpty()) {
        const QByteArray path = QFile::encodeName(m_path);
        targets.push_back(path);
        const QByteArray target = linkTarget(path);
        if (!target.isEmpty())
            m_linkTarget = target;
        if (!m_linkTarget.isEmpty() && m_linkTarget != path)
            targets.push_back(m_linkTarget);
    }
    // Each target's folder, or the nearest folder on its way that exists.
    std::vector<Watch> wanted;
    for (const QByteArray& target : targets) {
        QByteArray folder = parentOf(target);
        QByteArray name = nameOf(target);
        while (!isFolder(folder) && folder != "/") {
            name = nameOf(folder);
            folder = parentOf(folder);
        }
        const int wd = ::inotify_add_watch(m_fd, folder.constData(), kMask);
        if (wd >= 0)
            wanted.push_back({wd, folder, name});
    }
    for (const Watch& old : m_watches) {
        bool kept = false;
        for (const Watch& w : wanted)
            kept = kept || w.wd == old.wd;
        if (!kept)
            ::inotify_rm_watch(m_fd, old.wd);
    }
    m_watches = std::move(wanted);
}

void PathWatcher::readEvents() {
    bool relevant = false;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            break; // EAGAIN: all read
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                relevant = true; // events were lost: look again
                continue;
            }
            for (const Watch& w : m_watches) {
                if (w.wd != event->wd)
                    continue;
                // A watched folder that went away, or the entry that matters.
                if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF))
                    relevant = true;
                else if (event->len > 0 && w.name == QByteArray(event->name))
                    relevant = true;
            }
        }
    }
    if (!relevant)
        return;
    rearm();
    if (OnChanged) {
        std::function<void()> handler = OnChanged;
        handler();
    }
}

} // namespace platform
