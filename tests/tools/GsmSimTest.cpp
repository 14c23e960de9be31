// Runs the built gsmsim binary and talks to it through its link, as the
// program, the end-to-end tests and the benchmark do.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) < 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            std::vector<char*> argv;
            static std::string program = DRALVO_BINARY_DIR "/gsmsim";
            argv.push_back(program.data());
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_stdout = out[0];
    }
    ~SimProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_stdout >= 0)
            ::close(m_stdout);
    }

    // One line of the simulator's standard output ("" on timeout).
    std::string readLine(int timeoutMs = 3000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            pollfd p{m_stdout, POLLIN, 0};
            if (::poll(&p, 1, msLeft(deadline)) <= 0)
                return {};
            char chunk[256];
            const ssize_t n = ::read(m_stdout, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            m_buffer.append(chunk, size_t(n));
        }
    }

    // Sends sig and returns the exit status (-1 when it did not end in time).
    int stop(int sig) {
        ::kill(m_pid, sig);
        const auto deadline = Clock::now() + std::chrono::seconds(3);
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline)
                return -1;
            ::usleep(10000);
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // User plus system CPU time so far, in clock ticks.
    long cpuTicks() const {
        FILE* f = std::fopen(("/proc/" + std::to_string(m_pid) + "/stat").c_str(), "r");
        if (!f)
            return -1;
        char text[1024] = {};
        const size_t n = std::fread(text, 1, sizeof text - 1, f);
        std::fclose(f);
        const char* p = std::strrchr(text, ')'); // the command name may hold blanks
        if (!p || n == 0)
            return -1;
        long utime = 0, stime = 0;
        // Fields after the name: state, then 10 numbers, then utime and stime.
        std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &utime, &stime);
        return utime + stime;
    }

    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_stdout = -1;
    std::string m_buffer;
};

class GsmSim : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/gsmsim-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
        m_link = m_dir + "/ttyGSM";
    }
    void TearDown() override {
        if (m_port >= 0)
            ::close(m_port);
        std::filesystem::remove_all(m_dir);
    }

    std::unique_ptr<SimProcess> start(std::vector<std::string> args) {
        args.insert(args.begin(), {"--link", m_link});
        auto sim = std::make_unique<SimProcess>(std::move(args));
        m_slave = sim->readLine();
        return sim;
    }

    bool openPort() {
        if (m_port >= 0)
            ::close(m_port);
        m_port = ::open(m_link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        m_received.clear();
        return m_port >= 0;
    }

    void send(const std::string& text) {
        ASSERT_EQ(::write(m_port, text.data(), text.size()), ssize_t(text.size()));
    }

    // Reads until the received text contains what, the line goes away
    // (returns false) or the time is up.
    bool receiveUntil(const std::string& what, int timeoutMs = 3000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_received.find(what) == std::string::npos) {
            pollfd p{m_port, POLLIN, 0};
            if (::poll(&p, 1, msLeft(deadline)) <= 0)
                return false;
            char chunk[65536];
            const ssize_t n = ::read(m_port, chunk, sizeof chunk);
            if (n <= 0 && !(n < 0 && errno == EAGAIN))
                return false;
            if (n > 0)
                m_received.append(chunk, size_t(n));
        }
        return true;
    }

    // Waits until the port reports the hang-up of a pulled cable.
    bool waitForHangUp(int timeoutMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            pollfd p{m_port, POLLIN, 0};
            if (::poll(&p, 1, msLeft(deadline)) <= 0)
                return false;
            char chunk[4096];
            const ssize_t n = ::read(m_port, chunk, sizeof chunk);
            if (n == 0 || (n < 0 && errno != EAGAIN))
                return true;
        }
    }

    std::string linkTarget() const {
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(m_link, ec);
        return ec ? std::string() : target.string();
    }

    std::string m_dir, m_link, m_slave;
    int m_port = -1;
    std::string m_received;
};

} // namespace

TEST_F(GsmSim, EchoesAndAnswersCommandsLikeAModem) {
    auto sim = start({"--period", "0"});
    ASSERT_EQ(m_slave.rfind("/dev/pts/", 0), 0u) << m_slave;
    EXPECT_EQ(linkTarget(), m_slave);
    ASSERT_TRUE(openPort());

    send("at\r");
    EXPECT_TRUE(receiveUntil("at\r\nOK\r\n")) << m_received;
    send("AT^SCFG=\"Userware/Autostart\",\"\",\"1\"\r");
    EXPECT_TRUE(receiveUntil("AT^SCFG=\"Userware/Autostart\",\"\",\"1\"\r\nOK\r\n")) << m_received;
    send("at^sjra=a:/java/demo.jar\r\n");
    EXPECT_TRUE(receiveUntil("at^sjra=a:/java/demo.jar\r\nOK\r\n")) << m_received;
    EXPECT_TRUE(receiveUntil("loading a:/java/demo.jar\r\n")) << m_received;
    send("ati\r");
    EXPECT_TRUE(receiveUntil("ati\r\nERROR\r\n")) << m_received;
    // The module also greets its first reader once it has settled.
    EXPECT_TRUE(receiveUntil("powered on\r\n")) << m_received;
    EXPECT_EQ(sim->stop(SIGTERM), 0);
}

TEST_F(GsmSim, PrintsDebugLinesAtItsPeriod) {
    auto sim = start({"--period", "40"});
    // Timed from the open, which the module's schedule starts from: the test's
    // own reading may lag behind on a busy machine, the module's lines never
    // come early.
    const auto opened = Clock::now();
    ASSERT_TRUE(openPort());
    ASSERT_TRUE(receiveUntil("powered on\r\n"));
    ASSERT_TRUE(receiveUntil("kick 2\r\n", 3000)) << m_received; // the eighth debug line
    EXPECT_GE(Clock::now() - opened, std::chrono::milliseconds(8 * 40));
    EXPECT_EQ(sim->stop(SIGINT), 0);
}

TEST_F(GsmSim, FloodDeliversNumberedLinesOfTheGivenLength) {
    const int count = 3000;
    auto sim =
        start({"--flood", std::to_string(count), "--line-len", "40", "--start-delay", "100"});
    ASSERT_TRUE(openPort());
    ASSERT_TRUE(receiveUntil("SEQ 0003000 ", 10000));
    ASSERT_TRUE(receiveUntil("\r\n", 1000));

    int expected = 1;
    size_t pos = m_received.find("SEQ ");
    while (pos != std::string::npos && expected <= count) {
        const size_t end = m_received.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        const std::string line = m_received.substr(pos, end + 2 - pos);
        ASSERT_EQ(line.size(), 40u) << line;
        ASSERT_EQ(std::atoi(line.c_str() + 4), expected) << line;
        ++expected;
        pos = m_received.find("SEQ ", end);
    }
    EXPECT_EQ(expected, count + 1);
}

TEST_F(GsmSim, PacedFloodKeepsToItsRate) {
    // 300 lines of 100 bytes at 100000 bytes per second take about 0.3 s.
    auto sim =
        start({"--flood", "300", "--line-len", "100", "--rate", "100000", "--start-delay", "0"});
    ASSERT_TRUE(openPort());
    ASSERT_TRUE(receiveUntil("SEQ 0000001 ", 5000));
    const auto first = Clock::now();
    ASSERT_TRUE(receiveUntil("SEQ 0000300 ", 5000));
    const auto took = Clock::now() - first;
    EXPECT_GE(took, std::chrono::milliseconds(200));
    EXPECT_LT(took, std::chrono::milliseconds(3000));
}

TEST_F(GsmSim, PulledCableHangsUpAndTheLinkMovesToTheNewPort) {
    auto sim = start({"--period", "0", "--unplug-after", "0.4", "--replug-after", "0.3"});
    ASSERT_TRUE(openPort());
    send("at\r");
    ASSERT_TRUE(receiveUntil("OK\r\n"));

    ASSERT_TRUE(waitForHangUp(5000));
    const std::string newSlave = sim->readLine(5000);
    ASSERT_EQ(newSlave.rfind("/dev/pts/", 0), 0u) << newSlave;
    EXPECT_NE(newSlave, m_slave); // the old one is still held open here
    EXPECT_EQ(linkTarget(), newSlave);

    ASSERT_TRUE(openPort());
    send("at\r");
    EXPECT_TRUE(receiveUntil("at\r\nOK\r\n")) << m_received;
    EXPECT_EQ(sim->stop(SIGTERM), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(m_link));
}

TEST_F(GsmSim, TaggedLinesGoOnAcrossCablesPulledAgainAndAgain) {
    auto sim = start({"--flood", "1000000", "--rate", "20000", "--start-delay", "0", "--tag",
                      "rack7", "--unplug-every", "0.7", "--replug-after", "0.2"});
    long long before = 0;
    for (int plug = 0; plug < 3; ++plug) {
        ASSERT_TRUE(openPort());
        ASSERT_TRUE(receiveUntil(" rack7 ", 5000)) << m_received;
        ASSERT_TRUE(receiveUntil("\r\n", 1000));
        const size_t at = m_received.find("SEQ ");
        ASSERT_NE(at, std::string::npos);
        const std::string line = m_received.substr(at, m_received.find("\r\n", at) + 2 - at);
        EXPECT_EQ(line.size(), 64u) << line;
        EXPECT_EQ(line.substr(12, 6), "rack7 ") << line;
        // Numbering goes on where the last plug left it.
        const long long seq = std::atoll(line.c_str() + 4);
        EXPECT_GT(seq, before) << line;
        before = seq;
        ASSERT_TRUE(waitForHangUp(5000));
        ASSERT_EQ(sim->readLine(5000).rfind("/dev/pts/", 0), 0u);
    }
    EXPECT_EQ(sim->stop(SIGTERM), 0);
}

TEST_F(GsmSim, WaitsWithoutSpinningWhetherNobodyListensOrNobodyReads) {
    auto idle = start({"--period", "5"});
    ::usleep(600000); // nobody has the port open: lines go nowhere
    EXPECT_LT(idle->cpuTicks(), 15);
    EXPECT_EQ(idle->stop(SIGTERM), 0);

    auto flood = start({"--flood", "1000000", "--start-delay", "0"});
    ASSERT_TRUE(openPort());
    ::usleep(600000); // open but never read: the flood waits for room
    EXPECT_LT(flood->cpuTicks(), 15);
    ASSERT_TRUE(receiveUntil("SEQ 0000001 ", 2000));
    EXPECT_EQ(flood->stop(SIGTERM), 0);
}

TEST_F(GsmSim, NeverReplacesAFileThatIsNotALink) {
    {
        FILE* f = std::fopen(m_link.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("keep", f);
        std::fclose(f);
    }
    auto sim = start({"--period", "0"});
    EXPECT_EQ(m_slave, "");
    EXPECT_EQ(sim->stop(SIGTERM), 2);
    EXPECT_FALSE(std::filesystem::is_symlink(m_link));
    EXPECT_EQ(std::filesystem::file_size(m_link), 4u);
}
