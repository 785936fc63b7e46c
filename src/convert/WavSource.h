// Finding the format and the audio of a WAV source file by walking its RIFF chunks,
// and reducing its samples to the 16-bit values the encoder module takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace convert {

inline constexpr std::uint16_t kWavFormatPcm = 1;
inline constexpr std::uint16_t kWavFormatFloat = 3;
inline constexpr std::uint16_t kWavFormatExtensible = 0xFFFE;

struct WavSourceFormat {
    // 1 PCM or 3 IEEE float; an extensible format is reported as its sub-format.
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t bytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    // Bytes of one sample value in the file: 1, 2, 3 or 4.
    std::uint16_t bytesPerValue = 0;
    // The audio bytes, as file offsets: from dataOffset, dataLength bytes. The length is
    // what the data chunk declares, cut at the end of the file and rounded down to whole
    // sample frames (channels x bytesPerValue).
    std::uint64_t dataOffset = 0;
    std::uint64_t dataLength = 0;
    // What the data chunk declares, and whether the file holds less than that (a file
    // cut short). A declared size of 0xFFFFFFFF, which streaming writers use when they
    // cannot go back, means "to the end of the file" and is never short.
    std::uint64_t declaredLength = 0;
    bool truncated = false;
};

enum class WavSourceResult {
    Ok,
    NotWave,      // no RIFF/WAVE header: not a WAV file, or shorter than its header
    NoFormat,     // no complete "fmt " chunk
    NoData,       // no "data" chunk
    Unsupported,  // not 8/16/24/32-bit PCM or 32-bit float with one or two channels
    // A block align that is neither 0 nor the packed size (channels x bytes per sample):
    // without the extensible format nothing says where a sample sits in a wider block.
    BlockAlign,
};

// Reads the RIFF/WAVE header of an open file and walks its chunks to find "fmt " and
// "data" wherever they stand (other chunks such as LIST are skipped, chunk bodies
// are padded to even sizes). Leaves the file position unspecified. *format is filled
// as far as it was read, also on failure.
WavSourceResult ReadWavSource(std::FILE* file, WavSourceFormat* format);

// A sentence saying why a source that gave `result` cannot be converted.
std::string DescribeWavSourceProblem(WavSourceResult result, const WavSourceFormat& format);

// Reduces `count` sample values stored as the format says (little-endian; 8-bit PCM
// unsigned, wider PCM signed, float in -1..1) to signed 16-bit values: wider samples
// are rounded to the nearest 16-bit step, and values beyond the 16-bit range (float
// outside -1..1, a rounding up past the largest step) are clipped.
void ReduceTo16Bits(const unsigned char* bytes, std::size_t count, const WavSourceFormat& format,
                    std::int16_t* out);

}  // namespace convert
