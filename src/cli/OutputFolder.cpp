#include "cli/OutputFolder.h"

#include <filesystem>

#include "core/Settings.h"
#include "platform/Paths.h"

namespace cli {

bool PrepareOutputFolder(const CommandLine& line, std::string& folder, std::string& error) {
    namespace fs = std::filesystem;
    if (line.haveOut) {
        folder = line.out;
        // Joined as a folder, as the folder picker's choice (which always ends with a
        // separator) would be.
        if (!platform::IsPathSeparator(folder.back())) folder += platform::kPathSeparator;
        std::error_code ec;
        fs::create_directories(folder, ec);
    } else {
        folder = core::DefaultOutputFolder();
    }
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) {
        error = "the output folder '" + folder + "' does not exist and cannot be made";
        return false;
    }
    return true;
}

}  // namespace cli
