#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TestEnv.h"
#include "platform/ControlChannel.h"

using platform::ControlChannel;

namespace {

// Sends on a helper thread while this thread runs the event loop for the server.
long long request(const QString& path, const QByteArray& line, QString* error = nullptr) {
    std::atomic<bool> done{false};
    long long result = -1;
    QString why;
    std::thread client([&] {
        result = platform::sendControlMessage(path, line, &why, 3000);
        done = true;
    });
    WaitUntil([&] { return done.load(); }, 5000);
    client.join();
    if (error)
        *error = why;
    return result;
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode;
}

// A socket file nobody listens on, as a crashed instance leaves it.
void makeStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
}

} // namespace

TEST(ControlChannel, ParsesDecimalAndHexMessageNumbers) {
    EXPECT_EQ(platform::parseControlMessage("1025"), 1025u);
    EXPECT_EQ(platform::parseControlMessage("0x401\n"), 1025u);
    EXPECT_EQ(platform::parseControlMessage(" 0X400 \r\n"), 1024u);
    EXPECT_EQ(platform::parseControlMessage("4294967295"), 4294967295u);
    for (const char* bad : {"", "0x", "-1", "+5", "12a", "0x1g", "4294967296", "1 2", "start"})
        EXPECT_FALSE(platform::parseControlMessage(bad).has_value()) << bad;
}

TEST(ControlChannel, AnswersEachRequestLineWithTheHandlersResult) {
    QTemporaryDir dir;
    ControlChannel channel;
    std::vector<uint32_t> seen;
    channel.OnMessage = [&](uint32_t m) {
        seen.push_back(m);
        return m == 1025 ? 1 : m == 1024 ? 2 : 0;
    };
    ASSERT_TRUE(channel.listen(dir.path(), "Test"));
    EXPECT_EQ(channel.path(), dir.path() + "/Test.ctl");
    EXPECT_EQ(request(channel.path(), "1025"), 1);
    EXPECT_EQ(request(channel.path(), "0x400"), 2);
    EXPECT_EQ(request(channel.path(), "7"), 0);
    // Numbers out of range: answered 0 without bothering the window.
    EXPECT_EQ(request(channel.path(), QByteArray(200, '1')), 0);
    EXPECT_EQ(request(channel.path(), "-1"), 0);
    // A word without a handler for verbs is refused in words.
    QByteArray answer;
    std::atomic<bool> done{false};
    std::thread client([&] {
        platform::runControlRequest(
            channel.path(), "junk", [&](const QByteArray& out) { answer += out; }, nullptr, 3000);
        done = true;
    });
    WaitUntil([&] { return done.load(); }, 5000);
    client.join();
    EXPECT_TRUE(answer.startsWith("error: ")) << answer.toStdString();
    EXPECT_EQ(seen, (std::vector<uint32_t>{1025, 1024, 7}));
}

TEST(ControlChannel, SocketIsForTheUserOnlyAndRemovedAtClose) {
    QTemporaryDir dir;
    QString path;
    {
        ControlChannel channel;
        ASSERT_TRUE(channel.listen(dir.path(), "Test"));
        path = channel.path();
        const mode_t mode = modeOf(path);
        EXPECT_TRUE(S_ISSOCK(mode));
        EXPECT_EQ(mode & 0777, 0600u);
        // No temporary folder is left beside it.
        EXPECT_EQ(
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
            QStringList{"Test.ctl"});
    }
    EXPECT_EQ(modeOf(path), 0u);
}

TEST(ControlChannel, StaleSocketIsReplacedAndALiveOneIsKept) {
    QTemporaryDir dir;
    const QString mainPath = dir.path() + "/Test.ctl";
    makeStaleSocket(mainPath);
    ControlChannel first;
    first.OnMessage = [](uint32_t) { return 1; };
    ASSERT_TRUE(first.listen(dir.path(), "Test"));
    EXPECT_EQ(first.path(), mainPath);
    EXPECT_EQ(request(mainPath, "1025"), 1);

    // A second instance must not steal the name of a live one.
    ControlChannel second;
    second.OnMessage = [](uint32_t) { return 2; };
    ASSERT_TRUE(second.listen(dir.path(), "Test"));
    EXPECT_EQ(second.path(), dir.path() + QString("/Test-%1.ctl").arg(::getpid()));
    EXPECT_EQ(request(mainPath, "1"), 1);
    EXPECT_EQ(request(second.path(), "1"), 2);
    // Closing the second leaves the first's file alone.
    second.close();
    EXPECT_TRUE(S_ISSOCK(modeOf(mainPath)));
}

TEST(ControlChannel, ClientReportsAMissingWindow) {
    QTemporaryDir dir;
    QString error;
    EXPECT_EQ(request(dir.path() + "/none.ctl", "1025", &error), -1);
    EXPECT_FALSE(error.isEmpty());
}

TEST(DralvoMsg, BadArgumentsGiveUsageAndExitCode2) {
    const QString tool = QStringLiteral(DRALVO_BINARY_DIR "/dralvo-msg");
    ASSERT_TRUE(QFile::exists(tool));
    for (const QStringList& args :
         {QStringList{}, QStringList{"starts"}, QStringList{"start", "disconnect"},
          QStringList{"-5"}, QStringList{"--socket"}, QStringList{"0xZZ"}}) {
        QProcess p;
        p.start(tool, args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardError().contains("usage"));
    }
}

TEST(DralvoMsg, SendsTheMessageAndPrintsTheAnswer) {
    QTemporaryDir dir;
    ControlChannel channel;
    std::vector<uint32_t> seen;
    channel.OnMessage = [&](uint32_t m) {
        seen.push_back(m);
        return m == 1025 ? 1 : m == 1024 ? 2 : 0;
    };
    ASSERT_TRUE(channel.listen(dir.path(), "Dralvo_v1-7"));
    const QString tool = QStringLiteral(DRALVO_BINARY_DIR "/dralvo-msg");
    auto run = [&](const QStringList& args, const QProcessEnvironment& env) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(tool, args);
        WaitUntil([&] { return p.state() == QProcess::NotRunning; }, 5000);
        return std::make_pair(p.exitCode(), p.readAllStandardOutput().trimmed());
    };
    // It finds the main instance's socket through XDG_RUNTIME_DIR.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", dir.path());
    EXPECT_EQ(run({"start"}, env), std::make_pair(0, QByteArray("1")));
    EXPECT_EQ(run({"disconnect"}, env), std::make_pair(0, QByteArray("2")));
    EXPECT_EQ(run({"0x10"}, env), std::make_pair(0, QByteArray("0")));
    // --socket names it directly.
    env.insert("XDG_RUNTIME_DIR", dir.path() + "/elsewhere");
    EXPECT_EQ(run({"--socket", channel.path(), "1024"}, env), std::make_pair(0, QByteArray("2")));
    EXPECT_EQ(run({"start"}, env).first, 1); // nobody there
    EXPECT_EQ(seen, (std::vector<uint32_t>{1025, 1024, 16, 1024}));
}

// The whole program: control socket in XDG_RUNTIME_DIR, and a signal ends it
// after the settings were saved, even though its terminal window stays open.
TEST(DralvoProgram, AnswersOnItsSocketAndEndsOnTerminationSignals) {
    const QString program = QStringLiteral(DRALVO_BINARY_DIR "/dralvo");
    ASSERT_TRUE(QFile::exists(program));
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("runtime"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("config"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", dir.path() + "/runtime");
    env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(program, {});
    ASSERT_TRUE(p.waitForStarted(5000));
    const QString socket = dir.path() + "/runtime/Dralvo_v1-7.ctl";
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(socket); }, 10000));
    EXPECT_EQ(request(socket, "1024"), 2);
    // A hang-up closes it as the close box does; the interrupt right behind it
    // arrives while it is closing and must not cut the save short.
    ::kill(pid_t(p.processId()), SIGHUP);
    ::kill(pid_t(p.processId()), SIGINT);
    EXPECT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(socket));
    QFile hive(dir.path() + "/config/Oxatek/user.reg");
    ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
    EXPECT_TRUE(hive.readAll().contains("Options\\Forms\\frmMain]"));
    if (p.state() != QProcess::NotRunning)
        p.kill();
}

// Without XDG_RUNTIME_DIR the socket goes into a folder of the user's own in
// /tmp. Such a folder is made 0700 and refused when it is a link, is open to
// others or belongs to someone else, who could otherwise receive the commands.
TEST(ControlChannel, FolderOutsideTheSessionMustBeTheUsersOwn) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(platform::controlSocketDir(), QStringLiteral("/tmp/dralvo-%1").arg(::getuid()));
    qputenv("XDG_RUNTIME_DIR", runtime);

    QTemporaryDir dir;
    const QString own = dir.filePath("own");
    ControlChannel channel;
    ASSERT_TRUE(channel.listen(own, "Test")) << channel.errorString().toStdString();
    EXPECT_EQ(modeOf(own) & 0777, 0700u);
    EXPECT_EQ(request(channel.path(), "0"), 0);
    channel.close();

    const QString wide = dir.filePath("wide");
    ASSERT_TRUE(QDir().mkpath(wide));
    ::chmod(QFile::encodeName(wide).constData(), 0755);
    const QString link = dir.filePath("link");
    ASSERT_TRUE(QFile::link(own, link));
    const QString foreign = dir.filePath("foreign");
    ASSERT_TRUE(QDir().mkpath(foreign));
    ::chmod(QFile::encodeName(foreign).constData(), 0700);
    const bool canGiveAway = ::chown(QFile::encodeName(foreign).constData(), 12345, 12345) == 0;
    for (const QString& refused : {wide, link, foreign}) {
        if (refused == foreign && !canGiveAway)
            continue;
        ControlChannel other;
        EXPECT_FALSE(other.listen(refused, "Test")) << refused.toStdString();
        EXPECT_TRUE(other.errorString().startsWith(refused)) << other.errorString().toStdString();
        EXPECT_TRUE(QDir(refused).entryList(QDir::System | QDir::NoDotAndDotDot).isEmpty());
    }
}

// The client checks who listens before it sends: a socket of another user
// gets nothing (run as root, which can become another user for the server).
TEST(ControlChannel, ClientSendsNothingToAnotherUsersServer) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a server as another user";
    QTemporaryDir dir;
    ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
    const QString path = dir.filePath("other.ctl");
    int ready[2], report[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(path);
        memcpy(addr.sun_path, p.constData(), size_t(p.size()));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::chmod(p.constData(), 0777) != 0 || ::listen(fd, 4) != 0)
            ::_exit(2);
        char byte = 'r';
        (void)!::write(ready[1], &byte, 1);
        const int client = ::accept(fd, nullptr, nullptr);
        char buffer[64];
        // Everything the client sent, up to its close.
        ssize_t total = 0, n;
        while ((n = ::read(client, buffer, sizeof buffer)) > 0)
            total += n;
        (void)!::write(report[1], &total, sizeof total);
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    QString error;
    EXPECT_EQ(platform::sendControlMessage(path, "1025", &error, 2000), -1);
    EXPECT_TRUE(error.contains("belongs to another user")) << error.toStdString();
    ssize_t received = -1;
    EXPECT_EQ(::read(report[0], &received, sizeof received), ssize_t(sizeof received));
    EXPECT_EQ(received, 0);
    int status = 0;
    ::waitpid(child, &status, 0);
    for (int fd : {ready[0], ready[1], report[0], report[1]})
        ::close(fd);
}

// Many clients at once (more than a small listen backlog) are all let in and
// all answered.
TEST(ControlChannel, ManyClientsAtOnceAreAllAnswered) {
    QTemporaryDir dir;
    ControlChannel channel;
    ASSERT_TRUE(channel.listen(dir.path(), "Test"));
    const QByteArray p = QFile::encodeName(channel.path());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    constexpr int clients = 200;
    std::vector<int> fds;
    // Nobody accepts while the event loop does not run: every connection has
    // to wait in the backlog.
    for (int i = 0; i < clients; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            continue;
        }
        EXPECT_EQ(::send(fd, "0\n", 2, MSG_NOSIGNAL), 2);
        fds.push_back(fd);
    }
    EXPECT_EQ(int(fds.size()), clients);
    std::vector<QByteArray> answers(fds.size());
    auto answered = [&] {
        int done = 0;
        for (size_t i = 0; i < fds.size(); ++i) {
            char buffer[16];
            const ssize_t n = ::recv(fds[i], buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                answers[i].append(buffer, n);
            done += answers[i].endsWith('\n') ? 1 : 0;
        }
        return done == int(fds.size());
    };
    EXPECT_TRUE(WaitUntil(answered, 10000));
    for (size_t i = 0; i < fds.size(); ++i) {
        EXPECT_EQ(answers[i], QByteArray("0\n")) << i;
        ::close(fds[i]);
    }
}

namespace {

// CPU time (user + system) of a process in clock ticks, from /proc.
long long cpuTicks(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

int openDescriptors(qint64 pid) {
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::System).size());
}

QByteArray limitsLine(qint64 pid) {
    QFile limits(QStringLiteral("/proc/%1/limits").arg(pid));
    if (!limits.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : limits.readAll().split('\n'))
        if (line.startsWith("Max open files"))
            return line.simplified();
    return {};
}

int connectTo(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

// More idle clients than the program has descriptors for: it raises its soft
// limit to the hard one, takes clients only while descriptors are left for its
// own files, lets the rest wait without spinning, and answers them all in turn.
TEST(DralvoProgram, IdleClientsBeyondTheDescriptorLimitWaitWithoutSpinning) {
    const QString program = QStringLiteral(DRALVO_BINARY_DIR "/dralvo");
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("runtime"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", dir.path() + "/runtime");
    env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.setChildProcessModifier([] {
        const rlimit low{100, 160};
        ::setrlimit(RLIMIT_NOFILE, &low);
    });
    p.start(program, {});
    ASSERT_TRUE(p.waitForStarted(5000));
    const QString socket = dir.path() + "/runtime/Dralvo_v1-7.ctl";
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(socket); }, 10000));
    ASSERT_EQ(request(socket, "0"), 0);
    EXPECT_TRUE(limitsLine(p.processId()).startsWith("Max open files 160 160"))
        << limitsLine(p.processId()).toStdString();

    // 130 idle clients, more than 160 descriptors less the reserve can serve,
    // then one that asks something.
    const int before = openDescriptors(p.processId());
    std::vector<int> idle;
    for (int i = 0; i < 130; ++i) {
        const int fd = connectTo(socket);
        ASSERT_GE(fd, 0);
        idle.push_back(fd);
    }
    const int asking = connectTo(socket);
    ASSERT_GE(asking, 0);
    ASSERT_EQ(::send(asking, "1024\n", 5, MSG_NOSIGNAL), 5);
    EXPECT_TRUE(WaitUntil([&] { return openDescriptors(p.processId()) >= before + 90; }, 10000));
    EXPECT_LE(openDescriptors(p.processId()), 160 - 32);

    // Waiting for the idle clients' time-out: a program that spins on the
    // waiting ones burns most of that time.
    const long long ticksBefore = cpuTicks(p.processId());
    auto dropped = [](int fd) {
        char byte;
        return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
    };
    EXPECT_TRUE(WaitUntil([&] { return dropped(idle.front()); }, 15000, 20));
    const long long spent = cpuTicks(p.processId()) - ticksBefore;
    EXPECT_LT(spent, ::sysconf(_SC_CLK_TCK)) << spent << " ticks while clients waited";

    // The asking client's turn comes once the first ones are gone.
    QByteArray answer;
    EXPECT_TRUE(WaitUntil(
        [&] {
            char buffer[16];
            const ssize_t n = ::recv(asking, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                answer.append(buffer, n);
            return answer.endsWith('\n');
        },
        15000, 5));
    EXPECT_EQ(answer, QByteArray("2\n"));
    for (int fd : idle)
        ::close(fd);
    ::close(asking);
    ::kill(pid_t(p.processId()), SIGTERM);
    EXPECT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
}
