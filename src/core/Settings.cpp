// The settings file and the paths derived from the program folder. Every read goes to
// the file (nothing is cached), through the private-profile reader.
#include "core/Settings.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

#include "platform/Paths.h"
#include "platform/Profile.h"

namespace core {

namespace {

// "output" is read into a 300-byte buffer: at most 299 characters come back.
constexpr std::size_t kOutputBufferSize = 300;

constexpr const char* kSettingsFileName = "trackmill.ini";

std::string InProgramFolder(const char* name) {
    return ProgramFolder() + platform::kPathSeparator + name;
}

// A write to the settings file first makes the file's folder: the per-user folder
// does not exist until the first setting is saved. Other files are written as they
// are (a missing folder fails the write).
bool WriteSetting(const char* section, const char* key, const std::string& value,
                  const std::string& filePath) {
    if (filePath == SettingsFilePath()) {
        const auto slash = filePath.find_last_of(platform::kPathSeparator);
        if (slash != std::string::npos && slash > 0)
            platform::CreatePrivateFolderPath(filePath.substr(0, slash));
    }
    return platform::WriteProfileString(section, key, value, filePath);
}

}  // namespace

std::string ProgramFolder() {
    return platform::ExecutableFolder();
}

std::string SettingsFilePath() {
    const std::string beside = InProgramFolder(kSettingsFileName);
#ifndef _WIN32
    // An installed program cannot write beside itself: the settings are the user's,
    // in the configuration folder, unless a file beside the program (a portable copy
    // that carries its settings along) is already there.
    std::error_code ec;
    if (std::filesystem::is_regular_file(beside, ec)) return beside;
    const std::string config = platform::ConfigHomeFolder();
    if (!config.empty()) return config + "/trackmill/" + kSettingsFileName;
#endif
    return beside;
}

std::string HelpFilePath() {
#ifdef _WIN32
    return InProgramFolder("Trackmill.chm");
#else
    // <prefix>/bin/trackmill reads <prefix>/share/doc/trackmill/help/index.html; the
    // build tree has the same layout around its bin folder. The program folder is a
    // resolved path, so ".." can be removed by spelling alone.
    const std::filesystem::path page =
        std::filesystem::path(ProgramFolder()) / "../share/doc/trackmill/help/index.html";
    return page.lexically_normal().string();
#endif
}

bool WriteSettingInt(const char* section, const char* key, std::int32_t value,
                     const std::string& filePath) {
    if (!section || !key) return false;
    char text[20];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return WriteSetting(section, key, text, filePath);
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

int DefaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, static_cast<unsigned>(kMaxJobs)));
}

int ReadJobsSetting() {
    const int jobs = platform::ReadProfileInt(kSettingsSection, kKeyJobs, 0, SettingsFilePath());
    return jobs <= 0 ? DefaultJobs() : std::min(jobs, kMaxJobs);
}

bool ReadReplayGainSetting() {
    return platform::ReadProfileInt(kSettingsSection, kKeyReplayGain, 1, SettingsFilePath()) != 0;
}

int ReadFlacSetting() {
    const std::string text =
        platform::ReadProfileString(kSettingsSection, kKeyFlac, "", 16, SettingsFilePath());
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return kDefaultFlacLevel;
    const auto last = text.find_last_not_of(" \t");
    const std::string digits = text.substr(first, last - first + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return kDefaultFlacLevel;
    // Leading zeros aside, a level is one digit.
    const auto lead = std::min(digits.find_first_not_of('0'), digits.size() - 1);
    const std::string level = digits.substr(lead);
    if (level.size() != 1 || level[0] > '0' + kMaxFlacLevel) return kDefaultFlacLevel;
    return level[0] - '0';
}

bool ReadCtdbSetting() {
    return platform::ReadProfileInt(kSettingsSection, kKeyCtdb, 0, SettingsFilePath()) != 0;
}

std::string ReadNamingSetting() {
    return platform::ReadProfileString(kSettingsSection, kKeyNaming, "", kOutputBufferSize,
                                       SettingsFilePath());
}

bool WriteNamingSetting(const std::string& naming) {
    return WriteSetting(kSettingsSection, kKeyNaming, naming, SettingsFilePath());
}

bool ReadId3v24Setting() {
    return platform::ReadProfileInt(kSettingsSection, kKeyId3v24, 0, SettingsFilePath()) != 0;
}

bool ReadCoverSetting() {
    return platform::ReadProfileInt(kSettingsSection, kKeyCover, 1, SettingsFilePath()) != 0;
}

bool ReadHiddenTrackSetting() {
    return platform::ReadProfileInt(kSettingsSection, kKeyHiddenTrack, 1, SettingsFilePath()) != 0;
}

bool WriteOutputSetting(const std::string& folder) {
    return WriteSetting(kSettingsSection, kKeyOutput, folder, SettingsFilePath());
}

int BitRateForIndex(int rateIndex) {
    if (rateIndex < 0 || rateIndex >= kRateListSize) return kRateList[kDefaultRateIndex];
    return kRateList[rateIndex];
}

std::string DefaultOutputFolder() {
    std::string folder = ReadOutputSetting();
    if (folder.empty()) folder = platform::DefaultMusicFolder();
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
