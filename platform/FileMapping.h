#pragma once
// A stretch of a file mapped read-only, and reading it so that a file cut
// short meanwhile cannot end the program.
//
// A page of a mapping that no longer has file behind it (another program
// truncated the file) raises SIGBUS when read. guardedRead() runs a scan with
// a handler armed for the calling thread: such a fault inside the armed
// stretch returns from guardedRead() with false instead. Any other SIGBUS is
// handled as before (the handler passes it on). Because the scan is left
// where it faulted, it must be plain code over the mapped bytes: no lock held
// and no object with a destructor created between the call and a read of
// the mapping, and no mapped byte handed to a library that could be inside
// its own bookkeeping then (a copy can be). Reading is what faults, nothing
// else does: the scan may allocate between its reads.
#include <cstddef>
#include <cstdint>

namespace platform {

class File;

class FileMapping {
public:
    FileMapping() = default;
    ~FileMapping();
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    // Maps bytes [offset, offset + length) of file; false (errno set) when
    // the system refuses. Replaces what was mapped before.
    bool map(const File& file, int64_t offset, int64_t length);
    void unmap();
    // The byte at offset; null when nothing is mapped.
    const char* data() const { return m_data; }
    int64_t length() const { return m_length; }

private:
    void* m_base = nullptr;
    size_t m_mapped = 0;
    const char* m_data = nullptr;
    int64_t m_length = 0;
};

// Calls scan(context) with a fault in [from, from + length) turned into a
// return of false (see above); true when the scan ran to its end.
bool guardedRead(const char* from, int64_t length, void (*scan)(void*), void* context);

} // namespace platform
