// The settings file trackmill.ini: section "CONFIG", keys "output" (text), "rate"
// (integer, index into the rate list) and "channle" (integer, channel choice).
// Nothing is cached: every read goes to the file.
#pragma once

#include <cstdint>
#include <string>

namespace core {

inline constexpr const char* kSettingsSection = "CONFIG";
inline constexpr const char* kKeyOutput = "output";
inline constexpr const char* kKeyRate = "rate";
inline constexpr const char* kKeyChannel = "channle";
// Proof of a rip: test and copy (0/1), the drive's read offset in samples, and the
// AccurateRip lookup after a batch (0/1). All default to 0.
inline constexpr const char* kKeyVerify = "verify";
inline constexpr const char* kKeyOffset = "offset";
inline constexpr const char* kKeyAccurateRip = "accuraterip";
// The compression level of FLAC rips, 0 (fastest) to 8 (smallest).
inline constexpr const char* kKeyFlac = "flac";
inline constexpr const char* kKeyJobs = "jobs";
inline constexpr const char* kKeyReplayGain = "replaygain";
inline constexpr int kMinFlacLevel = 0;
inline constexpr int kMaxFlacLevel = 8;
inline constexpr int kDefaultFlacLevel = 5;
inline constexpr const char* kKeyCtdb = "ctdb";  // the CTDB lookup after a batch (0/1)
// Names and tags: the file-name template (text, empty for the default), ID3v2.4
// instead of ID3v2.3 in MP3 files (0/1, default 0) and embedded cover art (0/1,
// default 1).
inline constexpr const char* kKeyNaming = "naming";
inline constexpr const char* kKeyId3v24 = "id3v24";
inline constexpr const char* kKeyCover = "cover";
// Rips the audio hidden before track 1 as "Track 0" (0/1, default 1).
inline constexpr const char* kKeyHiddenTrack = "htoa";
inline constexpr int kDefaultRateIndex = 3;     // 192 kbit/s
inline constexpr int kDefaultChannelIndex = 0;  // "Stereo"

// The MP3 bit rates in kbit/s that the "rate" setting indexes, highest first.
inline constexpr int kRateListSize = 10;
inline constexpr int kRateList[kRateListSize] = {320, 256, 224, 192, 160, 128, 112, 96, 64, 56};

// The executable's folder without a trailing separator.
std::string ProgramFolder();
// Where the settings file is. On Windows: ProgramFolder + "\trackmill.ini".
// Elsewhere: trackmill.ini beside the program when that file exists (a portable
// copy), otherwise $XDG_CONFIG_HOME/trackmill/trackmill.ini (~/.config/trackmill/ by
// default), whose folder the first write makes.
std::string SettingsFilePath();
// The help file. On Windows: ProgramFolder + "\Trackmill.chm". Elsewhere the help
// page of the installed layout (and of the build tree, which mirrors it):
// ProgramFolder/../share/doc/trackmill/help/index.html.
std::string HelpFilePath();

// Formats value with "%d" and writes it as the key's text; returns the write's result.
bool WriteSettingInt(const char* section, const char* key, std::int32_t value,
                     const std::string& filePath);

// Reads of the settings file with the private-profile semantics: absent key gives
// the default, a text is cut to 299 characters, an integer that is absent or empty
// gives its default and one that does not start with a number gives 0.
std::string ReadOutputSetting();  // "output", default empty
int ReadRateSetting();            // "rate", default 3
int ReadChannelSetting();         // "channle", default 0
bool WriteOutputSetting(const std::string& folder);
bool ReadVerifySetting();       // "verify" != 0
int ReadOffsetSetting();        // "offset", default 0 (the caller checks its range)
bool ReadAccurateRipSetting();  // "accuraterip" != 0
// "flac": a whole number 0..8 (spaces around it allowed); anything else, absent,
// empty, out of range or not a number, reads as the default 5.
int ReadFlacSetting();
bool ReadCtdbSetting();           // "ctdb" != 0
std::string ReadNamingSetting();  // "naming", default empty (the default template)
bool WriteNamingSetting(const std::string& naming);
bool ReadId3v24Setting();       // "id3v24" != 0
bool ReadCoverSetting();        // "cover" != 0, default 1
bool ReadHiddenTrackSetting();  // "htoa" != 0, default 1
// "jobs": how many files are encoded at once, 1..kMaxJobs; absent, empty, 0 or not a
// number reads as the processor count, more than kMaxJobs as kMaxJobs.
inline constexpr int kMaxJobs = 32;
int DefaultJobs();
int ReadJobsSetting();
// "replaygain" != 0 (default 1): rips measure ReplayGain 2.0 and log it.
bool ReadReplayGainSetting();

// The first-start default of "output": when the setting is empty (or absent), creates
// the user's music folder (one level; an existing folder or a failure changes nothing)
// and writes it, with its trailing separator, as "output" whether or not the folder
// could be created. Nothing happens when "output" already holds a folder.
void EnsureDefaultOutputFolder();

// The output folder every command writes to when none is named: the "output"
// setting as it is, else the user's music folder (with its trailing separator); either
// is made when missing. The setting is not written.
std::string DefaultOutputFolder();

// The bit rate for a "rate" index: the rate list's entry, 192 outside 0..9.
int BitRateForIndex(int rateIndex);

}  // namespace core
