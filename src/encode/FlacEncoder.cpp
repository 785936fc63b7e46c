#include "encode/FlacEncoder.h"

#include <FLAC/stream_encoder.h>

#include <sys/types.h>
#include <cerrno>
#include <cstring>
#include <vector>

namespace encode {

namespace {

// The bytes of audio handed over per call, as for a WAV file.
constexpr std::size_t kFlacPieceBytes = 32656;

class FlacEncoder : public Encoder {
  public:
    explicit FlacEncoder(const EncoderSettings& settings) : level_(settings.flacLevel) {
        if (level_ < core::kMinFlacLevel || level_ > core::kMaxFlacLevel)
            level_ = core::kDefaultFlacLevel;
    }
    ~FlacEncoder() override { Abort(); }

    Start Begin(FILE*& file, const TrackFacts& facts) override {
        file_ = file;
        encoder_ = FLAC__stream_encoder_new();
        if (!encoder_) {
            problem_ = "out of memory";
            return Start::OutputFailed;
        }
        const bool set =
            FLAC__stream_encoder_set_verify(encoder_, true) &&
            FLAC__stream_encoder_set_channels(encoder_, 2) &&
            FLAC__stream_encoder_set_bits_per_sample(encoder_, 16) &&
            FLAC__stream_encoder_set_sample_rate(encoder_, 44100) &&
            FLAC__stream_encoder_set_compression_level(encoder_, level_) &&
            FLAC__stream_encoder_set_total_samples_estimate(encoder_, facts.pcmBytes / kPairBytes);
        errno = 0;
        if (!set || FLAC__stream_encoder_init_stream(encoder_, OnWrite, OnSeek, OnTell, nullptr,
                                                     this) != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            NoteFailure();
            return Start::OutputFailed;
        }
        return Start::Ok;
    }

    std::size_t ChunkBytes() const override { return kFlacPieceBytes; }

    bool Write(const unsigned char* pcm, std::size_t bytes) override {
        // A piece may end inside a stereo pair: its bytes wait for the next piece.
        samples_.resize((carried_ + bytes) / kPairBytes * 2);
        FLAC__int32* out = samples_.data();
        std::size_t i = 0;
        if (carried_ > 0) {
            while (carried_ < kPairBytes && i < bytes) carry_[carried_++] = pcm[i++];
            if (carried_ < kPairBytes) return true;
            *out++ = static_cast<std::int16_t>(carry_[0] | carry_[1] << 8);
            *out++ = static_cast<std::int16_t>(carry_[2] | carry_[3] << 8);
            carried_ = 0;
        }
        for (; i + kPairBytes <= bytes; i += kPairBytes) {
            *out++ = static_cast<std::int16_t>(pcm[i] | pcm[i + 1] << 8);
            *out++ = static_cast<std::int16_t>(pcm[i + 2] | pcm[i + 3] << 8);
        }
        while (i < bytes) carry_[carried_++] = pcm[i++];
        const auto frames = static_cast<std::uint32_t>((out - samples_.data()) / 2);
        errno = 0;
        if (frames == 0 ||
            FLAC__stream_encoder_process_interleaved(encoder_, samples_.data(), frames))
            return true;
        NoteFailure();
        return false;
    }

    // Encodes what libFLAC still holds and rewrites STREAMINFO (the real number of
    // samples and the MD5 of the audio). A part pair at the very end is dropped: the
    // disc's audio always ends on a whole pair.
    bool Finish() override {
        errno = 0;
        const bool ok = FLAC__stream_encoder_finish(encoder_) != 0;
        if (!ok) NoteFailure();
        FLAC__stream_encoder_delete(encoder_);
        encoder_ = nullptr;
        return ok;
    }

    // Deleting an encoder that is not finished writes nothing more.
    void Abort() override {
        if (encoder_) FLAC__stream_encoder_delete(encoder_);
        encoder_ = nullptr;
    }

  private:
    // The reason of a failure: the system's (errno, kept from the failed write) for
    // an I/O error, otherwise libFLAC's state, a verify mismatch among them.
    void NoteFailure() {
        if (writeErrno_ != 0) {
            errno = writeErrno_;
            return;
        }
        const FLAC__StreamEncoderState state = FLAC__stream_encoder_get_state(encoder_);
        problem_ = std::string("FLAC encoder: ") + FLAC__StreamEncoderStateString[state];
        errno = 0;
    }

    static FLAC__StreamEncoderWriteStatus OnWrite(const FLAC__StreamEncoder*,
                                                  const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                  uint32_t, void* self) {
        auto* e = static_cast<FlacEncoder*>(self);
        errno = 0;
        if (std::fwrite(buffer, 1, bytes, e->file_) == bytes)
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        e->writeErrno_ = errno != 0 ? errno : EIO;
        return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
    }
    static FLAC__StreamEncoderSeekStatus OnSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                void* self) {
        auto* e = static_cast<FlacEncoder*>(self);
        errno = 0;
        if (fseeko(e->file_, static_cast<off_t>(offset), SEEK_SET) == 0)
            return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
        e->writeErrno_ = errno != 0 ? errno : EIO;
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }
    static FLAC__StreamEncoderTellStatus OnTell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                void* self) {
        auto* e = static_cast<FlacEncoder*>(self);
        const off_t at = ftello(e->file_);
        if (at < 0) return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
        *offset = static_cast<FLAC__uint64>(at);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    int level_;
    FILE* file_ = nullptr;
    FLAC__StreamEncoder* encoder_ = nullptr;
    std::vector<FLAC__int32> samples_;
    unsigned char carry_[kPairBytes] = {};
    std::size_t carried_ = 0;
    int writeErrno_ = 0;
};

}  // namespace

std::unique_ptr<Encoder> CreateFlacEncoder(const EncoderSettings& settings) {
    return std::make_unique<FlacEncoder>(settings);
}

}  // namespace encode
