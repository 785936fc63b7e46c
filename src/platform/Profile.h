// Private-profile (ini) files: "[section]" lines followed by "key=value" lines.
//
// Reading follows the classic private-profile rules the settings were designed
// around: section and key names match without regard to ASCII case, blanks around
// names and values are ignored, the first matching section and key win, and a file
// that cannot be read behaves as an empty one. Values are plain text: no quoting, no
// escaping. A write changes exactly one key's line (or adds the key, the section or
// the file) and leaves every other byte of the file as it was.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// The key's text, or `defaultValue` when the file, the section or the key is
// missing. The answer is cut to bufferSize - 1 characters, as a reader with a
// buffer of bufferSize bytes would get it (bufferSize 0 gives the empty text).
std::string ReadProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t bufferSize,
                              const std::string& file);

// The key's value as an integer: `defaultValue` when the key is missing or its value
// is empty; otherwise the signed decimal number the value starts with (an optional
// sign, then digits; clamped to the 32-bit range), and 0 when it does not start with
// one.
int ReadProfileInt(const std::string& section, const std::string& key, int defaultValue,
                   const std::string& file);

// Sets the key's text, creating the file, the section or the key when missing; the
// value is written exactly as given. False when the file cannot be written (for
// example a read-only file or a missing folder).
bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& file);

}  // namespace platform
