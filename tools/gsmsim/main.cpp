// gsmsim: a simulated GSM module on a pseudo-terminal, for tests, the
// benchmark and demonstrations without hardware. See README.md.
#include <csignal>
#include <cstdio>

#include "Simulator.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

// The stop signals stay blocked except while the simulator waits, so a stop
// can never slip in between its check and its wait.
void installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &action, nullptr);
        sigaddset(&blocked, sig);
    }
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char** argv) {
    gsmsim::Options options;
    std::string error;
    if (!gsmsim::parseOptions(argc, argv, options, error)) {
        std::fputs(error.empty() ? "" : ("gsmsim: " + error + "\n").c_str(), stderr);
        std::fputs(gsmsim::usageText(), error.empty() ? stdout : stderr);
        return error.empty() ? 0 : 2;
    }
    installSignalHandlers();
    gsmsim::Simulator simulator(options);
    return simulator.run(stopRequested);
}
