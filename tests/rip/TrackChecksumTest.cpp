// Track checksums fed in pieces of awkward sizes, against zlib's CRC32 and the
// AccurateRip formula worked sample by sample (RipTestSupport.h), on the first,
// a middle and the last track of a small disc, with tracks shorter than the five
// frames the first and last track leave out, with every instruction set the sums
// can use. The CTDB CRC32 is zlib's CRC32 of the part of the track it covers.
#include <gtest/gtest.h>
#include <zlib.h>

#include "RipTestSupport.h"
#include "rip/TrackChecksum.h"

using namespace riptest;

TEST(TrackChecksumTest, PiecesOfAnySizeGiveTheFormulasSums) {
    const std::vector<std::uint32_t> frames = {12, 3, 9, 4};
    const auto disc = cdaccess::SimulatedDrive::MakeTestAudio(28, 5);
    using rip::SumInstructions;
    for (const auto widest : {SumInstructions::Avx512, SumInstructions::Avx2, SumInstructions::Sse,
                              SumInstructions::Plain}) {
        SCOPED_TRACE(static_cast<int>(widest));
        rip::SetSumInstructionsForTesting(widest);
        std::size_t at = 0;
        for (std::size_t t = 0; t < frames.size(); ++t) {
            const std::vector<unsigned char> audio(disc.begin() + at,
                                                   disc.begin() + at + frames[t] * kFrameBytes);
            at += audio.size();
            const bool first = t == 0, last = t + 1 == frames.size();
            rip::TrackChecksum sum;
            const std::size_t tail = 2 * 588 + 3;  // samples the last track's CTDB CRC leaves out
            sum.Start(audio.size() / 4, first, last, tail);
            // Pieces that split samples and reach every width the sums are taken in.
            const std::size_t sizes[] = {1, 7, 4097, 2, 10000, 100};
            for (std::size_t pos = 0, k = 0; pos < audio.size(); ++k) {
                const std::size_t n = std::min(sizes[k % 6], audio.size() - pos);
                sum.Add(audio.data() + pos, n);
                pos += n;
            }
            const ArSums expected = ReferenceAccurateRip(audio, first, last);
            EXPECT_EQ(sum.AccurateRipV1(), expected.v1) << "track " << t + 1;
            EXPECT_EQ(sum.AccurateRipV2(), expected.v2) << "track " << t + 1;
            EXPECT_EQ(sum.Crc32(), crc32(0, audio.data(), static_cast<uInt>(audio.size())));
            EXPECT_EQ(sum.Bytes(), audio.size());
            const std::size_t from = first ? 5880 * 4 : 0,
                              to = last ? audio.size() - tail * 4 : audio.size();
            EXPECT_EQ(sum.CtdbCrc(), crc32(0, audio.data() + from, static_cast<uInt>(to - from)));
            EXPECT_EQ(sum.CtdbBytes(), to - from);
            // The short last track lies wholly within its exclusion; the others count.
            EXPECT_EQ(sum.AccurateRipV1() == 0, last) << "track " << t + 1;
        }
    }
    rip::SetSumInstructionsForTesting(rip::SumInstructions::Avx512);
}
