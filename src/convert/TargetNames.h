// Where a conversion writes: the target path of a source, and the rule that keeps the
// targets of one run apart. The convert dialog and the headless command both use it.
#pragma once

#include <string>
#include <vector>

#include "core/TargetPaths.h"

namespace convert {

// The target of a source: the output folder, a path separator when the folder does not
// end with one, the source's file title (cut at its first full stop) and ".mp3". An
// empty folder leaves the bare file name, relative to the current folder.
std::string ConvertTargetPath(const std::string& folder, const std::string& source);

// The target a conversion may write without overwriting a file an earlier conversion
// of the same run wrote (core/TargetPaths.h).
using core::FreeTargetPath;

}  // namespace convert
