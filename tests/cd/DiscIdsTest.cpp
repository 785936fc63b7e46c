// Disc identifiers from hand-made tables of contents, checked against libdiscid
// (which computes the CDDB id too for a plain audio disc), the CDDB formula worked
// by hand, and the identifiers a real enhanced CD is known by. The CTDB id is worked
// out here from its published definition, and checked against the database's own
// published examples.
#include <discid/discid.h>
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <cstdio>

#include "cd/DiscIds.h"

namespace {

cd::TableOfContents Toc(const std::vector<std::uint32_t>& starts, std::uint32_t leadOut,
                        int dataTrackIndex = -1) {
    cd::TableOfContents toc;
    toc.firstTrack = 1;
    toc.lastTrack = static_cast<int>(starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i)
        toc.tracks.push_back({static_cast<int>(i + 1), starts[i], int(i) == dataTrackIndex});
    toc.leadOut = leadOut;
    return toc;
}

TEST(DiscIdsTest, EnhancedCdMatchesTheIdsTheDatabasesKnow) {
    // Ten audio tracks, a data track at 281585 and the lead-out at 333651.
    const auto toc =
        Toc({0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305, 281585}, 333651,
            10);
    EXPECT_EQ(cd::AudioSessionEnd(toc), 281585u - 11400u);
    EXPECT_EQ(cd::AccurateRipIds(toc).Text(), "010-00164419-00b9f6e2-9e11600b");
    EXPECT_EQ(cd::AccurateRipIds(toc).RecordPath(),
              "9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin");
    EXPECT_EQ(cd::CddbDiscId(toc), 0x9e11600bu);
    EXPECT_EQ(cd::MusicBrainzDiscId(toc), "9AQWqQ0eCCwktwPPrIUIYkUw2Uo-");
}

TEST(DiscIdsTest, AudioDiscAgreesWithLibdiscidAndTheFormulas) {
    const std::vector<std::uint32_t> starts = {0, 1000, 20000};
    const std::uint32_t leadOut = 33000;
    const auto toc = Toc(starts, leadOut);

    DiscId* d = discid_new();
    int offsets[100] = {static_cast<int>(leadOut + 150), 150, 1150, 20150};
    ASSERT_TRUE(discid_put(d, 1, 3, offsets));
    char ours[16];
    std::snprintf(ours, sizeof ours, "%08x", cd::CddbDiscId(toc));
    EXPECT_STREQ(ours, discid_get_freedb_id(d));
    EXPECT_EQ(cd::MusicBrainzDiscId(toc), discid_get_id(d));
    discid_free(d);

    // CDDB by hand: digit sums of 2 s, 15 s, 268 s = 2 + 6 + 16 = 24; length 442 - 2 s.
    EXPECT_EQ(cd::CddbDiscId(toc), (24u << 24) | (440u << 8) | 3u);
    // AccurateRip: id1 sums the offsets and the lead-out; id2 weighs them by track number,
    // the first offset counting as 1.
    const auto ar = cd::AccurateRipIds(toc);
    EXPECT_EQ(ar.id1, 0u + 1000 + 20000 + leadOut);
    EXPECT_EQ(ar.id2, 1u * 1 + 1000u * 2 + 20000u * 3 + leadOut * 4);
    EXPECT_EQ(ar.audioTracks, 3);
}

TEST(DiscIdsTest, DataTrackFirstStaysInTheAudioSession) {
    // A mixed-mode disc: the data track first, in the same session as the audio.
    const auto toc = Toc({0, 5000, 9000}, 15000, 0);
    EXPECT_EQ(cd::AudioSessionEnd(toc), 15000u);
    const auto ar = cd::AccurateRipIds(toc);
    EXPECT_EQ(ar.audioTracks, 2);
    EXPECT_EQ(ar.id1, 5000u + 9000 + 15000);
    EXPECT_EQ(ar.id2, 5000u * 1 + 9000u * 2 + 15000u * 3);
    DiscId* d = discid_new();
    int offsets[100] = {15150, 150, 5150, 9150};
    ASSERT_TRUE(discid_put(d, 1, 3, offsets));
    EXPECT_EQ(cd::MusicBrainzDiscId(toc), discid_get_id(d));
    discid_free(d);
}

// The CTDB id by its definition: the audio tracks' starts after the first and the
// audio's end, less the first audio start, as %08X, padded with '0' to 800
// characters, SHA-1, base64 with '+', '/' and '=' written '.', '_' and '-'.
std::string ReferenceCtdbId(const std::vector<std::uint32_t>& audioStarts, std::uint32_t end) {
    std::string text;
    char hex[16];
    for (std::size_t i = 1; i <= audioStarts.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%08X",
                      (i < audioStarts.size() ? audioStarts[i] : end) - audioStarts[0]);
        text += hex;
    }
    text += std::string(800 - text.size(), '0');
    std::string id =
        QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha1)
            .toBase64()
            .toStdString();
    for (char& c : id) c = c == '+' ? '.' : c == '/' ? '_' : c == '=' ? '-' : c;
    return id;
}

TEST(DiscIdsTest, CtdbIdAndLookupTocOfAudioDataFirstAndDataLastDiscs) {
    // The database's published example, and a published enhanced CD (13 audio tracks,
    // the data track at 220352, the lead-out at 332850).
    const auto example = Toc({0, 11413, 25024, 45713}, 55220);
    EXPECT_EQ(cd::CtdbTocId(example), "VukMWWItblELRM.CEFpXxw0FlME-");
    EXPECT_EQ(cd::CtdbTocId(example), ReferenceCtdbId({0, 11413, 25024, 45713}, 55220));
    EXPECT_EQ(cd::CtdbLookupToc(example), "0:11413:25024:45713:55220");
    const std::vector<std::uint32_t> enhanced = {0,      15047,  30797,  45995,  60397,
                                                 78942,  94607,  108395, 125382, 146117,
                                                 162905, 177397, 194782, 220352};
    const auto published = Toc(enhanced, 332850, 13);
    EXPECT_EQ(cd::CtdbTocId(published), "gmEsiU5wvQFA1Nq9YE_posiwgK8-");
    EXPECT_EQ(cd::CtdbLookupToc(published),
              "0:15047:30797:45995:60397:78942:94607:108395:125382:146117:162905:177397:"
              "194782:-220352:332850");

    // Data last: the audio ends 11400 frames before it. Data first: not counted, the
    // audio counted from its own first track.
    const auto last = Toc({32, 20000, 41000, 70000}, 90000, 3);
    EXPECT_EQ(cd::CtdbTocId(last), ReferenceCtdbId({32, 20000, 41000}, 70000 - 11400));
    const auto first = Toc({0, 15000, 30000, 50000}, 70000, 0);
    EXPECT_EQ(cd::CtdbTocId(first), ReferenceCtdbId({15000, 30000, 50000}, 70000));
    EXPECT_EQ(cd::CtdbLookupToc(first), "-0:15000:30000:50000:70000");
    EXPECT_EQ(cd::CtdbTocId(Toc({0}, 9000, 0)), "");
}

}  // namespace
