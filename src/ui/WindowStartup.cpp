#include "ui/WindowStartup.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QLockFile>
#include <QPalette>
#include <QRect>
#include <QScreen>
#include <QStandardPaths>
#include <algorithm>
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

// One cascade step: about a caption's height, so that the window under shows its top.
constexpr int kCascadeStep = 32;

}  // namespace

WindowSlot::WindowSlot(const QString& folder) {
    if (folder.isEmpty() || !QDir().mkpath(folder)) return;
    for (int i = 0; i < kSlots; ++i) {
        auto lock = std::make_unique<QLockFile>(
            QDir(folder).filePath(QStringLiteral("trackmill-window-%1.lock").arg(i)));
        lock->setStaleLockTime(0);  // only a lock whose owner has ended is stale
        if (lock->tryLock(0)) {
            lock_ = std::move(lock);
            index_ = i;
            return;
        }
    }
}

WindowSlot::~WindowSlot() = default;

QPoint CascadedWindowPosition(const QSize& size, const QRect& available, int slot) {
    QRect placed(QPoint(), size);
    placed.moveCenter(available.center());
    placed.translate(slot * kCascadeStep, slot * kCascadeStep);
    // A cascade that would run off the screen stops at its edge.
    placed.moveRight(std::min(placed.right(), available.right()));
    placed.moveBottom(std::min(placed.bottom(), available.bottom()));
    return placed.topLeft();
}

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
        const WindowSlot slot(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
        MainWindow window(nullptr, &converter);
        if (!window.DriveFailure().empty())
            std::fprintf(stderr, "trackmill: %s\n", window.DriveFailure().c_str());
        const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (screen)
            window.move(
                CascadedWindowPosition(window.size(), screen->availableGeometry(), slot.Index()));
        window.exec();  // its result is not used
    }
    return 0;
}

}  // namespace ui
