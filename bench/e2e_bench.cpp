// End-to-end benchmark of the whole program: the driver holds the master side of
// a pseudo-terminal that the program (or, with --peer, another serial terminal)
// uses as its port, writes sequence-numbered lines into it (the same lines as
// gsmsim --flood), and watches the log file grow. One JSON line per run.
//
//   e2e_bench [--mode flood|paced|reconnect|idle] [--lines N] [--line-len L]
//             [--rate BYTES_PER_S] [--seconds S] [--dir LOG_DIR] [--label TEXT]
//             [--cycles N] [--probe 0|1]
//             [--peer 'COMMAND with {port} and {log}']
//
// flood:     N lines as fast as the reader takes them; first byte written to
//            last line in the log gives lines/s and MB/s.
// paced:     lines at BYTES_PER_S for S seconds (1,000,000 baud = 100000);
//            lag = time a line appears in the log file - time it was written.
// reconnect: the device is pulled and a new one appears behind the same name;
//            time from its appearance until the port is open again and until a
//            line written then is in the log.
// idle:      CPU used by the connected program over S seconds without data.
// In flood and paced runs a probe thread asks the control socket for message 0
// (answer 0) every 10 ms: the answer comes from the user-interface thread, so
// the longest round trip bounds the longest stall of that thread.
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
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

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
    std::string peer;  // another program instead of dralvo
    bool probe = true; // the stall probe (its own requests cost the program some CPU)
};

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

class Device {
public:
    explicit Device(std::string link) : m_link(std::move(link)) {}
    ~Device() { unplug(); }

    bool plug() {
        unplug();
        int slave = -1;
        char name[256] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            return false;
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        // The reader must not inherit the master, or closing it here pulls no cable.
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
        const std::string temp = m_link + ".new";
        ::unlink(temp.c_str());
        return ::symlink(name, temp.c_str()) == 0 && ::rename(temp.c_str(), m_link.c_str()) == 0;
    }
    void unplug() {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    // A reader holds the other side open (the master no longer reports a hang-up).
    bool readerPresent() const {
        pollfd p{m_master, POLLIN, 0};
        return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
    }
    // Drops what the reader sent (so its writes never block).
    void drain() {
        char buffer[4096];
        while (::read(m_master, buffer, sizeof buffer) > 0) {
        }
    }
    // Writes all bytes, waiting while the line is full. False when the reader went away.
    bool writeAll(const char* data, size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(m_master, data, size);
            if (n > 0) {
                data += n;
                size -= size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN) {
                pollfd p{m_master, POLLOUT, 0};
                ::poll(&p, 1, 100);
                if (p.revents & POLLHUP)
                    return false;
                continue;
            }
            return false;
        }
        return true;
    }
    const std::string& link() const { return m_link; }

private:
    std::string m_link;
    int m_master = -1;
};

// ---- the log file ----------------------------------------------------------------------------

// Follows a growing file and the flood lines in it, in whatever line format the
// reader writes them (only "SEQ nnnnnnn" counts).
class LogTail {
public:
    explicit LogTail(std::string path) : m_path(std::move(path)) {}

    // Reads what is new; returns the number of new complete lines.
    long long poll(Clock::time_point now, std::vector<double>* appearedAt, Clock::time_point t0) {
        if (m_fd < 0) {
            m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
            if (m_fd < 0)
                return 0;
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
        std::stringstream s;
        s << in.rdbuf();
        return s.str().find(text) != std::string::npos;
    }

    long long lastSeq = 0; // highest sequence number seen
    long long seen = 0;    // flood lines seen
    long long lost = 0;    // numbers skipped
    long long doubled = 0; // numbers seen again or out of order
    long long cut = 0;     // lines of wrong length
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
    int m_fd = -1;
    long long m_bytes = 0;
    std::string m_pending;
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
                     const std::string& port) {
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
        std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                        "XDG_CONFIG_HOME=" + (work / "config").string(),
                                        "XDG_CONFIG_DIRS=" + (work / "none").string(),
                                        "XDG_RUNTIME_DIR=" + (work / "run").string()};
        return spawn({binary}, env, cwd);
    }
    bool startPeer(const std::string& command, const fs::path& cwd) {
        return spawn({"/bin/sh", "-c", command}, {}, cwd);
    }

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
            if (::chdir(cwd.c_str()) != 0)
                ::_exit(126);
            for (const std::string& e : env)
                ::putenv(const_cast<char*>(e.c_str()));
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
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

class StallProbe {
public:
    explicit StallProbe(std::string socket) : m_socket(std::move(socket)) {}
    ~StallProbe() { stop(); }
    void start() {
        m_thread = std::thread([this] {
            while (!m_stop) {
                const double ms = controlRoundTrip(m_socket);
                if (ms < 0) {
                    ++m_failures;
                } else {
                    m_max = std::max(m_max.load(), ms);
                    ++m_count;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    double maxMs() const { return m_max; }
    long long count() const { return m_count; }
    long long failures() const { return m_failures; }

private:
    std::string m_socket;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_max{0};
    std::atomic<long long> m_count{0};
    std::atomic<long long> m_failures{0};
};

// ---- runs ------------------------------------------------------------------------------------

struct Setup {
    Options opt;
    fs::path work;   // settings, socket, device link
    fs::path cwd;    // the program's current directory (logs)
    std::string log; // the file to follow
    std::string dralvo;
    bool isPeer() const { return !opt.peer.empty(); }
};

bool waitFor(const std::function<bool()>& cond, double seconds) {
    const auto t = Clock::now();
    while (secondsSince(t) < seconds) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return cond();
}

bool startReader(Setup& s, Program& program, Device& device) {
    bool ok = s.isPeer()
                  ? program.startPeer(
                        replaceAll(replaceAll(s.opt.peer, "{port}", device.link()), "{log}", s.log),
                        s.cwd)
                  : program.startDralvo(s.dralvo, s.work, s.cwd, device.link());
    if (!ok)
        return false;
    if (!waitFor([&] { return device.readerPresent(); }, 15))
        return false;
    // The reader sets its port up after opening it; the module waits likewise.
    if (!s.isPeer()) {
        LogTail tail(s.log);
        waitFor([&] { return tail.contains("\": Connected"); }, 10);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    device.drain();
    return true;
}

std::string jsonHead(const Setup& s, const char* run) {
    std::ostringstream o;
    o << "{\"run\":\"" << run << "\",\"label\":\"" << s.opt.label << "\",\"reader\":\""
      << (s.isPeer() ? "peer" : "dralvo") << "\",\"log_dir\":\"" << s.cwd.string() << "\"";
    return o.str();
}

int runFlood(Setup& s, bool paced) {
    Device device((s.work / "ttyBENCH").string());
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
    LogTail tail(s.log);
    tail.poll(Clock::now(), nullptr, Clock::now()); // skip what is there already
    tail.lastSeq = 0;
    tail.seen = tail.lost = tail.doubled = tail.cut = 0;
    tail.expectedLength = len;
    const long long logStart = tail.bytes();

    StallProbe probe(program.socket());
    if (!s.isPeer() && s.opt.probe)
        probe.start();
    const ProcStats before = procStats(program.pid());
    const auto t0 = Clock::now();
    std::atomic<bool> writerFailed{false};
    std::atomic<double> writeEnd{0};
    std::thread writer([&] {
        std::string batch;
        long long seq = 1;
        while (seq <= lines) {
            if (paced) {
                // Lines leave on the schedule of a line at that byte rate.
                const double due = double(seq - 1) * len / s.opt.rate;
                const double now = secondsSince(t0);
                if (now < due)
                    std::this_thread::sleep_for(
                        std::chrono::duration<double>(std::min(due - now, 0.002)));
                if (secondsSince(t0) < due)
                    continue;
                const std::string line = floodLine(seq, len);
                writtenAt[size_t(seq - 1)] = secondsSince(t0);
                if (!device.writeAll(line.data(), line.size())) {
                    writerFailed = true;
                    return;
                }
                ++seq;
            } else {
                batch.clear();
                const long long first = seq;
                while (seq <= lines && batch.size() < 16384)
                    batch += floodLine(seq++, len);
                writtenAt[size_t(first - 1)] = secondsSince(t0);
                if (!device.writeAll(batch.data(), batch.size())) {
                    writerFailed = true;
                    return;
                }
            }
        }
        writeEnd = secondsSince(t0);
    });

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
          << (lags.empty() ? 0 : lags[size_t(double(lags.size() - 1) * 0.99)] * 1000);
    } else {
        o << ",\"lines_per_s\":" << double(tail.seen) / elapsed
          << ",\"mb_per_s\":" << mb * (double(tail.seen) / double(lines)) / elapsed;
    }
    const double cpu = after.cpuSeconds - before.cpuSeconds;
    o << ",\"log_bytes\":" << tail.bytes() - logStart << ",\"cpu_seconds\":" << cpu
      << ",\"cpu_pct_of_core\":" << cpu / elapsed * 100 << ",\"vm_hwm_kb\":" << after.vmHwmKb
      << ",\"vm_rss_kb\":" << after.vmRssKb;
    if (!s.isPeer() && s.opt.probe)
        o << ",\"ui_stall_max_ms\":" << probe.maxMs() << ",\"ui_probes\":" << probe.count()
          << ",\"ui_probe_failures\":" << probe.failures();
    o << "}";
    std::printf("%s\n", o.str().c_str());
    std::fflush(stdout);
    return 0;
}

int runReconnect(Setup& s) {
    Device device((s.work / "ttyBENCH").string());
    if (!device.plug())
        return 1;
    Program program;
    if (!startReader(s, program, device))
        return 1;
    LogTail tail(s.log);
    std::vector<double> reopen, receiving;
    for (int cycle = 1; cycle <= s.opt.cycles; ++cycle) {
        device.unplug();
        std::this_thread::sleep_for(std::chrono::milliseconds(400 + 137 * cycle % 300));
        if (!device.plug())
            return 1;
        const auto back = Clock::now();
        if (!waitFor([&] { return device.readerPresent(); }, 10))
            break;
        reopen.push_back(secondsSince(back));
        // Lines until one of them is in the log: the program receives again.
        const std::string mark = "PING " + std::to_string(cycle) + " ";
        bool seen = false;
        for (int k = 0; k < 500 && !seen; ++k) {
            const std::string line = mark + std::to_string(k) + "\r\n";
            device.writeAll(line.data(), line.size());
            device.drain();
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

int runIdle(Setup& s) {
    Device device((s.work / "ttyBENCH").string());
    if (!device.plug())
        return 1;
    Program program;
    if (!startReader(s, program, device))
        return 1;
    std::this_thread::sleep_for(std::chrono::seconds(1)); // start-up work is over
    const ProcStats before = procStats(program.pid());
    const auto t0 = Clock::now();
    while (secondsSince(t0) < s.opt.seconds) {
        device.drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const double elapsed = secondsSince(t0);
    const ProcStats after = procStats(program.pid());
    std::printf("%s,\"seconds\":%.1f,\"cpu_seconds\":%.3f,\"cpu_pct_of_core\":%.3f,"
                "\"vm_rss_kb\":%lld}\n",
                jsonHead(s, "idle").c_str(), elapsed, after.cpuSeconds - before.cpuSeconds,
                (after.cpuSeconds - before.cpuSeconds) / elapsed * 100, after.vmRssKb);
    std::fflush(stdout);
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: e2e_bench [--mode flood|paced|reconnect|idle] [--lines N] "
                 "[--line-len L]\n"
                 "                 [--rate BYTES_PER_S] [--seconds S] [--dir LOG_DIR] "
                 "[--label TEXT]\n"
                 "                 [--cycles N] [--probe 0|1] [--peer 'COMMAND {port} {log}']\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
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
        else
            return usage();
    }
    // The program next to this benchmark (build/bench/e2e_bench -> build/dralvo).
    s.dralvo = (fs::canonical("/proc/self/exe").parent_path().parent_path() / "dralvo").string();
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
    int rc = 2;
    if (s.opt.mode == "flood")
        rc = runFlood(s, false);
    else if (s.opt.mode == "paced")
        rc = runFlood(s, true);
    else if (s.opt.mode == "reconnect")
        rc = runReconnect(s);
    else if (s.opt.mode == "idle")
        rc = runIdle(s);
    else
        return usage();
    std::error_code ec;
    if (!std::getenv("E2E_BENCH_KEEP")) {
        fs::remove_all(s.work, ec);
        fs::remove_all(s.cwd, ec);
    }
    return rc;
}
