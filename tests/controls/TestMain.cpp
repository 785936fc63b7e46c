// Test entry for the controls tests: one QApplication for the whole run (the
// widgets need it), then every test. Without a display named, the offscreen
// platform is used, so the test list can also be read outside CTest's environment.
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
