// The settings file: where it is (the user's configuration folder, or a portable file
// beside the program), the defaults of a first start, the reading rules of each key,
// the default output folder, and where the help page is.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/Settings.h"
#include "platform/Paths.h"
#include "platform/Profile.h"

using namespace core;

namespace fs = std::filesystem;

namespace {

// Pretends the program lives in a fresh folder, with a home folder of its own, so
// that the settings file and the music folder are the test's.
class SettingsFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("tm_settings_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "app");
        fs::create_directories(root_ / "home" / ".config");
        platform::SetExecutablePathForTesting((root_ / "app" / "trackmill").string());
        SaveEnv("HOME", (root_ / "home").string());
        SaveEnv("XDG_CONFIG_HOME", (root_ / "home" / ".config").string());
    }
    void TearDown() override {
        platform::SetExecutablePathForTesting("");
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            const auto& [name, value] = *it;
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        fs::remove_all(root_);
    }
    void SaveEnv(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    void PutSettings(const std::string& text) {
        fs::create_directories(fs::path(SettingsFilePath()).parent_path());
        std::ofstream(SettingsFilePath(), std::ios::binary) << text;
    }
    std::string Setting(const char* key) {
        return platform::ReadProfileString("CONFIG", key, "<absent>", 300, SettingsFilePath());
    }

    fs::path root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace

TEST_F(SettingsFolder, SettingsAreTheUsersUnlessAPortableFileIsBesideTheProgram) {
    const fs::path app = root_ / "app";
    const fs::path config = root_ / "xdg" / "trackmill";
    ::setenv("XDG_CONFIG_HOME", (root_ / "xdg").c_str(), 1);
    EXPECT_EQ(ProgramFolder(), app.string());
    EXPECT_EQ(SettingsFilePath(), (config / "trackmill.ini").string());

    // The first write makes the folders, private to the user.
    EXPECT_FALSE(fs::exists(root_ / "xdg"));
    EXPECT_TRUE(WriteOutputSetting("/music/"));
    EXPECT_TRUE(WriteSettingInt("CONFIG", "rate", 4, SettingsFilePath()));
    EXPECT_EQ(Setting("output"), "/music/");
    EXPECT_EQ(ReadRateSetting(), 4);
    EXPECT_EQ(fs::status(config).permissions(), fs::perms::owner_all);

    // A file beside the program wins, and is read and written in place.
    std::ofstream(app / "trackmill.ini") << "[CONFIG]\nrate=1\n";
    EXPECT_EQ(SettingsFilePath(), (app / "trackmill.ini").string());
    EXPECT_EQ(ReadRateSetting(), 1);
    EXPECT_EQ(ReadOutputSetting(), "");
    EXPECT_TRUE(WriteSettingInt("CONFIG", "channle", 2, SettingsFilePath()));
    EXPECT_EQ(platform::ReadProfileInt("CONFIG", "channle", 0, (app / "trackmill.ini").string()),
              2);
    EXPECT_EQ(platform::ReadProfileInt("CONFIG", "channle", 0, (config / "trackmill.ini").string()),
              0);

    // Without a usable XDG_CONFIG_HOME (unset, or relative) it is ~/.config.
    fs::remove(app / "trackmill.ini");
    const std::string home = (root_ / "home" / ".config" / "trackmill" / "trackmill.ini").string();
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(SettingsFilePath(), home);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFilePath(), home);
}

TEST_F(SettingsFolder, HelpPageIsInTheInstalledLayout) {
    platform::SetExecutablePathForTesting((root_ / "prefix" / "bin" / "trackmill").string());
    const std::string page = (root_ / "prefix/share/doc/trackmill/help/index.html").string();
    EXPECT_EQ(HelpFilePath(), page);
}

// The tests run from the build tree's bin folder, beside which the build lays out the
// help page as it is installed.
TEST(HelpPage, IsFoundFromTheBuildTree) {
    std::ifstream in(HelpFilePath());
    ASSERT_TRUE(in) << HelpFilePath();
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(page.find("id=\"about\""), std::string::npos);
    EXPECT_NE(page.find("screenshots/main-window.png"), std::string::npos);
}

TEST_F(SettingsFolder, FirstStartReadsTheDefaults) {
    EXPECT_EQ(ReadOutputSetting(), "");
    EXPECT_EQ(ReadRateSetting(), 3);
    EXPECT_EQ(BitRateForIndex(ReadRateSetting()), 192);
    EXPECT_EQ(ReadChannelSetting(), 0);
    EXPECT_FALSE(fs::exists(SettingsFilePath()));  // reading never creates the file
}

TEST_F(SettingsFolder, EachKeyFollowsTheReadingRules) {
    PutSettings("[CONFIG]\nrate=abc\nchannle=\noutput=" + std::string(350, 'o') + "\n");
    EXPECT_EQ(ReadRateSetting(), 0);
    EXPECT_EQ(BitRateForIndex(ReadRateSetting()), 320);
    EXPECT_EQ(ReadChannelSetting(), 0);
    EXPECT_EQ(ReadOutputSetting(), std::string(299, 'o'));
    PutSettings("[CONFIG]\nrate=9\nchannle=3\n");
    EXPECT_EQ(BitRateForIndex(ReadRateSetting()), 56);
    EXPECT_EQ(ReadChannelSetting(), 3);
    // "flac": a level 0..8; anything else is junk and reads as 5.
    EXPECT_EQ(ReadFlacSetting(), 5);
    for (const auto& [text, level] : std::vector<std::pair<std::string, int>>{{"0", 0},
                                                                              {" 8 ", 8},
                                                                              {"08", 8},
                                                                              {"", 5},
                                                                              {"9", 5},
                                                                              {"-1", 5},
                                                                              {"3x", 5},
                                                                              {"abc", 5}}) {
        PutSettings("[CONFIG]\nflac=" + text + "\n");
        EXPECT_EQ(ReadFlacSetting(), level) << text;
    }
}

TEST_F(SettingsFolder, WriteSettingIntWritesDecimalText) {
    EXPECT_TRUE(WriteSettingInt("CONFIG", "rate", 7, SettingsFilePath()));
    EXPECT_TRUE(WriteSettingInt("CONFIG", "channle", INT_MIN, SettingsFilePath()));
    EXPECT_EQ(Setting("rate"), "7");
    EXPECT_EQ(Setting("channle"), "-2147483648");
    EXPECT_EQ(ReadRateSetting(), 7);
    EXPECT_EQ(ReadChannelSetting(), INT_MIN);
    EXPECT_FALSE(WriteSettingInt("CONFIG", "rate", 1, (root_ / "missing" / "x.ini").string()));
}

TEST(RateList, IndexOutsideTheListFallsBackTo192) {
    const int expected[] = {320, 256, 224, 192, 160, 128, 112, 96, 64, 56};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(BitRateForIndex(i), expected[i]);
    EXPECT_EQ(BitRateForIndex(-1), 192);
    EXPECT_EQ(BitRateForIndex(10), 192);
}

TEST_F(SettingsFolder, FirstStartCreatesAndStoresTheMusicFolder) {
    const std::string music = (root_ / "home" / "Music").string() + "/";
    EnsureDefaultOutputFolder();
    EXPECT_TRUE(fs::is_directory(root_ / "home" / "Music"));
    EXPECT_EQ(ReadOutputSetting(), music);
    EXPECT_EQ(Setting("output"), music);
}

TEST_F(SettingsFolder, EmptyOutputBehavesAsAbsentAndAFolderIsKept) {
    // The XDG music folder wins over ~/Music; its parent is missing, so it cannot be
    // created, and it is stored all the same.
    std::ofstream(root_ / "home" / ".config" / "user-dirs.dirs")
        << "XDG_MUSIC_DIR=\"$HOME/missing/Tunes\"\n";
    PutSettings("[CONFIG]\noutput=\nrate=5\n");
    EnsureDefaultOutputFolder();
    const std::string tunes = (root_ / "home" / "missing" / "Tunes").string() + "/";
    EXPECT_EQ(ReadOutputSetting(), tunes);
    EXPECT_FALSE(fs::exists(root_ / "home" / "missing"));
    EXPECT_EQ(ReadRateSetting(), 5);

    WriteOutputSetting("/chosen/");
    EnsureDefaultOutputFolder();
    EXPECT_EQ(ReadOutputSetting(), "/chosen/");
}

// A settings file that is a FIFO (whose reader would wait for a writer), a link to a
// device that never ends, or a file far larger than settings are: each reads as the
// defaults at once, is never written, and is named in one warning.
TEST_F(SettingsFolder, ASettingsFileThatIsNoPlainFileReadsAsTheDefaults) {
    std::string path;
    const auto makeFifo = [&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); };
    const auto makeZeroLink = [&] { fs::create_symlink("/dev/zero", path); };
    const auto makeHuge = [&] {
        PutSettings("[CONFIG]\nrate=1\n");
        fs::resize_file(path, 8 << 20);
    };
    for (const auto& make : std::vector<std::function<void()>>{makeFifo, makeZeroLink, makeHuge}) {
        // Each in a folder of its own: the warning is given once per file.
        SaveEnv("XDG_CONFIG_HOME", (root_ / ("config" + std::to_string(saved_.size()))).string());
        path = SettingsFilePath();
        fs::create_directories(fs::path(path).parent_path());
        make();
        testing::internal::CaptureStderr();
        auto reads = std::async(std::launch::async, [] {
            return std::to_string(ReadRateSetting()) + ReadOutputSetting() +
                   std::to_string(WriteOutputSetting("/chosen/")) +
                   std::to_string(ReadChannelSetting());
        });
        const bool done = reads.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        // Frees a reader that waits for a writer, until all the reads are through.
        for (int i = 0; !done && i < 1000; ++i) {
            const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) ::close(writer);
            if (reads.wait_for(std::chrono::milliseconds(10)) == std::future_status::ready) break;
        }
        const std::string warnings = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(done) << path << " blocks its reader";
        EXPECT_EQ(reads.get(), "300");
        EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 1) << warnings;
        EXPECT_NE(warnings.find(path), std::string::npos) << warnings;
    }
    EXPECT_EQ(fs::file_size(path), 8u << 20);  // not rewritten
}
