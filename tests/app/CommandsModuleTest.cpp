// The module commands without the window: the autostart line, reading a file
// in blocks, and the error numbers with the messages the operator sees.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <cerrno>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "TestEnv.h"
#include "app/ModuleCommands.h"

namespace {

TEST(CommandsAutostart, LineIsBuiltFromItsPiecesWithTheNameAsTyped) {
    EXPECT_EQ(app::autostartCommand("a:/appmain2.jad"),
              QByteArray("at^scfg=\"Userware/Autostart\",\"\",1;"
                         "^scfg=\"Userware/Autostart/AppName\",\"\",\"a:/appmain2.jad\"\r"));
    // An empty name gives an empty pair of quotes.
    EXPECT_EQ(app::autostartCommand(""),
              QByteArray("at^scfg=\"Userware/Autostart\",\"\",1;"
                         "^scfg=\"Userware/Autostart/AppName\",\"\",\"\"\r"));
    // Blanks and quotes are neither trimmed nor escaped; only CR ends the line.
    const QByteArray odd = app::autostartCommand(" a:/x\"y.jad ");
    EXPECT_TRUE(odd.endsWith("AppName\",\"\",\" a:/x\"y.jad \"\r"));
    EXPECT_EQ(odd.count('\r'), 1);
    EXPECT_EQ(odd.count('\n'), 0);
}

TEST(CommandsIoErrors, SystemNumbersMapToTheirCodesAndMessages) {
    struct Row {
        int error;
        int code;
        const char* message;
    };
    const Row rows[] = {
        {ENOENT, 2, "File not found"},
        {ENOTDIR, 3, "Invalid filename"},
        {ENAMETOOLONG, 3, "Invalid filename"},
        {EMFILE, 4, "Too many open files"},
        {ENFILE, 4, "Too many open files"},
        {EACCES, 5, "File access denied"},
        {EPERM, 5, "File access denied"},
        {EISDIR, 5, "File access denied"},
        {ENOSPC, 101, "Disk full"},
        {EROFS, EROFS, "I/O error 30"},
        // Numbers that equal a code but mean something else keep their number.
        {EIO, EIO, "I/O error 5"},
        {ENETDOWN, ENETDOWN, "I/O error 100"},
        {ENETUNREACH, ENETUNREACH, "I/O error 101"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error);
        EXPECT_EQ(app::ioErrorFromErrno(row.error), row.code);
        EXPECT_EQ(app::ioErrorMessageForErrno(row.error), QString::fromLatin1(row.message));
    }
    EXPECT_EQ(app::ioErrorMessage(app::ioReadBeyondEof), "Read beyond end of file");
    EXPECT_EQ(app::ioErrorMessage(103), "I/O error 103");
}

class CommandsReadFile : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    // Reads a file, gathering the block sizes and the bytes.
    int read(const QString& path) {
        m_sizes.clear();
        m_bytes.clear();
        return app::readFileInBlocks(path, [this](const char* data, int count) {
            m_sizes.push_back(count);
            m_bytes.append(data, count);
        });
    }

    QTemporaryDir m_dir;
    std::vector<int> m_sizes;
    QByteArray m_bytes;
};

TEST_F(CommandsReadFile, BlocksOfUpTo513BytesCarryTheWholeFile) {
    struct Row {
        int size;
        std::vector<int> blocks;
    };
    const Row rows[] = {
        {0, {}},         {1, {1}},           {512, {512}},          {513, {513}},
        {514, {513, 1}}, {1026, {513, 513}}, {1027, {513, 513, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.size);
        QByteArray bytes;
        for (int i = 0; i < row.size; ++i)
            bytes += char((i * 7 + 3) & 0xFF);
        const QString path = write(QStringLiteral("f%1.bin").arg(row.size), bytes);
        EXPECT_EQ(read(path), 0);
        EXPECT_EQ(m_sizes, row.blocks);
        EXPECT_EQ(m_bytes, bytes);
    }
}

TEST_F(CommandsReadFile, EveryByteValuePassesUnchanged) {
    QByteArray bytes;
    for (int round = 0; round < 4; ++round)
        for (int value = 0; value < 256; ++value)
            bytes += char(value);
    bytes += "\r\n\n\r"; // no translation of line ends
    EXPECT_EQ(read(write("all.bin", bytes)), 0);
    EXPECT_EQ(m_bytes, bytes);
}

TEST_F(CommandsReadFile, NamesThatCannotBeReadGiveTheirErrorAndNoBlocks) {
    const QString plain = write("plain.txt", "data");
    QDir(m_dir.path()).mkdir("sub");
    const struct {
        QString path;
        const char* message;
    } rows[] = {
        {"-", "File not found"},
        {"", "File not found"},
        {m_dir.filePath("missing.bin"), "File not found"},
        {m_dir.filePath("sub"), "File access denied"},
        {plain + "/inside", "Invalid filename"},
        {m_dir.filePath(QString(5000, 'x')), "Invalid filename"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.left(80).toStdString());
        const int error = read(row.path);
        EXPECT_NE(error, 0);
        EXPECT_EQ(app::ioErrorMessageForErrno(error), row.message);
        EXPECT_TRUE(m_sizes.empty());
    }
}

TEST_F(CommandsReadFile, PipesAndEndlessDevicesAreRefusedWithoutWaiting) {
    // A pipe without a writer would block the opener; /dev/zero never ends.
    const QString fifo = m_dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero")}) {
        SCOPED_TRACE(path.toStdString());
        const int error = read(path);
        EXPECT_EQ(app::ioErrorMessageForErrno(error), "File access denied");
        EXPECT_TRUE(m_sizes.empty());
    }
}

TEST_F(CommandsReadFile, NoFreeFileHandleGivesTooManyOpenFiles) {
    const QString path = write("small.bin", "abc");
    // Lower the limit to the lowest free descriptor so the next open fails.
    const int probe = ::dup(0);
    ASSERT_GE(probe, 0);
    ::close(probe);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(probe);
    // While no descriptor is free, only locals are touched: the undefined
    // behaviour sanitizer needs a descriptor to check a member access.
    std::vector<int> sizes;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const int error =
        app::readFileInBlocks(path, [&sizes](const char*, int count) { sizes.push_back(count); });
    ::setrlimit(RLIMIT_NOFILE, &saved);
    m_sizes = sizes;
    EXPECT_EQ(app::ioErrorMessageForErrno(error), "Too many open files");
    EXPECT_TRUE(m_sizes.empty());
}

TEST_F(CommandsReadFile, ReadErrorAfterOpeningIsReported) {
    // The kernel's view of our own memory opens but fails at the first read.
    EXPECT_EQ(read("/proc/self/mem"), EIO);
    EXPECT_EQ(app::ioErrorMessageForErrno(EIO), "I/O error 5");
    EXPECT_TRUE(m_sizes.empty());
}

// A sender with a recording port and terminal.
class CommandsFileSender : public CommandsReadFile {
protected:
    void SetUp() override {
        m_sender.send = [this](const char* data, int count) {
            ++m_sendCalls;
            if (!m_portTakes(int(m_sent.size())))
                return false;
            m_sent.push_back(QByteArray(data, count));
            return true;
        };
        m_sender.echo = [this](const char* data, int count) { m_shown += QByteArray(data, count); };
        m_sender.failed = [this](int error) { m_errors.push_back(error); };
    }
    QByteArray sentBytes() const { return m_sent.join(); }
    std::vector<int> sentSizes() const {
        std::vector<int> sizes;
        for (const QByteArray& block : m_sent)
            sizes.push_back(int(block.size()));
        return sizes;
    }
    bool finish() {
        return WaitUntil([&] { return !m_sender.busy(); });
    }

    app::FileSender m_sender;
    std::function<bool(int blocksTaken)> m_portTakes = [](int) { return true; };
    QByteArrayList m_sent;
    QByteArray m_shown;
    int m_sendCalls = 0;
    std::vector<int> m_errors;
};

QByteArray Pattern(int size, int seed) {
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes += char((i * 31 + seed) & 0xFF);
    return bytes;
}

TEST_F(CommandsFileSender, SmallFileIsQueuedAndShownBeforeStartReturns) {
    const QByteArray bytes = Pattern(1026, 1);
    m_sender.start(write("small.bin", bytes));
    EXPECT_FALSE(m_sender.busy());
    EXPECT_EQ(sentSizes(), std::vector<int>({513, 513}));
    EXPECT_EQ(sentBytes(), bytes);
    EXPECT_EQ(m_shown, bytes);

    m_sent.clear();
    m_sender.start(write("empty.bin", ""));
    EXPECT_FALSE(m_sender.busy());
    EXPECT_TRUE(m_sent.isEmpty());
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(CommandsFileSender, LargeFilesGoOnInSlicesOneAfterTheOther) {
    m_sender.setSliceMs(0); // one block per slice
    const QByteArray first = Pattern(3 * 513 + 7, 2), second = Pattern(514, 3);
    m_sender.start(write("first.bin", first));
    EXPECT_EQ(m_sent.size(), 1);
    EXPECT_TRUE(m_sender.busy());
    m_sender.start(write("second.bin", second)); // waits for its turn
    EXPECT_EQ(m_sent.size(), 1);
    ASSERT_TRUE(finish());
    EXPECT_EQ(sentSizes(), std::vector<int>({513, 513, 513, 7, 513, 1}));
    EXPECT_EQ(sentBytes(), first + second);
    EXPECT_EQ(m_shown, first + second);
}

TEST_F(CommandsFileSender, PortGoingAwayEndsTheTransferAndTheFilesBehindIt) {
    m_sender.setSliceMs(0);
    m_portTakes = [](int taken) { return taken < 2; };
    const QByteArray bytes = Pattern(5 * 513, 4);
    m_sender.start(write("long.bin", bytes));
    m_sender.start(write("next.bin", Pattern(100, 5)));
    ASSERT_TRUE(finish());
    EXPECT_EQ(sentBytes(), bytes.left(2 * 513));
    // The refused block and everything after it is not shown as sent.
    EXPECT_EQ(m_shown, bytes.left(2 * 513));
    EXPECT_EQ(m_sendCalls, 3);
}

TEST_F(CommandsFileSender, FileForAClosedPortIsShownButNeverSentLater) {
    m_sender.setSliceMs(0);
    // Closed for the first block, open from then on.
    m_portTakes = [this](int) { return m_sendCalls > 1; };
    const QByteArray bytes = Pattern(4 * 513, 6);
    m_sender.start(write("closed.bin", bytes));
    ASSERT_TRUE(finish());
    EXPECT_EQ(m_sendCalls, 1);
    EXPECT_TRUE(m_sent.isEmpty());
    EXPECT_EQ(m_shown, bytes);
}

TEST_F(CommandsFileSender, ErrorsAreReportedAndTheFilesBehindGoOn) {
    m_sender.setSliceMs(0);
    const QByteArray first = Pattern(2 * 513, 7), last = Pattern(10, 8);
    m_sender.start(write("first.bin", first));
    m_sender.start(m_dir.filePath("missing.bin")); // reported at once
    EXPECT_EQ(m_errors, std::vector<int>({ENOENT}));
    m_sender.start("/proc/self/mem"); // opens, fails when its turn comes
    m_sender.start(write("last.bin", last));
    ASSERT_TRUE(finish());
    EXPECT_EQ(m_errors, std::vector<int>({ENOENT, EIO}));
    EXPECT_EQ(sentBytes(), first + last);
}

TEST(CommandsReportIoError, GoesToTheReporterOrElseToAMessageBox) {
    QStringList seen;
    app::setIoErrorReporter([&](QWidget*, const QString& message) { seen << message; });
    app::reportIoError(nullptr, ENOENT);
    app::reportIoError(nullptr, EIO);
    EXPECT_EQ(seen, QStringList({"File not found", "I/O error 5"}));

    // Without a reporter the operator gets a modal message box with the text.
    app::setIoErrorReporter({});
    QString boxText;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxText = box->text();
            box->accept();
        }
    });
    closer.start();
    QTimer::singleShot(5000, &closer, [] { // never hang the test program
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    app::reportIoError(nullptr, EISDIR);
    EXPECT_EQ(boxText, "File access denied");
}

} // namespace
