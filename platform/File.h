#pragma once
// Files the way the program opens them everywhere: with the five Win32
// creation values, never blocking, and only when the path names a regular
// file (or a symbolic link to one).
//
// A FIFO, a socket or a device at a path the program opens would block the
// open or the first read for good, answer writes with SIGPIPE, or never end
// (/dev/zero); a directory cannot be read or written as a file. Each of them
// fails the open with its own reason: EISDIR for a directory, ENXIO ("not a
// regular file", fileErrorText) for the rest. The open is made with O_NONBLOCK,
// so not even a FIFO without a writer holds it up, and the flag is cleared once
// the descriptor is known to be a regular file.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// ---- Win32 file-creation values --------------------------------------------
constexpr uint32_t GENERIC_READ = 0x80000000u;
constexpr uint32_t GENERIC_WRITE = 0x40000000u;
constexpr uint32_t FILE_SHARE_READ = 0x1u;
constexpr uint32_t FILE_SHARE_WRITE = 0x2u;
constexpr uint32_t FILE_SHARE_DELETE = 0x4u;
constexpr uint32_t CREATE_NEW = 1;
constexpr uint32_t CREATE_ALWAYS = 2;
constexpr uint32_t OPEN_EXISTING = 3;
constexpr uint32_t OPEN_ALWAYS = 4;
constexpr uint32_t TRUNCATE_EXISTING = 5;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80u;
constexpr uint32_t FILE_FLAG_WRITE_THROUGH = 0x80000000u;

// What identifies one version of a file: a change of any of these means the
// file was replaced or written since.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What the system says about a path, without opening it (links followed).
struct PathStatus {
    bool exists = false;
    bool regular = false;
    bool directory = false;
    FileIdentity identity;
    unsigned mode = 0;     // permission bits
    uint32_t owner = 0;    // user id
    bool writable = false; // the caller may write it, and it is not marked read-only
    int error = 0;         // errno of the failed look-up (ENOENT when missing)
};
PathStatus pathStatus(const QString& path);

// The absolute path that path names with every link and "." or ".." resolved
// (the path of the file itself); empty when it does not resolve.
std::string resolvedPath(const std::string& path);

// The reason for an errno from File::open or the other calls here, in words:
// the system's text, except "not a regular file" for ENXIO.
QString fileErrorText(int error);

class File {
public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens path: desired access (GENERIC_READ, GENERIC_WRITE), share mode,
    // creation disposition, flags and attributes (FILE_FLAG_WRITE_THROUGH is
    // O_DSYNC). A writer that does not share writing takes an exclusive flock,
    // one that does a shared flock, both without waiting, so a second writer
    // of a file opened "shared for reading only" fails (EWOULDBLOCK); a
    // truncation waits until the lock is held. A new file gets the usual
    // rights (0666 less the umask). Returns 0 or the errno; EISDIR and ENXIO
    // as described above.
    int open(const QString& path, uint32_t access, uint32_t share, uint32_t disposition,
             uint32_t flags = FILE_ATTRIBUTE_NORMAL);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int handle() const { return m_fd; }

    // Bytes read (0 at the end), or -1 with errno.
    int64_t read(void* data, int64_t count);
    // Bytes read at offset without moving the position (0 at the end), or -1
    // with errno. Many threads may read one file at once this way.
    int64_t readAt(int64_t offset, void* data, int64_t count) const;
    // Asks the system to bring bytes [offset, offset + count) into memory
    // without waiting for them: reads of several stretches asked for first
    // wait for the disk once, together, instead of once each.
    void willRead(int64_t offset, int64_t count) const;
    // Everything from the current position to the end; false with errno.
    bool readAll(QByteArray& out);
    // Bytes written: all of them unless the system stops early; -1 with errno
    // when nothing could be written.
    int64_t write(const void* data, int64_t count);
    // origin: 0 from the beginning, 1 from the current position, 2 from the
    // end. The new position, or -1.
    int64_t seek(int64_t offset, int origin);
    int64_t position() const;
    int64_t size() const; // -1 when unknown
    std::optional<FileIdentity> identity() const;
    bool truncate(int64_t size);
    bool sync();                 // the data reach the disk
    bool setMode(unsigned mode); // permission bits

    // An advisory lock on the whole file (flock); with wait false a lock held
    // elsewhere fails at once (EWOULDBLOCK).
    enum class LockMode { Shared, Exclusive, Unlock };
    bool lock(LockMode mode, bool wait);

private:
    int m_fd = -1;
};

// Writes the rename of a file in dir to the disk (fsync of the folder).
void syncDirectory(const QString& dir);

} // namespace platform
