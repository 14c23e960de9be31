// The whole program as a user runs it: started with a prepared settings hive,
// connected to a simulated module, checked through what it leaves behind (the
// daily log file, the saved settings) and through its control socket.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "E2eFixture.h"
#include "tests/support/Pty.h"

using namespace e2e;

namespace {

QList<HiveValue> connectTo(const QString& port, int autoStartDelay = 100) {
    return {
        {QStringLiteral("Port"), QStringLiteral("ComPort"), port, {}},
        {QStringLiteral("Port"), QStringLiteral("Baudrate"), {}, 13u},
        {QStringLiteral("Advanced"), QStringLiteral("AutoStart"), {}, 1u},
        {QStringLiteral("Advanced"),
         QStringLiteral("AutoStartDelay"),
         {},
         uint32_t(autoStartDelay)},
    };
}

std::string dump(const LogContents& log) {
    return log.raw.right(3000).toStdString();
}

// Every complete line is a well-formed record, and stamps never go backwards.
void expectWellFormed(const LogContents& log) {
    EXPECT_TRUE(log.malformed.isEmpty()) << "malformed: " << log.malformed.value(0).toStdString();
    for (qsizetype i = 1; i < log.records.size(); ++i)
        ASSERT_LE(log.records[i - 1].stamp, log.records[i].stamp) << "record " << i;
}

// Sequence number of a flood line "SEQ 0000123 xxx" (or -1).
long long seqOf(const QByteArray& data) {
    if (!data.startsWith("SEQ ") || data.size() < 11)
        return -1;
    bool ok = false;
    const long long n = data.mid(4, 7).toLongLong(&ok);
    return ok ? n : -1;
}

QByteArray floodLine(long long seq, int length) {
    QByteArray line = "SEQ " + QByteArray::number(seq).rightJustified(7, '0') + ' ';
    line += QByteArray(length - 2 - line.size(), 'x');
    return line;
}

qsizetype countContaining(const QList<QByteArray>& list, const char* text) {
    qsizetype n = 0;
    for (const QByteArray& item : list)
        n += item.contains(text) ? 1 : 0;
    return n;
}

class E2e : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world.ok());
        ASSERT_TRUE(QFileInfo(binary("dralvo")).isExecutable()) << "build the dralvo target";
    }
    QString link(const QString& name = QStringLiteral("ttyGSM")) const { return world.path(name); }

    World world;
};

} // namespace

// Auto-connect a moment after start, the module's greeting and debug lines
// logged as received text, and the periodic mark line in the same file.
TEST_F(E2e, AutoConnectsAtStartAndLogsWhatArrives) {
    Child sim;
    ASSERT_TRUE(startGsmsim(sim, world, QStringLiteral("ttyGSM"), {"--period", "100"}));
    QList<HiveValue> hive = connectTo(link());
    hive.append({QStringLiteral("Advanced"), QStringLiteral("AutoMark"), {}, 1u});
    hive.append({QStringLiteral("Advanced"), QStringLiteral("AutoMarkDelay"), {}, 300u});
    ASSERT_TRUE(world.writeHive(hive));
    Child app;
    ASSERT_TRUE(startDralvo(app, world));

    const QByteArray connected = statusLine(link(), "Connected");
    LogContents log;
    const bool ok = waitUntil(
        [&] {
            log = readLog(world.logFile());
            return log.hasRecord("A ", connected) &&
                   countContaining(log.data("+ "), "heartbeat") >= 3 &&
                   log.data("A ").count("-- MARK --") >= 2;
        },
        10000);
    ASSERT_TRUE(ok) << dump(log) << app.stderrText().toStdString();
    expectWellFormed(log);

    // The greeting follows the Connected line, each line of it whole and once.
    const qsizetype at = log.indexOf("A ", connected);
    const qsizetype powered = log.indexOf("+ ", "GSM module simulator (gsmsim) powered on");
    EXPECT_GT(powered, at);
    EXPECT_EQ(log.data("+ ").count("Firmware 01.100, Java runtime ready"), 1);
    EXPECT_EQ(log.data("+ ").count("[main] INFO  demo.App - starting"), 1);
    // The module numbers its debug lines; heartbeats are every fourth: 1, 5, 9 ...
    // with none missing or doubled.
    static const QRegularExpression beat(QStringLiteral("heartbeat (\\d+), free memory"));
    long long expected = 1;
    for (const QByteArray& d : log.data("+ ")) {
        const auto m = beat.match(QString::fromLatin1(d));
        if (m.hasMatch()) {
            EXPECT_EQ(m.captured(1).toLongLong(), expected) << d.toStdString();
            expected += 4;
        }
    }
    // The terminal's status lines appear once per state change.
    EXPECT_EQ(log.data("A ").count(connected), 1);
    EXPECT_TRUE(app.running());
}

// Filter 1 ("%" = anywhere in the line) and filter 2 (line start) give their
// log prefixes; other lines stay received text.
TEST_F(E2e, FilteredLinesAreLoggedWithTheirFiltersPrefix) {
    Child sim;
    ASSERT_TRUE(startGsmsim(sim, world, QStringLiteral("ttyGSM"), {"--period", "60"}));
    QList<HiveValue> hive = connectTo(link());
    hive.append({QStringLiteral("Settings"), QStringLiteral("Filter1"), "%HEARTBEAT", {}});
    hive.append({QStringLiteral("Settings"), QStringLiteral("Filter2"), "[gps]", {}});
    ASSERT_TRUE(world.writeHive(hive));
    Child app;
    ASSERT_TRUE(startDralvo(app, world));

    static const QRegularExpression heartbeat(
        QStringLiteral("^\\[main\\] DEBUG demo\\.App - heartbeat \\d+, free memory \\d+ bytes$"));
    static const QRegularExpression gps(
        QStringLiteral("^\\[gps\\] DEBUG demo\\.GpsReader - fix lat=.* sats=\\d+$"));
    static const QRegularExpression other(QStringLiteral("^\\[(net|io)\\] DEBUG .*\\d$"));
    auto countWhole = [](const LogContents& log, const QByteArray& prefix,
                         const QRegularExpression& re) {
        int n = 0;
        for (const QByteArray& d : log.data(prefix))
            n += re.match(QString::fromLatin1(d)).hasMatch() ? 1 : 0;
        return n;
    };
    LogContents log;
    const bool ok = waitUntil(
        [&] {
            log = readLog(world.logFile());
            return countWhole(log, "EG ", heartbeat) >= 2 && countWhole(log, "A ", gps) >= 2 &&
                   countWhole(log, "+ ", other) >= 2;
        },
        10000);
    ASSERT_TRUE(ok) << dump(log);
    expectWellFormed(log);
    // No whole matching line went out under another prefix.
    for (const char* prefix : {"+ ", "A ", "- "})
        EXPECT_EQ(countWhole(log, prefix, heartbeat), 0) << prefix;
    for (const char* prefix : {"+ ", "EG ", "- "})
        EXPECT_EQ(countWhole(log, prefix, gps), 0) << prefix;
    EXPECT_EQ(countWhole(log, "EG ", other) + countWhole(log, "A ", other), 0);
}

// The automatic command leaves the program on its timer, reaches the port as
// text plus CR, is logged as sent, and the module's answer is logged as received.
TEST_F(E2e, AutomaticCommandArrivesAtTheModule) {
    // The test holds the master: it sees exactly the bytes the program writes
    // to its port; the program must not inherit the master too.
    testsupport::Pty pty(testsupport::PtyOptions{.closeOnExec = true});
    ASSERT_FALSE(pty.slavePath().isEmpty());
    QByteArray received;
    QList<HiveValue> hive = connectTo(pty.slavePath());
    hive.append({QStringLiteral("Advanced"), QStringLiteral("AutoCmd"), {}, 1u});
    hive.append({QStringLiteral("Advanced"), QStringLiteral("AutoCmdDelay"), {}, 400u});
    hive.append({QStringLiteral("Advanced"), QStringLiteral("AutoCmdText"), "at+cops?", {}});
    ASSERT_TRUE(world.writeHive(hive));
    Child app;
    ASSERT_TRUE(startDralvo(app, world));

    const QByteArray connected = statusLine(pty.slavePath(), "Connected");
    ASSERT_TRUE(
        waitUntil([&] { return readLog(world.logFile()).hasRecord("A ", connected); }, 8000))
        << dump(readLog(world.logFile()));
    // Two commands after the port opened: exactly the text and one CR each.
    ASSERT_TRUE(waitUntil(
        [&] {
            received += pty.readNow();
            return received.count("at+cops?\r") >= 2;
        },
        5000))
        << received.toStdString();
    EXPECT_EQ(received.left(9), QByteArray("at+cops?\r"));
    EXPECT_EQ(QString::fromLatin1(received).remove(QStringLiteral("at+cops?\r")), QString());

    ASSERT_TRUE(pty.write("+COPS: 0,0,\"SIM\"\r\nOK\r\n"));
    LogContents log;
    ASSERT_TRUE(waitUntil(
        [&] {
            log = readLog(world.logFile());
            return log.hasRecord("+ ", "OK");
        },
        5000))
        << dump(log);
    expectWellFormed(log);
    EXPECT_GE(log.data("- ").count("at+cops?"), 2);
    EXPECT_TRUE(log.hasRecord("+ ", "+COPS: 0,0,\"SIM\""));
}

// A cable pulled in the middle of a numbered flood and plugged in again: the
// program reports the failure, reconnects by itself, and every line it received
// is in the log once, in order. Only what was still in the pulled device's
// buffer may be missing, at the place of the failure.
TEST_F(E2e, PulledCableReconnectsAndLosesNothingReceived) {
    const int lines = 1200;
    const int length = 40;
    // The program starts first and retries until the device appears, so the
    // pull (timed from the simulator's start) falls inside the flood however
    // long the program takes to start.
    ASSERT_TRUE(world.writeHive(connectTo(link())));
    Child app;
    ASSERT_TRUE(startDralvo(app, world));
    ASSERT_TRUE(waitUntil([&] { return readLog(world.logFile()).exists; }, 8000));
    Child sim;
    ASSERT_TRUE(startGsmsim(sim, world, QStringLiteral("ttyGSM"),
                            {"--period", "0", "--flood", QString::number(lines), "--line-len",
                             QString::number(length), "--rate", "15000", "--unplug-after", "1.5",
                             "--replug-after", "0.4"}));

    const QByteArray last = floodLine(lines, length);
    LogContents log;
    const bool ok = waitUntil(
        [&] {
            log = readLog(world.logFile());
            return log.hasRecord("+ ", last);
        },
        15000);
    ASSERT_TRUE(ok) << dump(log) << sim.stderrText().toStdString();
    expectWellFormed(log);
    EXPECT_TRUE(sim.stderrText().contains("cable pulled")) << sim.stderrText().toStdString();

    const QByteArray connected = statusLine(link(), "Connected");
    const QByteArray failed = statusLine(link(), "Failed");
    const qsizetype firstUp = log.indexOf("A ", connected);
    const qsizetype down = log.indexOf("A ", failed, firstUp + 1);
    const qsizetype up = log.indexOf("A ", connected, down + 1);
    ASSERT_GE(firstUp, 0);
    ASSERT_GT(down, firstUp) << dump(log);
    ASSERT_GT(up, down) << dump(log);

    // Received lines of one connection are consecutive; between connections the
    // numbers go on upwards. The last line before the failure may be cut short.
    long long previous = 0;
    int gaps = 0;
    bool afterStatus = false;
    for (qsizetype i = 0; i < log.records.size(); ++i) {
        const LogRecord& r = log.records[i];
        if (r.prefix == "A ") {
            afterStatus = true;
            continue;
        }
        if (r.prefix != "+ ")
            continue;
        const long long seq = seqOf(r.data);
        if (seq < 0)
            continue; // the greeting after each plug-in
        const bool cutShort = r.data != floodLine(seq, length);
        if (cutShort) {
            const bool beforeFailure =
                i + 1 < log.records.size() && log.records[i + 1].prefix == "A " && i < up;
            EXPECT_TRUE(beforeFailure && floodLine(seq, length).startsWith(r.data))
                << "line " << seq << " cut short at record " << i;
        }
        if (afterStatus && previous > 0) {
            EXPECT_GT(seq, previous) << "record " << i;
            gaps += seq != previous + 1 ? 1 : 0;
        } else {
            EXPECT_EQ(seq, previous + 1) << "record " << i;
        }
        afterStatus = false;
        previous = seq;
    }
    EXPECT_EQ(previous, lines);
    EXPECT_LE(gaps, 1);
    EXPECT_TRUE(app.running());
}

// A second instance in the same folder writes its own fallback log file; each
// instance answers on its own control socket.
TEST_F(E2e, SecondInstanceLogsToItsFallbackFile) {
    Child simA, simB;
    ASSERT_TRUE(startGsmsim(simA, world, QStringLiteral("ttyA"), {"--period", "100"}));
    ASSERT_TRUE(startGsmsim(simB, world, QStringLiteral("ttyB"), {"--period", "100"}));
    ASSERT_TRUE(world.writeHive(connectTo(link("ttyA")), QStringLiteral("configA")));
    ASSERT_TRUE(world.writeHive(connectTo(link("ttyB")), QStringLiteral("configB")));

    Child first, second;
    ASSERT_TRUE(startDralvo(first, world, QStringLiteral("configA")));
    const QByteArray connectedA = statusLine(link("ttyA"), "Connected");
    ASSERT_TRUE(
        waitUntil([&] { return readLog(world.logFile()).hasRecord("A ", connectedA); }, 8000));
    ASSERT_TRUE(startDralvo(second, world, QStringLiteral("configB")));
    const QByteArray connectedB = statusLine(link("ttyB"), "Connected");
    LogContents logB;
    ASSERT_TRUE(waitUntil(
        [&] {
            logB = readLog(world.fallbackLogFile());
            return logB.hasRecord("A ", connectedB) &&
                   countContaining(logB.data("+ "), "heartbeat") >= 2;
        },
        8000))
        << dump(logB);
    expectWellFormed(logB);
    EXPECT_FALSE(logB.hasRecord("A ", connectedA));
    LogContents logA = readLog(world.logFile());
    expectWellFormed(logA);
    EXPECT_FALSE(logA.hasRecord("A ", connectedB));

    // The first instance owns the plain socket name, the second one carries its pid.
    const QString socketB =
        QDir(world.runtimeDir()).filePath(QStringLiteral("Dralvo_v1-7-%1.ctl").arg(second.pid()));
    ASSERT_TRUE(QFileInfo::exists(world.socketPath()));
    ASSERT_TRUE(QFileInfo::exists(socketB));
    EXPECT_EQ(dralvoMsg(world, socketB, QStringLiteral("disconnect")), QStringLiteral("2"));
    const QByteArray disconnectedB = statusLine(link("ttyB"), "Disconnected");
    ASSERT_TRUE(waitUntil(
        [&] { return readLog(world.fallbackLogFile()).hasRecord("A ", disconnectedB); }, 5000));
    // The first instance goes on receiving meanwhile.
    const qsizetype before = readLog(world.logFile()).data("+ ").size();
    EXPECT_TRUE(
        waitUntil([&] { return readLog(world.logFile()).data("+ ").size() >= before + 3; }, 5000));
    // ... and its last state line is still the Connected one.
    const LogContents afterA = readLog(world.logFile());
    QByteArray lastStateA;
    for (const LogRecord& r : afterA.records)
        if (r.prefix == "A " && r.data.startsWith(statusLine(link("ttyA"), "")))
            lastStateA = r.data;
    EXPECT_EQ(lastStateA, connectedA);
}

// Another program presses Start and Disconnect through the control socket.
TEST_F(E2e, ControlSocketStartsAndDisconnects) {
    Child sim;
    ASSERT_TRUE(startGsmsim(sim, world, QStringLiteral("ttyGSM"), {"--period", "100"}));
    QList<HiveValue> hive = connectTo(link());
    hive[2].dword = 0u; // no auto-connect: the port stays closed until asked
    // The mark line every 100 ms is the clock the program keeps itself: an
    // opening asked for is done on the connection timer's second 50 ms step,
    // so its status line is logged before the third mark that follows.
    hive.append({QStringLiteral("Advanced"), QStringLiteral("AutoMark"), {}, 1u});
    hive.append({QStringLiteral("Advanced"), QStringLiteral("AutoMarkDelay"), {}, 100u});
    ASSERT_TRUE(world.writeHive(hive));
    auto marks = [&] { return readLog(world.logFile()).data("A ").count("-- MARK --"); };
    auto threeMoreMarks = [&] {
        const qsizetype before = marks();
        return waitUntil([&] { return marks() >= before + 3; }, 5000);
    };
    Child app;
    ASSERT_TRUE(startDralvo(app, world));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(world.socketPath()); }, 8000));

    EXPECT_EQ(dralvoMsg(world, world.socketPath(), QStringLiteral("0")), QStringLiteral("0"));
    ASSERT_TRUE(threeMoreMarks());
    EXPECT_FALSE(readLog(world.logFile()).hasRecord("A ", statusLine(link(), "Connected")));

    EXPECT_EQ(dralvoMsg(world, world.socketPath(), QStringLiteral("start")), QStringLiteral("1"));
    LogContents log;
    ASSERT_TRUE(waitUntil(
        [&] {
            log = readLog(world.logFile());
            return log.hasRecord("A ", statusLine(link(), "Connected")) &&
                   countContaining(log.data("+ "), "heartbeat") >= 1;
        },
        8000))
        << dump(log);

    EXPECT_EQ(dralvoMsg(world, world.socketPath(), QStringLiteral("disconnect")),
              QStringLiteral("2"));
    ASSERT_TRUE(waitUntil(
        [&] {
            log = readLog(world.logFile());
            return log.hasRecord("A ", statusLine(link(), "Disconnected"));
        },
        5000))
        << dump(log);
    // Nothing more is received after the port was closed.
    const qsizetype received = log.data("+ ").size();
    ASSERT_TRUE(threeMoreMarks()); // time for a port still open to deliver more
    log = readLog(world.logFile());
    EXPECT_EQ(log.data("+ ").size(), received);
    expectWellFormed(log);
}

// Start pressed while connected (the port is closed and opened again) and
// Disconnect, each while lines arrive: whatever the module printed while the
// port was open is logged once and in order, the lines the read worker was
// still collecting and those waiting in the driver included.
TEST_F(E2e, StartAndDisconnectWithLinesInFlightLogEveryLineOnce) {
    testsupport::Pty pty(testsupport::PtyOptions{.raw = true, .closeOnExec = true});
    ASSERT_FALSE(pty.slavePath().isEmpty());
    QList<HiveValue> hive = connectTo(pty.slavePath());
    // No start command: this module answers none, and what is sent while
    // lines are in flight would be logged between lines read before it.
    hive.append({QStringLiteral("Settings"), QStringLiteral("StartCmd"), "", {}});
    ASSERT_TRUE(world.writeHive(hive));
    QProcessEnvironment env = world.environment(QStringLiteral("config"));
    env.insert(QStringLiteral("DRALVO_TRACE"), QStringLiteral("1")); // tells each open
    Child app;
    ASSERT_TRUE(app.start(binary("dralvo"), {}, world.cwd(), env, world.path("dralvo-trace")));
    const QByteArray connected = statusLine(pty.slavePath(), "Connected");
    const QByteArray disconnected = statusLine(pty.slavePath(), "Disconnected");
    ASSERT_TRUE(
        waitUntil([&] { return readLog(world.logFile()).hasRecord("A ", connected); }, 8000));
    auto opens = [&] { return app.stderrText().count("ReadThread go for"); };
    auto count = [&](const QByteArray& line) {
        return readLog(world.logFile()).data("A ").count(line);
    };

    // The module prints a numbered line every 2 ms for a while.
    const int length = 40;
    long long seq = 0;
    std::vector<long long> beforeDisconnect; // the last line printed before each
    auto print = [&](int ms) {
        for (int i = 0; i < ms / 2; ++i) {
            ASSERT_TRUE(pty.writeAll(floodLine(++seq, length) + "\r\n"));
            pty.readNow(); // what the program sends
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    };
    for (int round = 0; round < 3; ++round) {
        // Start: the port is reopened on the connection timer's second step
        // (100 ms on), so lines printed up to 50 ms after the press are still
        // received before the close.
        const qsizetype before = opens();
        print(60);
        ASSERT_EQ(dralvoMsg(world, world.socketPath(), QStringLiteral("start")), "1");
        print(50);
        ASSERT_TRUE(waitUntil([&] { return opens() > before; }, 5000));

        // Disconnect right after the last line: it is still on its way.
        const qsizetype down = count(disconnected), up = count(connected);
        print(60);
        beforeDisconnect.push_back(seq);
        ASSERT_EQ(dralvoMsg(world, world.socketPath(), QStringLiteral("disconnect")), "2");
        ASSERT_TRUE(waitUntil([&] { return count(disconnected) > down; }, 5000));
        ASSERT_EQ(dralvoMsg(world, world.socketPath(), QStringLiteral("start")), "1");
        ASSERT_TRUE(waitUntil([&] { return count(connected) > up && pty.readerPresent(); }, 5000));
    }
    print(20);
    const QByteArray last = floodLine(seq, length);
    LogContents log;
    ASSERT_TRUE(waitUntil(
        [&] {
            log = readLog(world.logFile());
            return log.hasRecord("+ ", last);
        },
        5000))
        << dump(log);
    expectWellFormed(log);
    long long expected = 0;
    for (const QByteArray& data : log.data("+ ")) {
        const long long n = seqOf(data);
        if (n < 0)
            continue;
        ASSERT_EQ(n, expected + 1) << "each line once and in order";
        ASSERT_EQ(data, floodLine(n, length));
        expected = n;
    }
    EXPECT_EQ(expected, seq);
    // Every line printed before a Disconnect is logged before its status line.
    std::vector<long long> loggedBefore;
    long long lastLine = 0;
    bool wasConnected = false; // the state at start is no Disconnect
    for (const LogRecord& r : log.records) {
        if (r.prefix == "+ " && seqOf(r.data) > 0)
            lastLine = seqOf(r.data);
        wasConnected = wasConnected || (r.prefix == "A " && r.data == connected);
        if (wasConnected && r.prefix == "A " && r.data == disconnected)
            loggedBefore.push_back(lastLine);
    }
    EXPECT_EQ(loggedBefore, beforeDisconnect);
}

// SIGTERM closes the window as its close box does: the settings are written to
// the user hive, the log ends with a complete line and the socket is removed.
TEST_F(E2e, CleanCloseWritesTheSettings) {
    Child sim;
    ASSERT_TRUE(startGsmsim(sim, world, QStringLiteral("ttyGSM"), {"--period", "100"}));
    QList<HiveValue> hive = connectTo(link());
    hive.append({QStringLiteral("Settings"), QStringLiteral("Filter1"), "%heartbeat", {}});
    hive.append({QStringLiteral("Settings"), QStringLiteral("FilterStrict"), {}, 1u});
    hive.append({QStringLiteral("Filter1History"), QStringLiteral("0"), "first", {}});
    hive.append({QStringLiteral("Filter1History"), QStringLiteral("5"), "second", {}});
    hive.append({QStringLiteral("Advanced"), QStringLiteral("AutoMarkDelay"), {}, 1234u});
    hive.append({QStringLiteral("Advanced"), QStringLiteral("AutoCmdText"), "ati", {}});
    ASSERT_TRUE(world.writeHive(hive));
    Child app;
    ASSERT_TRUE(startDralvo(app, world));
    ASSERT_TRUE(waitUntil(
        [&] { return countContaining(readLog(world.logFile()).data("EG "), "heartbeat") >= 1; },
        8000))
        << dump(readLog(world.logFile()));

    ASSERT_TRUE(app.terminate()) << app.stderrText().toStdString();

    auto text = [&](const char* section, const char* name) {
        const auto v = world.hiveValue(QLatin1String(section), QLatin1String(name));
        return v && v->isText() ? v->text() : QStringLiteral("<missing>");
    };
    auto dword = [&](const char* section, const char* name) -> long long {
        const auto v = world.hiveValue(QLatin1String(section), QLatin1String(name));
        return v && v->isDword() ? v->dword() : -1;
    };
    EXPECT_EQ(text("Settings", "StartCmd"), QStringLiteral("a:/appmain2.jad"));
    EXPECT_TRUE(text("Port", "ConfigString").contains(link()))
        << text("Port", "ConfigString").toStdString();
    EXPECT_EQ(text("Settings", "Filter1"), QStringLiteral("%heartbeat"));
    EXPECT_EQ(text("Settings", "Filter2"), QString());
    EXPECT_EQ(dword("Settings", "FilterStrict"), 1);
    EXPECT_EQ(text("Filter1History", "0"), QStringLiteral("first"));
    EXPECT_EQ(text("Filter1History", "1"), QStringLiteral("second"));
    EXPECT_FALSE(world.hiveValue(QStringLiteral("Filter1History"), QStringLiteral("5")));
    EXPECT_EQ(dword("Advanced", "AutoStart"), 1);
    EXPECT_EQ(dword("Advanced", "AutoStartDelay"), 100);
    EXPECT_EQ(dword("Advanced", "AutoMark"), 0);
    EXPECT_EQ(dword("Advanced", "AutoMarkDelay"), 1234);
    EXPECT_EQ(dword("Advanced", "AutoCmd"), 0);
    EXPECT_EQ(dword("Advanced", "AutoCmdDelay"), 30000);
    EXPECT_EQ(text("Advanced", "AutoCmdText"), QStringLiteral("ati"));
    EXPECT_EQ(dword("Advanced", "CreateBinLog"), 0);
    EXPECT_EQ(dword("Advanced", "Alarm"), 0);
    EXPECT_EQ(dword("Advanced", "AlarmDelay"), 30000);

    // Under Strict only the filtered lines were logged, and the file ends with a whole line.
    const LogContents log = readLog(world.logFile());
    expectWellFormed(log);
    EXPECT_TRUE(log.tail.isEmpty()) << log.tail.toStdString();
    // (A rest without line end still goes out as received text, so only whole
    // lines count.)
    for (const QByteArray& d : log.data("+ "))
        EXPECT_FALSE((d.startsWith("[net]") && d.endsWith("registered")) ||
                     (d.startsWith("[gps]") && d.contains("sats=")))
            << d.toStdString();
    EXPECT_FALSE(QFileInfo::exists(world.socketPath()));

    // The next start reads the saved configuration string and connects again.
    Child again;
    ASSERT_TRUE(startDralvo(again, world));
    EXPECT_TRUE(waitUntil(
        [&] {
            return readLog(world.logFile()).data("A ").count(statusLine(link(), "Connected")) >= 2;
        },
        8000));
}
