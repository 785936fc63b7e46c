// Names for a headless rip: the program runs on a two-track cue sheet while a
// loopback server (tests/names/LoopbackServer.h) answers its MusicBrainz lookup; each
// run gets a cache folder of its own (XDG_CACHE_HOME). The rip log says where the
// names came from.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <string>

#include "LoopbackServer.h"
#include "cdaccess/SimulatedDrive.h"

namespace {

struct RipRun {
    int status = -1;
    std::string output, log;
};

class RipNamesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const std::vector<unsigned char> audio = cdaccess::SimulatedDrive::MakeTestAudio(230, 7);
        std::ofstream(Path("disc.bin"), std::ios::binary)
            .write(reinterpret_cast<const char*>(audio.data()),
                   static_cast<std::streamsize>(audio.size()));
        std::ofstream(Path("disc.cue"), std::ios::binary)
            << "TITLE \"Harbour Lights\"\nFILE \"disc.bin\" BINARY\n"
               "  TRACK 01 AUDIO\n    TITLE \"Lanterns\"\n    INDEX 01 00:00:00\n"
               "  TRACK 02 AUDIO\n    TITLE \"Caf\xE9\"\n    INDEX 01 00:02:00\n";
    }
    std::string Path(const std::string& f) const { return dir_.path().toStdString() + "/" + f; }

    // Rips into a folder of its own with the lookup pointed at `url`.
    RipRun Rip(const std::string& name, const std::string& url, const std::string& options = "") {
        QDir().mkpath(QString::fromStdString(Path(name)));
        const std::string cmd = "QT_QPA_PLATFORM=offscreen TRACKMILL_MUSICBRAINZ_URL=" + url +
                                " XDG_CACHE_HOME='" + Path(name + "-cache") + "' '" +
                                TRACKMILL_EXE + "' --rip wav --disc '" + Path("disc.cue") +
                                "' --out '" + Path(name) + "' " + options + " 2>&1";
        RipRun r;
        FILE* p = ::popen(cmd.c_str(), "r");
        char buf[512];
        while (p && std::fgets(buf, sizeof buf, p)) r.output += buf;
        const int s = p ? ::pclose(p) : -1;
        r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
        for (const QString& f : QDir(QString::fromStdString(Path(name))).entryList({"*.log"})) {
            std::ifstream in(Path(name) + "/" + f.toStdString());
            r.log.assign(std::istreambuf_iterator<char>(in), {});
        }
        return r;
    }

    QTemporaryDir dir_;
};

constexpr const char* kJapanese = "7d1e0b52-3a4c-4f6e-9b8d-aaaaaaaaaaa1";
constexpr const char* kOriginal = "7d1e0b52-3a4c-4f6e-9b8d-ccccccccccc3";

TEST_F(RipNamesTest, TheReleaseTakenAndTheFallbacksAreInTheRipLog) {
    testnet::LoopbackServer server({{200, testnet::RecordedAnswer("discid-releases.json")}});

    // Three releases and no --release: listed on standard error, the best one taken
    // (none has the disc's two tracks: the first).
    RipRun r = Rip("best", server.BaseUrl());
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("the disc is on 3 releases"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(std::string("* ") + kJapanese), std::string::npos) << r.output;
    EXPECT_NE(r.log.find(std::string("names: MusicBrainz release ") + kJapanese), std::string::npos)
        << r.log;

    // --release picks another, without a list.
    r = Rip("picked", server.BaseUrl(), std::string("--release ") + kOriginal);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("releases;"), std::string::npos) << r.output;
    EXPECT_NE(r.log.find(std::string("names: MusicBrainz release ") + kOriginal), std::string::npos)
        << r.log;
    const std::size_t asked = server.Requests().size();
    EXPECT_EQ(asked, 2u);

    // The service down: the rip goes on with the cue sheet's CD-Text, and says why; the
    // files are named from it.
    r = Rip("down", "http://127.0.0.1:9");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(QFile::exists(QString::fromStdString(Path("down/01 - Lanterns.wav"))));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(Path("down/02 - Caf\u00e9.wav"))));
    EXPECT_NE(r.log.find("names lookup: MusicBrainz: not found ("), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("names: CD-Text"), std::string::npos) << r.log;

    // --no-lookup asks nothing.
    r = Rip("off", server.BaseUrl(), "--no-lookup");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.log.find("names: CD-Text"), std::string::npos) << r.log;
    EXPECT_EQ(server.Requests().size(), asked);
}

}  // namespace
