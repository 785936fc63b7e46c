// One track's audio on its way from the disc read to an encoder that may start later:
// held in memory while the rip's shared memory bound allows, the rest in a temporary
// file beside the track's output. The reader side appends, then one encoder reads it
// back once, in order; memory read back is given back to the bound at once, so a
// lagging encoder never holds more than the bound.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>

namespace rip {

// The memory every spool of a rip may hold at once, in bytes.
class SpoolBudget {
  public:
    explicit SpoolBudget(std::size_t limit) : limit_(limit) {}
    // Takes `bytes` when they fit under the limit.
    bool Take(std::size_t bytes);
    void Give(std::size_t bytes) { used_.fetch_sub(bytes); }
    std::size_t Used() const { return used_.load(); }

  private:
    const std::size_t limit_;
    std::atomic<std::size_t> used_{0};
};

class TrackSpool {
  public:
    // Memory in blocks of this size.
    static constexpr std::size_t kBlockBytes = 1 << 20;

    // `tempPath` names the file the spool overflows into; it is made only when needed
    // and removed with the spool.
    TrackSpool(SpoolBudget& budget, std::string tempPath);
    ~TrackSpool();
    TrackSpool(const TrackSpool&) = delete;
    TrackSpool& operator=(const TrackSpool&) = delete;

    // Appends audio; false when the temporary file could not be written (errno says why).
    bool Append(const unsigned char* data, std::size_t bytes);
    // Ends the appending: the temporary file, when there is one, is flushed for reading.
    bool EndAppending();
    // Reads the next bytes in the order they were appended; 0 at the end, or when the
    // temporary file failed (Failed() then says so).
    std::size_t Read(unsigned char* out, std::size_t max);
    bool Failed() const { return failed_; }
    std::uint64_t Bytes() const { return bytes_; }
    bool OnDisk() const { return file_ != nullptr; }

  private:
    SpoolBudget& budget_;
    const std::string tempPath_;
    // Memory blocks in order; the last may be partly filled. Once a byte has gone to
    // the file, every later byte does too.
    std::deque<std::unique_ptr<unsigned char[]>> blocks_;
    std::size_t lastFill_ = kBlockBytes;  // bytes in the last block
    std::size_t readInFirst_ = 0;         // bytes already read from the first block
    std::FILE* file_ = nullptr;
    std::uint64_t fileBytes_ = 0, fileRead_ = 0;
    std::uint64_t bytes_ = 0;
    bool failed_ = false;
};

}  // namespace rip
