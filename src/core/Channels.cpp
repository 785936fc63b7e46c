#include "core/Channels.h"

namespace core {

Channels ChannelsForIndex(int index) {
    return index >= 0 && index <= 3 ? static_cast<Channels>(index) : Channels::Stereo;
}

void DownMix(const std::int16_t* stereo, std::uint32_t frames, Channels channels,
             std::int16_t* mono) {
    for (std::uint32_t i = 0; i < frames; ++i) {
        const int left = stereo[2 * i];
        const int right = stereo[2 * i + 1];
        switch (channels) {
            case Channels::Right:
                mono[i] = static_cast<std::int16_t>(right);
                break;
            case Channels::Mixed:
                mono[i] = static_cast<std::int16_t>((left + right) / 2);
                break;
            default:
                mono[i] = static_cast<std::int16_t>(left);
                break;
        }
    }
}

}  // namespace core
