#include "encode/WavHeader.h"

#include <cstring>

namespace encode {

namespace {
void Put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void Put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
}  // namespace

void BuildWavHeader(unsigned char* out, std::uint32_t dataLength) {
    std::memcpy(out, "RIFF", 4);
    Put32(out + 4, 36u + dataLength);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    Put32(out + 16, 16);
    Put16(out + 20, 1);
    Put16(out + 22, 2);
    Put32(out + 24, 44100);
    Put32(out + 28, 176400);
    Put16(out + 32, 4);
    Put16(out + 34, 16);
    std::memcpy(out + 36, "data", 4);
    Put32(out + 40, dataLength);
}

bool WriteWavHeader(FILE* file, std::uint32_t dataLength) {
    if (!file) return true;
    unsigned char header[kWavHeaderBytes];
    BuildWavHeader(header, dataLength);
    if (std::fseek(file, 0, SEEK_SET) != 0) return false;
    return std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

}  // namespace encode
