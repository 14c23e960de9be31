#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/ProcessStart.h"

namespace {

// Waits (briefly polling) until the file exists and holds a complete line.
QByteArray waitForLine(const QString& path, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray content = file.readAll();
            if (content.endsWith('\n'))
                return content;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

// True when this process has no child at all, living or ended and unreaped.
bool noChildren() {
    int status = 0;
    return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

TEST(ProcessStart, ArgumentsReachTheProgramVerbatimInTheGivenFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.path() + "/out.txt";
    // Blanks, quotes and shell characters must arrive unchanged: no shell
    // parses the arguments on the way.
    ASSERT_TRUE(platform::startDetached(
        "sh",
        {"-c", "{ pwd; printf '%s|' \"$@\"; echo; } > out.tmp && mv out.tmp out.txt", "sh", "a b",
         "$HOME", "*", "\"q\""},
        dir.path()));
    const QByteArray content = waitForLine(out);
    const QList<QByteArray> lines = content.split('\n');
    ASSERT_GE(lines.size(), 2) << content.constData();
    EXPECT_EQ(QDir(QString::fromLocal8Bit(lines[0])).canonicalPath(),
              QDir(dir.path()).canonicalPath());
    EXPECT_EQ(lines[1], QByteArray("a b|$HOME|*|\"q\"|"));
}

TEST(ProcessStart, DetachedProgramLeavesNoChildBehind) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(noChildren());
    // The program reports its parent, its session and where its input and
    // error output go, then ends.
    ASSERT_TRUE(platform::startDetached(
        "sh",
        {"-c", "echo $PPID $(cut -d' ' -f6 /proc/$$/stat) $(readlink /proc/$$/fd/0)"
               " $(readlink /proc/$$/fd/2) > r.tmp && mv r.tmp r.txt"},
        dir.path()));
    const QList<QByteArray> fields = waitForLine(dir.path() + "/r.txt").trimmed().split(' ');
    ASSERT_EQ(fields.size(), 4);
    EXPECT_NE(fields[0].toLongLong(), qint64(::getpid())) << "not detached from the caller";
    EXPECT_NE(fields[1].toLongLong(), qint64(::getsid(0))) << "still in the caller's session";
    EXPECT_EQ(fields[2], "/dev/null");
    EXPECT_EQ(fields[3], "/dev/null");
    // Nothing to reap here, neither the intermediate child nor the program.
    EXPECT_TRUE(noChildren());
}

TEST(ProcessStart, FailuresAreReportedAndLeaveNothingBehind) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(platform::startDetached("dralvo-no-such-program-here", {"x"}));
    EXPECT_FALSE(platform::startDetached(dir.path() + "/missing", {}));
    EXPECT_FALSE(platform::startDetached("sh", {"-c", "true"}, dir.path() + "/no/such/folder"));
    EXPECT_FALSE(platform::startDetached(QString(), {}));
    // A file without execute permission cannot be run.
    QFile script(dir.path() + "/plain.sh");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexit 0\n");
    script.close();
    EXPECT_FALSE(platform::startDetached(script.fileName(), {}));
    EXPECT_TRUE(noChildren());
}

TEST(ProcessStart, InjectedStarterSeesTheRequestInstead) {
    QString program, folder;
    QStringList arguments;
    platform::setProcessStarter([&](const QString& p, const QStringList& a, const QString& w) {
        program = p;
        arguments = a;
        folder = w;
        return false;
    });
    EXPECT_FALSE(platform::startDetached("aplay", {"-q", "beep.wav"}, "/tmp"));
    platform::setProcessStarter({});
    EXPECT_EQ(program, "aplay");
    EXPECT_EQ(arguments, QStringList({"-q", "beep.wav"}));
    EXPECT_EQ(folder, "/tmp");
    // The real starter is back.
    EXPECT_TRUE(platform::startDetached("true", {}));
}

} // namespace
