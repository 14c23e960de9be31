// What this machine charges for the things the program cannot leave out, with
// no program around them, so its own figures can be read against them:
//  - a thread that sleeps 2 ms and wakes, over and over (the read spacing);
//  - a write-through append of one read chunk every 20 ms (the log at a
//    dense line, one hand-over every 20 ms);
//  - a fixed piece of arithmetic, 400 times with 30 ms pauses: the worst
//    wall time against the mean shows how long the processor can be taken
//    away in the middle of a short job (a virtual machine's host does that).
// One JSON line. host_floor [--dir DIR] (where the append file goes; default
// the current folder).
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

double clockMs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double processCpuMs() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e3 +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e3;
}

void sleepMs(double ms) {
    timespec s{0, long(ms * 1e6)};
    while (nanosleep(&s, &s) != 0) {
    }
}

// CPU share of one core spent by `step` repeated for `seconds`, `gapMs` apart.
template <typename Step> double cpuPercent(double seconds, double gapMs, Step step) {
    const double cpu0 = processCpuMs();
    const double wall0 = clockMs(CLOCK_MONOTONIC);
    while (clockMs(CLOCK_MONOTONIC) - wall0 < seconds * 1e3) {
        step();
        sleepMs(gapMs);
    }
    return 100.0 * (processCpuMs() - cpu0) / (clockMs(CLOCK_MONOTONIC) - wall0);
}

} // namespace

int main(int argc, char** argv) {
    std::string dir = ".";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            dir = argv[++i];
        } else {
            std::fprintf(stderr, "usage: host_floor [--dir DIR]\n");
            return 2;
        }
    }

    const double sleepPct = cpuPercent(10, 2, [] {});

    const std::string path = dir + "/host_floor.tmp";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_DSYNC, 0600);
    if (fd < 0) {
        std::perror(path.c_str());
        return 1;
    }
    // A hand-over at 1,000,000 baud: 20 ms of 64-byte lines with their stamps.
    const std::vector<char> chunk(2912, 'x');
    bool writeFailed = false;
    const double appendPct = cpuPercent(10, 20, [&] {
        writeFailed |= ::write(fd, chunk.data(), chunk.size()) != ssize_t(chunk.size());
    });
    ::close(fd);
    ::unlink(path.c_str());
    if (writeFailed) {
        std::fprintf(stderr, "host_floor: a write to %s failed\n", path.c_str());
        return 1;
    }

    volatile uint64_t x = 1;
    double sum = 0, worst = 0, cpuOfWorst = 0;
    const int jobs = 400;
    for (int i = 0; i < jobs; ++i) {
        sleepMs(30);
        const double w0 = clockMs(CLOCK_MONOTONIC);
        const double c0 = clockMs(CLOCK_THREAD_CPUTIME_ID);
        for (int k = 0; k < 3000000; ++k)
            x = x * 6364136223846793005ULL + 1442695040888963407ULL;
        const double w = clockMs(CLOCK_MONOTONIC) - w0;
        sum += w;
        if (w > worst) {
            worst = w;
            cpuOfWorst = clockMs(CLOCK_THREAD_CPUTIME_ID) - c0;
        }
    }

    std::printf("{\"sleep_2ms_cpu_pct\":%.2f,\"write_through_every_20ms_cpu_pct\":%.2f,"
                "\"fixed_job_ms_mean\":%.2f,\"fixed_job_ms_max\":%.2f,"
                "\"thread_cpu_ms_of_max\":%.2f}\n",
                sleepPct, appendPct, sum / jobs, worst, cpuOfWorst);
    return 0;
}
