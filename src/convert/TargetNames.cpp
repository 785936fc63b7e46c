#include "convert/TargetNames.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/TextUtils.h"
#include "platform/Paths.h"

namespace convert {

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

std::string ConvertTargetPath(const std::string& folder, const std::string& source) {
    std::string target = folder;
    if (!target.empty() && !platform::IsPathSeparator(target.back())) {
        target += platform::kPathSeparator;
    }
    return target + core::FileTitleFromPath(source, false) + ".mp3";
}

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

}  // namespace convert
