#pragma once
// A pseudo-terminal standing in for a serial adapter, reached through a stable
// symbolic link so a test can "unplug" it and plug a new one in behind the
// same name.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

class PtyFixture {
public:
    explicit PtyFixture(QString linkPath) : m_link(std::move(linkPath)) {}
    ~PtyFixture() { unplug(); }

    const QString& link() const { return m_link; }
    bool plugged() const { return m_master >= 0; }

    // A fresh pty behind the link (swapped in atomically).
    bool plug() {
        unplug();
        int slave = -1;
        char name[256] = {};
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            return false;
        // Nobody but the program under test keeps the slave open.
        ::close(slave);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        const QByteArray temp = QFile::encodeName(m_link + ".new");
        ::unlink(temp.constData());
        return ::symlink(name, temp.constData()) == 0 &&
               ::rename(temp.constData(), QFile::encodeName(m_link).constData()) == 0;
    }
    // Closing the master is what pulling a USB adapter looks like to the program.
    // The name goes with it, as a pulled adapter's device node does: the freed
    // pty number is soon handed to another test running beside this one, and a
    // link left behind would lead the program to that test's line.
    void unplug() {
        if (m_master < 0)
            return;
        ::unlink(QFile::encodeName(m_link).constData());
        ::close(m_master);
        m_master = -1;
    }

    bool write(const QByteArray& bytes) {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Writes all bytes, waiting while the line is full (at most timeoutMs in all).
    bool writeAll(const QByteArray& bytes, int timeoutMs = 10000) {
        QElapsedTimer timer;
        timer.start();
        qsizetype done = 0;
        while (done < bytes.size() && timer.elapsed() < timeoutMs) {
            const ssize_t n =
                ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            pollfd pfd{m_master, POLLOUT, 0};
            ::poll(&pfd, 1, 20);
        }
        return done == bytes.size();
    }
    // What the program sent, gathered until want bytes arrived or timeoutMs passed.
    QByteArray read(int want, int timeoutMs = 3000) {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (got.size() < want && timer.elapsed() < timeoutMs) {
            pollfd pfd{m_master, POLLIN, 0};
            if (::poll(&pfd, 1, 20) > 0) {
                char buffer[512];
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                if (n > 0)
                    got.append(buffer, n);
            }
        }
        return got;
    }

private:
    QString m_link;
    int m_master = -1;
};
