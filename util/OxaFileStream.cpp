#include "util/OxaFileStream.h"

#include <algorithm>

TOxaFileStream::TOxaFileStream(const QString& fileName, uint32_t desiredAccess, uint32_t shareMode,
                               uint32_t creationDisposition, uint32_t flagsAndAttributes) {
    if (const int error = m_file.open(fileName, desiredAccess, shareMode, creationDisposition,
                                      flagsAndAttributes))
        throw EFCreateError("Cannot create file " + fileName.toLocal8Bit().toStdString(), error);
}

TOxaFileStream::~TOxaFileStream() = default;

int64_t TOxaFileStream::Write(const void* data, int64_t count) {
    return m_file.write(data, count);
}

int64_t TOxaFileStream::Read(void* data, int64_t count) {
    return m_file.read(data, std::max<int64_t>(count, 0));
}

int64_t TOxaFileStream::Seek(int64_t offset, int origin) {
    return m_file.seek(offset, origin);
}

int64_t TOxaFileStream::Size() const {
    return m_file.size();
}

int64_t TOxaFileStream::Position() const {
    return m_file.position();
}

bool TOxaFileStream::SetSize(int64_t size) {
    return m_file.truncate(size) && m_file.seek(size, 0) == size;
}
