// Names for a disc, end to end: a cue-sheet image (three tracks, CD-Text written in
// Latin-1) is opened through the CD access library, and its MusicBrainz lookup is
// answered by a loopback server (LoopbackServer.h) that TRACKMILL_MUSICBRAINZ_URL
// points at. The answers in answers/ are written after the service's documented JSON;
// "@DISCID@" in them becomes the image's disc id. XDG_CACHE_HOME is a fresh folder per
// test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTcpServer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include "LoopbackServer.h"
#include "cdaccess/CdAccess.h"
#include "cdaccess/Drive.h"
#include "names/CdTextNames.h"
#include "names/FindDiscNames.h"
#include "names/NamesCache.h"

namespace fs = std::filesystem;
using namespace std::chrono;
using testnet::LoopbackServer;
using testnet::ServedAnswer;

namespace {

constexpr const char* kOriginal = "7d1e0b52-3a4c-4f6e-9b8d-ccccccccccc3";

class DiscNamesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tm_names_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ::setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1);
        cdaccess::ClearAddedDrives();
        cdaccess::SetSystemDrivesListed(false);
    }
    void TearDown() override {
        cdaccess::ClearAddedDrives();
        ::unsetenv("TRACKMILL_MUSICBRAINZ_URL");
        fs::remove_all(dir_);
    }

    // Three tracks of 10, 10 and 12 seconds; with `cdText` the sheet names them, in
    // Latin-1 ("Caf\xE9").
    std::uint32_t OpenDisc(bool cdText) {
        std::ofstream(dir_ / "disc.bin", std::ios::binary)
            << std::string(std::size_t{32} * 75 * kFrameBytes, '\0');
        std::string cue;
        if (cdText) cue += "PERFORMER \"The Quay Singers\"\nTITLE \"Harbour Lights\"\n";
        cue += "FILE \"disc.bin\" BINARY\n";
        const char* titles[] = {"Lanterns on the Water", "Tidewalker", "Caf\xE9 at Low Tide"};
        const char* starts[] = {"00:00:00", "00:10:00", "00:20:00"};
        for (int t = 0; t < 3; ++t) {
            cue += "  TRACK 0" + std::to_string(t + 1) + " AUDIO\n";
            if (cdText)
                cue +=
                    std::string("    TITLE \"") + titles[t] + "\"\n    SONGWRITER \"Ada Quay\"\n";
            cue += std::string("    INDEX 01 ") + starts[t] + "\n";
        }
        std::ofstream(dir_ / "disc.cue", std::ios::binary) << cue;
        cdaccess::AddImage((dir_ / "disc.cue").string());
        DriveListRecord list{};
        list.capacity = 8;
        GetCDList(&list);
        HandleRequest request{12, 1, 0, 0, 0, 0, 0, 1, 3};
        return GetCDHandle(&request);
    }

    // The recorded answer with this disc's id in it.
    QByteArray Answer(const std::string& name, const std::string& discId) {
        return testnet::RecordedAnswer(name).replace("@DISCID@", QByteArray::fromStdString(discId));
    }
    void Serve(const LoopbackServer& server) {
        ::setenv("TRACKMILL_MUSICBRAINZ_URL", server.BaseUrl().c_str(), 1);
    }
    std::string DiscId(std::uint32_t handle) {
        names::NamesQuery q;
        q.handle = handle;
        q.network = false;
        return names::FindDiscNames(q).discId;
    }

    fs::path dir_;
};

bool Logged(const names::NamesAnswer& a, const std::string& text) {
    for (const std::string& line : a.log)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

TEST_F(DiscNamesTest, ServedReleasesNameTheDiscAndTheChoiceIsKept) {
    const std::uint32_t disc = OpenDisc(false);
    ASSERT_NE(disc, 0u);
    const std::string id = DiscId(disc);
    ASSERT_EQ(id.size(), 28u);
    LoopbackServer server({{200, Answer("discid-releases.json", id)}});
    Serve(server);

    // Three releases: the best match is the deluxe edition's second medium (it lists
    // the disc and has its three tracks; the enhanced CD lists four).
    names::NamesQuery query;
    query.handle = disc;
    names::NamesAnswer offered = names::FindDiscNames(query);
    ASSERT_EQ(offered.releases.size(), 3u);
    EXPECT_TRUE(offered.needsChoice);
    EXPECT_EQ(offered.best, 1);
    EXPECT_EQ(offered.names.album, "Harbour Lights (Deluxe)");
    EXPECT_EQ(offered.names.discNumber, 2);
    EXPECT_EQ(offered.names.discCount, 2);
    ASSERT_NE(offered.names.Track(1), nullptr);
    EXPECT_EQ(offered.names.Track(1)->title, "Lanterns on the Water (live)");
    names::DiscNames kept;
    EXPECT_FALSE(names::LoadCachedNames(id, kept)) << "nothing is kept before a choice";
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].path,
              "/ws/2/discid/" + id +
                  "?inc=artist-credits+recordings+labels+release-groups+isrcs&fmt=json");
    EXPECT_EQ(server.Requests()[0].userAgent.rfind("Trackmill/", 0), 0u);
    EXPECT_NE(server.Requests()[0].userAgent.find('@'), std::string::npos);
    const std::vector<std::string> list = names::ReleaseList(offered);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].substr(0, 2), "* ");
    EXPECT_NE(list[2].find("Harbour Lights / The Quay Singers / 2003-05-12 GB / "
                           "Driftwood Records DW 014 / Enhanced CD, 3 tracks"),
              std::string::npos)
        << list[2];

    // The original release asked for by id: every field, and it is kept.
    query.releaseId = kOriginal;
    const names::NamesAnswer picked = names::FindDiscNames(query);
    EXPECT_FALSE(picked.needsChoice);
    const names::DiscNames& n = picked.names;
    EXPECT_EQ(n.source, names::NamesSource::MusicBrainz);
    EXPECT_EQ(n.musicBrainzReleaseId, kOriginal);
    EXPECT_EQ(n.album, "Harbour Lights");
    EXPECT_EQ(n.albumArtist, "The Quay Singers");
    EXPECT_EQ(n.year, "2003-05-12");
    EXPECT_EQ(n.label, "Driftwood Records");
    EXPECT_EQ(n.catalogueNumber, "DW 014");
    EXPECT_EQ(n.barcode, "5012345678900");
    EXPECT_EQ(n.musicBrainzReleaseGroupId, "9f3c2b1a-0e4d-4b5c-8a6f-1d2e3f4a5b66");
    EXPECT_EQ(n.musicBrainzArtistId, "5b0c8e3a-6f0e-4c6e-9d3b-2f1f0a7c1e11");
    EXPECT_EQ(n.musicBrainzDiscId, id);
    EXPECT_EQ(n.discNumber, 1);
    EXPECT_EQ(n.discCount, 1);
    ASSERT_EQ(n.tracks.size(), 3u);
    EXPECT_EQ(n.Track(2)->title, "Tidewalker");
    EXPECT_EQ(n.Track(2)->artist, "The Quay Singers feat. Mara Lind");
    EXPECT_EQ(n.Track(2)->isrc, "GBAYE0300102");
    EXPECT_EQ(n.Track(2)->musicBrainzTrackId, "b1d4c7a0-1111-4a2b-9c3d-000000000002");
    EXPECT_EQ(n.Track(2)->musicBrainzRecordingId, "c2e5d8b1-2222-4b3c-8d4e-000000000002");
    EXPECT_EQ(n.Track(3)->title, "Caf\u00e9 at Low Tide");
    EXPECT_EQ(
        names::NamesSourceLine(n).rfind(std::string("names: MusicBrainz release ") + kOriginal, 0),
        0u);

    // The same disc opens again from the cache, without the network.
    const std::size_t asked = server.Requests().size();
    query.releaseId.clear();
    const names::NamesAnswer again = names::FindDiscNames(query);
    EXPECT_TRUE(again.fromCache);
    const names::DiscNames& c = again.names;
    const auto discFields = [](const names::DiscNames& d) {
        return std::tie(d.source, d.albumArtist, d.album, d.year, d.discNumber, d.discCount,
                        d.label, d.catalogueNumber, d.barcode, d.musicBrainzReleaseId,
                        d.musicBrainzReleaseGroupId, d.musicBrainzArtistId, d.musicBrainzDiscId);
    };
    const auto trackFields = [](const names::TrackNames& t) {
        return std::tie(t.number, t.title, t.artist, t.composer, t.isrc, t.musicBrainzTrackId,
                        t.musicBrainzRecordingId, t.musicBrainzArtistId);
    };
    EXPECT_TRUE(discFields(c) == discFields(n));
    ASSERT_EQ(c.tracks.size(), n.tracks.size());
    for (std::size_t i = 0; i < n.tracks.size(); ++i)
        EXPECT_TRUE(trackFields(c.tracks[i]) == trackFields(n.tracks[i])) << "track " << i + 1;
    EXPECT_EQ(server.Requests().size(), asked);

    // Looking up again asks the service and preselects the release chosen before.
    query.useCache = false;
    const names::NamesAnswer fresh = names::FindDiscNames(query);
    EXPECT_EQ(server.Requests().size(), asked + 1);
    EXPECT_EQ(fresh.best, 2);
}

TEST_F(DiscNamesTest, FailedLookupsEndAsNotFoundAndCdTextNamesTheTracks) {
    const std::uint32_t disc = OpenDisc(true);
    ASSERT_NE(disc, 0u);
    const std::string id = DiscId(disc);
    quint16 closedPort;
    {
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
        closedPort = closed.serverPort();
    }
    struct Case {
        const char* name;
        std::vector<ServedAnswer> answers;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"404", {{404, "{\"error\":\"Not Found\"}"}}, "does not know this disc"},
        {"503", {{503, "{\"error\":\"rate limited\"}"}}, "answered 503"},
        {"garbage", {{200, "<html>maintenance</html>"}}, "not the service's JSON"},
        {"cdstub", {{200, Answer("discid-cdstub.json", id)}}, "CD stub"},
        {"10 MB", {{200, QByteArray(10 << 20, ' ')}}, "larger than any disc's"},
        {"drip", {{200, Answer("discid-one-release.json", id), 100}}, "no answer within 2 s"},
        {"down", {}, "refused"},
    };
    constexpr int kTimeoutMs = 2000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<LoopbackServer> server;
        if (!c.answers.empty()) {
            server = std::make_unique<LoopbackServer>(c.answers);
            Serve(*server);
        } else {
            ::setenv("TRACKMILL_MUSICBRAINZ_URL",
                     ("http://127.0.0.1:" + std::to_string(closedPort)).c_str(), 1);
        }
        names::NamesQuery query;
        query.handle = disc;
        query.timeoutMs = kTimeoutMs;
        const auto start = steady_clock::now();
        const names::NamesAnswer a = names::FindDiscNames(query);
        // The pacer may hold a lookup up to a second behind the previous one.
        EXPECT_LT(steady_clock::now() - start, milliseconds(kTimeoutMs + 1500));
        EXPECT_TRUE(Logged(a, "MusicBrainz: not found")) << a.log.front();
        EXPECT_TRUE(Logged(a, c.reason)) << a.log.front();
        EXPECT_TRUE(a.releases.empty());
        EXPECT_EQ(a.names.source, names::NamesSource::CdText);
        EXPECT_EQ(a.names.album, "Harbour Lights");
        EXPECT_EQ(a.names.albumArtist, "The Quay Singers");
        ASSERT_EQ(a.names.tracks.size(), 3u);
        EXPECT_EQ(a.names.Track(3)->title, "Caf\u00e9 at Low Tide");
        EXPECT_EQ(a.names.Track(3)->composer, "Ada Quay");
        EXPECT_EQ(names::NamesSourceLine(a.names), "names: CD-Text");
        names::DiscNames kept;
        EXPECT_FALSE(names::LoadCachedNames(id, kept));
    }

    // With the lookup off nothing is asked.
    LoopbackServer server({{200, Answer("discid-one-release.json", id)}});
    Serve(server);
    names::NamesQuery off;
    off.handle = disc;
    off.network = false;
    EXPECT_EQ(names::FindDiscNames(off).names.source, names::NamesSource::CdText);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(DiscNamesTest, WithNothingKnownTheDiscHasNoNames) {
    const std::uint32_t disc = OpenDisc(false);
    LoopbackServer server(std::vector<ServedAnswer>{{404, {}}});
    Serve(server);
    names::NamesQuery query;
    query.handle = disc;
    const names::NamesAnswer a = names::FindDiscNames(query);
    EXPECT_FALSE(a.names.Known());
    EXPECT_TRUE(a.names.tracks.empty());
    EXPECT_EQ(names::NamesSourceLine(a.names), "names: none");
}

TEST_F(DiscNamesTest, LookupsFromSeveralThreadsKeepASecondApart) {
    const std::uint32_t disc = OpenDisc(false);
    LoopbackServer server(std::vector<ServedAnswer>{{404, {}}});
    Serve(server);
    auto lookUp = [disc] {
        names::NamesQuery q;
        q.handle = disc;
        q.useCache = false;
        names::FindDiscNames(q);
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) threads.emplace_back(lookUp);
    lookUp();
    for (std::thread& t : threads) t.join();
    auto seen = server.Requests();
    ASSERT_EQ(seen.size(), 4u);
    std::sort(seen.begin(), seen.end(),
              [](const auto& a, const auto& b) { return a.when < b.when; });
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_GE(seen[i].when - seen[i - 1].when, seconds(1))
            << "requests " << i - 1 << " and " << i;
}

// ---- a drive's CD-Text, decoded by libcdio from raw packs

// CD-Text packs of one language block each, as a drive reports them: text packs
// (title 0x80, performer 0x81) holding the NUL-terminated texts of the disc (index 0)
// and its tracks, then the three size-information packs (0x8F) naming the character
// set (ISO-8859-1), the track range, the pack counts, the blocks' last sequence
// numbers and their languages. Each pack ends in its CRC.
struct TextBlock {
    int language;
    std::vector<std::string> titles, performers;
};

// The texts of one type for the disc and each track, NUL-terminated end to end, cut
// into 12-byte pieces; each piece knows the text its first byte belongs to and how
// far into that text it starts.
struct TextPiece {
    int track, charPos;
    std::string bytes;
};
std::vector<TextPiece> Pieces(const std::vector<std::string>& texts) {
    std::string data;
    std::vector<std::size_t> starts;
    for (const std::string& t : texts) {
        starts.push_back(data.size());
        data += t + '\0';
    }
    data.resize((data.size() + 11) / 12 * 12, '\0');
    std::vector<TextPiece> pieces;
    for (std::size_t at = 0; at < data.size(); at += 12) {
        std::size_t i = 0;
        while (i + 1 < starts.size() && starts[i + 1] <= at) ++i;
        pieces.push_back(
            {static_cast<int>(i), static_cast<int>(at - starts[i]), data.substr(at, 12)});
    }
    return pieces;
}

std::vector<unsigned char> CdTextPacks(const std::vector<TextBlock>& blocks) {
    std::vector<unsigned char> out;
    auto pack = [&out](int type, int track, int sequence, int block, int charPos,
                       const unsigned char* text) {
        unsigned char p[18] = {static_cast<unsigned char>(type), static_cast<unsigned char>(track),
                               static_cast<unsigned char>(sequence),
                               static_cast<unsigned char>(block << 4 | std::min(charPos, 15))};
        std::memcpy(p + 4, text, 12);
        unsigned crc = 0;  // CRC-16/CCITT, stored inverted
        for (int i = 0; i < 16; ++i) {
            crc ^= unsigned{p[i]} << 8;
            for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        }
        crc = ~crc & 0xFFFF;
        p[16] = static_cast<unsigned char>(crc >> 8);
        p[17] = static_cast<unsigned char>(crc);
        out.insert(out.end(), p, p + 18);
    };
    // Each block numbers its packs from 0, as libcdio reads them.
    std::vector<std::vector<TextPiece>> titles, performers;
    std::vector<int> lastSequence;
    for (const TextBlock& b : blocks) {
        titles.push_back(Pieces(b.titles));
        performers.push_back(Pieces(b.performers));
        lastSequence.push_back(static_cast<int>(titles.back().size() + performers.back().size()) +
                               2);
    }
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const int block = static_cast<int>(b);
        int sequence = 0;
        for (const TextPiece& t : titles[b])
            pack(0x80, t.track, sequence++, block, t.charPos,
                 reinterpret_cast<const unsigned char*>(t.bytes.data()));
        for (const TextPiece& t : performers[b])
            pack(0x81, t.track, sequence++, block, t.charPos,
                 reinterpret_cast<const unsigned char*>(t.bytes.data()));
        unsigned char info[36] = {0x00, 1, static_cast<unsigned char>(blocks[b].titles.size() - 1)};
        info[4] = static_cast<unsigned char>(titles[b].size());
        info[5] = static_cast<unsigned char>(performers[b].size());
        info[19] = 3;
        for (std::size_t k = 0; k < blocks.size(); ++k) {
            info[20 + k] = static_cast<unsigned char>(lastSequence[k]);
            info[28 + k] = static_cast<unsigned char>(blocks[k].language);
        }
        for (int i = 0; i < 3; ++i) pack(0x8F, i, sequence++, block, 0, info + 12 * i);
    }
    return out;
}

TEST(DriveCdText, TheEnglishBlockIsTakenAndLatin1BecomesUtf8) {
    const TextBlock german{
        0x08, {"Hafenlichter", "Laternen", "Gezeiten"}, {"Die Kai-S\xE4nger", "", ""}};
    const TextBlock english{0x09,
                            {"Harbour Lights", "Lanterns", "Caf\xE9 at Low Tide"},
                            {"The Quay Singers", "", "Mara Lind"}};
    cdaccess::DiscText text;
    std::vector<unsigned char> packs = CdTextPacks({german, english});
    ASSERT_TRUE(cdaccess::DiscTextFromPacks(packs.data(), packs.size(), text));
    names::DiscNames n = names::NamesFromCdText(text);
    EXPECT_EQ(n.source, names::NamesSource::CdText);
    EXPECT_EQ(n.album, "Harbour Lights");
    EXPECT_EQ(n.albumArtist, "The Quay Singers");
    ASSERT_EQ(n.tracks.size(), 2u);
    EXPECT_EQ(n.Track(2)->title, "Caf\u00e9 at Low Tide");
    EXPECT_EQ(n.Track(2)->artist, "Mara Lind");

    // A disc with one block in another language: that block.
    packs = CdTextPacks({german});
    ASSERT_TRUE(cdaccess::DiscTextFromPacks(packs.data(), packs.size(), text));
    EXPECT_EQ(text.disc.performer, "Die Kai-S\u00e4nger");
    EXPECT_EQ(text.tracks.at(0).title, "Laternen");
}

}  // namespace
