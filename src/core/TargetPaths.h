// The rule that keeps the files one run writes apart (a conversion's targets, a
// rip's tracks).
#pragma once

#include <string>
#include <vector>

namespace core {

// The path a run may write without overwriting a file it wrote earlier. `wanted` is
// returned when it is free; otherwise " (2)", " (3)" ... goes before its extension
// ("song.mp3" -> "song (2).mp3") until the name is free. A name is taken when it
// equals one in `taken`, or when it names an existing file that is one of them under
// another spelling (a case-insensitive folder, a link).
std::string FreeTargetPath(const std::string& wanted, const std::vector<std::string>& taken);

}  // namespace core
