// Checksums of one track's CD audio, accumulated piece by piece as the audio is
// queued for the writer: the CRC32 of its bytes (exactly as a WAV data chunk holds
// them), the AccurateRip v1 and v2 sums and the track's CTDB CRC32.
//
// The AccurateRip sums treat each stereo sample (4 bytes: left then right, each
// little-endian) as one 32-bit little-endian word w and its 1-based position p in
// the track: v1 = sum of low32(w * p); v2 = sum of low32(w * p) + high32(w * p),
// both modulo 2^32. Samples of the disc's first audio track before position 2940
// (five frames less one sample) and of its last audio track within its final five
// frames (2940 samples) are left out, as the database does: drives differ most
// there. A track shorter than its exclusions sums to 0.
//
// The CTDB CRC32 is the CRC32 of the part of the track that the CTDB's whole-disc
// CRC covers: the first audio track without its first 10 frames (5880 samples), the
// last without a tail the caller gives (10 frames plus the frames that make the
// disc's audio a multiple of 10). It costs no second pass: the running CRC32 is
// kept where that part begins and ends, and the part's own CRC follows from the two
// by the CRC's linearity (Crc32Combine).
#pragma once

#include <cstddef>
#include <cstdint>

namespace rip {

inline constexpr std::uint32_t kSamplesPerFrame = 588;
inline constexpr std::uint64_t kAccurateRipSkipFirst = 5 * kSamplesPerFrame - 1;  // 2939
inline constexpr std::uint64_t kAccurateRipSkipLast = 5 * kSamplesPerFrame;       // 2940
inline constexpr std::uint64_t kCtdbSkipFirst = 10 * kSamplesPerFrame;            // 5880

// Continues a CRC32 (the common reflected polynomial 0xEDB88320, as zlib and PNG use)
// over `bytes` bytes. Start with crc = 0.
std::uint32_t Crc32Update(std::uint32_t crc, const unsigned char* data, std::size_t bytes);
// The CRC32 of A followed by B from the CRC32s of A and of B and B's length, as
// zlib's crc32_combine gives it.
std::uint32_t Crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::uint64_t bytesB);

// The instruction sets the sums can use, narrowest first. They use the widest the
// processor offers; tests lower the ceiling so that every path is checked against
// the same values.
enum class SumInstructions { Plain, Sse, Avx2, Avx512 };
void SetSumInstructionsForTesting(SumInstructions widest);

class TrackChecksum {
  public:
    // Starts a track of `samples` stereo samples; the flags say whether it is the
    // disc's first and/or last audio track; the last one's CTDB CRC leaves out its
    // final `ctdbTailSamples`.
    void Start(std::uint64_t samples, bool firstAudioTrack, bool lastAudioTrack,
               std::uint64_t ctdbTailSamples = 0);
    // The next `bytes` bytes of the track. Pieces need not end on a sample.
    void Add(const unsigned char* data, std::size_t bytes);

    std::uint32_t Crc32() const { return crc_; }
    std::uint32_t AccurateRipV1() const { return v1_; }
    std::uint32_t AccurateRipV2() const { return v1_ + hi_; }
    std::uint64_t Bytes() const { return bytes_; }
    // The CTDB CRC32 and the length it covers, once every byte of the track is in.
    std::uint32_t CtdbCrc() const;
    std::uint64_t CtdbBytes() const { return ctdbTo_ - ctdbFrom_; }

  private:
    void AddSamples(const unsigned char* data, std::uint64_t count);
    void AddToCrc(const unsigned char* data, std::size_t bytes);

    std::uint32_t crc_ = 0;
    std::uint32_t v1_ = 0;  // sum of the low halves
    std::uint32_t hi_ = 0;  // sum of the high halves
    std::uint64_t bytes_ = 0;
    std::uint64_t position_ = 0;                 // samples seen (0-based index of the next one)
    std::uint64_t countFrom_ = 0, countTo_ = 0;  // counted sample indexes [from, to)
    unsigned char carry_[4] = {};
    std::size_t carried_ = 0;
    // The CTDB part, in bytes [ctdbFrom_, ctdbTo_), and the running CRC32 at its ends.
    std::uint64_t ctdbFrom_ = 0, ctdbTo_ = 0;
    std::uint32_t crcAtFrom_ = 0, crcAtTo_ = 0;
    bool haveFrom_ = false, haveTo_ = false;
};

}  // namespace rip
