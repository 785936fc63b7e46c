// MP3 files written by a rip, decoded with libmpg123 to check what they hold.
#pragma once

#include <mpg123.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace riptest {

// An MP3 file decoded with libmpg123 (gapless: the info tag's delay and padding
// trimmed): its channel count, its interleaved samples and the lowest bit rate of
// its audio frames but the last (the encoder may pad the stream with a nearly
// empty frame below any minimum).
struct DecodedMp3 {
    int channels = 0;
    std::vector<std::int16_t> pcm;
    int minKbps = 0;
};

inline DecodedMp3 DecodeMp3(const std::string& path) {
    DecodedMp3 d;
    std::vector<int> rates;
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh) return d;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        for (;;) {
            off_t frame = 0;
            unsigned char* audio = nullptr;
            size_t bytes = 0;
            const int r = mpg123_decode_frame(mh, &frame, &audio, &bytes);
            if (r == MPG123_NEW_FORMAT) {
                long rate = 0;
                int encoding = 0;
                mpg123_getformat(mh, &rate, &d.channels, &encoding);
                continue;
            }
            if (r != MPG123_OK) break;
            const auto* s = reinterpret_cast<const std::int16_t*>(audio);
            d.pcm.insert(d.pcm.end(), s, s + bytes / 2);
            mpg123_frameinfo info{};
            if (mpg123_info(mh, &info) == MPG123_OK) rates.push_back(info.bitrate);
        }
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    if (rates.size() > 1) d.minKbps = *std::min_element(rates.begin(), rates.end() - 1);
    return d;
}

}  // namespace riptest
