#pragma once
// A simulated GSM module behind a pseudo-terminal: the program under test opens
// the slave side as its serial port, the simulator plays the module on the master.
#include <cstdint>
#include <string>
#include <vector>

#include "Modem.h"

namespace gsmsim {

struct Options {
    std::string link;           // symlink kept pointing at the current slave ("" = none)
    int64_t periodMs = -1;      // debug line period; -1 = default (1000, none while flooding)
    uint64_t flood = 0;         // number of flood lines (0 = no flood)
    size_t lineLength = 64;     // flood line length including CR LF
    double rate = 0;            // flood pace in bytes per second (0 = as fast as read)
    int64_t startDelayMs = 200; // flood start after the reader opened the port
    double unplugAfter = -1;    // seconds after start until the cable is pulled (-1 = never)
    double replugAfter = 1.0;   // seconds after the pull until it is back (-1 = never)
};

// Parses the command line; on failure returns false with a message in error.
bool parseOptions(int argc, char** argv, Options& options, std::string& error);
const char* usageText();

class Simulator {
public:
    explicit Simulator(const Options& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Runs until stopRequested() turns true (checked after every wake-up).
    // Returns the process exit code.
    int run(volatile const int& stopRequested);

private:
    using Nanos = int64_t;
    static Nanos now();

    bool linkPathUsable() const; // never replace a file that is not a link
    bool plugIn();               // new pseudo-terminal, link moved, path printed
    void unplug();               // master closed, link removed
    void peerClosed();           // the reader went away: drop what it did not take
    void checkPeer(Nanos t);
    void produce(Nanos t);
    void handleInput();
    void flushOutput();
    Nanos nextWake(Nanos t) const;
    void moveLink();
    void removeLink();

    Options m_options;
    int m_master = -1;
    std::string m_slavePath;
    std::string m_linkTarget; // what the link points at, "" when absent

    bool m_peerOpen = false;
    Nanos m_peerOpenedAt = 0;
    Nanos m_lastPeerCheck = 0;
    bool m_bannerPending = false;

    std::string m_out; // bytes waiting for the reader
    size_t m_outPos = 0;
    LineAssembler m_input;

    int64_t m_period = 0;
    Nanos m_nextDebug = 0;
    uint64_t m_debugCount = 0;

    uint64_t m_floodNext = 1;
    double m_floodBudget = 0; // bytes the pace allows now
    Nanos m_floodBudgetAt = 0;
    bool m_floodAnnounced = false;

    Nanos m_start = 0;
    Nanos m_unplugAt = -1;
    Nanos m_replugAt = -1;
};

} // namespace gsmsim
