#include "comm/VOXComm32Trace.h"

#include <QByteArray>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "comm/VOXComm32.h"
#include "platform/SysCall.h"
#include "util/OxaUtils.h"

namespace comm {

namespace {

bool EnvironmentWantsTrace() {
    const char* value = std::getenv("DRALVO_TRACE");
    return value && *value && std::strcmp(value, "0") != 0;
}

std::atomic<bool> g_enabled{EnvironmentWantsTrace()};
std::atomic<int> g_fd{platform::standardErrorFd};

} // namespace

bool TraceEnabled() {
    return g_enabled.load(std::memory_order_relaxed);
}

void TraceLine(const char* kind, const QString& text) {
    if (!TraceEnabled())
        return;
    QByteArray line = "dralvo-trace ";
    line += kind;
    line += ": ";
    line += text.toLocal8Bit();
    line.replace('\n', ' ');
    line += '\n';
    // One write per line: lines of concurrent threads stay whole.
    platform::writeAll(g_fd.load(std::memory_order_relaxed), line.constData(), size_t(line.size()));
}

void SetTraceForTest(bool enabled, int fd) {
    g_fd.store(fd < 0 ? platform::standardErrorFd : fd);
    g_enabled.store(enabled);
}

} // namespace comm

// ---- the component's trace operations -----------------------------------------

void TVOXComm32::TraceText(const QString& text) {
    comm::TraceLine("text", text);
}

void TVOXComm32::TraceError(int error, const QString& text) {
    if (!comm::TraceEnabled())
        return;
    comm::TraceLine("error", text + QString::number(error));
}

void TVOXComm32::TraceProgress(const QString& text) {
    comm::TraceLine("progress", text);
}

void TVOXComm32::TraceDebugOutput(const QString& text) {
    DebugNotify(text);
}
