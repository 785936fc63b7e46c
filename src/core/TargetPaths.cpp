#include "core/TargetPaths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace core {

namespace {

bool IsTaken(const std::string& candidate, const std::vector<std::string>& taken) {
    if (std::find(taken.begin(), taken.end(), candidate) != taken.end()) return true;
    std::error_code error;
    if (!std::filesystem::exists(candidate, error)) return false;
    for (const std::string& earlier : taken) {
        if (std::filesystem::equivalent(candidate, earlier, error)) return true;
    }
    return false;
}

}  // namespace

std::string FreeTargetPath(const std::string& wanted, const std::vector<std::string>& taken) {
    if (!IsTaken(wanted, taken)) return wanted;
    // The numbered name goes before the extension of the last path component.
    const std::size_t separator = wanted.find_last_of("\\/");
    const std::size_t dot = wanted.rfind('.');
    const std::size_t cut =
        dot != std::string::npos && (separator == std::string::npos || dot > separator)
            ? dot
            : wanted.size();
    for (int n = 2;; ++n) {
        const std::string candidate =
            wanted.substr(0, cut) + " (" + std::to_string(n) + ")" + wanted.substr(cut);
        if (!IsTaken(candidate, taken)) return candidate;
    }
}

}  // namespace core
