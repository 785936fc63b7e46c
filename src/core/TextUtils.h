// Small text helpers used by the converter.
#pragma once

#include <string>

namespace core {

// Upper-cases an ASCII lower-case letter; every other byte is returned unchanged.
char AsciiUpper(char c);
// Case-insensitive comparison over at most n characters and only over the length of
// the shorter text: 1, 0 or -1 (bytes compared as signed 8-bit values).
int CompareNoCase(const char* a, const char* b, int n);
// The last component of a path ('\' or '/' separated), without its extension (cut at
// the first '.') unless keepExtension.
std::string FileTitleFromPath(const std::string& path, bool keepExtension);
// A text made safe as one file name: control characters, DEL and the characters some
// system refuses in a file name (path separators, drive colon, wildcards, quotes,
// redirection) become '_'; printable ASCII and every byte of a multi-byte character
// are kept.
std::string CleanFileName(const std::string& name);

}  // namespace core
