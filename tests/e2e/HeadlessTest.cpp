// The program without a window, as a test bench runs it: no X server and no
// DISPLAY, a simulated module on the command line's port, scripts talking to
// it through dralvo-msg, and SIGTERM to end it.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "E2eFixture.h"
#include "platform/ControlChannel.h"

using namespace e2e;

namespace {

// The environment of a machine without any display.
QProcessEnvironment noDisplay(const World& world) {
    QProcessEnvironment env = world.environment(QStringLiteral("config"));
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"})
        env.remove(QString::fromLatin1(name));
    return env;
}

struct Msg {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

Msg dralvoMsgRun(const World& world, const QStringList& args, int timeoutMs = 15000) {
    QProcess p;
    p.setProcessEnvironment(noDisplay(world));
    p.start(binary("dralvo-msg"), args);
    Msg m;
    if (!p.waitForFinished(timeoutMs))
        return m;
    m.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    m.out = p.readAllStandardOutput();
    m.err = p.readAllStandardError();
    return m;
}

// One raw request, as a script without dralvo-msg makes it: the whole answer.
QByteArray rawRequest(const QString& socket, const QByteArray& line) {
    QByteArray answer;
    platform::runControlRequest(
        socket, line, [&](const QByteArray& out) { answer += out; }, nullptr, 10000);
    return answer;
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world.ok());
        ASSERT_TRUE(QFileInfo(binary("dralvo")).isExecutable()) << "build the dralvo target";
    }
    bool startHeadless(const QStringList& extra) {
        QStringList args{QStringLiteral("--headless"), QStringLiteral("--name"),
                         QStringLiteral("bench")};
        args += extra;
        return app.start(binary("dralvo"), args, world.cwd(), noDisplay(world),
                         world.path(QStringLiteral("headless")));
    }
    QString socket() const { return world.runtimeDir() + QStringLiteral("/Dralvo_v1-7@bench.ctl"); }
    Msg msg(QStringList args) {
        args.prepend(QStringLiteral("bench"));
        args.prepend(QStringLiteral("--name"));
        return dralvoMsgRun(world, args);
    }
    bool logHas(const QByteArray& prefix, const QByteArray& data, int timeoutMs = 8000) {
        return waitUntil([&] { return readLog(world.logFile()).hasRecord(prefix, data); },
                         timeoutMs);
    }

    World world;
    Child sim;
    Child app;
};

} // namespace

// Connects to the port of its command line with no display at all, logs what
// the module prints, answers every verb, and ends on SIGTERM with its log
// whole and its socket gone.
TEST_F(Headless, RunsWithoutADisplayAndAnswersEveryVerb) {
    ASSERT_TRUE(startGsmsim(sim, world, QStringLiteral("ttyGSM"), {"--period", "200"}));
    const QString port = world.path(QStringLiteral("ttyGSM"));
    ASSERT_TRUE(startHeadless({port}));
    ASSERT_TRUE(logHas("A ", statusLine(port, "Connected"))) << app.stderrText().toStdString();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(socket()); }, 5000));

    const Msg state = msg({"state"});
    EXPECT_EQ(state.code, 0) << state.err.toStdString();
    EXPECT_TRUE(state.out.contains("state: Connected\n")) << state.out.toStdString();
    EXPECT_TRUE(state.out.contains("port: " + port.toLocal8Bit() + "\n"));
    EXPECT_TRUE(state.out.contains("log: " + world.logFile().toLocal8Bit() + "\n"))
        << state.out.toStdString();
    EXPECT_TRUE(state.out.contains("name: bench\n"));

    // tail follows from its start; each line reaches it as the log records it.
    QProcess tail;
    tail.setProcessEnvironment(noDisplay(world));
    tail.start(binary("dralvo-msg"), {"--name", "bench", "tail"});
    ASSERT_TRUE(tail.waitForStarted(5000));
    QByteArray tailed;
    ASSERT_TRUE(waitUntil(
        [&] {
            EXPECT_EQ(msg({"mark", "tail", "check"}).code, 0);
            tailed += tail.readAllStandardOutput();
            return tailed.contains(": A -- MARK -- tail check\n");
        },
        10000))
        << tailed.toStdString();

    EXPECT_EQ(msg({"mark", "by", "script"}).code, 0);
    EXPECT_TRUE(logHas("A ", "-- MARK -- by script"));

    // expect answers the next matching line; the module answers each "at".
    QProcess expect;
    expect.setProcessEnvironment(noDisplay(world));
    expect.start(binary("dralvo-msg"), {"--name", "bench", "expect", "^O[K]$", "20"});
    ASSERT_TRUE(expect.waitForStarted(5000));
    ASSERT_TRUE(waitUntil(
        [&] {
            EXPECT_EQ(msg({"send", "at"}).code, 0);
            return expect.waitForFinished(300);
        },
        20000));
    EXPECT_EQ(expect.exitCode(), 0);
    EXPECT_EQ(expect.readAllStandardOutput(), QByteArray("OK\n"));
    EXPECT_TRUE(logHas("- ", "at"));
    EXPECT_TRUE(logHas("+ ", "OK"));

    // The hex line's bytes, sent and logged as such.
    EXPECT_EQ(msg({"send-hex", "61 74 69 0D"}).code, 0);
    EXPECT_TRUE(logHas("- ", "ati"));
    tailed += tail.readAllStandardOutput();
    EXPECT_TRUE(waitUntil(
        [&] {
            tailed += tail.readAllStandardOutput();
            return tailed.contains(": - ati\n");
        },
        5000));
    static const QRegularExpression record(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}: "));
    for (const QByteArray& line : tailed.split('\n')) {
        if (!line.isEmpty()) {
            EXPECT_TRUE(record.match(QString::fromLatin1(line)).hasMatch()) << line.toStdString();
        }
    }

    // Refusals: a time-out, a bad expression, a character the port cannot
    // carry, an unknown request, a line too long.
    const Msg late = msg({"expect", "never seen", "0.2"});
    EXPECT_EQ(late.code, 1);
    EXPECT_TRUE(late.err.startsWith("timeout: ")) << late.err.toStdString();
    EXPECT_EQ(msg({"expect", "(unclosed", "1"}).code, 1);
    const Msg czech = msg({"send", "p\xc5\x99\xc3\xadmo"});
    EXPECT_EQ(czech.code, 1);
    EXPECT_TRUE(czech.err.startsWith("error: ")) << czech.err.toStdString();
    EXPECT_TRUE(rawRequest(socket(), "frobnicate now").startsWith("error: cannot read"));
    EXPECT_TRUE(rawRequest(socket(), "send " + QByteArray(5000, 'x'))
                    .startsWith("error: request longer than 4096 bytes"));
    // The message numbers stay as they were.
    EXPECT_EQ(rawRequest(socket(), "0"), QByteArray("0\n"));
    EXPECT_EQ(msg({"disconnect"}).out, QByteArray("2\n"));
    EXPECT_TRUE(logHas("A ", statusLine(port, "Disconnected")));
    EXPECT_EQ(msg({"start"}).out, QByteArray("1\n"));
    EXPECT_TRUE(waitUntil([&] { return msg({"state"}).out.contains("state: Connected\n"); }, 8000));

    tail.terminate();
    tail.waitForFinished(3000);
    EXPECT_TRUE(app.terminate());
    EXPECT_FALSE(QFileInfo::exists(socket()));
    const LogContents log = readLog(world.logFile());
    EXPECT_TRUE(log.tail.isEmpty()) << log.tail.toStdString();
    EXPECT_TRUE(log.malformed.isEmpty());
    // Status lines on standard error, each with its time stamp.
    const QByteArray err = app.stderrText();
    static const QRegularExpression statusRe(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} COM port \".*\": Connected$"));
    bool seen = false;
    for (const QByteArray& line : err.split('\n'))
        seen = seen || statusRe.match(QString::fromLocal8Bit(line)).hasMatch();
    EXPECT_TRUE(seen) << err.toStdString();
}

// The window with a port, a log folder and a settings file on its command
// line: it connects at once, logs there, and keeps the port in that file.
TEST_F(Headless, WindowStartedWithAPortConnectsAtOnceAndKeepsIt) {
    ASSERT_TRUE(startGsmsim(sim, world, QStringLiteral("ttyGSM"), {"--period", "200"}));
    const QString port = world.path(QStringLiteral("ttyGSM"));
    const QString logDir = world.path(QStringLiteral("bench-logs"));
    const QString hive = world.path(QStringLiteral("bench.reg"));
    QProcessEnvironment env = world.environment(QStringLiteral("config"));
    ASSERT_TRUE(app.start(
        binary("dralvo"),
        {"--name", "bench", "--log-dir", logDir, "--settings", hive, "--baud", "57600", port},
        world.cwd(), env, world.path(QStringLiteral("window"))));
    const QString log = logDir + QStringLiteral("/Dralvo_") + today() + QStringLiteral(".log");
    ASSERT_TRUE(waitUntil(
        [&] { return readLog(log).hasRecord("A ", statusLine(port, "Connected")); }, 10000))
        << app.stderrText().toStdString();
    // The first report is the state before the connection, as after a click.
    EXPECT_EQ(readLog(log).data("A ").value(0), statusLine(port, "Disconnected"));
    const Msg state = msg({"state"});
    EXPECT_TRUE(state.out.contains("speed: 57600\n")) << state.out.toStdString();
    EXPECT_TRUE(app.terminate());
    QFile file(hive);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(
        text.contains("\"ConfigString\"=\"\\\"" + port.toLocal8Bit() + "\\\",\\\"57600\\\""))
        << text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(world.hiveFile())); // the usual hive is left alone
}

// A tail client that never reads holds up neither the log nor the other
// clients: it skips what it cannot take and is told how many lines.
TEST_F(Headless, TailClientThatNeverReadsSkipsLinesAndIsToldHowMany) {
    constexpr int lines = 60000;
    ASSERT_TRUE(startGsmsim(sim, world, QStringLiteral("ttyGSM"),
                            {"--flood", QString::number(lines), "--start-delay", "1500"}));
    ASSERT_TRUE(startHeadless({world.path(QStringLiteral("ttyGSM"))}));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(socket()); }, 8000));
    const QByteArray path = QFile::encodeName(socket());
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    const int idle = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(idle, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::send(idle, "tail\n", 5, MSG_NOSIGNAL), 5);

    const QByteArray last = "SEQ " + QByteArray::number(lines).rightJustified(7, '0');
    ASSERT_TRUE(waitUntil(
        [&] {
            const QList<QByteArray> received = readLog(world.logFile()).data("+ ");
            return !received.isEmpty() && received.back().startsWith(last);
        },
        60000));
    // The window's side answers all along, and nothing is missing from the log.
    EXPECT_EQ(dralvoMsgRun(world, {"--name", "bench", "0"}).out, QByteArray("0\n"));
    qsizetype seq = 0;
    for (const QByteArray& data : readLog(world.logFile()).data("+ "))
        seq += data.startsWith("SEQ ") ? 1 : 0;
    EXPECT_EQ(seq, lines);

    // Now it reads: what it got, then the count of what it missed.
    QByteArray got;
    ASSERT_TRUE(waitUntil(
        [&] {
            char buffer[65536];
            ssize_t n;
            while ((n = ::recv(idle, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
                got.append(buffer, n);
            return got.contains(" lines skipped --\n");
        },
        10000));
    static const QRegularExpression skipped(QStringLiteral("-- (\\d+) lines skipped --"));
    const auto match = skipped.match(QString::fromLatin1(got));
    ASSERT_TRUE(match.hasMatch());
    EXPECT_GT(match.captured(1).toLongLong(), 0);
    ::close(idle);
    EXPECT_TRUE(app.terminate());
}

// The command line refuses a bad value with one line and status 2 before
// anything starts, and a second port is refused the same way.
TEST(HeadlessCommandLine, BadValuesAreRefusedBeforeAnythingStarts) {
    World world;
    for (const QStringList& args :
         {QStringList{"--headless", "--baud", "12345", "/dev/null"},
          QStringList{"--config", "\"COM1\",\"115200\",\"9\"", "--headless"},
          QStringList{"--headless", "a", "b"}, QStringList{"--name", "no/slash", "--headless"},
          QStringList{"--frobnicate"}}) {
        QProcess p;
        p.setProcessEnvironment(noDisplay(world));
        p.start(binary("dralvo"), args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        const QByteArray err = p.readAllStandardError();
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(err.startsWith("dralvo: ")) << err.toStdString();
    }
}
