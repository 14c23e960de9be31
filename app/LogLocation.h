#pragma once
// Where the day's log goes, and how the window names the file. Started from a
// shell, the log stays under logs/ of the current directory. Started from the
// desktop menu the current directory is / or the home folder, where a logs/
// folder is out of place; there, and in a folder that cannot take logs/ (not
// writable, or a file named logs in the way), the log goes to the user's state
// folder instead.
#include <QString>

// ${XDG_STATE_HOME:-<home>/.local/state} (a relative XDG_STATE_HOME is ignored).
QString StateHome(const QString& homeDir);

// The logger's file name pattern for a start in currentDir: "logs\Dralvo_*.log"
// (relative, as it has always been) or <stateHome>/Dralvo/logs/Dralvo_*.log,
// and why the state folder when a shell start cannot use logs/ (the window
// says so: nobody would look for the log there otherwise).
struct LogPlace {
    QString pattern;
    enum Reason {
        Here,        // logs/ of the current directory
        MenuStart,   // started from the desktop menu
        NotAFolder,  // something other than a folder is where logs/ would be
        NotWritable, // folder cannot be written (logs/, or the current directory to make it)
    } reason = Here;
    QString folder; // NotAFolder, NotWritable: the one that cannot take the log
};
LogPlace ChooseLogPlace(const QString& currentDir, const QString& homeDir,
                        const QString& stateHome);

// A log file's path as the status bar shows it: relative to currentDir when it
// lies below it, with ~ for the home folder, otherwise absolute.
QString DisplayedLogPath(const QString& fileName, const QString& currentDir,
                         const QString& homeDir);
