// The encoder interface: what the rip's writer drives to turn one track's audio into
// one output file, whatever its format. The disc's audio arrives as interleaved
// little-endian 16-bit stereo pairs at 44100 Hz.
//
// The life of an encoder, one track long:
//   Begin   with the track's facts and its file, open for update at its start;
//   Write   the track's audio piece by piece, in the order it was read;
//   Finish  completes a valid file from what was written (the whole track, or the
//           part before a stop or a read error), or
//   Abort   gives up: the file is going to be removed, only resources are released.
// Exactly one of Finish and Abort ends a track that began. An encoder is used by one
// thread at a time (created and begun by the engine, then handed to the writer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/Channels.h"
#include "core/Settings.h"

namespace encode {

// The MP3 settings of every rip: 192 kbit/s (the minimum under VBR) unless the rate
// setting says otherwise, up to 320 kbit/s, VBR quality 5 with its info tag.
inline constexpr std::uint32_t kMp3Bitrate = 192;
inline constexpr std::int32_t kLamePreset = 2;
inline constexpr int kVbrEnabled = 1;
inline constexpr int kVbrHeaderEnabled = 1;
inline constexpr int kVbrQuality = 5;

// The bytes of one stereo pair of the disc's audio.
inline constexpr std::size_t kPairBytes = 4;

// What an encoder is told of the track it writes.
struct TrackFacts {
    std::uint64_t pcmBytes = 0;  // the track's whole audio, in bytes of stereo pairs
    std::string path;            // the file's name on disk while it is written
};

// The rip's choices; each encoder reads what applies to its format.
struct EncoderSettings {
    std::uint32_t mp3Bitrate = kMp3Bitrate;  // kbit/s
    core::Channels channels = core::Channels::Stereo;
    int flacLevel = core::kDefaultFlacLevel;  // 0..8
};

class Encoder {
  public:
    // How Begin went: an output failure is the file's, an encoder failure the
    // encoder's own refusal to start.
    enum class Start { Ok, OutputFailed, EncoderFailed };

    virtual ~Encoder() = default;

    // Begins the file. `file` stays the encoder's until Finish or Abort returns;
    // Finish may close and reopen it (it is then set to the new stream, or to null
    // when that failed).
    virtual Start Begin(FILE*& file, const TrackFacts& facts) = 0;
    // The bytes of audio the writer hands to each Write: at most this many, and with
    // WholeChunks exactly this many except for the track's last piece.
    virtual std::size_t ChunkBytes() const = 0;
    virtual bool WholeChunks() const { return false; }
    // Takes `bytes` of stereo pairs. False when the output failed; errno then holds
    // the system's reason where there is one, Problem() the encoder's.
    virtual bool Write(const unsigned char* pcm, std::size_t bytes) = 0;
    // Completes the file from what was written. False when that failed.
    virtual bool Finish() = 0;
    // Releases the encoder's resources without completing the file.
    virtual void Abort() = 0;
    // Whether a file to which no audio was written is still a valid file of its
    // format (a WAV header of no audio is; an MP3 stream with no frame is not).
    virtual bool ValidWhenEmpty() const { return true; }

    // The encoder's own reason for the last failure (empty when the system's errno
    // tells it, or when nothing failed).
    const std::string& Problem() const { return problem_; }

  protected:
    std::string problem_;
};

}  // namespace encode
