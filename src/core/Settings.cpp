// The settings file beside the program and the paths derived from the program folder.
// Every read goes to the file (nothing is cached), through the private-profile reader.
#include "core/Settings.h"

#include <cstdio>
#include <filesystem>

#include "platform/Paths.h"
#include "platform/Profile.h"

namespace core {

namespace {

// "output" is read into a 300-byte buffer: at most 299 characters come back.
constexpr std::size_t kOutputBufferSize = 300;

std::string InProgramFolder(const char* name) {
    return ProgramFolder() + platform::kPathSeparator + name;
}

}  // namespace

std::string ProgramFolder() {
    return platform::ExecutableFolder();
}

std::string SettingsFilePath() {
    return InProgramFolder("trackmill.ini");
}

std::string HelpFilePath() {
#ifdef _WIN32
    return InProgramFolder("Trackmill.chm");
#else
    return InProgramFolder("Trackmill.html");
#endif
}

bool WriteSettingInt(const char* section, const char* key, std::int32_t value,
                     const std::string& filePath) {
    if (!section || !key) return false;
    char text[20];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return platform::WriteProfileString(section, key, text, filePath);
}

std::string ReadOutputSetting() {
    return platform::ReadProfileString(kSettingsSection, kKeyOutput, "", kOutputBufferSize,
                                       SettingsFilePath());
}

int ReadRateSetting() {
    return platform::ReadProfileInt(kSettingsSection, kKeyRate, kDefaultRateIndex,
                                    SettingsFilePath());
}

int ReadChannelSetting() {
    return platform::ReadProfileInt(kSettingsSection, kKeyChannel, kDefaultChannelIndex,
                                    SettingsFilePath());
}

bool ReadVerifySetting() {
    return platform::ReadProfileInt(kSettingsSection, kKeyVerify, 0, SettingsFilePath()) != 0;
}

int ReadOffsetSetting() {
    return platform::ReadProfileInt(kSettingsSection, kKeyOffset, 0, SettingsFilePath());
}

bool ReadAccurateRipSetting() {
    return platform::ReadProfileInt(kSettingsSection, kKeyAccurateRip, 0, SettingsFilePath()) != 0;
}

bool WriteOutputSetting(const std::string& folder) {
    return platform::WriteProfileString(kSettingsSection, kKeyOutput, folder, SettingsFilePath());
}

int BitRateForIndex(int rateIndex) {
    if (rateIndex < 0 || rateIndex >= kRateListSize) return kRateList[kDefaultRateIndex];
    return kRateList[rateIndex];
}

std::string DefaultOutputFolder() {
    std::string folder = ReadOutputSetting();
    if (!folder.empty()) return folder;
    folder = platform::DefaultMusicFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);  // a failure shows when files are written
    return folder;
}

void EnsureDefaultOutputFolder() {
    if (!ReadOutputSetting().empty()) return;
    const std::string folder = platform::DefaultMusicFolder();
    platform::CreateFolder(folder);  // one level; an existing folder or a failure is fine
    WriteOutputSetting(folder);
}

}  // namespace core
