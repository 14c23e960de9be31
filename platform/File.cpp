#include "platform/File.h"

#include <QFile>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/SysCall.h"

namespace platform {

// ---- interrupted calls ---------------------------------------------------------

int pollRetrying(pollfd* fds, unsigned long count, int timeoutMs) {
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    int left = timeoutMs;
    for (;;) {
        const int rc = ::poll(fds, nfds_t(count), left);
        if (rc >= 0 || errno != EINTR)
            return rc;
        if (timeoutMs < 0)
            continue;
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const int64_t spent =
            (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        left = spent >= timeoutMs ? 0 : int(timeoutMs - spent);
    }
}

bool writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = retryInterrupted([&] { return ::write(fd, p, size); });
        if (n < 0)
            return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}

// ---- status ------------------------------------------------------------------------

namespace {

int64_t nanoseconds(const timespec& t) {
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileIdentity identityOf(const struct stat& st) {
    FileIdentity id;
    id.device = uint64_t(st.st_dev);
    id.inode = uint64_t(st.st_ino);
    id.size = int64_t(st.st_size);
    id.modifiedNs = nanoseconds(st.st_mtim);
    id.changedNs = nanoseconds(st.st_ctim);
    return id;
}

// The reason a file of this kind is not opened; 0 for a regular file.
int refusal(mode_t mode) {
    if (S_ISREG(mode))
        return 0;
    return S_ISDIR(mode) ? EISDIR : ENXIO;
}

} // namespace

PathStatus pathStatus(const QString& path) {
    PathStatus status;
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || ::stat(name.constData(), &st) != 0) {
        status.error = name.isEmpty() ? ENOENT : errno;
        return status;
    }
    status.exists = true;
    status.regular = S_ISREG(st.st_mode);
    status.directory = S_ISDIR(st.st_mode);
    status.identity = identityOf(st);
    status.mode = unsigned(st.st_mode & 07777);
    status.owner = uint32_t(st.st_uid);
    // A file without any write bit counts as read-only, also for root, who
    // could write it anyway: that is what its owner asked for.
    status.writable =
        (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(name.constData(), W_OK) == 0;
    return status;
}

std::string resolvedPath(const std::string& path) {
    std::string result;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        result = real;
        std::free(real);
    }
    return result;
}

QString fileErrorText(int error) {
    if (error == ENXIO)
        return QStringLiteral("not a regular file");
    return QString::fromLocal8Bit(std::strerror(error));
}

// ---- File ------------------------------------------------------------------------------

File::~File() {
    close();
}

File::File(File&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

int File::open(const QString& path, uint32_t access, uint32_t share, uint32_t disposition,
               uint32_t flags) {
    close();
    const bool reading = access & GENERIC_READ;
    const bool writing = access & GENERIC_WRITE;
    // A writer takes a lock so that the sharing rules hold between writers: one
    // that does not let others write holds it exclusively, one that does holds it
    // shared (and so still fails against an exclusive holder).
    const int lockMode = !writing ? 0 : (share & FILE_SHARE_WRITE) ? LOCK_SH : LOCK_EX;

    int openFlags = (reading && writing) ? O_RDWR : writing ? O_WRONLY : O_RDONLY;
    openFlags |= O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    bool truncate = false;
    switch (disposition) {
    case CREATE_NEW:
        openFlags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        openFlags |= O_CREAT;
        truncate = true;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        openFlags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        truncate = true;
        break;
    default:
        return EINVAL;
    }
    if (flags & FILE_FLAG_WRITE_THROUGH)
        openFlags |= O_DSYNC;

    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty())
        return ENOENT;
    // Look first, so that a device (a serial port, say) is not even opened;
    // the check on the descriptor below is the one that counts.
    struct stat st {};
    if (::stat(name.constData(), &st) == 0)
        if (const int why = refusal(st.st_mode))
            return why;

    const int fd = retryInterrupted([&] { return ::open(name.constData(), openFlags, 0666); });
    if (fd < 0)
        return errno;
    auto fail = [fd](int error) {
        ::close(fd);
        return error;
    };
    if (::fstat(fd, &st) != 0)
        return fail(errno);
    if (const int why = refusal(st.st_mode))
        return fail(why);
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        return fail(errno);
    if (lockMode != 0 && retryInterrupted([&] { return ::flock(fd, lockMode | LOCK_NB); }) != 0)
        return fail(errno);
    // Truncating only now: before the lock is ours it would destroy another
    // writer's data.
    if (truncate && ::ftruncate(fd, 0) != 0)
        return fail(errno);
    m_fd = fd;
    return 0;
}

void File::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int64_t File::read(void* data, int64_t count) {
    if (count <= 0)
        return 0;
    return retryInterrupted([&] { return ::read(m_fd, data, size_t(count)); });
}

int64_t File::readAt(int64_t offset, void* data, int64_t count) const {
    if (count <= 0)
        return 0;
    return retryInterrupted([&] { return ::pread(m_fd, data, size_t(count), off_t(offset)); });
}

void File::willRead(int64_t offset, int64_t count) const {
    if (m_fd >= 0 && count > 0)
        ::posix_fadvise(m_fd, off_t(offset), off_t(count), POSIX_FADV_WILLNEED);
}

bool File::readAll(QByteArray& out) {
    out.clear();
    const int64_t expected = size() - position();
    if (expected > 0)
        out.reserve(qsizetype(expected));
    char buffer[65536];
    for (;;) {
        const int64_t n = read(buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buffer, qsizetype(n));
    }
}

int64_t File::write(const void* data, int64_t count) {
    const char* p = static_cast<const char*>(data);
    int64_t done = 0;
    while (done < count) {
        const ssize_t n =
            retryInterrupted([&] { return ::write(m_fd, p + done, size_t(count - done)); });
        if (n < 0)
            return done > 0 ? done : -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

int64_t File::seek(int64_t offset, int origin) {
    const int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
    return ::lseek(m_fd, off_t(offset), whence);
}

int64_t File::position() const {
    return ::lseek(m_fd, 0, SEEK_CUR);
}

int64_t File::size() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return -1;
    return st.st_size;
}

std::optional<FileIdentity> File::identity() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return std::nullopt;
    return identityOf(st);
}

bool File::truncate(int64_t size) {
    return retryInterrupted([&] { return ::ftruncate(m_fd, off_t(size)); }) == 0;
}

bool File::sync() {
    return retryInterrupted([&] { return ::fsync(m_fd); }) == 0;
}

bool File::setMode(unsigned mode) {
    return ::fchmod(m_fd, mode_t(mode)) == 0;
}

bool File::lock(LockMode mode, bool wait) {
    int operation = mode == LockMode::Shared      ? LOCK_SH
                    : mode == LockMode::Exclusive ? LOCK_EX
                                                  : LOCK_UN;
    if (!wait)
        operation |= LOCK_NB;
    return retryInterrupted([&] { return ::flock(m_fd, operation); }) == 0;
}

void syncDirectory(const QString& dir) {
    const QByteArray name = QFile::encodeName(dir);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace platform
