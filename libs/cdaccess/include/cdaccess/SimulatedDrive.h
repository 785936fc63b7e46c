// A drive held in memory, for tests: audio of any length, a table of contents of
// any shape, scripted read errors, seek jitter and a drive that is not ready.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "cdaccess/Drive.h"

namespace cdaccess {

class SimulatedDrive : public Drive {
  public:
    // `disc` holds every frame of the disc from address 0 (frames x 2352 bytes).
    explicit SimulatedDrive(std::vector<unsigned char> disc, std::string name = "Simulated drive");

    // A table of contents: the tracks in order (numbered from firstTrack) and the lead-out.
    void SetToc(const DiscToc& toc);
    // Audio tracks laid end to end from address 0, with these lengths in frames.
    void SetAudioTracks(const std::vector<std::uint32_t>& lengths, std::uint8_t firstTrack = 1);
    // The next `tries` reads that cover frame `lba` return 4.
    void ScriptReadError(std::uint32_t lba, int tries);
    // Frame `lba` reads right the first time only: every later read that covers it
    // returns it with one sample changed (a disc that does not read the same twice).
    void ScriptUnstableFrame(std::uint32_t lba);
    // A read that does not start where the previous one ended (a seek) lands
    // `samples` stereo samples off: later on the disc when positive. A read that
    // continues the previous one, and the drive's very first read, land exactly.
    void SetSeekJitter(int samples);
    // A drive that is not ready fails every read with 4, and TestUnitReady says 4.
    void SetReady(bool ready);
    // Fails Open (no disc can be used at all).
    void SetOpenFails(bool fails);

    struct ReadCall {
        std::uint32_t lba;
        std::uint32_t count;
        int result;
    };
    std::vector<ReadCall> Reads() const;
    void ClearReads();
    const std::vector<unsigned char>& Disc() const { return disc_; }
    std::uint32_t Frames() const { return static_cast<std::uint32_t>(disc_.size() / 2352); }

    // Deterministic audio that never repeats itself within a disc: a mix of tones
    // and pseudo-random noise, so that a shifted or repeated sample shows.
    static std::vector<unsigned char> MakeTestAudio(std::uint32_t frames, std::uint32_t seed = 1);

    std::string Name() const override;
    bool Open() override;
    bool ReadToc(DiscToc& toc) override;
    int ReadFrames(std::uint32_t lba, std::uint32_t count, unsigned char* out) override;
    bool Ready() override;

  private:
    mutable std::mutex mutex_;
    std::vector<unsigned char> disc_;
    std::string name_;
    DiscToc toc_;
    std::map<std::uint32_t, int> errors_;
    std::map<std::uint32_t, int> unstable_;  // frame -> reads that covered it so far
    int jitter_ = 0;
    bool ready_ = true;
    bool openFails_ = false;
    bool haveLast_ = false;
    std::uint32_t lastEnd_ = 0;
    std::vector<ReadCall> reads_;
};

}  // namespace cdaccess
