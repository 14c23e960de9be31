#include "platform/ThisProcess.h"

#include <QFileInfo>
#include <sys/resource.h>
#include <unistd.h>

namespace platform {

QString executablePath() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

int currentThreadId() {
    return int(::gettid());
}

bool setThreadNice(int threadId, int nice) {
    return ::setpriority(PRIO_PROCESS, id_t(threadId), nice) == 0;
}

long long raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? -1 : (long long)limit.rlim_cur;
}

long long descriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    return (long long)limit.rlim_cur;
}

} // namespace platform
