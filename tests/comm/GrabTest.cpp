#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QtEndian>
#include <dirent.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "PtyFixture.h"
#include "comm/VOXComm32.h"
#include "comm/VOXComm32Grab.h"
#include "comm/VOXComm32Trace.h"
#include "platform/GrabMessenger.h"
#include "platform/SharedMemory.h"
#include "util/OxaUtils.h"

namespace {

// Ids whose process part lies above any Linux pid: nobody ever listens there.
constexpr uint32_t kDeadId = 0xFFFFFC00u;

std::vector<std::string> ShmEntries() {
    std::vector<std::string> names;
    if (DIR* dir = opendir("/dev/shm")) {
        while (dirent* entry = readdir(dir))
            names.emplace_back(entry->d_name);
        closedir(dir);
    }
    return names;
}

// Two components on one pseudo-terminal, each recording its states.
struct GrabTest : ::testing::Test {
    Pty pty;
    TVOXComm32 first;
    TVOXComm32 second;
    std::vector<TCommState> firstStates;
    std::vector<TCommState> secondStates;
    std::string blockName;

    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        blockName = comm::GrabBlockName(pty.path()).toStdString();
        Unlink();
        for (TVOXComm32* c : {&first, &second}) {
            c->SetAutoReconnect(false);
            c->SetCommPort(pty.path());
        }
        first.SetOnStateChange([this](QObject*, TCommState s) { firstStates.push_back(s); });
        second.SetOnStateChange([this](QObject*, TCommState s) { secondStates.push_back(s); });
        Pump(20);
        firstStates.clear();
        secondStates.clear();
    }
    void TearDown() override {
        second.StopComm();
        first.StopComm();
        Pump(20);
        Unlink();
    }
    void Unlink() {
        platform::SharedMemory block;
        bool created = false;
        if (block.open(blockName, comm::kGrabBlockSize, created) == 0)
            block.unlink();
    }
    // The list as another process sees it.
    std::vector<uint32_t> List() {
        platform::SharedMemory block;
        bool created = false;
        if (!platform::SharedMemory::exists(blockName) ||
            block.open(blockName, comm::kGrabBlockSize, created) != 0)
            return {};
        return comm::ReadGrabList(block.data());
    }
    static bool Has(const std::vector<TCommState>& states, TCommState state) {
        return std::find(states.begin(), states.end(), state) != states.end();
    }
};

} // namespace

TEST(GrabList, LittleEndianWordsAndAtMostTwentyEntries) {
    unsigned char block[comm::kGrabBlockSize] = {};
    comm::WriteGrabList(block, {0x01020304u, 0xA0B0C0D0u});
    EXPECT_EQ(block[0], 2);
    EXPECT_EQ(block[4], 0x04);
    EXPECT_EQ(block[7], 0x01);
    EXPECT_EQ(block[8], 0xD0);
    EXPECT_EQ(comm::ReadGrabList(block), (std::vector<uint32_t>{0x01020304u, 0xA0B0C0D0u}));

    // A count above 20 (another writer, or garbage) is read as 20.
    for (uint32_t i = 1; i <= 25 && 4 * i < comm::kGrabBlockSize; ++i)
        qToLittleEndian<uint32_t>(100 + i, block + 4 * i);
    qToLittleEndian<uint32_t>(25, block);
    const std::vector<uint32_t> read = comm::ReadGrabList(block);
    ASSERT_EQ(read.size(), 20u);
    EXPECT_EQ(read.front(), 101u);
    EXPECT_EQ(read.back(), 120u);

    // Writing never records more than 20.
    std::vector<uint32_t> many(23, 7);
    comm::WriteGrabList(block, many);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(block), 20u);

    comm::WriteGrabList(block, {});
    EXPECT_TRUE(comm::ReadGrabList(block).empty());
}

TEST(GrabNames, EncodedReversiblyWithoutSlashes) {
    const std::string name = "Experimental /dev/pts/3 grabber / MEM";
    const std::string encoded = platform::SharedMemory::encodeName(name);
    EXPECT_EQ(encoded.find('/', 1), std::string::npos);
    EXPECT_EQ(encoded.find(' '), std::string::npos);
    EXPECT_EQ(platform::SharedMemory::decodeName(encoded), name);
    // Names that differ only in an encoded character stay apart.
    EXPECT_NE(platform::SharedMemory::encodeName("a/b"),
              platform::SharedMemory::encodeName("a%2Fb"));
    EXPECT_EQ(
        platform::SharedMemory::decodeName(platform::SharedMemory::encodeName("a%2Fb\x01\xE9")),
        "a%2Fb\x01\xE9");
}

TEST(GrabMessengerTest, DeliversToLivingIdsAndRefusesEndedOnes) {
    uint32_t endedId = 0;
    {
        platform::GrabMessenger ended;
        ASSERT_TRUE(ended.open());
        endedId = ended.id();
    }
    platform::GrabMessenger a;
    platform::GrabMessenger b;
    ASSERT_TRUE(a.open());
    ASSERT_TRUE(b.open());
    EXPECT_NE(a.id(), b.id());
    EXPECT_NE(a.id(), 0u);
    std::vector<uint32_t> got;
    b.onMessage = [&](uint32_t m) { got.push_back(m); };
    EXPECT_TRUE(platform::GrabMessenger::post(b.id(), 0x406));
    EXPECT_TRUE(WaitUntil([&] { return !got.empty(); }, 2000));
    EXPECT_EQ(got, std::vector<uint32_t>{0x406});
    EXPECT_FALSE(platform::GrabMessenger::post(endedId, 0x406));
    EXPECT_FALSE(platform::GrabMessenger::post(kDeadId, 0x406));
    EXPECT_FALSE(platform::GrabMessenger::post(0, 0x406));
}

TEST_F(GrabTest, NoneNeverTouchesSharedMemory) {
    ASSERT_TRUE(first.StartComm());
    first.SetGrab(vocgcNone);
    first.StopComm();
    ASSERT_TRUE(first.StartComm());
    first.StopComm();
    Pump(20);
    EXPECT_FALSE(platform::SharedMemory::exists(blockName));
    EXPECT_EQ(first.GrabInstanceId(), 0u) << "no socket either";
    const std::string encoded = platform::SharedMemory::encodeName(blockName).substr(1);
    // Only this port's name is checked: tests running in parallel may
    // legitimately create blocks of their own.
    for (const std::string& entry : ShmEntries())
        EXPECT_NE(entry, encoded);
}

TEST_F(GrabTest, HardTakesThePortAndGivesItBackOnLeaving) {
    first.SetGrab(vocgcHard);
    ASSERT_TRUE(first.StartComm());
    EXPECT_EQ(List(), std::vector<uint32_t>{first.GrabInstanceId()});
    Pump(20);
    firstStates.clear();

    QElapsedTimer clock;
    clock.start();
    second.SetGrab(vocgcHard);
    ASSERT_TRUE(WaitUntil([&] { return second.IsCommOpen(); }, 3000));
    EXPECT_LT(clock.elapsed(), 1000) << "hand-over within a few hundred milliseconds";
    EXPECT_FALSE(first.IsCommOpen());
    Pump(30);
    EXPECT_TRUE(Has(firstStates, CommStateDisconnected));
    EXPECT_FALSE(Has(firstStates, CommStateFailed));
    EXPECT_EQ(List(), (std::vector<uint32_t>{second.GrabInstanceId(), first.GrabInstanceId()}));

    // The port works for the new holder.
    std::string got;
    second.SetOnReceiveData(
        [&](QObject*, const char* data, uint16_t count) { got.append(data, count); });
    pty.writeAll("hello");
    EXPECT_TRUE(WaitUntil([&] { return got == "hello"; }, 3000));

    // Leaving hands the port to the next in line.
    second.StopComm();
    EXPECT_TRUE(WaitUntil([&] { return first.IsCommOpen(); }, 3000));
    EXPECT_EQ(List(), std::vector<uint32_t>{first.GrabInstanceId()});

    // The last one leaving removes the block.
    first.StopComm();
    EXPECT_FALSE(platform::SharedMemory::exists(blockName));
}

TEST_F(GrabTest, SoftWaitsAtTheEndUntilThoseBeforeHaveLeft) {
    first.SetGrab(vocgcHard);
    ASSERT_TRUE(first.StartComm());
    second.SetGrab(vocgcSoft);
    EXPECT_EQ(second.Grab(), vocgcSoft);
    // Taking would be an open at once or on the retry timer: that would have
    // fired by now (twice its interval: a coarse timer may be a little late).
    ASSERT_TRUE(WaitForTimersDue(2 * comm::kGrabRetryInterval));
    EXPECT_TRUE(first.IsCommOpen()) << "a polite instance takes nothing";
    EXPECT_FALSE(second.IsCommOpen());
    EXPECT_EQ(List(), (std::vector<uint32_t>{first.GrabInstanceId(), second.GrabInstanceId()}));

    first.SetGrab(vocgcNone); // leaves the list, hands the port on
    EXPECT_EQ(first.Grab(), vocgcNone);
    EXPECT_TRUE(WaitUntil([&] { return second.IsCommOpen(); }, 3000));
    EXPECT_FALSE(first.IsCommOpen());
    EXPECT_EQ(List(), std::vector<uint32_t>{second.GrabInstanceId()});
}

TEST_F(GrabTest, OnceTakesWithoutChangingTheStoredCommand) {
    first.SetGrab(vocgcSoft);
    ASSERT_TRUE(first.StartComm());
    EXPECT_EQ(List(), std::vector<uint32_t>{first.GrabInstanceId()});
    second.SetGrab(vocgcOnce);
    EXPECT_EQ(second.Grab(), vocgcNone);
    EXPECT_TRUE(WaitUntil([&] { return second.IsCommOpen(); }, 3000));
    EXPECT_FALSE(first.IsCommOpen());
}

TEST_F(GrabTest, DeadHolderAndOverlongListDoNotBlockATaker) {
    {
        // A list written by instances that have all ended, with a count
        // beyond the 20 entries anyone may read.
        platform::SharedMemory block;
        bool created = false;
        ASSERT_EQ(block.open(blockName, comm::kGrabBlockSize, created), 0);
        auto* words = static_cast<uchar*>(block.data());
        for (uint32_t i = 1; 4 * i < comm::kGrabBlockSize; ++i)
            qToLittleEndian<uint32_t>(kDeadId + i, words + 4 * i);
        qToLittleEndian<uint32_t>(31, words);
    }
    QElapsedTimer clock;
    clock.start();
    first.SetGrab(vocgcHard);
    ASSERT_TRUE(WaitUntil([&] { return first.IsCommOpen(); }, 3000));
    EXPECT_LT(clock.elapsed(), 1000);
    const std::vector<uint32_t> list = List();
    ASSERT_FALSE(list.empty());
    EXPECT_LE(list.size(), 20u);
    EXPECT_EQ(list[0], first.GrabInstanceId());
    EXPECT_EQ(std::count(list.begin(), list.end(), kDeadId + 1), 0) << "dead holder dropped";
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list[1], kDeadId + 2) << "the others keep their order";
}

TEST(GrabTrace, ProgressAndWorkerTextsOnlyWhenSwitchedOn) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    auto drain = [&] {
        std::string out;
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0)
            out.append(buf, size_t(n));
        return out;
    };
    {
        TVOXComm32 comm;
        comm.SetAutoReconnect(false);
        comm.SetCommPort(pty.path());
        comm::SetTraceForTest(false, fds[1]);
        ASSERT_TRUE(comm.StartComm());
        Pump(50);
        comm.StopComm();
        EXPECT_EQ(drain(), "");

        comm::SetTraceForTest(true, fds[1]);
        ASSERT_TRUE(comm.StartComm());
        Pump(50);
        comm.StopComm();
        comm::SetTraceForTest(false);
    }
    const std::string out = drain();
    close(fds[0]);
    close(fds[1]);
    EXPECT_NE(out.find("dralvo-trace progress: Creating ReadThread for " +
                       pty.path().toStdString() + "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("progress: Stopping the Comm at " + pty.path().toStdString() +
                       " because StopComm\n"),
              std::string::npos);
    EXPECT_NE(out.find("progress: Threads closed\n"), std::string::npos);
    EXPECT_NE(out.find("text: Waiting for data from comm connection.\n"), std::string::npos)
        << "the read worker's texts";
    // Every line whole.
    size_t start = 0;
    while (start < out.size()) {
        const size_t end = out.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(out.compare(start, 13, "dralvo-trace "), 0);
        start = end + 1;
    }
}

TEST_F(GrabTest, RetriesRunFromTheEventLoopWhileTheHolderIsSlow) {
    // A holder that is alive but has not let go yet: the test keeps the port
    // locked and answers nothing.
    platform::GrabMessenger holder;
    ASSERT_TRUE(holder.open());
    std::vector<uint32_t> holderGot;
    holder.onMessage = [&](uint32_t m) { holderGot.push_back(m); };
    {
        platform::SharedMemory block;
        bool created = false;
        ASSERT_EQ(block.open(blockName, comm::kGrabBlockSize, created), 0);
        comm::WriteGrabList(block.data(), {holder.id()});
    }
    const int lock = open(pty.path().toStdString().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);

    QElapsedTimer clock;
    clock.start();
    first.SetGrab(vocgcHard);
    EXPECT_LT(clock.elapsed(), 500) << "the command returns while retries go on";
    EXPECT_FALSE(first.IsCommOpen());
    EXPECT_TRUE(WaitUntil([&] { return !holderGot.empty(); }, 2000));
    EXPECT_EQ(holderGot.front(), uint32_t(PWM_GrabChanged));
    // At least two more refused retries: the retry timer falls due within
    // twice its interval each time (a coarse timer may be a little late).
    for (int retry = 0; retry < 2; ++retry)
        ASSERT_TRUE(WaitForTimersDue(2 * comm::kGrabRetryInterval));
    EXPECT_FALSE(first.IsCommOpen());

    close(lock); // the holder lets go
    clock.restart();
    ASSERT_TRUE(WaitUntil([&] { return first.IsCommOpen(); }, 3000));
    EXPECT_LT(clock.elapsed(), 1000) << "the next retry, 100 ms apart";
    EXPECT_EQ(List(), (std::vector<uint32_t>{first.GrabInstanceId(), holder.id()}));
    Pump(30);
    EXPECT_FALSE(Has(firstStates, CommStateFailed)) << "refused attempts are not reported";
    ASSERT_FALSE(firstStates.empty());
    EXPECT_EQ(firstStates.back(), CommStateConnected);
}

TEST_F(GrabTest, HolderInAnotherProcessHandsThePortOver) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only plain system calls here: the holder of another process.
        const int port = open(pty.path().toStdString().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (port < 0 || flock(port, LOCK_EX | LOCK_NB) != 0)
            _exit(2);
        const uint32_t id = (uint32_t(getpid()) << 10) | 1;
        const std::string path = platform::GrabMessenger::socketPath(id);
        const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        unlink(path.c_str());
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            _exit(3);
        timeval timeout{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        platform::SharedMemory block;
        bool created = false;
        if (block.open(blockName, comm::kGrabBlockSize, created) != 0)
            _exit(4);
        comm::WriteGrabList(block.data(), {id});
        const char go = 1;
        if (write(ready[1], &go, 1) != 1)
            _exit(5);
        uint32_t message = 0;
        const ssize_t n = recv(fd, &message, sizeof message, 0);
        close(port); // let go, staying in the list as the next in line
        unlink(path.c_str());
        _exit(n == ssize_t(sizeof message) && message == uint32_t(PWM_GrabChanged) ? 0 : 6);
    }
    char go = 0;
    ASSERT_EQ(read(ready[0], &go, 1), 1);
    close(ready[0]);
    close(ready[1]);
    EXPECT_FALSE(first.StartComm()) << "the other process holds the port";

    QElapsedTimer clock;
    clock.start();
    first.SetGrab(vocgcHard);
    EXPECT_TRUE(WaitUntil([&] { return first.IsCommOpen(); }, 3000));
    EXPECT_LT(clock.elapsed(), 1000);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the holder got PWM_GrabChanged";
    const std::vector<uint32_t> list = List();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], first.GrabInstanceId());
    EXPECT_EQ(list[1], (uint32_t(child) << 10) | 1);
}

TEST(GrabTrace, ReadWorkerExitNoticeGoesToTheDebugOutput) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    const bool saved = debugNotifyEnabled;
    const QByteArray savedEnv = qgetenv("DRALVO_DEBUG");
    debugNotifyEnabled = true;
    qputenv("DRALVO_DEBUG", "1");
    fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    dup2(fds[1], STDERR_FILENO);
    {
        TVOXComm32 comm;
        comm.SetAutoReconnect(false);
        comm.SetCommPort(pty.path());
        EXPECT_TRUE(comm.StartComm());
        Pump(50);
        comm.StopComm();
    }
    fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);
    debugNotifyEnabled = saved;
    if (savedEnv.isNull())
        qunsetenv("DRALVO_DEBUG");
    else
        qputenv("DRALVO_DEBUG", savedEnv);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, size_t(n));
    close(fds[0]);
    close(fds[1]);
    EXPECT_NE(out.find("DebugNotify: Time to Exit\n"), std::string::npos) << out;
}
