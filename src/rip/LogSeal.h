// The rip log's seal: its last line is a SHA-256 checksum over every byte above it,
// so an edited log can be told from the one the program wrote.
#pragma once

#include <string>

namespace rip {

// What a log's last line says about the rest of it.
enum class LogSealState {
    Intact,   // the checksum matches the text above it
    Altered,  // a checksum line, but the text (or the line) was changed
    Missing,  // the last line is no checksum line
};

// `text` (whole lines, ending in a newline) with the checksum line appended.
std::string SealLog(const std::string& text);
LogSealState CheckLogSeal(const std::string& text);

}  // namespace rip
