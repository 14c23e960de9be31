#pragma once
// Tells as soon as a path may have come back: a device node that reappears
// when an adapter is plugged in again, or a link such as
// /dev/serial/by-id/... that is made again. Watches the folder of the path
// and, for a symbolic link, the folder of its target (the last target seen is
// kept, since the link goes with the device); a folder that is missing is
// waited for through the nearest one that exists. Events are only hints: a
// folder that cannot be watched, or a flood of events, changes nothing but how
// soon the owner looks.
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QSocketNotifier;

namespace platform {

class PathWatcher : public QObject {
    Q_OBJECT
public:
    explicit PathWatcher(QObject* parent = nullptr);
    ~PathWatcher() override;

    // Watches for path (a new path replaces the old one); empty stops.
    void watch(const QString& path);
    QString path() const { return m_path; }
    // Folders being watched now (for tests and diagnostics).
    int watchedFolders() const { return int(m_watches.size()); }

    // On this object's thread: something of that name was made, moved there
    // or changed its mode or owner (or a folder on the way to it did).
    std::function<void()> OnChanged;

private:
    struct Watch {
        int wd;
        QByteArray folder;
        QByteArray name; // the entry of the folder that matters
    };
    void rearm();
    void readEvents();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QString m_path;
    QByteArray m_linkTarget; // absolute, last seen
    std::vector<Watch> m_watches;
};

} // namespace platform
