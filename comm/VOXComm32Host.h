#pragma once
// All the read and write workers may do to the component that runs them:
// trace, and hand the user-interface thread a message (a received block, a
// comm event, a failed modem poll, a hang-up request). The workers
// see nothing else of the component, so they cannot touch its state from
// their own threads, and a test can run a worker against a host of its own.
#include <QString>
#include <cstdint>

class TNotifyMessage;

namespace comm {

class WorkerHost {
public:
    virtual ~WorkerHost() = default;

    // Diagnostic texts (the component's trace channel); any thread.
    virtual void TraceText(const QString& text) = 0;
    virtual void TraceError(int error, const QString& text) = 0;
    // The read worker's exit notice, to the debug output.
    virtual void TraceDebugOutput(const QString& text) = 0;
    // Hands a message to the user-interface thread, in posting order; takes
    // ownership.
    virtual void Post(TNotifyMessage* message) = 0;
    void Post(int message, uintptr_t wParam, intptr_t lParam);
};

} // namespace comm
