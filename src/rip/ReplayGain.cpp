#include "rip/ReplayGain.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace rip {

namespace {

constexpr unsigned kChannels = 2;
constexpr unsigned long kRate = 44100;

double Peak(ebur128_state* state) {
    double peak = 0.0;
    for (unsigned c = 0; c < kChannels; ++c) {
        double p = 0.0;
        if (ebur128_sample_peak(state, c, &p) == EBUR128_SUCCESS) peak = std::max(peak, p);
    }
    return peak;
}

// Gain from a loudness; libebur128 answers -HUGE_VAL for audio too quiet to gate.
GainValues FromLoudness(int status, double loudness, double peak) {
    GainValues values;
    if (status != EBUR128_SUCCESS || !std::isfinite(loudness)) return values;
    values.valid = true;
    values.gainDb = kReplayGainReference - loudness;
    values.peak = peak;
    return values;
}

}  // namespace

struct TrackLoudness::Meter {
    ebur128_state* state = nullptr;
};

std::string DescribeGain(const GainValues& values) {
    if (!values.valid) return "not measured";
    char text[64];
    std::snprintf(text, sizeof text, "%+.2f dB, peak %.6f", values.gainDb, values.peak);
    return text;
}

TrackLoudness::TrackLoudness() : meter_(std::make_unique<Meter>()) {
    meter_->state = ebur128_init(
        kChannels, kRate, EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_HISTOGRAM);
}

TrackLoudness::~TrackLoudness() {
    if (meter_->state) ebur128_destroy(&meter_->state);
}

void TrackLoudness::Add(const unsigned char* pcm, std::size_t bytes) {
    ebur128_state* const state = meter_->state;
    if (!state) return;
    // Whole pairs only: a part of a pair waits for the rest.
    while (partialBytes_ > 0 && bytes > 0) {
        partial_[partialBytes_++] = *pcm++;
        --bytes;
        if (partialBytes_ == sizeof partial_) {
            const std::int16_t pair[2] = {
                static_cast<std::int16_t>(partial_[0] | partial_[1] << 8),
                static_cast<std::int16_t>(partial_[2] | partial_[3] << 8)};
            ebur128_add_frames_short(state, pair, 1);
            partialBytes_ = 0;
        }
    }
    const std::size_t frames = bytes / 4;
    samples_.resize(frames * 2);
    for (std::size_t i = 0; i < frames * 2; ++i)
        samples_[i] = static_cast<std::int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
    if (frames > 0) ebur128_add_frames_short(state, samples_.data(), frames);
    partialBytes_ = bytes - frames * 4;
    std::memcpy(partial_, pcm + frames * 4, partialBytes_);
}

GainValues TrackLoudness::Result() const {
    ebur128_state* const state = meter_->state;
    if (!state) return {};
    double loudness = 0.0;
    const int status = ebur128_loudness_global(state, &loudness);
    return FromLoudness(status, loudness, Peak(state));
}

GainValues AlbumLoudness::Result() const {
    std::vector<ebur128_state*> states;
    double peak = 0.0;
    for (const auto& track : tracks_) {
        if (!track->meter_->state) continue;
        states.push_back(track->meter_->state);
        peak = std::max(peak, Peak(track->meter_->state));
    }
    if (states.empty()) return {};
    double loudness = 0.0;
    const int status = ebur128_loudness_global_multiple(states.data(), states.size(), &loudness);
    return FromLoudness(status, loudness, peak);
}

}  // namespace rip
