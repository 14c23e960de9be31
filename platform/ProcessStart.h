#pragma once
// Starting another program and forgetting about it: no shell, no waiting for
// its end, and no zombie left behind when it ends.
#include <QString>
#include <QStringList>
#include <functional>

namespace platform {

// Starts program with args (passed verbatim, no shell involved) in
// workingDir, or in the current directory when workingDir is empty. A program
// name without "/" is looked up in PATH. The program runs in its own session
// with the caller's environment and its standard streams on /dev/null, so
// whatever it prints never mixes with the caller's output; it is detached
// (double fork), so it is never waited for and its end leaves no zombie.
// Returns whether the program could be executed; callers are free to ignore it.
bool startDetached(const QString& program, const QStringList& args,
                   const QString& workingDir = QString());

// Tests replace the starter to observe what would be started. An empty
// function restores the real one.
using ProcessStarter =
    std::function<bool(const QString& program, const QStringList& args, const QString& workingDir)>;
void setProcessStarter(ProcessStarter starter);

} // namespace platform
