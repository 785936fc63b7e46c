#include "encode/Formats.h"

#include "encode/FlacEncoder.h"
#include "encode/Mp3Encoder.h"
#include "encode/WavEncoder.h"

namespace encode {

namespace {

bool Always() {
    return true;
}

// In the order of Format's values.
constexpr FormatInfo kFormats[] = {
    {Format::Mp3, "mp3", "mp3", true, Mp3Available, CreateMp3Encoder},
    {Format::Wav, "wav", "wav", false, Always, CreateWavEncoder},
    {Format::Flac, "flac", "flac", false, Always, CreateFlacEncoder},
};

}  // namespace

std::span<const FormatInfo> Formats() {
    return kFormats;
}

const FormatInfo& InfoOf(Format format) {
    const auto i = static_cast<std::size_t>(format);
    return i < std::size(kFormats) ? kFormats[i] : kFormats[static_cast<int>(Format::Wav)];
}

const FormatInfo* FindFormat(std::string_view name) {
    for (const FormatInfo& f : kFormats)
        if (name == f.name) return &f;
    return nullptr;
}

std::string FormatNames() {
    std::string text;
    for (std::size_t i = 0; i < std::size(kFormats); ++i) {
        if (i > 0) text += i + 1 == std::size(kFormats) ? " or " : ", ";
        text += kFormats[i].name;
    }
    return text;
}

}  // namespace encode
