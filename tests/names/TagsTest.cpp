// File names from the naming template, tags written into MP3, FLAC and WAV files and
// read back with TagLib, and the front cover fetched from a small HTTP server the test
// runs on the loopback address (TRACKMILL_COVERART_URL points the fetch at it). The
// server answers on the test's own thread: the fetch waits in a local event loop,
// which also serves the server's sockets. The MP3 and FLAC files are made from a WAV
// file by the lame and flac commands that the setup script installs.
#include <gtest/gtest.h>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "CoverServer.h"
#include "names/CoverArt.h"
#include "names/NamingTemplate.h"
#include "names/TagWriter.h"

using namespace names;

namespace {

DiscNames SampleNames() {
    DiscNames n;
    n.source = NamesSource::MusicBrainz;
    n.albumArtist = "The Band";
    n.album = "Songs/Stories: Live?";
    n.year = "1999-04-01";
    n.discNumber = 1;
    n.discCount = 2;
    n.label = "Label Co";
    n.catalogueNumber = "CAT-9";
    n.barcode = "0123456789012";
    n.musicBrainzReleaseId = "11111111-1111-1111-1111-111111111111";
    n.musicBrainzReleaseGroupId = "22222222-2222-2222-2222-222222222222";
    n.musicBrainzArtistId = "33333333-3333-3333-3333-333333333333";
    n.musicBrainzDiscId = "AbCdEf.gh_-";
    n.tracks.push_back({1, "Intro", "", "", "", "", "", ""});
    n.tracks.push_back({3, "Über/Straße", "Guest Singer", "Song Writer", "GBAAA9900001",
                        "44444444-4444-4444-4444-444444444444",
                        "55555555-5555-5555-5555-555555555555",
                        "66666666-6666-6666-6666-666666666666"});
    return n;
}

TEST(NamingTemplateTest, FieldsFoldersAndCleaning) {
    const DiscNames n = SampleNames();
    EXPECT_EQ("03 - Über_Straße", TrackFileStem(kDefaultNamingTemplate, n, 3));
    EXPECT_EQ("The Band/Songs_Stories_ Live_/03 - Über_Straße (Guest Singer) 1999 100%",
              TrackFileStem("%A/%d/%n - %t (%a) %y 100%%", n, 3));
    // A track without names is "Track N"; its artist is the album artist.
    EXPECT_EQ("07 Track 7 The Band", TrackFileStem("%n %t %a", n, 7));
    // Values that would leave the folder, or name nothing, do not.
    DiscNames odd = n;
    odd.albumArtist = "..";
    odd.album = "";
    EXPECT_EQ("_/_/01", TrackFileStem("%A/%d/%n", odd, 1));
    odd.tracks[0].title = std::string(300, 'x');
    EXPECT_EQ(200u, TrackFileStem("%t", odd, 1).size());

    EXPECT_EQ("", NamingTemplateProblem("%A/%d/%n - %t"));
    EXPECT_EQ("", NamingTemplateProblem("%t"));
    for (const char* bad : {"", "%A", "%n/%A", "%%n", "%A//%n", "/%n", "%n/"})
        EXPECT_NE("", NamingTemplateProblem(bad)) << bad;
    EXPECT_EQ("%n - %t", EffectiveNamingTemplate(""));
    EXPECT_EQ("%t", EffectiveNamingTemplate("%t"));
}

// A second of silence as a 16-bit stereo WAV file.
void WriteSilentWav(const std::string& path) {
    const std::uint32_t bytes = 44100 * 4;
    auto le = [](std::uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i));
        return s;
    };
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << le(36 + bytes, 4) << "WAVEfmt " << le(16, 4) << le(1, 2) << le(2, 2)
        << le(44100, 4) << le(44100 * 4, 4) << le(4, 2) << le(16, 2) << "data" << le(bytes, 4)
        << std::string(bytes, '\0');
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Text(const TagLib::PropertyMap& map, const char* key) {
    return map.contains(key) ? map[key].toString().to8Bit(true) : std::string("<none>");
}

// What common tag editors show, read through TagLib's own field names.
void ExpectCommonFields(const TagLib::PropertyMap& p, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_EQ("Über/Straße", Text(p, "TITLE"));
    EXPECT_EQ("Guest Singer", Text(p, "ARTIST"));
    EXPECT_EQ("Songs/Stories: Live?", Text(p, "ALBUM"));
    EXPECT_EQ("The Band", Text(p, "ALBUMARTIST"));
    EXPECT_EQ("Song Writer", Text(p, "COMPOSER"));
    EXPECT_EQ("1999-04-01", Text(p, "DATE"));
    EXPECT_EQ("GBAAA9900001", Text(p, "ISRC"));
    EXPECT_EQ("Label Co", Text(p, "LABEL"));
    EXPECT_EQ("CAT-9", Text(p, "CATALOGNUMBER"));
    EXPECT_EQ("0123456789012", Text(p, "BARCODE"));
    EXPECT_EQ("11111111-1111-1111-1111-111111111111", Text(p, "MUSICBRAINZ_ALBUMID"));
    EXPECT_EQ("22222222-2222-2222-2222-222222222222", Text(p, "MUSICBRAINZ_RELEASEGROUPID"));
    EXPECT_EQ("44444444-4444-4444-4444-444444444444", Text(p, "MUSICBRAINZ_RELEASETRACKID"));
    EXPECT_EQ("55555555-5555-5555-5555-555555555555", Text(p, "MUSICBRAINZ_TRACKID"));
    EXPECT_EQ("66666666-6666-6666-6666-666666666666", Text(p, "MUSICBRAINZ_ARTISTID"));
    EXPECT_EQ("33333333-3333-3333-3333-333333333333", Text(p, "MUSICBRAINZ_ALBUMARTISTID"));
}

// The ID3v2 frames as tag editors name them.
void ExpectId3Frames(TagLib::ID3v2::Tag& tag, unsigned version, const std::string& cover) {
    EXPECT_EQ(version, tag.header()->majorVersion());
    EXPECT_EQ("3/12", tag.frameListMap()["TRCK"].front()->toString().to8Bit());
    EXPECT_EQ("1/2", tag.frameListMap()["TPOS"].front()->toString().to8Bit());
    const auto properties = tag.properties();
    ExpectCommonFields(properties, "ID3v2." + std::to_string(version));
    bool discId = false;
    for (auto* frame : tag.frameListMap()["TXXX"])
        discId |= frame->toString().to8Bit() == "[MusicBrainz Disc Id] AbCdEf.gh_-";
    EXPECT_TRUE(discId);
    const auto pictures = tag.frameListMap()["APIC"];
    ASSERT_EQ(1u, pictures.size());
    auto* picture = static_cast<TagLib::ID3v2::AttachedPictureFrame*>(pictures.front());
    EXPECT_EQ(TagLib::ID3v2::AttachedPictureFrame::FrontCover, picture->type());
    EXPECT_EQ("image/jpeg", picture->mimeType().to8Bit());
    EXPECT_EQ(cover, std::string(picture->picture().data(), picture->picture().size()));
}

TEST(TagWriterTest, Mp3FlacAndWavCarryEveryFieldAndTheCover) {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/t";
    WriteSilentWav(base + ".wav");
    ASSERT_EQ(0,
              std::system(("lame --silent -b 128 '" + base + ".wav' '" + base + ".mp3'").c_str()));
    ASSERT_EQ(0, std::system(("flac --silent -o '" + base + ".flac' '" + base + ".wav'").c_str()));
    const DiscNames n = SampleNames();
    CoverImage cover;
    cover.bytes = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(5000, 'j');
    cover.mimeType = ImageMimeType(cover.bytes);
    TagOptions options;
    options.cover = &cover;
    options.trackCount = 12;
    std::string problem;

    // Tags are written under a working name: the format is given, not guessed.
    std::rename((base + ".mp3").c_str(), (base + ".mp3.part").c_str());
    ASSERT_TRUE(WriteTrackTags(base + ".mp3.part", TagFormat::Mp3, n, 3, options, &problem))
        << problem;
    {
        TagLib::MPEG::File mp3((base + ".mp3.part").c_str());
        ASSERT_TRUE(mp3.hasID3v2Tag());
        ExpectId3Frames(*mp3.ID3v2Tag(), 3, cover.bytes);
        EXPECT_GT(mp3.audioProperties()->lengthInMilliseconds(), 900);
    }
    options.id3v24 = true;
    ASSERT_TRUE(WriteTrackTags(base + ".mp3.part", TagFormat::Mp3, n, 3, options, &problem));
    {
        TagLib::MPEG::File mp3((base + ".mp3.part").c_str());
        ExpectId3Frames(*mp3.ID3v2Tag(), 4, cover.bytes);
    }

    ASSERT_TRUE(WriteTrackTags(base + ".flac", TagFormat::Flac, n, 3, options, &problem))
        << problem;
    {
        TagLib::FLAC::File flac((base + ".flac").c_str());
        const auto fields = flac.xiphComment()->properties();
        ExpectCommonFields(fields, "FLAC");
        EXPECT_EQ("3", Text(fields, "TRACKNUMBER"));
        EXPECT_EQ("12", Text(fields, "TRACKTOTAL"));
        EXPECT_EQ("1", Text(fields, "DISCNUMBER"));
        EXPECT_EQ("2", Text(fields, "DISCTOTAL"));
        EXPECT_EQ("AbCdEf.gh_-", Text(fields, "MUSICBRAINZ_DISCID"));
        ASSERT_EQ(1u, flac.pictureList().size());
        EXPECT_EQ(TagLib::FLAC::Picture::FrontCover, flac.pictureList().front()->type());
        EXPECT_EQ(cover.bytes.size(), flac.pictureList().front()->data().size());
        EXPECT_EQ(44100u * 1, static_cast<unsigned>(flac.audioProperties()->sampleFrames()));
    }

    options.id3v24 = false;
    ASSERT_TRUE(WriteTrackTags(base + ".wav", TagFormat::Wav, n, 3, options, &problem)) << problem;
    {
        TagLib::RIFF::WAV::File wav((base + ".wav").c_str());
        ASSERT_TRUE(wav.hasInfoTag() && wav.hasID3v2Tag());
        EXPECT_EQ("Über/Straße", wav.InfoTag()->fieldText("INAM").to8Bit(true));
        EXPECT_EQ("Songs/Stories: Live?", wav.InfoTag()->fieldText("IPRD").to8Bit(true));
        EXPECT_EQ("3", wav.InfoTag()->fieldText("ITRK").to8Bit(true));
        ExpectId3Frames(*wav.ID3v2Tag(), 3, cover.bytes);
        EXPECT_EQ(44100u, static_cast<unsigned>(wav.audioProperties()->sampleFrames()));
    }
    const std::string bytes = ReadAll(base + ".wav");
    EXPECT_NE(std::string::npos, bytes.find("id3 "));
    EXPECT_EQ(std::string::npos, bytes.find("ID3 "));
    EXPECT_EQ(std::string(44100 * 4, '\0'), bytes.substr(44, 44100 * 4));  // audio untouched

    // A file that is not of the format is refused, not damaged.
    WriteSilentWav(base + "2.wav");
    EXPECT_FALSE(WriteTrackTags(base + "2.wav", TagFormat::Flac, n, 3, options, &problem));
    EXPECT_FALSE(problem.empty());
    EXPECT_EQ(44u + 44100 * 4, ReadAll(base + "2.wav").size());
}

TEST(CoverArtTest, FollowsTheRedirectAndTakesOnlyImages) {
    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(300, 'p');
    testsupport::CoverServer server({
        {"/release/aaaa-01/front-500", {307, "Location: /store/aaaa.png\r\n", ""}},
        {"/store/aaaa.png", {200, "Content-Type: image/png\r\n", png}},
        {"/release/bbbb-02/front-500", {200, "Content-Type: image/jpeg\r\n", "<html>"}},
    });
    const CoverImage found = FetchFrontCover("aaaa-01");
    EXPECT_TRUE(found.Found()) << found.problem;
    EXPECT_EQ("image/png", found.mimeType);
    EXPECT_EQ(png.toStdString(), found.bytes);

    const CoverImage none = FetchFrontCover("cccc-03");  // 404: the release has none
    EXPECT_FALSE(none.Found());
    EXPECT_EQ("the release has no front cover", none.problem);
    EXPECT_FALSE(FetchFrontCover("bbbb-02").Found());  // not an image
    EXPECT_FALSE(FetchFrontCover("../../etc/passwd").Found());
    EXPECT_EQ(
        (std::vector<std::string>{"/release/aaaa-01/front-500", "/store/aaaa.png",
                                  "/release/cccc-03/front-500", "/release/bbbb-02/front-500"}),
        server.Paths());
}

}  // namespace
