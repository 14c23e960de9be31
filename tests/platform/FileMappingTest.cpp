// A mapped file read under the guard: a file cut short under the reader ends
// the read with false, not the program; a fault nobody guards stays fatal.
#include "platform/FileMapping.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/File.h"

using namespace platform;

namespace {

struct Sum {
    const char* data;
    int64_t length;
    uint64_t sum = 0;
};

void addUp(void* context) {
    Sum& s = *static_cast<Sum*>(context);
    const volatile char* data = s.data; // every byte read, also where the sum is not used
    for (int64_t i = 0; i < s.length; ++i)
        s.sum += uint8_t(data[i]);
}

} // namespace

TEST(PlatformFileMapping, ATruncatedFileEndsTheGuardedReadNotTheProgram) {
    QTemporaryDir dir;
    const QString path = dir.filePath("log");
    const int64_t size = 256 * 1024;
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(QByteArray(int(size), '\x01')), size);
    }
    File file;
    ASSERT_EQ(file.open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING), 0);
    // Not from a page boundary: the mapping starts before the byte asked for.
    FileMapping mapping;
    ASSERT_TRUE(mapping.map(file, 100, size - 100));
    Sum whole{mapping.data(), mapping.length()};
    EXPECT_TRUE(guardedRead(mapping.data(), mapping.length(), addUp, &whole));
    EXPECT_EQ(whole.sum, uint64_t(size - 100));

    // Another program cuts the file short: the pages past its end have no
    // file behind them any more.
    ASSERT_TRUE(QFile::resize(path, 1000));
    Sum cut{mapping.data(), mapping.length()};
    EXPECT_FALSE(guardedRead(mapping.data(), mapping.length(), addUp, &cut));
    EXPECT_EQ(cut.sum, uint64_t(900)) << "the bytes still in the file were read";
    // The guard is armed again for the next read, and a read that stays
    // within the file succeeds.
    Sum front{mapping.data(), 900};
    EXPECT_TRUE(guardedRead(mapping.data(), 900, addUp, &front));
    EXPECT_FALSE(guardedRead(mapping.data(), mapping.length(), addUp, &cut));

    // Outside a guarded read the same fault is as fatal as it always was.
    Sum unguarded{mapping.data(), mapping.length()};
    EXPECT_DEATH(addUp(&unguarded), "");
}
