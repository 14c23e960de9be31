#pragma once
// What the program asks the system about itself: its executable, its threads'
// identities and their scheduling priority.
#include <QString>

namespace platform {

// The executable this process runs, as the system names it (the target of
// /proc/self/exe); empty when the system does not say. Used where no
// application object knows its own file yet.
QString executablePath();

// The system's identity of the calling thread (what the scheduler knows it by).
int currentThreadId();

// Gives the thread threadId the nice value (-20 most urgent .. 19 least).
// Raising the priority needs privileges; false when the system refused.
bool setThreadNice(int threadId, int nice);

// Raises the limit on open descriptors to the most the system allows this
// process (the soft limit to the hard one): the usual soft limit of 1,024 is
// soon used up by many control clients, and a port or a log opened then would
// fail. Returns the limit in force afterwards.
long long raiseDescriptorLimit();
// The limit on open descriptors now in force (the soft limit).
long long descriptorLimit();

} // namespace platform
