// A rip with known names, end to end: the engine rips a simulated disc
// (tests/rip/RipTestSupport.h) with the names of a DiscNames record given to it as a
// batch's TrackFiles, as the rip dialog and the command do, and the cover is served
// by a loopback server (CoverServer.h). The files are read back with TagLib and
// libmpg123, and the FLAC files checked against their audio's MD5 by the flac
// command that the setup script installs.
#include <gtest/gtest.h>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>

#include "CoverServer.h"
#include "Mp3Decode.h"
#include "RipTestSupport.h"
#include "encode/EncoderBinding.h"
#include "names/RipFiles.h"
#include "platform/Modules.h"

using namespace riptest;

namespace {

names::DiscNames AlbumNames() {
    names::DiscNames n;
    n.source = names::NamesSource::MusicBrainz;
    n.albumArtist = "The Band";
    n.album = "Live/Loud";
    n.year = "2001";
    n.musicBrainzReleaseId = "0000aaaa-1111-2222-3333-444455556666";
    n.tracks = {{1, "Opening", "", "", "", "", "", ""},
                {2, "Reprise", "Guest", "", "", "", "", ""},
                {3, "Reprise", "", "", "", "", "", ""}};
    return n;
}

class RipFilesTest : public ::testing::Test {
  protected:
    std::vector<std::string> names;  // the file names the engine reported, in order

    void SetUp() override {
        ResetEncoderBindingForTesting();
        platform::SetModuleSearchPath({PROGRAM_FOLDER}, false);
    }
    void TearDown() override {
        cdaccess::ClearAddedDrives();
        ResetEncoderBindingForTesting();
        platform::SetModuleSearchPath({}, true);
    }
    // Rips every track of the disc with these names into `folder`.
    void RipAll(const SimDisc& disc, const names::DiscNames& n, const std::string& naming,
                encode::Format format, const std::string& folder) {
        RipEngine engine(disc.handle);
        engine.SetOutput(Options(folder, format));
        names::RipFileSettings settings;
        settings.naming = naming;
        engine.SetTrackFiles(names::RipFilesFor(n, settings));
        FakeDialog dialog;
        for (std::size_t t = 0; t < disc.lengths.size(); ++t) {
            const cd::Track track = AsTrack(disc.Entry(static_cast<int>(t)), int(t) + 1);
            const int before = dialog.done;
            engine.StartTrack(dialog, &track);
            ASSERT_TRUE(PumpUntil([&] { return dialog.done > before; }, 30000));
            engine.EndTrack();
            EXPECT_EQ(kEndRunning, engine.LastEndReason()) << engine.LastOutputProblem();
            names.push_back(dialog.StatusText());
        }
        // The batch's end: encoded tracks are settled once their workers are done.
        for (const rip::TrackRecord* failed : engine.WaitForEncoders())
            ADD_FAILURE() << failed->title << ": " << failed->outputProblem;
    }
};

TEST_F(RipFilesTest, NamedTaggedFilesWithTheCoverAndTrackNWithoutNames) {
    const QByteArray jpeg = QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(3000, 'c');
    testsupport::CoverServer server({{"/release/0000aaaa-1111-2222-3333-444455556666/front-500",
                                      {200, "Content-Type: image/jpeg\r\n", jpeg}}});
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const SimDisc disc = OpenSimDisc({20, 15, 25}, 3);

    // WAV: the template's folders are made, equal names kept apart, the audio intact
    // ahead of the tag chunks.
    RipAll(disc, AlbumNames(), "%A/%d/%t", encode::Format::Wav, root + "/wav");
    const std::string album = root + "/wav/The Band/Live_Loud/";
    const char* files[] = {"Opening.wav", "Reprise.wav", "Reprise (2).wav"};
    for (int t = 0; t < 3; ++t) {
        const std::string path = album + files[t];
        const auto bytes = ReadFile(path);
        ASSERT_GT(bytes.size(), 44u) << path;
        const auto audio = disc.TrackAudio(t);
        ASSERT_EQ(audio.size(), Le32(bytes, 40)) << path;
        EXPECT_TRUE(std::equal(audio.begin(), audio.end(), bytes.begin() + 44)) << path;
        TagLib::RIFF::WAV::File wav(path.c_str());
        ASSERT_TRUE(wav.hasID3v2Tag() && wav.hasInfoTag()) << path;
        EXPECT_EQ(std::to_string(t + 1) + "/3",
                  wav.ID3v2Tag()->frameListMap()["TRCK"].front()->toString().to8Bit());
        EXPECT_EQ(t == 1 ? "Guest" : "The Band", wav.InfoTag()->artist().to8Bit());
        EXPECT_EQ(1u, wav.ID3v2Tag()->frameListMap()["APIC"].size());
    }
    EXPECT_EQ(3, std::distance(std::filesystem::directory_iterator(album), {}));  // no work file
    EXPECT_EQ((std::vector<std::string>{files, files + 3}), names);

    // MP3: the default template; tags ahead of the audio leave it decoding whole.
    RipAll(disc, AlbumNames(), "", encode::Format::Mp3, root + "/mp3");
    for (int t = 0; t < 3; ++t) {
        const std::string path =
            root + "/mp3/0" + std::to_string(t + 1) + " - " + AlbumNames().tracks[t].title + ".mp3";
        TagLib::MPEG::File mp3(path.c_str());
        ASSERT_TRUE(mp3.hasID3v2Tag()) << path;
        TagLib::ID3v2::Tag& tag = *mp3.ID3v2Tag();
        EXPECT_EQ(3u, tag.header()->majorVersion());
        EXPECT_EQ(AlbumNames().tracks[t].title, tag.title().to8Bit());
        EXPECT_EQ("Live/Loud", tag.album().to8Bit());
        EXPECT_EQ("0000aaaa-1111-2222-3333-444455556666",
                  tag.properties()["MUSICBRAINZ_ALBUMID"].toString().to8Bit());
        const auto pictures = tag.frameListMap()["APIC"];
        ASSERT_EQ(1u, pictures.size());
        auto* cover = static_cast<TagLib::ID3v2::AttachedPictureFrame*>(pictures.front());
        EXPECT_EQ(TagLib::ID3v2::AttachedPictureFrame::FrontCover, cover->type());
        EXPECT_EQ(jpeg.size(), static_cast<int>(cover->picture().size()));
        EXPECT_EQ(disc.lengths[t] * 588 * 2, DecodeMp3(path).pcm.size()) << path;
    }

    // FLAC: Vorbis comments and a PICTURE block ahead of the whole track's audio.
    RipAll(disc, AlbumNames(), "%y/%n %a", encode::Format::Flac, root + "/flac");
    for (int t = 0; t < 3; ++t) {
        const std::string path = root + "/flac/2001/0" + std::to_string(t + 1) + " " +
                                 (t == 1 ? "Guest" : "The Band") + ".flac";
        TagLib::FLAC::File flac(path.c_str());
        ASSERT_TRUE(flac.isValid() && flac.xiphComment()) << path;
        const auto fields = flac.xiphComment()->properties();
        EXPECT_EQ(AlbumNames().tracks[t].title, fields["TITLE"].toString().to8Bit());
        EXPECT_EQ("The Band", fields["ALBUMARTIST"].toString().to8Bit());
        EXPECT_EQ(std::to_string(t + 1), fields["TRACKNUMBER"].toString().to8Bit());
        EXPECT_EQ("3", fields["TRACKTOTAL"].toString().to8Bit());
        ASSERT_EQ(1u, flac.pictureList().size());
        EXPECT_EQ(TagLib::FLAC::Picture::FrontCover, flac.pictureList().front()->type());
        EXPECT_EQ(disc.lengths[t] * 588,
                  static_cast<std::uint32_t>(flac.audioProperties()->sampleFrames()));
        EXPECT_EQ(0, std::system(("flac -t -s '" + path + "'").c_str())) << path;  // MD5 holds
    }
    // One cover fetch per batch.
    EXPECT_EQ(3u, server.Paths().size());

    // No names: "Track N" as ever, no tags, no fetch.
    std::filesystem::create_directory(root + "/plain");
    RipAll(disc, names::DiscNames{}, "%A/%t", encode::Format::Wav, root + "/plain");
    for (int t = 0; t < 3; ++t)
        ExpectWav(root + "/plain/Track " + std::to_string(t + 1) + ".wav", disc.TrackAudio(t));
    EXPECT_EQ(3u, std::distance(std::filesystem::directory_iterator(root + "/plain"), {}));
    EXPECT_EQ(3u, server.Paths().size());
}

}  // namespace
