#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/LogLocation.h"

namespace {

const QString ShellPattern = QStringLiteral("logs\\Dralvo_*.log");

TEST(LogLocation, ShellStartsKeepLogsHereMenuStartsAndBlockedFoldersUseTheStateFolder) {
    QTemporaryDir root;
    const QString home = root.path() + "/home";
    const QString work = home + "/work";
    const QString state = root.path() + "/state";
    ASSERT_TRUE(QDir().mkpath(work));
    const QString statePattern = state + "/Dralvo/logs/Dralvo_*.log";
    const auto place = [&](const QString& here) { return ChooseLogPlace(here, home, state); };

    // A folder of one's own, with or without logs/ yet.
    EXPECT_EQ(place(work).pattern, ShellPattern);
    EXPECT_EQ(place(work).reason, LogPlace::Here);
    ASSERT_TRUE(QDir().mkpath(work + "/logs"));
    EXPECT_EQ(place(work).pattern, ShellPattern);
    // Where a desktop menu starts programs.
    EXPECT_EQ(place("/").pattern, statePattern);
    EXPECT_EQ(place(home).pattern, statePattern);
    EXPECT_EQ(place(home + "/").pattern, statePattern);
    EXPECT_EQ(place(home).reason, LogPlace::MenuStart);

    // A plain file named logs, and a folder that cannot be written: the state
    // folder, and which folder could not take the log.
    const QString other = home + "/other";
    ASSERT_TRUE(QDir().mkpath(other));
    QFile file(other + "/logs");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(place(other).pattern, statePattern);
    EXPECT_EQ(place(other).reason, LogPlace::NotAFolder);
    EXPECT_EQ(place(other).folder, other + "/logs");
    ASSERT_TRUE(QFile::setPermissions(work + "/logs", QFile::ReadOwner | QFile::ExeOwner));
    if (!QFileInfo(work + "/logs").isWritable()) { // root may write anyway
        EXPECT_EQ(place(work).pattern, statePattern);
        EXPECT_EQ(place(work).reason, LogPlace::NotWritable);
        EXPECT_EQ(place(work).folder, work + "/logs");
    }
}

TEST(LogLocation, StateHomeFollowsXdgStateHomeWhenAbsolute) {
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", "/var/tmp/state");
    EXPECT_EQ(StateHome("/home/u"), "/var/tmp/state");
    qputenv("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(StateHome("/home/u"), "/home/u/.local/state");
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(StateHome("/home/u"), "/home/u/.local/state");
    if (!saved.isNull())
        qputenv("XDG_STATE_HOME", saved);
}

TEST(LogLocation, StatusBarNamesTheFileShortly) {
    EXPECT_EQ(
        DisplayedLogPath("/home/u/work/logs/Dralvo_2026-12-09.log", "/home/u/work", "/home/u"),
        "logs/Dralvo_2026-12-09.log");
    EXPECT_EQ(DisplayedLogPath("/home/u/.local/state/Dralvo/logs/Dralvo_2026-12-09.log", "/home/u",
                               "/home/u"),
              "~/.local/state/Dralvo/logs/Dralvo_2026-12-09.log");
    EXPECT_EQ(
        DisplayedLogPath("/home/u/.local/state/Dralvo/logs/Dralvo_2026-12-09.log", "/", "/home/u"),
        "~/.local/state/Dralvo/logs/Dralvo_2026-12-09.log");
    EXPECT_EQ(DisplayedLogPath("/srv/state/Dralvo/logs/x.log", "/", "/home/u"),
              "/srv/state/Dralvo/logs/x.log");
    // /home/user2 is not below /home/u.
    EXPECT_EQ(DisplayedLogPath("/home/u2/x.log", "/", "/home/u"), "/home/u2/x.log");
}

} // namespace
