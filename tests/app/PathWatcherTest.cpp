// The port path watcher: a name that appears, through a link and through
// folders that do not exist yet.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <unistd.h>

#include "TestEnv.h"
#include "platform/PathWatcher.h"

namespace {

struct PathWatcherTest : ::testing::Test {
    QTemporaryDir dir;
    platform::PathWatcher watcher;
    int changes = 0;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        watcher.OnChanged = [this] { ++changes; };
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    static bool touch(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::WriteOnly);
    }
    // Waits (running the loop) until another change has been told.
    bool changed() {
        const int before = changes;
        return WaitUntil([&] { return changes > before; }, 3000);
    }
};

} // namespace

TEST_F(PathWatcherTest, ANameThatAppearsInItsFolderIsTold) {
    watcher.watch(path("ttyUSB0"));
    EXPECT_EQ(watcher.watchedFolders(), 1);
    // Other names in the folder are no reason to look.
    ASSERT_TRUE(touch(path("ttyUSB1")));
    ASSERT_TRUE(touch(path("ttyUSB0")));
    ASSERT_TRUE(changed());
    EXPECT_EQ(changes, 1);

    // Its mode changing (as a new device node gets its group) is told too.
    ASSERT_TRUE(QFile::setPermissions(path("ttyUSB0"), QFile::ReadOwner | QFile::WriteOwner));
    EXPECT_TRUE(changed());

    watcher.watch(QString());
    EXPECT_EQ(watcher.watchedFolders(), 0);
}

TEST_F(PathWatcherTest, FoldersThatComeLaterAndALinksTargetAreFollowed) {
    // /dev/serial/by-id/<name> goes away with the last device, folders and all.
    const QString link = path("serial/by-id/usb-module");
    watcher.watch(link);
    EXPECT_EQ(watcher.watchedFolders(), 1); // the nearest folder that exists
    ASSERT_TRUE(QDir().mkpath(path("serial")));
    ASSERT_TRUE(changed());
    ASSERT_TRUE(QDir().mkpath(path("serial/by-id")));
    ASSERT_TRUE(changed());
    ASSERT_TRUE(QDir().mkpath(path("dev")));
    ASSERT_TRUE(touch(path("dev/ttyACM0")));
    ASSERT_EQ(::symlink("../../dev/ttyACM0", QFile::encodeName(link).constData()), 0);
    ASSERT_TRUE(changed());
    EXPECT_EQ(watcher.watchedFolders(), 2); // the link's folder and its target's

    // Pulled: the node and the link go. The node comes back first, and is
    // told although the link is not there yet.
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::remove(path("dev/ttyACM0")));
    ASSERT_TRUE(touch(path("dev/ttyACM0")));
    EXPECT_TRUE(changed());
}
