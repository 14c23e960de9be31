#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/LogLocation.h"

namespace {

const QString ShellPattern = QStringLiteral("logs\\Dralvo_*.log");

TEST(LogLocation, ShellStartsKeepLogsHereMenuStartsUseTheStateFolder) {
    QTemporaryDir root;
    const QString home = root.path() + "/home";
    const QString work = home + "/work";
    const QString state = root.path() + "/state";
    ASSERT_TRUE(QDir().mkpath(work));
    const QString statePattern = state + "/Dralvo/logs/Dralvo_*.log";

    // A folder of one's own, with or without logs/ yet.
    EXPECT_EQ(LogFilePattern(work, home, state), ShellPattern);
    ASSERT_TRUE(QDir().mkpath(work + "/logs"));
    EXPECT_EQ(LogFilePattern(work, home, state), ShellPattern);
    // Where a desktop menu starts programs.
    EXPECT_EQ(LogFilePattern("/", home, state), statePattern);
    EXPECT_EQ(LogFilePattern(home, home, state), statePattern);
    EXPECT_EQ(LogFilePattern(home + "/", home, state), statePattern);
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
