#pragma once
// A simulated GSM module behind a pseudo-terminal: the program under test opens
// the slave side as its serial port, the simulator plays the module on the master.
#include <cstdint>
#include <deque>
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
    double unplugEvery = -1;    // seconds between pulls, the first one included (-1 = no repeat)
    std::string tag;            // put into every flood line after its number ("" = none)
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
    // What is waiting for the reader is dropped (the cable is out, or the
    // reader went away); the flood lines written since the port was opened
    // are reported on standard error, so a benchmark knows which lines the
    // reader had to get.
    void dropOutput();
    void noteWritten(Nanos t);
    void reportWritten(Nanos t);

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
    uint64_t m_outBase = 0; // bytes produced before m_out's first one

    struct FloodEnd {
        uint64_t end; // offset after the line's last byte, counted as m_outBase
        uint64_t seq;
    };
    std::deque<FloodEnd> m_floodEnds; // flood lines not yet written whole
    struct Written {
        Nanos at;
        uint64_t seq;
    };
    std::deque<Written> m_recent; // flood lines written whole in the last 20 ms
    uint64_t m_spanFirst = 0;     // first and last flood line written whole since the
    uint64_t m_spanLast = 0;      // reader opened the port (0: none)
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
