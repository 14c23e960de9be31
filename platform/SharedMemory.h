#pragma once
#include <cstddef>
#include <string>

namespace platform {

// A named block of memory shared between processes (POSIX shared memory).
// The name is free text; characters that a shared-memory name cannot hold are
// percent-encoded, so different texts always give different objects.
class SharedMemory {
public:
    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Creates or opens the block of the given size and maps it read-write.
    // created tells whether the block did not exist before (its bytes are then
    // zero). Returns 0 or an errno value.
    int open(const std::string& name, size_t size, bool& created);
    // Unmaps and closes; the object itself stays for other processes.
    void close();
    // Removes the name, so the next open creates a fresh block. Processes
    // that still have it mapped keep their mapping.
    int unlink();

    void* data() const { return m_data; }
    size_t size() const { return m_size; }
    bool isOpen() const { return m_data != nullptr; }
    const std::string& objectName() const { return m_objectName; }

    // The object name for a free-text name: "/" followed by the text with
    // '%', '/', control characters, spaces and every byte outside ASCII
    // written as %XX. Reversible with decodeName.
    static std::string encodeName(const std::string& name);
    static std::string decodeName(const std::string& objectName);
    // Whether an object of that free-text name exists now.
    static bool exists(const std::string& name);

private:
    void* m_data = nullptr;
    size_t m_size = 0;
    std::string m_objectName;
};

} // namespace platform
