// The converter's encoder module over libmp3lame: one constant-bit-rate MP3 stream per
// handle, written straight to its target file. Handles are small numbers (slot + 1)
// into a table guarded by one lock; a stream itself is used by one thread at a time.
#include "orvam/Orvam.h"

#include <lame/lame.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#define ORVAM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr std::int32_t kInterfaceVersion = 1;
constexpr std::size_t kMaxStreams = 64;

struct Stream {
    lame_global_flags* lame = nullptr;
    std::FILE* file = nullptr;
    int channels = 0;
    std::vector<unsigned char> mp3;  // encoder output, grown to the largest chunk seen

    ~Stream() {
        if (lame) lame_close(lame);
        if (file) std::fclose(file);
    }
};

std::mutex g_tableMutex;
std::unique_ptr<Stream> g_streams[kMaxStreams];

// Stores the stream in a free slot; returns its handle (slot + 1) or 0 when full.
std::uint32_t AddStream(std::unique_ptr<Stream> s) {
    std::lock_guard<std::mutex> guard(g_tableMutex);
    for (std::size_t i = 0; i < kMaxStreams; ++i) {
        if (!g_streams[i]) {
            g_streams[i] = std::move(s);
            return static_cast<std::uint32_t>(i + 1);
        }
    }
    return 0;
}

Stream* FindStream(std::uint32_t handle) {
    std::lock_guard<std::mutex> guard(g_tableMutex);
    if (handle == 0 || handle > kMaxStreams) return nullptr;
    return g_streams[handle - 1].get();
}

std::unique_ptr<Stream> TakeStream(std::uint32_t handle) {
    std::lock_guard<std::mutex> guard(g_tableMutex);
    if (handle == 0 || handle > kMaxStreams) return nullptr;
    return std::move(g_streams[handle - 1]);
}

bool IsMpegSampleRate(int rate) {
    switch (rate) {
        case 8000:
        case 11025:
        case 12000:
        case 16000:
        case 22050:
        case 24000:
        case 32000:
        case 44100:
        case 48000:
            return true;
        default:
            return false;
    }
}

bool WriteAll(std::FILE* file, const unsigned char* data, int length) {
    if (length < 0) return false;
    if (length == 0) return true;
    return std::fwrite(data, 1, static_cast<std::size_t>(length), file) ==
           static_cast<std::size_t>(length);
}

// Worst-case MP3 output for a number of samples per channel (libmp3lame's own bound).
std::size_t Mp3BufferSize(std::size_t samplesPerChannel) {
    return samplesPerChannel + samplesPerChannel / 4 + 7200;
}

}  // namespace

ORVAM_EXPORT std::int32_t DLL_ORVAM_A() {
    return kInterfaceVersion;
}

ORVAM_EXPORT std::uint32_t DLL_ORVAM_B(const char* target, std::uint32_t* stream,
                                       std::int32_t bitRate, std::int32_t channelMode,
                                       std::int32_t sampleRate) {
    if (!target || !stream || bitRate <= 0 || sampleRate <= 0) return 0;
    MPEG_mode mode;
    int channels = 2;
    switch (channelMode) {
        case 0:
            mode = STEREO;
            break;
        case 1:
            mode = JOINT_STEREO;
            break;
        case 2:
            mode = DUAL_CHANNEL;
            break;
        case 3:
            mode = MONO;
            channels = 1;
            break;
        default:
            return 0;
    }

    auto s = std::make_unique<Stream>();
    s->channels = channels;
    s->lame = lame_init();
    if (!s->lame) return 0;
    lame_set_num_channels(s->lame, channels);
    lame_set_in_samplerate(s->lame, sampleRate);
    // Encode at the rate given when MP3 has it; otherwise the encoder picks the nearest.
    if (IsMpegSampleRate(sampleRate)) lame_set_out_samplerate(s->lame, sampleRate);
    lame_set_mode(s->lame, mode);
    lame_set_VBR(s->lame, vbr_off);
    lame_set_brate(s->lame, bitRate);
    lame_set_bWriteVbrTag(s->lame, 1);  // reserve the first frame for the info tag
    lame_set_write_id3tag_automatic(s->lame, 0);
    if (lame_init_params(s->lame) < 0) return 0;

    // The target is created only once the encoder has accepted the settings.
    s->file = std::fopen(target, "wb");
    if (!s->file) return 0;
    const std::uint32_t e = static_cast<std::uint32_t>(lame_get_framesize(s->lame)) *
                            static_cast<std::uint32_t>(channels);
    s->mp3.resize(Mp3BufferSize(e));

    const std::uint32_t handle = AddStream(std::move(s));
    if (handle == 0) {
        std::remove(target);  // the stream table was full: leave no empty target behind
        return 0;
    }
    *stream = handle;
    return e;
}

ORVAM_EXPORT std::int32_t DLL_ORVAM_C(std::uint32_t stream, const std::int16_t* values,
                                      std::uint32_t count) {
    Stream* s = FindStream(stream);
    if (!s) return 0;
    if (count == 0) return 1;
    if (!values) {
        TakeStream(stream);
        return 0;
    }
    // A stray value after the last whole stereo pair is not a sample and is dropped.
    const std::size_t perChannel = count / static_cast<std::uint32_t>(s->channels);
    if (s->mp3.size() < Mp3BufferSize(perChannel)) s->mp3.resize(Mp3BufferSize(perChannel));
    // libmp3lame's interfaces take non-const pointers but do not write through them.
    short* pcm = const_cast<short*>(reinterpret_cast<const short*>(values));
    int written;
    if (s->channels == 1) {
        written = lame_encode_buffer(s->lame, pcm, pcm, static_cast<int>(perChannel), s->mp3.data(),
                                     static_cast<int>(s->mp3.size()));
    } else {
        written = lame_encode_buffer_interleaved(s->lame, pcm, static_cast<int>(perChannel),
                                                 s->mp3.data(), static_cast<int>(s->mp3.size()));
    }
    if (!WriteAll(s->file, s->mp3.data(), written)) {
        // The caller closes nothing after a failed chunk, so the stream is released here.
        TakeStream(stream);
        return 0;
    }
    return 1;
}

ORVAM_EXPORT std::int32_t DLL_ORVAM_D(std::uint32_t stream) {
    std::unique_ptr<Stream> s = TakeStream(stream);
    if (!s) return 0;
    bool ok = true;
    const int flushed = lame_encode_flush(s->lame, s->mp3.data(), static_cast<int>(s->mp3.size()));
    ok = WriteAll(s->file, s->mp3.data(), flushed);
    // The info tag replaces the blank first frame the encoder reserved, so players see
    // the real duration and the encoder delay.
    unsigned char tag[2880];
    const std::size_t tagSize = lame_get_lametag_frame(s->lame, tag, sizeof tag);
    if (ok && tagSize > 0 && tagSize <= sizeof tag) {
        ok = std::fseek(s->file, 0, SEEK_SET) == 0 &&
             std::fwrite(tag, 1, tagSize, s->file) == tagSize;
    }
    if (std::fclose(s->file) != 0) ok = false;
    s->file = nullptr;
    return ok ? 1 : 0;
}
