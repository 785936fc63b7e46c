// A drive held in memory. Reads copy from the disc image in memory; the table of
// contents, read errors, seek jitter and readiness are set by the test.
#include "cdaccess/SimulatedDrive.h"

#include <cmath>
#include <cstring>

#include "cdaccess/CdAccess.h"

namespace cdaccess {

SimulatedDrive::SimulatedDrive(std::vector<unsigned char> disc, std::string name)
    : disc_(std::move(disc)), name_(std::move(name)) {
    disc_.resize((disc_.size() + kFrameBytes - 1) / kFrameBytes * kFrameBytes);
}

void SimulatedDrive::SetToc(const DiscToc& toc) {
    std::lock_guard<std::mutex> guard(mutex_);
    toc_ = toc;
}

void SimulatedDrive::SetAudioTracks(const std::vector<std::uint32_t>& lengths,
                                    std::uint8_t firstTrack) {
    DiscToc toc;
    toc.firstTrack = firstTrack;
    std::uint32_t lba = 0;
    std::uint8_t number = firstTrack;
    for (std::uint32_t length : lengths) {
        toc.tracks.push_back(TocTrack{number++, false, lba});
        lba += length;
    }
    toc.lastTrack = static_cast<std::uint8_t>(number - 1);
    toc.leadOut = lba;
    SetToc(toc);
}

void SimulatedDrive::ScriptReadError(std::uint32_t lba, int tries) {
    std::lock_guard<std::mutex> guard(mutex_);
    errors_[lba] = tries;
}

void SimulatedDrive::ScriptUnstableFrame(std::uint32_t lba) {
    std::lock_guard<std::mutex> guard(mutex_);
    unstable_[lba] = 0;
}

void SimulatedDrive::SetSeekJitter(int samples) {
    std::lock_guard<std::mutex> guard(mutex_);
    jitter_ = samples;
}

void SimulatedDrive::SetReady(bool ready) {
    std::lock_guard<std::mutex> guard(mutex_);
    ready_ = ready;
}

void SimulatedDrive::SetOpenFails(bool fails) {
    std::lock_guard<std::mutex> guard(mutex_);
    openFails_ = fails;
}

std::vector<SimulatedDrive::ReadCall> SimulatedDrive::Reads() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return reads_;
}

void SimulatedDrive::ClearReads() {
    std::lock_guard<std::mutex> guard(mutex_);
    reads_.clear();
}

std::string SimulatedDrive::Name() const {
    return name_;
}

bool SimulatedDrive::Open() {
    std::lock_guard<std::mutex> guard(mutex_);
    return !openFails_;
}

bool SimulatedDrive::ReadToc(DiscToc& toc) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!ready_ || toc_.tracks.empty()) return false;
    toc = toc_;
    return true;
}

bool SimulatedDrive::Ready() {
    std::lock_guard<std::mutex> guard(mutex_);
    return ready_;
}

// Reads `count` frames at frame address `lba`. A read that does not start where the
// previous successful read ended is misplaced by the jitter (in stereo samples of 4
// bytes); bytes that would come from outside the disc read as zero.
int SimulatedDrive::ReadFrames(std::uint32_t lba, std::uint32_t count, unsigned char* out) {
    std::lock_guard<std::mutex> guard(mutex_);
    auto record = [&](int result) {
        reads_.push_back(ReadCall{lba, count, result});
        return result;
    };
    if (!ready_ || !out) return record(kCdReadError);
    if (std::uint64_t{lba} + count > Frames()) return record(kCdReadError);
    bool failed = false;
    for (auto& [address, tries] : errors_) {
        if (address >= lba && address < lba + count && tries > 0) {
            --tries;
            failed = true;
        }
    }
    if (failed) return record(kCdReadError);

    const bool seek = haveLast_ && lba != lastEnd_;
    const std::int64_t shift = seek ? std::int64_t{jitter_} * 4 : 0;
    const std::int64_t from = std::int64_t{lba} * kFrameBytes + shift;
    const std::int64_t bytes = std::int64_t{count} * kFrameBytes;
    const std::int64_t size = static_cast<std::int64_t>(disc_.size());
    for (std::int64_t i = 0; i < bytes;) {
        const std::int64_t src = from + i;
        if (src < 0 || src >= size) {
            out[i++] = 0;
            continue;
        }
        const std::int64_t run = std::min(bytes - i, size - src);
        std::memcpy(out + i, disc_.data() + src, static_cast<std::size_t>(run));
        i += run;
    }
    for (auto& [address, reads] : unstable_) {
        if (address < lba || address >= lba + count) continue;
        if (reads++ > 0) out[std::size_t{address - lba} * kFrameBytes + 1000] ^= 0x5A;
    }
    haveLast_ = true;
    lastEnd_ = lba + count;
    return record(kCdOk);
}

std::vector<unsigned char> SimulatedDrive::MakeTestAudio(std::uint32_t frames, std::uint32_t seed) {
    std::vector<unsigned char> audio(std::size_t{frames} * kFrameBytes);
    std::uint32_t state = seed * 2654435761u + 0x9E3779B9u;
    const std::size_t samples = audio.size() / 4;
    for (std::size_t i = 0; i < samples; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const double t = static_cast<double>(i) / 44100.0;
        const double tone = 9000.0 * std::sin(2 * M_PI * (220.0 + 3.0 * (seed % 7)) * t);
        const int noise = static_cast<int>(state % 8001) - 4000;
        const auto left = static_cast<std::int16_t>(tone + noise);
        const auto right = static_cast<std::int16_t>(-tone * 0.5 + (noise >> 1) + 1234);
        audio[4 * i + 0] = static_cast<unsigned char>(left & 0xFF);
        audio[4 * i + 1] = static_cast<unsigned char>((left >> 8) & 0xFF);
        audio[4 * i + 2] = static_cast<unsigned char>(right & 0xFF);
        audio[4 * i + 3] = static_cast<unsigned char>((right >> 8) & 0xFF);
    }
    return audio;
}

}  // namespace cdaccess
