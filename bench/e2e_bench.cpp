// End-to-end benchmark of the whole program: the driver holds the master side of
// a pseudo-terminal that the program (or, with --peer, another serial terminal)
// uses as its port, writes sequence-numbered lines into it (the same lines as
// gsmsim --flood), and watches the log file grow. One JSON line per run.
//
//   e2e_bench [--mode flood|paced|reconnect|idle|restart] [--lines N] [--line-len L]
//             [--rate BYTES_PER_S] [--seconds S] [--dir LOG_DIR] [--label TEXT]
//             [--cycles N] [--probe 0|1] [--soak CYCLES] [--slow-disk IOPS]
//             [--program PATH] [--peer 'COMMAND with {port} and {log}']
//             [--headless 0|1] [--idle-clients N] [--tail-clients N]
//             [--expect-clients N] [--history-log-bytes N] [--history-filter TEXT]
//             [--history-regex 0|1] [--history-refilter S]
//             [--piece BYTES] [--interval S] [--disconnect 0|1]
//             [--headless 0|1] [--idle-clients N] [--tail-clients N]
//             [--expect-clients N]
//
// flood:     N lines as fast as the reader takes them; first byte written to
//            last line in the log gives lines/s and MB/s.
// paced:     lines at BYTES_PER_S for S seconds (1,000,000 baud = 100000);
//            lag = time a line appears in the log file - time it was written.
// reconnect: the device is pulled and a new one appears behind the same name;
//            time from its appearance until the port is open again and until a
//            line written then is in the log.
// idle:      CPU used by the connected program over S seconds without data.
// restart:   a line every 2 ms (--line-ms); every 0.5 s (--interval) Start is
//            pressed through the control socket (message 1025) while connected,
//            CYCLES times (--cycles); with --disconnect 1 Disconnect (1024) is
//            pressed first and Start 0.2 s later. Lines lost (and of them
//            those written within 2 ms of the line losing its reader),
//            doubled, out of order.
// In paced runs --piece BYTES writes the line stream BYTES at a time on the
// rate's schedule (8 bytes at 960 bytes/s is a 9600-baud line that is never
// quiet for long); each record's time stamp is compared with the writer's
// clock at the line's first byte (stamp lag), and the moment the line is in
// the log with the writer's clock at its last byte (log delay).
// soak:      (--soak CYCLES) a line every 2 ms (--line-ms); the cable is pulled and
//            re-plugged CYCLES times; lines lost, doubled and out of order in
//            the log, and the time from the device's return to the first new
//            line in the log.
// --slow-disk IOPS runs the program in a block-I/O control group that allows
// IOPS writes a second on the log's disk (cgroup v1 blkio or v2 io), after
// checking that write-through writes in that group are really slowed down.
// In flood and paced runs a probe thread asks the control socket for message 0
// (answer 0) every 10 ms: the answer comes from the user-interface thread, so
// the longest round trip bounds the longest stall of that thread.
// --headless 1 runs the program as dralvo --headless PORT (no display).
// Control clients during flood, paced and idle runs: --idle-clients N connect
// and say nothing (each dropped one connects again), --tail-clients N follow
// every line with "tail", --expect-clients N each wait, one after the other,
// for a flood line a little ahead of the writer with "expect"; their delays
// are measured from the moment the line was written into the device.
// History while the module talks (flood and paced runs): --history-log-bytes N
// fills the day's log with N bytes of records in the program's format (a
// heartbeat every second record, an exception every 1000th) before the
// program starts, so that its history holds them; --history-filter TEXT runs
// the program on a virtual display of its own (Xvfb and openbox, driven with
// xdotool), opens the history with Ctrl+H in the terminal window once the
// lines flow, types TEXT into its filter (with --history-regex 1 as a regular
// expression), ticks "Only matching lines", and then every --history-refilter
// S seconds (default 2) toggles "Match case", which filters the whole log anew.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/Pty.h"
#include "tests/support/WaitUntil.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    std::string mode = "flood";
    long long lines = 200000;
    int lineLen = 64;
    double rate = 100000;
    double seconds = 60;
    std::string dir; // log folder (the program's current directory)
    std::string label;
    int cycles = 5;
    int soak = 0;                  // cycles of the soak run
    double lineMs = 2;             // soak: a line every lineMs milliseconds
    std::string peer;              // another program instead of dralvo
    bool probe = true;             // the stall probe (its own requests cost the program some CPU)
    int slowDisk = 0;              // writes a second allowed on the log's disk; 0 = no limit
    std::string program;           // the program to run; default: dralvo next to bench/
    int piece = 0;                 // paced: bytes a write (0: whole lines)
    double interval = 0.5;         // restart: seconds between presses
    bool disconnect = false;       // restart: Disconnect, then Start
    bool headless = false;         // dralvo --headless PORT instead of the window
    int idleClients = 0;           // control clients that say nothing
    int tailClients = 0;           // control clients following with "tail"
    int expectClients = 0;         // control clients waiting with "expect"
    long long historyLogBytes = 0; // records in the day's log before the run
    std::string historyFilter;     // typed into the history view during the run
    bool historyRegex = false;
    double historyRefilter = 2; // seconds between filters anew ("Match case" toggled)
};

// Milliseconds since the epoch on the system's real-time clock.
int64_t wallMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The time stamp that starts a log record ("yyyy-mm-dd hh:mm:ss.zzz", any
// time separator), as milliseconds since the epoch; -1 when there is none.
int64_t recordStamp(std::string_view text) {
    if (text.size() < 23)
        return -1;
    auto num = [&](size_t at, size_t n) {
        int v = 0;
        for (size_t i = at; i < at + n; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            v = v * 10 + (text[i] - '0');
        }
        return v;
    };
    const int y = num(0, 4), mo = num(5, 2), d = num(8, 2), h = num(11, 2), mi = num(14, 2),
              sec = num(17, 2), ms = num(20, 3);
    if (y < 0 || mo < 0 || d < 0 || h < 0 || mi < 0 || sec < 0 || ms < 0)
        return -1;
    // The seconds of a local time, one mktime a second of records.
    static std::string lastKey;
    static int64_t lastSeconds = 0;
    const std::string key(text.substr(0, 19));
    if (key != lastKey) {
        std::tm tm{};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = sec;
        tm.tm_isdst = -1;
        lastSeconds = int64_t(std::mktime(&tm));
        lastKey = key;
    }
    return lastSeconds * 1000 + ms;
}

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

std::string floodLine(long long seq, int length) {
    char head[32];
    const int n = std::snprintf(head, sizeof head, "SEQ %07lld ", seq);
    std::string line(head, size_t(n));
    if (int(line.size()) + 2 <= length)
        line.append(size_t(length - 2 - int(line.size())), 'x');
    line += "\r\n";
    return line;
}

std::string today() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    return buf;
}

// ---- the device ------------------------------------------------------------------------------

// The pseudo-terminal behind a link, as a USB adapter: the line raw, and the
// master not inherited by the reader, or closing it here pulls no cable.
constexpr testsupport::PtyOptions DeviceOptions{.raw = true, .closeOnExec = true};

// Writes all bytes, waiting while the line is full. False when the reader went away.
bool writeAll(testsupport::Pty& device, const char* data, size_t size) {
    return device.writeAll(QByteArrayView(data, qsizetype(size)), std::numeric_limits<int>::max(),
                           true);
}

// ---- the log file ----------------------------------------------------------------------------

// Follows a growing file and the flood lines in it, in whatever line format the
// reader writes them (only "SEQ nnnnnnn" counts).
class LogTail {
public:
    explicit LogTail(std::string path, long long from = 0)
        : m_path(std::move(path)), m_from(from) {}

    // Reads what is new; returns the number of new complete lines.
    long long poll(Clock::time_point now, std::vector<double>* appearedAt, Clock::time_point t0) {
        if (m_fd < 0) {
            m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
            if (m_fd < 0)
                return 0;
            if (m_from > 0)
                ::lseek(m_fd, off_t(m_from), SEEK_SET);
        }
        long long complete = 0;
        char buffer[1 << 16];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            m_bytes += n;
            m_pending.append(buffer, size_t(n));
        }
        size_t start = 0;
        for (;;) {
            const size_t end = m_pending.find('\n', start);
            if (end == std::string::npos)
                break;
            line(std::string_view(m_pending).substr(start, end - start), now, appearedAt, t0);
            start = end + 1;
            ++complete;
        }
        m_pending.erase(0, start);
        return complete;
    }
    bool contains(const std::string& text) {
        std::ifstream in(m_path, std::ios::binary);
        in.seekg(std::streamoff(m_from));
        std::stringstream s;
        s << in.rdbuf();
        return s.str().find(text) != std::string::npos;
    }

    long long lastSeq = 0;                // highest sequence number seen
    long long seen = 0;                   // flood lines seen
    long long lost = 0;                   // numbers skipped
    long long doubled = 0;                // numbers seen again or out of order
    long long cut = 0;                    // lines of wrong length
    std::function<void(long long)> onSeq; // each flood line's number, in the file's order
    // Each flood line's number and its record's time stamp (-1 when none).
    std::function<void(long long, int64_t)> onStamp;
    long long bytes() const { return m_bytes; }
    int expectedLength = 0;

private:
    void line(std::string_view text, Clock::time_point now, std::vector<double>* appearedAt,
              Clock::time_point t0) {
        const size_t at = text.find("SEQ ");
        if (at == std::string_view::npos || text.size() < at + 11)
            return;
        long long seq = 0;
        for (size_t i = at + 4; i < at + 11; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return;
            seq = seq * 10 + (text[i] - '0');
        }
        std::string_view body = text.substr(at);
        if (!body.empty() && body.back() == '\r')
            body.remove_suffix(1);
        if (expectedLength > 0 && int(body.size()) + 2 != expectedLength)
            ++cut;
        ++seen;
        if (onSeq)
            onSeq(seq);
        if (onStamp)
            onStamp(seq, recordStamp(text));
        if (seq == lastSeq + 1) {
            lastSeq = seq;
        } else if (seq > lastSeq + 1) {
            lost += seq - lastSeq - 1;
            lastSeq = seq;
        } else {
            ++doubled;
        }
        if (appearedAt && seq >= 1 && size_t(seq) <= appearedAt->size())
            (*appearedAt)[size_t(seq - 1)] = std::chrono::duration<double>(now - t0).count();
    }

    std::string m_path;
    long long m_from = 0; // bytes at the start that are not looked at
    int m_fd = -1;
    long long m_bytes = 0;
    std::string m_pending;
};

// ---- the slow disk ---------------------------------------------------------------------------

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

bool writeText(const fs::path& path, const std::string& text, std::string* why) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || ::write(fd, text.data(), text.size()) != ssize_t(text.size())) {
        if (why)
            *why = "writing \"" + text + "\" to " + path.string() + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

// Moves the calling process into a control group (between fork and exec, so
// everything the program writes is counted): only async-signal-safe calls.
bool joinCgroup(const char* procs) {
    char text[24];
    int n = 0;
    char digits[24];
    for (long pid = long(::getpid()); pid > 0; pid /= 10)
        digits[n++] = char('0' + pid % 10);
    for (int i = 0; i < n; ++i)
        text[i] = digits[n - 1 - i];
    const int fd = ::open(procs, O_WRONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::write(fd, text, size_t(n)) == n;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// A control group that allows a number of writes a second on the disk of a folder.
// Only writes the process waits for are held back by the block layer's throttle
// (write-through and direct writes; buffered writes are flushed later by the
// kernel's own threads, outside the group), which is how the program writes its log.
class SlowDisk {
public:
    ~SlowDisk() { remove(); }

    bool setUp(const fs::path& folder, int iops, std::string* why) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0) {
            *why = folder.string() + ": " + std::strerror(errno);
            return false;
        }
        // The throttle takes a whole disk: a partition is limited through its disk.
        std::string dev = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
        const fs::path sys = "/sys/dev/block/" + dev;
        std::error_code ec;
        if (!fs::exists(sys, ec)) {
            *why = folder.string() + " is not on a block device (device " + dev + ")";
            return false;
        }
        if (fs::exists(sys / "partition", ec))
            dev = readText(fs::canonical(sys, ec).parent_path() / "dev");
        m_device = dev;

        std::string v1, v2;
        std::ifstream mounts("/proc/mounts");
        std::string source, target, type, options;
        std::string rest;
        while (mounts >> source >> target >> type >> options && std::getline(mounts, rest)) {
            if (type == "cgroup" && ("," + options + ",").find(",blkio,") != std::string::npos)
                v1 = target;
            if (type == "cgroup2" && v2.empty())
                v2 = target;
        }
        const std::string name = "dralvo-e2e-bench-" + std::to_string(::getpid());
        if (!v1.empty() && fs::exists(fs::path(v1) / "blkio.throttle.write_iops_device", ec)) {
            m_kind = "blkio";
            m_group = fs::path(v1) / name;
            if (!makeGroup(why))
                return false;
            if (!writeText(m_group / "blkio.throttle.write_iops_device",
                           dev + " " + std::to_string(iops), why))
                return false;
        } else if (!v2.empty() &&
                   (" " + readText(fs::path(v2) / "cgroup.controllers") + " ").find(" io ") !=
                       std::string::npos) {
            m_kind = "io";
            // The controller must be handed down from the root to the new group.
            if ((" " + readText(fs::path(v2) / "cgroup.subtree_control") + " ").find(" io ") ==
                    std::string::npos &&
                !writeText(fs::path(v2) / "cgroup.subtree_control", "+io", why))
                return false;
            m_group = fs::path(v2) / name;
            if (!makeGroup(why))
                return false;
            if (!writeText(m_group / "io.max", dev + " wiops=" + std::to_string(iops), why))
                return false;
        } else {
            *why = "no cgroup v1 blkio hierarchy with a write throttle and no cgroup v2 io "
                   "controller";
            return false;
        }
        m_procs = (m_group / "cgroup.procs").string();
        return check(folder, iops, why);
    }

    // Write-through writes a second measured in the group (the throttle is only trusted
    // when it holds them near the limit).
    double checkRate() const { return m_checkRate; }
    const std::string& procs() const { return m_procs; }
    std::string describe() const { return m_kind + " " + m_device; }

    void remove() {
        if (m_group.empty())
            return;
        // The group goes once its last process has been reaped.
        for (int i = 0; i < 100 && ::rmdir(m_group.c_str()) != 0 && errno == EBUSY; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_group.clear();
    }

private:
    bool makeGroup(std::string* why) {
        if (::mkdir(m_group.c_str(), 0755) != 0) {
            *why = m_group.string() + ": " + std::strerror(errno);
            m_group.clear();
            return false;
        }
        return true;
    }

    // A child in the group appends 64-byte records with O_DSYNC for up to 2 s, as the
    // program's log does.
    bool check(const fs::path& folder, int iops, std::string* why) {
        const std::string file = (folder / ".slow-disk-check").string();
        int pipeFd[2];
        if (::pipe(pipeFd) != 0)
            return false;
        const auto t = Clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(pipeFd[0]);
            long done = -1;
            if (joinCgroup(m_procs.c_str())) {
                const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_DSYNC, 0600);
                char record[64];
                std::memset(record, 'x', sizeof record);
                done = 0;
                while (fd >= 0 && done < 2L * iops && secondsSince(t) < 2.0 &&
                       ::write(fd, record, sizeof record) == ssize_t(sizeof record))
                    ++done;
                if (fd >= 0)
                    ::close(fd);
            }
            (void)!::write(pipeFd[1], &done, sizeof done);
            ::_exit(0);
        }
        ::close(pipeFd[1]);
        long done = -1;
        if (pid < 0 || ::read(pipeFd[0], &done, sizeof done) != ssize_t(sizeof done))
            done = -1;
        ::close(pipeFd[0]);
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
        const double elapsed = secondsSince(t);
        ::unlink(file.c_str());
        if (done < 0) {
            *why = "a process could not be put into " + m_procs;
            return false;
        }
        m_checkRate = double(done) / elapsed;
        if (m_checkRate > 1.5 * iops) {
            *why = "the throttle does not slow write-through writes down (" +
                   std::to_string(int(m_checkRate)) + " a second in the group)";
            return false;
        }
        return true;
    }

    std::string m_kind, m_device, m_procs;
    fs::path m_group;
    double m_checkRate = 0;
};

// ---- the program -----------------------------------------------------------------------------

struct ProcStats {
    double cpuSeconds = 0;
    long long vmHwmKb = 0;
    long long vmRssKb = 0;
};

ProcStats oneProcess(pid_t pid, pid_t* parent) {
    ProcStats s;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = all.rfind(')');
    if (close == std::string::npos)
        return s;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 4 && parent)
            *parent = pid_t(std::stol(field));
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    s.cpuSeconds = double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            s.vmHwmKb = std::atoll(line.c_str() + 6);
        if (line.rfind("VmRSS:", 0) == 0)
            s.vmRssKb = std::atoll(line.c_str() + 6);
    }
    return s;
}

// The process and all its living descendants (a peer runs under a shell and
// script(1)): CPU time summed, memory of the largest one.
ProcStats procStats(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> parents; // pid, parent
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        pid_t parent = 0;
        oneProcess(pid_t(std::stol(name)), &parent);
        parents.emplace_back(pid_t(std::stol(name)), parent);
    }
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); ++i)
        for (const auto& [pid, parent] : parents)
            if (parent == tree[i])
                tree.push_back(pid);
    ProcStats total;
    for (pid_t pid : tree) {
        const ProcStats one = oneProcess(pid, nullptr);
        total.cpuSeconds += one.cpuSeconds;
        total.vmHwmKb = std::max(total.vmHwmKb, one.vmHwmKb);
        total.vmRssKb = std::max(total.vmRssKb, one.vmRssKb);
    }
    return total;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

class Program {
public:
    ~Program() { stop(); }

    // The program with a fresh settings folder that names the device and connects at once.
    bool startDralvo(const std::string& binary, const fs::path& work, const fs::path& cwd,
                     const std::string& port, bool headless) {
        // The program opens its log with write-through (O_DSYNC) itself.
        fs::create_directories(work / "config/Oxatek");
        fs::create_directories(work / "run");
        fs::permissions(work / "run", fs::perms::owner_all, fs::perm_options::replace);
        std::ofstream hive(work / "config/Oxatek/user.reg", std::ios::binary);
        std::string escaped = replaceAll(replaceAll(port, "\\", "\\\\"), "\"", "\\\"");
        hive << "REGEDIT4\r\n\r\n"
             << "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Port]\r\n"
             << "\"ComPort\"=\"" << escaped << "\"\r\n"
             << "\"Baudrate\"=dword:00000013\r\n\r\n"
             << "[HKEY_CURRENT_USER\\Software\\Oxatek\\Dralvo_v1-7\\Advanced]\r\n"
             << "\"AutoStart\"=dword:00000001\r\n"
             << "\"AutoStartDelay\"=dword:00000064\r\n\r\n";
        hive.close();
        m_socket = (work / "run/Dralvo_v1-7.ctl").string();
        std::vector<std::string> env = {"XDG_CONFIG_HOME=" + (work / "config").string(),
                                        "XDG_CONFIG_DIRS=" + (work / "none").string(),
                                        "XDG_RUNTIME_DIR=" + (work / "run").string()};
        if (headless) {
            // As on a machine without a display.
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            ::unsetenv("QT_QPA_PLATFORM");
            return spawn({binary, "--headless", port}, env, cwd);
        }
        if (m_display.empty()) {
            env.push_back("QT_QPA_PLATFORM=offscreen");
        } else {
            env.push_back("DISPLAY=" + m_display);
            env.push_back("QT_QPA_PLATFORM=xcb");
        }
        return spawn({binary}, env, cwd);
    }
    bool startPeer(const std::string& command, const fs::path& cwd) {
        return spawn({"/bin/sh", "-c", command}, {}, cwd);
    }

    // The control group's process list the program starts in (empty: none).
    void setCgroup(std::string procs) { m_cgroupProcs = std::move(procs); }
    // The X display the program shows its windows on (empty: none, offscreen).
    void setDisplay(std::string display) { m_display = std::move(display); }
    pid_t pid() const { return m_pid; }
    const std::string& socket() const { return m_socket; }
    bool running() {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        return true;
    }
    void stop() {
        if (!running())
            return;
        ::kill(-m_pid, SIGTERM); // its own process group: a shell and what it started
        for (int i = 0; i < 100 && running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (running()) {
            ::kill(-m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

private:
    bool spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const fs::path& cwd) {
        m_pid = ::fork();
        if (m_pid < 0)
            return false;
        if (m_pid == 0) {
            ::setpgid(0, 0);
            // E2E_BENCH_NOFILE=SOFT[:HARD] gives the program that descriptor limit.
            if (const char* nofile = std::getenv("E2E_BENCH_NOFILE")) {
                rlimit limit{};
                ::getrlimit(RLIMIT_NOFILE, &limit);
                limit.rlim_cur = rlim_t(std::atoll(nofile));
                if (const char* colon = std::strchr(nofile, ':'))
                    limit.rlim_max = rlim_t(std::atoll(colon + 1));
                ::setrlimit(RLIMIT_NOFILE, &limit);
            }
            if (!m_cgroupProcs.empty() && !joinCgroup(m_cgroupProcs.c_str()))
                ::_exit(125);
            if (::chdir(cwd.c_str()) != 0)
                ::_exit(126);
            for (const std::string& e : env)
                ::putenv(const_cast<char*>(e.c_str()));
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            // E2E_BENCH_STDERR=FILE keeps the program's standard error (its DRALVO_TRACE lines).
            if (const char* errors = std::getenv("E2E_BENCH_STDERR")) {
                const int fd = ::open(errors, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
                if (fd >= 0)
                    ::dup2(fd, 2);
            }
            std::vector<char*> args;
            for (const std::string& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        return true;
    }

    pid_t m_pid = -1;
    std::string m_socket;
    std::string m_display;
    std::string m_cgroupProcs;
};

// ---- the stall probe -------------------------------------------------------------------------

// Round trip of one control message; negative when the socket did not answer.
double controlRoundTrip(const std::string& path) {
    const auto t = Clock::now();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    double result = -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::write(fd, "0\n", 2) == 2) {
        std::string answer;
        char c = 0;
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, 10000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n')
            answer += c;
        if (c == '\n' && answer == "0")
            result = secondsSince(t) * 1000.0;
    }
    ::close(fd);
    return result;
}

// Sends one control message and returns its answer ("" when none came).
std::string controlMessage(const std::string& path, const std::string& number) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    std::string answer;
    const std::string request = number + "\n";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::write(fd, request.data(), request.size()) == ssize_t(request.size())) {
        char c = 0;
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, 10000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n')
            answer += c;
    }
    ::close(fd);
    return answer;
}

class StallProbe {
public:
    explicit StallProbe(std::string socket) : m_socket(std::move(socket)) {}
    ~StallProbe() { stop(); }
    void start() {
        m_thread = std::thread([this] {
            while (!m_stop) {
                const double ms = controlRoundTrip(m_socket);
                if (ms < 0)
                    ++m_failures;
                else
                    m_samples.push_back(ms);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // After stop(): the answer times as JSON fields.
    std::string json() {
        std::sort(m_samples.begin(), m_samples.end());
        auto at = [&](double q) {
            return m_samples.empty() ? 0.0 : m_samples[size_t(double(m_samples.size() - 1) * q)];
        };
        const long long over50 =
            m_samples.end() - std::upper_bound(m_samples.begin(), m_samples.end(), 50.0);
        std::ostringstream o;
        o.setf(std::ios::fixed);
        o.precision(3);
        o << ",\"ui_stall_p50_ms\":" << at(0.5) << ",\"ui_stall_p99_ms\":" << at(0.99)
          << ",\"ui_stall_max_ms\":" << (m_samples.empty() ? 0.0 : m_samples.back())
          << ",\"ui_stalls_over_50ms\":" << over50 << ",\"ui_probes\":" << m_samples.size()
          << ",\"ui_probe_failures\":" << m_failures;
        return o.str();
    }

private:
    std::string m_socket;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::vector<double> m_samples; // written by the probe thread until stop()
    long long m_failures = 0;
};

// ---- control clients -------------------------------------------------------------------------

int connectControl(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 &&
        errno != EINPROGRESS && errno != EAGAIN) {
        ::close(fd);
        return -1;
    }
    return fd;
}

double percentile(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(double(v.size() - 1) * q)];
}

// Idle, tail and expect clients on one thread that polls them all.
class ControlLoad {
public:
    ControlLoad(std::string socket, const Options& opt, const std::vector<double>& writtenAt,
                const std::atomic<long long>& writtenSeq, Clock::time_point t0)
        : m_socket(std::move(socket)), m_opt(opt), m_writtenAt(writtenAt), m_writtenSeq(writtenSeq),
          m_t0(t0) {}
    ~ControlLoad() { stop(); }
    bool any() const { return m_opt.idleClients + m_opt.tailClients + m_opt.expectClients > 0; }
    void start() {
        if (!any())
            return;
        for (int i = 0; i < m_opt.idleClients; ++i)
            add(Kind::Idle);
        for (int i = 0; i < m_opt.tailClients; ++i)
            add(Kind::Tail);
        for (int i = 0; i < m_opt.expectClients; ++i)
            add(Kind::Expect);
        m_thread = std::thread([this] { run(); });
    }
    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (Client& c : m_clients) {
            if (c.kind == Kind::Tail) {
                m_tailFewest = m_tailFewest < 0 ? c.lines : std::min(m_tailFewest, c.lines);
                m_tailMost = std::max(m_tailMost, c.lines);
            }
            if (c.fd >= 0)
                ::close(c.fd);
        }
        m_clients.clear();
    }
    std::string json() const {
        std::ostringstream o;
        o.setf(std::ios::fixed);
        o.precision(3);
        if (m_opt.idleClients > 0)
            o << ",\"idle_clients\":" << m_opt.idleClients
              << ",\"idle_reconnects\":" << m_reconnects;
        if (m_opt.tailClients > 0) {
            o << ",\"tail_clients\":" << m_opt.tailClients << ",\"tail_lines_min\":" << m_tailFewest
              << ",\"tail_lines_max\":" << m_tailMost << ",\"tail_skipped\":" << m_skipped
              << ",\"tail_lag_p50_ms\":" << percentile(m_tailLags, 0.5)
              << ",\"tail_lag_p99_ms\":" << percentile(m_tailLags, 0.99)
              << ",\"tail_lag_max_ms\":" << percentile(m_tailLags, 1.0);
        }
        if (m_opt.expectClients > 0)
            o << ",\"expect_clients\":" << m_opt.expectClients
              << ",\"expect_answers\":" << m_expectLags.size()
              << ",\"expect_timeouts\":" << m_expectTimeouts
              << ",\"expect_lag_p50_ms\":" << percentile(m_expectLags, 0.5)
              << ",\"expect_lag_p99_ms\":" << percentile(m_expectLags, 0.99)
              << ",\"expect_lag_max_ms\":" << percentile(m_expectLags, 1.0);
        return o.str();
    }
    // Each expect answer: the line's number and the real-time clock when it
    // came (milliseconds since the epoch), after stop().
    struct Answer {
        long long seq;
        double wallMs;
    };
    const std::vector<Answer>& expectAnswers() const { return m_expectAnswers; }

private:
    enum class Kind { Idle, Tail, Expect };
    struct Client {
        Kind kind = Kind::Idle;
        int fd = -1;
        std::string in;
        long long lines = 0;      // tail: flood lines received
        long long waitingFor = 0; // expect: the line asked for
    };
    double now() const { return secondsSince(m_t0); }
    void add(Kind kind) {
        Client c;
        c.kind = kind;
        open(c);
        m_clients.push_back(std::move(c));
    }
    void open(Client& c) {
        c.fd = connectControl(m_socket);
        c.in.clear();
        if (c.fd < 0)
            return;
        if (c.kind == Kind::Tail)
            (void)!::send(c.fd, "tail\n", 5, MSG_NOSIGNAL);
        else if (c.kind == Kind::Expect)
            ask(c);
    }
    void ask(Client& c) {
        // A line some 30 ms ahead of the writer (at 1 Mbaud and 64 bytes).
        c.waitingFor = m_writtenSeq.load() + 50;
        char request[64];
        const int n =
            std::snprintf(request, sizeof request, "expect ^SEQ %07lld  30\n", c.waitingFor);
        (void)!::send(c.fd, request, size_t(n), MSG_NOSIGNAL);
    }
    void line(Client& c, const std::string& text) {
        const size_t at = text.find("SEQ ");
        if (text.find("lines skipped") != std::string::npos) {
            m_skipped += std::atoll(text.c_str() + 3);
            return;
        }
        if (at == std::string::npos) {
            if (c.kind == Kind::Expect && text.rfind("timeout", 0) == 0) {
                ++m_expectTimeouts;
                ask(c);
            }
            return;
        }
        const long long seq = std::atoll(text.c_str() + at + 4);
        const double written =
            seq >= 1 && size_t(seq) <= m_writtenAt.size() ? m_writtenAt[size_t(seq - 1)] : -1;
        if (c.kind == Kind::Tail) {
            ++c.lines;
            if (&c == m_firstTail && written >= 0)
                m_tailLags.push_back((now() - written) * 1000);
        } else if (c.kind == Kind::Expect) {
            if (written >= 0)
                m_expectLags.push_back((now() - written) * 1000);
            timespec ts{};
            ::clock_gettime(CLOCK_REALTIME, &ts);
            m_expectAnswers.push_back({seq, double(ts.tv_sec) * 1000 + double(ts.tv_nsec) / 1e6});
        }
    }
    void run() {
        for (Client& c : m_clients)
            if (c.kind == Kind::Tail && !m_firstTail)
                m_firstTail = &c;
        std::vector<pollfd> fds;
        char buffer[65536];
        while (!m_stop) {
            fds.clear();
            for (const Client& c : m_clients)
                fds.push_back({c.fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 20) <= 0)
                continue;
            for (size_t i = 0; i < m_clients.size(); ++i) {
                Client& c = m_clients[i];
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0) {
                    c.in.append(buffer, size_t(n));
                    for (size_t end; (end = c.in.find('\n')) != std::string::npos;) {
                        line(c, c.in.substr(0, end));
                        c.in.erase(0, end + 1);
                    }
                    continue;
                }
                if (n < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                // Closed by the program: an idle one was dropped, an expect answered.
                ::close(c.fd);
                if (c.kind == Kind::Idle)
                    ++m_reconnects;
                open(c);
            }
        }
    }

    std::string m_socket;
    const Options& m_opt;
    const std::vector<double>& m_writtenAt;
    const std::atomic<long long>& m_writtenSeq;
    Clock::time_point m_t0;
    std::vector<Client> m_clients;
    const Client* m_firstTail = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    long long m_reconnects = 0, m_skipped = 0, m_expectTimeouts = 0;
    long long m_tailFewest = -1, m_tailMost = 0; // flood lines per tail client, after stop()
    std::vector<double> m_tailLags, m_expectLags;
    std::vector<Answer> m_expectAnswers;
};

// ---- the history view -----------------------------------------------------------------------

// An X server of its own with a window manager (which gives new windows the
// focus, as a desktop does), for a run that presses keys in the program.
class VirtualDisplay {
public:
    ~VirtualDisplay() { stop(); }
    bool start() {
        for (int n = 90 + int(::getpid() % 100); n < 400; ++n) {
            const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            if (fs::exists(lock) || fs::exists("/tmp/.X11-unix/X" + std::to_string(n)))
                continue;
            m_name = ":" + std::to_string(n);
            m_server = launch({"Xvfb", m_name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
            if (!testsupport::WaitUntil(
                    [&] { return fs::exists("/tmp/.X11-unix/X" + std::to_string(n)); }, 10000, 10))
                return false;
            m_manager = launch({"openbox"});
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            return m_server > 0 && m_manager > 0;
        }
        return false;
    }
    void stop() {
        for (pid_t* pid : {&m_manager, &m_server})
            if (*pid > 0) {
                ::kill(*pid, SIGTERM);
                ::waitpid(*pid, nullptr, 0);
                *pid = -1;
            }
    }
    const std::string& name() const { return m_name; }
    // Runs xdotool with arguments on this display; its exit status.
    int xdotool(const std::vector<std::string>& args) {
        std::vector<std::string> all = {"xdotool"};
        all.insert(all.end(), args.begin(), args.end());
        return run(all);
    }
    // Runs a program on this display; its exit status.
    int run(const std::vector<std::string>& argv) {
        const pid_t pid = launch(argv);
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t launch(const std::vector<std::string>& argv) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("DISPLAY", m_name.c_str(), 1);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 1);
            ::dup2(null, 2);
            std::vector<char*> args;
            for (const std::string& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        return pid;
    }
    std::string m_name;
    pid_t m_server = -1, m_manager = -1;
};

// Fills the log with records in the program's format up to bytes.
long long fillLog(const std::string& path, long long bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string buffer;
    char line[256];
    const std::string day = today();
    long long size = 0;
    for (long long i = 0; size < bytes; ++i) {
        const long long ms = 8 * 3600000LL + i * 7 % 3600000;
        const int h = int(ms / 3600000 % 24), m = int(ms / 60000 % 60), sec = int(ms / 1000 % 60),
                  z = int(ms % 1000);
        int n;
        if (i % 1000 == 7)
            n = std::snprintf(
                line, sizeof line,
                "%s %02d:%02d:%02d.%03d: EG [net] ERROR demo.Modem - "
                "java.lang.NullPointerException at demo.Modem.read(Modem.java:142)\r\n",
                day.c_str(), h, m, sec, z);
        else if (i % 2 == 0)
            n = std::snprintf(line, sizeof line,
                              "%s %02d:%02d:%02d.%03d: + [main] DEBUG demo.App - heartbeat %lld, "
                              "free memory %lld bytes\r\n",
                              day.c_str(), h, m, sec, z, i, 400000 - i % 1000);
        else
            n = std::snprintf(line, sizeof line,
                              "%s %02d:%02d:%02d.%03d: + [io] INFO demo.Watchdog - kick %lld, "
                              "queue %lld\r\n",
                              day.c_str(), h, m, sec, z, i, i % 17);
        buffer.append(line, size_t(n));
        size += n;
        if (buffer.size() > (1 << 22)) {
            out.write(buffer.data(), std::streamsize(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), std::streamsize(buffer.size()));
    return out ? size : -1;
}

// Opens the history view in the running program and filters with it, as a
// user does: Ctrl+H in the terminal window, the text typed, "Only matching
// lines" ticked; then "Match case" toggled every refilter seconds until stopped.
class HistoryDriver {
public:
    HistoryDriver(VirtualDisplay& display, const Options& opt) : m_display(display), m_opt(opt) {}
    ~HistoryDriver() { stop(); }
    // On a thread of its own: the run's own loops go on meanwhile.
    void start() {
        m_thread = std::thread([this] {
            if (m_display.xdotool({"search", "--sync", "--onlyvisible", "--name", "^Terminal$",
                                   "windowactivate", "--sync"}) != 0)
                return;
            m_display.xdotool({"key", "ctrl+h"});
            if (m_display.xdotool({"search", "--sync", "--onlyvisible", "--name", "^History",
                                   "windowactivate", "--sync"}) != 0)
                return;
            // Typed first: the boxes take the focus when their keys tick them.
            m_display.xdotool({"type", "--delay", "40", m_opt.historyFilter});
            if (m_opt.historyRegex)
                m_display.xdotool({"key", "alt+g"});
            m_display.xdotool({"key", "alt+o"});
            m_opened = true;
            while (!m_stop) {
                const auto next =
                    Clock::now() + std::chrono::duration<double>(m_opt.historyRefilter);
                while (!m_stop && Clock::now() < next)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (m_stop)
                    break;
                m_display.xdotool({"key", "alt+c"});
                ++m_filters;
            }
        });
    }
    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        // E2E_BENCH_SCREENSHOT=FILE.png saves the screen as it is now (ImageMagick's import).
        if (const char* shot = std::getenv("E2E_BENCH_SCREENSHOT"); shot && !m_shot) {
            m_shot = true;
            m_display.run({"import", "-window", "root", shot});
        }
    }
    std::string json() const {
        std::ostringstream o;
        o << ",\"history_filter\":\"" << replaceAll(m_opt.historyFilter, "\"", "\\\"")
          << "\",\"history_regex\":" << (m_opt.historyRegex ? "true" : "false")
          << ",\"history_opened\":" << (m_opened ? "true" : "false")
          << ",\"history_filters_anew\":" << m_filters.load();
        return o.str();
    }

private:
    VirtualDisplay& m_display;
    const Options& m_opt;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_filters{0};
    std::atomic<bool> m_opened{false};
    bool m_shot = false;
};

// ---- runs ------------------------------------------------------------------------------------

struct Setup {
    Options opt;
    long long logFrom = 0; // bytes of the log written before the run
    std::string display;   // the virtual display the program runs on, or empty
    VirtualDisplay* virtualDisplay = nullptr;
    fs::path work;   // settings, socket, device link
    fs::path cwd;    // the program's current directory (logs)
    std::string log; // the file to follow
    std::string dralvo;
    std::string slowDisk;    // JSON fields that describe the disk limit, or empty
    std::string cgroupProcs; // the limit's control group, or empty
    bool isPeer() const { return !opt.peer.empty(); }
};

bool startReader(Setup& s, Program& program, testsupport::Pty& device) {
    program.setCgroup(s.cgroupProcs);
    program.setDisplay(s.display);
    bool ok = s.isPeer() ? program.startPeer(replaceAll(replaceAll(s.opt.peer, "{port}",
                                                                   device.path().toStdString()),
                                                        "{log}", s.log),
                                             s.cwd)
                         : program.startDralvo(s.dralvo, s.work, s.cwd, device.path().toStdString(),
                                               s.opt.headless);
    if (!ok)
        return false;
    if (!testsupport::WaitUntil([&] { return device.readerPresent(); }, 15000, 2))
        return false;
    // The reader sets its port up after opening it; the module waits likewise.
    if (!s.isPeer()) {
        LogTail tail(s.log, s.logFrom);
        testsupport::WaitUntil([&] { return tail.contains("\": Connected"); }, 10000, 2);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    device.readNow();
    return true;
}

std::string jsonHead(const Setup& s, const char* run) {
    std::ostringstream o;
    o << "{\"run\":\"" << run << "\",\"label\":\"" << s.opt.label << "\",\"reader\":\""
      << (s.isPeer() ? "peer" : "dralvo") << "\",\"log_dir\":\"" << s.cwd.string() << "\""
      << s.slowDisk;
    return o.str();
}

int runFlood(Setup& s, bool paced) {
    testsupport::Pty device(QString::fromStdString((s.work / "ttyBENCH").string()), DeviceOptions);
    if (!device.plug())
        return 1;
    Program program;
    if (!startReader(s, program, device)) {
        std::fprintf(stderr, "e2e_bench: the reader did not open the port\n");
        return 1;
    }
    const int len = s.opt.lineLen;
    const long long lines = paced ? (long long)(s.opt.rate * s.opt.seconds / len) : s.opt.lines;
    std::vector<double> writtenAt(size_t(lines), -1), appearedAt(size_t(lines), -1);
    // Paced: when each line's last byte was written, and its record's stamp.
    std::vector<double> lastWrittenAt(paced ? size_t(lines) : 0, -1);
    std::vector<int64_t> stampOf(paced ? size_t(lines) : 0, -1);
    LogTail tail(s.log, s.logFrom);
    tail.poll(Clock::now(), nullptr, Clock::now()); // skip what is there already
    tail.lastSeq = 0;
    tail.seen = tail.lost = tail.doubled = tail.cut = 0;
    tail.expectedLength = len;
    const long long logStart = tail.bytes();
    if (paced)
        tail.onStamp = [&](long long seq, int64_t stamp) {
            if (seq >= 1 && seq <= lines)
                stampOf[size_t(seq - 1)] = stamp;
        };

    StallProbe probe(program.socket());
    if (!s.isPeer() && s.opt.probe)
        probe.start();
    const auto t0 = Clock::now();
    std::atomic<long long> writtenSeq{0};
    ControlLoad load(program.socket(), s.opt, writtenAt, writtenSeq, t0);
    load.start();
    const ProcStats before = procStats(program.pid());
    const int64_t wall0 = wallMs();
    std::atomic<bool> writerFailed{false};
    std::atomic<double> writeEnd{0};
    std::thread writer([&] {
        std::string batch;
        long long seq = 1;
        // Paced: the byte stream of the lines, a piece at a time.
        const long long piece = s.opt.piece > 0 ? s.opt.piece : len;
        const long long total = lines * len;
        long long offset = 0;
        while (paced ? offset < total : seq <= lines) {
            if (paced) {
                // Pieces leave on the schedule of a line at that byte rate.
                const double due = double(offset) / s.opt.rate;
                const double now = secondsSince(t0);
                if (now < due)
                    std::this_thread::sleep_for(
                        std::chrono::duration<double>(std::min(due - now, 0.002)));
                if (secondsSince(t0) < due)
                    continue;
                const long long end = std::min(total, offset + piece);
                std::string bytes;
                for (long long line = offset / len; line * len < end; ++line) {
                    const std::string text = floodLine(line + 1, len);
                    const long long from = std::max(offset, line * len) - line * len;
                    const long long to = std::min(end, (line + 1) * len) - line * len;
                    bytes.append(text, size_t(from), size_t(to - from));
                }
                const double at = secondsSince(t0);
                for (long long line = offset / len; line * len < end; ++line) {
                    if (line * len >= offset)
                        writtenAt[size_t(line)] = at;
                    if ((line + 1) * len <= end) {
                        lastWrittenAt[size_t(line)] = at;
                        writtenSeq = line + 1;
                    }
                }
                if (!writeAll(device, bytes.data(), bytes.size())) {
                    writerFailed = true;
                    return;
                }
                offset = end;
            } else {
                batch.clear();
                const long long first = seq;
                while (seq <= lines && batch.size() < 16384)
                    batch += floodLine(seq++, len);
                writtenAt[size_t(first - 1)] = secondsSince(t0);
                if (!writeAll(device, batch.data(), batch.size())) {
                    writerFailed = true;
                    return;
                }
            }
        }
        writeEnd = secondsSince(t0);
    });

    std::unique_ptr<HistoryDriver> history;
    if (s.virtualDisplay && !s.opt.historyFilter.empty()) {
        history = std::make_unique<HistoryDriver>(*s.virtualDisplay, s.opt);
        history->start();
    }

    // Follow the log until the last line is in, or nothing new came for 10 s.
    auto lastProgress = Clock::now();
    long long lastSeen = 0;
    ProcStats peak;
    while (tail.lastSeq < lines) {
        tail.poll(Clock::now(), &appearedAt, t0);
        if (tail.seen != lastSeen) {
            lastSeen = tail.seen;
            lastProgress = Clock::now();
        } else if (secondsSince(lastProgress) > 10 || writerFailed) {
            break;
        }
        if (!program.running())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double elapsed = secondsSince(t0);
    const ProcStats after = procStats(program.pid());
    writer.join();
    probe.stop();
    load.stop();
    if (history)
        history->stop();

    // Median, 99th percentile and largest of a list (sorted here), in ms.
    auto spread = [](std::vector<double> v, const char* name) {
        std::sort(v.begin(), v.end());
        auto at = [&](double q) { return v.empty() ? 0.0 : v[size_t(double(v.size() - 1) * q)]; };
        std::ostringstream o;
        o.setf(std::ios::fixed);
        o.precision(1);
        o << ",\"" << name << "_median_ms\":" << at(0.5) << ",\"" << name
          << "_p99_ms\":" << at(0.99) << ",\"" << name << "_max_ms\":" << (v.empty() ? 0 : v.back())
          << ",\"" << name << "_min_ms\":" << (v.empty() ? 0 : v.front());
        return o.str();
    };
    std::string stampFields;
    if (paced) {
        std::vector<double> stampLag, logDelay;
        std::vector<int64_t> stamps;
        for (long long i = 0; i < lines; ++i) {
            if (writtenAt[size_t(i)] >= 0 && stampOf[size_t(i)] >= 0) {
                stampLag.push_back(double(stampOf[size_t(i)] - wall0) -
                                   writtenAt[size_t(i)] * 1000);
                stamps.push_back(stampOf[size_t(i)]);
            }
            if (lastWrittenAt[size_t(i)] >= 0 && appearedAt[size_t(i)] >= 0)
                logDelay.push_back((appearedAt[size_t(i)] - lastWrittenAt[size_t(i)]) * 1000);
        }
        // How many lines share one stamp, at most.
        long long shared = 0, run = 0;
        std::sort(stamps.begin(), stamps.end());
        for (size_t i = 0; i < stamps.size(); ++i) {
            run = (i > 0 && stamps[i] == stamps[i - 1]) ? run + 1 : 1;
            shared = std::max(shared, run);
        }
        stampFields = spread(stampLag, "stamp_lag") + spread(logDelay, "log_delay") +
                      ",\"piece_bytes\":" + std::to_string(s.opt.piece > 0 ? s.opt.piece : len) +
                      ",\"lines_sharing_a_stamp_max\":" + std::to_string(shared);
        // The answer's delay from the line's receipt by the program: its
        // record's stamp is when the program read the line's first byte (to
        // the millisecond, cut off, so these read up to 1 ms long).
        std::vector<double> answered;
        for (const ControlLoad::Answer& a : load.expectAnswers())
            if (a.seq >= 1 && a.seq <= lines && stampOf[size_t(a.seq - 1)] >= 0)
                answered.push_back(a.wallMs - double(stampOf[size_t(a.seq - 1)]));
        if (s.opt.expectClients > 0) {
            std::ostringstream o;
            o.setf(std::ios::fixed);
            o.precision(1);
            o << ",\"expect_from_receipt_p50_ms\":" << percentile(answered, 0.5)
              << ",\"expect_from_receipt_p99_ms\":" << percentile(answered, 0.99)
              << ",\"expect_from_receipt_max_ms\":" << percentile(answered, 1.0);
            stampFields += o.str();
        }
    }
    double maxLag = 0, sumLag = 0;
    std::vector<double> lags;
    if (paced) {
        for (long long i = 0; i < lines; ++i)
            if (writtenAt[size_t(i)] >= 0 && appearedAt[size_t(i)] >= 0)
                lags.push_back(appearedAt[size_t(i)] - writtenAt[size_t(i)]);
        for (double l : lags) {
            maxLag = std::max(maxLag, l);
            sumLag += l;
        }
        std::sort(lags.begin(), lags.end());
    }
    const double mb = double(lines) * len / 1e6;
    std::ostringstream o;
    o.setf(std::ios::fixed);
    o.precision(3);
    o << jsonHead(s, paced ? "paced" : "flood") << ",\"lines\":" << lines << ",\"line_len\":" << len
      << ",\"received\":" << tail.seen << ",\"lost\":" << (lines - tail.lastSeq) + tail.lost
      << ",\"doubled\":" << tail.doubled << ",\"cut\":" << tail.cut << ",\"seconds\":" << elapsed
      << ",\"write_seconds\":" << writeEnd.load();
    if (paced) {
        o << ",\"rate_bytes_per_s\":" << s.opt.rate << ",\"lag_max_ms\":" << maxLag * 1000
          << ",\"lag_mean_ms\":" << (lags.empty() ? 0 : sumLag / lags.size() * 1000)
          << ",\"lag_p99_ms\":"
          << (lags.empty() ? 0 : lags[size_t(double(lags.size() - 1) * 0.99)] * 1000)
          << stampFields;
    } else {
        o << ",\"lines_per_s\":" << double(tail.seen) / elapsed
          << ",\"mb_per_s\":" << mb * (double(tail.seen) / double(lines)) / elapsed;
    }
    const double cpu = after.cpuSeconds - before.cpuSeconds;
    o << ",\"log_bytes\":" << tail.bytes() - logStart << ",\"cpu_seconds\":" << cpu
      << ",\"cpu_pct_of_core\":" << cpu / elapsed * 100 << ",\"vm_hwm_kb\":" << after.vmHwmKb
      << ",\"vm_rss_kb\":" << after.vmRssKb;
    if (!s.isPeer() && s.opt.probe)
        o << probe.json();
    o << load.json() << ",\"headless\":" << (s.opt.headless ? "true" : "false");
    if (history)
        o << history->json() << ",\"history_log_bytes\":" << s.logFrom;
    o << "}";
    std::printf("%s\n", o.str().c_str());
    std::fflush(stdout);
    return 0;
}

int runReconnect(Setup& s) {
    testsupport::Pty device(QString::fromStdString((s.work / "ttyBENCH").string()), DeviceOptions);
    if (!device.plug())
        return 1;
    Program program;
    if (!startReader(s, program, device))
        return 1;
    LogTail tail(s.log, s.logFrom);
    std::vector<double> reopen, receiving;
    for (int cycle = 1; cycle <= s.opt.cycles; ++cycle) {
        device.unplug();
        std::this_thread::sleep_for(std::chrono::milliseconds(400 + 137 * cycle % 300));
        if (!device.plug())
            return 1;
        const auto back = Clock::now();
        if (!testsupport::WaitUntil([&] { return device.readerPresent(); }, 10000, 2))
            break;
        reopen.push_back(secondsSince(back));
        // Lines until one of them is in the log: the program receives again.
        const std::string mark = "PING " + std::to_string(cycle) + " ";
        bool seen = false;
        for (int k = 0; k < 500 && !seen; ++k) {
            const std::string line = mark + std::to_string(k) + "\r\n";
            writeAll(device, line.data(), line.size());
            device.readNow();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            seen = tail.contains(mark);
        }
        if (!seen)
            break;
        receiving.push_back(secondsSince(back));
    }
    auto stats = [](const std::vector<double>& v, const char* name) {
        std::ostringstream o;
        o.setf(std::ios::fixed);
        o.precision(1);
        double sum = 0, max = 0;
        for (double x : v) {
            sum += x;
            max = std::max(max, x);
        }
        o << ",\"" << name << "_mean_ms\":" << (v.empty() ? 0 : sum / v.size() * 1000) << ",\""
          << name << "_max_ms\":" << max * 1000;
        return o.str();
    };
    std::printf("%s,\"cycles\":%d,\"completed\":%zu%s%s}\n", jsonHead(s, "reconnect").c_str(),
                s.opt.cycles, receiving.size(), stats(reopen, "port_open").c_str(),
                stats(receiving, "receiving").c_str());
    std::fflush(stdout);
    return receiving.size() == size_t(s.opt.cycles) ? 0 : 1;
}

// Steady traffic with pulled and re-plugged cables. A line is sent every 2 ms
// (--line-ms) while the program has the port open; what the module prints while the cable
// is out, or before the port is opened again, a real line loses, so those lines
// are never written. Lines written in the last 20 ms before a pull may still be
// on the way and are counted apart.
int runSoak(Setup& s) {
    testsupport::Pty device(QString::fromStdString((s.work / "ttyBENCH").string()), DeviceOptions);
    if (!device.plug())
        return 1;
    Program program;
    const auto started = Clock::now();
    if (!startReader(s, program, device)) {
        std::fprintf(stderr, "e2e_bench: the reader did not open the port\n");
        return 1;
    }
    enum : char { NotWritten, Written, BeforePull };
    std::vector<char> kind;           // per sequence number - 1
    std::vector<double> writtenAt;    // seconds since t0
    std::vector<unsigned char> times; // how often each line is in the log
    long long outOfOrder = 0, highest = 0;
    long long firstOfCycle = 0; // first line written since the last replug
    bool receiving = true;      // a line written since the replug is in the log
    Clock::time_point back = Clock::now();
    bool openSeen = true;          // the program has the port open since the replug
    double openedAt = 0;           // seconds since t0
    std::vector<double> sinceOpen; // per line: seconds since the port was seen open
    std::vector<double> pulls;     // seconds since t0
    std::vector<double> reconnect, opened;
    LogTail tail(s.log, s.logFrom);
    tail.poll(Clock::now(), nullptr, Clock::now()); // skip what is there already
    tail.expectedLength = s.opt.lineLen;
    tail.onSeq = [&](long long seq) {
        if (seq < 1 || size_t(seq) > kind.size())
            return;
        unsigned char& n = times[size_t(seq - 1)];
        if (n < 255)
            ++n;
        if (n == 1 && seq < highest)
            ++outOfOrder;
        highest = std::max(highest, seq);
        if (!receiving && firstOfCycle > 0 && seq >= firstOfCycle) {
            receiving = true;
            reconnect.push_back(secondsSince(back));
        }
    };

    const auto t0 = Clock::now();
    openedAt = -std::chrono::duration<double>(t0 - started).count();
    const double period = s.opt.lineMs / 1000.0;
    long long seq = 0;
    // Sends the lines that are due and reads the log: one step of every phase.
    auto step = [&] {
        const bool present = device.plugged() && device.readerPresent();
        if (present && !openSeen) {
            openSeen = true;
            openedAt = secondsSince(t0);
            opened.push_back(secondsSince(back));
        }
        while (double(seq) * period <= secondsSince(t0)) {
            ++seq;
            kind.push_back(NotWritten);
            writtenAt.push_back(secondsSince(t0));
            sinceOpen.push_back(writtenAt.back() - openedAt);
            times.push_back(0);
            if (present) {
                const std::string line = floodLine(seq, s.opt.lineLen);
                if (writeAll(device, line.data(), line.size())) {
                    kind.back() = Written;
                    if (firstOfCycle == 0)
                        firstOfCycle = seq;
                }
            }
        }
        device.readNow();
        tail.poll(Clock::now(), nullptr, t0);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    };
    auto runFor = [&](double seconds, const std::function<bool()>& until) {
        const auto t = Clock::now();
        while (secondsSince(t) < seconds && !(until && until()) && program.running())
            step();
    };

    int completed = 0;
    for (int cycle = 1; cycle <= s.opt.soak && program.running(); ++cycle) {
        // Plugged: steady traffic for a while once receiving.
        runFor(10, [&] { return receiving; });
        if (!receiving)
            break;
        runFor(0.3 + 0.001 * (173 * cycle % 300), nullptr);
        // Pull: the lines of the last 20 ms may still be in the line.
        const double now = secondsSince(t0);
        for (long long i = seq; i >= 1 && writtenAt[size_t(i - 1)] >= now - 0.020; --i)
            if (kind[size_t(i - 1)] == Written)
                kind[size_t(i - 1)] = BeforePull;
        device.pull();
        pulls.push_back(now);
        runFor(0.1 + 0.001 * (137 * cycle % 300), nullptr);
        // Re-plug: a new device behind the same name.
        if (!device.plug())
            return 1;
        back = Clock::now();
        firstOfCycle = 0;
        receiving = false;
        openSeen = false;
        ++completed;
    }
    runFor(10, [&] { return receiving; });
    runFor(0.3, nullptr);
    // Let the log catch up with the last lines.
    const long long last = seq;
    auto lastProgress = Clock::now();
    long long seenBefore = -1;
    while (secondsSince(lastProgress) < 2 && program.running()) {
        tail.poll(Clock::now(), nullptr, t0);
        if (highest >= last || tail.seen != seenBefore) {
            if (highest >= last && tail.seen == seenBefore)
                break;
            seenBefore = tail.seen;
            lastProgress = Clock::now();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    long long written = 0, lost = 0, beforePull = 0, lostBeforePull = 0, notWritten = 0,
              doubled = 0, lostAtOpen = 0;
    for (size_t i = 0; i < kind.size(); ++i) {
        if (times[i] > 1)
            doubled += times[i] - 1;
        if (kind[i] == Written) {
            ++written;
            lost += times[i] == 0;
            if (times[i] == 0 && sinceOpen[i] < 0.001) {
                // Written as the port was being opened: the program empties the
                // input of a port it has just opened, as the line's stale data.
                ++lostAtOpen;
                --lost;
            } else if (times[i] == 0) {
                // Where it stood: long after the open, or just before a pull?
                const auto pull = std::lower_bound(pulls.begin(), pulls.end(), writtenAt[i]);
                std::fprintf(stderr,
                             "e2e_bench: line %zu lost: written %.1f ms after the port was "
                             "open, %.1f ms before the next pull\n",
                             i + 1, sinceOpen[i] * 1000,
                             pull == pulls.end() ? -1.0 : (*pull - writtenAt[i]) * 1000);
            }
        } else if (kind[i] == BeforePull) {
            ++beforePull;
            lostBeforePull += times[i] == 0;
        } else {
            ++notWritten;
        }
    }
    std::vector<double> sorted = reconnect;
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double q) {
        return sorted.empty() ? 0.0 : sorted[size_t(double(sorted.size() - 1) * q)] * 1000;
    };
    std::sort(opened.begin(), opened.end());
    const double openMedian = opened.empty() ? 0.0 : opened[opened.size() / 2] * 1000;
    std::ostringstream o;
    o.setf(std::ios::fixed);
    o.precision(1);
    o << jsonHead(s, "soak") << ",\"cycles\":" << s.opt.soak << ",\"completed\":" << completed
      << ",\"reconnected\":" << reconnect.size() << ",\"lines_written\":" << written + beforePull
      << ",\"lost\":" << lost << ",\"doubled\":" << doubled << ",\"out_of_order\":" << outOfOrder
      << ",\"cut\":" << tail.cut << ",\"line_ms\":" << s.opt.lineMs
      << ",\"last_20ms_lines\":" << beforePull << ",\"last_20ms_lost\":" << lostBeforePull
      << ",\"lost_at_open\":" << lostAtOpen << ",\"unplugged_lines\":" << notWritten
      << ",\"port_open_median_ms\":" << openMedian << ",\"reconnect_median_ms\":" << at(0.5)
      << ",\"reconnect_p90_ms\":" << at(0.9)
      << ",\"reconnect_max_ms\":" << (sorted.empty() ? 0.0 : sorted.back() * 1000)
      << ",\"reconnects_over_50ms\":"
      << (sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), 0.050)) << "}";
    std::printf("%s\n", o.str().c_str());
    std::fflush(stdout);
    return completed == s.opt.soak && reconnect.size() == size_t(completed) ? 0 : 1;
}

// Start pressed while connected (the port is closed and opened again), or
// Disconnect and then Start, under a line every 2 ms (--line-ms). Lines are
// written while the program holds the port open; every one of them should be
// in the log once and in order. Lost lines written within 2 ms of the line
// losing its reader (on their way as the port closed) are counted apart too.
int runRestart(Setup& s) {
    testsupport::Pty device(QString::fromStdString((s.work / "ttyBENCH").string()), DeviceOptions);
    if (!device.plug())
        return 1;
    Program program;
    if (!startReader(s, program, device)) {
        std::fprintf(stderr, "e2e_bench: the reader did not open the port\n");
        return 1;
    }
    std::vector<double> writtenAt; // per sequence number - 1; < 0: not written
    std::vector<unsigned char> times;
    long long outOfOrder = 0, highest = 0, seq = 0;
    LogTail tail(s.log, s.logFrom);
    tail.poll(Clock::now(), nullptr, Clock::now()); // skip what is there already
    tail.expectedLength = s.opt.lineLen;
    tail.onSeq = [&](long long n) {
        if (n < 1 || size_t(n) > times.size())
            return;
        unsigned char& k = times[size_t(n - 1)];
        if (k < 255)
            ++k;
        if (k == 1 && n < highest)
            ++outOfOrder;
        highest = std::max(highest, n);
    };
    const auto t0 = Clock::now();
    const double period = s.opt.lineMs / 1000.0;
    std::vector<double> presses; // seconds since t0, each Start or Disconnect sent
    std::atomic<int> pressing{0};
    std::vector<std::thread> pressers;
    auto press = [&](const char* number) {
        presses.push_back(secondsSince(t0));
        ++pressing;
        pressers.emplace_back([&, number] {
            controlMessage(program.socket(), number);
            --pressing;
        });
    };
    auto step = [&] {
        const bool present = device.readerPresent();
        while (double(seq) * period <= secondsSince(t0)) {
            ++seq;
            writtenAt.push_back(-1);
            times.push_back(0);
            if (present) {
                const std::string line = floodLine(seq, s.opt.lineLen);
                const double at = secondsSince(t0);
                if (writeAll(device, line.data(), line.size()))
                    writtenAt.back() = at;
            }
        }
        device.readNow();
        tail.poll(Clock::now(), nullptr, t0);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    };
    auto runFor = [&](double seconds) {
        const auto t = Clock::now();
        while (secondsSince(t) < seconds && program.running())
            step();
    };
    // When the program's close left the line without a reader (hang-ups seen
    // on the master), for the lines that were on their way just then.
    std::vector<double> hangups;
    std::mutex hangupMutex;
    std::atomic<bool> stopWatch{false};
    std::thread watcher([&] {
        while (!stopWatch) {
            pollfd p{device.master(), 0, 0};
            if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLHUP))
                continue;
            {
                std::lock_guard<std::mutex> lock(hangupMutex);
                hangups.push_back(secondsSince(t0));
            }
            while (!stopWatch && ::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP))
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    runFor(0.5);
    for (int cycle = 1; cycle <= s.opt.cycles && program.running(); ++cycle) {
        if (s.opt.disconnect) {
            press("1024");
            runFor(0.2);
        }
        press("1025");
        runFor(s.opt.interval);
    }
    runFor(0.5);
    for (std::thread& t : pressers)
        t.join();
    stopWatch = true;
    watcher.join();
    // Let the log catch up.
    auto lastProgress = Clock::now();
    long long seenBefore = tail.seen;
    while (secondsSince(lastProgress) < 2 && program.running()) {
        tail.poll(Clock::now(), nullptr, t0);
        if (tail.seen != seenBefore) {
            seenBefore = tail.seen;
            lastProgress = Clock::now();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    long long written = 0, lost = 0, lostAtHangup = 0, doubled = 0, notWritten = 0;
    int told = 0;
    for (size_t i = 0; i < writtenAt.size(); ++i) {
        if (times[i] > 1)
            doubled += times[i] - 1;
        if (writtenAt[i] < 0) {
            ++notWritten;
            continue;
        }
        ++written;
        if (times[i] > 0)
            continue;
        const auto next = std::lower_bound(presses.begin(), presses.end(), writtenAt[i]);
        const double after = next == presses.begin() ? -1 : (writtenAt[i] - *(next - 1)) * 1000;
        const double before = next == presses.end() ? -1 : (*next - writtenAt[i]) * 1000;
        const auto hangup = std::lower_bound(hangups.begin(), hangups.end(), writtenAt[i]);
        const double toHangup = hangup == hangups.end() ? -1 : (*hangup - writtenAt[i]) * 1000;
        // Written within 2 ms of the reader going away: on the way as it closed.
        if (toHangup >= 0 && toHangup <= 2)
            ++lostAtHangup;
        ++lost;
        if (told++ < 20)
            std::fprintf(stderr,
                         "e2e_bench: line %zu lost: written %.1f ms after a press, %.1f ms "
                         "before the next, %.1f ms before a hang-up\n",
                         i + 1, after, before, toHangup);
    }
    std::ostringstream o;
    o.setf(std::ios::fixed);
    o.precision(1);
    o << jsonHead(s, s.opt.disconnect ? "disconnect-start" : "start")
      << ",\"cycles\":" << s.opt.cycles << ",\"presses\":" << presses.size()
      << ",\"line_ms\":" << s.opt.lineMs << ",\"lines_written\":" << written << ",\"lost\":" << lost
      << ",\"lost_within_2ms_of_hangup\":" << lostAtHangup << ",\"hangups\":" << hangups.size()
      << ",\"doubled\":" << doubled << ",\"out_of_order\":" << outOfOrder << ",\"cut\":" << tail.cut
      << ",\"closed_lines\":" << notWritten << "}";
    std::printf("%s\n", o.str().c_str());
    std::fflush(stdout);
    return program.running() ? 0 : 1;
}

int runIdle(Setup& s) {
    testsupport::Pty device(QString::fromStdString((s.work / "ttyBENCH").string()), DeviceOptions);
    if (!device.plug())
        return 1;
    Program program;
    if (!startReader(s, program, device))
        return 1;
    std::this_thread::sleep_for(std::chrono::seconds(1)); // start-up work is over
    const std::vector<double> noLines;
    const std::atomic<long long> noSeq{0};
    ControlLoad load(program.socket(), s.opt, noLines, noSeq, Clock::now());
    load.start();
    if (load.any())
        std::this_thread::sleep_for(std::chrono::seconds(1)); // the clients are in
    StallProbe probe(program.socket());
    const bool probing = load.any() && s.opt.probe;
    if (probing)
        probe.start();
    const ProcStats before = procStats(program.pid());
    const auto t0 = Clock::now();
    while (secondsSince(t0) < s.opt.seconds) {
        device.readNow();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const double elapsed = secondsSince(t0);
    const ProcStats after = procStats(program.pid());
    probe.stop();
    load.stop();
    std::printf("%s,\"seconds\":%.1f,\"cpu_seconds\":%.3f,\"cpu_pct_of_core\":%.3f,"
                "\"vm_rss_kb\":%lld%s%s}\n",
                jsonHead(s, "idle").c_str(), elapsed, after.cpuSeconds - before.cpuSeconds,
                (after.cpuSeconds - before.cpuSeconds) / elapsed * 100, after.vmRssKb,
                probing ? probe.json().c_str() : "", load.json().c_str());
    std::fflush(stdout);
    return 0;
}

int usage() {
    std::fprintf(
        stderr, "usage: e2e_bench [--mode flood|paced|reconnect|idle|restart] [--lines N] "
                "[--line-len L]\n"
                "                 [--rate BYTES_PER_S] [--seconds S] [--dir LOG_DIR] "
                "[--label TEXT]\n"
                "                 [--cycles N] [--probe 0|1] [--soak CYCLES] [--slow-disk IOPS]\n"
                "                 [--line-ms MS] [--program PATH] [--peer 'COMMAND {port} {log}']\n"
                "                 [--piece BYTES] [--interval S] [--disconnect 0|1]\n"
                "                 [--headless 0|1] [--idle-clients N] [--tail-clients N]\n"
                "                 [--expect-clients N] [--history-log-bytes N]\n"
                "                 [--history-filter TEXT] [--history-regex 0|1] "
                "[--history-refilter S]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    {
        // Many control clients need many descriptors here too.
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
            limit.rlim_cur = limit.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
    }
    Setup s;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        if (name == "--mode")
            s.opt.mode = value;
        else if (name == "--lines")
            s.opt.lines = std::atoll(value.c_str());
        else if (name == "--line-len")
            s.opt.lineLen = std::max(13, std::atoi(value.c_str()));
        else if (name == "--rate")
            s.opt.rate = std::atof(value.c_str());
        else if (name == "--seconds")
            s.opt.seconds = std::atof(value.c_str());
        else if (name == "--dir")
            s.opt.dir = value;
        else if (name == "--label")
            s.opt.label = value;
        else if (name == "--cycles")
            s.opt.cycles = std::atoi(value.c_str());
        else if (name == "--probe")
            s.opt.probe = value != "0";
        else if (name == "--peer")
            s.opt.peer = value;
        else if (name == "--soak")
            s.opt.soak = std::max(1, std::atoi(value.c_str()));
        else if (name == "--slow-disk")
            s.opt.slowDisk = std::max(1, std::atoi(value.c_str()));
        else if (name == "--line-ms")
            s.opt.lineMs = std::max(0.1, std::atof(value.c_str()));
        else if (name == "--program")
            s.opt.program = value;
        else if (name == "--headless")
            s.opt.headless = value != "0";
        else if (name == "--idle-clients")
            s.opt.idleClients = std::max(0, std::atoi(value.c_str()));
        else if (name == "--tail-clients")
            s.opt.tailClients = std::max(0, std::atoi(value.c_str()));
        else if (name == "--expect-clients")
            s.opt.expectClients = std::max(0, std::atoi(value.c_str()));
        else if (name == "--piece")
            s.opt.piece = std::max(0, std::atoi(value.c_str()));
        else if (name == "--interval")
            s.opt.interval = std::max(0.05, std::atof(value.c_str()));
        else if (name == "--disconnect")
            s.opt.disconnect = value != "0";
        else if (name == "--history-log-bytes")
            s.opt.historyLogBytes = std::atoll(value.c_str());
        else if (name == "--history-filter")
            s.opt.historyFilter = value;
        else if (name == "--history-regex")
            s.opt.historyRegex = value != "0";
        else if (name == "--history-refilter")
            s.opt.historyRefilter = std::max(0.2, std::atof(value.c_str()));
        else
            return usage();
    }
    // The program next to this benchmark (build/bench/e2e_bench -> build/dralvo).
    s.dralvo =
        s.opt.program.empty()
            ? (fs::canonical("/proc/self/exe").parent_path().parent_path() / "dralvo").string()
            : fs::absolute(s.opt.program).string();
    if (s.opt.soak > 0)
        s.opt.mode = "soak";
    else if (s.opt.mode == "soak")
        s.opt.soak = std::max(1, s.opt.cycles);
    char workTemplate[] = "/tmp/dralvo-e2e-bench-XXXXXX";
    if (!::mkdtemp(workTemplate))
        return 1;
    s.work = workTemplate;
    if (s.opt.dir.empty()) {
        s.cwd = s.work / "cwd";
    } else {
        char cwdTemplate[4096];
        std::snprintf(cwdTemplate, sizeof cwdTemplate, "%s/dralvo-e2e-bench-XXXXXX",
                      s.opt.dir.c_str());
        if (!::mkdtemp(cwdTemplate))
            return 1;
        s.cwd = cwdTemplate;
    }
    fs::create_directories(s.cwd);
    s.log = s.isPeer() ? (s.cwd / "peer.log").string()
                       : (s.cwd / ("logs/Dralvo_" + today() + ".log")).string();
    if (s.opt.historyLogBytes > 0 && !s.isPeer()) {
        s.logFrom = fillLog(s.log, s.opt.historyLogBytes);
        if (s.logFrom < 0) {
            std::fprintf(stderr, "e2e_bench: cannot write %s\n", s.log.c_str());
            return 1;
        }
    }
    VirtualDisplay display;
    if (!s.opt.historyFilter.empty() && !s.isPeer() && !s.opt.headless) {
        if (!display.start()) {
            std::fprintf(stderr, "e2e_bench: no virtual display (Xvfb, openbox and xdotool are "
                                 "needed for --history-filter)\n");
            return 1;
        }
        s.display = display.name();
        s.virtualDisplay = &display;
    }
    SlowDisk slowDisk;
    if (s.opt.slowDisk > 0) {
        std::string why;
        std::ostringstream o;
        if (slowDisk.setUp(s.cwd, s.opt.slowDisk, &why)) {
            s.cgroupProcs = slowDisk.procs();
            o << ",\"slow_disk\":\"" << slowDisk.describe()
              << "\",\"slow_disk_iops\":" << s.opt.slowDisk
              << ",\"slow_disk_check_writes_per_s\":" << int(slowDisk.checkRate() + 0.5);
        } else {
            std::fprintf(stderr,
                         "e2e_bench: --slow-disk %d is not available here: %s; the run goes on "
                         "without a limit\n",
                         s.opt.slowDisk, why.c_str());
            o << ",\"slow_disk\":\"unavailable\",\"slow_disk_reason\":\""
              << replaceAll(replaceAll(why, "\\", "\\\\"), "\"", "\\\"") << "\"";
            slowDisk.remove();
        }
        s.slowDisk = o.str();
    }
    int rc = 2;
    if (s.opt.mode == "soak")
        rc = runSoak(s);
    else if (s.opt.mode == "flood")
        rc = runFlood(s, false);
    else if (s.opt.mode == "paced")
        rc = runFlood(s, true);
    else if (s.opt.mode == "reconnect")
        rc = runReconnect(s);
    else if (s.opt.mode == "idle")
        rc = runIdle(s);
    else if (s.opt.mode == "restart")
        rc = runRestart(s);
    else
        return usage();
    std::error_code ec;
    if (!std::getenv("E2E_BENCH_KEEP")) {
        fs::remove_all(s.work, ec);
        fs::remove_all(s.cwd, ec);
    }
    return rc;
}
