#include "cli/OutputFolder.h"

#include <filesystem>

#include "core/Settings.h"
#include "platform/Paths.h"

namespace cli {

bool PrepareOutputFolder(const CommandLine& line, std::string& folder, std::string& error,
                         std::size_t maxLength) {
    namespace fs = std::filesystem;
    // A folder too long to be used is refused before any of it is made.
    auto tooLong = [&](const std::string& path) {
        if (maxLength == 0 || path.size() <= maxLength) return false;
        error = "the output folder's path is longer than " + std::to_string(maxLength) + " bytes";
        return true;
    };
    if (line.haveOut) {
        folder = line.out;
        // Joined as a folder, as the folder picker's choice (which always ends with a
        // separator) would be.
        if (!platform::IsPathSeparator(folder.back())) folder += platform::kPathSeparator;
        if (tooLong(folder)) return false;
        std::error_code ec;
        fs::create_directories(folder, ec);
    } else {
        const std::string setting = core::ReadOutputSetting();
        if (tooLong(setting)) return false;
        folder = core::DefaultOutputFolder();
        if (tooLong(folder)) return false;
    }
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) {
        error = "the output folder '" + folder + "' does not exist and cannot be made";
        return false;
    }
    return true;
}

}  // namespace cli
