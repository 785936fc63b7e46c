// The text helpers, on the cases where an off-by-one or a sign slip would show.
#include <gtest/gtest.h>

#include "core/TextUtils.h"

using namespace core;

TEST(AsciiUpper, OnlyLowerCaseAsciiLettersChange) {
    EXPECT_EQ(AsciiUpper('a'), 'A');
    EXPECT_EQ(AsciiUpper('z'), 'Z');
    EXPECT_EQ(AsciiUpper('`'), '`');  // just below 'a'
    EXPECT_EQ(AsciiUpper('{'), '{');  // just above 'z'
    EXPECT_EQ(AsciiUpper('A'), 'A');
    EXPECT_EQ(AsciiUpper('5'), '5');
    EXPECT_EQ(AsciiUpper('\xE9'), '\xE9');  // bytes of 128 or more stay
    EXPECT_EQ(AsciiUpper('\xFA'), '\xFA');
}

TEST(CompareNoCase, ComparesOverTheShorterTextAndAtMostN) {
    EXPECT_EQ(CompareNoCase("abc", "ABCD", 10), 0);  // a prefix compares equal
    EXPECT_EQ(CompareNoCase("abd", "ABC", 3), 1);
    EXPECT_EQ(CompareNoCase("ab", "b", 1), -1);
    EXPECT_EQ(CompareNoCase("abX", "ABy", 2), 0);  // only n characters
    EXPECT_EQ(CompareNoCase("abX", "ABy", 3), -1);
    EXPECT_EQ(CompareNoCase("x", "y", 0), 0);
    EXPECT_EQ(CompareNoCase("x", "y", -5), 0);
    EXPECT_EQ(CompareNoCase("", "y", 5), 0);
    // Bytes compare as signed values: 0xE9 is negative and sorts before 'A'.
    EXPECT_EQ(CompareNoCase("\xE9", "a", 1), -1);
    EXPECT_EQ(CompareNoCase("a", "\xE9", 1), 1);
    // '_' (95) lies between the cases: upper-casing decides the order.
    EXPECT_EQ(CompareNoCase("_", "a", 1), 1);
    EXPECT_EQ(CompareNoCase(nullptr, "a", 1), 0);
}

TEST(FileTitleFromPath, LastComponentWithOrWithoutExtension) {
    EXPECT_EQ(FileTitleFromPath("C:\\dir\\song.one.wav", false), "song");
    EXPECT_EQ(FileTitleFromPath("C:\\dir\\song.one.wav", true), "song.one.wav");
    EXPECT_EQ(FileTitleFromPath("a/b\\c", false), "c");
    EXPECT_EQ(FileTitleFromPath("a\\b/c.d", true), "c.d");
    EXPECT_EQ(FileTitleFromPath("C:\\dir\\", false), "");
    EXPECT_EQ(FileTitleFromPath("name.wav", false), "name");
    EXPECT_EQ(FileTitleFromPath("name.wav", true), "name.wav");
    EXPECT_EQ(FileTitleFromPath("/music/.hidden", false), "");
    EXPECT_EQ(FileTitleFromPath("", false), "");
}

TEST(FileTitleFromPath, LongPathsAreCutToTheBufferFirst) {
    // The title is taken from the first 263 characters of the path.
    const std::string dir(250, 'd');
    EXPECT_EQ(FileTitleFromPath(dir + "/abcdefghijklmnop.wav", true), "abcdefghijkl");
    EXPECT_EQ(FileTitleFromPath(std::string(300, 'x') + "/t.wav", false), std::string(263, 'x'));
}
