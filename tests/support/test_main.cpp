// Common main() of the test programs: a headless QApplication around GoogleTest.
#include <cstdlib>

#include <QApplication>
#include <gmock/gmock.h>

int main(int argc, char** argv) {
    // Test discovery runs the binary without the test's environment.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    testing::InitGoogleMock(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
