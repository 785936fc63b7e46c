// ReplayGain 2.0 of a rip, measured on the audio as it is read: each track's loudness
// (EBU R128 integrated loudness through libebur128) and sample peak, and the album's
// from all of its tracks together. The gain brings a track to -18 LUFS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rip {

inline constexpr double kReplayGainReference = -18.0;  // LUFS

// A gain and a peak; valid when there was audio loud enough to measure.
struct GainValues {
    bool valid = false;
    double gainDb = 0.0;  // kReplayGainReference minus the loudness
    double peak = 0.0;    // the largest sample, 1.0 = full scale
};

// "+5.02 dB, peak 0.501187" as the log lists it; "not measured" when not valid.
std::string DescribeGain(const GainValues& values);

class TrackLoudness {
  public:
    TrackLoudness();
    ~TrackLoudness();
    TrackLoudness(const TrackLoudness&) = delete;
    TrackLoudness& operator=(const TrackLoudness&) = delete;

    // Measures interleaved 16-bit little-endian stereo pairs; a trailing part of a
    // pair is kept for the next call.
    void Add(const unsigned char* pcm, std::size_t bytes);
    GainValues Result() const;

  private:
    friend class AlbumLoudness;
    struct Meter;  // the libebur128 state
    std::unique_ptr<Meter> meter_;
    std::vector<std::int16_t> samples_;
    unsigned char partial_[4] = {};
    std::size_t partialBytes_ = 0;
};

// The album: every track measured together, as one long programme.
class AlbumLoudness {
  public:
    // Takes the measured track (which must stay alive until Result).
    void Include(const std::shared_ptr<TrackLoudness>& track) { tracks_.push_back(track); }
    void Clear() { tracks_.clear(); }
    GainValues Result() const;

  private:
    std::vector<std::shared_ptr<TrackLoudness>> tracks_;
};

}  // namespace rip
