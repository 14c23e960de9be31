// Terminal display throughput: lines of 60 bytes, type "+" text with time
// stamps, through AddLine into the real (offscreen) window, MaxLines 500000 as
// in the main window. The adds are fed in events of about one serial chunk
// (2048 bytes, 33 lines), so the display applies them once per event as it
// does in the program; a second run applies every line on its own.
//
// Usage: terminal_bench [lines] [lines per event]
// Environment: BENCH_HIDDEN (window not shown), BENCH_NO_SINGLE (skip the
// line-by-line pass), BENCH_DETAIL (CPU split and paint counts).
// "per CPU second" divides by the process's CPU time, which stays meaningful
// on a busy machine.
#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QPlainTextEdit>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "terminal/TerminalWindow.h"
#include "terminal/VOxaTerminal.h"

namespace {

struct PaintCounter : QObject {
    QHash<QString, int> counts;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint || e->type() == QEvent::UpdateRequest)
            counts[QString::fromLatin1(o->metaObject()->className()) + QLatin1Char('/') +
                   QString::number(int(e->type()))]++;
        return false;
    }
};

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct Result {
    double linesPerSecond;
    double linesPerCpuSecond;
    double firstTenthMs;
    double lastTenthMs;
};

PaintCounter gPaints;

Result run(int lines, int perEvent) {
    if (qEnvironmentVariableIsSet("BENCH_DETAIL"))
        qApp->installEventFilter(&gPaints);
    QWidget owner;
    auto* term = new VOxaTerminal(&owner);
    term->SetName(QStringLiteral("termData"));
    term->SetMaxLines(500000);
    term->SetShowOptions({votsoShowTimes});
    term->SetVisible(!qEnvironmentVariableIsSet("BENCH_HIDDEN"));
    term->Loaded();
    owner.show();
    QApplication::processEvents();

    QByteArray line(60, 'x');
    for (int i = 0; i < 60; ++i)
        line[i] = char('A' + i % 26);
    const int tenth = lines / 10;
    QElapsedTimer all, part;
    double first = 0, last = 0;
    const double cpuStart = cpuSeconds();
    double flushCpu = 0, eventsCpu = 0;
    all.start();
    part.start();
    for (int i = 0; i < lines; ++i) {
        term->AddLine(line, VOxaTerminal_ltInText);
        if ((i + 1) % perEvent == 0) {
            const double c0 = cpuSeconds();
            term->FlushDisplay();
            const double c1 = cpuSeconds();
            QApplication::processEvents(); // the event ends: the display is updated
            flushCpu += c1 - c0;
            eventsCpu += cpuSeconds() - c1;
        }
        if (i + 1 == tenth)
            first = double(part.nsecsElapsed()) / 1e6;
        if (i + 1 == lines - tenth)
            part.restart();
    }
    QApplication::processEvents();
    last = double(part.nsecsElapsed()) / 1e6;
    const double seconds = double(all.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    if (qEnvironmentVariableIsSet("BENCH_DETAIL"))
        std::printf("  cpu %.3f s: flush %.3f s, other events %.3f s\n", cpu, flushCpu, eventsCpu);
    for (auto it = gPaints.counts.begin(); it != gPaints.counts.end(); ++it)
        if (qEnvironmentVariableIsSet("BENCH_DETAIL"))
            std::printf("  %s: %d\n", qPrintable(it.key()), it.value());
    const int shown = term->RichEdit()->document()->blockCount();
    std::printf("  display holds %d lines, %lld characters\n", shown,
                static_cast<long long>(term->RichEdit()->document()->characterCount() - 1));
    return {lines / seconds, lines / cpu, first, last};
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int perEvent = argc > 2 ? std::atoi(argv[2]) : 33;

    const bool alsoSingle = !qEnvironmentVariableIsSet("BENCH_NO_SINGLE");
    for (int pass = 0; pass < 2; ++pass) {
        // The second pass applies every line on its own.
        const int events = pass == 0 ? perEvent : 1;
        if (pass == 1 && (!alsoSingle || perEvent == 1))
            break;
        std::printf("%d lines of 60 bytes, %d line(s) per event:\n", lines, events);
        const Result r = run(lines, events);
        std::printf("  %.0f lines/s (%.0f per CPU second); first tenth %.1f ms, last tenth "
                    "%.1f ms\n",
                    r.linesPerSecond, r.linesPerCpuSecond, r.firstTenthMs, r.lastTenthMs);
    }
    return 0;
}
