// The converter's own rate mapping: 22050 Hz and 32000 Hz sources go to the encoder
// as 44100 Hz; every other rate passes unchanged. Each read is resampled in place in
// the engine's chunk buffer. Two-channel sources are resampled frame by frame, each
// channel from its own values, so the channels never mix or shift against each other.
#pragma once

#include <cstdint>
#include <vector>

namespace convert {

class SourceResampler {
  public:
    // sampleRate: the source's rate in Hz; channels: 1 or 2; chunkValues: e, the
    // number of 16-bit values the encoder takes per chunk (the buffer's capacity).
    SourceResampler(std::uint32_t sampleRate, int channels, std::uint32_t chunkValues);

    // The rate handed to the encoder: 44100 for 22050 and 32000 Hz sources, else theirs.
    static std::uint32_t EncoderRate(std::uint32_t sampleRate);

    // k: the number of values to read per chunk, always whole frames. 0 when e is too
    // small to hold one resampled read.
    std::uint32_t ReadSize() const { return readFrames_ * channels_; }

    // Resamples one read of n values (whole frames) at the start of buffer, which has
    // room for e values, in place; returns m, the number of values to encode. Reads
    // must be handed over in file order: the last frame of each read is kept as the
    // left neighbour for the next read's first interpolation.
    std::uint32_t Process(std::int16_t* buffer, std::uint32_t n);

  private:
    std::uint32_t Expand22050(std::int16_t* buffer, std::uint32_t frames);
    std::uint32_t Expand32000(std::int16_t* buffer, std::uint32_t frames);
    void RememberLastFrame(const std::int16_t* buffer, std::uint32_t frames);

    enum class Kind { None, From22050, From32000 };
    Kind kind_;
    std::uint32_t channels_;
    std::uint32_t chunkFrames_;  // e / channels: output frames of a full read
    std::uint32_t readFrames_;   // frames per read
    bool havePrevious_ = false;
    std::int16_t previous_[2] = {0, 0};  // last frame of the preceding read
    std::vector<std::int16_t> scratch_;  // copy of one 32000 Hz read, allocated once
};

}  // namespace convert
