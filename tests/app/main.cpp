// Test program of the main window: a widget application on the offscreen
// platform, working in a private folder so logs and settings stay there.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "TestEnv.h"

namespace {
QTemporaryDir* workDir = nullptr;
}

QString TestWorkDir() {
    return workDir->path();
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    workDir = &dir;
    // Settings, the control socket and the logs of the window all go here.
    QDir().mkpath(dir.path() + "/config");
    QDir().mkpath(dir.path() + "/runtime");
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", (dir.path() + "/xdg").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (dir.path() + "/runtime").toLocal8Bit());
    QDir::setCurrent(dir.path());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
