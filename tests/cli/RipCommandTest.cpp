// The headless --rip command, run as the real program on a disc image written by
// the test (a BIN/CUE pair of generated audio with a data track at the end).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <mpg123.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

#include <taglib/fileref.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include "FlacDecode.h"
#include "Mp3Decode.h"
#include "RipTestSupport.h"
#include "cli/Commands.h"
#include "rip/ReplayGain.h"

using namespace riptest;

namespace {

struct CommandResult {
    int status = -1;
    std::string output;
};

// Runs a shell command line and collects its output (stdout and stderr).
CommandResult RunShell(const std::string& cmd) {
    CommandResult r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) r.output += buf;
    const int s = ::pclose(p);
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return r;
}

// Runs the program with `env` (NAME=value ...) added to its environment.
CommandResult RunTrackmill(const std::string& args, const std::string& env = "") {
    return RunShell("QT_QPA_PLATFORM=offscreen " + env + " '" + TRACKMILL_EXE + "' " + args +
                    " 2>&1");
}

// Starts the program with `args`, offscreen, its standard output (and, with
// `errorsToo`, its standard error) into `output`; 0 when it could not be started.
pid_t SpawnTrackmill(std::vector<std::string> args, const std::string& output = "/dev/null",
                     bool errorsToo = false) {
    args.insert(args.begin(), TRACKMILL_EXE);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errorsToo) posix_spawn_file_actions_adddup2(&files, 1, 2);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    return spawned == 0 ? child : 0;
}

class RipCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // Two audio tracks (150 and 80 frames) and a data track of 40 frames.
        audio = cdaccess::SimulatedDrive::MakeTestAudio(230, 7);
        std::vector<unsigned char> bin = audio;
        bin.resize(bin.size() + 40 * kFrameBytes, 0);
        std::ofstream(Path("disc.bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(bin.data()),
                   static_cast<std::streamsize>(bin.size()));
        std::ofstream(Path("disc.cue")) << "FILE \"disc.bin\" BINARY\n"
                                           "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                           "  TRACK 02 AUDIO\n    INDEX 01 00:02:00\n"
                                           "  TRACK 03 MODE1/2352\n    INDEX 01 00:03:05\n";
        std::filesystem::create_directory(Path("out"));
    }
    std::string Path(const std::string& f) const { return dir.path().toStdString() + "/" + f; }
    QTemporaryDir dir;
    std::vector<unsigned char> audio;
};

TEST_F(RipCommandTest, RipsEveryAudioRowByteIdenticalAndSkipsTheDataTrack) {
    const auto r =
        RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --out '" + Path("out") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    const auto t1 = ReadFile(Path("out/Track 1.wav"));
    const auto t2 = ReadFile(Path("out/Track 2.wav"));
    ASSERT_EQ(t1.size(), 44 + 150 * kFrameBytes);
    ASSERT_EQ(t2.size(), 44 + 80 * kFrameBytes);
    EXPECT_TRUE(std::equal(t1.begin() + 44, t1.end(), audio.begin()));
    EXPECT_TRUE(std::equal(t2.begin() + 44, t2.end(), audio.begin() + 150 * kFrameBytes));
    EXPECT_FALSE(std::filesystem::exists(Path("out/Data Track.wav")));
    EXPECT_NE(r.output.find("2 of 2 track(s) ripped"), std::string::npos) << r.output;
}

TEST_F(RipCommandTest, RowListsFailuresAndUsageErrorsGiveTheirStatus) {
    auto r = RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --out '" + Path("out") +
                          "' --tracks 2-3");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(std::filesystem::exists(Path("out/Track 2.wav")));
    EXPECT_FALSE(std::filesystem::exists(Path("out/Track 1.wav")));
    EXPECT_NE(r.output.find("skipped"), std::string::npos);

    // A track that cannot be written fails, is named, and the next one still runs.
    std::filesystem::create_directory(Path("out/Track 1.wav"));
    r = RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --out '" + Path("out") + "'");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("failed: Track 1"), std::string::npos) << r.output;

    // Nothing to rip: only a data row asked for.
    r = RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --out '" + Path("out") +
                     "' --tracks 3");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("nothing to rip"), std::string::npos) << r.output;

    EXPECT_EQ(RunTrackmill("--rip ogg --disc '" + Path("disc.cue") + "'").status, 2);
    EXPECT_EQ(RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --offset 6x").status, 2);
    EXPECT_EQ(RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --offset 50000").status, 2);
    EXPECT_EQ(RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --out '" + Path("out") +
                           "' --tracks 4")
                  .status,
              2);
    EXPECT_EQ(
        RunTrackmill("--rip wav --disc '" + Path("none.cue") + "' --out '" + Path("out") + "'")
            .status,
        2);
    // A missing --out folder is made.
    r = RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --out '" + Path("new/out") +
                     "' --tracks 2");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(std::filesystem::exists(Path("new/out/Track 2.wav")));
    // One too long to be used is refused before any of it is made.
    r = RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --out '" + Path("long/") +
                     std::string(300, 'x') + "'");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("longer than 259 bytes"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(Path("long")));
}

// Without --out and without an "output" setting, rip and convert both write into the
// user's music folder, made when missing; a missing "output" folder is made too.
TEST_F(RipCommandTest, RipAndConvertShareTheDefaultOutputFolder) {
    if (std::filesystem::exists(std::filesystem::path(TRACKMILL_EXE).parent_path() /
                                "trackmill.ini"))
        GTEST_SKIP() << "a settings file beside the program names the output folder";
    const std::string env = "HOME='" + Path("home") + "' XDG_CONFIG_HOME='" + Path("config") + "'";
    std::filesystem::create_directory(Path("home"));
    auto r = RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --tracks 1", env);
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_TRUE(std::filesystem::exists(Path("home/Music/Track 1.wav"))) << r.output;
    r = RunTrackmill("--convert '" + Path("home/Music/Track 1.wav") + "'", env);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(std::filesystem::exists(Path("home/Music/Track 1.mp3"))) << r.output;

    // A folder named by the "output" setting is made when missing.
    std::filesystem::create_directories(Path("config/trackmill"));
    std::ofstream(Path("config/trackmill/trackmill.ini"))
        << "[CONFIG]\noutput=" << Path("set/out/") << "\n";
    r = RunTrackmill("--rip wav --disc '" + Path("disc.cue") + "' --tracks 2", env);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(std::filesystem::exists(Path("set/out/Track 2.wav"))) << r.output;
}

TEST_F(RipCommandTest, Mp3RipWritesDecodableFiles) {
    const auto r = RunTrackmill("--rip mp3 --disc '" + Path("disc.cue") + "' --out '" +
                                Path("out") + "' --tracks 1");
    ASSERT_EQ(r.status, 0) << r.output;
    const auto mp3 = ReadFile(Path("out/Track 1.mp3"));
    ASSERT_GT(mp3.size(), 1000u);
    // The audio's first frame follows the ID3v2 tag that holds the ReplayGain.
    std::size_t audio = 0;
    if (mp3[0] == 'I' && mp3[1] == 'D' && mp3[2] == '3')
        audio = 10 + (std::size_t{mp3[6]} << 21 | std::size_t{mp3[7]} << 14 |
                      std::size_t{mp3[8]} << 7 | mp3[9]);
    ASSERT_LT(audio + 1, mp3.size());
    EXPECT_EQ(mp3[audio], 0xFF);
    EXPECT_EQ(mp3[audio + 1] & 0xE0, 0xE0);
}

// A file-size limit stands in for a full disk: every track fails with the system's
// reason, the process is not killed by SIGXFSZ, and no file is left behind.
TEST_F(RipCommandTest, AFullDiskFailsTheTracksAndLeavesNoFiles) {
#if defined(__SANITIZE_THREAD__)
    // The ThreadSanitizer runtime itself dies under a file-size limit (SIGBUS at exit).
    GTEST_SKIP() << "a file-size limit breaks the ThreadSanitizer runtime";
#endif
    // 100 blocks of 512 or 1024 bytes, whichever the shell counts in: less than a track.
    const auto r =
        RunShell("ulimit -f 100 && QT_QPA_PLATFORM=offscreen '" + std::string(TRACKMILL_EXE) +
                 "' --rip wav --disc '" + Path("disc.cue") + "' --out '" + Path("out") + "' 2>&1");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(std::strerror(EFBIG)), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("0 of 2 track(s) ripped"), std::string::npos) << r.output;
    // No audio file is left; only the rip log, small enough to fit, tells of the failures.
    std::vector<std::string> names;
    for (const auto& f : std::filesystem::directory_iterator(Path("out")))
        names.push_back(f.path().string());
    ASSERT_EQ(names.size(), 1u) << r.output;
    EXPECT_EQ(std::filesystem::path(names[0]).extension(), ".log") << names[0];
    std::ifstream log(names[0]);
    const std::string text((std::istreambuf_iterator<char>(log)), {});
    EXPECT_NE(text.find("summary: 2 track(s), 0 ok, 0 suspicious, 2 failed"), std::string::npos)
        << text;
}

// Whether an MP3 file decodes to its end without an error, and how many samples it holds.
bool DecodesCleanly(const std::string& path, std::size_t& samples) {
    samples = 0;
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh) return false;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    int result = MPG123_ERR;
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        std::vector<unsigned char> buf(65536);
        do {
            std::size_t got = 0;
            result = mpg123_read(mh, buf.data(), buf.size(), &got);
            samples += got / 2;
        } while (result == MPG123_OK || result == MPG123_NEW_FORMAT);
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return result == MPG123_DONE && samples > 0;
}

// SIGTERM in the middle of an MP3 rip of the demo disc stops it as Ctrl+C does: the
// track being encoded keeps a partial file that decodes, the tracks before it are
// whole, and no working file or empty file is left (tracks read but not yet encoded
// leave none). Even SIGKILL, which nothing can handle, leaves only whole files under
// final names: the unfinished tracks stay under their working names. One encoder at a
// time, so track 1 is whole before track 2's encoding starts.
TEST_F(RipCommandTest, SigtermMidRipLeavesOnlyValidFiles) {
    for (int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGKILL");
        const std::string out = Path(signal == SIGTERM ? "term" : "kill");
        std::filesystem::create_directory(out);
        const std::string log = out + ".log";
        const std::string disc = std::string(TRACKMILL_DEMO_DIR) + "/demo.cue";
        const pid_t child = SpawnTrackmill(
            {"--rip", "mp3", "--disc", disc, "--out", out, "--jobs", "1"}, log, true);
        ASSERT_NE(child, 0);
        // Track 2 under way with some of its audio written (a track stopped before any
        // audio leaves no file): track 1 is finished.
        const bool started = PumpUntil(
            [&] {
                std::error_code e;
                return std::filesystem::file_size(out + "/Track 2.mp3.part", e) >= 16384 && !e;
            },
            60000);
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        std::ifstream in(log);
        const std::string output((std::istreambuf_iterator<char>(in)), {});
        ASSERT_TRUE(started) << output;

        // The audio files, and apart from them the rip logs and cue sheets (one each per
        // batch that ended).
        std::vector<std::string> names;
        int logs = 0, cues = 0;
        for (const auto& f : std::filesystem::directory_iterator(out)) {
            const std::string name = f.path().filename().string();
            if (name.rfind("trackmill-", 0) == 0 && f.path().extension() == ".log")
                ++logs;
            else if (name.rfind("trackmill-", 0) == 0 && f.path().extension() == ".cue")
                ++cues;
            else
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(logs, signal == SIGKILL ? 0 : 1) << output;
        EXPECT_EQ(cues, logs) << output;
        std::size_t whole = 0, part = 0;
        EXPECT_TRUE(DecodesCleanly(out + "/Track 1.mp3", whole));
        // Track 1 in full, give or take the encoder's delay and padding.
        EXPECT_NEAR(static_cast<double>(whole), 1065.0 * 1176, 3 * 1152 * 2);
        if (signal == SIGKILL) {
            ASSERT_GE(names.size(), 2u);
            EXPECT_EQ(names[0], "Track 1.mp3");
            EXPECT_EQ(names[1], "Track 2.mp3.part");
            for (const std::string& name : names)
                EXPECT_TRUE(name == "Track 1.mp3" || name.ends_with(".part")) << name;
            continue;
        }
        ASSERT_TRUE(WIFEXITED(status)) << output;
        EXPECT_EQ(WEXITSTATUS(status), 1) << output;
        EXPECT_NE(output.find("interrupted"), std::string::npos) << output;
        EXPECT_EQ(names, (std::vector<std::string>{"Track 1.mp3", "Track 2.mp3"})) << output;
        EXPECT_TRUE(DecodesCleanly(out + "/Track 2.mp3", part));
        EXPECT_LT(part, 1613u * 1176);
    }
}

// Encoders working beside the disc read: MP3 and FLAC rips of the demo disc with three
// encoders at once give byte for byte the files of one encoder, and a SIGTERM while
// three tracks are being encoded leaves only files that decode (the encoded part of
// each) or none: no working file and no spool is left.
TEST_F(RipCommandTest, ThreeEncodersMatchOneAndAStopLeavesOnlyValidFiles) {
    const std::string disc = std::string(TRACKMILL_DEMO_DIR) + "/demo.cue";
    auto names = [](const std::string& folder) {
        std::vector<std::string> all;
        for (const auto& f : std::filesystem::directory_iterator(folder))
            if (f.path().extension() != ".log" && f.path().extension() != ".cue")
                all.push_back(f.path().filename().string());
        std::sort(all.begin(), all.end());
        return all;
    };
    for (const char* format : {"mp3", "flac"}) {
        SCOPED_TRACE(format);
        const std::string one = Path(std::string(format) + "1"),
                          three = Path(std::string(format) + "3");
        for (const auto& [out, jobs] : {std::pair{one, "1"}, std::pair{three, "3"}}) {
            const auto r = RunTrackmill("--rip " + std::string(format) + " --disc '" + disc +
                                        "' --out '" + out + "' --jobs " + jobs);
            ASSERT_EQ(r.status, 0) << r.output;
        }
        ASSERT_EQ(names(one), names(three));
        ASSERT_GE(names(one).size(), 3u);
        for (const std::string& name : names(one))
            EXPECT_TRUE(ReadFile(one + "/" + name) == ReadFile(three + "/" + name)) << name;
    }

    const std::string out = Path("stopped");
    std::filesystem::create_directory(out);
    const pid_t child =
        SpawnTrackmill({"--rip", "mp3", "--disc", disc, "--out", out, "--jobs", "3"});
    ASSERT_NE(child, 0);
    // Three working files with encoded audio in them: three encoders at work.
    const bool encoding = PumpUntil(
        [&] {
            int working = 0;
            for (const auto& f : std::filesystem::directory_iterator(out)) {
                std::error_code ec;
                if (f.path().extension() == ".part" &&
                    std::filesystem::file_size(f.path(), ec) > 4096)
                    ++working;
            }
            return working >= 3;
        },
        60000);
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(encoding);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);  // interrupted
    for (const std::string& name : names(out)) {
        EXPECT_EQ(std::filesystem::path(name).extension(), ".mp3") << name;
        std::size_t samples = 0;
        EXPECT_TRUE(DecodesCleanly(out + "/" + name, samples)) << name;
    }
}

// --rate and --channel override the settings for MP3 rips, and only for them.
TEST_F(RipCommandTest, RateAndChannelOptionsShapeMp3Rips) {
    const std::string disc = "--disc '" + Path("disc.cue") + "' --out '" + Path("out") + "'";
    const auto r = RunTrackmill("--rip mp3 --rate 320 --channel left --tracks 1 " + disc);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("as mp3 at 320 kbit/s or more, left channel as mono"),
              std::string::npos)
        << r.output;
    const DecodedMp3 d = DecodeMp3(Path("out/Track 1.mp3"));
    EXPECT_EQ(d.channels, 1);
    EXPECT_EQ(d.pcm.size(), 150u * 588);
    EXPECT_EQ(d.minKbps, 320);

    for (const char* bad : {"--rip mp3 --rate 100", "--rip mp3 --channel both", "--rip mp3 --rate",
                            "--rip wav --rate 128", "--rip wav --channel mono"})
        EXPECT_EQ(RunTrackmill(std::string(bad) + " " + disc).status, 2) << bad;
}

TEST_F(RipCommandTest, FortyTracksFromAFlacImageRipToFortyExactFiles) {
    // One FLAC file behind a cue sheet of 40 tracks of 20 frames each.
    const std::vector<unsigned char> flacAudio = cdaccess::SimulatedDrive::MakeTestAudio(800, 11);
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* flac = sf_open(Path("CDImage.flac").c_str(), SFM_WRITE, &info);
    ASSERT_NE(flac, nullptr) << sf_strerror(nullptr);
    std::vector<short> samples(flacAudio.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(flacAudio[2 * i] | (flacAudio[2 * i + 1] << 8));
    sf_writef_short(flac, samples.data(), static_cast<sf_count_t>(samples.size() / 2));
    sf_close(flac);
    std::ofstream cue(Path("flac.cue"));
    cue << "FILE \"CDImage.flac\" WAVE\n";
    for (int t = 1; t <= 40; ++t) {
        char lines[96];
        std::snprintf(lines, sizeof lines, "  TRACK %02d AUDIO\n    INDEX 01 00:%02d:%02d\n", t,
                      (t - 1) * 20 / 75, (t - 1) * 20 % 75);
        cue << lines;
    }
    cue.close();

    const auto r =
        RunTrackmill("--rip wav --disc '" + Path("flac.cue") + "' --out '" + Path("out") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("40 of 40 track(s) ripped"), std::string::npos) << r.output;
    for (int t = 1; t <= 40; ++t) {
        const auto wav = ReadFile(Path("out/Track " + std::to_string(t) + ".wav"));
        ASSERT_EQ(wav.size(), 44 + 20 * kFrameBytes) << t;
        EXPECT_TRUE(std::equal(wav.begin() + 44, wav.end(),
                               flacAudio.begin() + std::ptrdiff_t{t - 1} * 20 * kFrameBytes))
            << "track " << t;
    }
}

TEST_F(RipCommandTest, TheLastAudioTrackOfAnEnhancedCdRipsToItsOwnLength) {
    // The demo disc: the last audio row ends 11400 frames before the data track.
    const std::string demo = TRACKMILL_DEMO_DIR;
    std::ifstream expected(demo + "/demo.expected");
    int number = 0, data = 0;
    unsigned start = 0, length = 0, lastStart = 0, lastLength = 0, row = 0, lastRow = 0;
    while (expected >> number >> start >> length >> data) {
        ++row;
        if (!data) lastStart = start, lastLength = length, lastRow = row;
    }
    ASSERT_GT(lastRow, 0u);
    const auto r = RunTrackmill("--rip wav --disc '" + demo + "/demo.cue' --out '" + Path("out") +
                                "' --tracks " + std::to_string(lastRow));
    ASSERT_EQ(r.status, 0) << r.output;
    const auto wav = ReadFile(Path("out/Track " + std::to_string(lastRow) + ".wav"));
    ASSERT_EQ(wav.size(), 44 + std::size_t{lastLength} * kFrameBytes);
    const auto bin = ReadFile(demo + "/demo.bin");
    ASSERT_GE(bin.size(), (std::size_t{lastStart} + lastLength) * kFrameBytes);
    EXPECT_TRUE(std::equal(wav.begin() + 44, wav.end(),
                           bin.begin() + std::ptrdiff_t{lastStart} * kFrameBytes));
}

// The demo image ripped by the program: every CRC32 in the rip log is zlib's CRC32
// of the WAV file's audio, and the log names the disc by its three identifiers.
TEST(RipCommandDemoTest, RipLogChecksumsMatchTheFilesAndNameTheDisc) {
    QTemporaryDir dir;
    const auto r = RunTrackmill(std::string("--rip wav --disc '") + TRACKMILL_DEMO_DIR +
                                "/demo.cue' --out '" + dir.path().toStdString() + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    const auto logs = QDir(dir.path()).entryList({"trackmill-*.log"}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    std::ifstream in((dir.path() + "/" + logs[0]).toStdString());
    std::string line, file;
    int checked = 0;
    bool cddb = false, musicBrainz = false, accurateRip = false, album = false;
    int gains = 0;
    // The integrated loudness of the demo's six tracks and of all six in a row, in LUFS,
    // as ffmpeg's ebur128 filter measured them (a recorded reference, like the network
    // answers): each gain to -18 LUFS lies within 0.1 dB of it.
    const double reference[] = {-15.354, -11.569, -14.227, -11.579, -11.432, -12.262};
    const double referenceAlbum = -12.316;
    while (std::getline(in, line)) {
        cddb |= line.rfind("cddb id: ", 0) == 0 && line.size() == 17;
        if (line.rfind("replaygain album: ", 0) == 0) {
            album = line.find(" dB, peak ") != std::string::npos;
            EXPECT_NEAR(-18.0 - referenceAlbum, std::stod(line.substr(18)), 0.1);
        }
        // Each track's gain is its file's audio as measured on the way.
        if (line.rfind("replaygain track: ", 0) == 0) {
            const auto wav = ReadFile(file);
            rip::TrackLoudness meter;
            meter.Add(wav.data() + 44, wav.size() - 44);
            EXPECT_NEAR(std::stod(line.substr(18)), meter.Result().gainDb, 0.01) << file;
            if (gains < 6) {
                EXPECT_NEAR(-18.0 - reference[gains], meter.Result().gainDb, 0.1) << file;
            }
            ++gains;
        }
        musicBrainz |= line.rfind("musicbrainz id: ", 0) == 0 && line.size() == 16 + 28;
        accurateRip |= line.rfind("accuraterip id: ", 0) == 0;
        if (line.rfind("file: ", 0) == 0) file = line.substr(6);
        if (line.rfind("crc32: ", 0) != 0) continue;
        const auto wav = ReadFile(file);
        ASSERT_GT(wav.size(), 44u) << file;
        char expected[16];
        std::snprintf(expected, sizeof expected, "%08lx",
                      crc32(0, wav.data() + 44, static_cast<uInt>(wav.size() - 44)));
        EXPECT_EQ(line.substr(7), expected) << file;
        ++checked;
    }
    EXPECT_GE(checked, 2);
    EXPECT_EQ(gains, checked);
    EXPECT_TRUE(cddb && musicBrainz && accurateRip && album);
}

// --verify in process on the simulated drive: a clean drive verifies; a drive whose
// frame reads differently the second time gets its track marked suspicious in the
// summary, the log (a second log beside the first) and the exit status.
TEST(RipCommandVerifyTest, TrackThatReadsDifferentlyIsSuspicious) {
    QTemporaryDir dir;
    SimDisc disc = OpenSimDisc({30, 20});
    const std::string out = dir.path().toStdString();
    EXPECT_EQ(cli::RunRipCommand({"--rip", "wav", "--out", out, "--verify"}), 0);
    ASSERT_EQ(Logs(dir.path()).size(), 1u);
    const std::string clean = ReadText(Logs(dir.path())[0]);
    EXPECT_NE(clean.find("test and copy: yes"), std::string::npos) << clean;
    EXPECT_NE(clean.find("test crc32: "), std::string::npos) << clean;
    EXPECT_NE(clean.find("summary: 2 track(s), 2 ok, 0 suspicious, 0 failed"), std::string::npos);

    // Same disc, frame 40 now reads differently on every read after the first: the
    // second batch gets its own log and names track 2 suspicious.
    disc.drive->ScriptUnstableFrame(40);
    EXPECT_EQ(cli::RunRipCommand({"--rip", "wav", "--out", out, "--verify"}), 1);
    auto logs = Logs(dir.path());
    ASSERT_EQ(logs.size(), 2u);
    std::string second = ReadText(logs[0]) == clean ? ReadText(logs[1]) : ReadText(logs[0]);
    EXPECT_NE(second.find("result: suspicious"), std::string::npos) << second;
    EXPECT_NE(second.find("summary: 2 track(s), 1 ok, 1 suspicious, 0 failed"), std::string::npos)
        << second;
    cdaccess::ClearAddedDrives();
}

}  // namespace

namespace {

bool HaveFlacTool() {
    return RunShell("command -v flac").status == 0;
}

// The "track:", "crc32:" and "accuraterip v1/v2:" lines of the one rip log in `folder`.
std::string LogChecksums(const std::string& folder) {
    std::string sums;
    for (const auto& f : std::filesystem::directory_iterator(folder)) {
        if (f.path().extension() != ".log") continue;
        std::ifstream in(f.path());
        const std::regex keep("^(track|crc32|accuraterip v1|accuraterip v2): .*");
        for (std::string line; std::getline(in, line);)
            if (std::regex_match(line, keep)) sums += line + "\n";
    }
    return sums;
}

// The gains a folder's rip log lists: each file's ("+1.23 dB, peak 0.5"), the album's
// under "album".
std::map<std::string, std::string> LogGains(const std::string& folder) {
    std::map<std::string, std::string> gains;
    for (const auto& f : std::filesystem::directory_iterator(folder)) {
        if (f.path().extension() != ".log") continue;
        std::ifstream in(f.path());
        std::string file;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("file: ", 0) == 0) file = line.substr(6);
            if (line.rfind("replaygain track: ", 0) == 0) gains[file] = line.substr(18);
            if (line.rfind("replaygain album: ", 0) == 0) gains["album"] = line.substr(18);
        }
    }
    return gains;
}

// A file's REPLAYGAIN_<kind>_* tags in the log's words.
std::string GainTags(const std::string& path, const std::string& kind) {
    TagLib::FileRef file(path.c_str());
    if (file.isNull()) return "unreadable";
    const TagLib::PropertyMap tags = file.file()->properties();
    auto value = [&](const std::string& key) {
        return tags.contains(key) ? tags[key].toString().to8Bit() : std::string("none");
    };
    return value("REPLAYGAIN_" + kind + "_GAIN") + ", peak " +
           value("REPLAYGAIN_" + kind + "_PEAK");
}

}  // namespace

// A FLAC rip holds exactly the WAV rip's audio, which libFLAC and the flac tool both
// accept, with STREAMINFO's MD5 of that audio; the rip logs of WAV, MP3 and FLAC rips
// of one disc give each track the same checksums.
TEST_F(RipCommandTest, FlacRipHoldsTheDiscsExactSamples) {
    const std::string disc = "--disc '" + Path("disc.cue") + "' --out '" + Path("out");
    std::map<std::string, std::string> sums;
    for (const char* format : {"wav", "mp3", "flac"}) {
        const auto r =
            RunTrackmill(std::string("--rip ") + format + " " + disc + "/" + format + "'",
                         "XDG_CONFIG_HOME='" + Path("config") + "'");
        ASSERT_EQ(r.status, 0) << r.output;
        // Each track's line names its file, the encoded ones too.
        EXPECT_NE(r.output.find("ok  " + Path("out/") + format + "/Track 2." + format),
                  std::string::npos)
            << r.output;
        sums[format] = LogChecksums(Path("out/") + format);
    }
    EXPECT_NE(sums["wav"].find("crc32: "), std::string::npos) << sums["wav"];
    EXPECT_EQ(sums["mp3"], sums["wav"]);
    EXPECT_EQ(sums["flac"], sums["wav"]);
    // MP3 and FLAC files carry the gains their log lists.
    for (const char* format : {"mp3", "flac"}) {
        const auto gains = LogGains(Path("out/") + format);
        ASSERT_EQ(3u, gains.size()) << format;
        for (const auto& [file, text] : gains) {
            if (file == "album") continue;
            EXPECT_EQ(text, GainTags(file, "TRACK")) << file;
            EXPECT_EQ(gains.at("album"), GainTags(file, "ALBUM")) << file;
        }
    }
    for (const char* track : {"Track 1", "Track 2"}) {
        SCOPED_TRACE(track);
        const std::string flac = Path("out/flac/") + track + ".flac";
        const auto wav = ReadFile(Path("out/wav/") + track + ".wav");
        const DecodedFlac d = DecodeFlac(flac);
        ASSERT_TRUE(d.ok);
        ASSERT_GT(wav.size(), 44u);
        EXPECT_TRUE(d.pcm == std::vector<unsigned char>(wav.begin() + 44, wav.end()));
        EXPECT_EQ(d.md5, Md5(d.pcm));
        if (HaveFlacTool()) {
            EXPECT_EQ(RunShell("flac -t -s '" + flac + "'").status, 0);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(Path("out/flac/Data Track.flac")));
}

// SIGTERM during a FLAC rip: every file under a final name is a valid FLAC file with
// its STREAMINFO complete (the track under way holds the audio so far), and no working
// file is left.
TEST_F(RipCommandTest, AStoppedFlacRipLeavesOnlyValidFiles) {
    const std::string out = Path("stop");
    const std::string disc = std::string(TRACKMILL_DEMO_DIR) + "/demo.cue";
    // One encoder at a time: track 1 is whole before track 2's encoding starts.
    const pid_t child =
        SpawnTrackmill({"--rip", "flac", "--disc", disc, "--out", out, "--jobs", "1"});
    ASSERT_NE(child, 0);
    // Some of track 2's audio must be encoded before the signal: a track stopped before
    // any audio rightly leaves no file.
    const bool started = PumpUntil(
        [&] {
            std::error_code ec;
            return std::filesystem::file_size(out + "/Track 2.flac.part", ec) > 16384 && !ec;
        },
        60000);
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(started);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);  // interrupted
    std::size_t flacs = 0;
    for (const auto& f : std::filesystem::directory_iterator(out)) {
        const std::string name = f.path().filename().string();
        EXPECT_TRUE(f.path().extension() == ".flac" || f.path().extension() == ".log" ||
                    f.path().extension() == ".cue")
            << name;
        if (f.path().extension() != ".flac") continue;
        ++flacs;
        const DecodedFlac d = DecodeFlac(f.path().string());
        ASSERT_TRUE(d.ok) << name;
        EXPECT_GT(d.pcm.size(), 0u) << name;
        EXPECT_EQ(d.md5, Md5(d.pcm)) << name;
        if (HaveFlacTool()) {
            EXPECT_EQ(RunShell("flac -t -s '" + f.path().string() + "'").status, 0) << name;
        }
    }
    EXPECT_GE(flacs, 2u);
    EXPECT_EQ(DecodeFlac(out + "/Track 1.flac").pcm.size(), 1065u * kFrameBytes);
}

// A cue sheet's CD-Text names the files through --naming and tags them; a template
// that names every track alike is refused before anything is ripped.
TEST_F(RipCommandTest, CdTextNamesAndTagsTheFilesThroughTheTemplate) {
    std::ofstream(Path("named.cue")) << "PERFORMER \"The Band\"\nTITLE \"Live\"\n"
                                        "FILE \"disc.bin\" BINARY\n"
                                        "  TRACK 01 AUDIO\n    TITLE \"Up/Down\"\n"
                                        "    INDEX 01 00:00:00\n"
                                        "  TRACK 02 AUDIO\n    TITLE \"Last\"\n"
                                        "    PERFORMER \"Guest\"\n    INDEX 01 00:02:00\n"
                                        "  TRACK 03 MODE1/2352\n    INDEX 01 00:03:05\n";
    const std::string disc = "--disc '" + Path("named.cue") + "' --out '" + Path("out") + "'";
    // The names come from the image alone: no network, a cache of the test's own.
    const std::string config =
        "XDG_CONFIG_HOME='" + Path("config") + "' XDG_CACHE_HOME='" + Path("cache") + "'";
    const auto bad = RunTrackmill("--rip mp3 " + disc + " --naming '%A/%d'", config);
    EXPECT_EQ(2, bad.status) << bad.output;
    const auto r =
        RunTrackmill("--rip mp3 --no-lookup " + disc + " --naming '%A/%n %t (%a)'", config);
    ASSERT_EQ(0, r.status) << r.output;
    const std::string names[] = {"01 Up_Down (The Band).mp3", "02 Last (Guest).mp3"};
    for (int t = 0; t < 2; ++t) {
        const std::string path = Path("out/The Band/") + names[t];
        TagLib::MPEG::File mp3(path.c_str());
        ASSERT_TRUE(mp3.isValid() && mp3.hasID3v2Tag()) << path << "\n" << r.output;
        EXPECT_EQ(t == 0 ? "Up/Down" : "Last", mp3.ID3v2Tag()->title().to8Bit());
        EXPECT_EQ(t == 0 ? "The Band" : "Guest", mp3.ID3v2Tag()->artist().to8Bit());
        EXPECT_EQ("Live", mp3.ID3v2Tag()->album().to8Bit());
        EXPECT_EQ(static_cast<unsigned>(t + 1), mp3.ID3v2Tag()->track());
        EXPECT_NE("none, peak none", GainTags(path, "TRACK"));  // beside the names
    }
    EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(Path("out/The Band")), {}));
    // The rip's own cue sheet carries the same names.
    std::string sheet;
    for (const auto& f : std::filesystem::directory_iterator(Path("out")))
        if (f.path().extension() == ".cue") sheet = ReadText(f.path().string());
    EXPECT_NE(sheet.find("TITLE \"Live\"\nPERFORMER \"The Band\"\n"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("TITLE \"Last\"\n    PERFORMER \"Guest\""), std::string::npos) << sheet;
}
