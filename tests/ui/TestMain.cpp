// Test entry for the window tests: a private home (the settings file and the music
// folder the main window creates land there), one QApplication with the program's
// dialog colours for the whole run, then every test. Without a display named, the
// offscreen platform is used.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "ui/WindowStartup.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    qunsetenv("TRACKMILL_DISC");
    QApplication app(argc, argv);
    ui::ApplyDialogColours(app);
    return RUN_ALL_TESTS();
}
