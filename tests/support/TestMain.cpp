// The main of every test program. Built into each one with
// DRALVO_TEST_APPLICATION: 0 for no Qt application object, 1 for a
// QCoreApplication (QProcess, timers), 2 for a QApplication on the offscreen
// platform (widgets).
#include "tests/support/TestMain.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <system_error>

#if DRALVO_TEST_APPLICATION == 2
#include <QApplication>
#elif DRALVO_TEST_APPLICATION == 1
#include <QCoreApplication>
#endif

namespace {

std::string g_workDir;

// A fresh folder below the system's temporary one, removed when it goes.
class WorkFolder {
public:
    explicit WorkFolder(const char* program) {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::string pattern =
            (base / (std::filesystem::path(program).filename().string() + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~WorkFolder() {
        if (m_path.empty())
            return;
        std::error_code ec;
        std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
        std::filesystem::remove_all(m_path, ec);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// name=<work>/<folder>, the folder created with the owner's rights only (the
// runtime folder must be so, and the others do not need more).
void setXdg(const std::string& work, const char* name, const char* folder) {
    const std::filesystem::path dir = std::filesystem::path(work) / folder;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, ec);
    ::setenv(name, dir.c_str(), 1);
}

} // namespace

namespace testsupport {

const std::string& WorkDir() {
    return g_workDir;
}

} // namespace testsupport

int main(int argc, char** argv) {
    WorkFolder work(argv[0]);
    if (work.path().empty()) {
        std::perror("test main: temporary folder");
        return 1;
    }
    g_workDir = work.path();
    setXdg(g_workDir, "XDG_CONFIG_HOME", "config");
    setXdg(g_workDir, "XDG_CONFIG_DIRS", "xdg");
    setXdg(g_workDir, "XDG_STATE_HOME", "state");
    setXdg(g_workDir, "XDG_CACHE_HOME", "cache");
    setXdg(g_workDir, "XDG_RUNTIME_DIR", "runtime");
    std::filesystem::current_path(g_workDir);
#if DRALVO_TEST_APPLICATION == 2
    // Widgets need a platform even when the tests are only being listed.
    if (!std::getenv("QT_QPA_PLATFORM") || !*std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
#elif DRALVO_TEST_APPLICATION == 1
    QCoreApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
