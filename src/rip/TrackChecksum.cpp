#include "rip/TrackChecksum.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12's AVX-512 header builds some results from deliberately undefined registers
// and then warns about them where they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#define TRACKMILL_X86_SUMS 1
#endif

namespace rip {

namespace {

// Eight tables for the CRC's slicing-by-8 form: table[k][b] is the CRC of byte b
// followed by k zero bytes, so eight input bytes are folded in with eight lookups.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

CrcTables MakeCrcTables() {
    CrcTables t{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t c = b;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][b] = c;
    }
    for (std::uint32_t b = 0; b < 256; ++b)
        for (int k = 1; k < 8; ++k) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
    return t;
}

const CrcTables& Tables() {
    static const CrcTables tables = MakeCrcTables();
    return tables;
}

inline std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// The table-driven CRC register update, without the initial and final inversion.
std::uint32_t CrcRegisterUpdate(std::uint32_t c, const unsigned char* p, std::size_t n) {
    const CrcTables& t = Tables();
    for (; n >= 8; n -= 8, p += 8) {
        const std::uint32_t lo = c ^ Le32(p);
        const std::uint32_t hi = Le32(p + 4);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; n > 0; --n, ++p) c = (c >> 8) ^ t[0][(c ^ *p) & 0xFF];
    return c;
}

#ifdef TRACKMILL_X86_SUMS
// The CRC register over n >= 64 bytes by carry-less multiplication: the data are
// folded, 64 bytes at a time, into four 128-bit lanes, the lanes into one, and the
// table finishes the last 16 bytes of the fold and the tail. A 128-bit value moves D
// bits along the message by multiplying its low half by x^(D+32) mod P and its high
// half by x^(D-32) mod P (bit-reflected, shifted left by one, as the reflected CRC
// needs): D = 512 for the four lanes, 128 to fold lane into lane.
#define TRACKMILL_CLMUL __attribute__((target("pclmul,sse4.1")))
TRACKMILL_CLMUL inline __m128i Load16(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}
// x moved along by the distance the constants k stand for, plus the next 16 bytes.
TRACKMILL_CLMUL inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Folds four lanes into one and finishes the remaining n < 64 bytes at p.
TRACKMILL_CLMUL std::uint32_t CrcFinishFold(__m128i x0, __m128i x1, __m128i x2, __m128i x3,
                                            const unsigned char* p, std::size_t n) {
    const __m128i k128 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    __m128i x = Fold(Fold(Fold(x0, k128, x1), k128, x2), k128, x3);
    for (; n >= 16; n -= 16, p += 16) x = Fold(x, k128, Load16(p));
    alignas(16) unsigned char last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
    return CrcRegisterUpdate(CrcRegisterUpdate(0, last, 16), p, n);
}

constexpr long long kFold512Low = 0x154442bd4, kFold512High = 0x1c6e41596;

TRACKMILL_CLMUL std::uint32_t CrcRegisterFold(std::uint32_t c, const unsigned char* p,
                                              std::size_t n) {
    const __m128i k512 = _mm_set_epi64x(kFold512High, kFold512Low);
    __m128i x0 = _mm_xor_si128(Load16(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    __m128i x1 = Load16(p + 16), x2 = Load16(p + 32), x3 = Load16(p + 48);
    p += 64;
    n -= 64;
    for (; n >= 64; n -= 64, p += 64) {
        x0 = Fold(x0, k512, Load16(p));
        x1 = Fold(x1, k512, Load16(p + 16));
        x2 = Fold(x2, k512, Load16(p + 32));
        x3 = Fold(x3, k512, Load16(p + 48));
    }
    return CrcFinishFold(x0, x1, x2, x3, p, n);
}

// The same lanes held in 512-bit registers: two of them, 128 bytes apart, so that
// two folds are under way at once (D = 1024), then one (D = 512). n >= 128.
#define TRACKMILL_AVX512 __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1")))
TRACKMILL_AVX512 inline __m512i Fold512(__m512i x, __m512i k, __m512i next) {
    // low products ^ high products ^ next
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00),
                                     _mm512_clmulepi64_epi128(x, k, 0x11), next, 0x96);
}

TRACKMILL_AVX512 std::uint32_t CrcRegisterFold512(std::uint32_t c, const unsigned char* p,
                                                  std::size_t n) {
    const __m512i k512 = _mm512_broadcast_i32x4(_mm_set_epi64x(kFold512High, kFold512Low));
    const __m512i k1024 = _mm512_broadcast_i32x4(_mm_set_epi64x(0x14a7fe880, 0x1e88ef372));
    __m512i x = _mm512_xor_si512(_mm512_loadu_si512(p),
                                 _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(c))));
    __m512i y = _mm512_loadu_si512(p + 64);
    p += 128;
    n -= 128;
    for (; n >= 128; n -= 128, p += 128) {
        x = Fold512(x, k1024, _mm512_loadu_si512(p));
        y = Fold512(y, k1024, _mm512_loadu_si512(p + 64));
    }
    x = Fold512(x, k512, y);
    for (; n >= 64; n -= 64, p += 64) x = Fold512(x, k512, _mm512_loadu_si512(p));
    return CrcFinishFold(_mm512_extracti32x4_epi32(x, 0), _mm512_extracti32x4_epi32(x, 1),
                         _mm512_extracti32x4_epi32(x, 2), _mm512_extracti32x4_epi32(x, 3), p, n);
}

// The AccurateRip sums of `count` samples (a multiple of 8) whose first has the 1-based
// position `position`, eight at a time: even and odd lanes are multiplied 32 x 32 -> 64
// bits, and the products and their high halves are summed in 64-bit lanes, whose low
// 32 bits are the sums modulo 2^32. Adds to lo and hi.
__attribute__((target("avx2"))) void AccurateRipSumsAvx2(const unsigned char* p,
                                                         std::uint64_t position,
                                                         std::uint64_t count, std::uint32_t& lo,
                                                         std::uint32_t& hi) {
    __m256i at = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    at = _mm256_add_epi32(at, _mm256_set1_epi32(static_cast<int>(position)));
    const __m256i eight = _mm256_set1_epi32(8);
    __m256i sum = _mm256_setzero_si256(), high = _mm256_setzero_si256();
    for (std::uint64_t k = 0; k < count; k += 8, p += 32) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i even = _mm256_mul_epu32(w, at);
        const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(w, 32), _mm256_srli_epi64(at, 32));
        sum = _mm256_add_epi64(sum, _mm256_add_epi64(even, odd));
        high = _mm256_add_epi64(
            high, _mm256_add_epi64(_mm256_srli_epi64(even, 32), _mm256_srli_epi64(odd, 32)));
        at = _mm256_add_epi32(at, eight);
    }
    alignas(32) std::uint64_t lanes[4], highLanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sum);
    _mm256_store_si256(reinterpret_cast<__m256i*>(highLanes), high);
    lo += static_cast<std::uint32_t>(lanes[0] + lanes[1] + lanes[2] + lanes[3]);
    hi += static_cast<std::uint32_t>(highLanes[0] + highLanes[1] + highLanes[2] + highLanes[3]);
}

// The AccurateRip sums sixteen samples at a time, as AccurateRipSumsAvx2 does eight;
// `count` is a multiple of 16.
__attribute__((target("avx512f"))) void AccurateRipSumsAvx512(const unsigned char* p,
                                                              std::uint64_t position,
                                                              std::uint64_t count,
                                                              std::uint32_t& lo,
                                                              std::uint32_t& hi) {
    __m512i at = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    at = _mm512_add_epi32(at, _mm512_set1_epi32(static_cast<int>(position)));
    const __m512i sixteen = _mm512_set1_epi32(16);
    __m512i sum = _mm512_setzero_si512(), high = _mm512_setzero_si512();
    for (std::uint64_t k = 0; k < count; k += 16, p += 64) {
        const __m512i w = _mm512_loadu_si512(p);
        const __m512i even = _mm512_mul_epu32(w, at);
        const __m512i odd = _mm512_mul_epu32(_mm512_srli_epi64(w, 32), _mm512_srli_epi64(at, 32));
        sum = _mm512_add_epi64(sum, _mm512_add_epi64(even, odd));
        high = _mm512_add_epi64(
            high, _mm512_add_epi64(_mm512_srli_epi64(even, 32), _mm512_srli_epi64(odd, 32)));
        at = _mm512_add_epi32(at, sixteen);
    }
    // Summed as unsigned: the header's own reduction adds signed and may overflow.
    alignas(64) std::uint64_t lanes[8], highLanes[8];
    _mm512_store_si512(lanes, sum);
    _mm512_store_si512(highLanes, high);
    std::uint64_t l = 0, h = 0;
    for (int k = 0; k < 8; ++k) {
        l += lanes[k];
        h += highLanes[k];
    }
    lo += static_cast<std::uint32_t>(l);
    hi += static_cast<std::uint32_t>(h);
}

SumInstructions Available() {
    static const SumInstructions widest = [] {
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq") &&
            __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"))
            return SumInstructions::Avx512;
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("pclmul") &&
            __builtin_cpu_supports("sse4.1"))
            return SumInstructions::Avx2;
        if (__builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"))
            return SumInstructions::Sse;
        return SumInstructions::Plain;
    }();
    return widest;
}
#else
SumInstructions Available() {
    return SumInstructions::Plain;
}
#endif

std::atomic<SumInstructions> g_ceiling{SumInstructions::Avx512};

SumInstructions Widest() {
    return std::min(Available(), g_ceiling.load(std::memory_order_relaxed));
}

}  // namespace

void SetSumInstructionsForTesting(SumInstructions widest) {
    g_ceiling.store(widest);
}

std::uint32_t Crc32Update(std::uint32_t crc, const unsigned char* p, std::size_t n) {
#ifdef TRACKMILL_X86_SUMS
    const SumInstructions widest = Widest();
    if (n >= 256 && widest == SumInstructions::Avx512) return ~CrcRegisterFold512(~crc, p, n);
    if (n >= 64 && widest >= SumInstructions::Sse) return ~CrcRegisterFold(~crc, p, n);
#endif
    return ~CrcRegisterUpdate(~crc, p, n);
}

namespace {

constexpr std::uint32_t kCrcPolynomial = 0xEDB88320u;  // reflected: bit 31 is x^0
constexpr std::uint32_t kCrcOne = 0x80000000u;         // the polynomial 1

// a x b modulo the CRC's polynomial, both in the reflected bit order.
std::uint32_t MultiplyModP(std::uint32_t a, std::uint32_t b) {
    std::uint32_t product = 0;
    for (std::uint32_t bit = kCrcOne; bit != 0; bit >>= 1) {
        if (a & bit) product ^= b;
        b = (b & 1) ? (b >> 1) ^ kCrcPolynomial : b >> 1;  // b * x
    }
    return product;
}

}  // namespace

// A CRC register moves along `bytesB` bytes of message by multiplying with
// x^(8 bytesB); the inversions before and after cancel out of the sum.
std::uint32_t Crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::uint64_t bytesB) {
    std::uint32_t shift = kCrcOne;
    std::uint32_t square = kCrcOne >> 8;  // x^8: one byte
    for (std::uint64_t n = bytesB; n != 0; n >>= 1) {
        if (n & 1) shift = MultiplyModP(shift, square);
        square = MultiplyModP(square, square);
    }
    return MultiplyModP(shift, crcA) ^ crcB;
}

void TrackChecksum::Start(std::uint64_t samples, bool firstAudioTrack, bool lastAudioTrack,
                          std::uint64_t ctdbTailSamples) {
    *this = TrackChecksum{};
    countFrom_ = firstAudioTrack ? kAccurateRipSkipFirst : 0;
    countTo_ = lastAudioTrack
                   ? (samples > kAccurateRipSkipLast ? samples - kAccurateRipSkipLast : 0)
                   : samples;
    const std::uint64_t from = firstAudioTrack ? std::min(kCtdbSkipFirst, samples) : 0;
    const std::uint64_t to =
        lastAudioTrack ? std::max(from, samples - std::min(ctdbTailSamples, samples)) : samples;
    ctdbFrom_ = from * 4;
    ctdbTo_ = to * 4;
    haveFrom_ = ctdbFrom_ == 0;
    haveTo_ = ctdbTo_ == 0;
}

// crcAtTo_ is the CRC32 of the bytes before the part followed by the part.
std::uint32_t TrackChecksum::CtdbCrc() const {
    return Crc32Combine(crcAtFrom_, crcAtTo_, CtdbBytes());
}

// Continues the CRC32, splitting the piece where the CTDB part begins or ends to
// keep the running value there.
void TrackChecksum::AddToCrc(const unsigned char* data, std::size_t bytes) {
    const std::uint64_t end = bytes_ + bytes;
    std::size_t done = 0;
    auto keepAt = [&](std::uint64_t mark, bool& have, std::uint32_t& crc) {
        if (have || mark > end) return;
        const auto upTo = static_cast<std::size_t>(mark - bytes_);
        crc_ = Crc32Update(crc_, data + done, upTo - done);
        done = upTo;
        crc = crc_;
        have = true;
    };
    keepAt(ctdbFrom_, haveFrom_, crcAtFrom_);
    keepAt(ctdbTo_, haveTo_, crcAtTo_);
    crc_ = Crc32Update(crc_, data + done, bytes - done);
}

// Adds whole samples: only those whose index lies in [countFrom_, countTo_) count,
// each multiplied by its 1-based position in the track.
void TrackChecksum::AddSamples(const unsigned char* data, std::uint64_t count) {
    const std::uint64_t first = position_;
    position_ += count;
    const std::uint64_t from = std::max(first, countFrom_);
    const std::uint64_t to = std::min(position_, countTo_);
    if (from >= to) return;
    const unsigned char* p = data + (from - first) * 4;
    std::uint32_t lo = v1_, hi = hi_;
    // Positions stay below 2^32 for any CD track; the product fits in 64 bits.
    std::uint64_t i = from;
#ifdef TRACKMILL_X86_SUMS
    // Sixteen, eight or four samples at a time: the even and the odd lanes are
    // multiplied 32 x 32 -> 64 bits; the products and their high halves are summed in
    // 64-bit lanes, whose low 32 bits are the sums modulo 2^32.
    const SumInstructions widest = Widest();
    if (to - i >= 64 && widest == SumInstructions::Avx512) {
        const std::uint64_t n = (to - i) / 16 * 16;
        AccurateRipSumsAvx512(p, i + 1, n, lo, hi);
        i += n;
        p += n * 4;
    }
    if (to - i >= 64 && widest >= SumInstructions::Avx2) {
        const std::uint64_t n = (to - i) / 8 * 8;
        AccurateRipSumsAvx2(p, i + 1, n, lo, hi);
        i += n;
        p += n * 4;
    }
    if (to - i >= 8 && widest >= SumInstructions::Sse) {
        __m128i position = _mm_set_epi32(static_cast<int>(i + 4), static_cast<int>(i + 3),
                                         static_cast<int>(i + 2), static_cast<int>(i + 1));
        const __m128i four = _mm_set1_epi32(4);
        __m128i sum = _mm_setzero_si128(), high = _mm_setzero_si128();
        for (; to - i >= 4; i += 4, p += 16) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i even = _mm_mul_epu32(w, position);
            const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(w, 32), _mm_srli_epi64(position, 32));
            sum = _mm_add_epi64(sum, _mm_add_epi64(even, odd));
            high = _mm_add_epi64(high,
                                 _mm_add_epi64(_mm_srli_epi64(even, 32), _mm_srli_epi64(odd, 32)));
            position = _mm_add_epi32(position, four);
        }
        alignas(16) std::uint64_t lanes[2], highLanes[2];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), sum);
        _mm_store_si128(reinterpret_cast<__m128i*>(highLanes), high);
        lo += static_cast<std::uint32_t>(lanes[0] + lanes[1]);
        hi += static_cast<std::uint32_t>(highLanes[0] + highLanes[1]);
    }
#endif
    for (; i < to; ++i, p += 4) {
        const std::uint64_t product = std::uint64_t{Le32(p)} * (i + 1);
        lo += static_cast<std::uint32_t>(product);
        hi += static_cast<std::uint32_t>(product >> 32);
    }
    v1_ = lo;
    hi_ = hi;
}

void TrackChecksum::Add(const unsigned char* data, std::size_t bytes) {
    if (bytes == 0) return;
    AddToCrc(data, bytes);
    bytes_ += bytes;
    // Complete a sample left over from the previous piece.
    if (carried_ > 0) {
        const std::size_t take = std::min(bytes, 4 - carried_);
        std::memcpy(carry_ + carried_, data, take);
        carried_ += take;
        data += take;
        bytes -= take;
        if (carried_ < 4) return;
        AddSamples(carry_, 1);
        carried_ = 0;
    }
    const std::size_t whole = bytes / 4;
    AddSamples(data, whole);
    carried_ = bytes - whole * 4;
    std::memcpy(carry_, data + whole * 4, carried_);
}

}  // namespace rip
