#include "ui/WindowStartup.h"

#include <QApplication>
#include <QPalette>
#include <cstdio>

#include "cd/DiscSession.h"
#include "ui/MainWindow.h"

namespace ui {

namespace {

// True when a window can be shown: a platform is named, or a display server is.
// Without one, creating the application object would abort the program.
bool DisplayAvailable() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

}  // namespace

void ApplyDialogColours(QApplication& application) {
    QPalette palette = application.palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, QColor(247, 243, 247));
        palette.setColor(group, QPalette::WindowText, Qt::black);
    }
    application.setPalette(palette);
}

int RunMainWindow(int& argc, char** argv, const std::vector<std::string>& args,
                  const convert::ConverterLibrary& converter) {
    if (!DisplayAvailable()) {
        std::fputs(
            "trackmill: the main window needs a display (DISPLAY is not set); "
            "trackmill --help lists the commands that run without one\n",
            stderr);
        return 1;
    }
    std::string error;
    if (!cd::ApplyDiscOptions(args, error)) {
        std::fprintf(stderr, "trackmill: %s\n", error.c_str());
        return 2;
    }
    QApplication application(argc, argv);
    ApplyDialogColours(application);
    {
        MainWindow window(nullptr, &converter);
        if (!window.DriveFailure().empty())
            std::fprintf(stderr, "trackmill: %s\n", window.DriveFailure().c_str());
        window.exec();  // its result is not used
    }
    return 0;
}

}  // namespace ui
