#pragma once
// The one place where a system call interrupted by a signal is repeated.
#include <cerrno>
#include <cstddef>

struct pollfd;

namespace platform {

// The standard error stream's descriptor (STDERR_FILENO).
constexpr int standardErrorFd = 2;

// Calls call() again while it fails with EINTR; returns its last result.
template <class Call> auto retryInterrupted(Call&& call) -> decltype(call()) {
    for (;;) {
        const auto result = call();
        if (!(result == -1 && errno == EINTR))
            return result;
    }
}

// poll() that goes on after a signal with the time that is left (a negative
// timeout waits without end). The result and errno are poll's.
int pollRetrying(pollfd* fds, unsigned long count, int timeoutMs);

// Writes all of data to fd, continuing after short writes. False (errno set)
// when a write fails or writes nothing.
bool writeAll(int fd, const void* data, size_t size);

} // namespace platform
