#pragma once
// Where the day's log goes, and how the window names the file. Started from a
// shell, the log stays under logs/ of the current directory. Started from the
// desktop menu the current directory is / or the home folder, where a logs/
// folder is out of place; there, and in a folder that cannot take logs/ (not
// writable), the log goes to the user's state folder instead.
#include <QString>

// ${XDG_STATE_HOME:-<home>/.local/state} (a relative XDG_STATE_HOME is ignored).
QString StateHome(const QString& homeDir);

// The logger's file name pattern for a start in currentDir: "logs\Dralvo_*.log"
// (relative, as it has always been) or <stateHome>/Dralvo/logs/Dralvo_*.log.
QString LogFilePattern(const QString& currentDir, const QString& homeDir, const QString& stateHome);

// A log file's path as the status bar shows it: relative to currentDir when it
// lies below it, with ~ for the home folder, otherwise absolute.
QString DisplayedLogPath(const QString& fileName, const QString& currentDir,
                         const QString& homeDir);
