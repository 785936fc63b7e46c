// The headless commands of the program. Each takes the command line without the
// program name and returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace cli {

int RunListCommand(const std::vector<std::string>& args);     // --list
int RunRipCommand(const std::vector<std::string>& args);      // --rip
int RunConvertCommand(const std::vector<std::string>& args);  // --convert
int RunPlayCommand(const std::vector<std::string>& args);     // --play

}  // namespace cli
