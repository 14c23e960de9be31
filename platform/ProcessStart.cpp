#include "platform/ProcessStart.h"

#include "platform/SysCall.h"
#include <QByteArray>
#include <QFile>
#include <QList>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {

namespace {

std::mutex starterMutex;
ProcessStarter customStarter;

// Where execve is tried, in order: the name itself when it holds a slash,
// otherwise each folder of PATH (as execvp does, but computed before the fork
// so the child only makes async-signal-safe calls).
QList<QByteArray> candidatePaths(const QByteArray& program) {
    if (program.contains('/'))
        return {program};
    QByteArray path = qgetenv("PATH");
    if (path.isEmpty())
        path = "/usr/local/bin:/usr/bin:/bin";
    QList<QByteArray> result;
    for (const QByteArray& dir : path.split(':'))
        result.append((dir.isEmpty() ? QByteArray(".") : dir) + '/' + program);
    return result;
}

// Tells the parent why the child could not run the program, then ends the child.
[[noreturn]] void failChild(int reportFd, int error) {
    const ssize_t written = ::write(reportFd, &error, sizeof error);
    (void)written;
    ::_exit(127);
}

bool startReally(const QString& program, const QStringList& args, const QString& workingDir) {
    if (program.isEmpty())
        return false;
    // Everything the child needs is prepared here: after fork() only
    // async-signal-safe calls are allowed in a multi-threaded process.
    const QByteArray programName = QFile::encodeName(program);
    const QList<QByteArray> candidates = candidatePaths(programName);
    QList<QByteArray> argBytes;
    argBytes.append(programName);
    for (const QString& arg : args)
        argBytes.append(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& arg : argBytes)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const QByteArray dir = QFile::encodeName(workingDir);
    const char* dirPtr = dir.isEmpty() ? nullptr : dir.constData();

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);

    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        if (devNull >= 0)
            ::close(devNull);
        return false;
    }
    if (child == 0) {
        // Intermediate child: start the program in a grandchild and end at
        // once, so the program is adopted by init (or a subreaper) and reaped
        // there, never by us.
        ::close(report[0]);
        const pid_t grandchild = ::fork();
        if (grandchild < 0)
            failChild(report[1], errno);
        if (grandchild > 0)
            ::_exit(0);
        ::setsid();
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        if (dirPtr && ::chdir(dirPtr) != 0)
            failChild(report[1], errno);
        int error = ENOENT;
        for (const QByteArray& candidate : candidates) {
            ::execve(candidate.constData(), argv.data(), environ);
            // Like execvp: a permission problem is remembered, but later
            // folders of PATH are still tried.
            if (errno != ENOENT && errno != ENOTDIR)
                error = errno;
        }
        failChild(report[1], error);
    }

    ::close(report[1]);
    if (devNull >= 0)
        ::close(devNull);
    // The intermediate child ends right after its fork; reaping it is quick.
    int status = 0;
    retryInterrupted([&] { return ::waitpid(child, &status, 0); });
    // The write end closes on a successful exec (close-on-exec), so this read
    // returns 0 then, or the error number when the program could not run.
    int error = 0;
    const ssize_t got = retryInterrupted([&] { return ::read(report[0], &error, sizeof error); });
    ::close(report[0]);
    return got == 0;
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
