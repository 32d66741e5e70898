// Common main() of the test programs: a headless QApplication around GoogleTest.
#include <cstdlib>

#include <QApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv) {
#ifndef _WIN32
    // Test discovery runs the binary without the test's environment. On Windows the widgets are
    // shown on the system's own platform (Wine's windows on Xvfb), fonts and DPI included.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
    testing::InitGoogleMock(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
