#include "tests/vm/StallSampler.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sstream>
#include <time.h>
#include <unistd.h>

#include "tests/vm/Program.h"

namespace vmlab {
namespace {

std::string readText(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, size_t(n));
    ::close(fd);
    return text;
}

// The names of the system calls a window thread may be seen in (x86-64).
std::string syscallName(long nr) {
    switch (nr) {
    case 0:
        return "read";
    case 1:
        return "write";
    case 2:
        return "open";
    case 3:
        return "close";
    case 4:
        return "stat";
    case 5:
        return "fstat";
    case 7:
        return "poll";
    case 16:
        return "ioctl";
    case 72:
        return "fcntl";
    case 73:
        return "flock";
    case 78:
        return "getdents";
    case 89:
        return "readlink";
    case 202:
        return "futex";
    case 217:
        return "getdents64";
    case 230:
        return "clock_nanosleep";
    case 232:
        return "epoll_wait";
    case 257:
        return "openat";
    case 262:
        return "newfstatat";
    case 271:
        return "ppoll";
    case 281:
        return "epoll_pwait";
    case 332:
        return "statx";
    default:
        return "syscall " + std::to_string(nr);
    }
}

// "ioctl 0x5402 | usb_start_wait_urb < usb_control_msg < ..." : the system
// call (with an ioctl's request) and the top of the kernel stack.
std::string whereIs(const std::string& task) {
    std::string where;
    const std::string sys = readText(task + "/syscall");
    if (sys.rfind("running", 0) == 0) {
        where = "on cpu";
    } else {
        std::istringstream in(sys);
        long nr = -2;
        std::string a0, a1;
        in >> nr >> a0 >> a1;
        if (nr < 0)
            where = "not in a system call";
        else
            where = syscallName(nr) + (nr == 16 ? " " + a1 : "");
    }
    const std::string stack = readText(task + "/stack");
    std::istringstream lines(stack);
    std::string line;
    int frames = 0;
    while (frames < 5 && std::getline(lines, line)) {
        const size_t at = line.find("] ");
        if (at == std::string::npos)
            continue;
        std::string frame = line.substr(at + 2);
        frame = frame.substr(0, frame.find('+'));
        if (frame == "entry_SYSCALL_64_after_hwframe" || frame == "do_syscall_64")
            break;
        where += (frames++ == 0 ? " | " : " < ") + frame;
    }
    return where;
}

// Time on a processor and time waiting for one, nanoseconds (schedstat), and
// of the time on a processor the ticks in user space and in the kernel.
void schedTimes(const std::string& task, double& runNs, double& waitNs, long& userTicks,
                long& systemTicks) {
    std::istringstream in(readText(task + "/schedstat"));
    runNs = waitNs = 0;
    in >> runNs >> waitNs;
    const std::string stat = readText(task + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    userTicks = systemTicks = 0;
    // After the name: state (3), ... utime (14), stime (15).
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            userTicks = std::atol(field.c_str());
        if (i == 15)
            systemTicks = std::atol(field.c_str());
    }
}

} // namespace

StallSampler::StallSampler(long long pid, StallProbe& probe, Clock::time_point t0, std::string path,
                           double sampleAfterMs)
    : m_pid(pid), m_probe(probe), m_t0(t0), m_sampleAfterMs(sampleAfterMs) {
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const long cpus = std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
    for (int cpu = 0; cpu < cpus; ++cpu)
        m_threads.emplace_back([this, cpu] { watch(cpu); });
    m_threads.emplace_back([this] { sample(); });
}

StallSampler::~StallSampler() {
    stop();
    if (m_fd >= 0)
        ::close(m_fd);
}

void StallSampler::stop() {
    m_stop = true;
    for (std::thread& t : m_threads)
        if (t.joinable())
            t.join();
}

void StallSampler::write(const std::string& line) {
    char head[32];
    const int n = std::snprintf(head, sizeof head, "%9.3f ", secondsSince(m_t0));
    const std::string text = std::string(head, size_t(n)) + line + "\n";
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_fd >= 0)
        (void)!::write(m_fd, text.data(), text.size());
}

void StallSampler::note(const std::string& text) {
    write(text);
}

double StallSampler::machineLateIn(double from, double to) {
    std::lock_guard<std::mutex> lock(m_mutex);
    double longest = 0;
    for (const Late& l : m_late)
        if (l.at >= from && l.at - l.ms / 1000 <= to)
            longest = std::max(longest, l.ms);
    return longest;
}

double StallSampler::longestAsleepMs() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_asleepMaxMs;
}

// One watcher on one processor, above every ordinary process: a wake-up that
// comes late found that processor not running at all.
void StallSampler::watch(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
    sched_param param{};
    param.sched_priority = 50;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    const timespec period{0, 5'000'000};
    while (!m_stop) {
        const double before = secondsSince(m_t0);
        clock_nanosleep(CLOCK_MONOTONIC, 0, &period, nullptr);
        const double after = secondsSince(m_t0);
        const double lateMs = (after - before) * 1000 - 5;
        if (lateMs > 10) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_late.push_back({after, lateMs});
            }
            char text[96];
            std::snprintf(text, sizeof text, "cpu %d woke %.1f ms late", cpu, lateMs);
            write(text);
        }
    }
}

void StallSampler::sample() {
    const std::string task = "/proc/" + std::to_string(m_pid) + "/task/" + std::to_string(m_pid);
    double runStart = 0, waitStart = 0;
    long userStart = 0, systemStart = 0;
    const timespec period{0, 2'000'000};
    while (!m_stop) {
        clock_nanosleep(CLOCK_MONOTONIC, 0, &period, nullptr);
        const double pending = m_probe.pendingMs();
        if (pending >= m_sampleAfterMs) {
            if (m_episodeAt < 0) {
                m_episodeAt = secondsSince(m_t0) - pending / 1000;
                m_where.clear();
                m_sampledFrom = secondsSince(m_t0);
                schedTimes(task, runStart, waitStart, userStart, systemStart);
            }
            ++m_where[whereIs(task)];
            continue;
        }
        if (m_episodeAt < 0)
            continue;
        // The answer came: what the window thread did meanwhile.
        double run = 0, wait = 0;
        long user = 0, system = 0;
        schedTimes(task, run, wait, user, system);
        const double end = secondsSince(m_t0);
        // From the first look on: neither on a processor nor waiting for one,
        // less the machine's own standing still (then the devices it emulates
        // and the host's files stand still too, and a thread waiting for them
        // sleeps on).
        const double still = machineLateIn(m_sampledFrom, end);
        const double asleepMs =
            std::max(0.0, (end - m_sampledFrom) * 1000 - (run - runStart) / 1e6 -
                              (wait - waitStart) / 1e6 - still);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_asleepMaxMs = std::max(m_asleepMaxMs, asleepMs);
        }
        std::vector<std::pair<int, std::string>> seen;
        for (const auto& [where, count] : m_where)
            seen.push_back({count, where});
        std::sort(seen.rbegin(), seen.rend());
        char head[320];
        std::snprintf(head, sizeof head,
                      "window late from %.3f for %.0f+ ms: on cpu %.0f ms (ticks user %ld, "
                      "kernel %ld), waiting for a cpu %.0f ms, asleep %.0f ms, machine stood "
                      "still up to %.0f ms;",
                      m_episodeAt, (end - m_episodeAt) * 1000, (run - runStart) / 1e6,
                      user - userStart, system - systemStart, (wait - waitStart) / 1e6, asleepMs,
                      std::max(still, machineLateIn(m_episodeAt, end)));
        std::string line = head;
        for (size_t i = 0; i < seen.size() && i < 6; ++i)
            line += " [" + std::to_string(seen[i].first) + "x " + seen[i].second + "]";
        write(line);
        m_episodeAt = -1;
    }
}

} // namespace vmlab
