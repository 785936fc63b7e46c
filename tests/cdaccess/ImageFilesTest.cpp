// Cue sheets and .toc files served from the files they name.
//
// Each test writes its own audio (deterministic, never repeating: a shifted or
// repeated sample shows) into raw, WAV and FLAC files, writes a cue sheet or .toc
// beside them, opens the image through cdaccess::MakeImageDrive and checks the table
// of contents the drive reports and that every frame of the disc reads back exactly
// as the test laid it out: audio from the files, silence where the image adds it.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "cdaccess/CdAccess.h"
#include "cdaccess/Drive.h"
#include "cdaccess/SimulatedDrive.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes Audio(std::uint32_t frames, std::uint32_t seed) {
    return cdaccess::SimulatedDrive::MakeTestAudio(frames, seed);
}
Bytes Zeros(std::uint32_t frames) {
    return Bytes(std::size_t{frames} * kFrameBytes, 0);
}
Bytes Slice(const Bytes& audio, std::uint32_t firstFrame, std::uint32_t frames) {
    const auto from = audio.begin() + std::ptrdiff_t{firstFrame} * kFrameBytes;
    return Bytes(from, from + std::ptrdiff_t{frames} * kFrameBytes);
}
Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
Bytes Swapped(Bytes audio) {
    for (std::size_t i = 0; i + 1 < audio.size(); i += 2) std::swap(audio[i], audio[i + 1]);
    return audio;
}

struct Expected {
    Expected(std::uint8_t f, std::vector<std::uint32_t> s, std::uint32_t l,
             std::vector<bool> d = {})
        : first(f), starts(std::move(s)), leadOut(l), data(std::move(d)) {}
    std::uint8_t first;
    std::vector<std::uint32_t> starts;
    std::uint32_t leadOut;
    std::vector<bool> data;  // empty: all audio
};

class ImageFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tm_imagefiles_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }
    void WriteBytes(const std::string& name, const Bytes& bytes) {
        std::ofstream out(dir_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    // CD audio (plus `extraSamples` more) in a sound file of the given libsndfile format.
    void WriteSound(const std::string& name, const Bytes& audio, int format,
                    std::size_t extraSamples = 0) {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = format;
        SNDFILE* file = sf_open((dir_ / name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        std::vector<short> samples(audio.size() / 2 + extraSamples * 2, 0);
        for (std::size_t i = 0; i < audio.size() / 2; ++i)
            samples[i] = static_cast<short>(audio[2 * i] | (audio[2 * i + 1] << 8));
        for (std::size_t i = audio.size() / 2; i < samples.size(); ++i)
            samples[i] = static_cast<short>(1000 + i);
        EXPECT_EQ(
            sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size() / 2)),
            static_cast<sf_count_t>(samples.size() / 2));
        sf_close(file);
    }

    // Opens the image, checks its table of contents and that `disc` reads back for
    // every audio track (frames from 0 up to the lead-out, data tracks skipped).
    std::shared_ptr<cdaccess::Drive> ExpectDisc(const std::string& image, const Expected& want,
                                                const Bytes& disc) {
        auto drive = cdaccess::MakeImageDrive(image);
        EXPECT_TRUE(drive->Open()) << drive->OpenError();
        cdaccess::DiscToc toc;
        if (!drive->ReadToc(toc)) {
            ADD_FAILURE() << "no table of contents";
            return drive;
        }
        EXPECT_EQ(toc.firstTrack, want.first);
        EXPECT_EQ(toc.lastTrack, want.first + want.starts.size() - 1);
        EXPECT_EQ(toc.leadOut, want.leadOut);
        EXPECT_EQ(toc.tracks.size(), want.starts.size());
        for (std::size_t i = 0; i < toc.tracks.size() && i < want.starts.size(); ++i) {
            EXPECT_EQ(toc.tracks[i].number, want.first + i);
            EXPECT_EQ(toc.tracks[i].startLba, want.starts[i]) << "track " << i + 1;
            EXPECT_EQ(toc.tracks[i].data, !want.data.empty() && want.data[i]) << i;
        }
        EXPECT_EQ(disc.size(), std::size_t{want.leadOut} * kFrameBytes);
        for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
            if (toc.tracks[i].data) continue;
            const std::uint32_t from = i == 0 ? 0 : toc.tracks[i].startLba;
            const std::uint32_t to =
                i + 1 < toc.tracks.size() ? toc.tracks[i + 1].startLba : toc.leadOut;
            Bytes got(std::size_t{to - from} * kFrameBytes);
            // Read as a rip does: 27 frames at a time.
            for (std::uint32_t f = from; f < to; f += 27) {
                const std::uint32_t n = std::min(27u, to - f);
                if (drive->ReadFrames(f, n, got.data() + std::size_t{f - from} * kFrameBytes) !=
                    kCdOk) {
                    ADD_FAILURE() << "read error at " << f;
                    return drive;
                }
            }
            EXPECT_TRUE(std::equal(got.begin(), got.end(),
                                   disc.begin() + std::ptrdiff_t{from} * kFrameBytes))
                << "track " << int(toc.tracks[i].number) << " reads other bytes";
        }
        Bytes frame(kFrameBytes);
        EXPECT_EQ(drive->ReadFrames(toc.leadOut - 1, 2, frame.data()), kCdReadError);
        return drive;
    }
    std::string Refused(const std::string& image) {
        auto drive = cdaccess::MakeImageDrive(image);
        EXPECT_FALSE(drive->Open()) << image;
        EXPECT_FALSE(drive->OpenError().empty());
        EXPECT_EQ(drive->OpenError().find('\n'), std::string::npos);
        return drive->OpenError();
    }

    fs::path dir_;
};

}  // namespace

TEST_F(ImageFiles, CueSheetsWithTheirFiles) {
    // Per-track BINs under a cue named unlike them, a BOM and CRLF line ends, an
    // INDEX 00 pregap inside a file, a PREGAP of silence in no file.
    const Bytes one = Audio(400, 1), two = Audio(700, 2);
    WriteBytes("Album 1.bin", one);
    WriteBytes("Album 2.bin", two);
    const std::string album = Write("Album (Disc 1).cue",
                                    "\xEF\xBB\xBFREM made by the test\r\n"
                                    "FILE \"Album 1.bin\" BINARY\r\n"
                                    "  TRACK 01 AUDIO\r\n"
                                    "    TITLE \"First\"\r\n"
                                    "    INDEX 01 00:00:00\r\n"
                                    "FILE \"Album 2.bin\" BINARY\r\n"
                                    "  TRACK 02 AUDIO\r\n"
                                    "    FLAGS PRE DCP\r\n"
                                    "    INDEX 00 00:00:00\r\n"
                                    "    INDEX 01 00:01:00\r\n"
                                    "  TRACK 03 AUDIO\r\n"
                                    "    PREGAP 00:00:50\r\n"
                                    "    INDEX 01 00:04:00");
    auto drive = ExpectDisc(album, {1, {0, 475, 750}, 1150},
                            Join({one, Slice(two, 0, 300), Zeros(50), Slice(two, 300, 400)}));
    cdaccess::DiscToc toc;
    ASSERT_TRUE(drive->ReadToc(toc));
    EXPECT_EQ(toc.tracks[0].title, "First");
    EXPECT_EQ(toc.tracks[1].pregapFrames, 75);
    EXPECT_EQ(toc.tracks[1].preEmphasis, 1);
    EXPECT_EQ(toc.tracks[1].copyPermitted, 1);
    EXPECT_EQ(toc.tracks[2].pregapFrames, 50);

    // Track 2's INDEX 00 in the first file, its INDEX 01 in the next: the pregap is the
    // first file's tail.
    const std::string split =
        Write("split.cue",
              "FILE \"Album 1.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
              " TRACK 02 AUDIO\n  INDEX 00 00:04:00\n"
              "FILE \"Album 2.bin\" BINARY\n  INDEX 01 00:00:00\n");
    drive = ExpectDisc(split, {1, {0, 400}, 1100}, Join({one, two}));
    ASSERT_TRUE(drive->ReadToc(toc));
    EXPECT_EQ(toc.tracks[1].pregapFrames, 100);

    // The same with a PREGAP of silence inside the first file, and a file holding only
    // track 1's INDEX 00 (audio before track 1); ISRCs, a catalogue number, 4CH.
    WriteBytes("hidden.bin", Slice(two, 0, 60));
    const std::string gaps =
        Write("gaps.cue",
              "CATALOG 4006381333931\nFILE \"hidden.bin\" BINARY\n TRACK 01 AUDIO\n"
              "  ISRC GBAYE0000001\n  INDEX 00 00:00:00\nFILE \"Album 1.bin\" BINARY\n"
              "  INDEX 01 00:00:00\n TRACK 02 AUDIO\n  FLAGS 4CH\n  PREGAP 00:00:20\n"
              "  INDEX 01 00:04:00\n TRACK 03 AUDIO\n  INDEX 00 00:04:50\n"
              "FILE \"Album 2.bin\" BINARY\n  INDEX 01 00:00:00\n");
    drive = ExpectDisc(
        gaps, {1, {60, 380, 480}, 1180},
        Join({Slice(two, 0, 60), Slice(one, 0, 300), Zeros(20), Slice(one, 300, 100), two}));
    ASSERT_TRUE(drive->ReadToc(toc));
    EXPECT_EQ(toc.tracks[0].pregapFrames, 60);
    EXPECT_EQ(toc.tracks[1].pregapFrames, 20);
    EXPECT_EQ(toc.tracks[2].pregapFrames, 50);
    EXPECT_EQ(toc.tracks[1].fourChannel, 1);
    cdaccess::DiscCodes codes;
    ASSERT_TRUE(drive->ReadCodes(codes));
    EXPECT_EQ(codes.catalog, "4006381333931");
    EXPECT_EQ(codes.isrc, (std::map<std::uint8_t, std::string>{{1, "GBAYE0000001"}}));

    // A WAV image that does not end on a whole frame, tracks numbered from 3.
    const Bytes wave = Audio(500, 3);
    WriteSound("image.wav", wave, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 100);
    const std::string wav = Write("wav.cue",
                                  "FILE \"image.wav\" WAVE\n TRACK 03 AUDIO\n  INDEX 01 00:00:00\n"
                                  " TRACK 04 AUDIO\n  INDEX 00 00:02:00\n  INDEX 01 00:03:00\n");
    Bytes tail = Zeros(1);
    for (std::size_t i = 0; i < 100 * 2; ++i) {
        const auto v = static_cast<std::uint16_t>(1000 + wave.size() / 2 + i);
        tail[2 * i] = static_cast<unsigned char>(v & 0xFF);
        tail[2 * i + 1] = static_cast<unsigned char>(v >> 8);
    }
    ExpectDisc(wav, {3, {0, 225}, 501}, Join({wave, tail}));

    // A lone TRACK 99 from a big-endian file.
    const Bytes lone = Audio(300, 4);
    WriteBytes("lone.raw", Swapped(lone));
    ExpectDisc(Write("lone.cue", "FILE lone.raw MOTOROLA\nTRACK 99 AUDIO\nINDEX 01 00:00:00\n"),
               {99, {0}, 300}, lone);

    // A MODE1/2048 data track, then audio in the same file, read from the right place.
    const Bytes mixedAudio = Audio(400, 5);
    Bytes sectors(300 * 2048, 0x5A);
    WriteBytes("mixed.bin", Join({sectors, mixedAudio}));
    ExpectDisc(Write("mixed.cue",
                     "FILE \"mixed.bin\" BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\n"
                     "TRACK 02 AUDIO\nINDEX 00 00:04:00\nINDEX 01 00:06:00\n"),
               {1, {0, 450}, 700, {true, false}}, Join({Zeros(300), mixedAudio}));

    // The data track of an enhanced CD in a file of its own (the image holds none of
    // the gap between the sessions): it lies 11400 frames after the end of the audio.
    WriteBytes("data.bin", Bytes(300 * kFrameBytes, 0x33));
    ExpectDisc(Write("enhanced.cue",
                     "FILE \"lone.raw\" MOTOROLA\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                     "FILE \"data.bin\" BINARY\nTRACK 02 MODE1/2352\nINDEX 01 00:00:00\n"),
               {1, {0, 300 + 11400}, 300 + 11400 + 300, {false, true}},
               Join({lone, Zeros(11400 + 300)}));
}

TEST_F(ImageFiles, FlacBackedCueSheets) {
    const Bytes audio = Audio(900, 6);
    WriteSound("CDImage.flac", audio, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ExpectDisc(Write("image.cue",
                     "FILE \"CDImage.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                     "TRACK 02 AUDIO\nINDEX 01 00:04:00\nTRACK 03 AUDIO\nINDEX 01 00:08:20\n"),
               {1, {0, 300, 620}, 900}, audio);

    WriteSound("01.flac", Slice(audio, 0, 500), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    WriteSound("02.flac", Slice(audio, 500, 400), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    ExpectDisc(Write("tracks.cue",
                     "FILE \"01.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                     "FILE \"02.flac\" WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n"),
               {1, {0, 500}, 900}, audio);

    WriteSound("deep.flac", audio, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    const std::string why =
        Refused(Write("deep.cue", "FILE \"deep.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
    EXPECT_NE(why.find("24-bit"), std::string::npos) << why;
    EXPECT_NE(why.find("deep.flac"), std::string::npos) << why;
}

TEST_F(ImageFiles, CueSheetsThatCannotBeUsedSayWhy) {
    WriteBytes("short.bin", Audio(100, 7));
    WriteBytes("odd.bin", Bytes(kFrameBytes * 10 + 7, 1));
    struct Case {
        const char* cue;
        const char* because;
    } cases[] = {
        {"FILE \"gone.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "gone.bin"},
        {"FILE \"odd.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "whole number"},
        {"FILE \"short.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
         "INDEX 01 00:02:00\n",
         "past the end"},
        {"FILE \"short.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
         "INDEX 01 00:00:xx\n",
         "line 5"},
        {"FILE \"short.bin\" BINARY\nTRACK 01 AUDIO\nWHATEVER 12\nINDEX 01 00:00:00\n", "line 3"},
        {"FILE \"short.bin\" BINARY\nTRACK 100 AUDIO\nINDEX 01 00:00:00\n", "line 2"},
        {"FILE \"short.bin\" BINARY\nTRACK 01 AUDIO\n", "INDEX 01"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string why = Refused(Write("bad" + std::to_string(n++) + ".cue", c.cue));
        EXPECT_NE(why.find(c.because), std::string::npos) << c.cue << " -> " << why;
    }
}

TEST_F(ImageFiles, TocFilesAsTheDiscTheyDescribe) {
    // Silence then START before track 1, CD-TEXT in Latin-1 at disc and track level
    // (the English block taken, though German comes first),
    // several FILE entries into one WAV at MSF, sample and byte offsets, START pregaps
    // in a middle and in the last track, ZERO in an audio track.
    const Bytes wave = Audio(1200, 8);
    WriteSound("audio.wav", wave, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string toc =
        Write("disc.toc",
              "CD_DA\n"
              "CATALOG \"0123456789012\"\n"
              "CD_TEXT {\n"
              "  LANGUAGE_MAP { 0 : 8 1 : EN }\n"
              "  LANGUAGE 0 { TITLE \"Scheibe\" PERFORMER \"Kapelle\" }\n"
              "  LANGUAGE 1 {\n"
              "    TITLE \"Disc d\\351j\\340\"\n"
              "    PERFORMER \"Band\"\n"
              "    GENRE { 0, 8 }\n"
              "  }\n"
              "}\n"
              "// track 1\n"
              "TRACK AUDIO\n"
              "NO COPY\n"
              "CD_TEXT { LANGUAGE 0 { TITLE \"Lied\" } LANGUAGE 1 { TITLE \"Caf\xE9\"\n"
              "  PERFORMER \"Singer\" SONGWRITER \"Writer\" } }\n"
              "SILENCE 00:02:00\n"
              "START\n"
              "FILE \"audio.wav\" 0 00:04:00\n"
              "TRACK AUDIO\n"
              "COPY\n"
              "PRE_EMPHASIS\n"
              "TWO_CHANNEL_AUDIO\n"
              "ISRC \"DEXXX9800001\"\n"
              "FILE \"audio.wav\" 00:04:00 52920\n"
              "START 00:00:30\n"
              "AUDIOFILE \"audio.wav\" #917280 0 00:01:00\n"
              "TRACK AUDIO\n"
              "ZERO 00:00:10\n"
              "FILE \"audio.wav\" 00:06:15\n"
              "START 00:00:40\n"
              "INDEX 00:01:00\n");
    auto drive =
        ExpectDisc(toc, {1, {150, 480, 655}, 1360},
                   Join({Zeros(150), Slice(wave, 0, 465), Zeros(10), Slice(wave, 465, 735)}));
    cdaccess::DiscToc got;
    ASSERT_TRUE(drive->ReadToc(got));
    EXPECT_EQ(got.title, "Disc d\xC3\xA9j\xC3\xA0");
    EXPECT_EQ(got.performer, "Band");
    EXPECT_EQ(got.tracks[0].title, "Caf\xC3\xA9");
    EXPECT_EQ(got.tracks[0].performer, "Singer");
    EXPECT_EQ(got.tracks[0].songwriter, "Writer");
    EXPECT_EQ(got.tracks[0].copyPermitted, 0);
    EXPECT_EQ(got.tracks[1].copyPermitted, 1);
    EXPECT_EQ(got.tracks[1].preEmphasis, 1);
    EXPECT_EQ(got.tracks[1].pregapFrames, 30);
    EXPECT_EQ(got.tracks[2].pregapFrames, 40);
    EXPECT_EQ(got.tracks[1].fourChannel, 0);
    cdaccess::DiscCodes codes;
    ASSERT_TRUE(drive->ReadCodes(codes));
    EXPECT_EQ(codes.catalog, "0123456789012");
    EXPECT_EQ(codes.isrc, (std::map<std::uint8_t, std::string>{{2, "DEXXX9800001"}}));

    // Ten audio tracks from a big-endian raw file (audio hidden before track 1, a
    // PREGAP of silence before track 2), then a MODE1 DATAFILE track: an enhanced CD,
    // whose data track lies 11400 frames after the end of the audio.
    const Bytes raw = Audio(1075, 9);
    WriteBytes("audio.cdda", Swapped(raw));
    WriteBytes("data.iso", Bytes(300 * 2048, 0x44));
    std::string text =
        "CD_ROM_XA\nTRACK AUDIO\nFILE \"audio.cdda\" 0 00:02:25\nSTART 00:01:00\n"
        "TRACK AUDIO\nPREGAP 00:00:25\nFILE \"audio.cdda\" 00:02:25 00:01:25\n";
    for (int t = 3; t <= 10; ++t) {
        const int frame = 175 + 100 * (t - 2);
        char line[96];
        std::snprintf(line, sizeof line, "TRACK AUDIO\nFILE \"audio.cdda\" %d 00:01:25\n",
                      frame * 588);
        text += line;
    }
    text += "TRACK MODE1\nDATAFILE \"data.iso\"\n";
    std::vector<std::uint32_t> starts{75, 200};
    for (std::uint32_t s = 300; s <= 1000; s += 100) starts.push_back(s);
    starts.push_back(1100 + 11400);
    std::vector<bool> data(10, false);
    data.push_back(true);
    ExpectDisc(Write("enhanced.toc", text), {1, starts, 12800, data},
               Join({Slice(raw, 0, 175), Zeros(25), Slice(raw, 175, 900), Zeros(11700)}));

    // Times of a minute or more: track 2 starts 1:00:10 into the file.
    const Bytes minute = Audio(4600, 10);
    WriteSound("minute.wav", minute, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    ExpectDisc(Write("minute.toc",
                     "CD_DA\nTRACK AUDIO\nFILE \"minute.wav\" 0 01:00:10\n"
                     "TRACK AUDIO\nFILE \"minute.wav\" 01:00:10 00:01:15\n"),
               {1, {0, 4510}, 4600}, minute);

    // A line that is wrong: refused, and the reason names it.
    const std::string why = Refused(
        Write("bad.toc", "CD_DA\n\nTRACK AUDIO\nFILE \"audio.wav\" 0\nSTART 00:00\nTRACK AUDIO\n"));
    EXPECT_NE(why.find("line 5"), std::string::npos) << why;
    const std::string missing =
        Refused(Write("missing.toc", "CD_DA\nTRACK AUDIO\nFILE \"nowhere.wav\" 0\n"));
    EXPECT_NE(missing.find("nowhere.wav"), std::string::npos) << missing;
}

// A few hundred damaged cue sheets and .toc files (cut lines, huge numbers, missing
// fields, binary junk): each is refused with a reason or opens to a readable table.
// Run in the ASan build, a fault in the readers shows as a sanitizer report.
TEST_F(ImageFiles, DamagedCueAndTocFilesAreRefusedOrListed) {
    WriteBytes("a.bin", Audio(200, 10));
    WriteSound("a.wav", Audio(200, 11), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string cue =
        "REM GENRE Test\nPERFORMER \"P\"\nTITLE \"T\"\nFILE \"a.bin\" BINARY\n  TRACK 01 AUDIO\n"
        "    TITLE \"x\"\n    FLAGS DCP\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
        "    PREGAP 00:00:10\n    INDEX 00 00:01:00\n    INDEX 01 00:01:10\n"
        "FILE \"a.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n    POSTGAP 00:00:05\n";
    const std::string toc =
        "CD_DA\nCD_TEXT { LANGUAGE_MAP { 0 : EN } LANGUAGE 0 { TITLE \"t\" GENRE { 1, 2 } } }\n"
        "TRACK AUDIO\nCOPY\nSILENCE 00:00:10\nSTART\nFILE \"a.wav\" 0 00:01:00\n"
        "TRACK AUDIO\nPREGAP 00:00:05\nFILE \"a.bin\" #2352 0 3000\nINDEX 00:00:10\n"
        "TRACK MODE1\nZERO 00:00:02\nDATAFILE \"a.bin\" 00:00:20\n";
    const char* junk[] = {"99999999999999999999",
                          "\"",
                          "{",
                          "}",
                          "#",
                          ":",
                          "\xFF\xFE",
                          "",
                          "-1",
                          "00:99:99",
                          "TRACK",
                          "INDEX 01",
                          "FILE",
                          "\\",
                          "\0",
                          " "};
    std::mt19937 random(20240607);
    int opened = 0, refused = 0;
    for (int round = 0; round < 300; ++round) {
        const bool isCue = round % 2 == 0;
        std::string text = isCue ? cue : toc;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % (text.size() + 1);
            switch (random() % 5) {
                case 0:
                    text.erase(at, random() % 12);
                    break;  // cut
                case 1:
                    text.insert(at, junk[random() % std::size(junk)]);
                    break;
                case 2:
                    if (at < text.size()) text[at] = static_cast<char>(random() & 0xFF);
                    break;
                case 3:
                    text.resize(at);
                    break;  // truncated
                default: {
                    const std::size_t line = text.find('\n', at);
                    if (line != std::string::npos) text.insert(line, " 4294967296 123456789");
                }
            }
        }
        const std::string path = Write(isCue ? "m.cue" : "m.toc", text);
        auto drive = cdaccess::MakeImageDrive(path);
        if (drive->Open()) {
            ++opened;
            cdaccess::DiscToc t;
            ASSERT_TRUE(drive->ReadToc(t));
            ASSERT_FALSE(t.tracks.empty());
            EXPECT_GT(t.leadOut, t.tracks.back().startLba);
            Bytes frame(kFrameBytes);
            EXPECT_EQ(drive->ReadFrames(t.tracks.front().startLba, 1, frame.data()), kCdOk);
        } else {
            ++refused;
            EXPECT_FALSE(drive->OpenError().empty()) << text;
        }
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
}

namespace {

// `bytes` may be wider than the value: the extra high bytes are zero.
void PutBigEndian(std::string& to, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        to += static_cast<char>(i < 8 ? (value >> (8 * i)) & 0xFF : 0);
}

// An .nrg image of one audio track: its frames, one ETN2 chunk, END!, the footer.
std::string NrgOfAudio(const Bytes& audio) {
    std::string image(audio.begin(), audio.end());
    std::string chunks = "ETN2";
    PutBigEndian(chunks, 32, 4);
    PutBigEndian(chunks, 0, 8);             // first byte in the image
    PutBigEndian(chunks, audio.size(), 8);  // bytes
    PutBigEndian(chunks, 7, 4);             // audio
    PutBigEndian(chunks, 0, 4 + 8);         // start, and 8 unused bytes
    chunks += std::string("END!\0\0\0\0NER5", 12);
    PutBigEndian(chunks, audio.size(), 8);
    return image + chunks;
}

}  // namespace

// Faults of the readers: a faulty cue sheet leaves nothing behind for the next one and
// is blamed on its own line; a data track of an unknown mode is listed; a .toc that
// holds the gap before its data track is laid out as it says; audio an image lacks (a
// WAV cut short, an .nrg cut while it is read) is a read error; WAV samples in blocks
// wider than they are are refused.
TEST_F(ImageFiles, ImageFaultsShowWhereTheyAre) {
    const Bytes audio = Audio(300, 12);
    WriteBytes("a.bin", audio);
    // Each ends where libcue's lexer is left inside a name.
    const std::string good =
        Write("good.cue", "FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    for (const char* bad : {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTITLE\n",
                            "FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nPERFORMER\n"
                            "INDEX 00 00:00:00\nINDEX 01 00:00:00\n"}) {
        const std::string why = Refused(Write("bad.cue", bad));
        EXPECT_NE(why.find("line 4"), std::string::npos) << why;
        ExpectDisc(good, {1, {0}, 300}, audio);
    }

    WriteBytes("cdi.bin", Bytes(100 * 2336, 0x33));
    ExpectDisc(Write("placeholder.cue",
                     "FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                     "FILE \"cdi.bin\" BINARY\nTRACK 02 CDI/2336\nINDEX 01 00:00:00\n"),
               {1, {0, 300 + 11400}, 300 + 11400 + 100, {false, true}},
               Join({audio, Zeros(11400 + 100)}));

    // A whole enhanced disc in one file: the last audio track runs through the gap.
    WriteBytes("disc.bin", Join({Swapped(audio), Zeros(11400)}));
    {
        std::ofstream(dir_ / "disc.bin", std::ios::binary | std::ios::app)
            << std::string(100 * 2048, 'D');
    }
    ExpectDisc(Write("whole.toc",
                     "CD_ROM_XA\nTRACK AUDIO\nFILE \"disc.bin\" 0 00:02:00\n"
                     "TRACK AUDIO\nFILE \"disc.bin\" 00:02:00 02:34:00\n"
                     "TRACK MODE1\nDATAFILE \"disc.bin\" #27518400\n"),
               {1, {0, 150, 11700}, 11800, {false, false, true}},
               Join({audio, Zeros(11400 + 100)}));

    Bytes frames(3 * kFrameBytes);
    WriteSound("cut.wav", audio, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    fs::resize_file(dir_ / "cut.wav", fs::file_size(dir_ / "cut.wav") - 100 * kFrameBytes);
    auto wav = cdaccess::MakeImageDrive(
        Write("cut.cue", "FILE \"cut.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
    cdaccess::DiscToc toc;
    ASSERT_TRUE(wav->Open()) << wav->OpenError();
    ASSERT_TRUE(wav->ReadToc(toc));
    EXPECT_EQ(toc.leadOut, 300u);
    EXPECT_EQ(wav->ReadFrames(197, 3, frames.data()), kCdOk);
    EXPECT_EQ(wav->ReadFrames(199, 3, frames.data()), kCdReadError);

    // 16-bit samples in 8-byte blocks: libsndfile would read them as packed.
    WriteSound("wide.wav", audio, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    {
        std::fstream patch(dir_ / "wide.wav", std::ios::in | std::ios::out | std::ios::binary);
        patch.seekp(32);  // the format chunk's block align
        patch.put('\x08');
    }
    const std::string wide =
        Refused(Write("wide.cue", "FILE \"wide.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"));
    EXPECT_NE(wide.find("blocks of 8 bytes"), std::string::npos) << wide;

    Write("cut.nrg", NrgOfAudio(audio));
    auto nrg = cdaccess::MakeImageDrive((dir_ / "cut.nrg").string());
    ASSERT_TRUE(nrg->Open()) << nrg->OpenError();
    ASSERT_TRUE(nrg->ReadToc(toc));
    EXPECT_EQ(toc.leadOut, 300u);
    ASSERT_EQ(nrg->ReadFrames(297, 3, frames.data()), kCdOk);
    EXPECT_TRUE(std::equal(frames.begin(), frames.end(), audio.end() - 3 * kFrameBytes));
    fs::resize_file(dir_ / "cut.nrg", 250 * kFrameBytes);
    EXPECT_EQ(nrg->ReadFrames(297, 3, frames.data()), kCdReadError);
}
