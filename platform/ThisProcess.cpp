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

} // namespace platform
