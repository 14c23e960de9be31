// Log writer throughput: records per second into a daily log file, with the
// file opened write-through (every write waits for the disk) and without.
//
// Records are produced as the running program produces them: each event of
// the event loop (one received chunk) adds a number of complete lines, and the
// next chunk is posted as a new event. Usage:
//   logger_bench [--records N] [--lines-per-event N] [--dir PATH]
// The log files go to a temporary directory under PATH (default: the current
// directory, so the disk that would hold the real logs is measured).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMetaObject>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "terminal/VOxaLogger.h"

namespace {

struct Result {
    double recordsPerSecond = 0;
    qint64 fileBytes = 0;
};

Result run(const QString& dir, uint32_t openFlags, int records, int linesPerEvent) {
    VOxaLogger logger;
    logger.SetLogPath(dir + "/logs/bench_*.log");
    logger.SetNewFileStyle(volnfDaily);
    logger.SetNewFileOpenFlags(openFlags);

    // A typical received line: a time, a status word and a few values.
    char line[96];
    int produced = 0;
    QElapsedTimer timer;
    std::function<void()> chunk = [&] {
        for (int i = 0; i < linesPerEvent && produced < records; ++i, ++produced) {
            const int n = std::snprintf(line, sizeof line,
                                        "+CSQ: %d,99 heap=%07d thread=worker-%d state=RUNNING\r",
                                        produced % 32, 1000000 - produced, produced % 7);
            logger.logData(VOxaTerminal_ltInText, line, n, false);
            logger.logData(VOxaTerminal_lt_NoType, nullptr, 0, false);
        }
        if (produced < records)
            QMetaObject::invokeMethod(qApp, chunk, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    };
    timer.start();
    QMetaObject::invokeMethod(qApp, chunk, Qt::QueuedConnection);
    QCoreApplication::exec();
    const QString fileName = logger.FileName();
    logger.Close();
    const qint64 ns = timer.nsecsElapsed();

    Result result;
    result.recordsPerSecond = double(records) * 1e9 / double(ns > 0 ? ns : 1);
    result.fileBytes = QFileInfo(fileName).size();
    QFile::remove(fileName);
    return result;
}

int intArg(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int records = intArg(argc, argv, "--records", 200000);
    const int linesPerEvent = intArg(argc, argv, "--lines-per-event", 20);
    QString base = QDir::currentPath();
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--dir") == 0)
            base = QString::fromLocal8Bit(argv[i + 1]);

    QTemporaryDir dir(base + "/logger_bench-XXXXXX");
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a directory under %s\n", qPrintable(base));
        return 1;
    }
    std::printf("log writer: %d records, %d lines per event, in %s\n", records, linesPerEvent,
                qPrintable(dir.path()));
    struct Case {
        const char* name;
        uint32_t flags;
        int linesPerEvent;
    };
    const Case cases[] = {
        {"write-through on ", 0x80000000u, linesPerEvent},
        {"write-through off", 0, linesPerEvent},
        {"write-through on,  1 line per event", 0x80000000u, 1},
        {"write-through off, 1 line per event", 0, 1},
    };
    for (const Case& c : cases) {
        // One line per event costs one synchronous write per record: keep it short.
        const int n = c.linesPerEvent == 1 && c.flags ? std::min(records, 20000) : records;
        const Result r = run(dir.path(), c.flags, n, c.linesPerEvent);
        // One write per event: the disk's synchronous write rate bounds the
        // write-through case at that rate times the lines per event.
        std::printf("  %-36s %10.0f records/s %9.0f writes/s  (%d records, %lld bytes)\n", c.name,
                    r.recordsPerSecond, r.recordsPerSecond / c.linesPerEvent, n,
                    static_cast<long long>(r.fileBytes));
    }
    return 0;
}
