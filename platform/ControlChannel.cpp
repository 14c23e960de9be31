#include "platform/ControlChannel.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <vector>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/SysCall.h"
#include "platform/ThisProcess.h"

// The socket is set up by hand rather than by QLocalServer, which cannot bind
// it mode 0600 inside a 0700 folder before it is reachable, take over a stale
// socket atomically, or check the peer's user (SO_PEERCRED).
namespace platform {

QString controlSocketDir() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QString::fromLocal8Bit(runtime);
    return QStringLiteral("/tmp/dralvo-%1").arg(::getuid());
}

bool prepareControlSocketDir(const QString& dir, QString* why) {
    auto refuse = [&](const QString& reason) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(dir, reason);
        return false;
    };
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFile::encodeName(dir) == runtime)
        return true; // the session made it for this user
    const QByteArray path = QFile::encodeName(dir);
    if (path.isEmpty())
        return refuse(QStringLiteral("no folder"));
    if (::mkdir(path.constData(), S_IRWXU) != 0 && errno != EEXIST)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISDIR(st.st_mode))
        return refuse(QStringLiteral("not a folder"));
    if (st.st_uid != ::geteuid())
        return refuse(QStringLiteral("the folder belongs to another user (uid %1)").arg(st.st_uid));
    if ((st.st_mode & 077) != 0)
        return refuse(QStringLiteral("others may use the folder (mode %1, 700 expected)")
                          .arg(st.st_mode & 0777, 3, 8, QLatin1Char('0')));
    return true;
}

void ignoreBrokenPipe() {
    ::signal(SIGPIPE, SIG_IGN);
}

QString controlSocketPath(const QString& dir, const QString& baseName, long long pid) {
    QString name = baseName;
    if (pid != 0)
        name += QLatin1Char('-') + QString::number(pid);
    return dir + QLatin1Char('/') + name + QStringLiteral(".ctl");
}

std::optional<uint32_t> parseControlMessage(const QByteArray& text) {
    const QByteArray t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    int base = 10;
    QByteArray digits = t;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        digits = t.mid(2);
    }
    // QByteArray::toULongLong accepts a sign and blanks; a message number has neither.
    for (char c : digits) {
        const bool ok = base == 10 ? (c >= '0' && c <= '9')
                                   : ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                                      (c >= 'A' && c <= 'F'));
        if (!ok)
            return std::nullopt;
    }
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, base);
    if (!ok || value > 0xFFFFFFFFull)
        return std::nullopt;
    return uint32_t(value);
}

namespace {

bool fillAddress(sockaddr_un& addr, const QByteArray& path) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    return true;
}

// What stands where a socket should go, in words; empty when nothing does.
QString whatIsThere(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return QString();
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("a directory");
    if (S_ISREG(st.st_mode))
        return QStringLiteral("a plain file");
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("a symbolic link");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("a socket");
    return QStringLiteral("a special file");
}

// True when a server accepts connections at path.
bool someoneListens(const QByteArray& path) {
    sockaddr_un addr;
    if (!fillAddress(addr, path))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool live = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return live;
}

} // namespace

ControlChannel::ControlChannel(QObject* parent) : QObject(parent) {
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_clientNotifier = new QSocketNotifier(qintptr(m_epoll), QSocketNotifier::Read, this);
    connect(m_clientNotifier, &QSocketNotifier::activated, this, &ControlChannel::serveClients);
    m_clock.start();
    m_sweepTimer = new QTimer(this);
    m_sweepTimer->setInterval(SweepIntervalMs);
    connect(m_sweepTimer, &QTimer::timeout, this, &ControlChannel::sweepSilentClients);
}

ControlChannel::~ControlChannel() {
    close();
    OnClientGone = nullptr; // its owner may be half gone already
    while (!m_clientsById.empty())
        drop(m_clientsById.begin()->second);
    delete m_clientNotifier;
    ::close(m_epoll);
}

bool ControlChannel::listen(const QString& dir, const QString& baseName) {
    close();
    m_error.clear();
    m_fallbackReason.clear();
    if (!prepareControlSocketDir(dir, &m_error))
        return false;
    m_firstPath = controlSocketPath(dir, baseName);
    if (listenAt(m_firstPath, true))
        return true;
    const QByteArray first = QFile::encodeName(m_firstPath);
    const QString there = whatIsThere(first);
    if (there == QLatin1String("a socket"))
        m_fallbackReason = someoneListens(first)
                               ? QStringLiteral("another running instance answers there")
                               : QStringLiteral("the socket there cannot be replaced");
    else if (!there.isEmpty())
        m_fallbackReason = QStringLiteral("%1 is in its place").arg(there);
    else
        m_fallbackReason = QStringLiteral("the name cannot be used");
    // Our own pid cannot belong to a live instance, so whatever is there is stale.
    if (listenAt(controlSocketPath(dir, baseName, ::getpid()), true))
        return true;
    m_fallbackReason.clear();
    m_error = QStringLiteral("%1: cannot listen there").arg(dir);
    return false;
}

bool ControlChannel::listenAt(const QString& path, bool replaceStale) {
    const QByteArray target = QFile::encodeName(path);
    sockaddr_un probe;
    if (!fillAddress(probe, target))
        return false;
    struct stat existing {};
    if (::lstat(target.constData(), &existing) == 0) {
        if (!replaceStale || !S_ISSOCK(existing.st_mode) || someoneListens(target))
            return false;
    }

    // Bind inside a private folder, restrict the file, then move it into place:
    // the socket is never reachable by others, not even for a moment, and the
    // rename replaces a stale file atomically.
    QByteArray privateDir = target + ".XXXXXX";
    if (::mkdtemp(privateDir.data()) == nullptr)
        return false;
    const QByteArray tempPath = privateDir + "/s";
    sockaddr_un addr;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    bool ok = fd >= 0 && fillAddress(addr, tempPath) &&
              ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
              ::chmod(tempPath.constData(), S_IRUSR | S_IWUSR) == 0 &&
              // The kernel caps the backlog at its own limit (net.core.somaxconn):
              // many clients at once wait instead of being refused.
              ::listen(fd, INT_MAX) == 0 && ::rename(tempPath.constData(), target.constData()) == 0;
    ::unlink(tempPath.constData());
    ::rmdir(privateDir.constData());
    struct stat st {};
    ok = ok && ::lstat(target.constData(), &st) == 0;
    if (!ok) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_inode = st.st_ino;
    m_notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { acceptClients(); });
    const long long limit = descriptorLimit();
    m_maxClients = limit < 0
                       ? INT_MAX / 2
                       : int(std::max<long long>(
                             8, std::min<long long>(limit - ReservedDescriptors, INT_MAX / 2)));
    return true;
}

void ControlChannel::close() {
    if (m_fd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    delete m_resumeTimer;
    m_resumeTimer = nullptr;
    m_paused = false;
    ::close(m_fd);
    m_fd = -1;
    // Remove the file only while it is still ours: another instance may have
    // taken the name over after treating it as stale.
    const QByteArray target = QFile::encodeName(m_path);
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0 && st.st_ino == m_inode && S_ISSOCK(st.st_mode))
        ::unlink(target.constData());
    m_path.clear();
}

void ControlChannel::pauseAccepting() {
    // The listening socket stays readable while clients wait in its backlog;
    // watching it meanwhile would only spin.
    if (m_paused || !m_notifier)
        return;
    m_paused = true;
    m_notifier->setEnabled(false);
    if (!m_resumeTimer) {
        m_resumeTimer = new QTimer(this);
        m_resumeTimer->setSingleShot(true);
        connect(m_resumeTimer, &QTimer::timeout, this, [this] { resumeAccepting(); });
    }
    m_resumeTimer->start(PausedRetryMs);
}

void ControlChannel::resumeAccepting() {
    if (!m_paused || !m_notifier)
        return;
    m_paused = false;
    if (m_resumeTimer)
        m_resumeTimer->stop();
    m_notifier->setEnabled(true);
    acceptClients(); // those waiting are taken now, not at the next connection
}

struct ControlChannel::Client {
    ClientId id = 0;
    int fd = -1;
    QByteArray in;                 // what the client sent, until its request line is whole
    QByteArray out;                // written but not yet taken by the client
    bool writing = false;          // watched for room to write, too
    qint64 deadline = 0;           // ms of the steady clock: dropped then if still silent
    bool requested = false;        // its request line has been read
    bool closeWhenFlushed = false; // a reply: the end follows the last byte
    long long skipped = 0;         // stream lines skipped since it fell behind
};

ControlChannel::Client* ControlChannel::find(ClientId id) const {
    const auto it = m_clientsById.find(id);
    return it == m_clientsById.end() ? nullptr : it->second;
}

bool ControlChannel::hasClient(ClientId id) const {
    return find(id) != nullptr;
}

void ControlChannel::drop(Client* client) {
    const ClientId id = client->id;
    m_clientsById.erase(id);
    ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, client->fd, nullptr);
    ::close(client->fd);
    delete client;
    --m_clients;
    if (m_paused)
        resumeAccepting(); // a descriptor is free again
    if (OnClientGone)
        OnClientGone(id);
}

void ControlChannel::closeClient(ClientId id) {
    if (Client* client = find(id))
        drop(client);
}

void ControlChannel::sweepSilentClients() {
    // Clients that said nothing whole in time are dropped, a batch at a time,
    // so that many of them never hold up the loop for long.
    const qint64 now = m_clock.elapsed();
    std::vector<ClientId> expired;
    bool waiting = false;
    for (const auto& [id, client] : m_clientsById) {
        if (client->requested)
            continue;
        if (client->deadline <= now && expired.size() < size_t(AcceptBatch))
            expired.push_back(id);
        else
            waiting = true;
    }
    for (ClientId id : expired)
        closeClient(id);
    if (!waiting && expired.size() < size_t(AcceptBatch))
        m_sweepTimer->stop();
}

void ControlChannel::acceptClients() {
    int accepted = 0;
    while (!m_paused) {
        if (m_clients >= m_maxClients) {
            pauseAccepting(); // the rest wait until a client leaves
            return;
        }
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            const int e = errno;
            if (e == EMFILE || e == ENFILE || e == ENOBUFS || e == ENOMEM) {
                if (!m_exhaustionTraced && OnTrace) {
                    m_exhaustionTraced = true;
                    OnTrace(QStringLiteral("control socket: cannot accept a client (%1, %2 clients "
                                           "open); accepting waits until one leaves")
                                .arg(QString::fromLocal8Bit(std::strerror(e)))
                                .arg(m_clients));
                }
                pauseAccepting();
            }
            return;
        }
        auto* client = new Client;
        client->id = m_nextId++;
        client->fd = fd;
        m_clientsById[client->id] = client;
        ++m_clients;
        watch(client, EPOLL_CTL_ADD);
        client->deadline = m_clock.elapsed() + ClientTimeoutMs;
        if (!m_sweepTimer->isActive())
            m_sweepTimer->start();
        readClient(client);
        // Others waiting for the loop (a timer, a request) get their turn
        // between batches; the notifier fires again for the rest.
        if (++accepted >= AcceptBatch)
            return;
    }
}

namespace {

// Whether a first line is a message number as clients have always sent them:
// empty, or beginning with a digit, a sign or a blank.
bool looksLikeMessage(const QByteArray& line) {
    if (line.isEmpty())
        return true;
    const char c = line.front();
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == ' ' || c == '\t' || c == '\r' ||
           c == '\n';
}

QByteArray withoutLineEnds(QByteArray line) {
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return line;
}

} // namespace

ControlRequest readControlRequest(const QByteArray& received) {
    ControlRequest request;
    const qsizetype end = received.indexOf('\n');
    const QByteArray first = end < 0 ? received : received.left(end + 1);
    if (end < 0) {
        request.complete = received.size() > ControlChannel::MaxLineLength;
        if (!request.complete)
            return request;
    } else {
        request.complete = true;
    }
    request.isMessage = looksLikeMessage(first);
    if (request.isMessage) {
        if (end >= 0 && end <= ControlChannel::MaxLineLength)
            request.message = parseControlMessage(first);
        return request;
    }
    if (end < 0 || end > ControlChannel::MaxLineLength)
        request.tooLong = true;
    else
        request.line = withoutLineEnds(first);
    return request;
}

void ControlChannel::readClient(Client* client) {
    char buffer[4096];
    for (;;) {
        const ssize_t n =
            retryInterrupted([&] { return ::recv(client->fd, buffer, sizeof buffer, 0); });
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            drop(client); // the client has gone
            return;
        }
        if (n < 0)
            return;
        // Whatever follows the request line is never looked at.
        if (client->requested)
            continue;
        client->in.append(buffer, n);
        const ControlRequest request =
            readControlRequest(client->in.left(ControlChannel::MaxLineLength + 1));
        if (!request.complete)
            continue;
        client->requested = true;
        client->in.clear();
        const ClientId id = client->id;
        if (request.isMessage) {
            int result = 0;
            if (request.message && OnMessage)
                result = OnMessage(*request.message);
            reply(id, QByteArray::number(result) + '\n');
        } else if (OnRequest) {
            OnRequest(id, request.line, request.tooLong);
        } else {
            reply(id, "error: this program takes message numbers only\n");
        }
        client = find(id); // the handler may have dropped it
        if (!client)
            return;
    }
}

void ControlChannel::queue(Client* client, const char* data, qsizetype size) {
    if (client->out.isEmpty()) {
        // Straight to the socket while it has room; only the rest waits.
        const ssize_t n = retryInterrupted(
            [&] { return ::send(client->fd, data, size_t(size), MSG_DONTWAIT | MSG_NOSIGNAL); });
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            drop(client);
            return;
        }
        if (n > 0) {
            data += n;
            size -= n;
        }
    }
    if (size > 0) {
        client->out.append(data, size);
        if (!client->writing) {
            client->writing = true;
            watch(client, EPOLL_CTL_MOD);
        }
    } else if (client->closeWhenFlushed) {
        drop(client);
    }
}

void ControlChannel::writeClient(Client* client) {
    while (!client->out.isEmpty()) {
        const ssize_t n = retryInterrupted([&] {
            return ::send(client->fd, client->out.constData(), size_t(client->out.size()),
                          MSG_DONTWAIT | MSG_NOSIGNAL);
        });
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            drop(client);
            return;
        }
        client->out.remove(0, n);
        // Caught up far enough: say what was skipped before the next lines.
        if (client->skipped > 0 && client->out.size() < MaxPendingBytes / 2) {
            client->out.append(
                QStringLiteral("-- %1 lines skipped --\n").arg(client->skipped).toLatin1());
            client->skipped = 0;
        }
    }
    client->writing = false;
    watch(client, EPOLL_CTL_MOD);
    if (client->closeWhenFlushed)
        drop(client);
}

void ControlChannel::watch(Client* client, int operation) {
    epoll_event event{};
    event.events = EPOLLIN | (client->writing ? EPOLLOUT : 0u);
    event.data.u64 = client->id;
    ::epoll_ctl(m_epoll, operation, client->fd, &event);
}

void ControlChannel::serveClients() {
    // One descriptor in the event loop for all clients, however many there
    // are: polling each on every turn of the loop would cost more than they do.
    epoll_event events[64];
    const int n = retryInterrupted([&] { return ::epoll_wait(m_epoll, events, 64, 0); });
    for (int i = 0; i < n; ++i) {
        const ClientId id = events[i].data.u64;
        if (Client* c = find(id);
            c && (events[i].events & (EPOLLOUT | EPOLLERR | EPOLLHUP)) && c->writing)
            writeClient(c);
        if (Client* c = find(id); c && (events[i].events & (EPOLLIN | EPOLLERR | EPOLLHUP)))
            readClient(c);
    }
}

void ControlChannel::reply(ClientId id, const QByteArray& text) {
    Client* client = find(id);
    if (!client)
        return;
    client->closeWhenFlushed = true;
    // The client may still be writing; what it sends now is ignored.
    queue(client, text.constData(), text.size());
}

bool ControlChannel::stream(ClientId id, const QByteArray& lines) {
    Client* client = find(id);
    if (!client || client->closeWhenFlushed)
        return false;
    if (client->skipped > 0 && client->out.size() < MaxPendingBytes / 2) {
        const QByteArray notice =
            QStringLiteral("-- %1 lines skipped --\n").arg(client->skipped).toLatin1();
        client->skipped = 0;
        queue(client, notice.constData(), notice.size());
        client = find(id);
        if (!client)
            return false;
    }
    if (client->skipped > 0 || client->out.size() + lines.size() > MaxPendingBytes) {
        // A client that does not read never holds anyone up: its lines go.
        client->skipped += std::max<qsizetype>(1, lines.count('\n'));
        return false;
    }
    queue(client, lines.constData(), lines.size());
    return true;
}

namespace {

// Connects to the server at path, having checked that it runs as this user;
// the descriptor, or -1 with the reason in *why.
int connectToOwnServer(const QString& path, QString* why) {
    sockaddr_un addr;
    if (!fillAddress(addr, QFile::encodeName(path))) {
        *why = QStringLiteral("socket path is empty or too long");
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int e = errno;
        ::close(fd);
        *why = QStringLiteral("cannot connect to %1: %2")
                   .arg(path, QString::fromLocal8Bit(std::strerror(e)));
        return -1;
    }
    ucred peer{};
    socklen_t peerSize = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &peerSize) != 0) {
        const int e = errno;
        ::close(fd);
        *why = QStringLiteral("cannot check who listens at %1: %2")
                   .arg(path, QString::fromLocal8Bit(std::strerror(e)));
        return -1;
    }
    if (peer.uid != ::getuid()) {
        ::close(fd);
        *why = QStringLiteral("%1 belongs to another user (uid %2, not %3); nothing was sent")
                   .arg(path)
                   .arg(peer.uid)
                   .arg(::getuid());
        return -1;
    }
    return fd;
}

bool sendLine(int fd, const QByteArray& request) {
    QByteArray line = request;
    if (!line.endsWith('\n'))
        line += '\n';
    const char* p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n =
            retryInterrupted([&] { return ::send(fd, p, size_t(left), MSG_NOSIGNAL); });
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

bool runControlRequest(const QString& path, const QByteArray& request,
                       const std::function<void(const QByteArray& output)>& onOutput,
                       QString* error, int timeoutMs) {
    QString why;
    const int fd = connectToOwnServer(path, &why);
    if (fd < 0) {
        if (error)
            *error = why;
        return false;
    }
    if (!sendLine(fd, request)) {
        ::close(fd);
        if (error)
            *error = QStringLiteral("cannot send the request");
        return false;
    }
    const QDeadlineTimer deadline =
        timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    bool ended = false;
    for (;;) {
        const qint64 left = deadline.remainingTime(); // -1 for ever
        if (left == 0)
            break;
        pollfd pfd{fd, POLLIN, 0};
        if (pollRetrying(&pfd, 1, left < 0 ? -1 : int(std::min<qint64>(left, INT_MAX))) <= 0)
            break;
        char buffer[16384];
        const ssize_t n = retryInterrupted([&] { return ::read(fd, buffer, sizeof buffer); });
        if (n <= 0) {
            ended = n == 0;
            break;
        }
        onOutput(QByteArray(buffer, n));
    }
    ::close(fd);
    if (!ended && error)
        *error = QStringLiteral("no complete answer in time");
    return ended;
}

long long sendControlMessage(const QString& path, const QByteArray& request, QString* error,
                             int timeoutMs) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return -1LL;
    };
    QString why;
    const int fd = connectToOwnServer(path, &why);
    if (fd < 0)
        return fail(why);
    if (!sendLine(fd, request)) {
        ::close(fd);
        return fail(QStringLiteral("cannot send the request"));
    }
    QByteArray reply;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            break;
        pollfd pfd{fd, POLLIN, 0};
        if (pollRetrying(&pfd, 1, int(left)) <= 0)
            break;
        char buffer[64];
        const ssize_t n = retryInterrupted([&] { return ::read(fd, buffer, sizeof buffer); });
        if (n <= 0)
            break;
        reply.append(buffer, n);
        if (reply.contains('\n') || reply.size() > 64)
            break;
    }
    ::close(fd);
    const qsizetype end = reply.indexOf('\n');
    if (end < 0)
        return fail(QStringLiteral("no answer"));
    bool ok = false;
    const long long value = reply.left(end).trimmed().toLongLong(&ok);
    if (!ok)
        return fail(QStringLiteral("unexpected answer"));
    return value;
}

// ---- termination signals ------------------------------------------------------

namespace {
int signalPipe[2] = {-1, -1};
struct sigaction previous[3];
constexpr int handledSignals[3] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe means close requests are already queued; losing this one is harmless.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}
} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (signalPipe[0] >= 0)
        return; // one instance per process
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        signalPipe[0] = signalPipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(qintptr(signalPipe[0]), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readPipe(); });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: a signal during the save must not make its file writes fail with EINTR.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(handledSignals[i], &action, &previous[i]);
}

TerminationSignals::~TerminationSignals() {
    if (!m_notifier)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(handledSignals[i], &previous[i], nullptr);
    delete m_notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void TerminationSignals::readPipe() {
    unsigned char buffer[16];
    for (;;) {
        const ssize_t n =
            retryInterrupted([&] { return ::read(signalPipe[0], buffer, sizeof buffer); });
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            if (OnSignal)
                OnSignal(buffer[i]);
    }
}

} // namespace platform
