#include <QApplication>
#include <gtest/gtest.h>

// The component delivers everything through the Qt event loop, so the tests
// need an application object on the main thread.
int main(int argc, char** argv) {
    // Widgets need a platform even when the tests are only being listed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
