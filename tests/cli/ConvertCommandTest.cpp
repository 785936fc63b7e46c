// The headless convert command, run in-process with the real encoder module. The
// program folder is pointed at a temporary folder (platform::SetExecutablePathForTesting)
// so the command reads a settings file the test writes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "TestAudio.h"
#include "cli/Commands.h"
#include "convert/ConverterLibrary.h"
#include "platform/Modules.h"
#include "platform/Paths.h"

using namespace cli;
using namespace convert;

namespace {

class ConvertCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = MakeTempFolder();
        ASSERT_FALSE(folder_.empty());
        platform::SetExecutablePathForTesting(folder_ + "/trackmill");
        platform::SetModuleSearchPath({TM_BIN_DIR}, false);
        library_.Bind();
        ASSERT_EQ(0, mkdir((folder_ + "/out").c_str(), 0700));
        ASSERT_EQ(0, mkdir((folder_ + "/src").c_str(), 0700));
        WriteWav(folder_ + "/src/song.part1.wav", 44100, 2, Sines(44100, 22050, {440.0, 660.0}));
        WriteWav(folder_ + "/src/other.WAV", 22050, 1, Sines(22050, 11025, {440.0}));
    }
    void TearDown() override {
        library_.Release();
        platform::SetModuleSearchPath({}, true);
        platform::SetExecutablePathForTesting("");
        RemoveFolder(folder_);
    }
    void WriteSettings(const std::string& output, const std::string& rate) {
        WriteBytes(folder_ + "/trackmill.ini",
                   "[CONFIG]\noutput=" + output + "\nrate=" + rate + "\n");
    }
    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), "--convert");
        return RunConvertCommand(args, library_);
    }

    ConverterLibrary library_;
    std::string folder_;
};

// Targets are the output folder + the source's title up to its first full stop +
// ".mp3"; the folder and the bit rate come from the settings.
TEST_F(ConvertCommandTest, ConvertsIntoTheOutputSettingAtTheRateSetting) {
    WriteSettings(folder_ + "/out/", "5");  // rate list entry 5: 128 kbit/s
    EXPECT_EQ(0, Run({folder_ + "/src/song.part1.wav", folder_ + "/src/other.WAV"}));
    const DecodedMp3 song = DecodeMp3(folder_ + "/out/song.mp3");
    ASSERT_TRUE(song.ok);
    EXPECT_EQ(128, song.bitRate);
    EXPECT_NEAR(22050.0, static_cast<double>(song.Frames()), 1152.0);
    const DecodedMp3 other = DecodeMp3(folder_ + "/out/other.mp3");
    ASSERT_TRUE(other.ok);
    EXPECT_EQ(44100, other.rate);
}

// --out names a folder (made when missing) and is joined with a separator.
TEST_F(ConvertCommandTest, OutOptionWinsAndARateOutsideTheListGives192) {
    WriteSettings(folder_ + "/elsewhere/", "99");
    EXPECT_EQ(0, Run({folder_ + "/src/song.part1.wav", "--out", folder_ + "/new"}));
    const DecodedMp3 song = DecodeMp3(folder_ + "/new/song.mp3");
    ASSERT_TRUE(song.ok);
    EXPECT_EQ(192, song.bitRate);
}

TEST_F(ConvertCommandTest, SkippedOrFailedFilesGiveOneAndTheRestStillConvert) {
    WriteBytes(folder_ + "/src/notes.txt", "not audio");
    WriteBytes(folder_ + "/src/broken.wav", "not audio either");
    EXPECT_EQ(1, Run({folder_ + "/src/notes.txt", "--out", folder_ + "/out/"}));
    EXPECT_EQ(1, Run({folder_ + "/src/missing.wav", "--out", folder_ + "/out/"}));
    EXPECT_EQ(1, Run({folder_ + "/src/broken.wav", folder_ + "/src/song.part1.wav", "--out",
                      folder_ + "/out/"}));
    EXPECT_FALSE(FileExists(folder_ + "/out/notes.mp3"));
    EXPECT_FALSE(FileExists(folder_ + "/out/broken.mp3"));
    EXPECT_TRUE(DecodeMp3(folder_ + "/out/song.mp3").ok);
}

// Titles are cut at the first full stop, so "01. Intro" and "01. Outro" both want
// "01.mp3": the later one is written as "01 (2).mp3" and the summary names it.
TEST_F(ConvertCommandTest, SameTitleTwiceGivesTwoFilesAndTheSummaryNamesTheRenamedOne) {
    WriteWav(folder_ + "/src/01. Intro.wav", 44100, 2, Sines(44100, 22050, {440.0, 660.0}));
    WriteWav(folder_ + "/src/01. Outro.wav", 22050, 1, Sines(22050, 22050, {440.0}));
    testing::internal::CaptureStdout();
    const int status = Run({folder_ + "/src/01. Intro.wav", folder_ + "/src/01. Outro.wav", "--out",
                            folder_ + "/out"});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, status);
    const DecodedMp3 first = DecodeMp3(folder_ + "/out/01.mp3");
    const DecodedMp3 second = DecodeMp3(folder_ + "/out/01 (2).mp3");
    ASSERT_TRUE(first.ok && second.ok);
    EXPECT_NEAR(22050.0, static_cast<double>(first.Frames()), 1152.0);
    EXPECT_NEAR(44100.0, static_cast<double>(second.Frames()), 1152.0);
    EXPECT_NE(std::string::npos, out.find("2 converted")) << out;
    EXPECT_NE(std::string::npos,
              out.find("01. Outro.wav -> " + folder_ + "/out/01 (2).mp3", out.find("2 converted")))
        << out;
}

TEST_F(ConvertCommandTest, UsageErrorsGiveTwo) {
    EXPECT_EQ(2, Run({}));
    EXPECT_EQ(2, Run({"--out", folder_}));
    EXPECT_EQ(2, Run({folder_ + "/src/song.part1.wav", "--out"}));
    EXPECT_EQ(2, Run({folder_ + "/src/song.part1.wav", "--fast"}));
    EXPECT_FALSE(FileExists(folder_ + "/out/song.mp3"));
}

// 24-bit and float sources convert like 16-bit ones; a truncated source converts what
// it holds but is reported, on stderr with its reason and in the exit status; a FIFO
// is refused at once (a plain open would wait for a writer forever).
TEST_F(ConvertCommandTest, OddSourcesConvertOrAreReportedWithTheirReason) {
    const auto audio = Sines(44100, 44100, {440.0, 660.0});
    std::string wide, floats;
    for (std::int16_t v : audio) {
        const std::int32_t v24 = v * 256 + 77;
        for (int i = 0; i < 3; ++i) wide.push_back(static_cast<char>((v24 >> (8 * i)) & 0xFF));
        const float f = static_cast<float>(v) / 32768.0f;
        char bytes[4];
        std::memcpy(bytes, &f, 4);
        floats.append(bytes, 4);
    }
    WriteWavSamples(folder_ + "/src/wide.wav", 44100, 2, 1, 24, wide, true);
    WriteWavSamples(folder_ + "/src/floats.wav", 44100, 2, 3, 32, floats);
    EXPECT_EQ(0, Run({folder_ + "/src/wide.wav", folder_ + "/src/floats.wav", "--out",
                      folder_ + "/out"}));
    for (const char* name : {"wide", "floats"}) {
        SCOPED_TRACE(name);
        const DecodedMp3 mp3 = DecodeMp3(folder_ + "/out/" + name + ".mp3");
        ASSERT_TRUE(mp3.ok);
        EXPECT_NEAR(44100.0, static_cast<double>(mp3.Frames()), 1152.0);
        EXPECT_GT(BestCorrelation(Channel(audio, 2, 0), Channel(mp3.values, 2, 0), 1200, 8192),
                  0.98);
    }

    WriteWavSamples(folder_ + "/src/cut.wav", 44100, 2, 1, 24, wide.substr(0, wide.size() / 2),
                    false, static_cast<std::uint32_t>(wide.size()));
    ASSERT_EQ(0, mkfifo((folder_ + "/src/pipe.wav").c_str(), 0600));
    testing::internal::CaptureStderr();
    const int status =
        Run({folder_ + "/src/cut.wav", folder_ + "/src/pipe.wav", "--out", folder_ + "/out"});
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(1, status);
    EXPECT_NE(std::string::npos, errors.find("cut.wav: the file is truncated")) << errors;
    EXPECT_NE(std::string::npos,
              errors.find("pipe.wav failed: cannot open the source: it is a FIFO"))
        << errors;
    const DecodedMp3 cut = DecodeMp3(folder_ + "/out/cut.mp3");
    ASSERT_TRUE(cut.ok);
    EXPECT_NEAR(22050.0, static_cast<double>(cut.Frames()), 1152.0);
    EXPECT_FALSE(FileExists(folder_ + "/out/pipe.mp3"));
}

// Files converted three at once: each file's lines still come out in file order (its
// target, then its end), a skipped file among them is named in its place, and every
// MP3 is byte for byte the one a run of one file at a time writes.
TEST_F(ConvertCommandTest, ThreeJobsKeepFileOrderAndWriteTheBytesOfOneJob) {
    std::vector<std::string> sources;
    for (const char* name : {"a", "b", "c", "d"}) {
        sources.push_back(folder_ + "/src/" + name + ".wav");
        WriteWav(sources.back(), 44100, 2,
                 Sines(44100, 44100 * (name[0] - 'a' + 1), {440.0, 550.0}));
    }
    sources.insert(sources.begin() + 2, folder_ + "/src/notes.txt");
    WriteBytes(sources[2], "not audio");
    auto run = [&](const std::string& jobs, const std::string& out) {
        std::vector<std::string> args = sources;
        for (const std::string& a : {std::string("--out"), out, std::string("--jobs"), jobs})
            args.push_back(a);
        testing::internal::CaptureStdout();
        EXPECT_EQ(1, Run(args));
        return testing::internal::GetCapturedStdout();
    };
    run("1", folder_ + "/one");
    const std::string out = run("3", folder_ + "/three");
    std::size_t at = 0;
    for (const char* name : {"a", "b", "notes", "c", "d"}) {
        at = out.find(folder_ + "/three/" + name + ".mp3\n", at);
        ASSERT_NE(std::string::npos, at) << name << "\n" << out;
        at = out.find(std::string(name) == "notes" ? "Skipped: " : "Finished . Times:", at);
        ASSERT_NE(std::string::npos, at) << name << "\n" << out;
    }
    EXPECT_NE(std::string::npos, out.find("4 converted, 0 failed, 1 skipped", at)) << out;
    for (const char* name : {"a", "b", "c", "d"}) {
        const auto bytes = [&](const std::string& dir) {
            std::ifstream in(folder_ + "/" + dir + "/" + name + ".mp3", std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        EXPECT_FALSE(bytes("one").empty()) << name;
        EXPECT_TRUE(bytes("one") == bytes("three")) << name;
    }
}

}  // namespace
