#include "platform/GrabMessenger.h"

#include "platform/SysCall.h"
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

// Ids are the process id in the upper 22 bits (Linux pids fit) and a counter
// of this process in the lower 10, so they never repeat between living
// processes; the counter skips 0.
std::atomic<uint32_t> g_counter{0};

uint32_t nextId() {
    uint32_t n = 0;
    do
        n = g_counter.fetch_add(1) & 0x3FF;
    while (n == 0);
    return (uint32_t(getpid()) << 10) | n;
}

bool fillAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

std::string GrabMessenger::socketDirectory() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (dir && *dir)
        return dir;
    return "/tmp";
}

std::string GrabMessenger::socketPath(uint32_t id) {
    char name[64];
    std::snprintf(name, sizeof name, "/dralvo-grab-%08x.sock", unsigned(id));
    return socketDirectory() + name;
}

GrabMessenger::GrabMessenger(QObject* parent) : QObject(parent) {}

GrabMessenger::~GrabMessenger() {
    delete m_notifier;
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
}

bool GrabMessenger::open() {
    if (m_fd >= 0)
        return true;
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    auto bindTo = [&](uint32_t id, const std::string& path, const sockaddr_un& address) {
        if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            return false;
        m_fd = fd;
        m_id = id;
        m_path = path;
        m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { readPending(); });
        return true;
    };
    // A few tries in case ids of this process wrapped onto one still in use.
    for (int attempt = 0; attempt < 1024; ++attempt) {
        const uint32_t id = nextId();
        const std::string path = socketPath(id);
        sockaddr_un address;
        if (!fillAddress(path, address))
            break;
        if (bindTo(id, path, address))
            return true;
        if (errno != EADDRINUSE)
            break;
        // A file that nobody answers on is left from an ended process that
        // had our pid (only this process makes ids with its pid): reuse it.
        if (post(id, 0))
            continue;
        ::unlink(path.c_str());
        if (bindTo(id, path, address))
            return true;
    }
    ::close(fd);
    return false;
}

void GrabMessenger::readPending() {
    for (;;) {
        uint32_t message = 0;
        const ssize_t n = retryInterrupted([&] { return recv(m_fd, &message, sizeof message, 0); });
        if (n < 0)
            break;
        // Message 0 is only a probe whether the id is alive.
        if (n == ssize_t(sizeof message) && message != 0 && onMessage)
            onMessage(message);
    }
}

bool GrabMessenger::post(uint32_t id, uint32_t message) {
    if (id == 0)
        return false;
    sockaddr_un address;
    if (!fillAddress(socketPath(id), address))
        return false;
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const ssize_t n = retryInterrupted([&] {
        return sendto(fd, &message, sizeof message, MSG_DONTWAIT | MSG_NOSIGNAL,
                      reinterpret_cast<sockaddr*>(&address), sizeof address);
    });
    // A full queue (EAGAIN) means the receiver lives but is busy; it already
    // has messages to read, and one of them does the same work.
    const bool ok = n == ssize_t(sizeof message) || (n < 0 && errno == EAGAIN);
    ::close(fd);
    return ok;
}

} // namespace platform
