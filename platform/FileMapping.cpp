#include "platform/FileMapping.h"

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/File.h"

namespace platform {

FileMapping::~FileMapping() {
    unmap();
}

void FileMapping::unmap() {
    if (m_base)
        ::munmap(m_base, m_mapped);
    m_base = nullptr;
    m_mapped = 0;
    m_data = nullptr;
    m_length = 0;
}

bool FileMapping::map(const File& file, int64_t offset, int64_t length) {
    unmap();
    if (length <= 0 || offset < 0) {
        errno = EINVAL;
        return false;
    }
    static const int64_t page = ::sysconf(_SC_PAGESIZE);
    const int64_t start = offset / page * page;
    const size_t size = size_t(offset - start + length);
    void* base = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, file.handle(), off_t(start));
    if (base == MAP_FAILED)
        return false;
    // Read from the front to the back, once.
    ::madvise(base, size, MADV_SEQUENTIAL);
    m_base = base;
    m_mapped = size;
    m_data = static_cast<const char*>(base) + (offset - start);
    m_length = length;
    return true;
}

namespace {

// The calling thread's armed stretch; the handler reads only these.
struct Guard {
    sigjmp_buf jump;
    const char* from;
    const char* to;
};
// Initial-exec: the handler must not be the first to touch the variable.
__attribute__((tls_model("initial-exec"))) thread_local Guard* t_guard = nullptr;

struct sigaction g_previous {};

void onBus(int signal, siginfo_t* info, void* context) {
    Guard* guard = t_guard;
    const char* at = info ? static_cast<const char*>(info->si_addr) : nullptr;
    if (guard && at >= guard->from && at < guard->to)
        siglongjmp(guard->jump, 1);
    // Not ours: as it would have been handled without this handler.
    if (g_previous.sa_flags & SA_SIGINFO) {
        if (g_previous.sa_sigaction) {
            g_previous.sa_sigaction(signal, info, context);
            return;
        }
    } else if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
        return;
    }
    // The default action: the fault happens again on return, now fatal.
    ::signal(signal, SIG_DFL);
}

void installHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = onBus;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previous);
    });
}

} // namespace

bool guardedRead(const char* from, int64_t length, void (*scan)(void*), void* context) {
    installHandler();
    Guard guard;
    guard.from = from;
    guard.to = from + length;
    Guard* const outer = t_guard;
    if (sigsetjmp(guard.jump, 1) != 0) {
        t_guard = outer;
        return false;
    }
    t_guard = &guard;
    scan(context);
    t_guard = outer;
    return true;
}

} // namespace platform
