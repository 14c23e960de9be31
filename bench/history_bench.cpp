// The history view's engine on large logs in the program's own record format:
// index time, filter time for plain text and a regular expression (matching
// 0.1 % and 50 % of the lines), the time to the first screen of matches, the
// cost of a jump anywhere, peak memory, and the same file through rg -c,
// grep -c and wc -l as the yardstick. One JSON line per run on stdout.
//
//   history_bench --lines 1000000 [--dir /tmp] [--keep]
//   history_bench --bytes 1000000000
//   history_bench --file existing.log
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "history/HistoryModel.h"
#include "history/HistoryView.h"
#include "terminal/VOxaLogger.h"

using history::FilterSpec;
using history::HistoryModel;

namespace {

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

// Writes records until lines or bytes are reached; every 1000th names an
// exception (0.1 %), every second is a heartbeat (50 %).
int64_t generate(const QString& path, int64_t lines, int64_t bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    std::string buf;
    buf.reserve(1 << 22);
    int64_t ms = 15 * 3600000LL, i = 0, size = 0;
    char line[256];
    for (; (lines <= 0 || i < lines) && (bytes <= 0 || size < bytes); ++i) {
        ms += 7;
        const int h = int(ms / 3600000 % 24), m = int(ms / 60000 % 60), s = int(ms / 1000 % 60),
                  z = int(ms % 1000);
        int n;
        if (i % 1000 == 7)
            n = std::snprintf(
                line, sizeof line,
                "2026-12-07 %02d:%02d:%02d.%03d: EG [net] ERROR demo.Modem - "
                "java.lang.NullPointerException at demo.Modem.read(Modem.java:142)\r\n",
                h, m, s, z);
        else if (i % 2 == 0)
            n = std::snprintf(line, sizeof line,
                              "2026-12-07 %02d:%02d:%02d.%03d: + [main] DEBUG demo.App - heartbeat "
                              "%lld, free memory %lld bytes\r\n",
                              h, m, s, z, (long long)i, (long long)(400000 - i % 1000));
        else if (i % 97 == 1)
            n = std::snprintf(line, sizeof line,
                              "2026-12-07 %02d:%02d:%02d.%03d: - at^sjra=a:/appmain2.jad<#0D>\r\n",
                              h, m, s, z);
        else
            n = std::snprintf(line, sizeof line,
                              "2026-12-07 %02d:%02d:%02d.%03d: + [io] INFO demo.Watchdog - kick "
                              "%lld, queue %lld\r\n",
                              h, m, s, z, (long long)i, (long long)(i % 17));
        buf.append(line, size_t(n));
        size += n;
        if (buf.size() > (1 << 22) - 256) {
            f.write(buf.data(), qint64(buf.size()));
            buf.clear();
        }
    }
    f.write(buf.data(), qint64(buf.size()));
    return i;
}

// Runs the event loop until done() holds; the seconds it took. The thread
// sleeps between events as a window's does (a loop that polls would take a
// core from the workers); done() can only change through an event.
double until(const std::function<bool()>& done, double limit = 600) {
    QElapsedTimer t;
    t.start();
    QTimer deadline; // wakes the loop at the limit
    deadline.setSingleShot(true);
    deadline.start(int(limit * 1000));
    while (!done() && seconds(t) < limit)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return seconds(t);
}

// A tool's best time of two runs and its count ("-1" when it is missing).
struct Tool {
    double seconds = -1;
    QString count;
};
Tool runTool(const QString& program, const QStringList& args) {
    Tool best;
    if (QStandardPaths::findExecutable(program).isEmpty())
        return best;
    for (int run = 0; run < 2; ++run) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(program, args);
        p.waitForFinished(-1);
        const double s = seconds(t);
        if (best.seconds < 0 || s < best.seconds)
            best.seconds = s;
        best.count = QString::fromLatin1(p.readAllStandardOutput()).trimmed().section(' ', 0, 0);
    }
    return best;
}

// Calls back at each paint of the object it watches.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(std::function<void()> painted) : m_painted(std::move(painted)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            m_painted();
        return false;
    }

private:
    std::function<void()> m_painted;
};

// Time the calling thread spent waiting for a core (ready, not running), from
// the scheduler's statistics; -1 when the system does not keep them.
double runQueueWaitMs() {
    QFile f(QStringLiteral("/proc/thread-self/schedstat"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().simplified().split(' ');
    return fields.size() >= 2 ? fields[1].toDouble() / 1e6 : -1;
}

// CPU time of the calling thread.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// CPU time of the whole process, all threads.
double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Blocking of the calling thread: voluntary switches (it slept: a lock, a
// read from the disk) and reads that went to the disk (512-byte blocks).
struct Blocking {
    long sleeps = 0, diskBlocks = 0;
};
Blocking threadBlocking() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return {u.ru_nvcsw, u.ru_inblock};
}

long peakKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

QString num(double v) {
    return QString::number(v, 'f', 4);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int64_t lines = 0, bytes = 0;
    QString dir = QStringLiteral("/tmp"), file;
    bool keep = false, showView = true, appendLive = false;
    QString only; // the cases to run, by name (all when empty)
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--lines" && i + 1 < args.size())
            lines = args[++i].toLongLong();
        else if (args[i] == "--bytes" && i + 1 < args.size())
            bytes = args[++i].toLongLong();
        else if (args[i] == "--dir" && i + 1 < args.size())
            dir = args[++i];
        else if (args[i] == "--file" && i + 1 < args.size())
            file = args[++i];
        else if (args[i] == "--keep")
            keep = true;
        else if (args[i] == "--no-view")
            showView = false;
        else if (args[i] == "--append-live")
            appendLive = true;
        else if (args[i] == "--cases" && i + 1 < args.size())
            only = args[++i];
        else {
            std::fprintf(stderr,
                         "usage: history_bench --lines N | --bytes N | --file F [--dir D] [--keep] "
                         "[--no-view] [--cases NAME,...] [--append-live]\n");
            return 2;
        }
    }
    bool generated = false;
    if (file.isEmpty()) {
        if (lines <= 0 && bytes <= 0)
            lines = 1000000;
        file = dir + QStringLiteral("/history_bench.log");
        if (generate(file, lines, bytes) < 0) {
            std::fprintf(stderr, "history_bench: cannot write %s\n", qPrintable(file));
            return 1;
        }
        generated = true;
    }
    const double size = double(QFile(file).size());
    // The file is in the page cache: it was just written, and wc reads it once more.
    const Tool wc = runTool("wc", {"-l", file});

    HistoryModel model;
    QElapsedTimer t;
    t.start();
    model.addFile(file);
    until([&] { return model.indexed(); });
    const double indexSeconds = seconds(t);
    const int64_t rows = model.allRowCount();
    const int64_t indexMemory = model.indexMemory();

    QString out = QStringLiteral("{\"file_bytes\":%1,\"lines\":%2,\"index_s\":%3,\"index_mb_s\":%4,"
                                 "\"index_memory_bytes_per_line\":%5,\"wc_l_s\":%6")
                      .arg(qint64(size))
                      .arg(rows)
                      .arg(num(indexSeconds))
                      .arg(num(size / indexSeconds / 1e6))
                      .arg(num(double(indexMemory) / double(std::max<int64_t>(rows, 1))))
                      .arg(num(wc.seconds));

    struct Case {
        const char* name;
        FilterSpec query;
        const char* rg;
        const char* grep;
    };
    const Case cases[] = {
        {"literal_0.1",
         {FilterSpec::Text, "NullPointerException", true, {}, {}},
         "NullPointerException",
         "NullPointerException"},
        {"literal_50", {FilterSpec::Text, "heartbeat", true, {}, {}}, "heartbeat", "heartbeat"},
        {"literal_caseless_0.1",
         {FilterSpec::Text, "nullpointerexception", false, {}, {}},
         "-i nullpointerexception",
         "-i nullpointerexception"},
        {"regex_0.1",
         {FilterSpec::Regex, "Null[A-Za-z]+Exception", true, {}, {}},
         "Null[A-Za-z]+Exception",
         "-E Null[A-Za-z]+Exception"},
        {"regex_50",
         {FilterSpec::Regex, "heartbeat [0-9]+, free", true, {}, {}},
         "heartbeat [0-9]+, free",
         "-E heartbeat [0-9]+, free"},
    };
    history::HistoryView view(&model);
    view.resize(900, 800);
    if (showView)
        view.show(); // laid out: a screen is as many rows as 800 pixels hold
    QCoreApplication::processEvents();
    view.viewport()->grab(); // fonts and glyphs loaded before anything is timed
    // A screen's rows (as many as 800 pixels hold, also when not shown).
    const int screen = std::max(view.visibleRows(), 800 / view.fontMetrics().height());
    // How late a 10 ms timer of the model's thread fires while a filter runs:
    // what a window on that thread would answer within.
    QElapsedTimer beat;
    double worstLate = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (beat.isValid())
            worstLate = std::max(worstLate, double(beat.nsecsElapsed()) / 1e6 - 10);
        beat.restart();
    });
    for (const Case& c : cases) {
        if (!only.isEmpty() && !only.split(',').contains(QString::fromLatin1(c.name)))
            continue;
        model.setFilter({});
        until([&] { return !model.filterRunning(); });
        const double cpu0 = processCpuSeconds();
        t.restart();
        model.setFilter(c.query);
        beat.invalidate();
        ticker.start();
        const double first =
            until([&] { return model.matchCount() >= screen || !model.filterRunning(); });
        until([&] { return !model.filterRunning(); });
        ticker.stop();
        const double filterSeconds = seconds(t);
        const double filterCpu = processCpuSeconds() - cpu0;
        const auto toolArgs = [&](const char* pattern) {
            QStringList a;
            const QString p = QString::fromLatin1(pattern);
            if (p.startsWith("-i ") || p.startsWith("-E ")) {
                a << p.left(2) << p.mid(3);
            } else {
                a << p;
            }
            return a;
        };
        const Tool rg = runTool("rg", QStringList{"-c"} + toolArgs(c.rg) + QStringList{file});
        const Tool grep = runTool("grep", QStringList{"-c"} + toolArgs(c.grep) + QStringList{file});
        out += QStringLiteral(",\"%1\":{\"matches\":%2,\"s\":%3,\"cpu_s\":%12,\"mb_s\":%4,"
                              "\"first_screen_ms\":%5,"
                              "\"rg_s\":%6,\"rg_count\":\"%7\",\"vs_rg\":%8,\"grep_s\":%9,"
                              "\"vs_grep\":%10,\"vs_wc\":%11}")
                   .arg(QString::fromLatin1(c.name))
                   .arg(model.matchCount())
                   .arg(num(filterSeconds))
                   .arg(num(size / filterSeconds / 1e6))
                   .arg(num(first * 1000))
                   .arg(num(rg.seconds), rg.count)
                   .arg(num(rg.seconds > 0 ? filterSeconds / rg.seconds : -1))
                   .arg(num(grep.seconds))
                   .arg(num(grep.seconds > 0 ? filterSeconds / grep.seconds : -1))
                   .arg(num(wc.seconds > 0 ? filterSeconds / wc.seconds : -1))
                   .arg(num(filterCpu));
    }

    // Steps as a user makes them: a jump to a random row (the cursor there,
    // one screen painted), then a page down, every 30 ms, the thread asleep
    // in the event loop between steps as a window's is between keys. Each
    // step's wall time and the thread's CPU time in it (their difference is
    // time the thread waited for a core); over all lines and over the
    // matching lines of the dense pattern.
    const auto steps = [&](const char* name) {
        uint32_t x = 12345;
        double worst = 0, sum = 0, worstCpu = 0, cpuOfWorst = 0, waitOfWorst = 0;
        Blocking blockedOfWorst;
        const int jumps = 200;
        const int64_t count = model.rowCount();
        for (int i = 0; i < jumps; ++i) {
            QElapsedTimer pause;
            pause.start();
            until([&] { return pause.elapsed() >= 30; }, 0.03);
            x = x * 1103515245u + 12345u;
            const int64_t row = int64_t(uint64_t(x) * uint64_t(count) >> 32);
            const double cpu0 = threadCpuMs();
            const double wait0 = runQueueWaitMs();
            const Blocking blocked0 = threadBlocking();
            QElapsedTimer j;
            j.start();
            if (i % 2 == 0) {
                view.setCurrentRow(row, true);
            } else {
                QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
                QCoreApplication::sendEvent(&view, &key);
            }
            view.viewport()->repaint(); // paints the rows now, as the next frame would
            const double ms = double(j.nsecsElapsed()) / 1e6;
            const double cpu = threadCpuMs() - cpu0;
            const double wait = runQueueWaitMs() - wait0;
            const Blocking blocked1 = threadBlocking();
            if (ms > worst) {
                worst = ms;
                cpuOfWorst = cpu;
                waitOfWorst = wait;
                blockedOfWorst = {blocked1.sleeps - blocked0.sleeps,
                                  blocked1.diskBlocks - blocked0.diskBlocks};
            }
            worstCpu = std::max(worstCpu, cpu);
            sum += ms;
        }
        out +=
            QStringLiteral(
                ",\"%1\":{\"rows\":%2,\"step_ms_mean\":%3,\"step_ms_max\":%4,"
                "\"cpu_ms_of_max\":%5,\"run_queue_wait_ms_of_max\":%6,\"step_cpu_ms_max\":%7,"
                "\"sleeps_of_max\":%8,\"disk_blocks_of_max\":%9}")
                .arg(QString::fromLatin1(name))
                .arg(count)
                .arg(num(sum / jumps), num(worst), num(cpuOfWorst), num(waitOfWorst), num(worstCpu))
                .arg(blockedOfWorst.sleeps)
                .arg(blockedOfWorst.diskBlocks);
    };
    if (showView) {
        model.setFilter({});
        steps("steps_all_lines");
        model.setFilter({FilterSpec::Text, "heartbeat", true, {}, {}});
        model.setOnlyMatching(true);
        until([&] { return !model.filterRunning(); });
        steps("steps_only_matching_50");
        model.setOnlyMatching(false);
        model.setFilter({});
    }
    out += QStringLiteral(",\"loop_late_ms_max\":%1,\"screen_rows\":%2")
               .arg(num(worstLate))
               .arg(screen);

    // A live line: logged by the program's logger, how long until it is the
    // history's last row (the logger tells the model of new records, as in
    // the history window; the model looks every RefreshMs besides).
    {
        VOxaLogger logger;
        logger.SetLogPath(dir + QStringLiteral("/history_bench_live_*.log"));
        logger.SetNewFileStyle(volnfDaily);
        HistoryModel live;
        live.setLiveSource([&](int64_t max) { return logger.PendingRecords(max); });
        QObject::connect(&logger, &VOxaLogger::recordsQueued, &live, &HistoryModel::lookSoon);
        double worstLive = 0, sumLive = 0;
        const int samples = 20;
        QString liveName;
        for (int i = 0; i < samples; ++i) {
            const QByteArray text = "live line " + QByteArray::number(i);
            QTimer::singleShot(0, [&] {
                logger.logData(VOxaTerminal_ltInText, text, false);
                logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            });
            QElapsedTimer l;
            l.start();
            until(
                [&] {
                    return live.rowCount() > 0 &&
                           live.rowText(live.rowCount() - 1, 200).endsWith(text);
                },
                10);
            const double ms = double(l.nsecsElapsed()) / 1e6;
            worstLive = std::max(worstLive, ms);
            sumLive += ms;
            liveName = logger.FileName();
        }
        out += QStringLiteral(",\"live_line_ms_mean\":%1,\"live_line_ms_max\":%2")
                   .arg(num(sumLive / samples), num(worstLive));
        logger.Close();
        if (!liveName.isEmpty())
            QFile::remove(liveName);
    }
    // A live line while a filter runs over the whole log: the program's
    // logger appends to the log (as to the day's log), the history follows it
    // with only the matching lines shown, and the dense regular expression
    // is filtered anew over everything; each line logged is timed until the
    // view has painted after the line became its last row.
    if (generated || appendLive) {
        VOxaLogger logger;
        logger.SetLogPath(file);
        logger.SetNewFileStyle(volnfExact);
        HistoryModel live;
        history::HistoryView liveView(&live);
        liveView.resize(900, 800);
        liveView.show();
        QElapsedTimer clock;
        clock.start();
        double lastPaint = 0;
        PaintWatch watch([&] { lastPaint = double(clock.nsecsElapsed()) / 1e6; });
        liveView.viewport()->installEventFilter(&watch);
        live.setLiveSource([&](int64_t max) { return logger.PendingRecords(max); });
        QObject::connect(&logger, &VOxaLogger::recordsQueued, &live, &HistoryModel::lookSoon);
        // The logger opens its file with its first record.
        logger.logData(VOxaTerminal_ltInText, QByteArray("live start"), false);
        logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
        until([&] { return live.indexed() && live.allRowCount() > rows; }, 60);
        live.setOnlyMatching(true);
        const FilterSpec dense{FilterSpec::Regex, "heartbeat [0-9]+, free", true, {}, {}};
        std::vector<double> during, after;
        for (int i = 0; i < 40; ++i) {
            if (i % 10 == 0) {
                // A new filter over the whole log (another one first, so it is new).
                live.setFilter({});
                live.setFilter(dense);
            }
            QElapsedTimer pause;
            pause.start();
            until([&] { return pause.elapsed() >= 50; }, 0.05);
            const QByteArray text = "heartbeat 1, free live " + QByteArray::number(i);
            const bool running = live.filterRunning();
            const double at = double(clock.nsecsElapsed()) / 1e6;
            logger.logData(VOxaTerminal_ltInText, text, false);
            logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            double inModel = -1;
            until(
                [&] {
                    if (inModel < 0 && live.rowCount() > 0 &&
                        live.rowText(live.rowCount() - 1, 200).endsWith(text))
                        inModel = double(clock.nsecsElapsed()) / 1e6;
                    return inModel >= 0 && lastPaint >= inModel;
                },
                10);
            (running ? during : after).push_back(lastPaint - at);
        }
        const auto stats = [](const std::vector<double>& v) {
            double sum = 0, worst = 0;
            for (double x : v) {
                sum += x;
                worst = std::max(worst, x);
            }
            return QStringLiteral("{\"samples\":%1,\"ms_mean\":%2,\"ms_max\":%3}")
                .arg(v.size())
                .arg(num(v.empty() ? 0 : sum / double(v.size())), num(worst));
        };
        out += QStringLiteral(",\"live_line_in_view_while_filtering\":%1,"
                              "\"live_line_in_view_after\":%2")
                   .arg(stats(during), stats(after));
        logger.Close();
    }
    out += QStringLiteral(",\"peak_rss_mb\":%1}").arg(double(peakKb()) / 1024.0, 0, 'f', 1);
    std::printf("%s\n", qPrintable(out));
    if (generated && !keep)
        QFile::remove(file);
    return 0;
}
