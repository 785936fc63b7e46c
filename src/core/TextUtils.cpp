#include "core/TextUtils.h"

#include <cstring>

namespace core {

char AsciiUpper(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<char>(u - 32) : c;
}

int CompareNoCase(const char* a, const char* b, int n) {
    if (!a) a = "";
    if (!b) b = "";
    const std::size_t lengthA = std::strlen(a);
    const std::size_t lengthB = std::strlen(b);
    for (std::size_t i = 0; static_cast<long long>(i) < n && i < lengthA && i < lengthB; ++i) {
        // Compared as signed 8-bit values: a byte of 128 or more sorts before ASCII.
        const signed char x = static_cast<signed char>(AsciiUpper(a[i]));
        const signed char y = static_cast<signed char>(AsciiUpper(b[i]));
        if (x > y) return 1;
        if (x < y) return -1;
    }
    return 0;
}

std::string FileTitleFromPath(const std::string& path, bool keepExtension) {
    // The path is worked on in a buffer of 264 bytes: longer paths are cut first.
    constexpr std::size_t kBufferSize = 264;
    std::string copy = path.substr(0, kBufferSize - 1);
    const std::size_t nul = copy.find('\0');
    if (nul != std::string::npos) copy.resize(nul);

    const std::size_t separator = copy.find_last_of("\\/");
    std::string title = separator == std::string::npos ? copy : copy.substr(separator + 1);
    if (!keepExtension) {
        const std::size_t dot = title.find('.');
        if (dot != std::string::npos) title.resize(dot);
    }
    return title;
}

std::string CleanFileName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::strchr("\\/:*?\"<>|", c)) c = '_';
    }
    return out;
}

}  // namespace core
