#pragma once
#include <QString>

namespace comm {

// The component's diagnostic channel: one line per call on standard error,
// switched on by setting the environment variable DRALVO_TRACE (to anything
// but "0" or empty) before the program starts. Safe from any thread: each
// line goes out in a single write(), so lines of different threads do not
// mix. When the channel is off a call costs one test of a cached flag.
bool TraceEnabled();
void TraceLine(const char* kind, const QString& text);
// Tests switch the channel and capture its output (fd -1: standard error).
void SetTraceForTest(bool enabled, int fd = -1);

} // namespace comm
