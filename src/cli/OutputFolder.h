// The folder a command writes into: --out (made when missing), else the program's
// default output folder.
#pragma once

#include <string>

#include "cli/CommandLine.h"

namespace cli {

// The output folder of `line`, ending with the path separator when it was named with
// --out. False with a one-line reason in `error` when the folder is not there and
// cannot be made.
bool PrepareOutputFolder(const CommandLine& line, std::string& folder, std::string& error);

}  // namespace cli
