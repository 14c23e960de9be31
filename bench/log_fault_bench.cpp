// Log faults: how many received lines a running log loses, how many it says it
// lost, and how many torn or misfiled records it leaves, while its file is
// deleted, its folder removed, the disk fills up and is freed again, or
// midnight passes. Lines come as the serial port hands them over: a chunk of
// 1 to 127 bytes every millisecond, cut anywhere, split at CR into whole lines
// (AddLine: a piece and the line's end) and a rest (AddText: a piece that the
// next chunk continues), as the main window passes them to the terminal.
//
// Usage: log_fault_bench [--seconds S] [--dir PATH] [--case NAME]...
// Cases: deleted (the day's file is deleted after 1 s), folder (logs/ is
// removed after 1 s), full (logs/ is a 2 MB tmpfs, filled after 1 s and freed
// after 2 s; needs root), midnight50 and midnight70 (the clock starts at
// 23:59:59 with lines of 50 or 70 bytes). Default: all of them.
//
// A line counts as lost when no file under logs/ holds it whole; a line
// completed before the file or folder was deleted also counts as kept when the
// deleted file holds it (a hard link keeps that file readable). Every line of
// the files must be a whole record, a "not logged" record or empty.
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unistd.h>
#include <vector>

#include "terminal/VOxaLogger.h"

namespace {

struct Case {
    const char* name;
    int lineBytes; // with its CR
    QTime start;   // clock at the start
    bool deleteFile = false;
    bool deleteFolder = false;
    bool fillDisk = false;
};

struct Result {
    int lines = 0;
    int lost = 0;
    long long claimed = 0; // by the "not logged" records
    int torn = 0;
    int misfiled = 0; // in the file of another day than its stamp
    int twice = 0;    // lines written again after the file lost its name
    QByteArray firstTorn;
};

QByteArray lineText(int seq, int lineBytes) {
    QByteArray text = "seq=" + QByteArray::number(seq).rightJustified(6, '0') + ' ';
    return text.leftJustified(lineBytes - 1, 'x');
}

void fillDisk(const QString& path) {
    QFile filler(path);
    if (!filler.open(QIODevice::WriteOnly))
        return;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
}

Result run(const Case& c, const QString& base, int seconds) {
    QTemporaryDir dir(base + "/log_fault_bench-XXXXXX");
    const QString logs = dir.path() + "/logs";
    QDir().mkpath(logs);
    QDir().mkpath(dir.path() + "/held");
    if (c.fillDisk) {
        const QByteArray command = "mount -t tmpfs -o size=2m tmpfs '" + logs.toLocal8Bit() + "'";
        if (std::system(command.constData()) != 0) {
            std::fprintf(stderr, "%s: cannot mount a tmpfs (root needed)\n", c.name);
            return {};
        }
    }

    QElapsedTimer elapsed;
    const QDateTime start(QDate(2026, 12, 7), c.start);
    VOxaLogger logger;
    logger.SetLogPath(logs + "/Dralvo_*.log");
    logger.SetNewFileStyle(volnfDaily);
    logger.SetClock([&] { return start.addMSecs(elapsed.elapsed()); });

    QByteArray stream; // bytes generated, not yet handed over
    int generated = 0; // lines generated
    int completed = 0; // lines whose end has been handed over
    int keptBefore = -1;
    QString held;
    uint32_t random = 12345;
    const auto chunk = [&](bool last) {
        while (stream.size() < 256 && !last)
            stream += lineText(generated++, c.lineBytes) + '\r';
        random = random * 1103515245u + 12345u;
        const int size = last ? int(stream.size()) : int(1 + (random >> 16) % 127);
        const QByteArray piece = stream.left(size);
        stream.remove(0, size);
        int from = 0;
        for (int cr; (cr = int(piece.indexOf('\r', from))) >= 0; from = cr + 1) {
            logger.logData(VOxaTerminal_ltInText, piece.mid(from, cr - from), false);
            logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
            ++completed;
        }
        if (from < piece.size())
            logger.logData(VOxaTerminal_ltInText, piece.mid(from), false);
    };
    const auto dayFile = [&] {
        const QString name = logger.FileName();
        return name.isEmpty() ? logs + "/Dralvo_" + start.date().toString(Qt::ISODate) + ".log"
                              : name;
    };
    const auto holdAndDelete = [&](bool folder) {
        keptBefore = completed - 1;
        held = dir.path() + "/held/deleted.log";
        ::link(QFile::encodeName(dayFile()).constData(), QFile::encodeName(held).constData());
        if (folder)
            QDir(logs).removeRecursively();
        else
            QFile::remove(dayFile());
    };

    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        chunk(false);
        if (elapsed.elapsed() >= seconds * 1000) {
            // Up to the end of the last line, then let the log settle.
            while (!stream.isEmpty())
                chunk(true);
            tick.stop();
            QTimer::singleShot(1500, qApp, &QCoreApplication::quit);
        }
    });
    if (c.deleteFile || c.deleteFolder)
        QTimer::singleShot(1000, qApp, [&] { holdAndDelete(c.deleteFolder); });
    if (c.fillDisk) {
        QTimer::singleShot(1000, qApp, [&] { fillDisk(logs + "/filler"); });
        QTimer::singleShot(2000, qApp, [&] { QFile::remove(logs + "/filler"); });
    }
    elapsed.start();
    tick.start(1);
    QCoreApplication::exec();
    // One more line after the settling: a fault still pending is told now.
    logger.logData(VOxaTerminal_ltInText, lineText(generated, c.lineBytes), false);
    logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
    ++generated;
    ++completed;
    logger.Close();

    Result r;
    r.lines = completed;
    std::vector<int> seen(size_t(completed), 0);
    const QRegularExpression record(
        "^(\\d{4}-\\d\\d-\\d\\d) \\d\\d.\\d\\d.\\d\\d\\.\\d{3}: \\+ seq=(\\d{6}) x*$");
    const QRegularExpression notice("^\\d{4}-\\d\\d-\\d\\d \\d\\d.\\d\\d.\\d\\d\\.\\d{3}: A -- "
                                    "WARNING: (?:(\\d+) record\\(s\\) not logged since |.*log "
                                    "file)");
    const auto read = [&](const QString& path, bool countAll, std::vector<int>& into) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return;
        const QString fileDay =
            QRegularExpression("(\\d{4}-\\d\\d-\\d\\d)").match(path).captured(1);
        for (QByteArray line : f.readAll().split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.isEmpty())
                continue;
            const QString text = QString::fromLatin1(line);
            const QRegularExpressionMatch m = record.match(text);
            if (m.hasMatch()) {
                const int seq = m.captured(2).toInt();
                if (seq < completed && line.size() == 23 + 4 + c.lineBytes - 1 &&
                    (countAll || seq <= keptBefore)) {
                    ++into[size_t(seq)];
                    if (countAll && m.captured(1) != fileDay)
                        ++r.misfiled;
                    continue;
                }
                if (!countAll)
                    continue;
            }
            if (!countAll)
                continue; // the deleted file is not looked at for its form
            const QRegularExpressionMatch n = notice.match(text);
            if (n.hasMatch()) {
                r.claimed += n.captured(1).toLongLong();
                continue;
            }
            if (r.torn++ == 0)
                r.firstTorn = line;
        }
    };
    for (const QString& name : QDir(logs).entryList({"*.log"}, QDir::Files))
        read(logs + "/" + name, true, seen);
    std::vector<int> inHeld(size_t(completed), 0);
    if (!held.isEmpty())
        read(held, false, inHeld);
    for (int i = 0; i < completed; ++i) {
        if (seen[size_t(i)] == 0 && inHeld[size_t(i)] == 0)
            ++r.lost;
        if (seen[size_t(i)] > 1)
            r.twice += seen[size_t(i)] - 1;
    }
    if (c.fillDisk) {
        const QByteArray command = "umount '" + logs.toLocal8Bit() + "'";
        if (std::system(command.constData()) != 0)
            std::fprintf(stderr, "%s: cannot unmount %s\n", c.name, qPrintable(logs));
    }
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int seconds = 3;
    QString base = QDir::currentPath();
    std::vector<QByteArray> chosen;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(2, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--dir") == 0)
            base = QString::fromLocal8Bit(argv[i + 1]);
        else if (std::strcmp(argv[i], "--case") == 0)
            chosen.push_back(argv[i + 1]);
    }
    const Case cases[] = {
        {"deleted", 60, QTime(12, 0), true, false, false},
        {"folder", 60, QTime(12, 0), false, true, false},
        {"full", 50, QTime(12, 0), false, false, true},
        {"midnight50", 50, QTime(23, 59, 59), false, false, false},
        {"midnight70", 70, QTime(23, 59, 59), false, false, false},
    };
    for (const Case& c : cases) {
        if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), c.name) == chosen.end())
            continue;
        const Result r = run(c, base, seconds);
        std::printf("%-10s %6d lines: lost %d (the log says %lld), torn %d, misfiled %d, written "
                    "twice %d\n",
                    c.name, r.lines, r.lost, r.claimed, r.torn, r.misfiled, r.twice);
        if (r.torn)
            std::printf("           first torn record: %s\n", r.firstTorn.constData());
    }
    return 0;
}
