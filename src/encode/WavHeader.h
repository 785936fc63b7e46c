// The 44-byte RIFF/WAVE header of ripped files: 16-bit stereo PCM at 44100 Hz.
#pragma once

#include <cstdint>
#include <cstdio>

namespace encode {

inline constexpr int kWavHeaderBytes = 44;

// Fills out[44] with the header for dataLength bytes of audio.
void BuildWavHeader(unsigned char* out, std::uint32_t dataLength);
// Seeks to the start of file and writes the header; the position is left at 44.
// Nothing for a null file. Returns false when the seek or the write failed. The
// file must be open for update.
bool WriteWavHeader(FILE* file, std::uint32_t dataLength);

}  // namespace encode
