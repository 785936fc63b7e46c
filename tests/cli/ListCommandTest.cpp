// trackmill --list and --toc, run as the program: what they print and their exit status.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cd/DiscIds.h"

namespace {

const std::string kDemoDir = TRACKMILL_DEMO_DIR;

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs the program without TRACKMILL_DISC unless `disc` names one.
Outcome Trackmill(const QStringList& args, const std::string& disc = "") {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("TRACKMILL_DISC");
    if (!disc.empty()) env.insert("TRACKMILL_DISC", QString::fromStdString(disc));
    process.setProcessEnvironment(env);
    process.start(TRACKMILL_BIN, args);
    Outcome run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) return run;
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

// The lines the demo disc's list shows, from what its generator wrote.
std::string DemoRows() {
    std::ifstream in(kDemoDir + "/demo.expected");
    std::ostringstream rows;
    int number, data;
    unsigned start, length, row = 0;
    while (in >> number >> start >> length >> data) {
        char line[64];
        std::snprintf(line, sizeof line, "%u\t%s\t%02u:%02u\n", ++row,
                      data ? "Data Track" : ("Track " + std::to_string(number)).c_str(),
                      length / 75 / 60, length / 75 % 60);
        rows << line;
    }
    return rows.str();
}

int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST(ListCommand, PrintsTheDriveThenOneLinePerRow) {
    const std::string cue = kDemoDir + "/demo.cue";
    const Outcome run = Trackmill({"--list", "--disc", QString::fromStdString(cue)});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, cue + "\n" + DemoRows());
    EXPECT_EQ(run.err, "");
}

TEST(ListCommand, TheEnvironmentVariableNamesTheDiscToo) {
    const std::string cue = kDemoDir + "/demo.cue";
    const Outcome run = Trackmill({"--list"}, cue);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, cue + "\n" + DemoRows());
}

TEST(ListCommand, FailuresExitWith2AndOneLineOnStandardError) {
    for (const QStringList& args :
         {QStringList{"--list", "--disc", "/no/such/disc.cue"}, QStringList{"--list", "--disc"},
          QStringList{"--list", "--bogus"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Outcome run = Trackmill(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(LineCount(run.err), 1) << run.err;
    }
}

TEST(ListCommand, AnUnknownArgumentPrintsTheUsageAndExitsWith2) {
    const Outcome run = Trackmill({"--lsit"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--list"), std::string::npos);
    EXPECT_EQ(run.out, "");
}

TEST(Program, VersionNamesTheProgramAndItsLibraries) {
    const Outcome run = Trackmill({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(std::string("trackmill ") + TRACKMILL_VERSION + "\n", 0), 0u)
        << run.out;
    for (const char* library : {"\nlibcdio ", "\nlibmp3lame ", "\nPortAudio "})
        EXPECT_NE(run.out.find(library), std::string::npos) << library << " in " << run.out;
    EXPECT_NE(run.out.find("\nCopyright 2026 the Trackmill authors\nLicence GPL-3.0-or-later"),
              std::string::npos)
        << run.out;
}

TEST(TocCommand, ListsTheDemoDiscAsItsImageGivesIt) {
    const std::string cue = kDemoDir + "/demo.cue";
    const Outcome run = Trackmill({"--toc", "--disc", QString::fromStdString(cue)});
    EXPECT_EQ(run.status, 0) << run.err;
    std::ifstream in(kDemoDir + "/demo.expected");
    std::string want = cue + "\ntrack\tstart\tframes\ttime\ttype\temphasis\tcopy\tpregap\n";
    int number, data;
    unsigned start, length, previous = 0, leadOut = 0;
    std::vector<std::pair<unsigned, int>> starts;
    while (in >> number >> start >> length >> data) {
        starts.emplace_back(start, data);
        leadOut = start + length;
    }
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const unsigned next = i + 1 < starts.size() ? starts[i + 1].first : leadOut;
        const unsigned frames = next - starts[i].first;
        char line[128];
        std::snprintf(line, sizeof line, "%zu\t%u\t%u\t%02u:%02u.%02u\t%s\tno\tno\t%u\n", i + 1,
                      starts[i].first, frames, frames / 75 / 60, frames / 75 % 60, frames % 75,
                      starts[i].second ? "data" : "audio", i == 0 ? starts[i].first : 0u);
        want += line;
        previous = next;
    }
    want += "lead-out\t" + std::to_string(previous) + "\n";
    // Then the four ids, as the rip log gives them.
    cd::TableOfContents toc;
    toc.firstTrack = 1;
    toc.lastTrack = static_cast<int>(starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i)
        toc.tracks.push_back({static_cast<int>(i + 1), starts[i].first, starts[i].second != 0});
    toc.leadOut = previous;
    char cddb[16];
    std::snprintf(cddb, sizeof cddb, "%08x", cd::CddbDiscId(toc));
    want += std::string("cddb id: ") + cddb + "\nmusicbrainz id: " + cd::MusicBrainzDiscId(toc) +
            "\naccuraterip id: " + cd::AccurateRipIds(toc).Text() +
            "\nctdb id: " + cd::CtdbTocId(toc) + "\n";
    EXPECT_EQ(run.out, want);
}

TEST(TocCommand, HiddenAudioAndADataTrackAtTheEnd) {
    // A .toc: audio hidden before track 1's index 01, then a data track longer than
    // the session gap at the end of the disc.
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("tm_toc_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream raw(dir / "audio.cdda", std::ios::binary);
        for (int i = 0; i < 400 * 2352; ++i) raw.put(static_cast<char>(i * 7 + 1));
        std::ofstream(dir / "data.iso", std::ios::binary).close();
        fs::resize_file(dir / "data.iso", 12000 * 2048);
        std::ofstream(dir / "disc.toc")
            << "CD_ROM\nTRACK AUDIO\nFILE \"audio.cdda\" 0\nSTART 00:01:00\n"
               "TRACK MODE1\nPREGAP 00:02:00\nDATAFILE \"data.iso\"\n";
    }
    const QString toc = QString::fromStdString((dir / "disc.toc").string());
    const Outcome run = Trackmill({"--toc", "--disc", toc});
    EXPECT_EQ(run.status, 0) << run.err;
    // Track 1 at 75; the data track 11400 frames after the audio's end (400).
    EXPECT_NE(run.out.find("\n1\t75\t11725\t02:36.25\taudio\tno\tno\t75\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n2\t11800\t12000\t02:40.00\tdata\tno\tno\t150\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("lead-out\t23800\nhidden audio before track 1: 75 frames\n"),
              std::string::npos)
        << run.out;
    const Outcome list = Trackmill({"--list", "--disc", toc});
    EXPECT_EQ(list.out,
              (dir / "disc.toc").string() + "\n1\tTrack 1\t00:04\n2\tData Track\t02:40\n");

    // An image that cannot be used: exit 2, and the reason on one line.
    std::ofstream(dir / "broken.cue")
        << "FILE \"gone.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    const Outcome broken =
        Trackmill({"--toc", "--disc", QString::fromStdString((dir / "broken.cue").string())});
    EXPECT_EQ(broken.status, 2);
    EXPECT_EQ(LineCount(broken.err), 1) << broken.err;
    EXPECT_NE(broken.err.find("gone.bin"), std::string::npos) << broken.err;
    fs::remove_all(dir);
}

// With no command the program opens its window; without a display it says so.
TEST(ListCommand, NoCommandWithoutADisplayExplainsAndExitsWith1) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TRACKMILL_DISC"})
        env.remove(name);
    process.setProcessEnvironment(env);
    process.start(TRACKMILL_BIN, {});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_NE(process.readAllStandardError().indexOf("display"), -1);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
}

// The window started with a disc image that cannot be opened says why on standard
// error, in the commands' words, while the window waits for the user.
TEST(ListCommand, TheWindowSaysWhyItsImageCannotBeOpened) {
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    process.start(TRACKMILL_BIN, {"--disc", "/no/such/disc.cue"});
    QByteArray err;
    for (int i = 0; i < 100 && !err.contains("missing\n"); ++i) {
        process.waitForReadyRead(100);
        err += process.readAllStandardError();
    }
    process.kill();
    process.waitForFinished(10000);
    EXPECT_NE(err.indexOf("trackmill: cannot open the disc image /no/such/disc.cue: the file is "
                          "missing\n"),
              -1)
        << err.toStdString();
}

// A faulty cue sheet leaves nothing behind: the next image on the command line opens.
TEST(ListCommand, AnImageAfterAFaultyCueSheetOpens) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("tm_badcue_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "a.bin", std::ios::binary) << std::string(300 * 2352, '\1');
    const std::string sheet = "FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    std::ofstream(dir / "bad.cue") << sheet << "PERFORMER\nINDEX 00 00:00:00\nINDEX 01 00:00:00\n";
    std::ofstream(dir / "good.cue") << sheet;
    const QString bad = QString::fromStdString((dir / "bad.cue").string());
    const QString good = QString::fromStdString((dir / "good.cue").string());
    const Outcome run = Trackmill({"--list", "--disc", bad, "--disc", good});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, (dir / "good.cue").string() + "\n1\tTrack 1\t00:04\n");
    fs::remove_all(dir);
}
