#include "platform/SharedMemory.h"

#include "platform/HexDigit.h"
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool plainChar(unsigned char c) {
    return c > 0x20 && c < 0x7F && c != '%' && c != '/';
}

} // namespace

std::string SharedMemory::encodeName(const std::string& name) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "/";
    for (unsigned char c : name) {
        if (plainChar(c)) {
            out += char(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0xF];
        }
    }
    return out;
}

std::string SharedMemory::decodeName(const std::string& objectName) {
    std::string out;
    size_t i = objectName.empty() || objectName[0] != '/' ? 0 : 1;
    for (; i < objectName.size(); ++i) {
        if (objectName[i] == '%' && i + 2 < objectName.size()) {
            const int hi = hexDigitValue(objectName[i + 1]);
            const int lo = hexDigitValue(objectName[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += objectName[i];
    }
    return out;
}

bool SharedMemory::exists(const std::string& name) {
    const int fd = shm_open(encodeName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

SharedMemory::~SharedMemory() {
    close();
}

int SharedMemory::open(const std::string& name, size_t size, bool& created) {
    close();
    created = false;
    const std::string objectName = encodeName(name);
    // Exclusive creation first, so "created" is exact even when two
    // processes arrive at the same moment.
    int fd = shm_open(objectName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        created = true;
    } else if (errno == EEXIST) {
        fd = shm_open(objectName.c_str(), O_RDWR | O_CLOEXEC, 0600);
    }
    if (fd < 0)
        return errno;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    // A creator that has not sized the object yet leaves it empty: growing
    // it to the full size is harmless for everyone (new bytes read as zero).
    if (size_t(st.st_size) < size && ftruncate(fd, off_t(size)) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    const int error = data == MAP_FAILED ? errno : 0;
    ::close(fd); // the mapping keeps the object
    if (error)
        return error;
    m_data = data;
    m_size = size;
    m_objectName = objectName;
    return 0;
}

void SharedMemory::close() {
    if (m_data)
        munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
}

int SharedMemory::unlink() {
    if (m_objectName.empty())
        return ENOENT;
    return shm_unlink(m_objectName.c_str()) == 0 ? 0 : errno;
}

} // namespace platform
