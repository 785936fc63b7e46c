// The MP3 encoder module: the published be* entry points over libmp3lame.
//
// A stream is one libmp3lame encoder configured from a 331-byte configuration
// record (plain MP3 or LAME form). Streams are tracked in a table so that a stale
// or invented handle is refused instead of dereferenced. The module keeps the
// info tag of the stream finished last, so that beWriteVBRHeader, called after
// the stream is closed, can put it into the first frame of the finished file.
#include <lame/lame.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "lame_enc/BeEncoder.h"

namespace {

// The module's own interface version, reported by beVersion beside libmp3lame's.
constexpr std::uint8_t kModuleMajor = 1;
constexpr std::uint8_t kModuleMinor = 10;

struct Stream {
    lame_global_flags* flags = nullptr;
    int channels = 2;
    std::uint32_t maxSamples = 0;  // 16-bit values per chunk, all channels
    std::uint32_t bufferSize = 0;  // smallest output buffer the caller must give
    bool writesTag = false;
    bool finished = false;
};

std::mutex g_mutex;
std::set<Stream*> g_streams;
std::vector<unsigned char> g_lastTag;  // info tag of the stream finished last

// The live stream behind a handle, or null. Call with g_mutex held.
Stream* FindStream(BeStream handle) {
    auto* s = reinterpret_cast<Stream*>(handle);
    return g_streams.count(s) ? s : nullptr;
}

MPEG_mode LameMode(int mode) {
    switch (mode) {
        case kBeModeJointStereo:
            return JOINT_STEREO;
        case kBeModeDualChannel:
            return DUAL_CHANNEL;
        case kBeModeMono:
            return MONO;
        default:
            return STEREO;
    }
}

// Applies the LAME form of the record. Known limit: presets other than normal,
// low, high and very high quality leave libmp3lame's defaults in place.
void ApplyLameForm(lame_global_flags* gf, const BeConfigLame& c) {
    lame_set_in_samplerate(gf, static_cast<int>(c.sampleRate));
    if (c.reSampleRate != 0) lame_set_out_samplerate(gf, static_cast<int>(c.reSampleRate));
    lame_set_num_channels(gf, c.mode == kBeModeMono ? 1 : 2);
    lame_set_mode(gf, LameMode(c.mode));
    switch (c.preset) {
        case kBePresetNormal:
            lame_set_quality(gf, 5);
            break;
        case kBePresetLow:
            lame_set_quality(gf, 9);
            break;
        case kBePresetHigh:
            lame_set_quality(gf, 2);
            break;
        case kBePresetVeryHigh:
            lame_set_quality(gf, 0);
            break;
        default:
            break;
    }
    // The quality word counts only when its high byte is the complement of its low byte.
    const unsigned low = c.quality & 0xFFu, high = (c.quality >> 8) & 0xFFu;
    if (c.quality != 0 && high == (~low & 0xFFu)) lame_set_quality(gf, static_cast<int>(low));

    if (c.enableVbr) {
        switch (c.vbrMethod) {
            case kBeVbrMethodOld:
                lame_set_VBR(gf, vbr_rh);
                break;
            case kBeVbrMethodNew:
            case kBeVbrMethodMtrh:
                lame_set_VBR(gf, vbr_mtrh);
                break;
            case kBeVbrMethodAbr: {
                lame_set_VBR(gf, vbr_abr);
                // The mean rate is given in bit/s; small values are taken as kbit/s.
                const std::uint32_t kbps = c.vbrAbrBps >= 1000 ? c.vbrAbrBps / 1000 : c.vbrAbrBps;
                if (kbps != 0) lame_set_VBR_mean_bitrate_kbps(gf, static_cast<int>(kbps));
                break;
            }
            default:
                lame_set_VBR(gf, vbr_default);
                break;
        }
        lame_set_VBR_q(gf, std::clamp(c.vbrQuality, 0, 9));
        if (c.bitrate != 0) lame_set_VBR_min_bitrate_kbps(gf, static_cast<int>(c.bitrate));
        if (c.maxBitrate != 0) lame_set_VBR_max_bitrate_kbps(gf, static_cast<int>(c.maxBitrate));
    } else {
        lame_set_VBR(gf, vbr_off);
        if (c.bitrate != 0) lame_set_brate(gf, static_cast<int>(c.bitrate));
    }
    lame_set_bWriteVbrTag(gf, c.writeVbrHeader ? 1 : 0);
    lame_set_emphasis(gf, static_cast<int>(c.emphasis));
    lame_set_extension(gf, c.privateBit ? 1 : 0);
    lame_set_error_protection(gf, c.crc ? 1 : 0);
    lame_set_copyright(gf, c.copyright ? 1 : 0);
    lame_set_original(gf, c.original ? 1 : 0);
    lame_set_disable_reservoir(gf, c.noBitReservoir ? 1 : 0);
    lame_set_strict_ISO(gf, c.strictIso ? 1 : 0);
}

// Applies the plain MP3 form: constant bit rate, no info tag.
void ApplyMp3Form(lame_global_flags* gf, const BeConfigMp3& c) {
    lame_set_in_samplerate(gf, static_cast<int>(c.sampleRate));
    lame_set_num_channels(gf, c.mode == kBeModeMono ? 1 : 2);
    lame_set_mode(gf, LameMode(c.mode));
    lame_set_VBR(gf, vbr_off);
    if (c.bitrate != 0) lame_set_brate(gf, c.bitrate);
    lame_set_bWriteVbrTag(gf, 0);
    lame_set_extension(gf, c.privateBit ? 1 : 0);
    lame_set_error_protection(gf, c.crc ? 1 : 0);
    lame_set_copyright(gf, c.copyright ? 1 : 0);
    lame_set_original(gf, c.original ? 1 : 0);
}

// The MPEG audio sample rates; the record's input rate must be one of them.
bool ValidRate(std::uint32_t rate) {
    for (std::uint32_t r : {8000u, 11025u, 12000u, 16000u, 22050u, 24000u, 32000u, 44100u, 48000u})
        if (rate == r) return true;
    return false;
}

}  // namespace

// Opens a stream from the record. Out: samples = 16-bit values per chunk (all
// channels), bufferSize = the least output buffer size every call needs.
BE_API BeErr beInitStream(BeConfig* config, std::uint32_t* samples, std::uint32_t* bufferSize,
                          BeStream* stream) {
    if (!config || !samples || !bufferSize || !stream) return kBeInvalidFormatParameters;
    *stream = 0;
    if (config->kind != kBeConfigLame && config->kind != kBeConfigMp3) return kBeInvalidFormat;
    if (config->kind == kBeConfigLame && config->format.lame.structVersion < 1)
        return kBeInvalidFormat;
    const bool lameForm = config->kind == kBeConfigLame;
    const std::uint32_t rate =
        lameForm ? config->format.lame.sampleRate : config->format.mp3.sampleRate;
    const int mode = lameForm ? config->format.lame.mode : config->format.mp3.mode;
    if (!ValidRate(rate) || mode < kBeModeStereo || mode > kBeModeMono)
        return kBeInvalidFormatParameters;

    lame_global_flags* gf = lame_init();
    if (!gf) return kBeNoMoreHandles;
    if (lameForm)
        ApplyLameForm(gf, config->format.lame);
    else
        ApplyMp3Form(gf, config->format.mp3);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        return kBeInvalidFormatParameters;
    }

    auto* s = new Stream;
    s->flags = gf;
    s->channels = lame_get_num_channels(gf);
    const int frameSize = lame_get_framesize(gf);
    s->maxSamples = static_cast<std::uint32_t>(frameSize * s->channels);
    // libmp3lame's own bound for one call: 1.25 x samples per channel + 7200.
    s->bufferSize = static_cast<std::uint32_t>(frameSize + frameSize / 4 + 7200);
    s->writesTag = lame_get_bWriteVbrTag(gf) != 0;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        g_streams.insert(s);
    }
    *samples = s->maxSamples;
    *bufferSize = s->bufferSize;
    *stream = reinterpret_cast<BeStream>(s);
    return kBeOk;
}

// Encodes `samples` interleaved 16-bit values (at most the chunk size given by
// beInitStream) into output, which must hold the buffer size given there.
BE_API BeErr beEncodeChunk(BeStream stream, std::uint32_t samples, const std::int16_t* pcm,
                           std::uint8_t* output, std::uint32_t* outputLength) {
    if (!outputLength) return kBeInvalidFormatParameters;
    *outputLength = 0;
    Stream* s;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        s = FindStream(stream);
    }
    if (!s || s->finished) return kBeInvalidHandle;
    if (!output || (samples != 0 && !pcm) || samples > s->maxSamples)
        return kBeInvalidFormatParameters;
    const int frames = static_cast<int>(samples / static_cast<std::uint32_t>(s->channels));
    auto* in = const_cast<short*>(reinterpret_cast<const short*>(pcm));
    const int n =
        s->channels == 1
            ? lame_encode_buffer(s->flags, in, in, frames, output, static_cast<int>(s->bufferSize))
            : lame_encode_buffer_interleaved(s->flags, in, frames, output,
                                             static_cast<int>(s->bufferSize));
    if (n == -1) return kBeBufferTooSmall;
    if (n < 0) return kBeInvalidFormatParameters;
    *outputLength = static_cast<std::uint32_t>(n);
    return kBeOk;
}

// Flushes the stream's last frames into output and keeps its info tag for
// beWriteVBRHeader. The stream can then only be closed.
BE_API BeErr beDeinitStream(BeStream stream, std::uint8_t* output, std::uint32_t* outputLength) {
    if (!outputLength) return kBeInvalidFormatParameters;
    *outputLength = 0;
    std::lock_guard<std::mutex> guard(g_mutex);
    Stream* s = FindStream(stream);
    if (!s || s->finished) return kBeInvalidHandle;
    if (!output) return kBeInvalidFormatParameters;
    const int n = lame_encode_flush(s->flags, output, static_cast<int>(s->bufferSize));
    if (n < 0) return kBeBufferTooSmall;
    *outputLength = static_cast<std::uint32_t>(n);
    s->finished = true;
    g_lastTag.clear();
    if (s->writesTag) {
        std::vector<unsigned char> tag(2880);  // the largest MPEG-1 layer III frame
        const size_t size = lame_get_lametag_frame(s->flags, tag.data(), tag.size());
        if (size > 0 && size <= tag.size()) {
            tag.resize(size);
            g_lastTag = std::move(tag);
        }
    }
    return kBeOk;
}

// Releases the stream. A stream closed before it was finished forgets any
// kept tag, so that no later file receives a tag that is not its own.
BE_API BeErr beCloseStream(BeStream stream) {
    std::lock_guard<std::mutex> guard(g_mutex);
    Stream* s = FindStream(stream);
    if (!s) return kBeInvalidHandle;
    if (!s->finished) g_lastTag.clear();
    g_streams.erase(s);
    lame_close(s->flags);
    delete s;
    return kBeOk;
}

BE_API void beVersion(BeVersion* version) {
    if (!version) return;
    std::memset(version, 0, sizeof *version);
    lame_version_t v{};
    get_lame_version_numerical(&v);
    version->moduleMajor = kModuleMajor;
    version->moduleMinor = kModuleMinor;
    version->encoderMajor = static_cast<std::uint8_t>(v.major);
    version->encoderMinor = static_cast<std::uint8_t>(v.minor);
    version->alphaLevel = static_cast<std::uint8_t>(v.alpha);
    version->betaLevel = static_cast<std::uint8_t>(v.beta);
    if (const char* url = get_lame_url())
        std::snprintf(version->homepage, sizeof version->homepage, "%s", url);
}

// Writes the info tag of the stream finished last over the first frame of the
// file at fileName, where libmp3lame left a placeholder frame of the same size.
// The file must start with that frame (no leading tag). The kept tag is used once.
BE_API BeErr beWriteVBRHeader(const char* fileName) {
    std::vector<unsigned char> tag;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        tag.swap(g_lastTag);
    }
    if (!fileName || tag.size() < 4) return kBeInvalidFormatParameters;
    FILE* f = std::fopen(fileName, "r+b");
    if (!f) return kBeInvalidFormatParameters;
    std::vector<unsigned char> head(tag.size());
    bool ok = std::fread(head.data(), 1, head.size(), f) == head.size();
    // The placeholder carries the same frame header as the tag: sync, version,
    // layer and bit rate bits.
    ok = ok && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0 && head[1] == tag[1] &&
         (head[2] & 0xF0) == (tag[2] & 0xF0);
    if (ok)
        ok = std::fseek(f, 0, SEEK_SET) == 0 &&
             std::fwrite(tag.data(), 1, tag.size(), f) == tag.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok ? kBeOk : kBeInvalidFormatParameters;
}
