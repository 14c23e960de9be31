#include "util/OxaUtils.h"

#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace {

class FileStream : public ::testing::Test {
protected:
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    static QByteArray contents(const QString& file) {
        TOxaFileStream s(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL);
        QByteArray data(int(s.Size()), '\0');
        EXPECT_EQ(s.Read(data.data(), data.size()), data.size());
        return data;
    }

    // The errno of a failing open; 0 when it opened.
    static int openError(const QString& file, uint32_t access, uint32_t share,
                         uint32_t disposition) {
        try {
            TOxaFileStream s(file, access, share, disposition, FILE_ATTRIBUTE_NORMAL);
            return 0;
        } catch (const EFCreateError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot create file " + file.toStdString());
            return e.errorCode();
        }
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(FileStream, WriterSharingOnlyReadingLocksOutASecondWriter) {
    const QString log = path("Dralvo_2026-03-01.log");
    TOxaFileStream first(log, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH);
    ASSERT_EQ(first.Write("hello\r\n", 7), 7);

    EXPECT_EQ(openError(log, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS), EWOULDBLOCK);
    // CREATE_ALWAYS on the locked file fails without truncating it.
    EXPECT_EQ(openError(log, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), EWOULDBLOCK);
    EXPECT_EQ(openError(log, GENERIC_WRITE, 0, TRUNCATE_EXISTING), EWOULDBLOCK);
    // A writer that would share writing still respects the exclusive holder.
    EXPECT_EQ(openError(log, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
              EWOULDBLOCK);
    EXPECT_EQ(first.Size(), 7);
    // Readers are let in.
    EXPECT_EQ(contents(log), QByteArray("hello\r\n"));

    ASSERT_EQ(first.Write("more\r\n", 6), 6);
    EXPECT_EQ(contents(log), QByteArray("hello\r\nmore\r\n"));
}

TEST_F(FileStream, LockEndsWithTheStreamAndCreateAlwaysThenTruncates) {
    const QString log = path("a.log");
    {
        TOxaFileStream first(log, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL);
        first.Write("0123456789", 10);
    }
    {
        TOxaFileStream second(log, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(second.Size(), 0);
        second.Write("abc", 3);
    }
    EXPECT_EQ(contents(log), QByteArray("abc"));
}

TEST_F(FileStream, WritersThatShareWritingCoexist) {
    const QString file = path("shared.bin");
    const uint32_t share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    TOxaFileStream a(file, GENERIC_WRITE, share, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(openError(file, GENERIC_WRITE, share, OPEN_ALWAYS), 0);
    EXPECT_EQ(openError(file, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS), EWOULDBLOCK);
}

TEST_F(FileStream, CreationDispositions) {
    const QString missing = path("missing.txt");
    EXPECT_EQ(openError(missing, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), ENOENT);
    EXPECT_EQ(openError(missing, GENERIC_WRITE, FILE_SHARE_READ, TRUNCATE_EXISTING), ENOENT);
    EXPECT_EQ(openError(missing, GENERIC_WRITE, FILE_SHARE_READ, 99), EINVAL);
    EXPECT_EQ(openError(path("no/such/dir/x.log"), GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS),
              ENOENT);

    const QString file = path("d.txt");
    {
        TOxaFileStream s(file, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        s.Write("abcdef", 6);
    }
    EXPECT_EQ(openError(file, GENERIC_WRITE, 0, CREATE_NEW), EEXIST);
    {
        // OPEN_ALWAYS keeps the data; seeking to the end appends.
        TOxaFileStream s(file, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(s.Position(), 0);
        EXPECT_EQ(s.Seek(0, 2), 6);
        s.Write("gh", 2);
        EXPECT_EQ(s.Seek(-3, 1), 5);
        char buffer[8] = {};
        EXPECT_EQ(s.Read(buffer, 8), 3);
        EXPECT_STREQ(buffer, "fgh");
        EXPECT_EQ(s.Seek(2, 0), 2);
        EXPECT_EQ(s.Position(), 2);
    }
    {
        TOxaFileStream s(file, GENERIC_WRITE, FILE_SHARE_READ, TRUNCATE_EXISTING,
                         FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(s.Size(), 0);
    }
}

TEST_F(FileStream, DescriptorFlags) {
    TOxaFileStream plain(path("p"), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL);
    TOxaFileStream through(path("t"), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS,
                           FILE_FLAG_WRITE_THROUGH);
    EXPECT_TRUE(fcntl(plain.Handle(), F_GETFD) & FD_CLOEXEC);
    EXPECT_EQ(fcntl(plain.Handle(), F_GETFL) & O_DSYNC, 0);
    EXPECT_EQ(fcntl(through.Handle(), F_GETFL) & O_DSYNC, O_DSYNC);
    EXPECT_EQ(fcntl(through.Handle(), F_GETFL) & O_ACCMODE, O_WRONLY);
}
