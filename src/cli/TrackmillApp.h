// The application object: the program's start-up. It reads the command line and runs
// the headless command it names, or the main window when it names none.
#pragma once

#include <string>

#include "convert/ConverterLibrary.h"

namespace cli {

class TrackmillApp {
  public:
    // `converter` is the program's binding of the converter's module, bound before
    // the application starts.
    explicit TrackmillApp(const convert::ConverterLibrary& converter) : converter_(converter) {}

    // Runs the program with the process's arguments and returns its exit status:
    // the command's own status, 0 for --help and --version, the main window's when
    // the command line names no command and at most disc images, or 2 with the usage
    // on standard error when it holds anything else.
    int Run(int argc, char** argv);

    // The program's version and the versions of the libraries it uses, one per line.
    static std::string VersionText();

  private:
    const convert::ConverterLibrary& converter_;
};

}  // namespace cli
