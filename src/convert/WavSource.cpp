#include "convert/WavSource.h"

#include <cmath>
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

constexpr std::uint32_t kSizeUnknown = 0xFFFFFFFFu;

std::int16_t Clip16(std::int64_t v) {
    return static_cast<std::int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

// Which sample layouts the converter reads: PCM of 8, 16, 24 or 32 bits, 32-bit float.
bool SupportedSamples(const WavSourceFormat& f) {
    if (f.formatTag == kWavFormatPcm)
        return f.bitsPerSample == 8 || f.bitsPerSample == 16 || f.bitsPerSample == 24 ||
               f.bitsPerSample == 32;
    return f.formatTag == kWavFormatFloat && f.bitsPerSample == 32;
}

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
            // An extensible format names its real format in the first two bytes of its
            // sub-format identifier. Its valid-bits field is not needed: narrower
            // samples are stored in the high bits of their container.
            if (format->formatTag == kWavFormatExtensible && size >= 26) {
                const std::uint16_t sub = Le16(fmt + 24);
                if (sub == kWavFormatPcm || sub == kWavFormatFloat) format->formatTag = sub;
            }
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0 && !haveData) {
            format->dataOffset = body;
            format->declaredLength = size;
            const std::uint64_t held = fileSize - body;
            if (size == kSizeUnknown) {
                format->dataLength = held;
            } else {
                format->dataLength = size <= held ? size : held;
                format->truncated = size > held;
            }
            haveData = true;
        }
        pos = body + size + (size & 1);
    }
    if (!haveFormat) return WavSourceResult::NoFormat;
    if (!haveData) return WavSourceResult::NoData;
    if (!SupportedSamples(*format) || (format->channels != 1 && format->channels != 2) ||
        format->samplesPerSecond == 0) {
        return WavSourceResult::Unsupported;
    }
    format->bytesPerValue = static_cast<std::uint16_t>(format->bitsPerSample / 8);
    const std::uint64_t frameBytes = std::uint64_t{format->bytesPerValue} * format->channels;
    // Samples are read packed, one frame after another; a file whose frames are laid
    // out otherwise would read as noise. (0 is a writer's omission: packed.)
    if (format->blockAlign != 0 && format->blockAlign != frameBytes)
        return WavSourceResult::BlockAlign;
    // A file that ends inside a sample frame was cut short as well.
    if (format->dataLength % frameBytes != 0) format->truncated = true;
    format->dataLength -= format->dataLength % frameBytes;
    return WavSourceResult::Ok;
}

std::string DescribeWavSourceProblem(WavSourceResult result, const WavSourceFormat& f) {
    switch (result) {
        case WavSourceResult::Ok:
            return f.truncated ? "the file is truncated: its data chunk declares " +
                                     std::to_string(f.declaredLength) + " bytes, the file holds " +
                                     std::to_string(f.dataLength)
                               : "";
        case WavSourceResult::NotWave:
            return "not a WAV file (no RIFF/WAVE header)";
        case WavSourceResult::NoFormat:
            return "the WAV file has no complete format chunk";
        case WavSourceResult::NoData:
            return "the WAV file has no data chunk";
        case WavSourceResult::BlockAlign:
            return std::to_string(f.bitsPerSample) + "-bit samples in blocks of " +
                   std::to_string(f.blockAlign) + " bytes for " + std::to_string(f.channels) +
                   (f.channels == 1 ? " channel" : " channels") + " (" +
                   std::to_string(f.channels * f.bytesPerValue) +
                   " when packed): without the extensible format it is not known where each "
                   "sample sits in its block";
        case WavSourceResult::Unsupported:
            break;
    }
    if (f.channels != 1 && f.channels != 2)
        return std::to_string(f.channels) +
               " channels: only one- and two-channel sources can be converted";
    if (f.samplesPerSecond == 0) return "the WAV file gives a sample rate of 0";
    if (f.formatTag == kWavFormatPcm)
        return std::to_string(f.bitsPerSample) +
               "-bit PCM is not supported (8, 16, 24 and 32-bit PCM are)";
    if (f.formatTag == kWavFormatFloat)
        return std::to_string(f.bitsPerSample) +
               "-bit floating point is not supported (32-bit floating point is)";
    char tag[8];
    std::snprintf(tag, sizeof tag, "0x%04X", static_cast<unsigned>(f.formatTag));
    return std::string("sample format ") + tag +
           " is not supported (only PCM and floating point are)";
}

void ReduceTo16Bits(const unsigned char* bytes, std::size_t count, const WavSourceFormat& format,
                    std::int16_t* out) {
    const unsigned char* p = bytes;
    if (format.formatTag == kWavFormatFloat) {
        for (std::size_t i = 0; i < count; ++i, p += 4) {
            const std::uint32_t bits = Le32(p);
            float v;
            std::memcpy(&v, &bits, sizeof v);
            // NaN compares false both ways and becomes silence.
            const double scaled = v == v ? std::nearbyint(static_cast<double>(v) * 32768.0) : 0.0;
            out[i] = scaled >= 32767.0    ? 32767
                     : scaled <= -32768.0 ? -32768
                                          : static_cast<std::int16_t>(scaled);
        }
        return;
    }
    switch (format.bytesPerValue) {
        case 1:
            for (std::size_t i = 0; i < count; ++i)
                out[i] = static_cast<std::int16_t>((static_cast<int>(p[i]) - 128) * 256);
            break;
        case 2:
            for (std::size_t i = 0; i < count; ++i, p += 2)
                out[i] = static_cast<std::int16_t>(Le16(p));
            break;
        case 3:
            // Half a 16-bit step rounds up (toward positive); the largest values round
            // up past 32767 and are clipped.
            for (std::size_t i = 0; i < count; ++i, p += 3) {
                const std::int32_t v = static_cast<std::int32_t>((std::uint32_t{p[0]} << 8) |
                                                                 (std::uint32_t{p[1]} << 16) |
                                                                 (std::uint32_t{p[2]} << 24)) /
                                       256;
                out[i] = Clip16((std::int64_t{v} + 128) >> 8);
            }
            break;
        case 4:
            for (std::size_t i = 0; i < count; ++i, p += 4) {
                const auto v = static_cast<std::int32_t>(Le32(p));
                out[i] = Clip16((std::int64_t{v} + 32768) >> 16);
            }
            break;
        default:
            std::memset(out, 0, count * sizeof *out);
            break;
    }
}

}  // namespace convert
