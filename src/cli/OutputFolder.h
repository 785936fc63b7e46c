// The folder a command writes into: --out (made when missing), else the program's
// default output folder.
#pragma once

#include <cstddef>
#include <string>

#include "cli/CommandLine.h"

namespace cli {

// The output folder of `line`, ending with the path separator when it was named with
// --out. False with a one-line reason in `error` when the folder is not there and
// cannot be made, or when its path is longer than `maxLength` bytes (0: no limit), which
// is refused before any folder is made.
bool PrepareOutputFolder(const CommandLine& line, std::string& folder, std::string& error,
                         std::size_t maxLength = 0);

}  // namespace cli
