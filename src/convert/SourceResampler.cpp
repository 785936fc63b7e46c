#include "convert/SourceResampler.h"

#include <algorithm>
#include <cstring>

namespace convert {

namespace {

// The average of two values: their sum halved with truncation toward zero.
inline std::int16_t Average(std::int16_t a, std::int16_t b) {
    return static_cast<std::int16_t>((static_cast<int>(a) + static_cast<int>(b)) / 2);
}

// Output positions of the 32000 Hz mapping that get an interpolated value instead of
// the next source value: every 4th, 37th and 137th. Over a full read this inserts
// close to 121 of every 441 output values.
inline bool IsInsertedPosition(std::uint32_t p) {
    return p % 4 == 0 || p % 37 == 0 || p % 137 == 0;
}

}  // namespace

SourceResampler::SourceResampler(std::uint32_t sampleRate, int channels, std::uint32_t chunkValues)
    : kind_(sampleRate == 22050   ? Kind::From22050
            : sampleRate == 32000 ? Kind::From32000
                                  : Kind::None),
      channels_(channels < 1 ? 1u : static_cast<std::uint32_t>(channels)),
      chunkFrames_(chunkValues / channels_) {
    switch (kind_) {
        case Kind::From22050:
            readFrames_ = chunkFrames_ / 2;
            break;
        case Kind::From32000:
            readFrames_ =
                chunkFrames_ < 2 ? 0 : static_cast<std::uint32_t>(320ull * chunkFrames_ / 441 + 1);
            scratch_.resize(static_cast<std::size_t>(readFrames_) * channels_);
            break;
        case Kind::None:
            readFrames_ = chunkFrames_;
            break;
    }
}

std::uint32_t SourceResampler::EncoderRate(std::uint32_t sampleRate) {
    return sampleRate == 22050 || sampleRate == 32000 ? 44100u : sampleRate;
}

std::uint32_t SourceResampler::Process(std::int16_t* buffer, std::uint32_t n) {
    const std::uint32_t frames = std::min(n / channels_, readFrames_);
    if (frames == 0) return 0;
    switch (kind_) {
        case Kind::From22050:
            return Expand22050(buffer, frames);
        case Kind::From32000:
            return Expand32000(buffer, frames);
        case Kind::None:
            break;
    }
    return frames * channels_;
}

void SourceResampler::RememberLastFrame(const std::int16_t* buffer, std::uint32_t frames) {
    for (std::uint32_t c = 0; c < channels_; ++c)
        previous_[c] = buffer[(frames - 1) * channels_ + c];
    havePrevious_ = true;
}

// Doubles the rate of `frames` frames at the start of buffer, in place. Frame indexes
// are relative to this read. Output frame 2j + 1 is source frame j; output frame 2j
// is the average of source frames j - 1 and j, where frame -1 is the last frame of the
// previous read (or frame 0 itself on the first read, so the file starts with its
// first value). Over the whole file this is the sequence x0, x0, (x0+x1)/2, x1, ...:
// every interpolated value lies between two real neighbours. Written from the top
// down so no source frame is overwritten before it is read. Returns 2 x frames values.
std::uint32_t SourceResampler::Expand22050(std::int16_t* buffer, std::uint32_t frames) {
    const std::uint32_t ch = channels_;
    std::int16_t carry[2];
    for (std::uint32_t c = 0; c < ch; ++c) carry[c] = havePrevious_ ? previous_[c] : buffer[c];
    std::int16_t last[2];
    for (std::uint32_t c = 0; c < ch; ++c) last[c] = buffer[(frames - 1) * ch + c];

    for (std::uint32_t j = frames; j-- > 0;) {
        for (std::uint32_t c = 0; c < ch; ++c) {
            const std::int16_t x = buffer[j * ch + c];
            const std::int16_t before = j > 0 ? buffer[(j - 1) * ch + c] : carry[c];
            buffer[(2 * j + 1) * ch + c] = x;
            buffer[(2 * j) * ch + c] = Average(before, x);
        }
    }
    for (std::uint32_t c = 0; c < ch; ++c) previous_[c] = last[c];
    havePrevious_ = true;
    return 2 * frames * ch;
}

// Maps `frames` frames of 32000 Hz audio at the start of buffer onto 44100 Hz, in
// the buffer. A full read becomes e values; a shorter one floor(441 x frames / 320)
// frames (for one channel rounded down to an even count). Output frame p, from the
// top down, takes source frame i and steps i down, except at the inserted positions,
// where it takes the average of source frames i - 1 and i and keeps i. Frame 0 keeps
// source frame 0. Source frame -1 is the previous read's last frame (frame 0 on the
// first read); an index that runs below 0 on a short read stays at 0.
// The source frames are read from a copy, since near the bottom of a full read the
// mapping reaches source frames above the output position it writes.
// Known limits, kept as designed: an inserted value averages source frames i - 1 and
// i although it is placed after frame i, so it steps back half a source step; and the
// inserted positions do not add up exactly to the rate ratio, so a full read leaves
// one or two of its source frames just above frame 0 unused (for e = 2304: frames 1
// and 2 of 1672 mono, frame 1 of 836 stereo). The duration still comes out right.
std::uint32_t SourceResampler::Expand32000(std::int16_t* buffer, std::uint32_t frames) {
    const std::uint32_t ch = channels_;
    const bool full = frames == readFrames_;
    const std::uint32_t outFrames =
        full ? chunkFrames_ : static_cast<std::uint32_t>(441ull * frames / 320);
    std::memcpy(scratch_.data(), buffer,
                static_cast<std::size_t>(frames) * ch * sizeof(std::int16_t));
    const std::int16_t* src = scratch_.data();
    std::int16_t before0[2];
    for (std::uint32_t c = 0; c < ch; ++c) before0[c] = havePrevious_ ? previous_[c] : src[c];

    std::int64_t i = static_cast<std::int64_t>(frames) - 1;
    for (std::uint32_t p = outFrames; p-- > 1;) {
        if (i < 0) i = 0;
        if (IsInsertedPosition(p)) {
            for (std::uint32_t c = 0; c < ch; ++c) {
                const std::int16_t before = i > 0 ? src[(i - 1) * ch + c] : before0[c];
                buffer[p * ch + c] = Average(before, src[i * ch + c]);
            }
        } else {
            for (std::uint32_t c = 0; c < ch; ++c) buffer[p * ch + c] = src[i * ch + c];
            --i;
        }
    }
    // Output frame 0 already holds source frame 0.
    RememberLastFrame(src, frames);
    if (full) return chunkFrames_ * ch;
    std::uint32_t m = outFrames * ch;
    if (ch == 1) m &= ~1u;
    return m;
}

}  // namespace convert
