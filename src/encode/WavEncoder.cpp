#include "encode/WavEncoder.h"

#include <atomic>

#include "encode/WavHeader.h"

namespace encode {

namespace {

constexpr std::size_t kWavPieceBytes = 32656;
constexpr std::uint32_t kFlushEvery = 20480;

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

class WavEncoder : public Encoder {
  public:
    Start Begin(FILE*& file, const TrackFacts&) override {
        file_ = file;
        return WriteWavHeader(file_, 0) && std::fflush(file_) == 0 ? Start::Ok
                                                                   : Start::OutputFailed;
    }
    std::size_t ChunkBytes() const override { return kWavPieceBytes; }
    bool Write(const unsigned char* pcm, std::size_t bytes) override {
        const std::size_t taken = WriteWithFlush(file_, pcm, bytes);
        stored_ += static_cast<std::uint32_t>(taken);
        return taken == bytes;
    }
    // The header now gives the length of the audio stored.
    bool Finish() override { return WriteWavHeader(file_, stored_); }
    void Abort() override {}

  private:
    FILE* file_ = nullptr;
    std::uint32_t stored_ = 0;
};

}  // namespace

std::unique_ptr<Encoder> CreateWavEncoder(const EncoderSettings&) {
    return std::make_unique<WavEncoder>();
}

}  // namespace encode
