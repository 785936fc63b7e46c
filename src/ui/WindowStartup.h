// The program's windowed start-up: the application object with the dialog colours,
// then the main window, run modally. When the main window closes the program ends.
#pragma once

#include <QPoint>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "convert/ConverterLibrary.h"

class QApplication;
class QLockFile;
class QRect;
class QSize;

namespace ui {

// The place of this instance's main window among the instances running at once: the
// first free one of a few lock files in `folder`, held until the slot is destroyed. An
// instance that exits, even by a crash, frees its slot. 0 when every slot is taken or
// none can be made.
class WindowSlot {
  public:
    static constexpr int kSlots = 10;
    explicit WindowSlot(const QString& folder);
    ~WindowSlot();
    int Index() const { return index_; }

  private:
    std::unique_ptr<QLockFile> lock_;
    int index_ = 0;
};

// Where the main window of `size` opens as the `slot`-th instance on a screen's
// `available` area: centred for the first, then each one step further down and to the
// right, so that a second instance does not open exactly over the first.
QPoint CascadedWindowPosition(const QSize& size, const QRect& available, int slot);

// Background RGB(247, 243, 247) and black text for every window of the program.
void ApplyDialogColours(QApplication& application);

// Adds the disc images named by `--disc FILE` in args (the only options it takes),
// creates the application object, runs the main window modally and returns the exit
// status: 0 once the window has closed, 1 with a message on standard error when
// there is no display to show it on. `converter` is the program's binding of the
// converter's encoder module, for the convert dialog.
int RunMainWindow(int& argc, char** argv, const std::vector<std::string>& args,
                  const convert::ConverterLibrary& converter);

}  // namespace ui
