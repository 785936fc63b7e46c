// The program's windowed start-up: the application object with the dialog colours,
// then the main window, run modally. When the main window closes the program ends.
#pragma once

#include <string>
#include <vector>

#include "convert/ConverterLibrary.h"

class QApplication;

namespace ui {

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
