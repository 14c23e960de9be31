#include "tests/vm/Program.h"

#include <QFile>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vmlab {

Program::~Program() {
    m_child.stop();
}

bool Program::start(const QString& port, int baudIndex) {
    const QString port_ = QStringLiteral("Port");
    const QString advanced = QStringLiteral("Advanced");
    if (!m_world.ok() ||
        !m_world.writeHive({{port_, QStringLiteral("ComPort"), port, {}},
                            {port_, QStringLiteral("Baudrate"), {}, uint32_t(baudIndex)},
                            {advanced, QStringLiteral("AutoStart"), {}, 1u},
                            {advanced, QStringLiteral("AutoStartDelay"), {}, 100u}}))
        return false;
    // Another build of the program to hold against this one (VMLAB_DRALVO).
    const char* other = std::getenv("VMLAB_DRALVO");
    if (!other || !*other)
        return e2e::startDralvo(m_child, m_world);
    const QString config = QStringLiteral("config");
    return m_child.start(QString::fromLocal8Bit(other), {}, m_world.cwd(),
                         m_world.environment(config),
                         m_world.path(QStringLiteral("dralvo-") + config));
}

void LogFollower::poll() {
    if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return; // not written yet
    if (!m_file.seek(m_offset))
        return;
    const QByteArray more = m_file.readAll();
    m_offset += more.size();
    m_pending += more;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_pending.indexOf('\n', start);
        if (end < 0)
            break;
        const QByteArray line = m_pending.mid(start, end - start);
        start = end + 1;
        const qsizetype at = line.indexOf("SEQ ");
        if (at >= 0 && line.size() >= at + 11) {
            bool ok = false;
            const long long seq = line.mid(at + 4, 7).toLongLong(&ok);
            if (ok && onSeq)
                onSeq(seq);
            continue;
        }
        const qsizetype state = line.indexOf("\": ");
        if (state >= 0 && line.contains("COM port \"") && onState)
            onState(line.mid(state + 3).trimmed());
    }
    m_pending.remove(0, start);
}

namespace {

// Round trip of message 0 in milliseconds; negative when the socket did not answer.
double roundTrip(const std::string& path) {
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
        while (::poll(&p, 1, 20000) > 0 && ::read(fd, &c, 1) == 1 && c != '\n')
            answer += c;
        if (c == '\n' && answer == "0")
            result = secondsSince(t) * 1000.0;
    }
    ::close(fd);
    return result;
}

} // namespace

StallProbe::StallProbe(std::string socket, Clock::time_point t0)
    : m_socket(std::move(socket)), m_t0(t0) {
    m_thread = std::thread([this] {
        while (!m_stop) {
            const double at = secondsSince(m_t0);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_pendingSince = at;
            }
            const double ms = roundTrip(m_socket);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                // Until the first answer the socket may not be there yet.
                if (ms >= 0 || !m_samples.empty())
                    m_samples.push_back({at, ms});
                m_pendingSince = -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
}

StallProbe::~StallProbe() {
    stop();
}

void StallProbe::stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

double StallProbe::longestIn(double from, double to) {
    std::lock_guard<std::mutex> lock(m_mutex);
    double longest = 0;
    for (const Sample& s : m_samples)
        if (s.at >= from && s.at <= to)
            longest = std::max(longest, s.ms < 0 ? 20000.0 : s.ms);
    if (m_pendingSince >= 0 && m_pendingSince <= to)
        longest = std::max(longest, (secondsSince(m_t0) - m_pendingSince) * 1000);
    return longest;
}

double StallProbe::pendingMs() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pendingSince < 0 ? -1 : (secondsSince(m_t0) - m_pendingSince) * 1000;
}

double StallProbe::longest() {
    return longestIn(0, 1e9);
}

} // namespace vmlab
