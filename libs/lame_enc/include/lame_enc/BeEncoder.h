// The published MP3 encoder module interface: the be* entry points and the records
// they exchange. Both the encoder module and the program's binding include this
// header; the program never links the module, it looks the entry points up at run
// time by these names.
//
// Records are packed and little-endian, with 32-bit "DWORD" fields, exactly as the
// published layouts give them; their sizes are checked at compile time.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define BE_API extern "C" __declspec(dllexport)
#else
#define BE_API extern "C" __attribute__((visibility("default")))
#endif

using BeErr = std::uint32_t;
// An open encoder stream. Opaque to the caller; 0 is never a valid stream.
using BeStream = std::uintptr_t;

inline constexpr BeErr kBeOk = 0;
inline constexpr BeErr kBeInvalidFormat = 1;            // unknown record kind
inline constexpr BeErr kBeInvalidFormatParameters = 2;  // a field the encoder refuses
inline constexpr BeErr kBeNoMoreHandles = 3;
inline constexpr BeErr kBeInvalidHandle = 4;
inline constexpr BeErr kBeBufferTooSmall = 5;

// Record kinds (first field of BeConfig).
inline constexpr std::uint32_t kBeConfigMp3 = 0;     // the plain MP3 form
inline constexpr std::uint32_t kBeConfigLame = 256;  // the LAME form

// Channel modes (BeConfig mode fields).
inline constexpr int kBeModeStereo = 0;
inline constexpr int kBeModeJointStereo = 1;
inline constexpr int kBeModeDualChannel = 2;
inline constexpr int kBeModeMono = 3;

// MPEG versions of the LAME form.
inline constexpr std::uint32_t kBeMpeg2 = 0;
inline constexpr std::uint32_t kBeMpeg1 = 1;

// Quality presets of the LAME form (nPreset).
inline constexpr std::int32_t kBePresetNone = -1;
inline constexpr std::int32_t kBePresetNormal = 0;
inline constexpr std::int32_t kBePresetLow = 1;
inline constexpr std::int32_t kBePresetHigh = 2;
inline constexpr std::int32_t kBePresetVoice = 3;
inline constexpr std::int32_t kBePresetVeryHigh = 5;

// VBR methods of the LAME form (nVbrMethod).
inline constexpr std::int32_t kBeVbrMethodNone = -1;
inline constexpr std::int32_t kBeVbrMethodDefault = 0;
inline constexpr std::int32_t kBeVbrMethodOld = 1;
inline constexpr std::int32_t kBeVbrMethodNew = 2;
inline constexpr std::int32_t kBeVbrMethodMtrh = 3;
inline constexpr std::int32_t kBeVbrMethodAbr = 4;

#pragma pack(push, 1)

// The plain MP3 form of the configuration record (after the kind field).
struct BeConfigMp3 {
    std::uint32_t sampleRate;  // offset 4
    std::uint8_t mode;         // offset 8
    std::uint16_t bitrate;     // offset 9, kbit/s
    std::int32_t privateBit;   // offset 11
    std::int32_t crc;
    std::int32_t copyright;
    std::int32_t original;
};
static_assert(sizeof(BeConfigMp3) == 23);

// The LAME form of the configuration record (after the kind field).
struct BeConfigLame {
    std::uint32_t structVersion;  // offset 4
    std::uint32_t structSize;     // offset 8: 331
    std::uint32_t sampleRate;     // offset 12: input rate
    std::uint32_t reSampleRate;   // offset 16: output rate, 0 = encoder decides
    std::int32_t mode;            // offset 20
    std::uint32_t bitrate;        // offset 24: CBR rate, or the minimum under VBR
    std::uint32_t maxBitrate;     // offset 28: maximum under VBR
    std::int32_t preset;          // offset 32
    std::uint32_t mpegVersion;    // offset 36
    std::uint32_t psyModel;       // offset 40
    std::uint32_t emphasis;       // offset 44
    std::int32_t privateBit;      // offset 48
    std::int32_t crc;
    std::int32_t copyright;
    std::int32_t original;
    std::int32_t writeVbrHeader;  // offset 64
    std::int32_t enableVbr;       // offset 68
    std::int32_t vbrQuality;      // offset 72: 0 (best) .. 9
    std::uint32_t vbrAbrBps;      // offset 76: ABR mean rate
    std::int32_t vbrMethod;       // offset 80
    std::int32_t noBitReservoir;  // offset 84
    std::int32_t strictIso;       // offset 88
    std::uint16_t quality;        // offset 92: low byte = quality, high byte = its complement
    std::uint8_t reserved[237];   // offset 94
};
static_assert(sizeof(BeConfigLame) == 327);

// The 331-byte configuration record given to beInitStream.
struct BeConfig {
    std::uint32_t kind;  // kBeConfigMp3 or kBeConfigLame
    union {
        BeConfigMp3 mp3;
        BeConfigLame lame;
    } format;
};
static_assert(sizeof(BeConfig) == 331);

// The 265-byte version record filled by beVersion.
struct BeVersion {
    std::uint8_t moduleMajor;  // the module's own interface version
    std::uint8_t moduleMinor;
    std::uint8_t encoderMajor;  // the encoder library's version
    std::uint8_t encoderMinor;
    std::uint8_t day;  // the encoder's release date, 0 when unknown
    std::uint8_t month;
    std::uint16_t year;
    char homepage[129];
    std::uint8_t alphaLevel;
    std::uint8_t betaLevel;
    std::uint8_t mmxEnabled;
    std::uint8_t reserved[125];
};
static_assert(sizeof(BeVersion) == 265);

#pragma pack(pop)

// The entry points' types, as looked up by name.
using BeInitStreamFn = BeErr (*)(BeConfig* config, std::uint32_t* samples,
                                 std::uint32_t* bufferSize, BeStream* stream);
using BeEncodeChunkFn = BeErr (*)(BeStream stream, std::uint32_t samples, const std::int16_t* pcm,
                                  std::uint8_t* output, std::uint32_t* outputLength);
using BeDeinitStreamFn = BeErr (*)(BeStream stream, std::uint8_t* output,
                                   std::uint32_t* outputLength);
using BeCloseStreamFn = BeErr (*)(BeStream stream);
using BeVersionFn = void (*)(BeVersion* version);
using BeWriteVbrHeaderFn = BeErr (*)(const char* fileName);
