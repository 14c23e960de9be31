// Files that real machines have where the program expects its own: a FIFO,
// a folder or a device at the day's log path or at the settings hive's path.
// The program never hangs on them: it answers its control socket, logs to its
// fallback name, keeps an unreadable hive aside and ends on SIGTERM.
#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "E2eFixture.h"

using namespace e2e;

namespace {

bool isFifo(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// Waits until the running program has logged its first state line and answers
// its control socket.
void expectAliveAndLogging(const World& world, Child& app, const QString& what) {
    const QByteArray state = statusLine(QStringLiteral("COM1"), "Disconnected");
    LogContents log;
    EXPECT_TRUE(waitUntil(
        [&] {
            log = readLog(world.fallbackLogFile());
            return log.hasRecord("A ", state);
        },
        8000))
        << what.toStdString() << ": " << log.raw.toStdString() << app.stderrText().toStdString();
    EXPECT_EQ(dralvoMsg(world, world.socketPath(), QStringLiteral("0")), QStringLiteral("0"))
        << what.toStdString();
}

} // namespace

// A FIFO without a reader, a FIFO whose reader goes away, a folder and a link
// to /dev/zero at the day's log path.
TEST(HostileFiles, LogPathThatIsNoFileSendsTheLogToTheFallbackName) {
    for (const QString kind : {"fifo", "fifo with reader", "folder", "/dev/zero"}) {
        World world;
        ASSERT_TRUE(world.ok());
        ASSERT_TRUE(QDir().mkpath(QFileInfo(world.logFile()).path()));
        const QByteArray logPath = QFile::encodeName(world.logFile());
        if (kind.startsWith("fifo"))
            ASSERT_EQ(::mkfifo(logPath.constData(), 0600), 0);
        else if (kind == "folder")
            ASSERT_TRUE(QDir().mkpath(world.logFile()));
        else
            ASSERT_TRUE(QFile::link(kind, world.logFile()));
        const int reader = kind == "fifo with reader"
                               ? ::open(logPath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)
                               : -1;
        Child app;
        ASSERT_TRUE(startDralvo(app, world));
        expectAliveAndLogging(world, app, kind);
        if (reader >= 0) {
            ::close(reader); // the reader goes away; writes would meet SIGPIPE now
            EXPECT_EQ(dralvoMsg(world, world.socketPath(), QStringLiteral("disconnect")),
                      QStringLiteral("2"));
        }
        EXPECT_TRUE(app.terminate()) << kind.toStdString() << app.stderrText().toStdString();
        EXPECT_TRUE(readLog(world.fallbackLogFile()).tail.isEmpty());
    }
}

// A FIFO at the hive's path: the start does not hang, the FIFO is kept aside
// and the settings of the session go to a fresh hive at the end.
TEST(HostileFiles, FifoAtTheHivePathIsKeptAsideAndAFreshHiveWritten) {
    World world;
    ASSERT_TRUE(world.ok());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(world.hiveFile()).path()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(world.hiveFile()).constData(), 0600), 0);
    Child app;
    ASSERT_TRUE(startDralvo(app, world));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(world.socketPath()); }, 8000));
    EXPECT_EQ(dralvoMsg(world, world.socketPath(), QStringLiteral("0")), QStringLiteral("0"));
    ASSERT_TRUE(app.terminate()) << app.stderrText().toStdString();

    const QStringList aside = QDir(QFileInfo(world.hiveFile()).path())
                                  .entryList({QStringLiteral("user.reg.bad-*")}, QDir::System);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(isFifo(QFileInfo(world.hiveFile()).path() + QLatin1Char('/') + aside.first()));
    EXPECT_FALSE(isFifo(world.hiveFile()));
    const auto start = world.hiveValue(QStringLiteral("Settings"), QStringLiteral("StartCmd"));
    ASSERT_TRUE(start.has_value());
    EXPECT_EQ(start->text(), QStringLiteral("a:/appmain2.jad"));
}
