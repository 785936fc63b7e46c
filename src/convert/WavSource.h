// Finding the format and the audio of a WAV source file by walking its RIFF chunks.
#pragma once

#include <cstdint>
#include <cstdio>

namespace convert {

struct WavSourceFormat {
    std::uint16_t formatTag = 0;  // 1 PCM (0xFFFE with a PCM sub-format is reported as 1)
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t bytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    // The audio bytes, as file offsets: from dataOffset, dataLength bytes. The length is
    // what the data chunk declares, cut at the end of the file and rounded down to whole
    // sample frames (channels x 2 bytes).
    std::uint64_t dataOffset = 0;
    std::uint64_t dataLength = 0;
};

enum class WavSourceResult {
    Ok,
    NotWave,      // no RIFF/WAVE header: not a WAV file, or shorter than its header
    NoFormat,     // no complete "fmt " chunk
    NoData,       // no "data" chunk
    Unsupported,  // not 16-bit PCM with one or two channels
};

// Reads the RIFF/WAVE header of an open file and walks its chunks to find "fmt " and
// "data" wherever they stand (other chunks such as LIST are skipped, chunk bodies
// are padded to even sizes). Leaves the file position unspecified. *format is filled
// as far as it was read, also on failure.
WavSourceResult ReadWavSource(std::FILE* file, WavSourceFormat* format);

}  // namespace convert
