// Entry point of the terminal tests while the folder has no main of its own.
// It is a weak definition: a main added to the folder later replaces it.
#include <QApplication>
#include <gtest/gtest.h>

__attribute__((weak)) int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
