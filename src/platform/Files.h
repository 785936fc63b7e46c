// Opening files the program reads, with a reason when that fails.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// Opens a regular file for binary reading ("rb"). Anything else (a folder, a FIFO, a
// device, a socket) is refused at once, without waiting for a writer or a device to
// answer. On failure returns null and puts a short reason in `reason`.
std::FILE* OpenRegularFileForReading(const std::string& path, std::string& reason);

}  // namespace platform
