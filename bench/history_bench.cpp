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
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
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

// Runs the event loop until done() holds; the seconds it took.
double until(const std::function<bool()>& done, double limit = 600) {
    QElapsedTimer t;
    t.start();
    while (!done() && seconds(t) < limit)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
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
    bool keep = false;
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
        else {
            std::fprintf(
                stderr,
                "usage: history_bench --lines N | --bytes N | --file F [--dir D] [--keep]\n");
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
        FilterSpec spec;
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
    view.show(); // laid out: a screen is as many rows as 800 pixels hold
    QCoreApplication::processEvents();
    view.viewport()->grab(); // fonts and glyphs loaded before anything is timed
    const int screen = view.visibleRows();
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
        model.setFilter({});
        until([&] { return !model.filterRunning(); });
        t.restart();
        model.setFilter(c.spec);
        beat.invalidate();
        ticker.start();
        const double first =
            until([&] { return model.matchCount() >= screen || !model.filterRunning(); });
        until([&] { return !model.filterRunning(); });
        ticker.stop();
        const double filterSeconds = seconds(t);
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
        out += QStringLiteral(",\"%1\":{\"matches\":%2,\"s\":%3,\"mb_s\":%4,\"first_screen_ms\":%5,"
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
                   .arg(num(wc.seconds > 0 ? filterSeconds / wc.seconds : -1));
    }

    // Jumps anywhere: the cursor to a random row, one screen painted.
    model.setFilter({});
    until([&] { return !model.filterRunning(); }, 10);
    uint32_t x = 12345;
    double worst = 0, sum = 0;
    const int jumps = 200;
    for (int i = 0; i < jumps; ++i) {
        x = x * 1103515245u + 12345u;
        const int64_t row = int64_t(uint64_t(x) * uint64_t(rows) >> 32);
        QElapsedTimer j;
        j.start();
        view.setCurrentRow(row, true);
        view.viewport()->grab(); // paints the rows now
        const double ms = double(j.nsecsElapsed()) / 1e6;
        worst = std::max(worst, ms);
        sum += ms;
    }
    out += QStringLiteral(",\"jump_ms_mean\":%1,\"jump_ms_max\":%2,\"loop_late_ms_max\":%3,"
                          "\"screen_rows\":%4")
               .arg(num(sum / jumps), num(worst), num(worstLate))
               .arg(screen);

    // A live line: logged by the program's logger, how long until it is the
    // history's last row (the model looks every RefreshMs).
    {
        VOxaLogger logger;
        logger.SetLogPath(dir + QStringLiteral("/history_bench_live_*.log"));
        logger.SetNewFileStyle(volnfDaily);
        HistoryModel live;
        live.setLiveSource([&](int64_t max) { return logger.PendingRecords(max); });
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
    out += QStringLiteral(",\"peak_rss_mb\":%1}").arg(double(peakKb()) / 1024.0, 0, 'f', 1);
    std::printf("%s\n", qPrintable(out));
    if (generated && !keep)
        QFile::remove(file);
    return 0;
}
