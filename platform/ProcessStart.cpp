#include "platform/ProcessStart.h"

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <mutex>
#include <unistd.h>

namespace platform {

namespace {

std::mutex starterMutex;
ProcessStarter customStarter;

// A name without "/" is only looked up in PATH (as execvp does), never taken
// from the working folder, which QProcess would try last.
QString resolveProgram(const QString& program) {
    if (program.contains(QLatin1Char('/')))
        return program;
    QStringList folders;
    const QByteArray path = qgetenv("PATH");
    if (path.isEmpty())
        folders = {QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/bin"),
                   QStringLiteral("/bin")};
    return QStandardPaths::findExecutable(program, folders);
}

bool startReally(const QString& program, const QStringList& args, const QString& workingDir) {
    if (program.isEmpty())
        return false;
    const QString resolved = resolveProgram(program);
    if (resolved.isEmpty())
        return false;
    // QProcess detaches the same way (fork, fork again, the middle process
    // reaped at once, exec failures reported back through a pipe).
    QProcess process;
    process.setProgram(resolved);
    process.setArguments(args);
    process.setWorkingDirectory(workingDir);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // Runs in the child before exec, so only async-signal-safe calls: its own
    // session, and no signal blocked or ignored that the caller's threads had.
    process.setChildProcessModifier([] {
        ::setsid();
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
    });
    return process.startDetached();
}

} // namespace

bool startDetached(const QString& program, const QStringList& args, const QString& workingDir) {
    ProcessStarter starter;
    {
        std::lock_guard lock(starterMutex);
        starter = customStarter;
    }
    if (starter)
        return starter(program, args, workingDir);
    return startReally(program, args, workingDir);
}

void setProcessStarter(ProcessStarter starter) {
    std::lock_guard lock(starterMutex);
    customStarter = std::move(starter);
}

} // namespace platform
