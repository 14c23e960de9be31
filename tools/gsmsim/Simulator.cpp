#include "Simulator.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace gsmsim {

namespace {

constexpr int64_t msNs = 1000000;
// Time the reader gets after opening the port to configure and flush it
// before the module says anything by itself.
constexpr int64_t settleNs = 200 * msNs;
// While nobody has the port open the master only reports a hang-up, so the
// simulator looks again at this pace instead of waiting on it.
constexpr int64_t peerCheckNs = 20 * msNs;
// Flood lines are produced only while less than this waits for the reader.
constexpr size_t floodQueueLimit = 16384;
// A paced flood sleeps at least this long, writing a few lines per wake-up.
constexpr int64_t minPaceSleepNs = 2 * msNs;
// Lines written this shortly before a pull may still be in the line when it goes.
constexpr int64_t lastWrittenNs = 20 * msNs;

bool parseNumber(const char* text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && std::isfinite(value);
}

void sayOnStdout(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

const char* usageText() {
    return "usage: gsmsim [--link PATH] [--period MS] [--flood N] [--line-len L]\n"
           "              [--rate BYTES_PER_SEC] [--start-delay MS]\n"
           "              [--unplug-after S] [--replug-after S] [--unplug-every S]\n"
           "              [--tag TEXT]\n";
}

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            error.clear();
            return false;
        }
        if (i + 1 >= argc) {
            error = "missing value for " + name;
            return false;
        }
        const char* text = argv[++i];
        if (name == "--link") {
            options.link = text;
            continue;
        }
        if (name == "--tag") {
            options.tag = text;
            if (options.tag.find_first_of("\r\n") != std::string::npos) {
                error = "a tag is one line";
                return false;
            }
            continue;
        }
        double v = 0;
        if (!parseNumber(text, v)) {
            error = "not a number for " + name + ": " + text;
            return false;
        }
        if (name == "--period" && v >= 0) {
            options.periodMs = int64_t(v);
        } else if (name == "--flood" && v >= 0) {
            options.flood = uint64_t(v);
        } else if (name == "--line-len" && v >= 1 && v <= 1000000) {
            options.lineLength = size_t(v);
        } else if (name == "--rate" && v >= 0) {
            options.rate = v;
        } else if (name == "--start-delay" && v >= 0) {
            options.startDelayMs = int64_t(v);
        } else if (name == "--unplug-after" && v >= 0) {
            options.unplugAfter = v;
        } else if (name == "--replug-after") {
            options.replugAfter = v < 0 ? -1 : v;
        } else if (name == "--unplug-every" && v > 0) {
            options.unplugEvery = v;
        } else {
            error = "unknown option or value out of range: " + name + " " + text;
            return false;
        }
    }
    return true;
}

Simulator::Simulator(const Options& options) : m_options(options) {
    m_period = options.periodMs >= 0 ? options.periodMs : options.flood > 0 ? 0 : 1000;
}

Simulator::~Simulator() {
    if (m_master >= 0)
        ::close(m_master);
    removeLink();
}

Simulator::Nanos Simulator::now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return Nanos(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool Simulator::linkPathUsable() const {
    struct stat st {};
    if (m_options.link.empty() || ::lstat(m_options.link.c_str(), &st) < 0 || S_ISLNK(st.st_mode))
        return true;
    std::fprintf(stderr, "gsmsim: %s exists and is not a symlink; not replacing it\n",
                 m_options.link.c_str());
    return false;
}

bool Simulator::plugIn() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) < 0 || ::unlockpt(master) < 0) {
        std::perror("gsmsim: pseudo-terminal");
        if (master >= 0)
            ::close(master);
        return false;
    }
    const char* name = ::ptsname(master);
    if (!name) {
        std::perror("gsmsim: ptsname");
        ::close(master);
        return false;
    }
    m_slavePath = name;

    // Raw and without echo, like a serial line: open the slave once to set it up.
    const int slave = ::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0) {
        termios t{};
        if (::tcgetattr(slave, &t) == 0) {
            ::cfmakeraw(&t);
            t.c_cflag |= CLOCAL | CREAD;
            ::tcsetattr(slave, TCSANOW, &t);
        }
        ::close(slave);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    m_master = master;
    m_peerOpen = false;
    m_lastPeerCheck = 0;
    m_bannerPending = true; // a freshly powered module greets its first reader
    dropOutput();
    m_input.clear();
    moveLink();
    sayOnStdout(m_slavePath);
    return true;
}

void Simulator::unplug() {
    if (m_master < 0)
        return;
    // What the reader has not taken yet goes with the cable; how much that is
    // tells a reader that was late from one that lost what it had read (the
    // line discipline's count, so at most its 4 KB buffer).
    std::string unread;
    if (m_peerOpen) {
        const int slave = ::open(m_slavePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        int count = 0;
        if (slave >= 0 && ::ioctl(slave, FIONREAD, &count) == 0)
            unread = "; " + std::to_string(count) + " bytes not read";
        if (slave >= 0)
            ::close(slave);
    }
    dropOutput();
    ::close(m_master);
    m_master = -1;
    m_peerOpen = false;
    removeLink();
    std::fprintf(stderr, "gsmsim: cable pulled (%s gone%s)\n", m_slavePath.c_str(), unread.c_str());
}

void Simulator::moveLink() {
    if (m_options.link.empty())
        return;
    // A new link under a temporary name renamed over the old one: readers
    // always find either the old or the new target, never a missing link.
    const std::string temp = m_options.link + ".tmp" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(m_slavePath.c_str(), temp.c_str()) < 0 ||
        ::rename(temp.c_str(), m_options.link.c_str()) < 0) {
        std::fprintf(stderr, "gsmsim: cannot link %s: %s\n", m_options.link.c_str(),
                     std::strerror(errno));
        ::unlink(temp.c_str());
        return;
    }
    m_linkTarget = m_slavePath;
}

void Simulator::removeLink() {
    if (m_options.link.empty() || m_linkTarget.empty())
        return;
    // Only our own link: someone may have pointed the name elsewhere meanwhile.
    char target[4096];
    const ssize_t n = ::readlink(m_options.link.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, size_t(n)) == m_linkTarget)
        ::unlink(m_options.link.c_str());
    m_linkTarget.clear();
}

void Simulator::peerClosed() {
    m_peerOpen = false;
    // What the reader did not take would greet the next one as stale data.
    ::tcflush(m_master, TCIOFLUSH);
    dropOutput();
    m_input.clear();
}

void Simulator::dropOutput() {
    reportWritten(now());
    m_outBase += m_out.size();
    m_out.clear();
    m_outPos = 0;
    m_floodEnds.clear();
}

void Simulator::noteWritten(Nanos t) {
    const uint64_t written = m_outBase + m_outPos;
    while (!m_floodEnds.empty() && m_floodEnds.front().end <= written) {
        const uint64_t seq = m_floodEnds.front().seq;
        m_floodEnds.pop_front();
        if (!m_spanFirst)
            m_spanFirst = seq;
        m_spanLast = seq;
        m_recent.push_back({t, seq});
    }
    while (!m_recent.empty() && m_recent.front().at < t - lastWrittenNs)
        m_recent.pop_front();
}

void Simulator::reportWritten(Nanos t) {
    if (!m_spanFirst)
        return;
    while (!m_recent.empty() && m_recent.front().at < t - lastWrittenNs)
        m_recent.pop_front();
    std::string recent;
    if (!m_recent.empty()) {
        char text[64];
        std::snprintf(text, sizeof text, " (from %07llu on in the last 20 ms)",
                      static_cast<unsigned long long>(m_recent.front().seq));
        recent = text;
    }
    std::fprintf(stderr, "gsmsim: lines SEQ %07llu to %07llu written%s\n",
                 static_cast<unsigned long long>(m_spanFirst),
                 static_cast<unsigned long long>(m_spanLast), recent.c_str());
    m_spanFirst = m_spanLast = 0;
    m_recent.clear();
}

void Simulator::checkPeer(Nanos t) {
    if (m_master < 0 || m_peerOpen || t - m_lastPeerCheck < peerCheckNs)
        return;
    m_lastPeerCheck = t;
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR)))
        return;
    m_peerOpen = true;
    m_peerOpenedAt = t;
    m_nextDebug = t + settleNs + m_period * msNs;
    m_floodBudget = 0;
    m_floodBudgetAt = t;
}

void Simulator::produce(Nanos t) {
    if (m_master < 0 || !m_peerOpen || t - m_peerOpenedAt < settleNs)
        return;
    if (m_bannerPending) {
        m_out += bootBanner();
        m_bannerPending = false;
    }
    if (m_period > 0 && t >= m_nextDebug) {
        // Lines missed while the reader was slow are skipped, not bunched up.
        m_out += debugLine(++m_debugCount);
        m_nextDebug = std::max(m_nextDebug + m_period * msNs, t);
    }
    const Nanos floodStart = m_peerOpenedAt + std::max(settleNs, m_options.startDelayMs * msNs);
    if (m_floodNext > m_options.flood || t < floodStart)
        return;
    const double lineBytes =
        double(floodLine(m_floodNext, m_options.lineLength, m_options.tag).size());
    if (m_options.rate > 0) {
        const Nanos since = std::max(floodStart, m_floodBudgetAt);
        m_floodBudget += double(t - since) * m_options.rate / 1e9;
        // Never more than a few lines' worth in one go after a stall.
        m_floodBudget = std::min(m_floodBudget, std::max(4 * lineBytes, m_options.rate / 50));
        m_floodBudgetAt = t;
    }
    while (m_floodNext <= m_options.flood && m_out.size() - m_outPos < floodQueueLimit) {
        if (m_options.rate > 0) {
            if (m_floodBudget < lineBytes)
                break;
            m_floodBudget -= lineBytes;
        }
        m_out += floodLine(m_floodNext, m_options.lineLength, m_options.tag);
        m_floodEnds.push_back({m_outBase + m_out.size(), m_floodNext++});
    }
    if (m_floodNext > m_options.flood && !m_floodAnnounced) {
        m_floodAnnounced = true;
        std::fprintf(stderr, "gsmsim: flood of %llu lines queued\n",
                     static_cast<unsigned long long>(m_options.flood));
    }
}

void Simulator::handleInput() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            std::vector<std::string> lines;
            m_input.feed(buffer, size_t(n), lines);
            for (const std::string& line : lines)
                m_out += answerCommand(line);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        peerClosed(); // EIO or end of file: the reader closed its side
        return;
    }
}

void Simulator::flushOutput() {
    while (m_outPos < m_out.size()) {
        const ssize_t n = ::write(m_master, m_out.data() + m_outPos, m_out.size() - m_outPos);
        if (n > 0) {
            m_outPos += size_t(n);
            noteWritten(now());
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        peerClosed();
        return;
    }
    if (m_outPos == m_out.size() || m_outPos > floodQueueLimit) {
        m_out.erase(0, m_outPos);
        m_outBase += m_outPos;
        m_outPos = 0;
    }
}

Simulator::Nanos Simulator::nextWake(Nanos t) const {
    Nanos wake = t + 3600 * 1000 * msNs;
    const auto consider = [&wake](Nanos at) { wake = std::min(wake, at); };
    if (m_unplugAt >= 0)
        consider(m_unplugAt);
    if (m_replugAt >= 0)
        consider(m_replugAt);
    if (m_master >= 0 && !m_peerOpen)
        consider(m_lastPeerCheck + peerCheckNs);
    if (m_master >= 0 && m_peerOpen) {
        const Nanos settled = m_peerOpenedAt + settleNs;
        if (t < settled)
            consider(settled);
        if (m_period > 0)
            consider(m_nextDebug);
        const Nanos floodStart = m_peerOpenedAt + std::max(settleNs, m_options.startDelayMs * msNs);
        if (m_floodNext <= m_options.flood) {
            if (t < floodStart) {
                consider(floodStart);
            } else if (m_options.rate > 0 && m_out.size() - m_outPos < floodQueueLimit) {
                const double lineBytes = double(m_options.lineLength);
                const double missing = std::max(0.0, lineBytes - m_floodBudget);
                consider(t + std::max(minPaceSleepNs, Nanos(missing * 1e9 / m_options.rate)));
            } else if (m_options.rate <= 0 && m_out.size() - m_outPos < floodQueueLimit)
                consider(t); // room for more at once; a full queue waits for POLLOUT
        }
    }
    return std::max(wake, t);
}

int Simulator::run(volatile const int& stopRequested) {
    if (!linkPathUsable())
        return 2;
    m_start = now();
    if (m_options.unplugAfter >= 0)
        m_unplugAt = m_start + Nanos(m_options.unplugAfter * 1e9);
    else if (m_options.unplugEvery > 0)
        m_unplugAt = m_start + Nanos(m_options.unplugEvery * 1e9);
    if (!plugIn())
        return 1;

    sigset_t waitMask;
    sigprocmask(SIG_SETMASK, nullptr, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);

    while (!stopRequested) {
        Nanos t = now();
        if (m_unplugAt >= 0 && t >= m_unplugAt) {
            m_unplugAt =
                m_options.unplugEvery > 0 ? m_unplugAt + Nanos(m_options.unplugEvery * 1e9) : -1;
            unplug();
            if (m_options.replugAfter >= 0)
                m_replugAt = t + Nanos(m_options.replugAfter * 1e9);
        }
        if (m_replugAt >= 0 && t >= m_replugAt) {
            m_replugAt = -1;
            if (!plugIn())
                return 1;
        }
        checkPeer(t);
        produce(t);
        if (m_master >= 0 && m_peerOpen)
            flushOutput();

        t = now();
        const Nanos wait = nextWake(t) - t;
        timespec timeout{time_t(wait / 1000000000), long(wait % 1000000000)};
        pollfd p{m_master, 0, 0};
        nfds_t count = 0;
        if (m_master >= 0 && m_peerOpen) {
            p.events = POLLIN | (m_outPos < m_out.size() ? POLLOUT : 0);
            count = 1;
        }
        const int rc = ::ppoll(count ? &p : nullptr, count, &timeout, &waitMask);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            std::perror("gsmsim: ppoll");
            return 1;
        }
        if (rc == 0 || count == 0)
            continue;
        if (p.revents & POLLIN)
            handleInput();
        if (m_peerOpen && (p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN))
            peerClosed();
    }
    reportWritten(now());
    return 0;
}

} // namespace gsmsim
