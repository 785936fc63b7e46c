// The headless commands of the program. Each takes the command line without the
// program name and returns the process exit status.
#pragma once

#include <string>
#include <vector>

#include "convert/ConverterLibrary.h"

namespace cli {

int RunListCommand(const std::vector<std::string>& args);  // --list
int RunTocCommand(const std::vector<std::string>& args);   // --toc
int RunRipCommand(const std::vector<std::string>& args);   // --rip
// --convert, through the program's bound encoder module.
int RunConvertCommand(const std::vector<std::string>& args,
                      const convert::ConverterLibrary& library);
int RunPlayCommand(const std::vector<std::string>& args);      // --play
int RunCheckLogCommand(const std::vector<std::string>& args);  // --check-log

}  // namespace cli
