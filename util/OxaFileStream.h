#pragma once
// TOxaFileStream: a byte stream over a file opened with the Win32 creation
// values.
#include <QString>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/File.h"

// The Win32 file-creation values understood by TOxaFileStream.
using platform::CREATE_ALWAYS;
using platform::CREATE_NEW;
using platform::FILE_ATTRIBUTE_NORMAL;
using platform::FILE_FLAG_WRITE_THROUGH;
using platform::FILE_SHARE_DELETE;
using platform::FILE_SHARE_READ;
using platform::FILE_SHARE_WRITE;
using platform::GENERIC_READ;
using platform::GENERIC_WRITE;
using platform::OPEN_ALWAYS;
using platform::OPEN_EXISTING;
using platform::TRUNCATE_EXISTING;

// Raised when TOxaFileStream cannot open or create its file.
class EFCreateError : public std::runtime_error {
public:
    explicit EFCreateError(const std::string& message, int error = 0)
        : std::runtime_error(message), m_error(error) {}
    int errorCode() const { return m_error; } // errno of the failing call
private:
    int m_error;
};

// A byte stream owning a file opened with the semantics of the five Win32
// creation values (platform::File): sharing that excludes other writers ("read
// only" or no sharing) is an exclusive flock, so a second writer fails to open;
// only regular files open, and the open never blocks (a FIFO, directory or
// device at the path fails with its own errno).
class TOxaFileStream {
public:
    TOxaFileStream(const QString& fileName, uint32_t desiredAccess, uint32_t shareMode,
                   uint32_t creationDisposition, uint32_t flagsAndAttributes);
    ~TOxaFileStream();
    TOxaFileStream(const TOxaFileStream&) = delete;
    TOxaFileStream& operator=(const TOxaFileStream&) = delete;

    int Handle() const { return m_file.handle(); }
    // Return the number of bytes transferred; -1 on error (errno kept).
    int64_t Write(const void* data, int64_t count);
    int64_t Read(void* data, int64_t count);
    // origin: 0 = from beginning, 1 = from current, 2 = from end. Returns the new position or -1.
    int64_t Seek(int64_t offset, int origin);
    int64_t Size() const;
    int64_t Position() const;
    // Cuts (or extends) the file to size bytes; the position moves to the new end.
    bool SetSize(int64_t size);
    // The device and inode of the open file (and its size and times).
    std::optional<platform::FileIdentity> Identity() const { return m_file.identity(); }

private:
    platform::File m_file;
};
