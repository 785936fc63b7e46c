// The ini reader and writer: the reading rules the settings rely on, writes that
// change one line and nothing else, and files full of junk.
#include <gtest/gtest.h>

#include <unistd.h>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/Profile.h"

namespace fs = std::filesystem;
using platform::ReadProfileInt;
using platform::ReadProfileString;
using platform::WriteProfileString;

namespace {

class ProfileFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tm_profile_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = (dir_ / "trackmill.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Put(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
    std::string Contents() const {
        std::ifstream in(file_, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string Text(const std::string& key, const std::string& def = "<default>",
                     std::size_t buffer = 300) const {
        return ReadProfileString("CONFIG", key, def, buffer, file_);
    }
    int Int(const std::string& key, int def = 3) const {
        return ReadProfileInt("CONFIG", key, def, file_);
    }

    fs::path dir_;
    std::string file_;
};

}  // namespace

TEST_F(ProfileFile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(Text("output"), "<default>");
    EXPECT_EQ(Int("rate"), 3);
    Put("[OTHER]\nrate=7\noutput=/x/\n");
    EXPECT_EQ(Text("output"), "<default>");
    EXPECT_EQ(Int("rate"), 3);
    Put("[CONFIG]\nchannle=1\n");
    EXPECT_EQ(Int("rate"), 3);
    EXPECT_EQ(Int("channle", 0), 1);
}

TEST_F(ProfileFile, IntegersReadTheNumberTheValueStartsWith) {
    Put("[CONFIG]\nempty=\nblank=   \nabc=abc\nmixed=12abc\nneg=-7\nplus=+5\n"
        "spaced=  42  \nbig=99999999999\nsmall=-99999999999\nsign=-\nmin=-2147483648\n");
    EXPECT_EQ(Int("empty"), 3);  // empty behaves as absent
    EXPECT_EQ(Int("blank"), 3);
    EXPECT_EQ(Int("abc"), 0);  // present but not a number
    EXPECT_EQ(Int("mixed"), 12);
    EXPECT_EQ(Int("neg"), -7);
    EXPECT_EQ(Int("plus"), 5);
    EXPECT_EQ(Int("spaced"), 42);
    EXPECT_EQ(Int("big"), INT_MAX);
    EXPECT_EQ(Int("small"), INT_MIN);
    EXPECT_EQ(Int("sign"), 0);
    EXPECT_EQ(Int("min"), INT_MIN);
}

TEST_F(ProfileFile, TextsAreTrimmedCutToTheBufferAndNeverUnquoted) {
    const std::string longValue(400, 'x');
    Put("[CONFIG]\nempty=\nquoted=\"C:\\My Music\\\"\nspaced =  a b  \nlong=" + longValue + "\n");
    EXPECT_EQ(Text("empty"), "");  // present and empty: not the default
    EXPECT_EQ(Text("quoted"), "\"C:\\My Music\\\"");
    EXPECT_EQ(Text("spaced"), "a b");
    EXPECT_EQ(Text("long"), std::string(299, 'x'));
    EXPECT_EQ(Text("long", "", 1), "");
    EXPECT_EQ(Text("absent", std::string(400, 'd')), std::string(299, 'd'));
}

TEST_F(ProfileFile, NamesMatchWithoutCaseAndTheFirstOneWins) {
    Put("; comment=1\n[config]\n  RATE = 5\nrate=6\n[CONFIG]\nrate=7\nchannle=2\n");
    EXPECT_EQ(Int("rate"), 5);
    EXPECT_EQ(Int("channle", 0), 0);  // only the first CONFIG section counts
    EXPECT_EQ(ReadProfileInt("Config", "Rate", 3, file_), 5);
}

TEST_F(ProfileFile, WriteCreatesFileSectionAndKey) {
    ASSERT_TRUE(WriteProfileString("CONFIG", "output", "/music/", file_));
    EXPECT_EQ(Contents(), "[CONFIG]\noutput=/music/\n");
    ASSERT_TRUE(WriteProfileString("CONFIG", "rate", "2", file_));
    EXPECT_EQ(Contents(), "[CONFIG]\noutput=/music/\nrate=2\n");
    ASSERT_TRUE(WriteProfileString("OTHER", "k", "v", file_));
    EXPECT_EQ(Contents(), "[CONFIG]\noutput=/music/\nrate=2\n[OTHER]\nk=v\n");
    EXPECT_EQ(Int("rate"), 2);
}

TEST_F(ProfileFile, WriteReplacesOneLineAndKeepsEveryOtherByte) {
    const std::string before =
        "; settings\r\n[OTHER]\r\nrate=9\r\n\r\n[CONFIG]\r\n  Rate = 1 ; old\r\noutput=/a/\r\n\r\n"
        "[LAST]\r\nx=y";
    Put(before);
    ASSERT_TRUE(WriteProfileString("CONFIG", "rate", "4", file_));
    EXPECT_EQ(Contents(),
              "; settings\r\n[OTHER]\r\nrate=9\r\n\r\n[CONFIG]\r\nrate=4\r\noutput=/a/\r\n\r\n"
              "[LAST]\r\nx=y");
    // A new key joins its section after the section's last line, before the blank line.
    ASSERT_TRUE(WriteProfileString("CONFIG", "channle", "3", file_));
    EXPECT_EQ(Contents(),
              "; settings\r\n[OTHER]\r\nrate=9\r\n\r\n[CONFIG]\r\nrate=4\r\noutput=/a/\r\n"
              "channle=3\r\n\r\n[LAST]\r\nx=y");
    // A file that does not end with a line break gets one before a new section.
    ASSERT_TRUE(WriteProfileString("NEW", "k", "v", file_));
    EXPECT_EQ(Contents().substr(Contents().size() - 17), "x=y\r\n[NEW]\r\nk=v\r\n");
    EXPECT_EQ(Int("rate"), 4);
    EXPECT_EQ(ReadProfileInt("OTHER", "rate", 0, file_), 9);
}

TEST_F(ProfileFile, ValuesAreWrittenExactlyAsGiven) {
    ASSERT_TRUE(WriteProfileString("CONFIG", "output", "\"quoted\" ;not a comment", file_));
    EXPECT_EQ(Contents(), "[CONFIG]\noutput=\"quoted\" ;not a comment\n");
    EXPECT_EQ(Text("output"), "\"quoted\" ;not a comment");
}

TEST_F(ProfileFile, WriteIntoAMissingFolderFails) {
    EXPECT_FALSE(WriteProfileString("CONFIG", "rate", "1", (dir_ / "no" / "x.ini").string()));
    EXPECT_FALSE(fs::exists(dir_ / "no"));
}

TEST_F(ProfileFile, JunkReadsAsDefaultsWithoutCrashing) {
    std::string junk;
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) junk += static_cast<char>(random() & 0xFF);
    Put(junk);
    EXPECT_EQ(Int("rate"), 3);
    EXPECT_EQ(Text("output"), "<default>");

    // A very long line, NUL bytes, an unterminated section and nameless keys; one
    // readable key after them still reads, and a value ends at a NUL.
    std::string mixed = "\xEF\xBB\xBF[CONFIG\n=5\n" + std::string(1 << 20, 'q') + "\n";
    mixed += std::string("rate=abc") + '\0' + "zz\n";
    mixed += "output=/m/" + std::string(1, '\0') + "tail\n";
    mixed += "channle=" + std::string(5000, '9') + "\n";
    Put(mixed);
    EXPECT_EQ(Int("rate"), 0);
    EXPECT_EQ(Text("output"), "/m/");
    EXPECT_EQ(Int("channle", 0), INT_MAX);

    // A write into junk replaces its key's line and leaves the rest of the bytes alone.
    ASSERT_TRUE(WriteProfileString("CONFIG", "rate", "1", file_));
    EXPECT_EQ(Int("rate"), 1);
    EXPECT_EQ(Contents().size(), mixed.size() - std::string("abc\0zz", 6).size() + 1);
}
