#include "app/LogLocation.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString ShellPattern = QStringLiteral("logs\\Dralvo_*.log");

QString canonical(const QString& path) {
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(path) : c;
}

// Below folder (or folder itself): the rest of the path, else none.
bool relativeTo(const QString& path, const QString& folder, QString& rest) {
    if (folder.isEmpty())
        return false;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    if (!path.startsWith(prefix))
        return false;
    rest = path.mid(prefix.size());
    return true;
}

} // namespace

QString StateHome(const QString& homeDir) {
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return state;
    return homeDir + QStringLiteral("/.local/state");
}

LogPlace ChooseLogPlace(const QString& currentDir, const QString& homeDir,
                        const QString& stateHome) {
    LogPlace place;
    place.pattern = stateHome + QStringLiteral("/Dralvo/logs/Dralvo_*.log");
    const QString here = canonical(currentDir);
    if (here == QLatin1String("/") || here == canonical(homeDir)) {
        place.reason = LogPlace::MenuStart;
        return place;
    }
    // A folder that is there must be writable, a missing one creatable.
    const QFileInfo logs(here + QStringLiteral("/logs"));
    if (logs.exists() && !logs.isDir()) {
        place.reason = LogPlace::NotAFolder;
        place.folder = logs.filePath();
    } else if (logs.exists() ? !logs.isWritable() : !QFileInfo(here).isWritable()) {
        place.reason = LogPlace::NotWritable;
        place.folder = logs.exists() ? logs.filePath() : here;
    } else {
        place.pattern = ShellPattern;
    }
    return place;
}

QString DisplayedLogPath(const QString& fileName, const QString& currentDir,
                         const QString& homeDir) {
    const QString path = QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
    const QString here = QDir::cleanPath(currentDir);
    const QString home = QDir::cleanPath(homeDir);
    QString rest;
    // Below the folder the program was started in (not / or home: a menu start).
    if (here != QLatin1String("/") && here != home && relativeTo(path, here, rest))
        return rest;
    if (relativeTo(path, home, rest))
        return QStringLiteral("~/") + rest;
    return path;
}
