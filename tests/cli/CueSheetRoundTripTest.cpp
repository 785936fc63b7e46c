// The cue sheet and the sealed log of a rip, end to end with the real program: a disc
// image written by the test (a BIN/CUE pair with pregaps, ISRCs, a catalogue number and
// DCP/PRE flags) is ripped to WAV, the rip's own cue sheet is read back as a disc image
// (--toc, and a second rip that must give the same bytes), and the log is checked.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "RipTestSupport.h"
#include "rip/CueSheetWriter.h"

using namespace riptest;

namespace {

struct Outcome {
    int status = -1;
    std::string output;
};

// The program with `args`, and `env` (NAME=value ...) added to its environment.
Outcome Trackmill(const std::string& args, const std::string& env = "") {
    Outcome r;
    FILE* p = ::popen(
        ("QT_QPA_PLATFORM=offscreen " + env + " '" TRACKMILL_EXE "' " + args + " 2>&1").c_str(),
        "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) r.output += buf;
    const int s = ::pclose(p);
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return r;
}

// The file of the batch in `folder` that ends in `ext` ("trackmill-....cue").
std::string BatchFile(const std::string& folder, const std::string& ext) {
    for (const auto& f : std::filesystem::directory_iterator(folder))
        if (f.path().filename().string().rfind("trackmill-", 0) == 0 && f.path().extension() == ext)
            return f.path().string();
    return {};
}

// --toc's rows without its first line (the drive's name).
std::string AudioTable(const std::string& image) {
    const Outcome r = Trackmill("--toc --disc '" + image + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    return r.output.substr(r.output.find('\n') + 1);
}

class CueSheetRoundTrip : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    std::string Path(const std::string& f) const { return dir.path().toStdString() + "/" + f; }
    // A disc of three tracks (365, 295 and 200 frames) after 40 frames of `hidden`
    // (silence when empty), in one BIN.
    std::string WriteDisc(std::vector<unsigned char> hidden = {}) {
        audio = cdaccess::SimulatedDrive::MakeTestAudio(860, 11);
        hidden.resize(40 * kFrameBytes, 0);
        std::vector<unsigned char> bin = hidden;
        bin.insert(bin.end(), audio.begin(), audio.end());
        std::ofstream(Path("disc.bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bin.data()),
                   static_cast<std::streamsize>(bin.size()));
        std::ofstream(Path("disc.cue")) << "CATALOG 0123456789012\n"
                                           "FILE \"disc.bin\" BINARY\n"
                                           "  TRACK 01 AUDIO\n    FLAGS DCP\n"
                                           "    ISRC USABC1000001\n"
                                           "    INDEX 00 00:00:00\n    INDEX 01 00:00:40\n"
                                           "  TRACK 02 AUDIO\n    FLAGS PRE\n"
                                           "    ISRC USABC1000002\n"
                                           "    INDEX 00 00:05:00\n    INDEX 01 00:05:30\n"
                                           "  TRACK 03 AUDIO\n    FLAGS DCP PRE\n"
                                           "    INDEX 01 00:09:25\n";
        return Path("disc.cue");
    }
    Outcome Rip(const std::string& image, const std::string& out, const std::string& more = "",
                const std::string& env = "") {
        std::filesystem::create_directories(Path(out));
        return Trackmill("--rip wav --disc '" + image + "' --out '" + Path(out) + "' " + more, env);
    }

    QTemporaryDir dir;
    std::vector<unsigned char> audio;
};

TEST_F(CueSheetRoundTrip, TheRipsCueSheetIsTheDiscAgainAndItsLogProvesItself) {
    const std::string disc = WriteDisc();
    Outcome r = Rip(disc, "out");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string cue = BatchFile(Path("out"), ".cue"), log = BatchFile(Path("out"), ".log");
    ASSERT_FALSE(cue.empty()) << r.output;
    EXPECT_EQ(CueSheetPathFor(log), cue);
    const std::string sheet = ReadText(cue);
    for (const char* want :
         {"CATALOG 0123456789012\n", "REM DISCID ", "REM ACCURATERIP_ID ", "ISRC USABC1000002\n",
          "FLAGS DCP PRE\n", "PREGAP 00:00:40\n", "INDEX 00 00:04:35\nFILE \"Track 2.wav\" WAVE\n"})
        EXPECT_NE(sheet.find(want), std::string::npos) << want << "\n" << sheet;
    EXPECT_EQ(sheet.find("PARTIAL"), std::string::npos);
    const std::string text = ReadText(log);
    EXPECT_NE(text.find("track: Track 2\nfile: " + Path("out") +
                        "/Track 2.wav\nstart: 405\nlength: 00:03.70 (295 frames)\n"
                        "pre-emphasis: yes"),
              std::string::npos)
        << text;

    // Read back: the same audio table, and a rip of it gives the same bytes.
    EXPECT_EQ(AudioTable(cue), AudioTable(disc));
    r = Rip(cue, "again");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* track : {"Track 1.wav", "Track 2.wav", "Track 3.wav"})
        EXPECT_EQ(ReadFile(Path("again/") + track), ReadFile(Path("out/") + track)) << track;

    // The log's checksum: untouched, one byte changed, none.
    r = Trackmill("--check-log '" + log + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "log checksum ok\n");
    std::string edited = text;
    edited[edited.find("crc32: ") + 7] ^= 1;
    std::ofstream(Path("edited.log"), std::ios::binary) << edited;
    r = Trackmill("--check-log '" + Path("edited.log") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "log altered\n");
    std::ofstream(Path("plain.log"), std::ios::binary)
        << text.substr(0, text.rfind('\n', text.size() - 2) + 1);
    r = Trackmill("--check-log '" + Path("plain.log") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "no checksum\n");
    EXPECT_EQ(Trackmill("--check-log '" + Path("none.log") + "'").status, 2);

    // A batch of some tracks: a sheet of those only, numbered one after another.
    r = Rip(disc, "some", "--tracks 1,3");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string some = ReadText(BatchFile(Path("some"), ".cue"));
    EXPECT_NE(some.find("REM PARTIAL \"only tracks 1, 3 of the disc's 3 audio tracks"),
              std::string::npos)
        << some;
    EXPECT_NE(some.find("FILE \"Track 3.wav\" WAVE\n  TRACK 02 AUDIO\n    FLAGS DCP PRE\n"),
              std::string::npos)
        << some;
}

// Audio before track 1: ripped as Track 0 with exactly those frames, outside
// AccurateRip, and part of the cue sheet's disc; digital silence there is only named.
TEST_F(CueSheetRoundTrip, AudioHiddenBeforeTrackOneIsTrackZero) {
    const std::vector<unsigned char> hidden = cdaccess::SimulatedDrive::MakeTestAudio(40, 5);
    const std::string disc = WriteDisc(hidden);
    Outcome r = Rip(disc, "out");
    ASSERT_EQ(r.status, 0) << r.output;
    ExpectWav(Path("out/Track 0.wav"), hidden);
    const std::string log = ReadText(BatchFile(Path("out"), ".log"));
    EXPECT_NE(log.find("hidden audio before track 1: 40 frames (00:00.40), ripped as Track 0\n"),
              std::string::npos)
        << log;
    const std::size_t section = log.find("track: Track 0\n");
    ASSERT_NE(section, std::string::npos) << log;
    EXPECT_NE(log.find("accuraterip: not covered", section), std::string::npos) << log;
    EXPECT_LT(log.find("accuraterip: not covered", section), log.find("track: Track 1\n"));

    const std::string cue = BatchFile(Path("out"), ".cue");
    EXPECT_NE(ReadText(cue).find("FILE \"Track 0.wav\" WAVE\n  TRACK 01 AUDIO\n    FLAGS DCP\n"
                                 "    ISRC USABC1000001\n    INDEX 00 00:00:00\n"
                                 "FILE \"Track 1.wav\" WAVE\n    INDEX 01 00:00:00\n"),
              std::string::npos)
        << ReadText(cue);
    const std::string table = AudioTable(disc);
    EXPECT_NE(table.find("hidden audio before track 1: 40 frames"), std::string::npos) << table;
    EXPECT_EQ(AudioTable(cue), table);
    r = Rip(cue, "again");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* track : {"Track 0.wav", "Track 1.wav", "Track 2.wav", "Track 3.wav"})
        EXPECT_EQ(ReadFile(Path("again/") + track), ReadFile(Path("out/") + track)) << track;

    // Not without track 1, nor with the setting "htoa" at 0.
    r = Rip(disc, "later", "--tracks 2-3");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(std::filesystem::exists(Path("later/Track 0.wav")));
    std::filesystem::create_directories(Path("config/trackmill"));
    std::ofstream(Path("config/trackmill/trackmill.ini")) << "[CONFIG]\nhtoa=0\n";
    r = Rip(disc, "off", "", "XDG_CONFIG_HOME='" + Path("config") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(std::filesystem::exists(Path("off/Track 0.wav")));
    EXPECT_NE(ReadText(BatchFile(Path("off"), ".log"))
                  .find("hidden audio before track 1: 40 frames (00:00.40), not ripped "
                        "(the setting \"htoa\" is 0)\n"),
              std::string::npos);

    // Digital silence: no file, one line in the log.
    const std::string silent = WriteDisc();
    r = Rip(silent, "silent");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(std::filesystem::exists(Path("silent/Track 0.wav")));
    EXPECT_NE(ReadText(BatchFile(Path("silent"), ".log"))
                  .find("hidden audio before track 1: 40 frames (00:00.40) of digital silence, "
                        "not ripped\n"),
              std::string::npos);
}

}  // namespace
