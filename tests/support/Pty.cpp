#include "tests/support/Pty.h"

#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

Pty::Pty(PtyOptions options) : m_options(options) {
    plug();
}

Pty::Pty(QString link, PtyOptions options) : m_link(std::move(link)), m_options(options) {}

Pty::~Pty() {
    unplug();
    closeSlave();
}

bool Pty::plug() {
    unplug();
    closeSlave();
    int slave = -1;
    char name[256] = {};
    if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0) {
        m_master = -1;
        return false;
    }
    m_slavePath = QFile::decodeName(name);
    if (m_options.raw) {
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(slave, TCSANOW, &t);
    }
    if (m_options.keepSlave)
        m_slave = slave;
    else
        ::close(slave);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (m_options.closeOnExec)
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    if (m_link.isEmpty())
        return true;
    const QByteArray temp = QFile::encodeName(m_link + QStringLiteral(".new"));
    ::unlink(temp.constData());
    return ::symlink(name, temp.constData()) == 0 &&
           ::rename(temp.constData(), QFile::encodeName(m_link).constData()) == 0;
}

void Pty::unplug() {
    if (m_master >= 0 && m_slave < 0 && m_heldNumber < 0)
        m_heldNumber = ::open(QFile::encodeName(m_slavePath).constData(),
                              O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void Pty::pull() {
    unplug();
    if (!m_link.isEmpty())
        ::unlink(QFile::encodeName(m_link).constData());
}

void Pty::closeSlave() {
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
    if (m_heldNumber >= 0)
        ::close(m_heldNumber);
    m_heldNumber = -1;
}

bool Pty::write(QByteArrayView bytes) {
    return ::write(m_master, bytes.data(), size_t(bytes.size())) == bytes.size();
}

bool Pty::writeAll(QByteArrayView bytes, int timeoutMs, bool stopOnHangUp) {
    QElapsedTimer timer;
    timer.start();
    qsizetype done = 0;
    while (done < bytes.size() && timer.elapsed() < timeoutMs) {
        const ssize_t n = ::write(m_master, bytes.data() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        pollfd p{m_master, POLLOUT, 0};
        ::poll(&p, 1, 20);
        if (stopOnHangUp && (p.revents & POLLHUP))
            return false;
    }
    return done == bytes.size();
}

QByteArray Pty::readNow() {
    QByteArray got;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return got;
        got.append(buffer, n);
    }
}

QByteArray Pty::read(qsizetype want, int timeoutMs) {
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < want && timer.elapsed() < timeoutMs) {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            char buffer[512];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
        }
    }
    return got;
}

bool Pty::readerPresent() const {
    pollfd p{m_master, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

} // namespace testsupport
