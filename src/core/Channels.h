// The channel choice of the "channle" setting, shared by the rip and the converter:
// what a two-channel source becomes in an MP3 file, and the one down-mix both use.
#pragma once

#include <cstdint>

namespace core {

// Both channels, or one channel made of the left alone, the right alone or both
// mixed. The values are the setting's entries.
enum class Channels : std::int32_t { Stereo = 0, Left = 1, Right = 2, Mixed = 3 };

// The choice for a "channle" setting index: its entry, Stereo outside 0..3.
Channels ChannelsForIndex(int index);

/*
 * Turns `frames` interleaved stereo frames (left, right) into `frames` mono values:
 * the left value alone (for Left, and for Stereo, which has nothing to mix), the
 * right alone, or both mixed (their sum halved, rounding toward zero; the sum is
 * taken in int, so two full-scale values do not overflow). `mono` may be `stereo`
 * itself: value i is written only after frame i has been read.
 */
void DownMix(const std::int16_t* stereo, std::uint32_t frames, Channels channels,
             std::int16_t* mono);

}  // namespace core
