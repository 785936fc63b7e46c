#include "convert/TargetNames.h"

#include "core/TextUtils.h"
#include "platform/Paths.h"

namespace convert {

std::string ConvertTargetPath(const std::string& folder, const std::string& source) {
    std::string target = folder;
    if (!target.empty() && !platform::IsPathSeparator(target.back())) {
        target += platform::kPathSeparator;
    }
    return target + core::FileTitleFromPath(source, false) + ".mp3";
}

}  // namespace convert
