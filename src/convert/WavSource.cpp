#include "convert/WavSource.h"

#include <cstring>

namespace convert {

namespace {

std::uint16_t Le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool ReadAt(std::FILE* file, std::uint64_t offset, void* into, std::size_t size) {
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
    return std::fread(into, 1, size, file) == size;
}

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

}  // namespace

WavSourceResult ReadWavSource(std::FILE* file, WavSourceFormat* format) {
    *format = WavSourceFormat{};
    if (std::fseek(file, 0, SEEK_END) != 0) return WavSourceResult::NotWave;
    const long end = std::ftell(file);
    if (end < 12) return WavSourceResult::NotWave;
    const std::uint64_t fileSize = static_cast<std::uint64_t>(end);

    unsigned char riff[12];
    if (!ReadAt(file, 0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return WavSourceResult::NotWave;
    }

    bool haveFormat = false;
    bool haveData = false;
    std::uint64_t pos = 12;
    while (pos + 8 <= fileSize && !(haveFormat && haveData)) {
        unsigned char head[8];
        if (!ReadAt(file, pos, head, sizeof head)) break;
        const std::uint64_t size = Le32(head + 4);
        const std::uint64_t body = pos + 8;
        if (std::memcmp(head, "fmt ", 4) == 0 && !haveFormat) {
            unsigned char fmt[26] = {};
            const std::size_t want = size >= 26 ? 26 : 16;
            if (size < 16 || body + want > fileSize || !ReadAt(file, body, fmt, want)) {
                return WavSourceResult::NoFormat;
            }
            format->formatTag = Le16(fmt);
            format->channels = Le16(fmt + 2);
            format->samplesPerSecond = Le32(fmt + 4);
            format->bytesPerSecond = Le32(fmt + 8);
            format->blockAlign = Le16(fmt + 12);
            format->bitsPerSample = Le16(fmt + 14);
            // An extensible format names its real format in the first two bytes of
            // its sub-format identifier.
            if (format->formatTag == kFormatExtensible && size >= 26 &&
                Le16(fmt + 24) == kFormatPcm) {
                format->formatTag = kFormatPcm;
            }
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0 && !haveData) {
            format->dataOffset = body;
            format->dataLength = body + size <= fileSize ? size : fileSize - body;
            haveData = true;
        }
        pos = body + size + (size & 1);
    }
    if (!haveFormat) return WavSourceResult::NoFormat;
    if (!haveData) return WavSourceResult::NoData;
    if (format->formatTag != kFormatPcm || format->bitsPerSample != 16 ||
        (format->channels != 1 && format->channels != 2) || format->samplesPerSecond == 0) {
        return WavSourceResult::Unsupported;
    }
    const std::uint64_t frameBytes = 2u * format->channels;
    format->dataLength -= format->dataLength % frameBytes;
    return WavSourceResult::Ok;
}

}  // namespace convert
