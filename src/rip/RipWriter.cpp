// The writer thread of a rip: takes the audio the reader queued in the ring and
// stores it in the WAV file or encodes it to MP3, posting progress in bytes of CD
// audio to the dialog's percent bar.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/Messages.h"
#include "platform/WindowMessages.h"
#include "rip/RipEngine.h"
#include "rip/WavHeader.h"

namespace rip {

namespace {

constexpr std::int32_t kWavPieceBytes = 32656;
constexpr std::uint32_t kFlushEvery = 20480;
constexpr std::uint32_t kIdleWaitMs = 10;

// Bytes written through WriteWithFlush since the last flush, shared by all files.
std::atomic<std::uint32_t> g_unflushed{0};

// Writes count bytes and flushes the file once more than 20480 bytes have gone
// out since the last flush. Returns the number of bytes fwrite took, or 0 when
// the flush failed (so that the caller sees the failure).
std::size_t WriteWithFlush(FILE* file, const unsigned char* data, std::size_t count) {
    const std::uint32_t total = g_unflushed.fetch_add(static_cast<std::uint32_t>(count)) +
                                static_cast<std::uint32_t>(count);
    const std::size_t written = std::fwrite(data, 1, count, file);
    if (total > kFlushEvery) {
        g_unflushed = 0;
        if (std::fflush(file) != 0) return 0;
    }
    return written;
}

// Progress of one track in bytes of CD audio taken from the ring.
class Progress {
  public:
    Progress(platform::WindowHandle bar, RipEngine::WriterObserver afterPiece)
        : bar_(bar), afterPiece_(std::move(afterPiece)) {}
    // Called once per piece taken from the ring.
    void Report(std::uint32_t count) {
        total_ += count;
        if (total_ != 0) platform::PostMessage(bar_, core::PBX_DELTAPOS, count, 0);
        if (afterPiece_) afterPiece_();
    }

  private:
    platform::WindowHandle bar_;
    RipEngine::WriterObserver afterPiece_;
    std::uint64_t total_ = 0;
};

void Fail(RipSession* s, std::int32_t reason) {
    std::int32_t running = kEndRunning;
    s->endReason.compare_exchange_strong(running, reason);
    s->sessionEvent.Set();  // wake the reader if it waits for room
}

// An output failure, with the system's reason when it gave one (the first is kept).
void FailOutput(RipSession* s) {
    if (s->outputProblem.empty() && errno != 0) s->outputProblem = std::strerror(errno);
    Fail(s, kEndOutputError);
}

// The record's channel mode: stereo, or mono for any single-channel choice.
int ModeFor(const RipSession* s) {
    return s->channel == kChannelStereo ? kBeModeStereo : kBeModeMono;
}

// The LAME form of the configuration record: the rip's fixed settings with the
// track's bit rate and channel mode.
void FillLameConfig(BeConfig& c, const RipSession* s) {
    std::memset(&c, 0, sizeof c);
    c.kind = kBeConfigLame;
    BeConfigLame& l = c.format.lame;
    l.structVersion = 1;
    l.structSize = sizeof(BeConfig);
    l.sampleRate = 44100;
    l.reSampleRate = 0;
    l.mode = ModeFor(s);
    l.bitrate = s->mp3Bitrate;
    l.maxBitrate = 320;
    l.preset = kLamePreset;
    l.mpegVersion = kBeMpeg1;
    l.writeVbrHeader = kVbrHeaderEnabled;
    l.enableVbr = kVbrEnabled;
    l.vbrQuality = kVbrQuality;
}

// The plain MP3 form: for BladeEnc, and for a LAME module too old for its own form.
void FillBasicConfig(BeConfig& c, const RipSession* s) {
    std::memset(&c, 0, sizeof c);
    c.kind = kBeConfigMp3;
    c.format.mp3.sampleRate = 44100;
    c.format.mp3.mode = static_cast<std::uint8_t>(ModeFor(s));
    c.format.mp3.bitrate = static_cast<std::uint16_t>(s->mp3Bitrate);
}

/*
 * Turns interleaved stereo pairs (the disc's little-endian 16-bit left, right
 * values) into one channel: the left or the right value alone, or both mixed.
 *   pairs: the ring's bytes; bytes: their count (a trailing part pair is ignored);
 *   out: room for bytes / 4 samples. Returns the number of samples written.
 */
std::uint32_t ToMono(const unsigned char* pairs, std::int32_t bytes, std::int32_t channel,
                     std::int16_t* out) {
    const std::int32_t count = bytes / 4;
    for (std::int32_t i = 0; i < count; ++i) {
        const unsigned char* p = pairs + 4 * i;
        const auto left = static_cast<std::int16_t>(p[0] | p[1] << 8);
        const auto right = static_cast<std::int16_t>(p[2] | p[3] << 8);
        if (channel == kChannelLeft)
            out[i] = left;
        else if (channel == kChannelRight)
            out[i] = right;
        else
            out[i] = static_cast<std::int16_t>((left + right) / 2);
    }
    return static_cast<std::uint32_t>(count);
}

// Whether the loop should end: the reader aborted, or it finished and everything
// it queued has been taken. readerFinished is read before the ring's count, so a
// last piece queued just before the flag was set is never left behind.
bool ShouldLeave(RipSession* s, bool& finished, std::int32_t& used) {
    if (s->abortWriter) return true;
    finished = s->readerFinished.load(std::memory_order_acquire) != 0;
    used = RingUsedBytes(&s->ring);
    return used == 0 && finished;
}

// What the writer did with one track.
struct Written {
    bool complete = false;  // the whole track reached the file
    bool audio = false;     // the file holds some of the track's audio
};

// Stores the audio behind the WAV header; returns the bytes stored.
std::uint32_t RunWav(RipSession* s, Progress& progress, Written& written) {
    std::vector<unsigned char> buffer(kWavPieceBytes);
    std::uint32_t stored = 0;
    bool finished = false;
    std::int32_t used = 0;
    while (!ShouldLeave(s, finished, used)) {
        if (used == 0) {
            s->dataEvent.Wait(kIdleWaitMs);
            continue;
        }
        std::int32_t n;
        while ((n = RingRead(&s->ring, buffer.data(), kWavPieceBytes)) > 0) {
            errno = 0;
            const std::size_t taken =
                WriteWithFlush(s->outputFile, buffer.data(), static_cast<std::size_t>(n));
            stored += static_cast<std::uint32_t>(taken);
            progress.Report(static_cast<std::uint32_t>(n));
            if (taken != static_cast<std::size_t>(n)) {
                FailOutput(s);
                return stored;
            }
        }
    }
    written.complete = !s->abortWriter && finished && used == 0;
    written.audio = stored > 0;
    return stored;
}

// Encodes the audio chunk by chunk. Returns false when the encoder did not start.
bool RunMp3(RipSession* s, Progress& progress, Written& written) {
    const EncoderEntries& e = s->encoder;
    BeConfig config;
    const bool lameForm = s->encoderType == kEncoderLame && !s->basicEncoderConfig;
    if (lameForm)
        FillLameConfig(config, s);
    else
        FillBasicConfig(config, s);
    std::uint32_t samples = 0, outSize = 0;
    BeStream stream = 0;
    if (e.initStream(&config, &samples, &outSize, &stream) != kBeOk || samples == 0) {
        if (stream) e.closeStream(stream);
        return false;
    }
    // samples counts the encoder's 16-bit values per chunk over its own channels;
    // the ring holds stereo pairs, so a mono chunk takes twice its size from it.
    const bool mono = ModeFor(s) == kBeModeMono;
    const std::int32_t chunkBytes = static_cast<std::int32_t>(samples * (mono ? 4 : 2));
    std::vector<unsigned char> pcm(static_cast<std::size_t>(chunkBytes));
    std::vector<std::int16_t> monoPcm(mono ? samples : 0);
    std::vector<std::uint8_t> out(std::max<std::uint32_t>(outSize, 1));
    bool encoded = false, ok = true;
    bool finished = false;
    std::int32_t used = 0;
    errno = 0;
    while (ok && !ShouldLeave(s, finished, used)) {
        if (used < chunkBytes && !finished) {
            s->dataEvent.Wait(kIdleWaitMs);
            continue;
        }
        const std::int32_t take = RingRead(&s->ring, pcm.data(), std::min(used, chunkBytes));
        std::uint32_t length = 0;
        std::uint32_t values = static_cast<std::uint32_t>(take / 2);
        const std::int16_t* input = reinterpret_cast<const std::int16_t*>(pcm.data());
        if (mono) {
            values = ToMono(pcm.data(), take, s->channel, monoPcm.data());
            input = monoPcm.data();
        }
        const BeErr err = e.encodeChunk(stream, values, input, out.data(), &length);
        ok = err == kBeOk && length <= out.size() &&
             std::fwrite(out.data(), 1, length, s->outputFile) == length;
        progress.Report(static_cast<std::uint32_t>(take));
        encoded = true;
    }
    if (encoded) {
        std::uint32_t length = 0;
        const BeErr err = e.deinitStream(stream, out.data(), &length);
        if (err != kBeOk || length > out.size()) ok = false;
        if (err == kBeOk && length != 0 && length <= out.size())
            ok = std::fwrite(out.data(), 1, length, s->outputFile) == length && ok;
    }
    // A stream that encoded nothing gets no tail, but it is still released.
    e.closeStream(stream);
    if (!ok) FailOutput(s);
    written.complete = ok && !s->abortWriter && finished && used == 0;
    written.audio = encoded;

    if (lameForm && kVbrEnabled && kVbrHeaderEnabled && e.writeVbrHeader) {
        errno = 0;
        const int closed = std::fclose(s->outputFile);
        s->outputFile = nullptr;
        if (closed != 0) FailOutput(s);
        e.writeVbrHeader(s->workPath.c_str());
        s->outputFile = std::fopen(s->workPath.c_str(), "ab");
    }
    return true;
}

// Gives the finished file its final name, or removes it. A file is kept when its
// output never failed and it holds the whole track or a part of it (a stop or a read
// error keeps the audio so far, as a valid file); a failed or empty file is removed,
// leaving anything already under the final name as it was. A track of no frames
// keeps its WAV file (a valid header of no audio) but has no MP3 file, since an MP3
// stream that encoded nothing holds no frame at all.
void SettleOutput(RipSession* s, const Written& written) {
    const std::int32_t reason = s->endReason.load();
    const bool failedOutput = reason == kEndOutputError || reason == kEndEncoderStart;
    if (!failedOutput && (written.audio || (written.complete && !s->mp3))) {
        if (std::rename(s->workPath.c_str(), s->outputPath.c_str()) == 0) return;
        FailOutput(s);
    }
    std::remove(s->workPath.c_str());
}

}  // namespace

// The writer thread. Ends by finishing the file (WAV header, encoder tail, info
// tag) even after a stop or a read error, so a partial file is valid, then closes it.
void RunWriterThread(RipSession* s, RipEngine::WriterObserver afterPiece) {
    Progress progress(s->progressWindow, std::move(afterPiece));
    Written written;
    if (s->mp3) {
        if (!RunMp3(s, progress, written)) {
            // Nothing was encoded: the empty file is closed and removed here.
            Fail(s, kEndEncoderStart);
        }
    } else {
        const std::uint32_t stored = RunWav(s, progress, written);
        errno = 0;
        if (!WriteWavHeader(s->outputFile, stored)) FailOutput(s);
    }
    if (s->outputFile) {
        errno = 0;
        if (std::fflush(s->outputFile) != 0 || std::ferror(s->outputFile)) FailOutput(s);
        if (std::fclose(s->outputFile) != 0) FailOutput(s);
        s->outputFile = nullptr;
    } else {
        FailOutput(s);  // the file could not be opened again after its info tag was written
    }
    SettleOutput(s, written);
    s->writerDone.Set();
}

}  // namespace rip
