#include "tests/vm/Lab.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vmlab {

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

int envInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

int openRaw(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

Observer::Observer(const std::string& path)
    : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}

Observer::~Observer() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int Observer::modemBits() const {
    int bits = 0;
    return ::ioctl(m_fd, TIOCMGET, &bits) == 0 ? bits : -1;
}

int uartRegister(int offset) {
    const int fd = ::open("/dev/port", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    unsigned char value = 0;
    const ssize_t n = ::pread(fd, &value, 1, UartBase + offset);
    ::close(fd);
    return n == 1 ? value : -1;
}

// ---- the monitor ----------------------------------------------------------------------------

Monitor::Monitor() : m_fd(::open(MonitorPort, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    // The greeting came when the port was first opened; a second negotiation
    // is refused harmlessly, so it is always asked for.
    std::string error;
    if (m_fd >= 0 && !execute(R"({"execute":"qmp_capabilities"})", &error) &&
        error.find("already") == std::string::npos) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Monitor::~Monitor() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Monitor::readLine(std::string& line, int timeoutMs) {
    const auto start = Clock::now();
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return true;
        }
        const int left = timeoutMs - int(secondsSince(start) * 1000);
        if (left <= 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, left) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0)
            m_pending.append(buffer, size_t(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
    }
}

bool Monitor::execute(const std::string& command, std::string* error) {
    const std::string text = command + "\n";
    if (::write(m_fd, text.data(), text.size()) != ssize_t(text.size())) {
        *error = std::string("writing to the monitor: ") + std::strerror(errno);
        return false;
    }
    std::string line;
    while (readLine(line, 10000)) {
        const QJsonObject answer =
            QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (answer.contains(QLatin1String("event"))) {
            if (answer.value(QLatin1String("event")).toString() ==
                QLatin1String("DEVICE_DELETED")) {
                m_deletedSeen = true;
                m_deletedId = answer.value(QLatin1String("data"))
                                  .toObject()
                                  .value(QLatin1String("device"))
                                  .toString()
                                  .toStdString();
            }
            continue;
        }
        if (answer.contains(QLatin1String("return")))
            return true;
        if (answer.contains(QLatin1String("error"))) {
            *error = answer.value(QLatin1String("error"))
                         .toObject()
                         .value(QLatin1String("desc"))
                         .toString()
                         .toStdString();
            return false;
        }
    }
    *error = "the monitor did not answer";
    return false;
}

bool Monitor::waitDeleted(const std::string& id, int timeoutMs) {
    const auto start = Clock::now();
    std::string line;
    while (!(m_deletedSeen && m_deletedId == id)) {
        const int left = timeoutMs - int(secondsSince(start) * 1000);
        if (left <= 0 || !readLine(line, left))
            return false;
        const QJsonObject answer =
            QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (answer.value(QLatin1String("event")).toString() == QLatin1String("DEVICE_DELETED") &&
            answer.value(QLatin1String("data"))
                    .toObject()
                    .value(QLatin1String("device"))
                    .toString() == QString::fromStdString(id))
            break;
    }
    m_deletedSeen = false;
    return true;
}

bool pullFtdi(Monitor& monitor, std::string* error) {
    if (!monitor.execute(R"({"execute":"device_del","arguments":{"id":"ftdi0"}})", error))
        return false;
    if (!monitor.waitDeleted("ftdi0", 10000)) {
        *error = "the adapter was not removed";
        return false;
    }
    return true;
}

bool plugFtdi(Monitor& monitor, std::string* error) {
    return monitor.execute(R"({"execute":"device_add","arguments":{"driver":"usb-serial",)"
                           R"("id":"ftdi0","bus":"xhci.0","chardev":"ftdi","serial":"LAB0001"}})",
                           error);
}

bool bindGadget(bool bound, std::string* error) {
    const char* gadget = std::getenv("VMLAB_GADGET");
    const char* udc = std::getenv("VMLAB_UDC");
    if (!gadget || !udc) {
        *error = "no gadget (VMLAB_GADGET, VMLAB_UDC)";
        return false;
    }
    const std::string path = std::string(gadget) + "/UDC";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    const std::string text = bound ? std::string(udc) + "\n" : std::string("\n");
    const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    if (!ok)
        *error = path + ": " + std::strerror(errno);
    if (fd >= 0)
        ::close(fd);
    return ok;
}

unsigned long long deviceNumber(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) ? st.st_rdev : 0;
}

bool holdsDevice(long long pid, unsigned long long rdev) {
    if (rdev == 0)
        return false;
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return false;
    bool found = false;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        struct stat st {};
        if (::stat((dir + "/" + e->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
            st.st_rdev == rdev) {
            found = true;
            break;
        }
    }
    ::closedir(d);
    return found;
}

bool holdsDevice(long long pid, const std::string& path) {
    return holdsDevice(pid, deviceNumber(path));
}

} // namespace vmlab
