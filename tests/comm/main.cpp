#include <QApplication>
#include <gtest/gtest.h>

// The component delivers everything through the Qt event loop, so the tests
// need an application object on the main thread.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
