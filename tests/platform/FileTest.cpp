// The one open every file of the program goes through: only regular files,
// never blocking, whatever sits at the path.
#include "platform/File.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace platform;

namespace {

int openError(const QString& path, uint32_t access, uint32_t disposition = OPEN_EXISTING) {
    File f;
    return f.open(path, access, FILE_SHARE_READ, disposition);
}

} // namespace

// A FIFO (with and without a reader), a directory, a socket and a device,
// also behind a symbolic link, fail at once with their own reason for readers
// and writers alike; a link to a regular file opens, in blocking mode.
TEST(PlatformFile, OpensRegularFilesOnlyAndNeverBlocks) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString folder = dir.filePath("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString zero = dir.filePath("zero");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    const QString socketPath = dir.filePath("sock");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(socketPath).constData(),
                 sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    for (uint32_t access : {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE}) {
        for (uint32_t disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS}) {
            EXPECT_EQ(openError(fifo, access, disposition), ENXIO) << access;
            EXPECT_EQ(openError(zero, access, disposition), ENXIO) << access;
            EXPECT_EQ(openError(socketPath, access, disposition), ENXIO) << access;
            EXPECT_EQ(openError(folder, access, disposition), EISDIR) << access;
        }
    }
    // A reader on the FIFO changes nothing.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(openError(fifo, GENERIC_WRITE, OPEN_ALWAYS), ENXIO);
    ::close(reader);
    ::close(sock);
    EXPECT_EQ(fileErrorText(ENXIO), QStringLiteral("not a regular file"));

    const QString real = dir.filePath("real.txt");
    const QString link = dir.filePath("link.txt");
    ASSERT_TRUE(QFile::link(real, link));
    {
        File f;
        ASSERT_EQ(f.open(link, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS), 0);
        EXPECT_EQ(::fcntl(f.handle(), F_GETFL) & O_NONBLOCK, 0);
        EXPECT_EQ(f.write("abc", 3), 3);
    }
    File f;
    ASSERT_EQ(f.open(real, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), 0);
    QByteArray all;
    ASSERT_TRUE(f.readAll(all));
    EXPECT_EQ(all, QByteArray("abc"));
    EXPECT_EQ(openError(dir.filePath("missing"), GENERIC_READ), ENOENT);
}
